#!/usr/bin/env bash
# The root certificate installer against the prefix's real certificate stores: fakeFinaCA.crt into
# the current user's "Root" store (as the main window adds it: a bare name in the program's
# folder), VerifyX509 in new processes trusting the test host's certificate it issued for its own
# name and no other, a second add replacing the first, PEM, empty and truncated files refused; the
# root taken out of the store again at the end.
source "$(dirname "$0")/lib.sh"

root=$VP_APP_DIR/fakeFinaCA.crt
test_host=cistest.apis-it.hr
production_host=cis.porezna-uprava.hr
# Wine keeps the current user's system stores in the registry, one key per certificate named by
# its SHA-1 thumbprint.
thumbprint=$(openssl x509 -inform DER -in "$root" -noout -fingerprint -sha1 | sed 's/.*=//; s/://g')
key="HKCU\\Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\$thumbprint"

in_registry() { "$WINE" reg query "$key" >/dev/null 2>&1; }
remove_root() { in_registry && "$WINE" reg delete "$key" /f >/dev/null 2>&1; return 0; }

# add FILE: AddCertificateFile(FILE, "Root") by the tool started in the program's folder.
add() { (cd "$VP_APP_DIR" && vp_run_tool 60 vp-cert-store add "$1" Root); }
# verify NAME: VerifyX509 of the test host's certificate for NAME, in a process of its own.
verify() { vp_run_tool 60 vp-cert-store verify "$(vp_windows_path "$VP_WORK/test-leaf.der")" "$1"; }

if in_registry; then
  vp_fail "the prefix's Root store does not hold this run's root yet"
  vp_done
fi
vp_at_exit remove_root
openssl x509 -in "$VP_APP_DIR/fakeFinaTest.crt" -outform DER -out "$VP_WORK/test-leaf.der"

vp_expect "before the add the test certificate is not trusted" untrusted "$(verify "$test_host")"
vp_expect "AddCertificateFile(fakeFinaCA.crt, Root) adds the root" added "$(add fakeFinaCA.crt)"
vp_expect "the root is in the current user's Root store" yes "$(in_registry && echo yes)"
vp_expect "VerifyX509 trusts the test certificate for its name" trusted "$(verify "$test_host")"
vp_expect "and without a name" trusted "$(verify "")"
vp_expect "but not for the production host" untrusted "$(verify "$production_host")"
vp_expect "nor for another name" untrusted "$(verify example.org)"

vp_expect "adding the same root again replaces it" added "$(add fakeFinaCA.crt)"
vp_expect "the test certificate is still trusted" trusted "$(verify "$test_host")"

cp "$VP_APP_DIR/fakeFinaTest.crt" "$VP_WORK/pem.crt"
: >"$VP_WORK/empty.crt"
head -c 100 "$root" >"$VP_WORK/truncated.crt"
for file in pem empty truncated; do
  vp_expect "the $file file is refused" refused "$(add "$(vp_windows_path "$VP_WORK/$file.crt")")"
done
vp_expect "a missing file is refused" refused "$(add missing.crt)"

remove_root
vp_expect "taken out of the store, the root no longer makes it trusted" untrusted \
  "$(verify "$test_host")"
vp_done
