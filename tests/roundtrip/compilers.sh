#!/bin/sh
# Round trips of real compiler output: the sample sources of the examples and the golden inputs, and C++,
# compiled here by gcc -m32 (several option sets) and by clang for several 32-bit targets of both byte orders,
# then saved and read back by the roundtrip tool. Compilers or targets that are missing are left out; with none
# at all the test is skipped (status 77).
#
#   compilers.sh ROUNDTRIP SOURCE_DIR
set -u
roundtrip=$1
work=$(mktemp -d) || exit 1
trap 'rm -rf "$work"' EXIT INT TERM

cat >"$work/b.cpp" <<'CPP'
template <class T> struct box {
    T value;
    T get() const { return value; }
};
inline int shared_inline(int x) { return x + 1; }
struct base { virtual ~base() {} virtual int f() { return 1; } };
struct derived : base { int f() override { return 2; } };
thread_local int tls_value;
const char* greeting() { return "hello"; }
int use(int n) {
    box<int> b{n};
    derived d;
    base& r = d;
    if (n < 0) throw n;
    return b.get() + shared_inline(n) + r.f() + tls_value++;
}
CPP

made=0
compile() {  # output, compiler and options...; a missing compiler or target makes nothing
    out=$1
    shift
    if "$@" -c -o "$work/$out" >/dev/null 2>&1; then made=$((made + 1)); else rm -f "$work/$out"; fi
}
for source in "$2/examples/hello.c" "$2/tests/golden/inputs/elf/kinds.c" "$work/b.cpp"; do
    name=$(basename "$source")
    case $source in *.cpp) gcc=g++ clang=clang++ ;; *) gcc=gcc clang=clang ;; esac
    compile "gcc-O0-g-$name.o" $gcc -m32 -O0 -g "$source"
    compile "gcc-O2-sections-$name.o" $gcc -m32 -O2 -ffunction-sections -fdata-sections "$source"
    compile "gcc-pic-g3-$name.o" $gcc -m32 -O1 -fPIC -g3 "$source"
    for target in i386-linux-gnu arm-none-eabi armeb-none-eabi thumbv7m-none-eabi powerpc-linux-gnu mips-linux-gnu \
                  riscv32-unknown-elf; do
        compile "clang-$target-$name.o" $clang --target="$target" -O1 -g "$source"
    done
done
if [ "$made" -eq 0 ]; then
    echo "no compiler for 32-bit targets: skipped"
    exit 77
fi
echo "$made objects compiled"
"$roundtrip" "$work"/*.o
