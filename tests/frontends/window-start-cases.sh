#!/usr/bin/env bash
# How the Linux window program starts before any window: --version and --help print and end
# without Qt; a copy that holds no firmware or was damaged after packing says so without asking
# pkexec; without pkexec, or refused by it, it says how to get the rights and ends non-zero.
# The cases run as an unprivileged user (nobody, when this is root), with a Qt platform that does
# not exist, so any window Qt tried to open would end the program at once.
# Usage: tests/frontends/window-start-cases.sh ZELFIN ZELFIN_PACK
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
# shellcheck source=../checks.sh
source "$root/tests/checks.sh" # defines check, passed and failed

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"
mkdir -p "$work/out" "$work/bin-ok" "$work/bin-cancel" "$work/empty"
chmod 1777 "$work/out"
for status in ok:0 cancel:126; do
    printf '#!/bin/sh\n: >%s/out/asked-%s\nexit %s\n' "$work" "${status%:*}" "${status#*:}" \
        >"$work/bin-${status%:*}/pkexec"
    chmod 755 "$work/bin-${status%:*}/pkexec"
done

cp "$1" "$work/unfilled"
"$2" make-demo "$work/demo" >/dev/null &&
    cp "$1" "$work/filled" && "$2" fill "$work/filled" "$work/demo/package.txt" >/dev/null || exit 1
# The damaged copy: the last byte of its firmware image changed after packing.
cp "$work/filled" "$work/damaged"
block=$("$2" show "$work/filled" | sed -n 's/^package block at file offset \([0-9]*\)$/\1/p')
last=$((block + 1050698))
byte=$(od -An -tu1 -j "$last" -N1 "$work/damaged" | tr -d ' ')
printf '%b' "$(printf '\\%03o' $(((byte + 1) % 256)))" |
    dd of="$work/damaged" bs=1 seek="$last" conv=notrunc status=none
chmod 755 "$work"/{unfilled,filled,damaged}

as_user=()
[ "$(id -u)" -ne 0 ] || as_user=(/usr/bin/setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups)
start() { # start PATH PROGRAM ARGUMENT...: as the unprivileged user, with no display
    rm -f "$work"/out/asked-*
    # The shell's own "Aborted", when Qt ends the program so, is no output of the program.
    {
        env -i "PATH=$1" QT_QPA_PLATFORM=none HOME=/tmp /usr/bin/timeout 30 "${as_user[@]}" \
            "${@:2}" >"$work/out/stdout" 2>"$work/out/stderr"
        rc=$?
    } 2>/dev/null
}

start /usr/bin:/bin "$work/unfilled" --version
check "--version: exits 0" test "$rc" -eq 0
check "--version: prints it" test "$(head -n 1 "$work/out/stdout")" = "zelfin $(
    sed -n 's/^project(Zelfin VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")"
check "--version: and the package" contains "$work/out/stdout" "package: none"
start /usr/bin:/bin "$work/unfilled" --help
check "--help: exits 0" test "$rc" -eq 0
check "--help: the usage" contains "$work/out/stdout" "usage: zelfin"
start /usr/bin:/bin "$work/unfilled" --version --help
check "two options: usage error" test "$rc" -eq 2
check "two options: the usage" contains "$work/out/stderr" "usage: zelfin"

for copy in unfilled:"No F/W in executable !" damaged:"This program is damaged"; do
    start "$work/bin-ok:/usr/bin:/bin" "$work/${copy%%:*}"
    check "${copy%%:*}: says so" contains "$work/out/stderr" "${copy#*:}"
    check "${copy%%:*}: pkexec never asked" test ! -e "$work/out/asked-ok"
    check "${copy%%:*}: ends non-zero" test "$rc" -ne 0
done

start "$work/bin-ok:/usr/bin:/bin" "$work/filled"
check "filled: pkexec asked" test -e "$work/out/asked-ok"
check "filled: the copy's status" test "$rc" -eq 0

denied="Access denied ! You must have administrator privilege to flash drives."
for case in empty:"install it (on Debian: apt install pkexec)" bin-cancel:"authenticate as an administrator"; do
    start "$work/${case%%:*}" "$work/filled"
    check "${case%%:*}: access denied" contains "$work/out/stderr" "$denied"
    check "${case%%:*}: how to get the rights" contains "$work/out/stderr" "${case#*:}"
    check "${case%%:*}: or sudo" contains "$work/out/stderr" "as root with sudo"
    check "${case%%:*}: ends non-zero" test "$rc" -ne 0
done

echo "window start cases: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
