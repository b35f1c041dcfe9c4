#!/usr/bin/env bash
# Completes command lines with a tool's generated bash completion as a user's shell would: option names,
# the values of options that take one, and only file names once the first file is named.
# Usage: check_completion.sh COMPLETION_SCRIPT OPTGEN DESCRIPTION CASES
# CASES is a bash fragment of `expect WANT TOOL WORD...` lines, run in a directory that holds the files
# listing.txt and hello.o: WANT is what completing the last WORD offers, blank-separated.
set -u
source "$1"
cases=$(cd "$(dirname "$4")" && pwd)/$(basename "$4")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" && touch listing.txt hello.o

# The completions offered for the last word of the command line given, as one line.
completions() {
    COMP_WORDS=("$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    "_$1"
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

source "$cases"

# Every spelling that help lists is offered, and nothing else.
tool=$(sed -n 's/^tool \([A-Za-z0-9_]*\) .*/\1/p' "$3")
want=$("$2" --spellings "$3" | sort | tr '\n' ' ')
got=$(completions "$tool" - | tr ' ' '\n' | sort | tr '\n' ' ')
if [[ $got != "$want" ]]; then
    echo "FAIL: $tool -<TAB> offers '$got', not '$want'"
    failures=$((failures + 1))
fi

echo "bash completion of $tool: $failures failed"
[[ $failures -eq 0 ]]
