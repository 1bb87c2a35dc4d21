#!/usr/bin/env bash
# Runs vantor's property test against the simulator's chaos over many seeds, two
# processes at a time: `scripts/chaos.sh [SEEDS [FIRST]]` (default 10000 from 0), after
# the tests are built (scripts/test.sh --quick). Every failing seed is printed with the
# traffic of its run; VANTOR_CHAOS_FIRST=N VANTOR_CHAOS_SEEDS=1 replays seed N.
set -euo pipefail
cd "$(dirname "$0")/.."
count=${1:-10000}
first=${2:-0}
test=build/release/tests/cli/tst_chaos
[ -x "$test" ] || { echo "build the tests first: scripts/test.sh --quick" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
half=$(((count + 1) / 2))
QT_QPA_PLATFORM=offscreen VANTOR_CHAOS_FIRST=$first VANTOR_CHAOS_SEEDS=$half \
    "$test" >"$work/a" 2>&1 &
QT_QPA_PLATFORM=offscreen VANTOR_CHAOS_FIRST=$((first + half)) \
    VANTOR_CHAOS_SEEDS=$((count - half)) "$test" >"$work/b" 2>&1 &
status=0
wait %1 || status=1
wait %2 || status=1
grep -h -E "^(FAIL|Totals|traffic:)" "$work/a" "$work/b"
exit $status
