#!/usr/bin/env bash
# The window program's rights on Linux, as root (CI runs so): a copy given CAP_SYS_RAWIO and run
# by an unprivileged user refuses before Qt loads a plugin from a folder the user chose; a user
# without rights starts it once more through pkexec (a stand-in on PATH that records what it
# gets) with the display variables alone; a cancelled or missing pkexec ends in "Access denied !";
# root keeps to the installed plugins whatever its environment names.
# zelfin-cli given the capability refuses the same way. The window program is a packed copy: an
# unfilled one never asks pkexec.
# Usage: tests/frontends/rights-cases.sh ZELFIN MARKER_PLUGIN ZELFIN_CLI ZELFIN_PACK
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
if [ "$(id -u)" -ne 0 ] || ! command -v setcap >/dev/null || ! command -v setpriv >/dev/null; then
    echo "rights cases skipped: they need root, setcap and setpriv"
    exit 77
fi
bounding=$(awk '/^CapBnd:/ { print $2 }' /proc/self/status)
if (((0x$bounding >> 17 & 1) == 0)); then # CAP_SYS_RAWIO: without it a capable copy cannot start
    echo "rights cases skipped: CAP_SYS_RAWIO is outside this machine's bounding set"
    exit 77
fi
# shellcheck source=../checks.sh
source "$root/tests/checks.sh"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"
mkdir -p "$work/plugins/platforms" "$work/out" "$work/bin-ok" "$work/bin-cancel" "$work/empty" \
    "$work/beside/platforms"
chmod 1777 "$work/out"
cp "$2" "$work/plugins/platforms/libqmarker.so"
cp "$2" "$work/beside/platforms/libqmarker.so"
"$4" make-demo "$work/demo" >/dev/null && cp "$1" "$work/zelfin" &&
    "$4" fill "$work/zelfin" "$work/demo/package.txt" >/dev/null || exit 1
chmod 755 "$work/zelfin"
cp "$work/zelfin" "$work/beside/zelfin"
cp "$work/zelfin" "$work/zelfin-capable"
cp "$3" "$work/zelfin-cli-capable"
setcap cap_sys_rawio+ep "$work/zelfin-capable" cap_sys_rawio+ep "$work/zelfin-cli-capable" ||
    exit 1
for status in ok:0 cancel:126; do
    printf '#!/bin/sh\nprintf "%%s\\n" "$@" >%s/out/args-%s\ntr "\\0" "\\n" </proc/$$/environ >%s/out/env-%s\nexit %s\n' \
        "$work" "${status%:*}" "$work" "${status%:*}" "${status#*:}" >"$work/bin-${status%:*}/pkexec"
    chmod 755 "$work/bin-${status%:*}/pkexec"
done

marker=$work/out/marker
plugins=(QT_QPA_PLATFORM=offscreen "QT_QPA_PLATFORM_PLUGIN_PATH=$work/plugins/platforms"
    "QT_PLUGIN_PATH=$work/plugins" "ZELFIN_PLUGIN_MARKER=$marker")
session=(DISPLAY=:97 XAUTHORITY=/tmp/zelfin-xauth "XDG_RUNTIME_DIR=$work" "XDG_CONFIG_HOME=$work"
    LD_LIBRARY_PATH=/nonexistent QT_STYLE_OVERRIDE=fusion HOME=/tmp)
as_nobody() { # as_nobody PATH PROGRAM NAME=VALUE...: runs it as nobody with that environment alone
    rm -f "$marker"
    env -i "PATH=$1" "${@:3}" /usr/bin/timeout 30 /usr/bin/setpriv --reuid=nobody \
        --regid="$(id -g nobody)" --clear-groups "$2" >"$work/out/stdout" 2>"$work/out/stderr"
    rc=$?
}

as_nobody /usr/bin:/bin "$work/zelfin-capable" "${plugins[@]}"
check "capable: refuses" test "$rc" -eq 1
check "capable: says how to run it" contains "$work/out/stderr" "run it through pkexec or as root"
check "capable: no plugin ran" test ! -e "$marker"
as_nobody /usr/bin:/bin "$work/zelfin-cli-capable" "${plugins[@]}"
check "capable zelfin-cli: refuses" test "$rc" -eq 1
check "capable zelfin-cli: says how to run it" contains "$work/out/stderr" "through pkexec or as root"

as_nobody "$work/bin-ok:/usr/bin:/bin" "$work/zelfin" "${session[@]}" "${plugins[@]}"
check "pkexec: the copy's status" test "$rc" -eq 0
check "pkexec: the program's own file, then the display" \
    test "$(cat "$work/out/args-ok")" = "$work/zelfin"$'\n'"DISPLAY=:97"$'\n'"XAUTHORITY=/tmp/zelfin-xauth"
check "pkexec: only the display crosses" \
    test "$(cat "$work/out/env-ok")" = "DISPLAY=:97"$'\n'"XAUTHORITY=/tmp/zelfin-xauth"
check "pkexec: no window of its own" test ! -e "$marker"

denied="Access denied ! You must have administrator privilege to flash drives."
# The refusal's box then starts Qt as the unprivileged user, who may load what they choose: the
# marker plugin ends it there, and shows that the plugin is loaded where nothing stops it.
as_nobody "$work/bin-cancel:/usr/bin:/bin" "$work/zelfin" "${session[@]}" "${plugins[@]}"
check "cancelled: pkexec asked" test -e "$work/out/args-cancel"
check "cancelled: access denied" contains "$work/out/stderr" "$denied"
check "cancelled: the marker plugin works" test -e "$marker"
as_nobody "$work/empty" "$work/zelfin" "${session[@]}" "${plugins[@]}"
check "no pkexec: access denied" contains "$work/out/stderr" "$denied"

# Root with a desktop user's environment (sudo -E), and plugins beside the program: Qt gets the
# installed plugins only, and ends for want of a display.
for program in "$work/zelfin" "$work/beside/zelfin"; do
    rm -f "$marker"
    env -i PATH=/usr/bin:/bin "${plugins[@]}" timeout 30 "$program" >/dev/null 2>"$work/out/stderr"
    check "root ($program): no plugin of the caller's" test ! -e "$marker"
    check "root ($program): installed xcb tried" contains "$work/out/stderr" "xcb"
done

echo "rights cases: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
