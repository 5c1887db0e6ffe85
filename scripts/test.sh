#!/usr/bin/env bash
# Every test of the project, from a fresh clone: set-up, format check, and the suite built
# three ways (optimised with warnings as errors, AddressSanitizer+UBSan, ThreadSanitizer).
# ZELFIN_PRESETS="ci" limits the run to the named presets.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh

presets=${ZELFIN_PRESETS:-"ci asan tsan"}
jobs=$(nproc)

scripts/check-format.sh

for preset in $presets; do
    echo "== $preset =="
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$jobs"
    ctest --preset "$preset" -j "$jobs"
    [ "$preset" != ci ] || scripts/test-package.sh
done

[ "${ZELFIN_QEMU_E2E:-1}" = 0 ] || scripts/qemu-e2e.sh
scripts/fuzz.sh
scripts/test-windows.sh
scripts/test-win32ui.sh
