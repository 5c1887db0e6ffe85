#!/usr/bin/env bash
# The window program's stage: builds zelfin.exe for i686 (its imports checked; then signed, and
# filled with its version resource read back, as a vendor does) and x86_64, then
# runs the x86_64 one under wine64 on a virtual display, driven by keystrokes
# (tests/win32ui/window-cases.sh), and the same cases with the i686 release one under 32-bit wine
# where this machine's kernel runs 32-bit programs. Screenshots land in
# build/win64/window-cases/screenshots and build/win32/window-cases/screenshots.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${ZELFIN_JOBS:-2}

echo "== window program =="
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j "$jobs" --target zelfin zelfin-cli zelfin-pack zelfin_test_aspi \
    zelfin_test_planted window-probe
scripts/check-imports.sh build/win32/frontends/win32/zelfin.exe
# The vendor signs the filled release program; the native packing tool does the filling.
cmake --preset ci >/dev/null
cmake --build --preset ci -j "$jobs" --target zelfin-pack
tests/win32/signing-case.sh build/ci/tools/zelfin-pack build/win32/frontends/win32/zelfin.exe \
    build/win32/signing-case
tests/win32/version-case.sh build/ci/tools/zelfin-pack build/win32/version-case \
    build/win32/frontends/win32/zelfin.exe build/win32/frontends/zelfin-cli.exe

cmake --preset win64 >/dev/null
cmake --build --preset win64 -j "$jobs" --target zelfin zelfin-pack zelfin_test_aspi \
    zelfin_test_planted window-probe zelfin_win32ui_tests
tests/win32ui/window-cases.sh build/win64

echo "== window program, i686 under 32-bit wine =="
if scripts/have-wine32.sh; then
    ZELFIN_WINE=/usr/lib/wine/wine WINEARCH=win32 tests/win32ui/window-cases.sh build/win32
else
    echo "win32: this machine's kernel refuses 32-bit programs (or 32-bit wine is missing): the i686" \
        "zelfin.exe is not run here"
fi
