#!/bin/sh
# Round trips of real compiler output: C and C++ compiled here by gcc -m32 (several option sets) and by clang for
# several 32-bit targets of both byte orders, then saved and read back by the roundtrip tool. Compilers or
# targets that are missing are left out; with none at all the test is skipped (status 77).
#
#   compilers.sh ROUNDTRIP
set -u
roundtrip=$1
work=$(mktemp -d) || exit 1
trap 'rm -rf "$work"' EXIT INT TERM

cat >"$work/a.c" <<'C'
#include <stdarg.h>
static int counter;
int table[16] = {1, 2, 3};
__thread int tls_value;
char buffer[256];
extern int external_function(int);
__attribute__((weak)) int weak_hook(void) { return 0; }
static int helper(int x) { return x * 3 + counter++; }
int sum(int n, ...) {
    va_list ap;
    va_start(ap, n);
    int s = 0;
    for (int i = 0; i < n; ++i) s += va_arg(ap, int);
    va_end(ap);
    return s;
}
const char* greeting(void) { return "hello"; }
int main(void) { return helper(table[2]) + external_function(tls_value) + weak_hook() + buffer[3]; }
C
cat >"$work/b.cpp" <<'CPP'
template <class T> struct box {
    T value;
    T get() const { return value; }
};
inline int shared_inline(int x) { return x + 1; }
struct base { virtual ~base() {} virtual int f() { return 1; } };
struct derived : base { int f() override { return 2; } };
int use(int n) {
    box<int> b{n};
    derived d;
    base& r = d;
    if (n < 0) throw n;
    return b.get() + shared_inline(n) + r.f();
}
CPP

made=0
compile() {  # output, compiler and options...
    out=$1
    shift
    if "$@" -c -o "$work/$out" >/dev/null 2>&1; then made=$((made + 1)); else rm -f "$work/$out"; fi
}
if command -v gcc >/dev/null 2>&1; then
    compile gcc-O0-g.o gcc -m32 -O0 -g "$work/a.c"
    compile gcc-O2-sections.o gcc -m32 -O2 -ffunction-sections -fdata-sections "$work/a.c"
    compile gcc-pic-g3.o gcc -m32 -O1 -fPIC -g3 "$work/a.c"
    compile gxx-O2-g.o g++ -m32 -O2 -g "$work/b.cpp"
fi
if command -v clang >/dev/null 2>&1; then
    for target in i386-linux-gnu arm-none-eabi armeb-none-eabi thumbv7m-none-eabi powerpc-linux-gnu mips-linux-gnu \
                  riscv32-unknown-elf; do
        compile "clang-$target.o" clang --target="$target" -O1 -g "$work/a.c"
        compile "clangxx-$target.o" clang++ --target="$target" -O2 "$work/b.cpp"
    done
fi
if [ "$made" -eq 0 ]; then
    echo "no compiler for 32-bit targets: skipped"
    exit 77
fi
echo "$made objects compiled"
"$roundtrip" "$work"/*.o
