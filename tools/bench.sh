#!/usr/bin/env bash
# Builds and runs the benchmarks (optimised build in build-bench); prints the table and the ratios.
set -euo pipefail
cd "$(dirname "$0")/.."
for p in libbenchmark-dev snmpd snmp; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || {
        [ "$(id -u)" -eq 0 ] && apt-get install -y -qq "$p" || sudo apt-get install -y -qq "$p"; }
done
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DQV_BUILD_BENCH=ON -DQV_BUILD_TESTS=OFF >/dev/null
cmake --build build-bench --target qv_bench qv_bench_watch qv_bench_snmp qv_bench_report
QT_QPA_PLATFORM=offscreen build-bench/qv_bench "$@"
QT_QPA_PLATFORM=offscreen build-bench/qv_bench_watch "$@"
QT_QPA_PLATFORM=offscreen build-bench/qv_bench_snmp "$@"
QT_QPA_PLATFORM=offscreen build-bench/qv_bench_report
# Four instruments in one program, one of them capturing: poll period and lateness each, CPU and memory.
/usr/bin/python3 bench/bench_instruments.py build-bench/qv7700-remote
