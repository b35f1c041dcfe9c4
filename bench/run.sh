#!/usr/bin/env bash
# Benchmarks nmkite against GNU nm and llvm-nm on the same inputs, in one run: wall-time medians from
# hyperfine, peak memory from /usr/bin/time, and a Markdown table of medians and ratios.
#
#   bench/run.sh [--quick]
#
# Inputs are made in $NMKITE_BENCH_DIR (default build/bench), deterministically, and kept for the next
# run: 32-bit ELF relocatables of 10k, 100k, 1M and 4M symbols (bench/gen_symbols.awk, then as --32), a
# QXCOFF version 2 file of 1M symbols (the same generator and the fixture builder), the 32-bit C library
# (/usr/lib32/libc.a, and libc.so.6 with the dynamic listing), and a 32-bit ELF relocatable of 1M real
# symbol names: those of the system's static C and C++ libraries (the C library of both word sizes,
# libstdc++, OpenSSL, SQLite, libxml2, Python, ICU and LLVM), with compilers' clone suffixes
# (bench/real_names.awk, then as --32). What the run needs and misses is installed with apt-get. RUNS
# (default 10) sets the timed runs per command; --quick leaves out the 4M-symbol input and takes 3 runs.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
work=${NMKITE_BENCH_DIR:-$root/build/bench}
runs=${RUNS:-10}
sizes=(10000 100000 1000000 4000000)
if [ "${1:-}" = "--quick" ]; then
  runs=${RUNS:-3}
  sizes=(10000 100000 1000000)
fi

# ---- tools -------------------------------------------------------------------------------------
need=()
command -v hyperfine >/dev/null || need+=(hyperfine)
command -v as >/dev/null && command -v nm >/dev/null || need+=(binutils)
command -v llvm-nm >/dev/null || need+=(llvm)
[ -x /usr/bin/time ] || need+=(time)
[ -f /usr/lib32/libc.a ] && [ -f /usr/lib32/libc.so.6 ] || need+=(gcc-multilib libc6-dev-i386)
command -v cmake >/dev/null || need+=(cmake)
command -v ninja >/dev/null || need+=(ninja-build)
command -v g++ >/dev/null || need+=(g++)
# The static libraries whose symbol names make the real-name input.
multiarch=/usr/lib/x86_64-linux-gnu
[ -f $multiarch/libc.a ] || need+=(libc6-dev)
[ -f $multiarch/libicuuc.a ] || need+=(libicu-dev)
[ -f $multiarch/libcrypto.a ] || need+=(libssl-dev)
[ -f $multiarch/libsqlite3.a ] || need+=(libsqlite3-dev)
[ -f $multiarch/libxml2.a ] || need+=(libxml2-dev)
compgen -G "$multiarch/libpython3*.a" >/dev/null || need+=(python3-dev)
command -v llvm-config >/dev/null && compgen -G "$(llvm-config --libdir)/libLLVM*.a" >/dev/null || need+=(llvm-dev)
if [ ${#need[@]} -gt 0 ]; then
  echo "installing: ${need[*]}" >&2
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need[@]}" >&2
fi

# ---- nmkite and the fixture builder ------------------------------------------------------------
cd "$root"
cmake --preset release >/dev/null
cmake --build build/release -j2 --target nmkite mkfixture >&2
nmkite=$root/build/release/nm/nmkite
mkfixture=$root/build/release/tests/fixture/mkfixture

# ---- inputs --------------------------------------------------------------------------------------
mkdir -p "$work"
for n in "${sizes[@]}"; do
  if [ ! -s "$work/elf-$n.o" ]; then
    echo "making elf-$n.o" >&2
    awk -v n="$n" -f "$root/bench/gen_symbols.awk" >"$work/elf-$n.s"
    as --32 -o "$work/elf-$n.o" "$work/elf-$n.s"
    rm -f "$work/elf-$n.s"
  fi
done
if [ ! -s "$work/real-1000000.o" ]; then
  echo "making real-1000000.o from the names of the static libraries" >&2
  libs=("$multiarch/libc.a" /usr/lib32/libc.a "$(g++ -print-file-name=libstdc++.a)" "$multiarch/libcrypto.a"
        "$multiarch/libssl.a" "$multiarch/libsqlite3.a" "$multiarch/libxml2.a" "$multiarch"/libpython3*.a
        "$multiarch"/libicu{uc,i18n,io,tu}.a "$(llvm-config --libdir)"/libLLVM*.a)
  # Defined and referenced names alike, one each, that the assembler takes as they are; not the
  # assembler's own local labels (.L...).
  for lib in "${libs[@]}"; do [ -f "$lib" ] && nm -P "$lib" 2>/dev/null; done |
    awk 'NF >= 2 && length($2) == 1 && $1 ~ /^[A-Za-z_.$][A-Za-z0-9_.$]*$/ && $1 !~ /^\.L/ { print $1 }' |
    LC_ALL=C sort -u >"$work/real-names.txt"
  echo "$(wc -l <"$work/real-names.txt") distinct names" >&2
  awk -v n=1000000 -f "$root/bench/real_names.awk" "$work/real-names.txt" >"$work/real-1000000.s"
  as --32 -o "$work/real-1000000.o" "$work/real-1000000.s"
  rm -f "$work/real-1000000.s"
fi
if [ ! -s "$work/qxcoff-1000000.qx" ]; then
  echo "making qxcoff-1000000.qx" >&2
  awk -v n=1000000 -v qxcoff=1 -f "$root/bench/gen_symbols.awk" >"$work/qxcoff-1000000.desc"
  "$mkfixture" "$work/qxcoff-1000000.desc" "$work/qxcoff-1000000.qx"
  rm -f "$work/qxcoff-1000000.desc"
fi

# ---- measuring -----------------------------------------------------------------------------------
# median_ms ARGS...: the median wall time of one command, in milliseconds (output to /dev/null).
median_ms() {
  local csv="$work/last.csv"
  hyperfine -N --style none --warmup 1 --runs "$runs" --export-csv "$csv" -- "$*" >/dev/null 2>&1
  awk -F, 'NR == 2 { printf "%.1f", $4 * 1000 }' "$csv"
}
# peak_mib ARGS...: the largest resident size of one run, in MiB.
peak_mib() {
  /usr/bin/time -f %M -o "$work/last.mem" "$@" >/dev/null 2>&1 || true
  awk '{ printf "%.0f", $1 / 1024 }' "$work/last.mem"
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
declare -A T M
echo "| input | listing | nmkite ms | nm ms | llvm-nm ms | ÷ nm | ÷ llvm-nm | peak MiB nmkite / nm / llvm-nm |"
echo "|---|---|---:|---:|---:|---:|---:|---|"
# row KEY INPUT-LABEL LISTING-LABEL OPTIONS FILE [PEER-OPTIONS]: one comparison of the three tools; the
# peers get PEER-OPTIONS where their options differ.
row() {
  local key=$1 label=$2 listing=$3 opts=$4 file=$5 peer_opts=${6-$4} tool
  for tool in nmkite nm llvm-nm; do
    local cmd=$tool tool_opts=$peer_opts
    [ "$tool" = nmkite ] && cmd=$nmkite tool_opts=$opts
    # shellcheck disable=SC2086
    T[$key.$tool]=$(median_ms $cmd $tool_opts "$file")
    # shellcheck disable=SC2086
    M[$key.$tool]=$(peak_mib $cmd $tool_opts "$file")
  done
  printf '| %s | %s | %s | %s | %s | %s | %s | %s / %s / %s |\n' "$label" "$listing" \
    "${T[$key.nmkite]}" "${T[$key.nm]}" "${T[$key.llvm-nm]}" \
    "$(ratio "${T[$key.nmkite]}" "${T[$key.nm]}")" "$(ratio "${T[$key.nmkite]}" "${T[$key.llvm-nm]}")" \
    "${M[$key.nmkite]}" "${M[$key.nm]}" "${M[$key.llvm-nm]}"
}

for n in "${sizes[@]}"; do
  row "elf$n.name" "ELF $n" "by name" "" "$work/elf-$n.o"
  if [ "$n" = 1000000 ]; then
    row "elf$n.none" "ELF $n" "no sort (-p)" "-p" "$work/elf-$n.o"
    row "elf$n.value" "ELF $n" "by value (-n)" "-n" "$work/elf-$n.o"
  fi
done
# Real names, the nmkite rows next to each other: the sort's cost is the difference of the first two.
real=$work/real-1000000.o
row real.name "real names 1000000" "by name" "" "$real"
row real.none "real names 1000000" "no sort (-p)" "-p" "$real"
row real.value "real names 1000000" "by value (-n)" "-n" "$real"
row real.long "real names 1000000" "long form (-l; nm -S)" "-l" "$real" "-S"
row libca "libc.a (i386)" "by name" "" /usr/lib32/libc.a
row libcso "libc.so.6 (i386)" "dynamic (-D)" "-D" /usr/lib32/libc.so.6
# The QXCOFF file against the ELF file of the same count, each median taken right after the other.
for listing in "by name:" "no sort (-p):-p" "by value (-n):-n"; do
  opts=${listing#*:}
  key=qx.${opts:-name}
  # shellcheck disable=SC2086
  T[$key.elf]=$(median_ms "$nmkite" $opts "$work/elf-1000000.o")
  # shellcheck disable=SC2086
  T[$key]=$(median_ms "$nmkite" $opts "$work/qxcoff-1000000.qx")
  # shellcheck disable=SC2086
  M[$key]=$(peak_mib "$nmkite" $opts "$work/qxcoff-1000000.qx")
  printf '| QXCOFF 1000000 | %s | %s | | | | | %s / – / – (÷ nmkite on ELF 1000000, measured next to it: %s) |\n' \
    "${listing%%:*}" "${T[$key]}" "${M[$key]}" "$(ratio "${T[$key]}" "${T[$key.elf]}")"
done

# ---- targets -------------------------------------------------------------------------------------
check() {  # check TEXT VALUE LIMIT
  local verdict
  verdict=$(awk -v v="$2" -v l="$3" 'BEGIN { print (v <= l) ? "met" : "NOT met" }')
  printf -- '- %s: %s (limit %s): %s\n' "$1" "$2" "$3" "$verdict"
}
echo
cpu=$(awk -F': ' '/^model name/ { print $2; exit }' /proc/cpuinfo)
echo "Targets (${cpu:-unknown cpu}, $(nproc) cores; load average before: $load_before, after:" \
  "$(cut -d' ' -f1-3 /proc/loadavg); $runs runs per median):"
k=real
check "real names by name, ÷ nm" "$(ratio "${T[$k.name.nmkite]}" "${T[$k.name.nm]}")" 0.25
check "real names by name, ÷ llvm-nm" "$(ratio "${T[$k.name.nmkite]}" "${T[$k.name.llvm-nm]}")" 0.10
check "real names by name, ÷ nmkite -p" "$(ratio "${T[$k.name.nmkite]}" "${T[$k.none.nmkite]}")" 2.0
check "real names by name, peak memory ÷ nm" "$(ratio "${M[$k.name.nmkite]}" "${M[$k.name.nm]}")" 0.5
check "real names long form, ÷ nm -S" "$(ratio "${T[$k.long.nmkite]}" "${T[$k.long.nm]}")" 0.4
k=elf1000000
check "1M ELF by name, ÷ nm" "$(ratio "${T[$k.name.nmkite]}" "${T[$k.name.nm]}")" 0.2
check "1M ELF by name, ÷ llvm-nm" "$(ratio "${T[$k.name.nmkite]}" "${T[$k.name.llvm-nm]}")" 0.15
check "1M ELF by name, peak memory ÷ nm" "$(ratio "${M[$k.name.nmkite]}" "${M[$k.name.nm]}")" 0.75
check "1M ELF no sort, ÷ nm" "$(ratio "${T[$k.none.nmkite]}" "${T[$k.none.nm]}")" 0.5
check "1M ELF by value, ÷ nm" "$(ratio "${T[$k.value.nmkite]}" "${T[$k.value.nm]}")" 0.5
check "libc.a, ÷ llvm-nm" "$(ratio "${T[libca.nmkite]}" "${T[libca.llvm-nm]}")" 0.5
check "libc.so.6 -D, ÷ llvm-nm" "$(ratio "${T[libcso.nmkite]}" "${T[libcso.llvm-nm]}")" 1.0
last=${sizes[-1]}
growth=$(awk -v a="${T[elf$last.name.nmkite]}" -v b="${T[elf100000.name.nmkite]}" -v n="$last" \
  'BEGIN { printf "%.2f", (a / n) / (b / 100000) }')
check "time per symbol at $last ÷ at 100000" "$growth" 1.2
check "QXCOFF 1M by name ÷ ELF 1M by name" "$(ratio "${T[qx.name]}" "${T[qx.name.elf]}")" 1.2
