#!/usr/bin/env bash
# Builds and runs the whole test suite: native build with warnings as errors and every test; the
# Debian package and its test root; the two Windows cross-builds (i686, the product, and its x86_64 twin) with OpenSSL DLLs built from
# Debian's source; the Windows test run under Wine; then the bounded fuzz runs.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh
bash tools/check-seam.sh
bash tools/check-style.sh

jobs=2
cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVP_WERROR=ON
cmake --build build/native -j"$jobs"
ctest --test-dir build/native --output-on-failure -j"$jobs" --timeout 300 | tee build/native/ctest.log
summary=$(grep -E 'tests passed|tests failed' build/native/ctest.log | tail -n 1)

# The Debian package, from a Release build of its own, lintian clean; then installed, run as its
# unit runs it, removed and purged in a test root that is not this machine's.
bash tools/deb.sh
bash tools/deb-test.sh build/deb/vormetra-proxy_*_amd64.deb

# build/win32 and build/win64 each end with dist/: VormetraProxy.exe, the DLLs it loads and
# certs.bat, then the signed installer of what is in it.
for arch in i686 x86_64; do
  build=build/win32
  [ "$arch" = x86_64 ] && build=build/win64
  dlls=$(bash tools/openssl-win.sh "$arch")
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVP_WERROR=ON \
        -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-$arch.cmake" -DVP_OPENSSL_DLL_DIR="$dlls"
  cmake --build "$build" -j"$jobs"
  bash tools/check-dist.sh "$build" "$arch"
  bash tools/installer.sh "$build" "$arch"
done
bash tools/wine-test.sh build/native | tee build/wine-test.log
wine_summary=$(tail -n 1 build/wine-test.log)

if [ -d fuzz ] && [ -f fuzz/CMakeLists.txt ]; then
  bash tools/fuzz.sh
fi

# Forwarding benchmark, smoke only: a few hundred requests through the proxy in both modes, so the
# bench keeps working. No speed is judged here; bench/forward.sh without --smoke makes the table.
BENCH_BUILD_DIR=build/native bash bench/forward.sh --smoke
# Soak, short: a few thousand forwards in mode 2; fails when the proxy's memory or threads have
# not come back to where they were after its warm-up. bench/soak.sh alone runs the full 100 000.
BENCH_BUILD_DIR=build/native bash bench/soak.sh --short

# Repeat the test results last, so they close the log.
echo "$wine_summary"
echo "$summary"
