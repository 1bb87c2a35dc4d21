#!/usr/bin/env bash
# Runs scripts/run.sh (with the arguments given) offscreen until the window is up, then
# stops it: the README's run command must never break silently.
set -euo pipefail
cd "$(dirname "$0")/.."
args="$*"
out=$(mktemp)
trap 'rm -f "$out"' EXIT
# A session of its own, so that the script, the simulator and the window stop together.
QT_QPA_PLATFORM=offscreen QT_LOGGING_RULES="vantor.window.info=true" \
    setsid scripts/run.sh "$@" >"$out" 2>&1 </dev/null &
run=$!
for _ in $(seq 3000); do # set-up may install packages first
    grep -q 'vantor.window: window shown' "$out" && break
    kill -0 $run 2>/dev/null || break
    sleep 0.1
done
kill -- -$run 2>/dev/null || true
wait $run 2>/dev/null || true
fail() {
    cat "$out" >&2
    echo "scripts/run.sh${args:+ $args}: $1" >&2
    exit 1
}
grep -q 'vantor.window: window shown: Vantor V3.1.1' "$out" || fail "the window did not come up"
grep -q '^Simulated controller on 127.0.0.1 port [0-9]' "$out" || fail "no simulator port"
if [ "${1:-}" = "--serial" ]; then
    grep -q '^Simulated serial port: /dev/' "$out" || fail "no serial port"
fi
echo "scripts/run.sh${args:+ $args}: the window came up"
