#!/usr/bin/env bash
# Builds the Debian package from the ci build, checks what it holds, installs it, runs
# `zelfin-pack show` on the installed window program (an unfilled template), checks its pkexec
# action and desktop entry, and removes it.
set -euo pipefail
cd "$(dirname "$0")/../build/ci"

rm -f zelfin_*.deb
cpack -G DEB >/dev/null
deb=$(ls zelfin_*.deb)
echo "== package $deb =="

contents=$(dpkg-deb -c "$deb")
for path in ./usr/bin/zelfin ./usr/bin/zelfin-cli ./usr/bin/zelfin-pack ./usr/bin/zelfin-demo \
    ./usr/share/applications/zelfin.desktop ./usr/share/icons/hicolor/scalable/apps/zelfin.svg \
    ./usr/share/polkit-1/actions/org.zelfin.zelfin.policy; do
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

# The pkexec action: where polkit reads it, well-formed, for the installed program, with a window.
policy=/usr/share/polkit-1/actions/org.zelfin.zelfin.policy
xmllint --noout "$policy" || { echo "$policy is not well-formed XML" >&2; exit 1; }
annotation() { xmllint --xpath "string(//action[@id='org.zelfin.zelfin']/annotate[@key='$1'])" "$policy"; }
exec_path=$(annotation org.freedesktop.policykit.exec.path)
[ "$exec_path" = /usr/bin/zelfin ] && [ -x "$exec_path" ] ||
    { echo "$policy: exec.path is '$exec_path', not the installed program" >&2; exit 1; }
[ "$(annotation org.freedesktop.policykit.exec.allow_gui)" = true ] ||
    { echo "$policy: allow_gui is not true" >&2; exit 1; }
[ "$(xmllint --xpath "string(//action/defaults/allow_active)" "$policy")" = auth_admin ] ||
    { echo "$policy: an active user is not asked for an administrator" >&2; exit 1; }
grep -qx 'NoDisplay=true' /usr/share/applications/zelfin.desktop ||
    { echo "zelfin.desktop offers the unfilled template in the menus" >&2; exit 1; }
echo "package: contents, install, zelfin-pack show on the installed template and the pkexec action: passed"
