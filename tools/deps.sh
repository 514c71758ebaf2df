#!/usr/bin/env bash
# Installs, from Debian's packages, whatever the build, the tests and the Windows cross-build need
# and the machine lacks. Safe to run again: it asks apt only when something is missing.
set -euo pipefail

packages=(cmake ninja-build g++ make libgtest-dev googletest libssl3 libssl-dev openssl ca-certificates
          g++-mingw-w64-i686-posix clang libclang-rt-14-dev curl python3
          # the x86_64 twin of the Windows build, OpenSSL's source for its DLLs, and the Wine run
          g++-mingw-w64-x86-64-posix dpkg-dev wine64 xvfb xdotool x11-utils imagemagick)
i386=false
if [ "${1:-}" = "--run-only" ]; then
  packages=(cmake ninja-build g++ make libssl3 openssl curl)
elif bash "$(dirname "$0")/probe-32bit.sh" >/dev/null; then
  # This kernel runs 32-bit programs, so the Wine run covers the 32-bit product too.
  packages+=(wine32:i386)
  i386=true
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}"
if $i386 && ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
