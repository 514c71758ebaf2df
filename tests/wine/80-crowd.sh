#!/usr/bin/env bash
# The program beside a crowd, as bench/hostile.sh measures the Linux build: VormetraProxy.exe
# /serve in mode 1 holds 5000 idle connections on 127.0.0.1, a till's forward beside them is still
# answered, and Ctrl+C still ends the program. Logs the figures: the till's time alone and beside
# the crowd, the program's threads and memory, and how long the stop took (and, for comparison,
# a stop with nothing open).
source "$(dirname "$0")/lib.sh"

idle=${VP_CROWD_IDLE:-5000}
answer='<tns:RacunOdgovor><tns:Jir>crowd-jir</tns:Jir></tns:RacunOdgovor>'

vp_start_upstream upstream tls "$answer"
vp_write_settings "{
  \"Mode\":1,
  \"URLTest\":\"https:\\/\\/127.0.0.1:$VP_UPSTREAM_PORT\\/FiskalizacijaServiceTest\",
  \"CallDNS\":false
}"

start_program() {
  vp_require_free_port 8449
  vp_start_program proxy /serve
  if ! vp_wait_port 8449 60 proxy; then
    vp_fail "the proxy listens on 8449: $(vp_output proxy)"
    vp_done
  fi
}

# till: one forward; prints the answer, then its time in ms on a line of its own.
till() {
  curl -sS --max-time 60 -H 'Content-Type: text/xml' --data-binary '<Racun/>' \
    -w '\n%{time_total}' http://127.0.0.1:8449/FiskalizacijaServiceTest 2>&1 |
    awk 'NR == 1 { print } NR == 2 { printf "%d\n", $1 * 1000 }'
}

# The program's own process, among those of its group (the Wine loader and start.exe are the
# others): the one with the most threads. Prints "threads rss_kB".
program_figures() {
  ps -o nlwp=,rss= --sid "${VP_PIDS[proxy]}" | sort -n | tail -n 1 | awk '{ print $1, $2 }'
}

# stop_timed: Ctrl+C, and the milliseconds until the program has ended, into stop_ms.
stop_timed() {
  local started
  started=$(date +%s%3N)
  vp_stop proxy 120
  stop_ms=$(($(date +%s%3N) - started))
  vp_expect "Ctrl+C ends the program with exit code 0" 0 "$VP_EXIT"
}

start_program
first=$(till)
vp_expect "a till is answered" "$answer" "$(head -n 1 <<<"$first")"
alone=$(till)
read -r threads rss <<<"$(program_figures)"
vp_log "alone: the till's forward took $(tail -n 1 <<<"$alone") ms; $threads threads, $rss kB"

# The crowd: connections that send nothing, on the Linux side, held until the check ends.
ulimit -n "$(ulimit -Hn)"
vp_start crowd python3 -c '
import socket, sys, time
held = []
for _ in range(int(sys.argv[1])):
    s = socket.create_connection(("127.0.0.1", 8449), timeout=60)
    held.append(s)
print("held", len(held), flush=True)
time.sleep(3600)
' "$idle"
if ! vp_wait_output crowd '^held ' $((300 * ${VP_TIME_FACTOR:-1})); then
  vp_fail "$idle idle connections are opened: $(vp_output crowd | tail -n 3)"
  vp_done
fi
# Held by the program: none left in the listening socket's queue, and none closed by it.
deadline=$((SECONDS + 300 * ${VP_TIME_FACTOR:-1}))
while [ "$(ss -Hltn 'sport = :8449' | awk '{ queued += $2 } END { print queued + 0 }')" != 0 ] &&
  [ $SECONDS -lt $deadline ]; do
  sleep 1
done
vp_expect "the program has taken all $idle idle connections, and keeps them" "$idle" \
  "$(ss -Htn state established 'dport = :8449' | wc -l)"

beside=$(till)
vp_expect "a till is answered beside them" "$answer" "$(head -n 1 <<<"$beside")"
read -r threads rss <<<"$(program_figures)"
vp_log "beside $idle idle: the till's forward took $(tail -n 1 <<<"$beside") ms;" \
  "$threads threads, $rss kB"

stop_timed
vp_log "Ctrl+C with $idle idle connections open: the program ended after $stop_ms ms"
vp_stop crowd 10

start_program
till >/dev/null
stop_timed
vp_log "Ctrl+C with nothing open: the program ended after $stop_ms ms"
vp_done
