#!/usr/bin/env bash
# Builds every libFuzzer target with clang and runs each for a bounded time (FUZZ_SECONDS, default
# 45) from its seed corpus in fuzz/corpus/<Name>. A crash fails the run and leaves the input in
# build/fuzz/findings/<Name>.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-45}
CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVP_FUZZ=ON -DVP_BUILD_TESTS=OFF -DVP_WERROR=ON >/dev/null
cmake --build build/fuzz -j2
shopt -s nullglob
for fuzzer in build/fuzz/fuzzers/*; do
  name=$(basename "$fuzzer")
  work="build/fuzz/corpus/$name"
  findings="build/fuzz/findings/$name"
  mkdir -p "$work" "$findings"
  if [ -d "fuzz/corpus/$name" ]; then cp -n fuzz/corpus/"$name"/* "$work"/ 2>/dev/null || true; fi
  echo "== $name for ${seconds}s"
  "$fuzzer" -max_total_time="$seconds" -rss_limit_mb=2048 -max_len=65536 \
    -artifact_prefix="$findings/" -print_final_stats=1 "$work" 2>&1 | tail -n 12
done
