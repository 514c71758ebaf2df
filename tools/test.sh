#!/usr/bin/env bash
# Builds and runs the whole test suite: native build with warnings as errors and every test, then
# the Windows cross-build of everything, then the bounded fuzz runs.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh
bash tools/check-seam.sh

jobs=2
cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVP_WERROR=ON
cmake --build build/native -j"$jobs"
ctest --test-dir build/native --output-on-failure -j"$jobs" --timeout 300 | tee build/native/ctest.log
summary=$(grep -E 'tests passed|tests failed' build/native/ctest.log | tail -n 1)

cmake -S . -B build/win32 -G Ninja -DCMAKE_BUILD_TYPE=Release -DVP_WERROR=ON \
      -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake
cmake --build build/win32 -j"$jobs"

if [ -d fuzz ] && [ -f fuzz/CMakeLists.txt ]; then
  bash tools/fuzz.sh
fi

# Forwarding benchmark, smoke only: a few hundred requests through the proxy in both modes, so the
# bench keeps working. No speed is judged here; bench/forward.sh without --smoke makes the table.
BENCH_BUILD_DIR=build/native bash bench/forward.sh --smoke

# Repeat the test result last, so it closes the log.
echo "$summary"
