#!/bin/sh
# Rebuilds the bundled sample files from the sources and descriptions beside this script.
# Needs gcc with 32-bit support (gcc-multilib; installed here when missing and run as root), clang
# and ar for the ELF samples, and the test fixture builder mkfixture (from a build of this project;
# MKFIXTURE names it) for the QXCOFF samples and the Kite archive.
set -e
cd "$(dirname "$0")"
MKFIXTURE=${MKFIXTURE:-../build/release/tests/fixture/mkfixture}

if ! echo 'int x;' | gcc -m32 -x c -c -o /dev/null - 2>/dev/null; then
  if [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null; then
    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq gcc-multilib
  else
    echo "recipe.sh: gcc -m32 cannot compile; install gcc-multilib" >&2
    exit 1
  fi
fi

# ELF objects for i386 and big-endian PowerPC, and a GNU ar library of them.
gcc -m32 -O1 -fcommon -c hello.c -o hello-i386.o
gcc -m32 -O1 -c util.c -o util-i386.o
clang --target=powerpc-linux-gnu -O1 -fcommon -c hello.c -o hello-ppc-be.o
rm -f libsample.a
ar rcs libsample.a hello-i386.o util-i386.o

# A shared object, for the dynamic listing (-D).
gcc -m32 -O1 -shared -fPIC util.c -o libutil-i386.so

# An archive whose member names are longer than 15 characters: GNU ar keeps them in its "//" table.
tmp=$(mktemp -d)
cp util-i386.o "$tmp/arithmetic_helpers-i386.o"
cp hello-i386.o "$tmp/hello-i386.o"
rm -f libgnu-longnames.a
(cd "$tmp" && ar rcs "$OLDPWD/libgnu-longnames.a" hello-i386.o arithmetic_helpers-i386.o)
rm -rf "$tmp" util-i386.o

# QXCOFF: one Kite object in each format version (version 1 in big-endian byte order), and a Kite
# library in the tool chain's own "<filenames>/" archive style.
"$MKFIXTURE" --v0 kite-sample.desc kite-sample-v0.qx
"$MKFIXTURE" --v1 --be kite-sample.desc kite-sample-v1-be.qx
"$MKFIXTURE" kite-sample.desc kite-sample.qx
"$MKFIXTURE" kite-archive.desc libkite-filenames.a
