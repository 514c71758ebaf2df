#!/usr/bin/env bash
# Builds the proxy and serves it in the foreground on port 8449 until Ctrl+C.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh --run-only
cmake -S . -B build/run -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVP_BUILD_TESTS=OFF
cmake --build build/run -j2
# The HTTPS modes read their certificates from the program's folder; each machine makes its own.
for f in fakeFinaCA.crt fakeFinaTest.crt fakeFinaTest.key fakeFina.crt fakeFina.key; do
  if [ ! -f "build/run/$f" ]; then
    bash tools/certs.sh build/run
    break
  fi
done
exec build/run/vormetra-proxy /serve
