#!/usr/bin/env bash
# Installs, from Debian's packages, whatever the build, the tests and the Windows cross-build need
# and the machine lacks. Safe to run again: it asks apt only when something is missing.
set -euo pipefail

packages=(cmake ninja-build g++ make libgtest-dev googletest libssl3 libssl-dev openssl ca-certificates
          g++-mingw-w64-i686-posix clang libclang-rt-14-dev curl python3
          # the x86_64 twin of the Windows build, OpenSSL's source for its DLLs, and the Wine run
          g++-mingw-w64-x86-64-posix dpkg-dev wine64 fonts-wine xvfb xdotool x11-utils imagemagick
          # the Croatian locale Wine runs in (tools/wine-test.sh), made below
          locales
          # the Windows installer and its Authenticode signatures (tools/installer.sh)
          nsis osslsigncode
          # the Debian package (tools/deb.sh) and its checks: lintian, the unit's systemd-analyze
          # verify and the man page's, the trixie chroot its test root lies on and the loopback of
          # its network namespace (tools/deb-test.sh)
          debhelper lintian systemd man-db debootstrap iproute2
          # the tree's format and the scripts' lint (tools/check-style.sh)
          clang-format shellcheck)
i386=false
run_only=false
if [ "${1:-}" = "--run-only" ]; then
  run_only=true
  packages=(cmake ninja-build g++ make libssl3 openssl curl)
elif bash "$(dirname "$0")/probe-32bit.sh" >/dev/null; then
  # This kernel runs 32-bit programs, so the Wine run covers the 32-bit product with wine32.
  packages+=(wine32:i386)
  i386=true
fi
# Where the kernel runs no 32-bit programs, the 32-bit product runs under Wine 10 from a Debian
# trixie chroot that tools/wine-wow64.sh makes with debootstrap (in WoW64 mode, or under qemu-i386
# where the kernel runs no 32-bit code at all). The Debian package's test root lies on it too.

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  if $i386 && ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
  fi
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# Wine runs the Windows programs in hr_HR.UTF-8, so their code page is Windows-1250 as on the
# shop owners' machines; without that locale Wine names windows in a form xdotool cannot find.
if ! $run_only && ! locale -a 2>/dev/null | grep -qix 'hr_HR\.utf-\?8'; then
  echo "Making the locale hr_HR.UTF-8"
  $sudo localedef -i hr_HR -c -f UTF-8 hr_HR.UTF-8 || true
  locale -a | grep -qix 'hr_HR\.utf-\?8' || { echo "deps: cannot make the locale hr_HR.UTF-8" >&2; exit 1; }
fi

# The trixie chroot, made once here, where the network is at hand (the Wine run and the package's
# test may be in a namespace without it): the 32-bit product's Wine where the kernel runs no
# 32-bit programs, and everywhere the Debian package's test root.
if ! $run_only; then
  bash "$(dirname "$0")/wine-wow64.sh" make >/dev/null
fi
