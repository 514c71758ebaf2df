#!/usr/bin/env bash
# Wine's preloader for the 32-bit Wine of the chroot that tools/wine-wow64.sh makes, for running it
# under qemu-i386 (wine-wow64.sh run32). The preloader is the small static program through which
# Wine starts every process: it keeps the low part of the address space free for Windows programs
# before the loader and its libraries are mapped. Debian ships it apart from wine32, and without it
# qemu puts the loader at 0x400000, where a program whose relocations were stripped (the NSIS
# installer's stub) must be mapped: Wine then stops with "failed to create main module".
#
# It is Debian's own build (wine32-preloader:i386) of exactly the chroot's Wine version, taken
# from the mirror by the chroot's package lists and checked against their SHA-256, and kept in
# the cache beside the chroot, in a folder of its own per Wine version. The chroot itself never
# changes: its recipe stays as it is, and run32 lays the preloader over its /usr/lib/wine.
#
# Usage:
#   tools/wine-preloader.sh make CHROOT   makes it unless it is there; prints its folder
#   tools/wine-preloader.sh path CHROOT   prints its folder when it is made; fails otherwise
set -euo pipefail

mirror=${VORMETRA_DEBIAN_MIRROR:-http://deb.debian.org/debian}
package=wine32-preloader

log() { echo "wine-preloader: $*" >&2; }

folder_of() {
  local version
  version=$(dpkg-query --admindir="$1/var/lib/dpkg" -W -f='${Version}' wine32:i386)
  echo "$(dirname "$1")/wine-preloader/$version"
}

# The Packages stanza of the package at VERSION in the chroot's i386 lists: "FILENAME SHA256".
find_in_lists() {
  awk -v package="$package" -v version="$2" '
    /^$/ { if (p == package && v == version && f != "") { print f, s; exit } p = v = f = s = "" }
    /^Package: / { p = $2 }
    /^Version: / { v = $2 }
    /^Filename: / { f = $2 }
    /^SHA256: / { s = $2 }
  ' "$1"/var/lib/apt/lists/*_binary-i386_Packages
}

make_preloader() {
  local chroot=$1 folder=$2 version found
  version=$(basename "$folder")
  found=$(find_in_lists "$chroot" "$version")
  if [ -z "$found" ]; then
    log "no $package $version in the chroot's package lists"
    exit 1
  fi
  tmp=$(mktemp -d)  # global: the trap reads it at exit
  trap 'rm -rf "$tmp"' EXIT
  curl -fsS --retry 3 -o "$tmp/package.deb" "$mirror/${found% *}"
  echo "${found#* }  $tmp/package.deb" | sha256sum -c --quiet - >&2
  dpkg-deb -x "$tmp/package.deb" "$tmp/unpacked"
  mkdir -p "$folder.new"
  install -m 755 "$tmp/unpacked/usr/lib/wine/wine-preloader.static" "$folder.new/wine-preloader"
  rm -rf "$folder"
  mv "$folder.new" "$folder"
  log "made $folder/wine-preloader"
}

chroot=${2:-}
case "${1:-}" in
  make)
    folder=$(folder_of "$chroot")
    if [ ! -x "$folder/wine-preloader" ]; then
      mkdir -p "$(dirname "$folder")"
      exec 9>"$(dirname "$folder").lock"
      # Another run may be making it: wait, then look again.
      flock 9
      [ -x "$folder/wine-preloader" ] || make_preloader "$chroot" "$folder"
    fi
    echo "$folder"
    ;;
  path)
    folder=$(folder_of "$chroot")
    [ -x "$folder/wine-preloader" ] && echo "$folder"
    ;;
  *)
    echo "usage: $0 make CHROOT | path CHROOT" >&2
    exit 2
    ;;
esac
