#!/usr/bin/env bash
# Every test of the project, from a fresh clone: set-up, format check, the suite built three ways
# (optimised with warnings as errors, AddressSanitizer+UBSan, ThreadSanitizer), the Debian
# package, the QEMU end-to-end run, the fuzzers, and the Windows builds under wine.
# ZELFIN_PRESETS="ci" limits the native builds to the named presets.
set -euo pipefail
cd "$(dirname "$0")/.."

stages=0
stage() {
    "$@"
    stages=$((stages + 1))
}

scripts/setup.sh

presets=${ZELFIN_PRESETS:-"ci asan tsan"}
jobs=$(nproc)

stage scripts/check-format.sh

for preset in $presets; do
    echo "== $preset =="
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$jobs"
    stage ctest --preset "$preset" -j "$jobs"
    [ "$preset" != ci ] || stage scripts/test-package.sh
done

[ "${ZELFIN_QEMU_E2E:-1}" = 0 ] || stage scripts/qemu-e2e.sh
stage scripts/fuzz.sh
stage scripts/test-windows.sh
stage scripts/test-win32ui.sh

# Any failing stage has stopped the run above.
echo "stages: $stages passed, 0 failed"
