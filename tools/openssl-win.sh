#!/usr/bin/env bash
# Builds OpenSSL 3's two DLLs for Windows from the source of Debian's own `openssl` package, with
# the MinGW-w64 cross compiler, and prints the folder that holds them.
#
#   i686     libssl-3.dll      libcrypto-3.dll       (the product's 32-bit build)
#   x86_64   libssl-3-x64.dll  libcrypto-3-x64.dll   (the twin that runs under 64-bit Wine)
#
# What the build enables beyond OpenSSL's defaults, for the tills of the Windows XP era that speak
# TLS 1.0 with nothing but RC4 or 3DES:
#   enable-weak-ssl-ciphers  compiles the RC4 and 3DES suites (RC4-SHA, RC4-MD5, DES-CBC3-SHA)
#                            into libssl; without it the listener's cipher list names suites the
#                            library does not have. Which side offers them is the program's
#                            choice: only the listener's context loads the RC4 cipher.
#   no-module                builds the legacy provider (where OpenSSL 3 keeps RC4) into libcrypto
#                            instead of a legacy.dll that would be looked for by path at run time
#                            (a compiled-in folder, or whatever OPENSSL_MODULES names); it also
#                            leaves out loadable engines. Nothing is loaded from disk but the two
#                            DLLs beside the program.
#
# The result is cached by the source package's version and a digest of the configuration outside
# the checkout, in $VORMETRA_CACHE/openssl/<version>/<digest>/<arch> (VORMETRA_CACHE defaults to
# /var/cache/vormetra when it is writable, else to $XDG_CACHE_HOME/vormetra), so a machine builds
# each version once per configuration, and DLLs built with other options are never taken for
# these. The source comes through apt: the script adds a deb-src entry for the Debian archive the
# machine already uses when there is none.
#
# Usage: tools/openssl-win.sh i686|x86_64     (progress on stderr, the folder on stdout)
set -euo pipefail

arch=${1:-}
case "$arch" in
  i686) target=mingw suffix="" ;;
  x86_64) target=mingw64 suffix="-x64" ;;
  *)
    echo "usage: $0 i686|x86_64" >&2
    exit 2
    ;;
esac
cross=$arch-w64-mingw32-
ssl_dll=libssl-3$suffix.dll
crypto_dll=libcrypto-3$suffix.dll

log() { echo "openssl-win: $*" >&2; }

cache_root() {
  if [ -n "${VORMETRA_CACHE:-}" ]; then
    echo "$VORMETRA_CACHE"
  elif mkdir -p /var/cache/vormetra 2>/dev/null && [ -w /var/cache/vormetra ]; then
    echo /var/cache/vormetra
  else
    echo "${XDG_CACHE_HOME:-$HOME/.cache}/vormetra"
  fi
}

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
# VORMETRA_APT_ETC names another apt configuration folder (for the script's own test).
apt_etc=${VORMETRA_APT_ETC:-/etc/apt}
src_list=$apt_etc/sources.list.d/vormetra-debian-src.sources
tools=$(cd "$(dirname "$0")" && pwd)

# The deb-src twin of every Debian archive entry, so the source comes from the same mirror and
# suites as the machine's binary packages.
write_source_entry() {
  local entries
  entries=$(bash "$tools/apt-source-entry.sh" "$apt_etc" "$src_list") || {
    log "cannot fetch the openssl source: no Debian archive is configured in $apt_etc"
    exit 1
  }
  log "adding the Debian source entry $src_list"
  printf '%s\n' "$entries" | $sudo tee "$src_list" >/dev/null
}

apt_update() {
  local _
  for _ in 1 2 3 4 5 6; do
    $sudo apt-get -o DPkg::Lock::Timeout=300 update -qq && return 0
    log "apt-get update failed (another apt may hold the lock); retrying"
    sleep 20
  done
  return 1
}

# Every source version of openssl that the local lists know, newest first.
source_versions() {
  local versions=() v i j
  mapfile -t versions < <(apt-cache showsrc openssl 2>/dev/null |
    awk '/^Package:/ { p = ($2 == "openssl") } p && /^Version:/ { print $2 }' | sort -u)
  for ((i = 1; i < ${#versions[@]}; i++)); do
    v=${versions[i]}
    for ((j = i; j > 0; j--)); do
      dpkg --compare-versions "${versions[j - 1]}" ge "$v" && break
      versions[j]=${versions[j - 1]}
    done
    versions[j]=$v
  done
  # An empty list prints nothing, not one empty line that would read as a version.
  [ ${#versions[@]} -eq 0 ] || printf '%s\n' "${versions[@]}"
}

mapfile -t versions < <(source_versions)
if [ ${#versions[@]} -eq 0 ]; then
  [ -f "$src_list" ] || write_source_entry
  apt_update
  mapfile -t versions < <(source_versions)
fi
if [ ${#versions[@]} -eq 0 ]; then
  log "apt knows no source of the openssl package"
  exit 1
fi

root=$(cache_root)
mkdir -p "$root/openssl"

out_dir() { echo "$root/openssl/$1/$config_digest/$arch"; }
cached() { [ -f "$(out_dir "$1")/$ssl_dll" ] && [ -f "$(out_dir "$1")/$crypto_dll" ]; }

# Fetches and unpacks the source of one version into the current folder.
fetch() {
  # apt's sandbox user must be able to write here, or apt warns and fetches as root anyway.
  chmod 755 .
  apt-get source -qq openssl="$1" >/dev/null 2>fetch.log
}

# Builds the DLLs of the unpacked source into $1.
build() {
  local out=$1 srcdir dll imports foreign names suite
  srcdir=$(find . -mindepth 1 -maxdepth 1 -type d -name 'openssl-*' | head -n 1)
  (
    cd "$srcdir" || exit 1
    # Debian's patches stay (its security fixes among them), but one: pic.patch makes the 32-bit
    # x86 assembly position-independent through the ELF global offset table, which a Windows
    # object file cannot express (a DLL is relocated instead).
    if [ -f debian/patches/pic.patch ]; then
      patch -R -p1 -s <debian/patches/pic.patch || { echo "cannot revert pic.patch" >&2; exit 1; }
    fi
    ./Configure "${configure_args[@]}" >../configure.log 2>&1 ||
      { tail -n 40 ../configure.log >&2; exit 1; }
    nice -n 5 make -j2 build_libs >../make.log 2>&1 || { tail -n 40 ../make.log >&2; exit 1; }
  ) || return 1
  # Nothing but Windows' own DLLs (and libcrypto beside libssl) may be needed at run time.
  for dll in "$ssl_dll" "$crypto_dll"; do
    imports=$("${cross}objdump" -p "$srcdir/$dll" | sed -n 's/^\s*DLL Name: //p')
    foreign=$(echo "$imports" | grep -viE "^($system_dlls)\.dll\$" | grep -vx "$crypto_dll" || true)
    if [ -n "$foreign" ]; then
      log "$dll needs DLLs that Windows does not have: $(tr '\n' ' ' <<<"$foreign")"
      return 1
    fi
  done
  # The suites the listener's cipher list names must be in libssl, by their OpenSSL names.
  names=$("${cross}strings" -a "$srcdir/$ssl_dll")
  for suite in RC4-SHA RC4-MD5 DES-CBC3-SHA; do
    if ! grep -qxF -- "$suite" <<<"$names"; then
      log "$ssl_dll was built without $suite"
      return 1
    fi
  done
  mkdir -p "$out.tmp"
  for dll in "$ssl_dll" "$crypto_dll"; do
    "${cross}strip" --strip-unneeded -o "$out.tmp/$dll" "$srcdir/$dll"
  done
  cp "$srcdir/LICENSE.txt" "$out.tmp/"
  rm -rf "$out"
  mv "$out.tmp" "$out"
}
windows_prefix="C:/Program Files/Vormetra Proxy/OpenSSL"
system_dlls="kernel32|advapi32|user32|ws2_32|crypt32|msvcrt|bcrypt|gdi32"
# The DLLs must load on a bare Windows: the C runtime is msvcrt, libgcc goes in statically. The
# library reads its configuration file (and would look for engines and modules) in folders
# compiled in; left at /usr/local they would be C:\usr\local, a folder any user may create, so they
# point into Program Files, which only administrators can write.
configure_args=("$target" shared no-tests enable-weak-ssl-ciphers no-module
  --cross-compile-prefix="$cross" CC=gcc-posix LDFLAGS="-static-libgcc"
  --prefix="$windows_prefix" --openssldir=ssl)

# The cache key: the configure arguments and the build steps as bash reads them (comments left
# out), so that a change to either builds anew instead of taking DLLs made another way.
config_digest=$({
  printf '%s\n' "${configure_args[@]}"
  declare -f build
} | sha256sum | cut -c1-12)

# One build at a time per cache: another worktree's run may be building the same DLLs.
exec 9>"$root/openssl/.lock"
flock -w 1800 9

# The newest version that is cached or can still be fetched: a mirror may list a security
# update's source before it carries the files. Prints the folder; fails when none could be had.
work=""
trap '[ -z "$work" ] || rm -rf "$work"' EXIT
trap 'exit 1' INT TERM

cached_or_built() {
  local version out
  for version in "${versions[@]}"; do
    out=$(out_dir "$version")
    if cached "$version"; then
      log "using the cached OpenSSL $version for $arch"
      echo "$out"
      return 0
    fi
    work=$(mktemp -d "$root/openssl/build.XXXXXX")
    cd "$work"
    if ! fetch "$version"; then
      log "the source of openssl $version cannot be fetched: $(grep -m1 '^E:' fetch.log || true)"
      cd / && rm -rf "$work" && work=""
      continue
    fi
    log "building OpenSSL $version for $arch (a few minutes, once per version and configuration)"
    build "$out" || return 2
    cd / && rm -rf "$work" && work=""
    log "OpenSSL $version for $arch is in $out"
    echo "$out"
    return 0
  done
  return 1
}

rc=0
cached_or_built || rc=$?
if [ $rc -eq 1 ]; then
  # Old lists may name files the archive has dropped since.
  apt_update
  mapfile -t versions < <(source_versions)
  rc=0
  cached_or_built || rc=$?
fi
[ $rc -eq 0 ] || log "no Windows build of OpenSSL could be made"
exit $rc
