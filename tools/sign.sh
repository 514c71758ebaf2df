#!/usr/bin/env bash
# Signs one Windows program file in place with an Authenticode signature (osslsigncode, SHA-256),
# then verifies the signature against the signing certificate. The installer build calls it for
# the program and its DLLs, and makensis for the installer and the uninstaller it carries.
#
# Usage: tools/sign.sh FILE
#   VP_SIGN_CERT, VP_SIGN_KEY  the release's certificate (PEM, with its chain) and private key
#                              (PEM or DER); VP_SIGN_PASS_FILE a file with the key's password;
#                              VP_SIGN_TIMESTAMP a time-stamping server's URL, so the signature
#                              outlives the certificate.
#   Without them a test certificate is made once in build/signing/ (never committed, never
#   trusted by anyone else): the signature then shows only that signing and verifying work.
set -euo pipefail
file=$1
root=$(cd "$(dirname "$0")/.." && pwd)
cert=${VP_SIGN_CERT:-}
key=${VP_SIGN_KEY:-}
if [ -z "$cert" ]; then
  dir=$root/build/signing
  cert=$dir/test-signing.crt
  key=$dir/test-signing.key
  if [ ! -f "$cert" ]; then
    mkdir -p "$dir"
    openssl req -x509 -newkey rsa:3072 -sha256 -nodes -days 3650 -keyout "$key.new" \
      -out "$cert.new" -subj "/CN=Vormetra Proxy test signing/O=Vormetra" \
      -addext "keyUsage=critical,digitalSignature" -addext "extendedKeyUsage=codeSigning" \
      2>/dev/null
    mv "$key.new" "$key"
    mv "$cert.new" "$cert"
  fi
fi
options=(-certs "$cert" -key "$key" -h sha256 -n "Vormetra Proxy" -i https://www.vormetra.hr)
[ -n "${VP_SIGN_PASS_FILE:-}" ] && options+=(-readpass "$VP_SIGN_PASS_FILE")
[ -n "${VP_SIGN_TIMESTAMP:-}" ] && options+=(-ts "$VP_SIGN_TIMESTAMP")

log=$(mktemp)
trap 'rm -f "$log" "$file.signed"' EXIT
if ! osslsigncode sign "${options[@]}" -in "$file" -out "$file.signed" >"$log" 2>&1; then
  echo "sign: $file was not signed: $(tail -n 3 "$log")" >&2
  exit 1
fi
mv -f "$file.signed" "$file"
if ! osslsigncode verify -CAfile "$cert" -in "$file" >"$log" 2>&1; then
  echo "sign: the signature of $file does not verify: $(tail -n 3 "$log")" >&2
  exit 1
fi
