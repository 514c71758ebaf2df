#!/usr/bin/env bash
# The source-entry step of the Windows OpenSSL build, against sample apt configurations in a
# temporary folder: what tools/apt-source-entry.sh makes of each, and that tools/openssl-win.sh,
# with apt replaced by stubs that know no source until the entry exists, writes the entry and asks
# for the version apt then names.
set -uo pipefail
tools=$(cd "$(dirname "$0")/../../tools" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# expect NAME EXPECTED_OUTPUT: runs the script on $tmp/NAME/etc.
expect() {
  local out
  out=$(bash "$tools/apt-source-entry.sh" "$tmp/$1/etc" 2>&1)
  [ "$out" = "$2" ] || fail "$1: got
$out
--- expected
$2"
}

sample() { mkdir -p "$tmp/$1/etc/sources.list.d"; cat >"$tmp/$1/etc/$2"; }

key=/usr/share/keyrings/debian-archive-keyring.gpg
sample deb822 sources.list.d/debian.sources <<EOF
Types: deb
# http://snapshot.debian.org/archive/debian/20250520T000000Z
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
# Components: contrib
Components: main
Signed-By: $key

types: deb deb-src
uris: http://deb.debian.org/debian-security
suites: bookworm-security
components: main contrib
EOF
expect deb822 "Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: $key

Types: deb-src
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main contrib"

sample one-line sources.list <<EOF
# deb http://deb.debian.org/debian bookworm contrib
deb [arch=amd64 signed-by=$key] http://deb.debian.org/debian bookworm main non-free # mirror
deb-src http://deb.debian.org/debian bookworm main
deb https://packages.example.com/apt stable main
EOF
expect one-line "Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main non-free
Signed-By: $key"

sample both sources.list <<EOF
deb http://ftp.hr.debian.org/debian bookworm main
EOF
sample both sources.list.d/debian.sources <<EOF
Types: deb
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main
EOF
expect both "Types: deb-src
URIs: http://ftp.hr.debian.org/debian
Suites: bookworm
Components: main

Types: deb-src
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main"

# A disabled stanza, and a key given inline over continuation lines.
sample disabled sources.list.d/debian.sources <<EOF
Types: deb
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Enabled: no

Types: deb
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main
Signed-By:
 -----BEGIN PGP PUBLIC KEY BLOCK-----
 .
 mQINBGPL
 -----END PGP PUBLIC KEY BLOCK-----
EOF
expect disabled "Types: deb-src
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main
Signed-By:
 -----BEGIN PGP PUBLIC KEY BLOCK-----
 .
 mQINBGPL
 -----END PGP PUBLIC KEY BLOCK-----"

sample only-disabled sources.list.d/debian.sources <<EOF
Types: deb
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Enabled: no
EOF
expect only-disabled "no enabled Debian archive entry in $tmp/only-disabled/etc"

mkdir -p "$tmp/none/etc/sources.list.d"
expect none "no enabled Debian archive entry in $tmp/none/etc"

# The whole step on a machine whose apt knows no source: apt-cache finds openssl's source only
# once the entry is written, and apt-get fetches nothing, so the run must end at the fetch of that
# very version.
stubs=$tmp/stubs
mkdir -p "$stubs"
cat >"$stubs/apt-cache" <<EOF
#!/bin/sh
[ -f "$tmp/deb822/etc/sources.list.d/vormetra-debian-src.sources" ] || exit 0
printf 'Package: openssl\nVersion: 3.0.99-1\n\nPackage: openssl\nVersion: 3.0.98-1\n'
EOF
cat >"$stubs/apt-get" <<'EOF'
#!/bin/sh
case "$*" in *source*) echo "E: no such mirror here" >&2; exit 100 ;; esac
exit 0
EOF
chmod +x "$stubs/apt-cache" "$stubs/apt-get"
out=$(PATH=$stubs:$PATH VORMETRA_APT_ETC=$tmp/deb822/etc VORMETRA_CACHE=$tmp/cache \
      bash "$tools/openssl-win.sh" x86_64 2>&1)
rc=$?
entry=$tmp/deb822/etc/sources.list.d/vormetra-debian-src.sources
[ -f "$entry" ] || fail "openssl-win.sh wrote no source entry: $out"
[ $rc -ne 0 ] || fail "openssl-win.sh succeeded without any source"
grep -q 'openssl 3.0.99-1 cannot be fetched: E: no such mirror here' <<<"$out" ||
  fail "openssl-win.sh did not try the newest version apt names: $out"
grep -q 'openssl  cannot' <<<"$out" && fail "openssl-win.sh tried an empty version: $out"

if [ $failures -ne 0 ]; then
  echo "$failures failure(s)"
  exit 1
fi
echo "every apt sample gave the expected source entry"
