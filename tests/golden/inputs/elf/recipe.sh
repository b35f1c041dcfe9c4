#!/bin/sh
# Rebuilds the real objects beside this script from kinds.c.
#   kinds_i386.o  32-bit little-endian ELF (gcc 12.2, Debian 12)
#   kinds_ppc.o   32-bit big-endian ELF (clang 14.0.6, Debian 12)
# Position-independent code and unwind tables are turned off, and the local symbols are kept by
# "used" rather than by references, so that no relocation needs an unnamed section symbol: every
# symbol but the null one then has a name of its own and the listing's order is fully fixed.
set -e
cd "$(dirname "$0")"
gcc -m32 -fno-pic -fno-asynchronous-unwind-tables -c kinds.c -o kinds_i386.o
clang --target=powerpc-linux-gnu -fno-pic -fno-asynchronous-unwind-tables -c kinds.c -o kinds_ppc.o
