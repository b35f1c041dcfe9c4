#!/bin/sh
# Every XML document that ofdump writes is well-formed to a real XML parser (xmllint): one of the bundled
# samples (objects, a shared object, archives with members of every kind), one of the damaged inputs of
# the regression cases and one of the fuzz corpora, whose hundreds of damaged files pass the error limit,
# so that the run ends early and the document is closed at the exit.
# Usage: xml_well_formed.sh OFDUMP XMLLINT SOURCE_DIR
set -u
ofdump=$1 xmllint=$2 src=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# check NAME STATUS FILE...: ofdump --xml on the files ends with STATUS (any, for "-") and writes a
# well-formed document whose root is object_files.
check() {
    name=$1 want=$2
    shift 2
    "$ofdump" --xml "$@" >"$work/$name.xml" 2>"$work/$name.err"
    got=$?
    [ "$want" = - ] || [ "$got" -eq "$want" ] ||
        fail "ofdump --xml on the $name ended with status $got, not $want: $(head -5 "$work/$name.err")"
    "$xmllint" --noout "$work/$name.xml" || fail "xmllint refuses the document of the $name"
    [ "$(sed -n 2p "$work/$name.xml")" = "<object_files>" ] ||
        fail "the document of the $name does not start with <object_files>"
}

cd "$src/examples" && check samples 0 ./*.o ./*.so ./*.a ./*.qx
cd "$src/tests/golden/inputs/regress" && check damaged_inputs - ./*
cd "$src/tests/fuzz/corpus" && check fuzz_corpus 1 ./object/* ./archive/*
grep -q "error limit reached" "$work/fuzz_corpus.err" ||
    fail "the fuzz corpus did not reach the error limit; the early end is not tested"

echo "XML documents of ofdump: $failures failed"
[ "$failures" -eq 0 ]
