#!/usr/bin/env bash
# The sanitized build's test wrapper repeats a run only for LeakSanitizer's tracer crash, never hides a finding,
# and passes the program's exit code through.
set -uo pipefail
wrapper="$(dirname "$0")/sanitized_run.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail=0

# A stand-in test program: prints what the next line of its script says and exits with that line's code.
cat >"$work/program" <<'PROGRAM'
#!/usr/bin/env bash
count=$(($(cat "$1.count" 2>/dev/null || echo 0) + 1))
echo "$count" >"$1.count"
line=$(sed -n "${count}p" "$1")
printf '%b\n' "${line#* }"
exit "${line%% *}"
PROGRAM
chmod +x "$work/program"

tracer='Tracer caught signal 11: addr=0xcd8 pc=0x1 sp=0x2\n==7==LeakSanitizer has encountered a fatal error.'
leak='==7==ERROR: LeakSanitizer: detected memory leaks'

check() {  # name, expected exit code, expected runs, script lines...
    local name=$1 want_rc=$2 want_runs=$3 rc runs
    shift 3
    printf '%s\n' "$@" >"$work/$name"
    bash "$wrapper" "$work/program" "$work/$name" >"$work/$name.out" 2>&1
    rc=$?
    runs=$(cat "$work/$name.count")
    if [ "$rc" -ne "$want_rc" ] || [ "$runs" -ne "$want_runs" ]; then
        echo "FAIL $name: exit $rc after $runs runs, expected exit $want_rc after $want_runs"
        cat "$work/$name.out"
        fail=1
    else
        echo "ok   $name"
    fi
}

check passes 0 1 "0 PASS"
check fails_once_is_a_failure 1 1 "1 FAIL!  : TestX::y()" "0 PASS"
check tracer_crash_then_passes 0 2 "1 PASS\n$tracer" "0 PASS"
check tracer_crash_then_real_failure 1 2 "1 PASS\n$tracer" "1 FAIL!  : TestX::y()"
check tracer_crash_every_time 1 3 "1 $tracer" "1 $tracer" "1 $tracer" "0 PASS"
check leak_report_is_never_repeated 1 1 "1 $leak\n$tracer" "0 PASS"
check undefined_behaviour_is_never_repeated 1 1 "1 x.cpp:3:5: runtime error: signed overflow\n$tracer" "0 PASS"
check will_fail_exit_code_passes_through 3 1 "3 no instrument"
exit $fail
