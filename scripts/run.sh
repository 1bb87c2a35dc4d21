#!/usr/bin/env bash
# Sets up, builds, starts the simulated controller on loopback and opens the terminal
# pointed at it. With --serial the simulator also serves a pseudo-terminal, whose path
# it prints: type that path into the port box and press "Open".
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --gui
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF >/dev/null
cmake --build build/release -j"$(nproc)" --target vantor-terminal vantor-sim

fronts=(--udp)
[ "${1:-}" = "--serial" ] && fronts+=(--serial)
ready=$(mktemp)
build/release/sim/vantor-sim "${fronts[@]}" >"$ready" &
sim=$!
trap 'kill $sim 2>/dev/null; rm -f "$ready"' EXIT
for _ in $(seq 100); do
    grep -q '^READY udp' "$ready" && { [ ${#fronts[@]} -eq 1 ] || grep -q '^READY serial' "$ready"; } && break
    sleep 0.1
done
port=$(awk '/^READY udp/ {print $4}' "$ready")
[ -n "$port" ] || { echo "the simulator did not start" >&2; exit 1; }
echo "Simulated controller on 127.0.0.1 port $port"
grep '^READY serial' "$ready" | awk '{print "Simulated serial port: " $3}'
build/release/vantor-terminal --host 127.0.0.1 --remote-port "$port"
