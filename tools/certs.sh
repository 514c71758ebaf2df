#!/usr/bin/env bash
# Makes the five certificate and key files the proxy reads in its HTTPS modes, in DIR (the
# program's folder): a fresh local root CA and two server certificates it signs, for the test host
# and the production host of the tax authority.
#
#   fakeFinaCA.crt                        the root, DER (installed into the trust store, /rootcert)
#   fakeFinaTest.crt / fakeFinaTest.key   cistest.apis-it.hr, PEM, key unencrypted
#   fakeFina.crt / fakeFina.key           cis.porezna-uprava.hr, PEM, key unencrypted
#
# The root's private key lives only in a temp folder while the two certificates are signed and is
# deleted afterwards: a root that the machine trusts must not leave a key behind with which anybody
# could issue more certificates. Running the script again makes a whole new set.
#
# Usage: tools/certs.sh DIR        (the program's own /certs switch makes the same set)
set -euo pipefail

if [ $# -ne 1 ]; then
  echo "usage: $0 DIR" >&2
  exit 2
fi
dir=$1
openssl=${OPENSSL:-openssl}
test_host=cistest.apis-it.hr
production_host=cis.porezna-uprava.hr
days=3650

mkdir -p "$dir"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
umask 077

# Our own minimal configuration, so the result does not depend on the system's openssl.cnf.
cat >"$work/openssl.cnf" <<CNF
[req]
distinguished_name = dn
prompt = no
[dn]
CN = unused
[root]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
nameConstraints = permitted;DNS:$test_host, permitted;DNS:$production_host
[server_test]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature, keyEncipherment
extendedKeyUsage = serverAuth
subjectAltName = DNS:$test_host
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
[server_production]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature, keyEncipherment
extendedKeyUsage = serverAuth
subjectAltName = DNS:$production_host
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
CNF
export OPENSSL_CONF="$work/openssl.cnf"

new_key() {
  "$openssl" genpkey -quiet -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out "$1"
}

new_key "$work/ca.key"
"$openssl" req -new -x509 -config "$work/openssl.cnf" -key "$work/ca.key" -sha256 -days "$days" \
  -subj "/O=Vormetra Proxy/CN=Vormetra Proxy Local Root CA" -extensions root -out "$work/ca.pem"
"$openssl" x509 -in "$work/ca.pem" -outform DER -out "$work/fakeFinaCA.crt"

# server NAME HOST SECTION: key and certificate for HOST, signed by the root.
server() {
  new_key "$work/$1.key"
  "$openssl" req -new -config "$work/openssl.cnf" -key "$work/$1.key" -subj "/CN=$2" \
    -out "$work/$1.csr"
  "$openssl" x509 -req -in "$work/$1.csr" -CA "$work/ca.pem" -CAkey "$work/ca.key" \
    -CAserial "$work/ca.srl" -CAcreateserial -sha256 -days "$days" \
    -extfile "$work/openssl.cnf" -extensions "$3" -out "$work/$1.crt" 2>/dev/null
}
server fakeFinaTest "$test_host" server_test
server fakeFina "$production_host" server_production

# Move the finished set in only now, so a failure above leaves the old files untouched.
for f in fakeFinaCA.crt fakeFinaTest.crt fakeFinaTest.key fakeFina.crt fakeFina.key; do
  mv -f "$work/$f" "$dir/$f"
done
chmod 644 "$dir/fakeFinaCA.crt" "$dir/fakeFinaTest.crt" "$dir/fakeFina.crt"
echo "Certificates written to $dir"
