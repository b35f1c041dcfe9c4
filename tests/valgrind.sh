#!/usr/bin/env bash
# Runs every golden case (nmkite and ofdump) under valgrind's memcheck: an invalid read or write, a use of
# uninitialised memory or a leak at exit changes the case's stderr and status, so the case fails.
# Usage: tests/valgrind.sh [BUILD_DIR]   (default build/release; valgrind must be installed)
set -euo pipefail
build=${1:-build/release}
command -v valgrind >/dev/null || { echo "valgrind is not installed" >&2; exit 2; }
export NMKITE_GOLDEN_RUNNER="valgrind -q --error-exitcode=97 --leak-check=full --show-leak-kinds=definite,indirect --errors-for-leak-kinds=definite,indirect"
exec "$build/tests/golden_tests"
