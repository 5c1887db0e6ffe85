#!/usr/bin/env bash
# The Windows stage: cross-builds the i686 release programs and checks what they import, that they
# carry no debug sections and that another build of the commit gives the same bytes, then
# builds the x86_64 tests and runs them under wine64 with the zelfin-cli.exe end-to-end cases,
# then runs the i686 release zelfin-cli.exe itself under 32-bit wine where this machine's kernel
# runs 32-bit programs. A fresh wine prefix is made in the build folder for each run.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${ZELFIN_JOBS:-2}

echo "== win32 =="
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j "$jobs" --target zelfin zelfin-cli zelfin-pack zelfin_test_aspi
scripts/check-imports.sh build/win32/frontends/zelfin-cli.exe
release=(build/win32/frontends/win32/zelfin.exe build/win32/frontends/zelfin-cli.exe
    build/win32/tools/zelfin-pack.exe)
if i686-w64-mingw32-objdump -h "${release[@]}" | grep ' \.debug_'; then
    echo "win32: the release programs above carry debug sections" >&2
    exit 1
fi
# A second build of the commit, elsewhere and later, must give the same bytes (about a minute).
if [ -z "$(git status --porcelain --untracked-files=no)" ]; then
    scripts/check-reproducible.sh --against build/win32
else
    echo "win32: uncommitted changes, so the reproducibility check is left to scripts/check-reproducible.sh"
fi

echo "== win64 =="
cmake --preset win64 >/dev/null
cmake --build --preset win64 -j "$jobs"

export WINEPREFIX=$PWD/build/win64/wineprefix
rm -rf "$WINEPREFIX"
mkdir -p "$WINEPREFIX"
WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
/usr/lib/wine/wineserver -w

ctest --preset win64 -j "$jobs"
tests/win32/wine-cases.sh build/win64

echo "== win32 under 32-bit wine =="
export WINEPREFIX=$PWD/build/win32/wineprefix
rm -rf "$WINEPREFIX"
mkdir -p "$WINEPREFIX"
if scripts/have-wine32.sh; then
    WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" /usr/lib/wine/wine wineboot -i \
        >/dev/null 2>&1
    /usr/lib/wine/wineserver -w
    tests/win32/wine32-cases.sh build/win32
else
    echo "win32: this machine's kernel refuses 32-bit programs (or 32-bit wine is missing): the i686" \
        "release programs run only in the QEMU stage's guest"
fi
