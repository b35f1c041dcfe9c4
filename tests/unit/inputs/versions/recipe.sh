#!/bin/sh
# Rebuilds the versioned-library inputs. Needs gcc with 32-bit support (gcc-multilib) and the LLVM
# binutils (llvm-objcopy, llvm-nm).
set -e
cd "$(dirname "$0")"
gcc -m32 -shared -fPIC -O1 -Wl,--build-id=none -Wl,--hash-style=sysv -Wl,--version-script=versioned.map \
    versioned.c -o libversioned.so
# The same library with its section headers gone: only the dynamic entries lead to the records.
llvm-objcopy --strip-sections libversioned.so libversioned_stripped.so
# Each versioned dynamic symbol, in table order, with the version llvm-nm names for it ("name version").
# (readelf leaves the version out where it equals the name, as for the symbols that define the versions.)
llvm-nm -D -p libversioned.so | awk '{ n = $NF } n ~ /@/ { split(n, p, "@+"); print p[1], p[2] }' \
    > dynsym_versions.txt
