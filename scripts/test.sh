#!/usr/bin/env bash
# Sets up, builds and runs every test: once as a normal build and once under
# AddressSanitizer and UndefinedBehaviorSanitizer; checks that the README's run command
# brings the window up, that its scripting examples run and that the Ansible example
# deploys to simulated boards as it should; then runs every fuzz target
# for 20 s; then builds the Debian package, checks it with lintian, installs it here,
# tries the installed programs and removes it again.
# `--quick` runs the normal build's tests and the README's commands only.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
export QT_QPA_PLATFORM=offscreen
# Every C++ file as .clang-format wants it (scripts/format.sh formats them).
scripts/format.sh --check

# Testing is switched on whatever an earlier command left in the build folder, and a
# build without tests fails rather than passing.
run() {
    local dir=$1; shift
    cmake -S . -B "$dir" -G Ninja -DBUILD_TESTING=ON "$@" >/dev/null
    cmake --build "$dir" -j"$(nproc)"
    (cd "$dir" && ctest --output-on-failure --no-tests=error -j2)
}

run build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo
# What a new user runs first.
scripts/check_run.sh
scripts/check_run.sh --serial
scripts/check_readme.sh
# The Ansible example against simulated boards, with this tree's collection.
scripts/setup.sh --ansible
examples/ansible/try.sh
if [ "${1:-}" != "--quick" ]; then
    export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp
    run build/sanitize -DCMAKE_BUILD_TYPE=Debug -DVANTOR_SANITIZE=ON
fi

# Every fuzz target for a bounded time; a broken property fails the run.
if [ "${1:-}" != "--quick" ]; then
    scripts/fuzz.sh 20
fi

# The package: built and checked by lintian, installed on this machine, tried, removed.
if [ "${1:-}" != "--quick" ]; then
    deb=$(scripts/package.sh | tail -n 1)
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo=sudo
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "./$deb" >/dev/null
    trap '$sudo apt-get remove -y -qq vantor >/dev/null' EXIT
    /usr/bin/vantor-terminal --version
    /usr/bin/vantor --version
    ready=$(mktemp)
    /usr/bin/vantor-sim --udp >"$ready" &
    sim=$!
    for _ in $(seq 100); do grep -q '^READY udp' "$ready" && break; sleep 0.1; done
    port=$(awk '/^READY udp/ {print $4}' "$ready")
    /usr/bin/vantor --host "127.0.0.1:$port" ver
    bash tests/cli/completion.sh /usr/share/bash-completion/completions/vantor
    examples/ansible/try.sh --installed
    kill "$sim"
    wait "$sim" || true
    rm -f "$ready"
    echo "package: installed, tried and removed"
fi
