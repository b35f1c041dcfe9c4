#!/bin/sh
# Rebuilds libreal.a beside this script (gcc 12.2 and GNU ar 2.40, Debian 12).
#   counter.o                     32-bit little-endian ELF from counter.c
#   a_rather_long_member_name.o   the same from a_rather_long_member_name.c; its name goes to the "//" table
#   notes.txt                     11 bytes of text: an odd size, padded with one byte, and no object
# GNU ar writes the symbol index "/" first and the long-name table "//" second; "D" makes the dates,
# user and group ids 0 and every mode 644, so the archive is the same on every rebuild.
set -e
cd "$(dirname "$0")"
gcc -m32 -fno-pic -fno-asynchronous-unwind-tables -c counter.c -o counter.o
gcc -m32 -fno-pic -fno-asynchronous-unwind-tables -c a_rather_long_member_name.c -o a_rather_long_member_name.o
rm -f libreal.a
ar rcD libreal.a counter.o a_rather_long_member_name.o notes.txt
rm -f counter.o a_rather_long_member_name.o
