# The guest's cases on the simulated drive (sourced by the init of scripts/qemu-e2e.sh after the
# cases on QEMU's drives; busybox sh). QEMU's drives leave, then zelfin-tcmu-drive serves the
# SimDrive through TCMU and tcm_loop links it in as /dev/sr0: the kernel's whole SCSI and SG_IO
# path sits between zelfin-cli and the simulated drive.
cfg=/sys/kernel/config/target
tcmu_dev=$cfg/core/user_0/rvm
tcmu_lun=$cfg/loopback/naa.50014050000000a1/tpgt_1/lun/lun_0
tcmu_link=$tcmu_lun/rvm
tcmu_dir=/tmp/tcmu
commit_re='^3B( [0-9A-F]{2}){8} (80|A0) '

wait_for() { # wait_for PATH [absent]: up to 10 s
    n=0
    while [ $n -lt 100 ]; do
        if [ "$2" = absent ]; then [ -e "$1" ] || return 0; else [ -e "$1" ] && return 0; fi
        usleep 100000
        n=$((n + 1))
    done
    echo "@@@ timed out waiting for $1 $2"
    return 1
}
uptime_now() { cut -d' ' -f1 /proc/uptime; }

# A fresh drive at revision 1A05, with the scenario lines in $1 and the vanish line (COUNT LINK) in $2.
tcmu_drive() {
    printf 'clock real\nos nt\ndrive D BRYMOTE "DVDRW RVM-270A" 1A05 port=1 target=0\nfirmware D\n%b' \
        "$1" >$tcmu_dir/scenario.txt
    rm -f $tcmu_dir/vanish.txt
    [ -z "$2" ] || echo "$2" >$tcmu_dir/vanish.txt
    if [ -n "$tcmu_pid" ]; then
        rm -f $tcmu_dir/loaded
        kill -HUP "$tcmu_pid"
        wait_for $tcmu_dir/loaded
    fi
}
# The handler's flash and its own timing, written on request.
tcmu_report() {
    rm -f $tcmu_dir/stats.txt $tcmu_dir/flash.bin
    kill -USR1 "$tcmu_pid"
    wait_for $tcmu_dir/stats.txt
}
tcmu_link_lun() {
    ln -s $tcmu_dev $tcmu_link
    wait_for /dev/sr0 && echo 0 >/sys/block/sr0/events_poll_msecs # no polling between our commands
}

tcmu_up() {
    for d in /sys/class/scsi_device/*/device/delete; do echo 1 >"$d"; done
    wait_for /dev/sr0 absent && wait_for /dev/sr1 absent
    mount -t configfs none /sys/kernel/config
    mkdir -p $tcmu_dev $tcmu_dir
    echo -n dev_config=rvm/sim,dev_size=2097152 >$tcmu_dev/control
    echo -1 >$tcmu_dev/attrib/nl_reply_supported
    echo 1 >$tcmu_dev/enable
    wait_for /dev/uio0 || return 1
    tcmu_pid=
    tcmu_drive ""
    zelfin-tcmu-drive /dev/uio0 $tcmu_dir 2>$tcmu_dir/handler.err &
    tcmu_pid=$!
    wait_for $tcmu_dir/loaded
    mkdir -p $tcmu_lun
    echo naa.50014050000000a2 >$tcmu_lun/../../nexus
    tcmu_link_lun
}

tcmu_cases() {
    run_case tcmu-up tcmu_up
    run_case tcmu-drives lsscsi

    # A whole update through SG_IO, timed against the handler's own time for it.
    t0=$(uptime_now)
    run_case tcmu-update zelfin-package --yes --update --trace /tmp/tcmu-update.trace
    t1=$(uptime_now)
    tcmu_report
    run_case tcmu-timing awk -v a="$t0" -v b="$t1" 'BEGIN {printf "wall_seconds=%.2f\n", b - a}'
    run_case tcmu-stats cat $tcmu_dir/stats.txt
    run_case tcmu-update-trace grep -E "$commit_re" /tmp/tcmu-update.trace
    run_case tcmu-flash cmp $tcmu_dir/flash.bin /bin/firmware.bin
    run_case tcmu-commits grep -cE "$commit_re" $tcmu_dir/transcript.txt
    run_case tcmu-after zelfin-nomatch --yes

    # A second copy started while the first is in its pieces: refused before it changes anything.
    tcmu_drive ""
    zelfin-package --yes --update >/tmp/tcmu-first.out 2>&1 &
    first=$!
    n=0
    until grep -q '^3B' $tcmu_dir/transcript.txt 2>/dev/null || [ $n -ge 100 ]; do
        usleep 50000
        n=$((n + 1))
    done
    run_case tcmu-second zelfin-package --yes --update --trace /tmp/tcmu-second.trace
    run_case tcmu-second-trace cat /tmp/tcmu-second.trace
    wait $first
    first_status=$?
    run_case tcmu-first cat /tmp/tcmu-first.out
    echo "@@@ first status=$first_status"
    run_case tcmu-first-commits grep -cE "$commit_re" $tcmu_dir/transcript.txt

    # Piece 100 never reads back right.
    tcmu_drive "fault D readback\n"
    run_case tcmu-readback zelfin-package --yes --update
    run_case tcmu-readback-commits grep -cE "$commit_re" $tcmu_dir/transcript.txt

    # The LUN goes away after 40 WRITE BUFFER commands; the next run finds no drive; linked
    # again, the drive still runs its old firmware.
    tcmu_drive "" "40 $tcmu_link"
    run_case tcmu-vanish timeout 300 zelfin-package --yes --update
    run_case tcmu-vanish-writes grep -c '^3B ' $tcmu_dir/transcript.txt
    run_case tcmu-vanish-commits grep -cE "$commit_re" $tcmu_dir/transcript.txt
    run_case tcmu-gone zelfin-nomatch --yes
    rm -f $tcmu_dir/vanish.txt
    run_case tcmu-relink tcmu_link_lun
    run_case tcmu-back zelfin-nomatch --yes
}
