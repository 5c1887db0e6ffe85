# shellcheck shell=bash
# Sourced by the zelfin-cli.exe wine case scripts, after tests/checks.sh and in their work folder,
# with wine=(...) the loader: the pieces every build's run shares.

# cli_prepare BUILD_DIR: the packed program as a vendor makes it, with zelfin-pack.exe, in demo/:
# zelfin-cli.exe told it is Windows 98, beside the test ASPI manager, and zelfin-cli-nt.exe of the
# NT family; a CD-ROM letter R: that answers no pass-through request (in cdrom/).
cli_prepare() {
    mkdir -p demo cdrom
    "${wine[@]}" "$1/tools/zelfin-pack.exe" make-demo demo >/dev/null || exit 1
    cp "$1/frontends/zelfin-cli.exe" demo/zelfin-cli.exe
    "${wine[@]}" "$1/tools/zelfin-pack.exe" fill demo/zelfin-cli.exe demo/package.txt >/dev/null ||
        exit 1
    cp demo/zelfin-cli.exe demo/zelfin-cli-nt.exe
    cp "$1/tests/win32/WNASPI32.dll" demo/
    "${wine[@]}" reg add 'HKCU\Software\Wine\AppDefaults\zelfin-cli.exe' /v Version /d win98 /f \
        >/dev/null
    "${wine[@]}" reg add 'HKLM\Software\Wine\Drives' /v 'r:' /d cdrom /f >/dev/null
    ln -sfn "$PWD/cdrom" "$WINEPREFIX/dosdevices/r:"
    /usr/lib/wine/wineserver -w # the drive types are read when the server starts again
}

# The Windows 98 cases against the manager's simulated drives: a successful update and a read-back
# that never verifies, each with a drive of another maker beside the eligible one.
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

aspi_cases() {
    local commit="3B 05 01 00 00 00 00 00 00 A0"
    aspi_case update ""
    check "update: exit status 0" test "$rc" -eq 0
    check "update: reported" contains "$out/output.txt" "Firmware has been updated successfully !"
    check "update: new revision listed" contains "$out/output.txt" \
        "1-0-0-0 BRYMOTE DVDRW RVM-270A   1A07"
    check "update: the flash holds the bank" cmp -s "$out/flash-D.bin" demo/firmware.bin
    check "update: other drive listed" contains "$out/output.txt" \
        "1-0-1-0 OTHER   DVD-ROM X16      2.10"
    check "update: other drive got no write" lacks "$out/transcript-E.txt" "3B "
    check "update: other drive got no read-back" lacks "$out/transcript-E.txt" "3C "

    aspi_case readback "fault D readback\n"
    check "read-back: exit status 1" test "$rc" -eq 1
    check "read-back: reported" contains "$out/output.txt" "Unable to flash firmware."
    check "read-back: no success" lacks "$out/output.txt" "successfully"
    check "read-back: no commit sent" lacks "$out/transcript-D.txt" "$commit"
    check "read-back: old revision kept" contains "$out/output.txt" \
        "1-0-0-0 BRYMOTE DVDRW RVM-270A   1A05"
}

nt_case() { # the NT family on the wine CD-ROM letter: no match, the letter listed
    out=$work/nt
    mkdir -p "$out"
    "${wine[@]}" demo/zelfin-cli-nt.exe --yes --update </dev/null >"$out/output.txt" 2>&1
    rc=$?
    check "nt: exit status 1" test "$rc" -eq 1
    check "nt: no match" contains "$out/output.txt" "No matched drive detected !"
    check "nt: R: listed with a made-up address" contains "$out/output.txt" " 2-0-0-0 R:"
}

simulate_case() { # the simulated machine inside the Windows program itself
    out=$work/simulate
    mkdir -p "$out"
    printf '%s\n' "clock virtual" "os nt" 'drive D BRYMOTE "DVDRW RVM-270A" 1A05 port=1 target=0' \
        "firmware D" >"$out/scenario.txt"
    "${wine[@]}" demo/zelfin-cli-nt.exe --simulate "$out/scenario.txt" --yes --update </dev/null \
        >"$out/output.txt" 2>&1
    rc=$?
    check "simulate: exit status 0" test "$rc" -eq 0
    check "simulate: reported" contains "$out/output.txt" "Firmware has been updated successfully !"
    check "simulate: the new revision" contains "$out/output.txt" "D:BRYMOTE DVDRW RVM-270A   1A07"
}
