#!/usr/bin/env bash
# zelfin-cli.exe end to end under wine64, on the real Win32 platform:
#  - as Windows 98 (ASPI), against the test ASPI manager and its simulated drives: a successful
#    update, a read-back that never verifies, and a drive of another maker left untouched;
#  - as the NT family, on a wine drive letter made a CD-ROM that answers no pass-through request;
#  - with a planted WNASPI32.DLL beside the program or in the current directory, as either;
#  - two copies on one drive address, and Ctrl+C pressed during a run;
#  - a drive's hold name made first by another program, and drives without a SCSI address;
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
cp "$build/tests/win32/console-stop.exe" "$build/tests/win32/hold-name.exe" demo/
commit="3B 05 01 00 00 00 00 00 00 A0"
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

# Two copies on the same drive address, in real time so the first is in its pieces when the
# second starts: the second refuses before it changes anything, the first completes.
run98() { # run98 NAME CLOCK [WRAPPER...]: the Windows 98 program on drive D; sets $out
    out=$work/$1
    mkdir -p "$out"
    printf 'clock %s\nos 95\naspi installed\n%s\nfirmware D\n' "$2" \
        'drive D BRYMOTE "DVDRW RVM-270A" 1A05 port=1 target=0 aspi' >"$out/scenario.txt"
    shift 2
    ZELFIN_ASPI_SCENARIO=$out/scenario.txt ZELFIN_ASPI_OUTPUT=$out "$@" </dev/null \
        >"$out/output.txt" 2>&1
}
run98 first real "${wine[@]}" demo/zelfin-cli.exe --yes --update &
first=$!
for _ in $(seq 150); do grep -qs '^3B 05 01' "$work/first/transcript-D.txt" && break; sleep 0.2; done
run98 second virtual "${wine[@]}" demo/zelfin-cli.exe --yes --update
rc=$?
check "second copy: exit status 1" test "$rc" -eq 1
check "second copy: names the busy drive" contains "$out/output.txt" \
    "The drive (BRYMOTE DVDRW RVM-270A, 1-0-0-0) is in use by another program"
check "second copy: nothing changed its drive" \
    test -z "$(grep -E '^(1B|3B|F[0-9A-F]) ' "$out/transcript-D.txt")"
wait "$first"
rc=$?
check "first copy: completed" test "$rc" -eq 0
check "first copy: one commit" test "$(grep -c "^$commit" "$work/first/transcript-D.txt")" -eq 1

# A drive's hold name made first, then the drive held as the NT family holds it. Wine has no
# private namespaces, so this is the way of the NT family before Vista: a name any user could
# make (owned by that user, open to all or to no one, or not a mutex) keeps no drive from the
# update; one only an administrator could make, as another copy's, keeps it as busy.
for kind in user shut event admin; do
    out=$work/hold-$kind
    mkdir -p "$out"
    "${wine[@]}" demo/hold-name.exe take "$kind" 'Global\Zelfin drive R:' \
        demo/hold-name.exe hold 'R:\' 2 0 0 0 >"$out/output.txt" 2>&1
    verdict=held
    [ "$kind" = admin ] && verdict=busy
    check "name made first ($kind): the drive $verdict" contains "$out/output.txt" "2-0-0-0: $verdict"
done
# Drives without a SCSI address share the made-up one with each other and with a real drive
# there, yet each has a name of its own; the same drive again is busy.
out=$work/hold-unique
mkdir -p "$out"
"${wine[@]}" demo/hold-name.exe hold 'R:\' 2 0 0 0 'S:\' 2 0 0 0 - 2 0 0 0 'r:\' 2 0 0 0 \
    >"$out/output.txt" 2>&1
check "no address: every drive its own name" test "$(tr -d '\r' <"$out/output.txt")" = \
    "$(printf '%s\n' 'R:\ 2-0-0-0: held' 'S:\ 2-0-0-0: held' '- 2-0-0-0: held' 'r:\ 2-0-0-0: busy')"

# Ctrl+C pressed in the console in the middle of the pieces: held, said, and the update ends
# as it would have (wine has a console to press it in only on a terminal: script(1) gives one).
run98 ctrl-c real script -qec "${wine[*]} demo/console-stop.exe 4 demo/zelfin-cli.exe --yes --update" /dev/null
rc=$?
sed 's/\x1b\[1C/ /g; s/\x1b\[[0-9;?]*[A-Za-z]//g; s/\r//g' "$out/output.txt" >"$out/plain.txt"
check "ctrl+c: held and said" contains "$out/plain.txt" "Writing the drive: the program will stop"
check "ctrl+c: the update completed" contains "$out/plain.txt" "Firmware has been updated successfully"
check "ctrl+c: one commit" test "$(grep -c "^$commit" "$out/transcript-D.txt")" -eq 1
check "ctrl+c: the run's exit status" test "$rc" -eq 0

simulate_case

echo "wine cases: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
