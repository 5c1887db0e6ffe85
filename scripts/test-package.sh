#!/usr/bin/env bash
# Builds the Debian package from the ci build, checks what it holds, installs it, runs
# `zelfin-pack show` on the installed window program (an unfilled template), and removes it.
set -euo pipefail
cd "$(dirname "$0")/../build/ci"

rm -f zelfin_*.deb
cpack -G DEB >/dev/null
deb=$(ls zelfin_*.deb)
echo "== package $deb =="

contents=$(dpkg-deb -c "$deb")
for path in ./usr/bin/zelfin ./usr/bin/zelfin-cli ./usr/bin/zelfin-pack ./usr/bin/zelfin-demo \
    ./usr/share/applications/zelfin.desktop ./usr/share/icons/hicolor/scalable/apps/zelfin.svg; do
    grep -q " $path\$" <<<"$contents" || { echo "package lacks $path" >&2; exit 1; }
done
dpkg-deb -f "$deb" Depends | grep -q libqt6widgets6 || { echo "package does not depend on Qt" >&2; exit 1; }

if dpkg-query -W -f='${Status}' zelfin 2>/dev/null | grep -q "install ok installed"; then
    dpkg -r zelfin >/dev/null
fi
dpkg -i "$deb" >/dev/null
trap 'dpkg -r zelfin >/dev/null' EXIT
shown=$(/usr/bin/zelfin-pack show /usr/bin/zelfin)
grep -q '^image: *unfilled' <<<"$shown" || { echo "zelfin-pack show: $shown" >&2; exit 1; }
/usr/bin/zelfin-cli --help >/dev/null
echo "package: contents, install and zelfin-pack show on the installed template: passed"
