#!/usr/bin/env bash
# Latency over a wide-area network: what a till waits for one receipt when the authority is a
# round trip of 20 ms away, through each forwarder, all on 127.0.0.1.
#
# The road: the till (the bench's load client) posts the ~3 KB SOAP document to a forwarder on
# this machine; the forwarder reaches the upstream through the bench's delay relay, which holds
# every byte 10 ms each way (and a connection's first bytes one round trip more, for TCP's own
# handshake). The upstream, like real servers, speaks TLS 1.2, resumes sessions (tickets and its
# cache) and keeps connections open when asked.
#
#   bash bench/wan.sh
#
# Prints one table: the median per receipt, in ms and in round trips, for the till straight to
# the upstream (a full handshake every time), nginx with a plain front and each of its upstream
# policies (a new connection each time; its default session reuse; a keep-alive pool), and this
# proxy in mode 1 (plain front) and mode 2 (TLS 1.0 front); receipts back to back and after a
# pause longer than the forwarders keep an idle connection, at 1 and at 8 tills.
#
# Knobs: WAN_DELAY_MS (10, each way), WAN_LEVELS ("1 8"), WAN_REQUESTS (40 receipts per till back
# to back), WAN_PAUSE_MS (5000), WAN_PAUSED (3 receipts per till after a pause),
# BENCH_BUILD_DIR (build/bench). The proxy listens on its own port 8449, which must be free.
# nginx is unpacked from Debian's package into the build folder, never installed or started as a
# service; every configuration, log and pid file lives in a temp dir; the script stops exactly
# the processes it started, by pid.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

build=${BENCH_BUILD_DIR:-build/bench}
delay=${WAN_DELAY_MS:-10}
levels=${WAN_LEVELS:-"1 8"}
requests=${WAN_REQUESTS:-40}
pause=${WAN_PAUSE_MS:-5000}
paused=${WAN_PAUSED:-3}
path=/FiskalizacijaServiceTest

source bench/lib.sh

build_tools vp-bench-client vp-bench-upstream vp-bench-relay
fetch_nginx
prepare_proxy

upstream_reuse=1
start_upstream
"$root/$build/bench/vp-bench-relay" --to "$upstream_port" --delay-ms "$delay" \
  >"$work/relay.out" 2>&1 &
relay_pid=$!
pids+=("$relay_pid")
for _ in $(seq 1 $start_wait); do
  grep -q '^port ' "$work/relay.out" 2>/dev/null && break
  sleep 0.1
done
relay_port=$(awk '/^port / { print $2 }' "$work/relay.out")
[ -n "$relay_port" ] || { echo "wan.sh: the relay did not start" >&2; exit 1; }
wait_listening "$relay_port" "$relay_pid" "the relay"
# Everything below reaches the upstream through the relay only.
upstream_port=$relay_port

# nginx: one plain front per upstream policy.
next_port=$((20000 + RANDOM % 10000))
free_port() {
  while listening $next_port; do next_port=$((next_port + 1)); done
  printf -v "$1" '%s' $next_port
  next_port=$((next_port + 1))
}
nginx_new_port="" nginx_reuse_port="" nginx_pool_port=""  # set by free_port
free_port nginx_new_port
free_port nginx_reuse_port
free_port nginx_pool_port
mkdir -p "$work/nginx"
user_line=""
[ "$(id -u)" -eq 0 ] && user_line="user root root;"
cat >"$work/nginx/nginx.conf" <<CONF
$user_line
worker_processes auto;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log warn;
events { worker_connections 4096; }
http {
  access_log off;
  client_body_temp_path $work/nginx/body;
  proxy_temp_path $work/nginx/proxy;
  fastcgi_temp_path $work/nginx/fastcgi;
  uwsgi_temp_path $work/nginx/uwsgi;
  scgi_temp_path $work/nginx/scgi;
  proxy_set_header Host $host_name;
  upstream wan_pool {
    server 127.0.0.1:$relay_port;
    keepalive 16;
  }
  server {
    listen 127.0.0.1:$nginx_new_port;
    location = $path {
      proxy_pass https://127.0.0.1:$relay_port;
      proxy_ssl_session_reuse off;
    }
  }
  server {
    listen 127.0.0.1:$nginx_reuse_port;
    location = $path { proxy_pass https://127.0.0.1:$relay_port; }
  }
  server {
    listen 127.0.0.1:$nginx_pool_port;
    location = $path {
      proxy_pass https://wan_pool;
      proxy_http_version 1.1;
      proxy_set_header Connection "";
      proxy_set_header Host $host_name;
    }
  }
}
CONF
"$nginx" -p "$work/nginx" -c "$work/nginx/nginx.conf" -e "$work/nginx/error.log" \
  -g 'daemon off; master_process on;' &
nginx_pid=$!
pids+=("$nginx_pid")
for port in $nginx_new_port $nginx_reuse_port $nginx_pool_port; do
  wait_listening "$port" $nginx_pid nginx
done

failed=0
results=$work/results
: >"$results"

# run CASE TRANSPORT PORT LEVEL KIND: one measured run after a short warm-up; KIND is "b2b"
# (receipts back to back) or "pause" (each after a pause); appends "case|level|kind|p50".
run() {
  local name=$1 transport=$2 port=$3 level=$4 kind=$5 line
  local args=(--port "$port" --transport "$transport" --concurrency "$level" --seconds 600)
  "$client" --port "$port" --transport "$transport" --concurrency "$level" --requests "$level" \
    --seconds 30 >/dev/null 2>&1 || true
  if [ "$kind" = pause ]; then
    args+=(--requests $((paused * level)) --pause-ms "$pause")
  else
    args+=(--requests $((requests * level)))
  fi
  line=$("$client" "${args[@]}") || line="rps=0 p50_ms=0 p99_ms=0 good=0 bad=1 seconds=0"
  printf '  %-34s C=%-2s %-5s %s\n' "$name" "$level" "$kind" "$line"
  case "$line" in *" bad=0 "*) ;; *) failed=1 ;; esac
  echo "$name|$level|$kind|$(sed -n 's/.*p50_ms=\([0-9.]*\).*/\1/p' <<<"$line")" >>"$results"
}

echo "WAN benchmark: $delay ms each way, levels $levels, $requests receipts per till back to" \
  "back, $paused after ${pause} ms pauses"
for level in $levels; do
  for kind in b2b pause; do
    run "till straight to the upstream" tls1.2 "$relay_port" "$level" $kind
    run "nginx, new upstream connection" plain "$nginx_new_port" "$level" $kind
    run "nginx, its default session reuse" plain "$nginx_reuse_port" "$level" $kind
    run "nginx, upstream keep-alive pool" plain "$nginx_pool_port" "$level" $kind
    start_proxy 1 "https://127.0.0.1:$relay_port$path"
    run "this proxy, mode 1" plain $proxy_port "$level" $kind
    stop_pid "$proxy_pid"
    start_proxy 2
    run "this proxy, mode 2" tls1.0 $proxy_port "$level" $kind
    stop_pid "$proxy_pid"
  done
done

echo
echo "Median per receipt in ms, and in round trips of $((2 * delay)) ms; \"after a pause\": each"
echo "receipt $pause ms after the till's last answer."
echo
awk -F'|' -v levels="$levels" -v rtt=$((2 * delay)) '
  { if (!($1 in seen)) { seen[$1] = 1; order[++count] = $1 } p50[$1, $2, $3] = $4 }
  END {
    nl = split(levels, level, " ")
    header = "| case |"; rule = "|---|"
    for (i = 1; i <= nl; i++) {
      header = header " C=" level[i] ", back to back | C=" level[i] ", after a pause |"
      rule = rule "---|---|"
    }
    print header; print rule
    for (c = 1; c <= count; c++) {
      row = "| " order[c] " |"
      for (i = 1; i <= nl; i++)
        for (k = 1; k <= 2; k++) {
          v = p50[order[c], level[i], k == 1 ? "b2b" : "pause"]
          row = row sprintf(" %.0f ms, %.1f |", v, v / rtt)
        }
      print row
    }
  }' "$results"
echo "Load: $(cut -d' ' -f1-3 /proc/loadavg) (1, 5, 15 min)"

if [ $failed -ne 0 ]; then
  echo "wan.sh: some requests failed (see bad above)" >&2
  exit 1
fi
