#!/bin/sh
# Rebuilds the bundled sample files from the sources beside this script.
# Needs gcc with 32-bit support (gcc-multilib), clang and ar.
set -e
cd "$(dirname "$0")"
gcc -m32 -O1 -fcommon -c hello.c -o hello-i386.o
gcc -m32 -O1 -c util.c -o util-i386.o
clang --target=powerpc-linux-gnu -O1 -fcommon -c hello.c -o hello-ppc-be.o
rm -f libsample.a
ar rcs libsample.a hello-i386.o util-i386.o
rm -f util-i386.o
# The Kite QXCOFF sample is written by the test fixture builder from its description:
#   build/release/tests/fixture/mkfixture kite-sample.desc kite-sample.qx
