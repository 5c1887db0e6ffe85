#!/usr/bin/env bash
# zelfin-cli.exe end to end under wine64, on the real Win32 platform:
#  - as Windows 98 (ASPI), against the test ASPI manager and its simulated drives: a successful
#    update, a read-back that never verifies, and a drive of another maker left untouched;
#  - as the NT family, on a wine drive letter made a CD-ROM that answers no pass-through request;
#  - with a planted WNASPI32.DLL beside the program or in the current directory, as either;
#  - with --simulate, on the simulated machine inside the program.
# Usage: tests/win32/wine-cases.sh BUILD_DIR (the win64 build; WINEPREFIX names a ready prefix).
set -uo pipefail
build=$(cd "$1" && pwd)
root=$(cd "$(dirname "$0")/../.." && pwd)
wine=("$root/scripts/wine-run.sh")
: "${WINEPREFIX:?WINEPREFIX must name a prepared wine prefix}"

work=$build/wine-cases
rm -rf "$work"
mkdir -p "$work/demo" "$work/cdrom"
cd "$work" || exit 1

# shellcheck source=../checks.sh
source "$root/tests/checks.sh"

# The packed program as a vendor makes it, with zelfin-pack.exe.
"${wine[@]}" "$build/tools/zelfin-pack.exe" make-demo demo >/dev/null || exit 1
cp "$build/frontends/zelfin-cli.exe" demo/zelfin-cli.exe
"${wine[@]}" "$build/tools/zelfin-pack.exe" fill demo/zelfin-cli.exe demo/package.txt >/dev/null ||
    exit 1
cp demo/zelfin-cli.exe demo/zelfin-cli-nt.exe
cp "$build/tests/win32/WNASPI32.dll" demo/

# GetVersionExA says Windows 98 to the one program; a CD-ROM letter R: for the other.
"${wine[@]}" reg add 'HKCU\Software\Wine\AppDefaults\zelfin-cli.exe' /v Version /d win98 /f \
    >/dev/null
"${wine[@]}" reg add 'HKLM\Software\Wine\Drives' /v 'r:' /d cdrom /f >/dev/null
ln -sfn "$work/cdrom" "$WINEPREFIX/dosdevices/r:"
/usr/lib/wine/wineserver -w # the drive types are read when the server starts again

aspi_case() { # aspi_case NAME EXTRA_SCENARIO_LINES: runs the Windows 98 program; sets $out, $rc
    out=$work/$1
    mkdir -p "$out"
    {
        echo "clock virtual"
        echo "os 95"
        echo "aspi installed"
        echo "drive D BRYMOTE \"DVDRW RVM-270A\" 1A05 port=1 target=0 aspi"
        echo "firmware D"
        echo "drive E OTHER \"DVD-ROM X16\" 2.10 other port=1 target=1 aspi"
        printf '%b' "$2"
    } >"$out/scenario.txt"
    ZELFIN_ASPI_SCENARIO=$out/scenario.txt ZELFIN_ASPI_OUTPUT=$out \
        "${wine[@]}" demo/zelfin-cli.exe --yes --update </dev/null >"$out/output.txt" 2>&1
    rc=$?
}
commit="3B 05 01 00 00 00 00 00 00 A0"

aspi_case update ""
check "update: exit status 0" test "$rc" -eq 0
check "update: reported" contains "$out/output.txt" "Firmware has been updated successfully !"
check "update: new revision listed" contains "$out/output.txt" "1-0-0-0 BRYMOTE DVDRW RVM-270A   1A07"
check "update: the flash holds the bank" cmp -s "$out/flash-D.bin" demo/firmware.bin
check "update: other drive listed" contains "$out/output.txt" "1-0-1-0 OTHER   DVD-ROM X16      2.10"
check "update: other drive got no write" lacks "$out/transcript-E.txt" "3B "
check "update: other drive got no read-back" lacks "$out/transcript-E.txt" "3C "

aspi_case readback "fault D readback\n"
check "read-back: exit status 1" test "$rc" -eq 1
check "read-back: reported" contains "$out/output.txt" "Unable to flash firmware."
check "read-back: no success" lacks "$out/output.txt" "successfully"
check "read-back: no commit sent" lacks "$out/transcript-D.txt" "$commit"
check "read-back: old revision kept" contains "$out/output.txt" "1-0-0-0 BRYMOTE DVDRW RVM-270A   1A05"

out=$work/nt
mkdir -p "$out"
"${wine[@]}" demo/zelfin-cli-nt.exe --yes --update </dev/null >"$out/output.txt" 2>&1
rc=$?
check "nt: exit status 1" test "$rc" -eq 1
check "nt: no match" contains "$out/output.txt" "No matched drive detected !"
check "nt: R: listed with a made-up address" contains "$out/output.txt" " 2-0-0-0 R:"

# A library planted where a bare name would be looked for, as a Downloads folder may hold it:
# it exports nothing and leaves planted-marker.txt beside itself when loaded. The program is a
# copy in a folder of its own, started from another folder.
planted_case() { # planted_case NAME PROGRAM WHERE ("program" or "cwd"); sets $out, $rc
    out=$work/$1
    mkdir -p "$out/program" "$out/cwd"
    cp "demo/$2" "$out/program/$2"
    cp "$build/tests/win32/planted.dll" "$out/$3/WNASPI32.DLL"
    (cd "$out/cwd" && "${wine[@]}" "$out/program/$2" --yes --update </dev/null >"$out/output.txt" 2>&1)
    rc=$?
}
for where in cwd program; do
    planted_case "nt-planted-$where" zelfin-cli-nt.exe "$where"
    check "nt, planted in $where: never loaded" test ! -e "$out/$where/planted-marker.txt"
    check "nt, planted in $where: pass-through as before" contains "$out/output.txt" " 2-0-0-0 R:"
done
planted_case 98-planted-program zelfin-cli.exe program
check "98, planted beside the program: loaded" test -e "$out/program/planted-marker.txt"
planted_case 98-planted-cwd zelfin-cli.exe cwd
check "98, planted in the current directory: never loaded" test ! -e "$out/cwd/planted-marker.txt"
check "98, planted in the current directory: no manager" contains "$out/output.txt" "No matched"
check "98, planted in the current directory: no drive" lacks "$out/output.txt" "-0-0-0 "

# The simulated machine inside the Windows program itself.
out=$work/simulate
mkdir -p "$out"
printf 'clock virtual\nos nt\ndrive D BRYMOTE "DVDRW RVM-270A" 1A05 port=1 target=0\nfirmware D\n' \
    >"$out/scenario.txt"
"${wine[@]}" demo/zelfin-cli-nt.exe --simulate "$out/scenario.txt" --yes --update </dev/null \
    >"$out/output.txt" 2>&1
rc=$?
check "simulate: exit status 0" test "$rc" -eq 0
check "simulate: reported" contains "$out/output.txt" "Firmware has been updated successfully !"

echo "wine cases: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
