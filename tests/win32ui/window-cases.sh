#!/usr/bin/env bash
# zelfin.exe as a user meets it: the packed window program under wine on a virtual X
# display, as Windows 98 (the ASPI path) against the test ASPI manager's simulated drives, and as
# the NT family on a CD-ROM letter, driven by keystrokes. Results come from files (the drives' transcripts and flash, the exit status) and
# from the windows' own texts read by window-probe.exe, never from pixels. Screenshots of the
# main window before and during a run and of the reboot dialog go to WORK/screenshots.
# Usage: tests/win32ui/window-cases.sh BUILD_DIR (a Windows build with zelfin.exe, zelfin-pack.exe,
# WNASPI32.dll, planted.dll and window-probe.exe built; the toolkit tests run where it has
# zelfin_win32ui_tests.exe). The loader is wine64 unless ZELFIN_WINE names another; the i686
# build runs with ZELFIN_WINE=/usr/lib/wine/wine WINEARCH=win32.
set -uo pipefail
build=$(cd "$1" && pwd)
root=$(cd "$(dirname "$0")/../.." && pwd)
wine=("$root/scripts/wine-run.sh")
work=$build/window-cases
shots=$work/screenshots
title="Flash Program for BRYMOTE DVDRW RVM-270A"
commit="3B 05 01 00 00 00 00 00 00 A0"

rm -rf "$work"
mkdir -p "$work/demo" "$shots"
cd "$work" || exit 1

# A display of our own, and a fresh prefix whose programs all live in one virtual desktop (no
# window manager runs on Xvfb: the desktop draws the title bars).
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb=$!
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=:$(head -1 "$work/display")
export WINEPREFIX=$work/prefix
cleanup() {
    /usr/lib/wine/wineserver -k >/dev/null 2>&1
    kill "$xvfb" 2>/dev/null
}
trap cleanup EXIT
WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" "${ZELFIN_WINE:-/usr/lib/wine/wine64}" wineboot -i \
    >/dev/null 2>&1
/usr/lib/wine/wineserver -w
reg() { "${wine[@]}" reg add "$1" /v "$2" /d "$3" /f >/dev/null; }
reg 'HKCU\Software\Wine\Explorer' Desktop zelfin
reg 'HKCU\Software\Wine\Explorer\Desktops' zelfin 1024x768
reg 'HKCU\Software\Wine\AppDefaults\zelfin.exe' Version win98
# Wine's own faces (Tahoma, MS Sans Serif) and metric-compatible Arial and Courier New.
mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
ln -sf /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/"
reg 'HKCU\Software\Wine\Fonts\Replacements' Arial "Liberation Sans"
reg 'HKCU\Software\Wine\Fonts\Replacements' "Courier New" "Liberation Mono"
# A CD-ROM letter R: for the NT family's case, answering no pass-through request.
mkdir -p "$work/cdrom"
reg 'HKLM\Software\Wine\Drives' 'r:' cdrom
ln -sfn "$work/cdrom" "$WINEPREFIX/dosdevices/r:"
/usr/lib/wine/wineserver -w # the drive types are read when the server starts again

# shellcheck source=../checks.sh
source "$root/tests/checks.sh"
# The toolkit's own tests need the display too (the release build has none).
toolkit_tests=$build/tests/win32ui/zelfin_win32ui_tests.exe
if [ -e "$toolkit_tests" ]; then
    check "toolkit tests" "${wine[@]}" "$toolkit_tests" --gtest_brief=1
else
    echo "toolkit tests: none in $build"
fi

# The demo: zelfin.exe filled with the synthetic package by zelfin-pack.exe.
"${wine[@]}" "$build/tools/zelfin-pack.exe" make-demo demo >/dev/null || exit 1
cp "$build/frontends/win32/zelfin.exe" demo/zelfin.exe
"${wine[@]}" "$build/tools/zelfin-pack.exe" fill demo/zelfin.exe demo/package.txt >/dev/null ||
    exit 1
cp "$build/tests/win32/WNASPI32.dll" "$build/tests/win32ui/window-probe.exe" demo/

probe() { "${wine[@]}" demo/window-probe.exe "$@"; }
key() { xdotool mousemove 1 1 key --delay 60 "$@"; }
shot() { # shot NAME: the main window and what stands over it
    local rect
    rect=$(probe rect "$title" | tr -d '\r') || return 0
    read -r x y w h <<<"$rect"
    import -window root -crop "$((w + 20))x$((h + 20))+$((x - 10))+$((y - 10))" +repage \
        "$shots/$1.png"
}
# answer TITLE KEY...: waits for a window, keeps its texts in $out/TITLE.txt, then presses keys.
answer() {
    local name=$1
    shift
    if probe wait "$name" 120; then
        probe text "$name" | tr -d '\r' >"$out/$name.txt"
        sleep 0.3 # shown is not yet listening
        key "$@"
    else
        : >"$out/$name.txt"
    fi
}

start() { # start NAME SCENARIO-LINES: runs the packed program in the background; sets $out, $pid
    out=$work/$1
    mkdir -p "$out"
    printf '%b' "os 95\naspi installed\n$2" >"$out/scenario.txt"
    ZELFIN_ASPI_SCENARIO=$out/scenario.txt ZELFIN_ASPI_OUTPUT=$out \
        "${wine[@]}" demo/zelfin.exe >"$out/output.txt" 2>&1 &
    pid=$!
}
finish() { # waits for the program to end (killing it after 30 s); sets $rc
    local waited=0
    while kill -0 "$pid" 2>/dev/null && [ $waited -lt 300 ]; do
        sleep 0.1
        waited=$((waited + 1))
    done
    kill "$pid" 2>/dev/null
    wait "$pid"
    rc=$?
}
rvm='drive D BRYMOTE "DVDRW RVM-270A" 1A05 port=1 target=0 aspi\nfirmware D\n'
other='drive E OTHER "DVD-ROM X16" 2.10 other port=1 target=1 aspi\n'

# 1. The shipped settings, an eligible drive and one of another maker, in real time so the run
# can be seen: the notice, Update, success, the new revision listed, the reboot prompt, Later.
start update "clock real\n$rvm$other"
answer Warning Return
check "update: notice names the drive" contains "$out/Warning.txt" \
    "This flash utility only supports BRYMOTE DVDRW RVM-270A drive."
probe wait "$title" 30 && sleep 0.5
probe items "$title" | tr -d '\r' >"$out/items-before.txt"
check "update: both drives listed" test "$(wc -l <"$out/items-before.txt")" -eq 2
check "update: old revision listed" contains "$out/items-before.txt" "DVDRW RVM-270A   1A05"
shot main
key alt+u
sleep 3
shot running
# The session's end and the system's sleep asked for in the middle of the run: refused.
check "update: end of session refused during the run" test "$(probe endsession "$title" | tr -d '\r')" = 0
check "update: sleep refused during the run" test "$(probe suspend "$title" | tr -d '\r')" = 1112363332
answer Information Return
check "update: success reported" contains "$out/Information.txt" \
    "Firmware has been updated successfully !"
probe wait "Reboot Warning" 30 && sleep 0.5
probe items "$title" | tr -d '\r' >"$out/items-after.txt"
check "update: new revision listed" contains "$out/items-after.txt" "DVDRW RVM-270A   1A07"
check "update: end of session allowed after the run" test "$(probe endsession "$title" | tr -d '\r')" != 0
shot reboot
key Return # the focus starts on Later
finish
check "update: exit status 0" test "$rc" -eq 0
check "update: the program ended" probe gone "$title" 5
check "update: the flash holds the bank" cmp -s "$out/flash-D.bin" demo/firmware.bin
check "update: commit sent" contains "$out/transcript-D.txt" "$commit"
check "update: other drive got no write" lacks "$out/transcript-E.txt" "3B "
check "update: other drive got no read-back" lacks "$out/transcript-E.txt" "3C "

# 2. A read-back that never verifies: the failure message, the program ends, no commit sent.
start readback "clock virtual\n${rvm}fault D readback\n"
answer Warning Return
probe wait "$title" 30 && sleep 0.5
key alt+u
answer Error Return
check "read-back: failure reported" contains "$out/Error.txt" \
    "Unable to flash firmware. Please contact with your vendor !"
finish
check "read-back: exit status 0" test "$rc" -eq 0
check "read-back: the program ended" probe gone "$title" 5
check "read-back: no commit sent" lacks "$out/transcript-D.txt" "$commit"

# 3. No matching drive: the error lists the detected drives and the program ends.
start nomatch "clock virtual\n$other"
answer Error Return
check "no match: reported" contains "$out/Error.txt" "No matched drive detected !"
check "no match: drives listed" contains "$out/Error.txt" "OTHER   DVD-ROM X16      2.10"
finish
check "no match: exit status 0" test "$rc" -eq 0
check "no match: no drive written" lacks "$out/transcript-E.txt" "3B "

# 4. A WNASPI32.DLL planted in the current directory only, the program in a folder of its own:
# never loaded; the missing manager's box as ever, then no drive.
out=$work/planted
mkdir -p "$out/program" "$out/cwd"
cp demo/zelfin.exe "$out/program/"
cp "$build/tests/win32/planted.dll" "$out/cwd/WNASPI32.DLL"
(cd "$out/cwd" && exec "${wine[@]}" "$out/program/zelfin.exe" >"$out/output.txt" 2>&1) &
pid=$!
answer "Error FS 002" Return
check "planted: the missing manager's box" \
    test "$(cat "$out/Error FS 002.txt")" = $'LoadLibrary:\nWNASPI32.DLL not found.'
answer Error Return
check "planted: no drive" contains "$out/Error.txt" "No matched drive detected !"
finish
check "planted: never loaded" test ! -e "$out/cwd/planted-marker.txt"

# 5. The NT family (the copy under another name has no version override), through
# pass-through: the CD-ROM letter listed with a made-up address, no drive matches.
cp demo/zelfin.exe demo/zelfin-nt.exe
out=$work/nt
mkdir -p "$out"
"${wine[@]}" demo/zelfin-nt.exe >"$out/output.txt" 2>&1 &
pid=$!
answer Error Return
check "nt: no match" contains "$out/Error.txt" "No matched drive detected !"
check "nt: R: listed with a made-up address" contains "$out/Error.txt" " 2-0-0-0 R:"
finish
check "nt: exit status 0" test "$rc" -eq 0

echo "window cases: $passed passed, $failed failed (screenshots in $shots)"
[ "$failed" -eq 0 ]
