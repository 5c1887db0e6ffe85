#!/usr/bin/env bash
# zelfin-cli end to end on a real Linux kernel's SCSI stack. One guest boots (no KVM needed) with
# QEMU's emulated CD/DVD drives: the RVM-270A identity on virtio-scsi with a disc in it, and
# QEMU's own drive on the IDE/ATAPI path; these refuse the programming commands. Then they leave
# and the simulated drive takes their place behind the kernel (tests/e2e/tcmu-guest.sh): whole
# updates, a read-back that never verifies and a drive that vanishes, from the static zelfin-cli
# and, through the host's wine lent over 9p, from zelfin-cli.exe (tests/e2e/wine-guest.sh). The
# guest prints what it saw between markers; this script then checks the log. Everything it makes
# stays in build/qemu-e2e; the kernel comes from the Debian archive through apt.
set -euo pipefail
cd "$(dirname "$0")/.."

work=build/qemu-e2e
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)

missing=()
for p in qemu-system-x86 busybox-static wine64 genisoimage; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
    echo "qemu-e2e: installing ${missing[*]}"
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends \
        "${missing[@]}" >/dev/null
fi

# The program, its packer and the guest's helper, built statically from the optimised build.
cmake --preset ci >/dev/null
cmake --build --preset ci -j "$(nproc)" --target zelfin-cli-static zelfin-pack zelfin-guest-helper \
    zelfin-tcmu-drive
bin=build/ci
mkdir -p "$work"

# zelfin-cli.exe for the guest's wine: the i686 release build and the x86_64 one.
wine32=0
[ ! -x /usr/lib/wine/wine ] || wine32=1
for preset in win64 win32; do
    cmake --preset "$preset" >/dev/null
    targets=(zelfin-cli)
    [ "$preset" = win64 ] || targets+=(zelfin_test_aspi)
    cmake --build --preset "$preset" -j "$(nproc)" --target "${targets[@]}"
done
# Where this machine's kernel refuses 32-bit programs, the Windows stage cannot run the i686
# release program as Windows 98; the guest does, against the i686 test ASPI manager.
aspi98=0
if [ "$wine32" = 1 ] && { [ "${ZELFIN_GUEST_ASPI98:-0}" = 1 ] || ! scripts/have-wine32.sh; }; then
    aspi98=1
fi

# The guest kernel and the modules of the two drive paths, then of the simulated drive's path
# (the SCSI target with its user-space backend and loopback fabric), in load order.
modules=(cdrom isofs scsi_common scsi_mod sr_mod sg virtio_ring virtio virtio_pci_modern_dev
    virtio_pci_legacy_dev virtio_pci virtio_scsi libata ata_piix
    configfs crct10dif_common crct10dif_generic crc-t10dif target_core_mod uio target_core_user
    tcm_loop netfs fscache 9pnet 9pnet_virtio 9p)
kernel_of() { apt-cache depends linux-image-amd64 2>/dev/null | awk '/Depends: linux-image-[0-9]/ {print $2; exit}'; }
kernel_pkg=$(kernel_of)
if [ -z "$kernel_pkg" ]; then
    "${sudo_cmd[@]}" apt-get update -qq
    kernel_pkg=$(kernel_of)
fi
kernel_dir=$work/kernel/$kernel_pkg
have_modules() { for m in "${modules[@]}"; do [ -f "$kernel_dir/modules/$m.ko" ] || return 1; done; }
if [ ! -f "$kernel_dir/vmlinuz" ] || ! have_modules; then
    rm -rf "$work/kernel" && mkdir -p "$kernel_dir/modules"
    (cd "$work/kernel" && apt-get download -q "$kernel_pkg" 2>&1 | grep -v '^W: Download is performed unsandboxed' || true)
    deb=$(ls "$work"/kernel/"$kernel_pkg"_*.deb)
    dpkg-deb --fsys-tarfile "$deb" | tar -x -C "$kernel_dir" --wildcards \
        './boot/vmlinuz-*' './lib/modules/*/kernel/drivers/*' './lib/modules/*/kernel/fs/*' \
        './lib/modules/*/kernel/net/*' './lib/modules/*/kernel/lib/*' './lib/modules/*/kernel/crypto/*'
    mv "$kernel_dir"/boot/vmlinuz-* "$kernel_dir/vmlinuz"
    for m in "${modules[@]}"; do
        find "$kernel_dir/lib/modules" -name "$m.ko" -exec cp {} "$kernel_dir/modules/" \;
        [ -f "$kernel_dir/modules/$m.ko" ] || { echo "qemu-e2e: $m.ko not in $kernel_pkg" >&2; exit 1; }
    done
    rm -rf "$kernel_dir/lib" "$kernel_dir/boot" "$deb"
fi

# Four packed copies: the synthetic package, one whose slot matches neither drive, one whose
# slot accepts the QEMU drive, and the synthetic package with the disc check on.
pkg=$work/package
rm -rf "$pkg" && "$bin/tools/zelfin-pack" make-demo "$pkg" >/dev/null
sed 's/"DVDRW RVM-270A  "$/"DVDRW RVM-999X  "/' "$pkg/package.txt" >"$pkg/nomatch.txt"
sed -e '/^SLOT 1 2/d' -e 's/"BRYMOTE "  "DVDRW RVM-270A  "$/"QEMU    "  "QEMU DVD-ROM    "/' \
    "$pkg/package.txt" >"$pkg/qemu.txt"
sed 's/^CHKDISC .*/CHKDISC    1/' "$pkg/package.txt" >"$pkg/chkdisc.txt"

root=$work/initramfs
rm -rf "$root" && mkdir -p "$root"/{bin,lib/modules,proc,sys,dev,tmp}
cp /bin/busybox "$root/bin/busybox"
cp "$bin/tests/e2e/zelfin-guest-helper" "$root/bin/guest-helper"
cp "$bin/tests/e2e/zelfin-tcmu-drive" "$root/bin/zelfin-tcmu-drive"
cp "$pkg/firmware.bin" "$root/bin/firmware.bin"
cp tests/e2e/tcmu-guest.sh tests/e2e/wine-guest.sh "$root/"
echo "$PWD" >"$root/e2e-repo"
rm -rf "$work/win" && mkdir -p "$work/win"
cp build/win64/frontends/zelfin-cli.exe "$work/win/zelfin-cli-x86_64.exe"
cp build/win32/frontends/zelfin-cli.exe "$work/win/zelfin-cli-i686.exe"
for exe in "$work"/win/*.exe; do "$bin/tools/zelfin-pack" fill "$exe" "$pkg/package.txt" >/dev/null; done
if [ "$aspi98" = 1 ]; then
    mkdir -p "$work/win/98"
    cp "$work/win/zelfin-cli-i686.exe" "$work/win/98/zelfin-cli.exe"
    cp build/win32/tests/win32/WNASPI32.dll "$work/win/98/"
fi
for variant in package nomatch qemu chkdisc; do
    cp "$bin/frontends/zelfin-cli-static" "$root/bin/zelfin-$variant"
    # The QEMU and nomatch copies carry the synthetic firmware for a drive they do not name, on
    # purpose.
    override=()
    [ "$variant" = qemu ] || [ "$variant" = nomatch ] && override=(--ignore-identity)
    "$bin/tools/zelfin-pack" fill "${override[@]}" "$root/bin/zelfin-$variant" "$pkg/$variant.txt" \
        >/dev/null
done
cp "$kernel_dir"/modules/*.ko "$root/lib/modules/"
printf '%s\n' "${modules[@]}" >"$root/lib/modules/order"
cat >"$root/init" <<'EOF'
#!/bin/busybox sh
/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
for m in $(cat /lib/modules/order); do insmod /lib/modules/$m.ko || echo "@@@ insmod $m failed"; done
n=0
until [ -e /dev/sr0 ] && [ -e /dev/sr1 ] || [ $n -ge 300 ]; do usleep 100000; n=$((n + 1)); done
rvm=sr0
grep -q RVM /sys/class/block/sr1/device/model 2>/dev/null && rvm=sr1
run_case() { name=$1; shift; echo "@@@ begin $name"; "$@" </dev/null 2>&1; echo "@@@ end $name status=$?"; }
run_case drives lsscsi
run_case access guest-helper without-rawio /bin/zelfin-package --yes --update --trace /tmp/access.trace
run_case access-trace cat /tmp/access.trace
run_case nomatch zelfin-nomatch --yes
mkdir -p /mnt/disc
run_case mount mount -t iso9660 -o ro /dev/$rvm /mnt/disc
run_case mounted zelfin-package --yes --update --trace /tmp/mounted.trace
run_case mounted-trace cat /tmp/mounted.trace
run_case umount umount /mnt/disc
run_case update zelfin-package --yes --update --trace /tmp/update.trace
run_case update-trace cat /tmp/update.trace
run_case atapi-update zelfin-qemu --yes --update --trace /tmp/atapi.trace
run_case atapi-trace cat /tmp/atapi.trace
run_case tray-before guest-helper tray /dev/$rvm
run_case chkdisc zelfin-chkdisc --yes --update --trace /tmp/chkdisc.trace
run_case chkdisc-trace cat /tmp/chkdisc.trace
run_case tray-after guest-helper tray /dev/$rvm
. /tcmu-guest.sh
. /wine-guest.sh
tcmu_cases
wine_cases
echo "@@@ done"
poweroff -f
EOF
chmod +x "$root/init"
(cd "$root" && find . | busybox cpio -o -H newc 2>/dev/null) | gzip -1 >"$work/initramfs.gz"
# A disc with a file system, so the guest can mount it.
rm -rf "$work/disc" && mkdir -p "$work/disc" && echo zelfin >"$work/disc/README.TXT"
genisoimage -quiet -V ZELFIN -o "$work/disc.iso" "$work/disc"

log=$work/guest.log
echo "qemu-e2e: booting the guest ($kernel_pkg)"
start=$SECONDS
timeout 900 qemu-system-x86_64 -M pc -accel tcg -m 2560 -nodefaults -display none -serial stdio \
    -no-reboot -kernel "$kernel_dir/vmlinuz" -initrd "$work/initramfs.gz" \
    -append 'console=ttyS0 quiet panic=1' \
    -device virtio-scsi-pci,id=vs \
    -drive "if=none,id=cd,media=cdrom,file=$work/disc.iso,readonly=on,format=raw" \
    -device 'scsi-cd,bus=vs.0,drive=cd,vendor=BRYMOTE,product=DVDRW RVM-270A,ver=1A05' \
    -drive if=none,id=cd2,media=cdrom -device ide-cd,bus=ide.1,drive=cd2,ver=1A05 \
    -virtfs local,path=/,mount_tag=hostroot,security_model=none,readonly=on,multidevs=remap \
    </dev/null | tr -d '\r' >"$log" || true
echo "qemu-e2e: guest ran $((SECONDS - start)) s; log in $log"

# ---- checks -------------------------------------------------------------------------------
failures=0
section() { awk -v name="$1" '$0 == "@@@ begin " name {on = 1; next} /^@@@ end / {on = 0} on' "$log"; }
status() { sed -n "s/^@@@ end $1 status=//p" "$log"; }
check() { # check WHAT CONDITION...
    local what=$1
    shift
    if "$@"; then
        echo "  ok   $what"
    else
        echo "  FAIL $what"
        failures=$((failures + 1))
    fi
}
has() { section "$1" | grep -qE -- "$2"; }
count() { section "$1" | grep -cE -- "$2" || true; }

check "the guest ran every case" grep -q '^@@@ done' "$log"

echo "access: without CAP_SYS_RAWIO"
check "access denied" has access '^Access denied ! You must have administrator privilege to flash drives\.$'
check "exit status 1" [ "$(status access)" = 1 ]
check "no command reached a drive" [ "$(section access-trace | grep -cv "^#" || true)" -eq 0 ]

echo "nomatch: no drive matches the package"
check "no matched drive" has nomatch '^No matched drive detected !$'
check "the RVM-270A on virtio-scsi listed with its address and name" \
    has nomatch '^ ?[0-9]+-0-0-0 sr[01]BRYMOTE DVDRW RVM-270A   1A05$'
check "the QEMU drive on the ATAPI path listed" has nomatch '^ ?[0-9]+-0-[01]-0 sr[01]QEMU    QEMU DVD-ROM     1A05$'
check "exit status 1" [ "$(status nomatch)" = 1 ]

echo "mounted: the disc's file system mounted in the drive"
check "the disc mounted" [ "$(status mount)" = 0 ]
check "the busy drive named" has mounted '^The drive .*sr[01] \(BRYMOTE DVDRW RVM-270A, [0-9]+-0-0-0\) is in use'
check "exit status 1" [ "$(status mounted)" = 1 ]
check "nothing that changes the drive sent" \
    [ "$(count mounted-trace '^(1B|3B|F[0-9A-F]) ')" -eq 0 ]
check "unmounted again" [ "$(status umount)" = 0 ]

for run in update:update-trace atapi-update:atapi-trace; do
    name=${run%%:*}
    trace=${run#*:}
    echo "$name: a drive that refuses the programming commands"
    check "eligible and run" has "$name" 'It will be updated from'
    check "the run fails" has "$name" '^Unable to flash firmware\. Please contact with your vendor !$'
    check "exit status 1" [ "$(status "$name")" = 1 ]
    check "INQUIRY answered over SG_IO" has "$trace" '^12 .*\| in 96 \| sense 00/00/00 \| good'
    check "no loader, no commit" [ "$(count "$trace" '^3B( [0-9A-F]{2}){8} (7F|80|A0) ')" -eq 0 ]
    check "three passes stop at piece 0" [ "$(count "$trace" '^3B 05 01 00 00 00 00 10 00 00 00 00 \| out 4096')" -eq 3 ]
    check "no other WRITE BUFFER" [ "$(count "$trace" '^3B ')" -eq 3 ]
    check "refused as ILLEGAL REQUEST, INVALID COMMAND OPERATION CODE" \
        [ "$(count "$trace" '^3B .*sense 05/20/00')" -ge 3 ]
done

echo "chkdisc: the disc check with a disc in the drive"
check "a disc in the closed tray before" has tray-before '^tray=closed medium=present$'
check "stops at the prompt nobody can answer" has chkdisc 'needs someone at the drive'
check "exit status 2" [ "$(status chkdisc)" = 2 ]
check "eject sent" has chkdisc-trace '^1B 00 00 00 02 '
check "nothing written" [ "$(count chkdisc-trace '^3B ')" -eq 0 ]
check "the tray really opened, no medium" has tray-after '^tray=open medium=absent$'

# shellcheck source=../tests/e2e/tcmu-checks.sh
source tests/e2e/tcmu-checks.sh
# shellcheck source=../tests/e2e/wine-checks.sh
source tests/e2e/wine-checks.sh

if ((failures)); then
    echo "qemu-e2e: $failures check(s) failed; the guest's log:"
    cat "$log"
    exit 1
fi
echo "qemu-e2e: all checks passed"
