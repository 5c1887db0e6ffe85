#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz preset: clang, ASan+UBSan) and runs each from its seed
# corpus for a bounded time. A crash, leak, sanitizer report or time-out fails the script and
# leaves the input in build/fuzz/artifacts/. ZELFIN_FUZZ_SECONDS sets the time per target.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${ZELFIN_FUZZ_SECONDS:-30}
targets=(package_block description drive_answers)

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)" --target "${targets[@]/%/_fuzzer}"

work=build/fuzz/work
artifacts=build/fuzz/artifacts
mkdir -p "$artifacts"
for target in "${targets[@]}"; do
    # New inputs go to a scratch corpus; the seeds in the tree stay as they are.
    rm -rf "${work:?}/$target"
    mkdir -p "$work/$target"
    log="$work/$target.log"
    echo "== fuzz $target (${seconds} s) =="
    if ! "build/fuzz/fuzz/${target}_fuzzer" "$work/$target" "fuzz/corpus/$target" \
        -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$artifacts/${target}-" >"$log" 2>&1; then
        tail -n 60 "$log"
        echo "fuzz $target: FAILED (input in $artifacts)"
        exit 1
    fi
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "fuzz $target: ${runs:-?} inputs in ${seconds} s, no failure"
done
