#!/usr/bin/env bash
# Soak: 100 000 forwarded requests through the proxy in mode 2 (TLS 1.0 in, TLS 1.2 out to the
# local upstream, a new connection and full handshakes on both sides for each), all on 127.0.0.1,
# with the proxy's resident memory and thread count taken at the start, along the way and at the
# end. The end must be flat: once the run is over and the proxy idle again, its memory is back
# within SOAK_RSS_SLACK_KB of what it held after the warm-up, and its threads are back to what it
# had then (the first request starts the one thread that watches deadlines, which stays). Every
# request must come back whole.
#
#   bash bench/soak.sh           the full run (SOAK_REQUESTS, 100000 by default)
#   bash bench/soak.sh --short   a few thousand requests, as CI runs it
#
# Knobs: SOAK_REQUESTS, SOAK_CONCURRENCY (8), SOAK_SAMPLES (10 stretches, a sample after each),
# SOAK_RSS_SLACK_KB (1024), BENCH_BUILD_DIR (build/bench). The proxy listens on port 8449, which
# must be free.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${BENCH_BUILD_DIR:-build/bench}

requests=${SOAK_REQUESTS:-100000}
samples=${SOAK_SAMPLES:-10}
if [ "${1:-}" = "--short" ]; then
  requests=${SOAK_REQUESTS:-3000}
  samples=${SOAK_SAMPLES:-3}
fi
concurrency=${SOAK_CONCURRENCY:-8}
slack_kb=${SOAK_RSS_SLACK_KB:-1024}
warm_up=500
# Connection threads end a second after their last connection; the listener reaps them and hands
# freed memory back on its next look, half a second later.
settle_seconds=3

# shellcheck source=bench/lib.sh
source bench/lib.sh
build_tools vp-bench-client vp-bench-upstream
prepare_proxy
start_upstream
start_proxy 2
sleep 1

# sample LABEL: one line of the table.
sample() {
  printf '| %-22s | %9s | %7s |\n' "$1" "$(rss_kb "$proxy_pid") kB" "$(threads_of "$proxy_pid")"
}

# run COUNT: COUNT requests; stops the soak when any fails.
good_total=0
run() {
  local line
  line=$("$client" --port $proxy_port --transport tls1.0 --concurrency "$concurrency" \
    --requests "$1" --seconds 36000)
  case "$line" in
    *" bad=0 "*) ;;
    *) echo "soak.sh: requests failed: $line" >&2; exit 1 ;;
  esac
  good_total=$((good_total + $(sed -E 's/.* good=([0-9]+) .*/\1/' <<<"$line")))
  last_line=$line
}

echo "Soak: $requests requests in mode 2 at concurrency $concurrency, on 127.0.0.1"
echo
echo "| when                   |  resident | threads |"
echo "|---|---|---|"
start_rss=$(rss_kb "$proxy_pid")
start_threads=$(threads_of "$proxy_pid")
sample "start, idle"
run $warm_up
sleep $settle_seconds
warm_rss=$(rss_kb "$proxy_pid")
warm_threads=$(threads_of "$proxy_pid")
sample "after $warm_up, idle"
stretch=$(( (requests + samples - 1) / samples ))
done_count=0
started=$(now_ms)
while [ $done_count -lt "$requests" ]; do
  count=$stretch
  [ $((done_count + count)) -gt "$requests" ] && count=$((requests - done_count))
  run "$count"
  done_count=$((done_count + count))
  sample "after $done_count"
done
elapsed_ms=$(($(now_ms) - started))
sleep $settle_seconds
end_rss=$(rss_kb "$proxy_pid")
end_threads=$(threads_of "$proxy_pid")
sample "end, idle"
echo
echo "$good_total requests answered whole in $((elapsed_ms / 1000)) s" \
  "($(awk -v n="$requests" -v ms="$elapsed_ms" 'BEGIN { printf "%.0f", n * 1000 / ms }') rps);" \
  "last stretch: $last_line"
echo "Resident memory: $start_rss kB at start, $warm_rss kB after the warm-up, $end_rss kB at" \
  "the end; threads: $start_threads at start, $warm_threads after the warm-up, $end_threads at" \
  "the end"
echo "Load: $(cut -d' ' -f1-3 /proc/loadavg) (1, 5, 15 min)"

flat=1
if [ "$end_rss" -gt $((warm_rss + slack_kb)) ]; then
  echo "soak.sh: resident memory grew by $((end_rss - warm_rss)) kB over the run" >&2
  flat=0
fi
if [ "$end_threads" -ne "$warm_threads" ]; then
  echo "soak.sh: $end_threads threads at the end, $warm_threads after the warm-up" >&2
  flat=0
fi
stop_pid "$proxy_pid" TERM
[ $flat -eq 1 ] || exit 1
