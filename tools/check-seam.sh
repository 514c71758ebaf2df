#!/usr/bin/env bash
# The operating system is known only behind the platform seam and in the two front ends of the
# windows: no OS header and no _WIN32 test anywhere else in the product or its tests, and
# <windows.h> (with Winsock) only through platform/win32/win32_api.h.
set -euo pipefail
cd "$(dirname "$0")/.."
pattern='#\s*if(def|ndef)?\s*.*_WIN32|#\s*include\s*<(windows|winsock2|ws2tcpip|unistd|sys/[a-z_]+|netinet/[a-z_]+|arpa/inet|dlfcn|pthread|poll|fcntl|netdb|signal)\.h>'
hits=$(grep -rnE "$pattern" src tests bench fuzz 2>/dev/null |
  grep -vE '^src/(platform|ui/win32|ui/terminal)/' || true)
if [ -n "$hits" ]; then
  echo "OS specifics outside src/platform, src/ui/win32 and src/ui/terminal:"
  echo "$hits"
  exit 1
fi
# The resource script is read by the resource compiler, not the C++ compiler, and needs windows.h
# for its own constants.
hits=$(grep -rnE '#\s*include\s*<(windows|winsock2|ws2tcpip)\.h>' src |
  grep -vE '^src/platform/win32/win32_api\.h:|^src/ui/win32/VormetraProxy\.rc:' || true)
if [ -n "$hits" ]; then
  echo "windows.h and Winsock are included only through src/platform/win32/win32_api.h:"
  echo "$hits"
  exit 1
fi
