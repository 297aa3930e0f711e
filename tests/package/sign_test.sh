#!/usr/bin/env bash
# Signs a release's files with a throwaway self-signed certificate through
# scripts/sign and checks the signatures as a user would: the unsigned
# release carries none; a PEM pair and a password-protected PKCS#12 file
# both sign the program and the installer, and osslsigncode verify accepts
# them against the certificate; the same key and SOURCE_DATE_EPOCH sign to
# the same bytes; one changed byte in a signed program fails verification.
# Usage: tests/package/sign_test.sh ZIP MSI
set -euo pipefail
zip=$(realpath "${1:?usage: sign_test.sh ZIP MSI}")
msi=$(realpath "${2:?usage: sign_test.sh ZIP MSI}")
root="$(cd "$(dirname "$0")/../.." && pwd)"
tmp=$(mktemp -d "${TMPDIR:-/tmp}/zorv-sign-test.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }
ok() { echo "ok  $*"; }
unset ZORV_SIGN_CERT ZORV_SIGN_KEY ZORV_SIGN_PASSWORD ZORV_SIGN_PASSWORD_FILE ZORV_SIGN_CAFILE ZORV_SIGN_TIMESTAMP_URL
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-1765000000}

unzip -q -j "$zip" '*/zorv-console.exe' -d "$tmp"
exe=$tmp/zorv-console.exe
sign() { "$root/scripts/sign" "$@" 2>"$tmp/sign.log" || { cat "$tmp/sign.log" >&2; fail "scripts/sign $*"; }; }
verify() { osslsigncode verify -CAfile "$tmp/cert.pem" -in "$1" >"$tmp/verify.log" 2>&1; }

openssl req -x509 -newkey rsa:2048 -nodes -keyout "$tmp/key.pem" -out "$tmp/cert.pem" -days 1 \
  -subj "/CN=zorv console throwaway signer" -addext "extendedKeyUsage=codeSigning" 2>/dev/null
for f in "$exe" "$msi"; do
  ! verify "$f" || fail "the unsigned $(basename "$f") verifies"
done
ok "the release as built carries no signature"

cp "$exe" "$tmp/pem.exe" && cp "$msi" "$tmp/pem.msi"
ZORV_SIGN_CERT=$tmp/cert.pem ZORV_SIGN_KEY=$tmp/key.pem sign "$tmp/pem.exe" "$tmp/pem.msi"
for f in pem.exe pem.msi; do verify "$tmp/$f" || { cat "$tmp/verify.log"; fail "$f does not verify"; }; done
ok "a PEM pair signs the program and the installer; both verify"

printf 'throwaway password\n' >"$tmp/password"
openssl pkcs12 -export -inkey "$tmp/key.pem" -in "$tmp/cert.pem" -out "$tmp/signer.p12" -passout "file:$tmp/password"
cp "$exe" "$tmp/p12.exe"
ZORV_SIGN_CERT=$tmp/signer.p12 ZORV_SIGN_KEY=$tmp/signer.p12 ZORV_SIGN_PASSWORD_FILE=$tmp/password \
  ZORV_SIGN_CAFILE=$tmp/cert.pem sign "$tmp/p12.exe"
verify "$tmp/p12.exe" || { cat "$tmp/verify.log"; fail "the PKCS#12-signed program does not verify"; }
cp "$exe" "$tmp/wrong.exe"
! ZORV_SIGN_CERT=$tmp/signer.p12 ZORV_SIGN_KEY=$tmp/signer.p12 ZORV_SIGN_PASSWORD=wrong \
  "$root/scripts/sign" "$tmp/wrong.exe" 2>/dev/null || fail "a wrong password signed"
ok "a PKCS#12 file with its password from a file signs; a wrong password does not"

cp "$exe" "$tmp/again.exe"
ZORV_SIGN_CERT=$tmp/cert.pem ZORV_SIGN_KEY=$tmp/key.pem sign "$tmp/again.exe"
cmp -s "$tmp/pem.exe" "$tmp/again.exe" || fail "the same key and time signed the program to different bytes"
ok "the same key and SOURCE_DATE_EPOCH give the same signed bytes"

# One byte in the middle of the program, well inside what the signature covers.
size=$(stat -c %s "$exe")
cp "$tmp/pem.exe" "$tmp/changed.exe"
byte=$(od -An -tu1 -j $((size / 2)) -N1 "$tmp/changed.exe" | tr -d ' ')
printf "$(printf '\\%03o' $(((byte + 1) % 256)))" | dd of="$tmp/changed.exe" bs=1 seek=$((size / 2)) conv=notrunc 2>/dev/null
! verify "$tmp/changed.exe" || fail "a signed program with one byte changed still verifies"
ok "one changed byte fails verification"
