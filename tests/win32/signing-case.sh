#!/usr/bin/env bash
# The vendor's signing workflow on the release window program: fill, sign with a throwaway
# certificate, verify. Filling the signed program is refused and leaves it byte for byte as it
# was; --drop-signature writes a program without any signature table.
#   signing-case.sh ZELFIN_PACK ZELFIN_EXE WORK_DIR
set -euo pipefail
pack=$1
exe=$2
work=$3
rm -rf "$work"
mkdir -p "$work"
say() { echo "signing: $*"; }
fail() {
    echo "signing: FAILED: $*" >&2
    exit 1
}

"$pack" make-demo "$work" >/dev/null
cp "$exe" "$work/zelfin.exe"
"$pack" fill "$work/zelfin.exe" "$work/package.txt" >/dev/null
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Zelfin test vendor" \
    -addext "extendedKeyUsage=codeSigning" -keyout "$work/key.pem" -out "$work/cert.pem" \
    2>/dev/null
osslsigncode sign -certs "$work/cert.pem" -key "$work/key.pem" -n "Zelfin" \
    -in "$work/zelfin.exe" -out "$work/signed.exe" >/dev/null
osslsigncode verify -CAfile "$work/cert.pem" -in "$work/signed.exe" >"$work/verify.txt" 2>&1 ||
    fail "the signed program does not verify: $(tail -3 "$work/verify.txt")"
"$pack" show "$work/signed.exe" >"$work/show.txt"
grep -q '^Authenticode signature: present' "$work/show.txt" || fail "show does not see the signature"
grep -q '^package: intact' "$work/show.txt" || fail "signing changed the package"
say "filled, signed and verified"

cp "$work/signed.exe" "$work/before.exe"
if "$pack" fill "$work/signed.exe" "$work/package.txt" >/dev/null 2>"$work/refused.txt"; then
    fail "fill rewrote a signed program"
fi
grep -q 'carries an Authenticode signature' "$work/refused.txt" || fail "no reason given"
cmp -s "$work/signed.exe" "$work/before.exe" || fail "the refused fill changed the file"
say "fill refuses the signed program and leaves it untouched"

"$pack" fill --drop-signature "$work/signed.exe" "$work/package.txt" >/dev/null
"$pack" show "$work/signed.exe" | grep -q '^Authenticode signature: none$' ||
    fail "--drop-signature left a signature table"
if osslsigncode verify -CAfile "$work/cert.pem" -in "$work/signed.exe" >/dev/null 2>&1; then
    fail "the program still verifies after its signature was dropped"
fi
say "--drop-signature writes an unsigned program"
rm -rf "$work"
