#!/usr/bin/env bash
# Sets up, builds, starts the simulated controller on loopback and opens the terminal
# pointed at it. With --serial the simulator also serves a pseudo-terminal, whose path
# it prints: type that path into the port box and press "Open".
set -euo pipefail
cd "$(dirname "$0")/.."
case "${1:-}" in
"" | --serial) ;;
*)
    echo "usage: scripts/run.sh [--serial]" >&2
    exit 2
    ;;
esac
scripts/setup.sh --gui
# The same build folder as the test command's; vantor is built too, for the README's
# scripting examples.
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release -j"$(nproc)" --target vantor-terminal vantor-sim vantor

fronts=(--udp)
[ "${1:-}" = "--serial" ] && fronts+=(--serial)
ready=$(mktemp)
build/release/sim/vantor-sim "${fronts[@]}" >"$ready" &
sim=$!
trap 'kill $sim 2>/dev/null; rm -f "$ready"' EXIT
for _ in $(seq 100); do
    [ "$(grep -c '^READY' "$ready")" -eq ${#fronts[@]} ] && break
    kill -0 $sim 2>/dev/null || break
    sleep 0.1
done
port=$(awk '/^READY udp/ {print $4}' "$ready")
[ -n "$port" ] || { echo "the simulator did not start" >&2; exit 1; }
echo "Simulated controller on 127.0.0.1 port $port"
if [ "${1:-}" = "--serial" ]; then
    pty=$(awk '/^READY serial/ {print $3}' "$ready")
    [ -n "$pty" ] || { echo "the simulator has no pseudo-terminal" >&2; exit 1; }
    echo "Simulated serial port: $pty"
fi
build/release/vantor-terminal --host 127.0.0.1 --remote-port "$port"
