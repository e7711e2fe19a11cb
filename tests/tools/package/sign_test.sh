#!/usr/bin/env bash
# scripts/package --sign with a throw-away self-signed certificate: each package and the DLL inside it carry a
# signature that osslsigncode verifies against that certificate, and an unsigned package has none.
# Usage: sign_test.sh DIST_DIR (holding x64/Quillmark.dll and x86/Quillmark.dll)
set -uo pipefail
dist=$(readlink -f "$1")
root=$(cd "$(dirname "$0")/../../.." && pwd)
source "$root/scripts/lib/harness.sh"
qm_work sign-test
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/key.pem" -out "$work/cert.pem" -days 2 \
  -subj "/CN=Quillmark test signer" -addext "extendedKeyUsage=codeSigning" >/dev/null 2>&1
"$root/scripts/package" --dist "$dist" --out "$work/signed" --sign "$work/cert.pem" "$work/key.pem" >"$work/log" 2>&1 &&
  "$root/scripts/package" --dist "$dist" --out "$work/plain" --arch x64 >>"$work/log" 2>&1 ||
  { echo "FAIL: packaging"; cat "$work/log"; exit 1; }
status=0
verify() {  # LABEL FILE
  if osslsigncode verify -CAfile "$work/cert.pem" -in "$2" >"$work/verify.out" 2>&1 &&
     grep -q "Signature verification: ok" "$work/verify.out"; then
    echo "ok: $1 verified"; grep -E "Signature verification" "$work/verify.out" | sed "s/^/    /"
  else
    echo "FAIL: $1"; sed 's/^/    | /' "$work/verify.out" | tail -8; status=1
  fi
}
for msi in "$work"/signed/*.msi; do
  verify "$(basename "$msi")" "$msi"
  mkdir -p "$work/x/$(basename "$msi")"
  (cd "$work/x/$(basename "$msi")" && msiextract "$msi" >/dev/null)
  dll=$(find "$work/x/$(basename "$msi")" -name Quillmark.dll | head -1)
  verify "Quillmark.dll in $(basename "$msi")" "$dll"
done
[ "$(ls "$work"/signed/*.msi | wc -l)" = 2 ] || { echo "FAIL: two signed packages expected"; status=1; }
plain=$(ls "$work"/plain/*.msi)
if osslsigncode verify -CAfile "$work/cert.pem" -in "$plain" >/dev/null 2>&1; then echo "FAIL: unsigned package verified"; status=1
else echo "ok: the unsigned package has no signature"; fi
exit $status
