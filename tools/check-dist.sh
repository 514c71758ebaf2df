#!/usr/bin/env bash
# Checks a Windows build's dist/ folder: VormetraProxy.exe, certs.bat and the two OpenSSL DLLs, and
# nothing that they import beyond Windows' own DLLs and each other (no compiler runtime DLLs). The
# installer that tools/installer.sh later puts beside them (VormetraProxy-Setup-*.exe) is not
# looked at here.
#
# Usage: tools/check-dist.sh BUILD_DIR ARCH     (ARCH: i686 or x86_64)
set -euo pipefail
dist=$1/dist
objdump=$2-w64-mingw32-objdump
suffix=""
[ "$2" = x86_64 ] && suffix="-x64"
expected="VormetraProxy.exe certs.bat libcrypto-3$suffix.dll libssl-3$suffix.dll"
binaries="VormetraProxy.exe libcrypto-3$suffix.dll libssl-3$suffix.dll"
system='advapi32|bcrypt|crypt32|gdi32|kernel32|msvcrt|shell32|user32|ws2_32'

found=$(find "$dist" -mindepth 1 -maxdepth 1 ! -name 'VormetraProxy-Setup-*.exe' -printf '%f\n' | sort | tr '\n' ' ' | sed 's/ $//')
if [ "$found" != "$(echo "$expected" | tr ' ' '\n' | sort | tr '\n' ' ' | sed 's/ $//')" ]; then
  echo "check-dist: $dist holds [$found], expected [$expected]"
  exit 1
fi
for file in $binaries; do
  foreign=$("$objdump" -p "$dist/$file" | sed -n 's/^\s*DLL Name: //p' |
    grep -viE "^($system)\.dll$" | grep -vxF -e "libcrypto-3$suffix.dll" || true)
  if [ -n "$foreign" ]; then
    echo "check-dist: $file needs DLLs that Windows does not have: $(tr '\n' ' ' <<<"$foreign")"
    exit 1
  fi
done
echo "check-dist: $dist holds $expected, needing only Windows' own DLLs"
