# The guest's Windows cases (sourced by the init of scripts/qemu-e2e.sh after tests/e2e/tcmu-guest.sh;
# busybox sh). The host's root file system, mounted read-only over 9p, lends the guest its wine:
# inside a chroot, zelfin-cli.exe runs as the NT family with \\.\D: on /dev/sr0, so wine's
# pass-through goes through the guest kernel's SG_IO to the simulated drive. The x86_64 build
# runs under wine64; the i686 release build under 32-bit wine when the host has it, and where the
# host's kernel refuses 32-bit programs also as Windows 98 against the test ASPI manager.
host=/host
wine_exes=/tmp/exe

wine_up() {
    mkdir -p $host
    mount -t 9p -o trans=virtio,version=9p2000.L,msize=262144,ro hostroot $host || return 1
    # Taken before tmpfs covers the host's /tmp and /root, where the checkout may lie. Pages of
    # an executable mapped over 9p can read as zeros: the programs run from memory.
    rm -rf /win-exes
    cp -r "$host$(cat /e2e-repo)/build/qemu-e2e/win" /win-exes || return 1
    mount -t tmpfs -o size=90% tmpfs $host/tmp
    mount -t tmpfs tmpfs $host/root
    mount -o bind /dev $host/dev
    mkdir -p /dev/shm && mount -t tmpfs tmpfs $host/dev/shm
    mount -t proc proc $host/proc
    mount -t sysfs sysfs $host/sys
    cp -r /win-exes $host$wine_exes
}
in_host() { # in_host PREFIX COMMAND...: as root in the host's file system, quietly
    prefix=$1
    shift
    chroot $host /usr/bin/env -i PATH=/usr/bin:/bin HOME=/root WINEPREFIX="$prefix" \
        WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" "$@"
}
# A fresh prefix in which D: is a CD-ROM letter on /dev/sr0.
wine_prefix() { # wine_prefix PREFIX LOADER [WINEARCH]
    in_host "$1" ${3:+WINEARCH=$3} "$2" wineboot -i >/dev/null 2>&1 || return 1
    in_host "$1" "$2" reg add 'HKLM\Software\Wine\Drives' /v 'd:' /d cdrom /f >/dev/null || return 1
    in_host "$1" /usr/lib/wine/wineserver -w
    mkdir -p $host/tmp/d-folder
    rm -f "$host$1/dosdevices/d:" "$host$1/dosdevices/d::"
    ln -s /tmp/d-folder "$host$1/dosdevices/d:"
    ln -s /dev/sr0 "$host$1/dosdevices/d::"
}
wine_run() { # wine_run PREFIX LOADER EXE ARGS...: output through a file, not wine's console
    in_host "$@" >/tmp/wine-output.txt 2>&1
    s=$?
    cat /tmp/wine-output.txt
    return $s
}
wine_case() { # wine_case NAME PREFIX LOADER EXE SCENARIO_LINES: one run on a fresh drive
    tcmu_drive "$5"
    run_case "$1" wine_run "$2" "$3" "$4" --yes --update
    tcmu_report
    run_case "$1-flash" cmp $tcmu_dir/flash.bin /bin/firmware.bin
    run_case "$1-commits" grep -cE "$commit_re" $tcmu_dir/transcript.txt
}
timed() { # timed NAME COMMAND...: prints how long COMMAND took
    name=$1
    shift
    t0=$(uptime_now)
    "$@"
    s=$?
    awk -v n="$name" -v a="$t0" -v b="$(uptime_now)" 'BEGIN {printf "%s_seconds=%.1f\n", n, b - a}'
    return $s
}

# The i686 release program told it is Windows 98, beside the test ASPI manager: the drive is
# the manager's, the transcript and flash land in /tmp/NAME of the host's file system.
aspi98_case() { # aspi98_case NAME SCENARIO_LINES
    d=/tmp/$1
    mkdir -p $host$d
    printf 'clock virtual\nos 95\naspi installed\n%s\nfirmware D\n%b' \
        'drive D BRYMOTE "DVDRW RVM-270A" 1A05 port=1 target=0 aspi' "$2" >$host$d/scenario.txt
    # wine's own WNASPI32 would stand in for the manager beside the program: native first.
    run_case "$1" wine_run /tmp/wp32 WINEDLLOVERRIDES="mscoree,mshtml=;wnaspi32=n" \
        ZELFIN_ASPI_SCENARIO=$d/scenario.txt ZELFIN_ASPI_OUTPUT=$d \
        /usr/lib/wine/wine "$wine_exes/98/zelfin-cli.exe" --yes --update
    run_case "$1-commits" grep -cE "$commit_re" $host$d/transcript-D.txt
}

wine_cases() {
    run_case wine-up wine_up
    run_case wine64-prefix timed prefix64 wine_prefix /tmp/wp64 /usr/lib/wine/wine64
    wine_case wine64-update /tmp/wp64 /usr/lib/wine/wine64 "$wine_exes/zelfin-cli-x86_64.exe" ""
    wine_case wine64-readback /tmp/wp64 /usr/lib/wine/wine64 "$wine_exes/zelfin-cli-x86_64.exe" \
        "fault D readback\n"
    in_host /tmp/wp64 /usr/lib/wine/wineserver -k
    rm -rf $host/tmp/wp64 # room for the next prefix
    if [ -x $host/usr/lib/wine/wine ]; then
        run_case wine32-prefix timed prefix32 wine_prefix /tmp/wp32 /usr/lib/wine/wine win32
        wine_case wine32-update /tmp/wp32 /usr/lib/wine/wine "$wine_exes/zelfin-cli-i686.exe" ""
        wine_case wine32-readback /tmp/wp32 /usr/lib/wine/wine "$wine_exes/zelfin-cli-i686.exe" \
            "fault D readback\n"
        if [ -d $host$wine_exes/98 ]; then
            in_host /tmp/wp32 /usr/lib/wine/wine reg add \
                'HKCU\Software\Wine\AppDefaults\zelfin-cli.exe' /v Version /d win98 /f >/dev/null
            aspi98_case wine98-update ""
            aspi98_case wine98-readback "fault D readback\n"
        fi
        in_host /tmp/wp32 /usr/lib/wine/wineserver -k
    fi
}
