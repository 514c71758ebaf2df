#!/usr/bin/env bash
# The certificate set of the tests in DIR: the program's own five files, made by tools/certs.sh,
# plus the fixtures of the failure cases and of an upstream server.
#
#   encrypted.key   fakeFinaTest.key under a password (no password is ever supplied)
#   mismatched.key  a key that belongs to no certificate
#   upstream.crt    self-signed, for another host name, with upstream.key: a TLS 1.2 upstream
set -euo pipefail
dir=$1
openssl=${OPENSSL:-openssl}
here=$(cd "$(dirname "$0")" && pwd)

bash "$here/../../tools/certs.sh" "$dir" >/dev/null
"$openssl" pkey -in "$dir/fakeFinaTest.key" -aes256 -passout pass:secret -out "$dir/encrypted.key"
"$openssl" genpkey -quiet -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out "$dir/mismatched.key"
"$openssl" req -x509 -newkey rsa:2048 -nodes -sha256 -days 3650 -subj "/CN=upstream.invalid" \
  -keyout "$dir/upstream.key" -out "$dir/upstream.crt" -config /dev/null 2>/dev/null
