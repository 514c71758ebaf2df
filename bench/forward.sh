#!/usr/bin/env bash
# Forwarding benchmark: what one forwarded request costs, against nginx and stunnel doing the same
# job on this machine, all in one run and all on 127.0.0.1.
#
# The job: a till posts a ~3 KB SOAP document on a new connection, over TLS 1.0 (mode 2) or plain
# HTTP (mode 1); the forwarder opens a new TLS 1.2 connection to the authority (here a local
# upstream that refuses session resumption) and hands the ~2 KB answer back. Each case runs at
# every concurrency level; rps is shown as a ratio to a direct TLS 1.2 call at the same level.
#
#   bash bench/forward.sh            the full table: direct call, nginx (TLS 1.0 and plain front),
#                                    stunnel (TLS 1.0 front), this proxy in modes 2 and 1
#   bash bench/forward.sh --smoke    a few hundred requests through the direct call and both
#                                    proxy modes, to keep the bench working (no nginx, no stunnel)
#
# Knobs: BENCH_LEVELS ("1 8 64"), BENCH_SECONDS (9 per case and level), BENCH_ROUNDS (3: each
# case runs its share of the time in each round), BENCH_REQUESTS (100000 per case and level),
# BENCH_TICKETS (1: the tills offer session tickets, as current TLS clients do, though they never
# resume; 0: they do not, and a TLS front keeps every session in its cache),
# BENCH_BUILD_DIR (build/bench), BENCH_PROXY (another vormetra-proxy to measure, for a before and
# after). The proxy listens on its own port 8449, which must be free.
#
# nginx comes from Debian's package but is unpacked into the build folder rather than installed,
# so no nginx service is ever set up or started; stunnel4 is installed with apt (its package
# starts nothing). Every configuration, log and pid file lives in a temp dir; the script stops
# exactly the processes it started, by pid, when it ends.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

smoke=0
if [ "${1:-}" = "--smoke" ]; then smoke=1; fi
build=${BENCH_BUILD_DIR:-build/bench}
if [ $smoke -eq 1 ]; then
  levels=${BENCH_LEVELS:-"1 8"}
  seconds=${BENCH_SECONDS:-20}
  requests=${BENCH_REQUESTS:-100}
else
  levels=${BENCH_LEVELS:-"1 8 64"}
  seconds=${BENCH_SECONDS:-9}
  requests=${BENCH_REQUESTS:-100000}
fi
path=/FiskalizacijaServiceTest

# The processes a run starts and their clean-up; the local upstream and the proxy.
source bench/lib.sh

# free_port VAR: a port nobody listens on, from a range of our own, into VAR. The range stays below
# the system's ephemeral ports (Linux starts them at 32768): after a run, thousands of the load
# client's connections linger there, and a front that must listen on one fails to bind.
next_port=$((20000 + RANDOM % 10000))
free_port() {
  while listening $next_port; do next_port=$((next_port + 1)); done
  printf -v "$1" '%s' $next_port
  next_port=$((next_port + 1))
}

# "RSS kB (private kB)": resident memory, and the part of it no other process shares (the shared
# rest is mostly the libraries' code, which every program using them maps).
memory_kb() {
  local rss private
  rss=$(awk '/^VmRSS:/ { print $2 }' "/proc/$1/status")
  private=$(awk '/^Private_(Clean|Dirty):/ { sum += $2 } END { print sum }' "/proc/$1/smaps_rollup")
  echo "$rss kB ($private kB private)"
}

# --- tools -------------------------------------------------------------------------------------

build_tools vp-bench-client vp-bench-upstream

nginx=""
stunnel=""
if [ $smoke -eq 0 ]; then
  if ! command -v stunnel4 >/dev/null; then
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends stunnel4
  fi
  stunnel=$(command -v stunnel4)
  fetch_nginx
fi

# --- the upstream and the certificates ---------------------------------------------------------

prepare_proxy
[ -z "${BENCH_PROXY:-}" ] || cp "$BENCH_PROXY" "$work/proxy/vormetra-proxy"
cert=$work/proxy/fakeFinaTest.crt
key=$work/proxy/fakeFinaTest.key

start_upstream

# --- nginx and stunnel ---------------------------------------------------------------------------

start_nginx() {
  nginx_tls_port="" nginx_plain_port=""  # set by free_port, read by the rounds
  free_port nginx_tls_port
  free_port nginx_plain_port
  mkdir -p "$work/nginx"
  local user_line=""
  [ "$(id -u)" -eq 0 ] && user_line="user root root;"
  local location="
      location = $path {
        proxy_pass https://127.0.0.1:$upstream_port;
        proxy_set_header Host $host_name;
        proxy_ssl_session_reuse off;
      }"
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
  server {
    listen 127.0.0.1:$nginx_tls_port ssl;
    ssl_certificate $cert;
    ssl_certificate_key $key;
    ssl_protocols TLSv1;
    ssl_ciphers DEFAULT:@SECLEVEL=0;
    $location
  }
  server {
    listen 127.0.0.1:$nginx_plain_port;
    $location
  }
}
CONF
  "$nginx" -p "$work/nginx" -c "$work/nginx/nginx.conf" -e "$work/nginx/error.log" \
    -g 'daemon off; master_process on;' &
  nginx_master_pid=$!
  pids+=("$nginx_master_pid")
  wait_listening "$nginx_tls_port" $nginx_master_pid nginx
  wait_listening "$nginx_plain_port" $nginx_master_pid nginx
}

# Two services in one stunnel: TLS 1.0 in, plain across, TLS 1.2 out to the upstream.
start_stunnel() {
  local middle_port
  stunnel_port=""  # set by free_port, read by the rounds
  free_port stunnel_port
  free_port middle_port
  mkdir -p "$work/stunnel"
  cat >"$work/stunnel/stunnel.conf" <<CONF
foreground = yes
pid = $work/stunnel/stunnel.pid
output = $work/stunnel/stunnel.log
debug = 3
[front]
accept = 127.0.0.1:$stunnel_port
connect = 127.0.0.1:$middle_port
cert = $cert
key = $key
sslVersionMin = TLSv1
sslVersionMax = TLSv1
ciphers = DEFAULT:@SECLEVEL=0
[back]
client = yes
accept = 127.0.0.1:$middle_port
connect = 127.0.0.1:$upstream_port
sni = $host_name
sslVersionMin = TLSv1
sslVersionMax = TLSv1.2
CONF
  "$stunnel" "$work/stunnel/stunnel.conf" >/dev/null 2>&1 &
  stunnel_pid=$!
  pids+=("$stunnel_pid")
  wait_listening "$stunnel_port" $stunnel_pid stunnel
}

# --- this proxy ----------------------------------------------------------------------------------

# --- the runs ------------------------------------------------------------------------------------

# CPU time in ms that the given processes (all their threads, live and ended) have used so far.
cpu_ms() {
  local pid ticks=0 tick
  tick=$(getconf CLK_TCK)
  for pid in "$@"; do
    ticks=$((ticks + $(awk '{ print $14 + $15 }' "/proc/$pid/stat")))
  done
  echo $((ticks * 1000 / tick))
}

# The pid given and its children (nginx's workers).
with_children() {
  echo "$1"
  awk -v parent="$1" '$4 == parent { print $1 }' /proc/[0-9]*/stat 2>/dev/null || true
}

ticket_option=""
[ "${BENCH_TICKETS:-1}" = 0 ] && ticket_option=--no-tickets
failed=0
results=$work/results
: >"$results"

# segment CASE TRANSPORT PORT LEVEL SECONDS REQUESTS PIDS...: a short warm-up, then one measured
# stretch; appends "case|level|good|bad|seconds|cpu_ms" to the results and the latencies to a
# file of the case and level.
segment() {
  local name=$1 transport=$2 port=$3 level=$4 span=$5 count=$6 line before after
  shift 6
  "$client" --port "$port" --transport "$transport" --concurrency 1 --requests 10 \
    --seconds 10 >/dev/null 2>&1 || true
  before=$(cpu_ms "$@")
  line=$("$client" --port "$port" --transport "$transport" --concurrency "$level" \
    --requests "$count" --seconds "$span" --latencies "$work/latencies.${name// /_}.$level" \
    $ticket_option) ||
    line="rps=0 p50_ms=0 p99_ms=0 good=0 bad=1 seconds=0"
  after=$(cpu_ms "$@")
  printf '  %-24s C=%-3s %s cpu_ms=%s\n' "$name" "$level" "$line" $((after - before))
  echo "$name|$level|$line|$((after - before))" >>"$results"
  case "$line" in *" bad=0 "*) ;; *) failed=1 ;; esac
}

if [ $smoke -eq 0 ]; then
  start_nginx
  start_stunnel
fi

# The other programs on the machine come and go; short rounds that take every case in turn let
# each case see the same load, so the ratios of one run can be compared.
rounds=${BENCH_ROUNDS:-3}
[ $smoke -eq 1 ] && rounds=1
span=$(awk -v s="$seconds" -v r="$rounds" 'BEGIN { printf "%.2f", s / r }')
count=$(( (requests + rounds - 1) / rounds ))
declare -A rss_idle=() rss_after=()
last_level=${levels##* }
echo "Forwarding benchmark: levels $levels, $rounds rounds, at most $requests requests or" \
  "$seconds s per case and level"
for level in $levels; do
  for round in $(seq 1 "$rounds"); do
    segment "direct TLS 1.2" tls1.2 "$upstream_port" "$level" "$span" "$count" "$upstream_pid"
    if [ $smoke -eq 0 ]; then
      # The master forks its workers after it listens; they are counted with it.
      nginx_pids=$(with_children "$nginx_master_pid")
      # shellcheck disable=SC2086
      segment "nginx, TLS 1.0 front" tls1.0 "$nginx_tls_port" "$level" "$span" "$count" $nginx_pids
      # shellcheck disable=SC2086
      segment "nginx, plain front" plain "$nginx_plain_port" "$level" "$span" "$count" $nginx_pids
      segment "stunnel, TLS 1.0 front" tls1.0 "$stunnel_port" "$level" "$span" "$count" \
        "$stunnel_pid"
    fi
    for mode in 2 1; do
      start_proxy $mode
      sleep 1
      [ -n "${rss_idle[$mode]:-}" ] || rss_idle[$mode]=$(memory_kb $proxy_pid)
      if [ $mode = 2 ]; then
        segment "this proxy, mode 2" tls1.0 $proxy_port "$level" "$span" "$count" $proxy_pid
      else
        segment "this proxy, mode 1" plain $proxy_port "$level" "$span" "$count" $proxy_pid
      fi
      if [ "$level" = "$last_level" ] && [ "$round" = "$rounds" ]; then
        sleep 2
        rss_after[$mode]=$(memory_kb $proxy_pid)
      fi
      stop_pid $proxy_pid
    done
  done
done

# --- the table -----------------------------------------------------------------------------------

# percentile FILE P: nearest rank over the latencies in FILE.
percentile() {
  sort -n "$1" | awk -v p="$2" '{ v[NR] = $1 } END {
    if (NR == 0) { print 0; exit }
    r = int(p / 100 * NR); if (r < p / 100 * NR) r++; if (r < 1) r = 1
    print v[r] }'
}

summary=$work/summary
: >"$summary"
while IFS='|' read -r name level; do
  file=$work/latencies.${name// /_}.$level
  [ -f "$file" ] || : >"$file"
  echo "$name|$level|$(percentile "$file" 50)|$(percentile "$file" 99)" >>"$summary"
done < <(cut -d'|' -f1,2 "$results" | awk '!seen[$0]++')

echo
echo "Each cell: rps as a ratio to the direct TLS 1.2 call at the same concurrency; then rps, p50"
echo "and p99 in ms, and the CPU time per request of the process in the middle (for the direct"
echo "call, the upstream's)."
echo
awk -F'|' -v levels="$levels" '
  function field(line, key,   n, parts, i, kv) {
    n = split(line, parts, " ")
    for (i = 1; i <= n; i++) { split(parts[i], kv, "="); if (kv[1] == key) return kv[2] }
    return 0
  }
  FNR == NR { p50[$1, $2] = $3; p99[$1, $2] = $4; next }
  {
    if (!($1 in seen)) { seen[$1] = 1; order[++count] = $1 }
    good[$1, $2] += field($3, "good"); bad[$1, $2] += field($3, "bad")
    secs[$1, $2] += field($3, "seconds"); cpu[$1, $2] += $4
  }
  END {
    nl = split(levels, level, " ")
    header = "| case |"; rule = "|---|"
    for (i = 1; i <= nl; i++) { header = header " C=" level[i] " |"; rule = rule "---|" }
    header = header " p99 at C=" level[nl] " |"; rule = rule "---|"
    print header; print rule
    for (c = 1; c <= count; c++) {
      name = order[c]; row = "| " name " |"
      for (i = 1; i <= nl; i++) {
        k = name SUBSEP level[i]; d = "direct TLS 1.2" SUBSEP level[i]
        rps = secs[k] > 0 ? good[k] / secs[k] : 0
        base = secs[d] > 0 ? good[d] / secs[d] : 0
        ratio = base > 0 ? sprintf("%.2f", rps / base) : "-"
        per = good[k] + bad[k] > 0 ? cpu[k] / (good[k] + bad[k]) : 0
        row = row sprintf(" **%s** (%.0f rps, %.1f/%.0f ms, cpu %.2f ms%s) |", ratio, rps, p50[k],
                          p99[k], per, bad[k] ? sprintf(", %d bad", bad[k]) : "")
      }
      row = row sprintf(" %.0f ms |", p99[name, level[nl]])
      print row
    }
  }' "$summary" "$results"
echo
for mode in 2 1; do
  echo "Resident memory of this proxy in mode $mode: ${rss_idle[$mode]:-?} idle," \
    "${rss_after[$mode]:-?} two seconds after its last C=$last_level round"
done
echo "Load: $(cut -d' ' -f1-3 /proc/loadavg) (1, 5, 15 min)"

if [ $failed -ne 0 ]; then
  echo "forward.sh: some requests failed (see bad above)" >&2
  exit 1
fi
