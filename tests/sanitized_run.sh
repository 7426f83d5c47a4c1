#!/usr/bin/env bash
# Runs one test program of the sanitized build (QV_SANITIZE).
#
# LeakSanitizer looks for leaks when the program exits, from a helper thread that stops the process with ptrace.
# On some machines that helper itself crashes now and then, after the test has run to its end:
#     Tracer caught signal 11: addr=... pc=... sp=...
#     ==N==LeakSanitizer has encountered a fatal error.
# That run says nothing about the program: no leak check took place. Such a run is repeated, at most twice; the
# repeat runs the whole test again, so a real failure fails again. Every other failure stands, and so does any
# leak, AddressSanitizer or UndefinedBehaviorSanitizer report.
set -uo pipefail

out=$(mktemp)
trap 'rm -f "$out"' EXIT
for attempt in 1 2 3; do
    "$@" >"$out" 2>&1
    rc=$?
    cat "$out"
    if [ "$rc" -ne 0 ] && [ "$attempt" -lt 3 ] &&
       grep -q "^Tracer caught signal" "$out" &&
       grep -q "LeakSanitizer has encountered a fatal error" "$out" &&
       ! grep -qE "ERROR: (LeakSanitizer|AddressSanitizer)|runtime error:" "$out"; then
        echo "sanitized_run: LeakSanitizer's exit-time tracer crashed (attempt $attempt); running the test again" >&2
        continue
    fi
    exit "$rc"
done
