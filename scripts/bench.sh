#!/usr/bin/env bash
# Every performance figure in one command: builds the optimised (ci) benchmarks and writes
# build/bench/results.json (each figure with its floor, measured in the same run, and their
# ratio). A full run takes about two minutes, mostly drive-bound jobs waiting on the simulated
# drive's real-time clock. --quick: a smoke run of a few seconds, figures not for comparison;
# --host: the host-cost figures only. Other arguments go to the benchmark program. Exit status 1
# when a figure could not be measured.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh

cmake --preset ci >/dev/null
cmake --build --preset ci -j "$(nproc)" --target zelfin_bench_report
mkdir -p build/bench
build/ci/bench/zelfin_bench_report --out build/bench/results.json "$@"
