#!/bin/sh
# Inputs and outputs as users give them: a pipe, a FIFO, an output that is a link to an input, and an
# input that shrinks while it is listed (with the preloaded shim, when there is one).
#   streams_test.sh NMKITE MKFIXTURE EXAMPLES_DIR [SHRINK_SHIM]
set -u
nmkite=$1 mkfixture=$2 examples=$3 shim=${4:-}
work=$(mktemp -d "${TMPDIR:-/tmp}/nmkite-streams.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

cd "$work" || exit 1
cp "$examples/hello-i386.o" "$examples/libsample.a" .

# A pipe lists like the file it carries; an archive read from a pipe too.
"$nmkite" hello-i386.o >expected.txt
cat hello-i386.o | "$nmkite" /dev/stdin >got.txt 2>err.txt || fail "a pipe: status $?"
cmp -s expected.txt got.txt && [ ! -s err.txt ] || fail "a pipe: $(cat err.txt)"
"$nmkite" -A libsample.a | sed 's#libsample.a#/dev/stdin#' >expected.txt
cat libsample.a | "$nmkite" -A /dev/stdin >got.txt 2>err.txt || fail "an archive from a pipe: status $?"
cmp -s expected.txt got.txt && [ ! -s err.txt ] || fail "an archive from a pipe: $(cat err.txt)"

# A FIFO.
if mkfifo fifo 2>/dev/null; then
    "$nmkite" -l hello-i386.o >expected.txt
    cat hello-i386.o >fifo &
    "$nmkite" -l fifo >got.txt 2>err.txt || fail "a FIFO: status $?"
    wait
    cmp -s expected.txt got.txt && [ ! -s err.txt ] || fail "a FIFO: $(cat err.txt)"
fi

# An output that is a symbolic link to an input is refused, and the input stays whole.
cp hello-i386.o before.o
ln -s hello-i386.o link.o
"$nmkite" -O link.o hello-i386.o 2>err.txt && fail "-O through a link: status 0"
cmp -s before.o hello-i386.o || fail "-O through a link changed the input"
grep -q 'cannot open "link.o" for output: it is also the input file' err.txt || fail "-O through a link: $(cat err.txt)"

# No temporary listing is left behind, whatever happened.
"$nmkite" -O listing.txt hello-i386.o missing.o 2>/dev/null
ls | grep -q '\.tmp$' && fail "a temporary listing was left: $(ls)"

# An input that shrinks under the listing: a fatal error naming it, status 1, and an earlier output kept.
if [ -n "$shim" ]; then
    { printf 'elf32 le rel\nsection .text data=00112233\n'; seq 0 5999 |
        sed 's/.*/symbol a_symbol_name_long_enough_to_fill_blocks_& value=& section=.text type=func/'; } >big.desc
    for output in "" "-O listing.txt"; do
        "$mkfixture" big.desc big.o || fail "mkfixture"
        echo "an earlier listing" >listing.txt
        NMKITE_SHRINK=big.o LD_PRELOAD="$shim" "$nmkite" $output big.o >/dev/null 2>err.txt
        status=$?
        [ $status -eq 1 ] || fail "a shrinking input $output: status $status"
        grep -q 'fatal error: the input file "big.o" changed while being read' err.txt ||
            fail "a shrinking input $output: $(cat err.txt)"
        [ "$(cat listing.txt)" = "an earlier listing" ] || fail "a shrinking input $output: the earlier listing changed"
        ls | grep -q '\.tmp$' && fail "a shrinking input $output: a temporary listing was left: $(ls)"
    done
fi

[ $failures -eq 0 ] && echo "all stream cases passed"
exit $failures
