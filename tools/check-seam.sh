#!/usr/bin/env bash
# The platform seam stays the only place that knows the OS: no OS header and no _WIN32 test
# anywhere else in the product or its tests.
set -euo pipefail
cd "$(dirname "$0")/.."
pattern='#\s*if(def|ndef)?\s*.*_WIN32|#\s*include\s*<(windows|winsock2|ws2tcpip|unistd|sys/[a-z_]+|netinet/[a-z_]+|arpa/inet|dlfcn|pthread|poll|fcntl|netdb|signal)\.h>'
hits=$(grep -rnE "$pattern" src tests bench fuzz 2>/dev/null | grep -v '^src/platform/' || true)
if [ -n "$hits" ]; then
  echo "OS specifics outside src/platform:"
  echo "$hits"
  exit 1
fi
