#!/usr/bin/env bash
# Runs site.yml against simulated boards on loopback and checks what it did:
#   1. the first run deploys to every board;
#   2. a second run changes nothing and writes nothing to any board;
#   3. a board changed behind Ansible's back is the only drift --check --diff
#      reports, and the check writes nothing;
#   4. a board that refuses fails the deploy, its message in the task's msg.
#
#   try.sh              this tree's collection; vantor and vantor-sim from
#                       $VANTOR_BIN (default: the release build of this tree)
#   try.sh --installed  the installed collection, vantor and vantor-sim on PATH
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/../.." && pwd)
installed=false
case "${1:-}" in
    --installed) installed=true ;;
    '') ;;
    *) echo "usage: $0 [--installed]" >&2; exit 2 ;;
esac

work=$(mktemp -d "${TMPDIR:-/tmp}/vantor-ansible.XXXXXX")
sims=()
cleanup() {
    local pid
    for pid in "${sims[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# Everything Ansible keeps goes to $work: nothing is left in $HOME.
export ANSIBLE_HOME=$work/home ANSIBLE_LOCAL_TEMP=$work/tmp ANSIBLE_REMOTE_TEMP=$work/remote
export ANSIBLE_NOCOLOR=1 ANSIBLE_RETRY_FILES_ENABLED=false ANSIBLE_DEPRECATION_WARNINGS=false
export ANSIBLE_CALLBACK_PLUGINS=$work/callbacks ANSIBLE_STDOUT_CALLBACK=try_results
if $installed; then
    unset ANSIBLE_COLLECTIONS_PATH ANSIBLE_COLLECTIONS_PATHS
    collection=/usr/share/ansible/collections/ansible_collections/vantor/boards
else
    export ANSIBLE_COLLECTIONS_PATH=$repo/packaging/ansible
    collection=$repo/packaging/ansible/ansible_collections/vantor/boards
    PATH=${VANTOR_BIN:-$repo/build/release:$repo/build/release/sim}:$PATH
fi
for tool in vantor vantor-sim ansible-playbook ansible-doc ansible-inventory; do
    command -v "$tool" >/dev/null || { echo "try.sh: $tool not found" >&2; exit 2; }
done
# The results are read with Ansible's own Python.
read -r shebang <"$(command -v ansible-playbook)"
read -ra python <<<"${shebang#\#!}"
home_had_ansible=false
[[ -e $HOME/.ansible ]] && home_had_ansible=true

# Each task's result of a run, as JSON in $TRY_RESULTS; one line a task on stdout.
mkdir -p "$work/callbacks"
cat >"$work/callbacks/try_results.py" <<'EOF'
import json
import os

from ansible.module_utils.common.json import AnsibleJSONEncoder
from ansible.plugins.callback import CallbackBase


class CallbackModule(CallbackBase):
    CALLBACK_VERSION = 2.0
    CALLBACK_TYPE = 'stdout'
    CALLBACK_NAME = 'try_results'

    def __init__(self):
        super(CallbackModule, self).__init__()
        self.results = []

    def _add(self, result, status):
        if status == 'ok' and result._result.get('changed'):
            status = 'changed'
        self.results.append(dict(task=result._task.get_name(), host=result._host.get_name(),
                                 status=status, result=result._result))
        self._display.display('  %-9s %-11s %s' % (status, result._host.get_name(), result._task.get_name()))
        if status == 'failed':
            self._display.display('            %s' % result._result.get('msg'))

    def v2_runner_on_ok(self, result):
        self._add(result, 'ok')

    def v2_runner_on_failed(self, result, ignore_errors=False):
        self._add(result, 'failed')

    def v2_runner_on_skipped(self, result):
        self._add(result, 'skipped')

    def v2_runner_on_unreachable(self, result):
        self._add(result, 'unreachable')

    def v2_on_file_diff(self, result):
        if result._result.get('diff'):
            self._display.display(self._get_diff(result._result['diff']))

    def v2_playbook_on_stats(self, stats):
        with open(os.environ['TRY_RESULTS'], 'w') as f:
            json.dump(self.results, f, cls=AnsibleJSONEncoder)
EOF

# Reads those results: results.py FILE QUERY ARGS...
cat >"$work/results.py" <<'EOF'
import json
import sys

path, query, args = sys.argv[1], sys.argv[2], sys.argv[3:]
results = json.load(open(path))


def of(task):
    return [r for r in results if r['task'].startswith(task)]


if query == 'boards':           # TASK KEY: the boards listed under KEY, sorted
    task, key = args
    print(' '.join(sorted(b for r in of(task) for b in r['result'].get(key, []))))
elif query == 'status':         # every task and host that did not end ok
    for r in results:
        if r['status'] != 'ok':
            print('%s %s: %s' % (r['status'], r['host'], r['task']))
elif query == 'diff':           # TASK: the diff text the task returned
    task, = args
    for r in of(task):
        for d in r['result'].get('diff', []):
            print(d.get('prepared', ''))
elif query == 'failed':         # TASK HOST: each failed board, and whether its message is in msg
    task, host = args
    for r in of(task):
        if r['host'] == host and r['status'] == 'failed':
            msg = r['result'].get('msg', '')
            for b in r['result'].get('boards', []):
                if b.get('result') != 'done':
                    found = b.get('message') and b['message'] in msg
                    print('%s %s' % (b['host'], 'in msg' if found else 'not in msg'))
EOF
results() { "${python[@]}" "$work/results.py" "$@"; }

checks=0 failures=0
check() {    # WHAT GOT EXPECTED: one check, reported
    checks=$((checks + 1))
    if [[ $2 == "$3" ]]; then
        echo "ok    $1"
    else
        echo "FAIL  $1"
        echo "      expected: $3"
        echo "      got:      $2"
        failures=$((failures + 1))
    fi
}

# start_sim NAME ADDRESS BOARDS [vantor-sim options]: sets port[NAME]
declare -A port
start_sim() {
    local name=$1 address=$2 boards=$3 i ready p
    shift 3
    vantor-sim --udp --address "$address" --port 0 --boards "$boards" \
        --flash-dir "$work/flash-$name" --journal "$work/journal-$name" "$@" \
        >"$work/sim-$name.out" 2>"$work/sim-$name.err" &
    sims+=($!)
    for ((i = 0; i < 100; i++)); do
        if read -r ready _ _ p _ 2>/dev/null <"$work/sim-$name.out" && [[ $ready == READY ]]; then
            port[$name]=$p
            return
        fi
        kill -0 "${sims[-1]}" 2>/dev/null || break
        sleep 0.1
    done
    echo "try.sh: vantor-sim for $name did not start:" >&2
    cat "$work/sim-$name.err" >&2
    exit 1
}

# Lines that write to a board: program lines, NEW, and flash writes.
writes() {
    cat "$work"/journal-* 2>/dev/null | grep -Eic '^[^ ]+ +([0-9]|(new|openwr|write)\b)' || true
}

# play NAME [ansible-playbook options]: runs site.yml, its results in $work/NAME.json,
# its exit status in $status
play() {
    local name=$1
    shift
    echo "--- $name"
    status=0
    TRY_RESULTS=$work/$name.json ansible-playbook -i "$here/inventory.yml" -i "$work/sites.yml" \
        "$here/site.yml" "$@" 2>"$work/$name.err" || status=$?
    [[ -s $work/$name.json ]] || { echo "try.sh: $name left no results:" >&2; cat "$work/$name.err" >&2; exit 1; }
}

echo "--- vantor: $(command -v vantor), collection: $collection"
modules=(program flash command scan)
docs=$(ansible-doc "${modules[@]/#/vantor.boards.}" 2>&1) || true
for module in "${modules[@]}"; do
    # The page's first line names the file it was read from.
    found=no
    while IFS= read -r line; do
        [[ $line == "> "*"($collection/plugins/modules/$module.py)" ]] && found=yes
    done <<<"$docs"
    check "ansible-doc vantor.boards.$module" "$found" yes
done
syntax=$(ansible-playbook -i "$here/inventory.yml" --syntax-check "$here/site.yml" 2>&1) && syntax=ok
check "syntax of site.yml" "$syntax" ok

start_sim north 127.0.0.21 3
start_sim south 127.0.0.31 2
start_sim east 127.0.0.41 2 --refuse-on 2
north="127.0.0.21:${port[north]} 127.0.0.22:${port[north]} 127.0.0.23:${port[north]}"
south="127.0.0.31:${port[south]} 127.0.0.32:${port[south]}"

# The sites of inventory.yml, pointed at the simulators.
cat >"$work/sites.yml" <<EOF
all:
  children:
    sites:
      hosts:
        site_north:
          vantor_boards: [127.0.0.21-23]
          vantor_remote_port: ${port[north]}
        site_south:
          vantor_boards: [127.0.0.31-32]
          vantor_remote_port: ${port[south]}
EOF
# Only loopback: stop before anything would go to inventory.yml's real addresses.
for site in site_north site_south; do
    boards=$(ansible-inventory -i "$here/inventory.yml" -i "$work/sites.yml" --host "$site" |
        "${python[@]}" -c 'import json, sys; print(" ".join(json.load(sys.stdin)["vantor_boards"]))')
    [[ $boards == 127.* ]] || { echo "try.sh: $site not on loopback: $boards" >&2; exit 1; }
done

deploy='Deploy the program'
flash='Keep a copy on the flash disk'

play first
check "first run: ansible-playbook status" "$status" 0
check "first run: program written to every board" "$(results "$work/first.json" boards "$deploy" changed_boards)" "$north $south"
check "first run: flash copy written to every board" "$(results "$work/first.json" boards "$flash" changed_boards)" "$north $south"
check "first run: nothing failed" "$(results "$work/first.json" status | grep -v '^changed' || true)" ""
written=$(writes)
check "first run: the journals saw the writes" "$((written > 0))" 1

play second
check "second run: ansible-playbook status" "$status" 0
check "second run: every task ok, nothing changed" "$(results "$work/second.json" status)" ""
check "second run: no line written to a board" "$(($(writes) - written))" 0

vantor --host "127.0.0.22:${port[north]}" send "20 PRINT 99" >/dev/null ||
    { echo "try.sh: could not change 127.0.0.22's program" >&2; exit 1; }
written=$(writes)
play check --check --diff
check "check run: ansible-playbook status" "$status" 0
check "check run: the drift is the changed board" "$(results "$work/check.json" boards "$deploy" changed_boards)" "127.0.0.22:${port[north]}"
check "check run: the diff shows its line" "$(results "$work/check.json" diff "$deploy" | grep -c '^-20 PRINT 99$' || true)" 1
check "check run: flash copies as they were" "$(results "$work/check.json" boards "$flash" changed_boards)" ""
check "check run: no line written to a board" "$(($(writes) - written))" 0

# A third site whose second board answers ERROR to everything.
cat >>"$work/sites.yml" <<EOF
        site_east:
          vantor_boards: [127.0.0.41-42]
          vantor_remote_port: ${port[east]}
EOF
play refused --limit site_east
check "refusing board: ansible-playbook status" "$status" 2
check "refusing board: the canary before it was deployed" \
    "$(results "$work/refused.json" boards "$deploy" changed_boards)" "127.0.0.41:${port[east]}"
check "refusing board: the deploy failed, its message in msg" \
    "$(results "$work/refused.json" failed "$deploy" site_east)" "127.0.0.42:${port[east]} in msg"

if ! $home_had_ansible; then
    left=
    [[ -e $HOME/.ansible ]] && left=$HOME/.ansible
    check "nothing left in \$HOME" "$left" ""
fi

if ((failures)); then
    echo "try.sh: $failures of $checks checks failed (${SECONDS} s); the runs' errors:"
    tail -n 20 "$work"/*.err
    exit 1
fi
echo "try.sh: all $checks checks passed (${SECONDS} s)"
