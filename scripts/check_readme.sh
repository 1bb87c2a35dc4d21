#!/usr/bin/env bash
# Runs the README's scripting examples exactly as written, in a scratch folder that sees
# the build and the examples as a fresh clone does after the run command.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD
work=$(mktemp -d)
trap 'pkill -P $$ vantor-sim 2>/dev/null || true; rm -rf "$work"' EXIT
ln -s "$top/build" "$top/examples" "$work/"
# The first sh block after the "## Scripting" heading.
awk '/^## Scripting/ {s = 1} s && /^```sh$/ {b = 1; next} b && /^```$/ {exit} b' README.md \
    >"$work/examples.sh"
[ -s "$work/examples.sh" ] || { echo "README.md: no scripting examples found" >&2; exit 1; }
(cd "$work" && bash -euo pipefail examples.sh >"$work/out.txt" 2>&1) || {
    cat "$work/out.txt" >&2
    echo "README.md: a scripting example failed" >&2
    exit 1
}
echo "README.md: $(grep -c . "$work/examples.sh") lines of scripting examples ran"
