#!/bin/sh
# Packs a copy of the built template and runs it: the program must decode the packed bytes,
# not values the compiler kept from the template.
set -eu
pack=$1
template=$2
work=$3
rm -rf "$work"
mkdir -p "$work"
"$pack" make-demo "$work" >/dev/null
cp "$template" "$work/zelfin"
"$work/zelfin" >"$work/before.txt"
grep -q 'HOW_MANY_BIN=0' "$work/before.txt"
grep -q 'caption:        "Zelfin v2.0.4"' "$work/before.txt"
grep -q 'seal:           damaged' "$work/before.txt"
"$pack" fill "$work/zelfin" "$work/package.txt" >/dev/null
"$work/zelfin" >"$work/after.txt"
grep -q 'caption:        "Flash Program for BRYMOTE DVDRW RVM-270A"' "$work/after.txt"
grep -q 'HOW_MANY_BIN=1' "$work/after.txt"
grep -q 'image:          filled' "$work/after.txt"
grep -q 'slot 1 2:       from "B100" to "B100"' "$work/after.txt"
grep -q 'seal:           intact' "$work/after.txt"
# The digest fill wrote, against sha256sum of the block's bytes in the file.
"$pack" show "$work/zelfin" >"$work/show.txt"
offset=$(sed -n 's/^package block at file offset //p' "$work/show.txt")
expected=$(tail -c +$((offset + 1)) "$work/zelfin" | head -c 1050699 | sha256sum | cut -d' ' -f1)
grep -q "^package digest (SHA-256 of the block):  $expected\$" "$work/show.txt"
grep -v "^seal:" "$work/after.txt" >"$work/expected.txt"
"$pack" show "$work/zelfin" | tail -n +2 | head -n "$(wc -l <"$work/expected.txt")" |
    cmp - "$work/expected.txt"
rm -rf "$work"
echo "packed values decoded"
