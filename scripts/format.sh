#!/usr/bin/env bash
# Formats every C++ file of the project with the repository's .clang-format;
# `scripts/format.sh --check` changes nothing and fails on a file it would change.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --format
mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = "--check" ]; then
    clang-format --dry-run -Werror "${files[@]}"
    echo "format: ${#files[@]} files as .clang-format wants them"
else
    clang-format -i "${files[@]}"
fi
