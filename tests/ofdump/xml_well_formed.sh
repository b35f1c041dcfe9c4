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

# check NAME STATUS FILE...: ofdump --xml on the files ends with STATUS (any, for "-") and writes a
# well-formed document whose root is object_files.
check() {
    name=$1 want=$2
    shift 2
    "$ofdump" --xml "$@" >"$work/$name.xml" 2>"$work/$name.err"
    got=$?
    if [ "$want" != - ] && [ "$got" -ne "$want" ]; then
        echo "FAIL: ofdump --xml on the $name ended with status $got, not $want:"
        head -5 "$work/$name.err"
        failures=$((failures + 1))
    fi
    if ! "$xmllint" --noout "$work/$name.xml"; then
        echo "FAIL: xmllint refuses the document of the $name"
        failures=$((failures + 1))
    elif [ "$(sed -n 2p "$work/$name.xml")" != "<object_files>" ]; then
        echo "FAIL: the document of the $name does not start with <object_files>"
        failures=$((failures + 1))
    fi
}

cd "$src/examples" && check samples 0 ./*.o ./*.so ./*.a ./*.qx
cd "$src/tests/golden/inputs/regress" && check damaged_inputs - ./*
cd "$src/tests/fuzz/corpus" && check fuzz_corpus 1 ./object/* ./archive/*
if ! grep -q "error limit reached" "$work/fuzz_corpus.err"; then
    echo "FAIL: the fuzz corpus did not reach the error limit; the early end is not tested"
    failures=$((failures + 1))
fi

echo "XML documents of ofdump: $failures failed"
[ "$failures" -eq 0 ]
