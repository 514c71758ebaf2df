#!/usr/bin/env bash
# Leak check per request. Builds the tests and the program with clang's address sanitizer (its
# leak checker included), then:
#   - runs the forwarding, fault, slow-client and stop tests over and over (LEAK_REPEAT times, 20
#     by default): whatever a request, a fault or a stop leaves behind adds up to a leak report
#     when the test program ends;
#   - runs the short soak (bench/soak.sh --short, a few thousand requests in mode 2) against the
#     instrumented program, and ends it with SIGTERM: its own report, if any, is kept and shown.
# Fails on any report.
#
#   bash tools/leaks.sh
set -euo pipefail
cd "$(dirname "$0")/.."
repeat=${LEAK_REPEAT:-20}
bash tools/deps.sh
CC=clang CXX=clang++ cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVP_WERROR=ON -DCMAKE_CXX_FLAGS="-fsanitize=address -fno-omit-frame-pointer" \
  -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=address -DCMAKE_SHARED_LINKER_FLAGS=-fsanitize=address \
  >/dev/null
cmake --build build/asan -j2 --target vp_io_tests vp_tls_tests vp_http_tests vp_proxy_tests \
  vormetra-proxy
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:halt_on_error=1
# A leak report makes the test program exit non-zero after the tests have passed.
run() {
  local binary=$1 filter=$2
  echo "== $binary, $filter, $repeat times"
  "build/asan/tests/$binary" --gtest_filter="$filter" --gtest_repeat="$repeat" \
    --gtest_brief=1 2>&1 | tail -n 5
}
run vp_proxy_tests 'UpstreamFault*:Forwarding*:*TlsModeEndToEnd*:ProxyServerLifecycle*:ProxyRouting*'
run vp_http_tests 'SlowClient*:HttpClient*:HttpServerTest*'
run vp_io_tests 'Watchdog*'
run vp_tls_tests 'SslClient*:SslServer*'

echo "== the program under the short soak"
reports=$(mktemp -d -t vp-leaks.XXXXXX)
trap 'rm -rf "$reports"' EXIT
# Resident memory says nothing here: the sanitizer keeps freed blocks in quarantine (up to 256 MB)
# and adds its shadow memory, so the soak's own flatness check is left to the plain build.
ASAN_OPTIONS=$ASAN_OPTIONS:log_path=$reports/asan BENCH_BUILD_DIR=build/asan \
  SOAK_RSS_SLACK_KB=10000000 bash bench/soak.sh --short
if compgen -G "$reports/asan.*" >/dev/null; then
  cat "$reports"/asan.*
  echo "leaks.sh: a sanitizer report (above)" >&2
  exit 1
fi
echo "No leaks."
