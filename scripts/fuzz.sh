#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for SECONDS (default 20) from its
# seed corpus, two at a time. A target that breaks a property or crashes fails the run;
# its input is kept as build/fuzz/crash-<target>-*. `scripts/fuzz.sh 600 hex` runs one.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --fuzz
seconds=${1:-20}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(rtu_reassembly exchanges hex program_file host_list rtu_address code_page pane_text)
CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DBUILD_TESTING=OFF -DVANTOR_FUZZ=ON >/dev/null
cmake --build build/fuzz -j"$(nproc)" --target fuzz_targets >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export seconds work
fuzz_one() {
    local t=$1 out
    mkdir -p "$work/$t"
    # New inputs go to a scratch folder; the seeds in the repository stay as they are.
    if out=$(build/fuzz/fuzz/fuzz_"$t" -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix="build/fuzz/crash-$t-" "$work/$t" "fuzz/corpus/$t" 2>&1); then
        echo "$t: $(grep -E '^stat::number_of_executed_units' <<<"$out" | awk '{print $2}') executions in $seconds s, no failure"
    else
        echo "$t: FAILED"
        grep -E 'property broken|ERROR|SUMMARY' <<<"$out" | head -5
        return 1
    fi
}
export -f fuzz_one
printf '%s\n' "${targets[@]}" | xargs -P 2 -I{} bash -c 'fuzz_one {}'
