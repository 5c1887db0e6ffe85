# The checks of the cases on the simulated drive behind the guest kernel (tests/e2e/tcmu-guest.sh),
# sourced by scripts/qemu-e2e.sh with its section, status, check, has and count helpers.
tcmu_drive_line='^ ?[0-9]+-0-[0-9]+-0 sr0BRYMOTE DVDRW RVM-270A   '
hasnt() { ! has "$@"; }

echo "tcmu: the simulated drive behind the kernel (TCMU, tcm_loop)"
check "the drive came up as /dev/sr0" [ "$(status tcmu-up)" = 0 ]
check "the kernel lists it as a CD/DVD drive" has tcmu-drives '\(5\)\s+BRYMOTE\s+DVDRW RVM-270A\s+1A05$'

echo "tcmu-update: a whole update through SG_IO"
check "reported" has tcmu-update '^Firmware has been updated successfully !$'
check "exit status 0" [ "$(status tcmu-update)" = 0 ]
check "the flash holds the bank" [ "$(status tcmu-flash)" = 0 ]
check "one commit reached the drive" [ "$(section tcmu-commits)" = 1 ]
check "the commit went through SG_IO" has tcmu-update-trace '^3B( [0-9A-F]{2}){8} (80|A0) .*\| good'
check "the new revision through the kernel" has tcmu-after "${tcmu_drive_line}1A07\$"
wall=$(section tcmu-timing | sed -n 's/^wall_seconds=//p')
stats=$(section tcmu-stats)
echo "  performance: the update took ${wall:-?} s of wall time in the guest; the handler's own" \
    "time for its commands: ${stats:-?}"

echo "tcmu-second: a second copy while the first holds the drive"
check "the busy drive named" has tcmu-second '^The drive .*sr0 \(BRYMOTE DVDRW RVM-270A, [0-9-]+\) is in use'
check "exit status 1" [ "$(status tcmu-second)" = 1 ]
check "nothing that changes the drive sent" [ "$(count tcmu-second-trace '^(1B|3B|F[0-9A-F]) ')" -eq 0 ]
check "the first completed" has tcmu-first '^Firmware has been updated successfully !$'
check "the first's exit status 0" grep -q '^@@@ first status=0$' "$log"
check "one commit reached the drive" [ "$(section tcmu-first-commits)" = 1 ]

echo "tcmu-readback: a read-back that never verifies"
check "the run fails" has tcmu-readback '^Unable to flash firmware\. Please contact with your vendor !$'
check "no success" hasnt tcmu-readback 'successfully'
check "exit status 1" [ "$(status tcmu-readback)" = 1 ]
check "no commit reached the drive" [ "$(section tcmu-readback-commits)" = 0 ]

echo "tcmu-vanish: the drive leaves in the middle of the pieces"
check "no success" hasnt tcmu-vanish 'successfully'
check "the run fails" [ "$(status tcmu-vanish)" = 1 ]
check "pieces were written before" [ "$(section tcmu-vanish-writes)" -ge 40 ]
check "no commit reached the drive" [ "$(section tcmu-vanish-commits)" = 0 ]
check "the next run lists no drive" hasnt tcmu-gone '^ ?[0-9]+-[0-9]+-[0-9]+-[0-9]+ '
check "linked again, the drive runs its old firmware" has tcmu-back "${tcmu_drive_line}1A05\$"
