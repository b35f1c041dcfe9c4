#!/bin/sh
# Rebuilds the dynamic-listing inputs. Needs gcc with 32-bit support (gcc-multilib), the binutils and
# llvm-objcopy.
set -e
cd "$(dirname "$0")"
# Today's default: only a GNU hash table (DT_GNU_HASH), no DT_HASH.
gcc -m32 -shared -fPIC -O1 -Wl,--hash-style=gnu -Wl,--build-id=none lib.c -o libgnuhash.so
# The classic System V hash table only.
gcc -m32 -shared -fPIC -O1 -Wl,--hash-style=sysv -Wl,--build-id=none lib.c -o libsysv.so
# The same library with its section headers gone: only the program headers lead to the tables.
cp libgnuhash.so noshdrs.so
printf '\000\000\000\000' | dd of=noshdrs.so bs=1 seek=32 conv=notrunc 2>/dev/null   # e_shoff
printf '\000\000\000\000' | dd of=noshdrs.so bs=1 seek=48 conv=notrunc 2>/dev/null   # e_shnum, e_shstrndx
gcc -m32 -nostdlib -static -O1 -Wl,--build-id=none start.c -o static.exe
# Executables as gcc links them by default (GNU hash only): a PIE (ELF type DYN) and a non-PIE one (EXEC).
gcc -m32 -O1 -Wl,--build-id=none prog.c -o pie.exe
gcc -m32 -no-pie -O1 -Wl,--build-id=none prog.c -o nopie.exe
# Section headers removed by the tool made for it: the PIE and the GNU-hash library.
llvm-objcopy --strip-sections pie.exe pie_stripped.exe
llvm-objcopy --strip-sections libgnuhash.so libgnuhash_stripped.so
