#!/usr/bin/env bash
# What Windows shows of a filled release program: zelfin-pack fill writes the package's title (the
# longest a description allows) and bank 1's new revision into the version resource, in place; the
# resource compiler's own reader reads them back. The console programs run with the caller's
# rights (asInvoker), never elevated on a guess from their name.
#   version-case.sh ZELFIN_PACK WORK_DIR EXE...
set -euo pipefail
pack=$1
work=$2
shift 2
windres=${WINDRES:-i686-w64-mingw32-windres}
rm -rf "$work"
mkdir -p "$work"
fail() {
    echo "version: FAILED: $*" >&2
    exit 1
}

"$pack" make-demo "$work" >/dev/null
title="Flash Program for BRYMOTE DVDRW RVM-270A, firmware 1A07 (2004)."
[ ${#title} -eq 63 ] || fail "the title is ${#title} characters, not the longest (63)"
sed -i "s/^APP_TITLE .*/APP_TITLE \"$title\"/" "$work/package.txt"
for exe in "$@"; do
    name=$(basename "$exe")
    cp "$exe" "$work/$name"
    "$pack" fill "$work/$name" "$work/package.txt" >"$work/$name.fill.txt" ||
        fail "$name: fill refused: $(cat "$work/$name.fill.txt")"
    [ "$(stat -c %s "$work/$name")" = "$(stat -c %s "$exe")" ] || fail "$name: fill changed its size"
    "$windres" -i "$work/$name" -O rc >"$work/$name.rc" 2>&1 || fail "$name: $(tail -1 "$work/$name.rc")"
    grep -qF "VALUE \"FileDescription\", \"$title\"" "$work/$name.rc" ||
        fail "$name: FileDescription is $(grep FileDescription "$work/$name.rc")"
    grep -qF 'VALUE "ProductVersion", "1A07"' "$work/$name.rc" ||
        fail "$name: ProductVersion is $(grep ProductVersion "$work/$name.rc")"
    echo "version: $name shows \"$title\", 1A07"
    if [ "$name" != zelfin.exe ]; then
        grep -q 'requestedExecutionLevel level=""asInvoker""' "$work/$name.rc" ||
            fail "$name: its manifest does not run it as the caller"
    fi
done
rm -rf "$work"
