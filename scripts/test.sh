#!/usr/bin/env bash
# Sets up, builds and runs every test: once as a normal build and once under
# AddressSanitizer and UndefinedBehaviorSanitizer. `--quick` skips the second run.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
export QT_QPA_PLATFORM=offscreen

run() {
    local dir=$1; shift
    cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
    cmake --build "$dir" -j"$(nproc)"
    (cd "$dir" && ctest --output-on-failure -j2)
}

run build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo
if [ "${1:-}" != "--quick" ]; then
    export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp
    run build/sanitize -DCMAKE_BUILD_TYPE=Debug -DVANTOR_SANITIZE=ON
fi
