#!/usr/bin/env bash
# Checks vantor's bash completion: `completion.sh FILE` sources FILE (the one in the
# repository, or the installed one) and asks it as bash would, word by word.
set -u
source "$1"
failed=0
expect() { # expect "WORDS..." "ANSWER": the completions of the last word hold ANSWER
    read -r -a COMP_WORDS <<<"$1"
    [[ $1 == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _vantor
    if [[ " ${COMPREPLY[*]} " != *" $2 "* ]]; then
        echo "completion of '$1': wanted $2, got: ${COMPREPLY[*]}" >&2
        failed=1
    fi
}
cd "$(dirname "$0")"
expect "vantor dow" download
expect "vantor --host h diff tst_fl" tst_fleet.cpp
expect "vantor --host h te" term
expect "vantor --no-rec" --no-reconnect
expect "vantor --failed-to tst_fl" tst_fleet.cpp
expect "vantor --ret" --retries
expect "vantor --baud 96" 9600
expect "vantor --codepage cp" cp866
expect "vantor --host 10.0.0.5 download tst_c" tst_cli.cpp
expect "vantor put completion.s" completion.sh
expect "vantor --jobs 4 get NAME tst_cha" tst_chaos.cpp
expect "vantor --serial /dev/nul" /dev/null
exit $failed
