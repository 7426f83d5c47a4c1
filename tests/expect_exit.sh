#!/usr/bin/env bash
# Runs a command and passes only when it exits with exactly the expected code: "any failure" hides a usage error
# reported as an absent instrument, or the other way round.
#   expect_exit.sh CODE COMMAND [ARG...]
expected=$1
shift
"$@"
code=$?
if [ "$code" -ne "$expected" ]; then
    echo "expected exit code $expected, got $code: $*" >&2
    exit 1
fi
