#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, AddressSanitizer and UndefinedBehaviorSanitizer, and runs each for
# SECONDS (default 10: about a minute for all seven). New inputs go to build-fuzz/corpus; the seeds in
# fuzz/corpus stay as they are. Exits non-zero on any crash, leak or sanitizer report.
#   bash tools/fuzz.sh            # CI: 10 s each
#   bash tools/fuzz.sh 3600 3     # an hour each, three at a time
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-10}
jobs=${2:-1}
missing=()
for p in clang libclang-rt-14-dev; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    if [ "$(id -u)" -eq 0 ]; then apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
    else sudo apt-get update -qq && sudo DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"; fi
fi
CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQV_FUZZ=ON -DQV_SANITIZE=ON \
    -DQV_BUILD_TESTS=OFF >/dev/null
targets=(status_reply block_decoder log_record dispatch screen_fetch log_fetch http_request)
cmake --build build-fuzz --target "${targets[@]/#/fuzz_}" >/dev/null
export LSAN_OPTIONS=suppressions=$PWD/fuzz/lsan.supp
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export QT_QPA_PLATFORM=offscreen

run() {
    local t=$1 log=build-fuzz/fuzz_$1.log
    mkdir -p "build-fuzz/corpus/$t" build-fuzz/crashes
    if build-fuzz/fuzz/fuzz_"$t" -max_total_time="$seconds" -rss_limit_mb=2048 -max_len=20000 -timeout=10 \
        -artifact_prefix=build-fuzz/crashes/"$t"- "build-fuzz/corpus/$t" "fuzz/corpus/$t" >"$log" 2>&1; then
        echo "fuzz $t: $(grep -Eo 'Done [0-9]+ runs in [0-9]+ second' "$log" | tail -1)s, no crash, leak or sanitizer report"
    else
        echo "fuzz $t: FAILED, see $log and build-fuzz/crashes/"; grep -E "ERROR|SUMMARY" "$log" | head -5; return 1
    fi
}
status=0
export -f run; export seconds
printf '%s\n' "${targets[@]}" | xargs -P "$jobs" -I{} bash -c 'run {}' || status=1
exit $status
