# The checks of the guest's Windows cases (tests/e2e/wine-guest.sh), sourced by
# scripts/qemu-e2e.sh with its section, status, check and has helpers; $wine32 says whether the
# host has 32-bit wine, $aspi98 whether the guest ran the i686 program as Windows 98 too.
wine_checks() { # wine_checks NAME WHAT
    echo "$1: $2 as NT, pass-through on \\\\.\\D: through the guest kernel"
    check "reported" has "$1-update" '^Firmware has been updated successfully !$'
    check "exit status 0" [ "$(status "$1-update")" = 0 ]
    check "D: listed with the new revision" has "$1-update" 'D:.*BRYMOTE DVDRW RVM-270A   1A07$'
    check "the flash holds the bank" [ "$(status "$1-update-flash")" = 0 ]
    check "one commit reached the drive" [ "$(section "$1-update-commits")" = 1 ]
    echo "$1: a read-back that never verifies"
    check "the run fails" has "$1-readback" '^Unable to flash firmware\. Please contact with your vendor !$'
    check "exit status 1" [ "$(status "$1-readback")" = 1 ]
    check "no commit reached the drive" [ "$(section "$1-readback-commits")" = 0 ]
    echo "  $(section "$1-prefix")"
}

check "the host's root mounted over 9p" [ "$(status wine-up)" = 0 ]
wine_checks wine64 "the x86_64 zelfin-cli.exe under wine64"
if [ "$wine32" = 1 ]; then
    wine_checks wine32 "the i686 release zelfin-cli.exe under 32-bit wine"
    if [ "$aspi98" = 1 ]; then
        echo "wine98: the i686 release zelfin-cli.exe as Windows 98, through the test ASPI manager"
        check "reported" has wine98-update '^Firmware has been updated successfully !$'
        check "exit status 0" [ "$(status wine98-update)" = 0 ]
        check "one commit reached the drive" [ "$(section wine98-update-commits)" = 1 ]
        echo "wine98: a read-back that never verifies"
        check "the run fails" has wine98-readback '^Unable to flash firmware\. Please contact with your vendor !$'
        check "exit status 1" [ "$(status wine98-readback)" = 1 ]
        check "no commit reached the drive" [ "$(section wine98-readback-commits)" = 0 ]
    fi
else
    echo "wine32: this machine has no 32-bit wine (scripts/setup.sh installs it): the i686 case is skipped"
fi
