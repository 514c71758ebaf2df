# shellcheck shell=bash disable=SC2034,SC2154
# (the scripts that source this set build and root, and use client and hostile.)
# Shared by bench/soak.sh and bench/hostile.sh (sourced, not run): the processes a run starts and
# their clean-up, the build of the proxy and the bench tools, the local HTTPS upstream, and the
# proxy itself started from a folder of its own with a settings file of the run's own. Everything
# lives in a temp dir and on 127.0.0.1; only processes the run started are ever stopped, by pid.
#
# Expects: root (the repository), build (the build folder, relative to root). Sets: work.

proxy_port=8449
host_name=cistest.apis-it.hr
# How long a server may take to start listening, in tenths of a second.
start_wait=100

pids=()
work=$(mktemp -d -t vp-bench.XXXXXX)
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

forget_pid() {
  local keep=() pid
  for pid in "${pids[@]}"; do [ "$pid" = "$1" ] || keep+=("$pid"); done
  pids=("${keep[@]}")
}

# stop_pid PID [SIGNAL]: a polite signal (INT unless named), a bounded wait, then KILL.
stop_pid() {
  local pid=$1 i
  kill -"${2:-INT}" "$pid" 2>/dev/null || true
  for i in $(seq 1 50); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -KILL "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  forget_pid "$pid"
}

listening() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

wait_listening() {
  local port=$1 pid=$2 what=$3 i
  for i in $(seq 1 $start_wait); do
    listening "$port" && return 0
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  echo "$(basename "$0"): $what did not start listening on port $port" >&2
  return 1
}

# Resident memory in kB, and the number of threads, of a process.
rss_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status"; }
threads_of() { awk '/^Threads:/ { print $2 }' "/proc/$1/status"; }

# Milliseconds since the epoch.
now_ms() { date +%s%3N; }

# Whether a child process still runs (an ended one stays a zombie until it is waited for).
running() {
  local state
  state=$(awk '{ print $3 }' "/proc/$1/stat" 2>/dev/null) && [ -n "$state" ] && [ "$state" != Z ]
}

# build_tools TARGET...: the proxy and the named bench tools, in the bench's own build folder.
build_tools() {
  bash tools/deps.sh
  if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVP_BUILD_TESTS=OFF \
      >/dev/null
  fi
  cmake --build "$build" -j2 --target vormetra-proxy "$@"
  client=$root/$build/bench/vp-bench-client
  hostile=$root/$build/bench/vp-bench-hostile
}

# fetch_nginx: nginx from Debian's package, unpacked into the build folder rather than installed,
# so that no nginx service is ever set up or started. Sets nginx.
fetch_nginx() {
  if [ -x /usr/sbin/nginx ]; then
    nginx=/usr/sbin/nginx
    return
  fi
  local unpacked=$root/$build/nginx-deb
  if [ ! -x "$unpacked/usr/sbin/nginx" ]; then
    mkdir -p "$unpacked"
    (
      cd "$work" || exit 1
      apt-get download nginx >/dev/null 2>&1 || { apt-get update -qq && apt-get download nginx; }
    )
    dpkg-deb -x "$work"/nginx_*.deb "$unpacked"
  fi
  nginx=$unpacked/usr/sbin/nginx
}

# The program in a folder of its own with a fresh certificate set, and its settings folder.
prepare_proxy() {
  if listening $proxy_port; then
    echo "$(basename "$0"): port $proxy_port is taken; the proxy needs it (is a proxy running?)" >&2
    exit 1
  fi
  mkdir -p "$work/proxy" "$work/appdata/VormetraProxy"
  bash tools/certs.sh "$work/proxy" >/dev/null
  cp "$build/vormetra-proxy" "$work/proxy/vormetra-proxy"
}

# start_upstream: the local HTTPS stand-in for the authority (with upstream_reuse=1, one that
# resumes sessions and keeps connections, as real servers do); sets upstream_pid, upstream_port.
start_upstream() {
  "$root/$build/bench/vp-bench-upstream" --cert "$work/proxy/fakeFina.crt" \
    --key "$work/proxy/fakeFina.key" --threads 64 --offer-reuse "${upstream_reuse:-0}" \
    >"$work/upstream.out" 2>&1 &
  upstream_pid=$!
  pids+=("$upstream_pid")
  local i
  for i in $(seq 1 $start_wait); do
    grep -q '^port ' "$work/upstream.out" 2>/dev/null && break
    sleep 0.1
  done
  upstream_port=$(awk '/^port / { print $2 }' "$work/upstream.out")
  [ -n "$upstream_port" ] || { echo "$(basename "$0"): the upstream did not start" >&2; exit 1; }
  wait_listening "$upstream_port" "$upstream_pid" "the upstream"
}

# start_proxy MODE [URL]: the proxy serving in MODE; mode 1 posts to URL (the local upstream by
# default), modes 2 and 3 to the local upstream by address. Sets proxy_pid.
start_proxy() {
  local mode=$1 url=${2:-https://127.0.0.1:$upstream_port/FiskalizacijaServiceTest}
  [ "$mode" = 1 ] || url=https://$host_name:8449/FiskalizacijaServiceTest
  cat >"$work/appdata/VormetraProxy/Settings.ini" <<JSON
{
  "Mode":$mode,
  "Active":true,
  "URLTest":"${url//\//\\/}",
  "IPTest":"127.0.0.1:$upstream_port",
  "CallDNS":false
}
JSON
  VORMETRA_COMMON_APPDATA=$work/appdata "$work/proxy/vormetra-proxy" /serve \
    >>"$work/proxy.log" 2>&1 &
  proxy_pid=$!
  pids+=("$proxy_pid")
  wait_listening $proxy_port $proxy_pid "the proxy (mode $mode)"
}

# stop_proxy_timed: SIGTERM, and the milliseconds until the process has ended, into stop_ms.
stop_proxy_timed() {
  local started _
  started=$(now_ms)
  kill -TERM "$proxy_pid"
  for _ in $(seq 1 1000); do
    running "$proxy_pid" || break
    sleep 0.01
  done
  stop_ms=$(($(now_ms) - started))
  running "$proxy_pid" && stop_ms=">$stop_ms"
  stop_pid "$proxy_pid"
}
