#!/usr/bin/env bash
# The i686 release zelfin-cli.exe itself under 32-bit wine, on the real Win32 platform: packed
# by the release zelfin-pack.exe, a whole update on the simulated machine inside the program, and
# as the NT family on a wine CD-ROM letter that answers no pass-through request. (The Windows 98
# cases need the test ASPI manager, which only the x86_64 test build has.)
# Usage: tests/win32/wine32-cases.sh BUILD_DIR (the win32 build; WINEPREFIX names a win32 prefix).
set -uo pipefail
build=$(cd "$1" && pwd)
root=$(cd "$(dirname "$0")/../.." && pwd)
wine=(env ZELFIN_WINE=/usr/lib/wine/wine "$root/scripts/wine-run.sh")
: "${WINEPREFIX:?WINEPREFIX must name a prepared win32 wine prefix}"

work=$build/wine32-cases
rm -rf "$work"
mkdir -p "$work/demo" "$work/cdrom"
cd "$work" || exit 1

# shellcheck source=../checks.sh
source "$root/tests/checks.sh"

"${wine[@]}" "$build/tools/zelfin-pack.exe" make-demo demo >/dev/null || exit 1
cp "$build/frontends/zelfin-cli.exe" demo/zelfin-cli.exe
"${wine[@]}" "$build/tools/zelfin-pack.exe" fill demo/zelfin-cli.exe demo/package.txt >/dev/null ||
    exit 1
"${wine[@]}" reg add 'HKLM\Software\Wine\Drives' /v 'r:' /d cdrom /f >/dev/null
ln -sfn "$work/cdrom" "$WINEPREFIX/dosdevices/r:"
/usr/lib/wine/wineserver -w

"${wine[@]}" demo/zelfin-cli.exe --yes --update </dev/null >nt.txt 2>&1
rc=$?
check "nt: exit status 1" test "$rc" -eq 1
check "nt: no match" contains nt.txt "No matched drive detected !"
check "nt: R: listed with a made-up address" contains nt.txt " 2-0-0-0 R:"

printf 'clock virtual\nos nt\ndrive D BRYMOTE "DVDRW RVM-270A" 1A05 port=1 target=0\nfirmware D\n' \
    >scenario.txt
"${wine[@]}" demo/zelfin-cli.exe --simulate scenario.txt --yes --update </dev/null >simulate.txt 2>&1
rc=$?
check "simulate: exit status 0" test "$rc" -eq 0
check "simulate: reported" contains simulate.txt "Firmware has been updated successfully !"
check "simulate: the new revision" contains simulate.txt "D:BRYMOTE DVDRW RVM-270A   1A07"

echo "wine32 cases: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
