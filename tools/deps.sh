#!/usr/bin/env bash
# Installs, from Debian's packages, whatever the build, the tests and the Windows cross-build need
# and the machine lacks. Safe to run again: it asks apt only when something is missing.
set -euo pipefail

packages=(cmake ninja-build g++ make libgtest-dev googletest libssl3 libssl-dev openssl ca-certificates
          g++-mingw-w64-i686-posix clang libclang-rt-14-dev curl python3)
if [ "${1:-}" = "--run-only" ]; then
  packages=(cmake ninja-build g++ make libssl3 openssl curl)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
