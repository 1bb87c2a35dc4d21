#!/usr/bin/env bash
# Takes docs/screenshot.png again from the built window: the simulated controller on
# loopback, the window under Xvfb connected to it, a program typed into the console, then
# VER and LIST, and the window captured as the pane shows their answers. Run by hand.
# Xvfb has no window manager: a click gives the window the keyboard.
set -euo pipefail
cd "$(dirname "$0")/.."
out=docs/screenshot.png
if [ "${1:-}" != "--inside" ]; then
    scripts/setup.sh --screenshot
    cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build build/release -j"$(nproc)" --target vantor-terminal vantor-sim
    exec xvfb-run --auto-servernum --server-args="-screen 0 800x600x24" "$0" --inside
fi

root=$PWD
work=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null; rm -rf "$work"' EXIT

# Waits up to 10 s for a condition, checked every 0.1 s.
await() {
    for _ in $(seq 100); do
        "$@" && return 0
        sleep 0.1
    done
    echo "screenshot: gave up waiting for: $*" >&2
    exit 1
}

build/release/sim/vantor-sim --udp >"$work/ready" &
pids+=($!)
await grep -q '^READY udp' "$work/ready"
port=$(awk '/^READY udp/ {print $4}' "$work/ready")

# In a folder of its own, so that its log and host list stay out of the tree.
(cd "$work" && exec "$root/build/release/vantor-terminal" --host 127.0.0.1 --remote-port "$port") &
pids+=($!)
window() { xdotool search --onlyvisible --name '^Vantor V3\.1\.1$' | head -n 1; }
shown() { [ -n "$(window)" ]; }
await shown
wid=$(window)
log=$work/Terminal.log

click() { xdotool mousemove --window "$wid" "$1" "$2" click 1; }
# The answers the board has given so far: the log holds every datagram as it came.
answers() { grep -c $'^OK\r$' "$log" || true; }
more_than() { [ "$(answers)" -gt "$1" ]; }
enter() {
    local before
    before=$(answers)
    xdotool type --delay 10 "$1"
    xdotool key Return
    await more_than "$before"
}

click 217 22  # Connect
click 264 500 # the console line
while IFS= read -r line; do
    enter "${line%$'\r'}"
done <examples/blink.bas
click 498 120 # Clear
click 264 500
xdotool type --delay 10 VER
xdotool key Return
await grep -q 'VANTOR-SIM BASIC' "$log"
enter LIST

# The window paints at its own pace: take it until two captures in a row agree.
import -window "$wid" "ppm:$work/a.ppm"
for _ in $(seq 50); do
    import -window "$wid" "ppm:$work/b.ppm"
    cmp -s "$work/a.ppm" "$work/b.ppm" && break
    mv "$work/b.ppm" "$work/a.ppm"
done
convert "$work/a.ppm" -strip "$out"
echo "$out: $(identify -format '%w x %h' "$out")"
