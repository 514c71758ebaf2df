#!/usr/bin/env bash
# The certificate set of the tests in DIR: the program's own five files, made by tools/certs.sh,
# plus the fixtures of the failure cases and of an upstream server.
#
#   encrypted.key   fakeFinaTest.key under a password (no password is ever supplied)
#   mismatched.key  a key that belongs to no certificate
#   upstream.crt    self-signed, for another host name, with upstream.key: a TLS 1.2 upstream
#   upstream.pfx    upstream.crt and its key as PKCS #12, without a password
#   fakeFinaTest.der  fakeFinaTest.crt in DER, as a TLS library object is made from it
#   loopbackCA.crt  a second root (DER), whose key is gone like the program's own root's, with:
#   loopback.crt    127.0.0.1 for server authentication, with loopback.key: a trusted upstream
#   loopback-client.der  127.0.0.1 for client authentication only (DER)
#   chain-leaf.crt  127.0.0.1 for server authentication, with chain-leaf.key, issued under 19
#                   authorities: chain-01.der (its issuer) up to chain-19.der (self-signed)
set -euo pipefail
dir=$1
openssl=${OPENSSL:-openssl}
here=$(cd "$(dirname "$0")" && pwd)

bash "$here/../../tools/certs.sh" "$dir" >/dev/null
"$openssl" pkey -in "$dir/fakeFinaTest.key" -aes256 -passout pass:secret -out "$dir/encrypted.key"
"$openssl" genpkey -quiet -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out "$dir/mismatched.key"
"$openssl" req -x509 -newkey rsa:2048 -nodes -sha256 -days 3650 -subj "/CN=upstream.invalid" \
  -keyout "$dir/upstream.key" -out "$dir/upstream.crt" -config /dev/null 2>/dev/null
"$openssl" pkcs12 -export -in "$dir/upstream.crt" -inkey "$dir/upstream.key" -passout pass: \
  -out "$dir/upstream.pfx"
"$openssl" x509 -in "$dir/fakeFinaTest.crt" -outform DER -out "$dir/fakeFinaTest.der"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cat >"$work/openssl.cnf" <<'CNF'
[req]
distinguished_name = dn
[dn]
[root]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
[server]
basicConstraints = critical, CA:FALSE
extendedKeyUsage = serverAuth
subjectAltName = IP:127.0.0.1
[client]
basicConstraints = critical, CA:FALSE
extendedKeyUsage = clientAuth
subjectAltName = IP:127.0.0.1
CNF
export OPENSSL_CONF="$work/openssl.cnf"
"$openssl" req -x509 -newkey rsa:2048 -nodes -sha256 -days 3650 -subj "/CN=Loopback Test Root" \
  -extensions root -keyout "$work/ca.key" -out "$work/ca.pem" 2>/dev/null
"$openssl" x509 -in "$work/ca.pem" -outform DER -out "$dir/loopbackCA.crt"
# leaf NAME SECTION: a key and certificate for 127.0.0.1, signed by the loopback root.
leaf() {
  "$openssl" req -new -newkey rsa:2048 -nodes -subj "/CN=127.0.0.1" -keyout "$dir/$1.key" \
    -out "$work/$1.csr" 2>/dev/null
  "$openssl" x509 -req -in "$work/$1.csr" -CA "$work/ca.pem" -CAkey "$work/ca.key" \
    -CAserial "$work/ca.srl" -CAcreateserial -sha256 -days 3650 -extfile "$work/openssl.cnf" \
    -extensions "$2" -out "$dir/$1.crt" 2>/dev/null
}
leaf loopback server
leaf loopback-client client
"$openssl" x509 -in "$dir/loopback-client.crt" -outform DER -out "$dir/loopback-client.der"
rm -f "$dir/loopback-client.crt" "$dir/loopback-client.key"

# A chain of 20: each authority signs the one below it. Elliptic-curve keys keep it quick to make.
ec_key=(-newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes)
"$openssl" req -x509 "${ec_key[@]}" -sha256 -days 3650 -subj "/CN=Chain Authority 19" \
  -extensions root -keyout "$work/chain-19.key" -out "$work/chain-19.pem" 2>/dev/null
# chained NAME SUBJECT ISSUER SECTION: a key and certificate signed by the issuer's.
chained() {
  "$openssl" req -new "${ec_key[@]}" -subj "/CN=$2" -keyout "$work/$1.key" -out "$work/$1.csr" \
    2>/dev/null
  "$openssl" x509 -req -in "$work/$1.csr" -CA "$work/$3.pem" -CAkey "$work/$3.key" \
    -CAserial "$work/chain.srl" -CAcreateserial -sha256 -days 3650 -extfile "$work/openssl.cnf" \
    -extensions "$4" -out "$work/$1.pem" 2>/dev/null
}
for i in $(seq 18 -1 1); do
  chained "$(printf 'chain-%02d' "$i")" "Chain Authority $i" "$(printf 'chain-%02d' $((i + 1)))" root
done
chained chain-leaf 127.0.0.1 chain-01 server
cp "$work/chain-leaf.pem" "$dir/chain-leaf.crt"
cp "$work/chain-leaf.key" "$dir/chain-leaf.key"
for i in $(seq 1 19); do
  name=$(printf 'chain-%02d' "$i")
  "$openssl" x509 -in "$work/$name.pem" -outform DER -out "$dir/$name.der"
done
