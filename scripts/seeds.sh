#!/usr/bin/env bash
# Runs vantor's engine in the simulated world, a seed a run (tests/simulation):
#   scripts/seeds.sh                     100000 seeds from 0
#   scripts/seeds.sh --seeds 1000000     a million; --from S starts at seed S
#   scripts/seeds.sh --seed 4711         one seed again, with its trace (and, when it
#                                        fails, the smaller case it shrinks to)
# It builds tst_simulation in build/release first, configured as scripts/test.sh does.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=build/release
if [ ! -f "$dir/build.ninja" ]; then
    scripts/setup.sh
    cmake -S . -B "$dir" -G Ninja -DBUILD_TESTING=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
elif ! grep -q '^BUILD_TESTING:BOOL=ON' "$dir/CMakeCache.txt"; then
    cmake -S . -B "$dir" -G Ninja -DBUILD_TESTING=ON >/dev/null
fi
cmake --build "$dir" --target tst_simulation >/dev/null
exec "$dir/tests/simulation/tst_simulation" "$@"
