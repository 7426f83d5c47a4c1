#!/usr/bin/env bash
# Every exit code of the command line, exactly, with what a script finds on standard output: 0 done, 1 absent
# instrument or failed exchange, 2 usage, 3 an output file not written (and nothing partial left behind).
#   bash cli_exit_codes.sh PROGRAM
set -u
program=("$1")
# In the sanitized build a finding must not pass for one of the exit codes checked here. Leaks are looked for
# by the command-line tests that run through sanitized_run.sh, whose merged output this script cannot use.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0:exitcode=86"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:+$UBSAN_OPTIONS:}exitcode=86"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
export QT_QPA_PLATFORM=offscreen
failures=0
runner=()

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# check EXIT PATTERN ARGS...: exits with EXIT; standard output is one line matching PATTERN (empty: no check).
check() {
    local want=$1 pattern=$2 out rc
    shift 2
    out=$("${runner[@]}" "${program[@]}" "$@" 2>"$dir/stderr")
    rc=$?
    if [ "$rc" -ne "$want" ]; then
        fail "exit $rc, not $want: $*"
        head -n 5 "$dir/stderr" | sed 's/^/    /'
    elif [ -n "$pattern" ] && { [ "$(printf '%s\n' "$out" | wc -l)" -ne 1 ] || ! [[ $out =~ ^$pattern$ ]]; }; then
        fail "standard output of $*: $out"
    else
        echo "ok $want: $*"
    fi
}

# failure EXIT KIND: the one JSON line of a failure, with the kind of what failed.
failure() { echo '\{"error":"([^"\\]|\\.)+","exit":'"$1"',"kind":"'"$2"'","ok":false\}'; }
nothing_left() { [ -z "$(ls -A "$1")" ] || fail "left behind in $1: $(ls -A "$1")"; }

check 0 '\{.*"present":true.*\}' --device sim --status --json
check 0 '\{.*"serial":"QV7700SIM".*\}' --device sim -s QV7700SIM --status --json
check 0 '\{"exit":0,"file":"[^"]+/p.png","ok":true\}' --device sim --capture "$dir/p.png" --json
rm -f "$dir/p.png"
# Keys pressed first, then the log: the status box of the fetch is not echoed record by record.
check 0 '' --device sim --press LOGGER --get-log "$dir/l.txt"
[ "$(wc -c <"$dir/stderr")" -lt 200 ] || fail "--press then --get-log wrote $(wc -c <"$dir/stderr") bytes to standard error"
rm -f "$dir/l.txt"

mkdir "$dir/absent"
check 1 '\{.*"present":false.*\}' --device sim --serial-number NOT-ATTACHED --status --json
check 1 "$(failure 1 absent)" --device serial:/nonexistent/ttyUSB9 --capture "$dir/absent/x.png" --json
# Without --json the reason goes to standard error in words.
check 1 '' --device serial:/nonexistent/ttyUSB9 --capture "$dir/absent/x.png"
grep -q "No QV7700 found" "$dir/stderr" || fail "no 'No QV7700 found' on standard error: $(head -c 200 "$dir/stderr")"
check 1 "$(failure 1 not-offered)" --device sim --press PICTURE --capture "$dir/absent/x.png" --json
nothing_left "$dir/absent"

check 2 "$(failure 2 usage)" --device nonsense --status --json
check 2 "$(failure 2 usage)" --device sim --capture "$dir/x.jpg" --json
check 2 "$(failure 2 usage)" --device sim --get-log "$dir/x.log" --format xml --json
check 2 "$(failure 2 usage)" --device sim --status --capture "$dir/x.png" --json
check 2 "$(failure 2 usage)" --device sim --no-such-option --json
check 2 "$(failure 2 usage)" --json
check 2 '' --device sim --format png --status

# A folder that takes no new file, even for root.
check 3 "$(failure 3 not-written)" --device sim --capture /proc/qv7700-test/x.png --json
# A disk that fills up in the middle of the picture: neither the picture nor its temporary file may stay.
mkdir "$dir/full"
runner=(bash -c 'trap "" XFSZ; ulimit -f 1; exec "$@"' limited)
check 3 "$(failure 3 not-written)" --device sim --capture "$dir/full/x.png" --json
runner=()
nothing_left "$dir/full"

echo "$failures failure(s)"
[ "$failures" -eq 0 ]
