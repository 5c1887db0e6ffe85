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
mkdir -p "$work"
cd "$work" || exit 1

# shellcheck source=../checks.sh
source "$root/tests/checks.sh"

# shellcheck source=cli-cases.sh
source "$root/tests/win32/cli-cases.sh"
cli_prepare "$build"
aspi_cases
nt_case

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

simulate_case

echo "wine cases: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
