#!/usr/bin/env bash
# The run's logind lock against a real dbus-daemon on a private socket, with fake_logind.py in
# logind's place: granted (the service sees the four strings, and sees our descriptor closed),
# refused by the service, and no service on the bus. The last two leave the run without a lock.
# Usage: tests/platforms/logind-inhibit.sh INHIBIT_PROBE
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
probe=$1
[ -x "$probe" ] || { echo "no probe at $probe" >&2; exit 1; }
python=/usr/bin/python3
if ! command -v dbus-daemon >/dev/null ||
    ! "$python" -c 'import dbus.mainloop.glib; from gi.repository import GLib' 2>/dev/null; then
    echo "logind lock cases skipped: they need dbus-daemon, python3-dbus and python3-gi"
    exit 77
fi
# shellcheck source=../checks.sh
source "$here/../checks.sh"

work=$(mktemp -d)
pids=()
stop_all() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
    pids=()
}
trap 'stop_all; rm -rf "$work"' EXIT

until_seen() { # until_seen CONDITION...: up to 10 s
    for _ in $(seq 200); do
        "$@" && return 0
        sleep 0.05
    done
    return 1
}

# bus_case NAME SERVICE: a bus of its own in $work/NAME, and the service ("grant", "refuse", or
# "none" for no service at all).
bus_case() {
    dir=$work/$1
    mkdir -p "$dir"
    cat >"$dir/bus.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <listen>unix:path=$dir/bus</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*"/>
    <allow receive_sender="*"/>
    <allow own="*"/>
  </policy>
</busconfig>
CONF
    dbus-daemon --config-file="$dir/bus.conf" --print-address --nofork >"$dir/address" \
        2>"$dir/bus.log" &
    pids+=($!)
    until_seen test -s "$dir/address" || echo "no bus in $1" >&2
    if [ "$2" != none ]; then
        "$python" "$here/fake_logind.py" "$(head -n1 "$dir/address")" "$dir" "$2" &
        pids+=($!)
        until_seen test -e "$dir/ready" || echo "no service in $1" >&2
    fi
}

expected_args=$'shutdown:sleep:idle\nzelfin\nUpdating the firmware of an optical drive\nblock'

bus_case granted grant
mkfifo "$dir/hold"
"$probe" "$dir/bus" <"$dir/hold" >"$dir/out" &
probe_pid=$!
exec 3>"$dir/hold"
check "granted: the lock is had" until_seen contains "$dir/out" locked
check "granted: the service saw what, who, why and mode" \
    test "$(cat "$dir/args" 2>/dev/null)" = "$expected_args"
check "granted: the lock is not let go while held" test ! -e "$dir/released"
exec 3>&-
wait "$probe_pid"
check "granted: closing our descriptor lets go of the lock" until_seen test -e "$dir/released"
stop_all

bus_case refused refuse
"$probe" "$dir/bus" </dev/null >"$dir/out"
check "refused: no lock, the service's error named" \
    contains "$dir/out" "no lock: refused org.freedesktop.DBus.Error.AccessDenied"
check "refused: the service was asked" test "$(cat "$dir/args" 2>/dev/null)" = "$expected_args"
stop_all

bus_case nobody none
"$probe" "$dir/bus" </dev/null >"$dir/out"
check "no logind on the bus: no lock" \
    contains "$dir/out" "no lock: refused org.freedesktop.DBus.Error.NameHasNoOwner"
stop_all

echo "logind lock cases: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
