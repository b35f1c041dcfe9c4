#!/usr/bin/env bash
# Completes command lines with the generated bash completion as a user's shell would: option names,
# the values of options that take one, and only file names once the first file is named.
# Usage: check_completion.sh COMPLETION_SCRIPT OPTGEN DESCRIPTION
set -u
source "$1"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" && touch listing.txt hello.o

# The completions offered for the last word of the command line given, as one line.
completions() {
    COMP_WORDS=("$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    _nmkite
    echo "${COMPREPLY[*]}"
}
failures=0
expect() {
    local want=$1 got
    shift
    got=$(completions "$@")
    if [[ $got != "$want" ]]; then
        echo "FAIL: $*<TAB> offers '$got', not '$want'"
        failures=$((failures + 1))
    fi
}

expect "--extern-only" nmkite --ext
expect "-Werror" nmkite -g -W
expect "on off" nmkite --message-wrap =
expect "off" nmkite --message-wrap = of
expect "listing.txt" nmkite -O list
expect "listing.txt" nmkite --output = l
expect "--numeric-sort" nmkite -h --num
expect "" nmkite hello.o --ext
expect "hello.o" nmkite -g -O listing.txt -n hel

# Every spelling that help lists is offered, and nothing else.
want=$("$2" --spellings "$3" | sort | tr '\n' ' ')
got=$(completions nmkite - | tr ' ' '\n' | sort | tr '\n' ' ')
if [[ $got != "$want" ]]; then
    echo "FAIL: nmkite -<TAB> offers '$got', not '$want'"
    failures=$((failures + 1))
fi

echo "bash completion: $failures failed"
[[ $failures -eq 0 ]]
