#!/usr/bin/env bash
# The service in Wine's service manager: /install /silent registers "VormetraProxyService" and
# starts it; it runs and serves mode 1 on 8449; control code 128 re-reads the settings and the
# running service goes on serving whatever the file's Active says; a reload it cannot apply stops
# it; codes above 128 change nothing; pause and continue; /stop, /start, /install of a stopped service (which
# starts it), installing over the existing service (its error text), /uninstall. /install registers
# the service's event-log source with the program's message table, /uninstall removes it.
# The system's error texts are Wine's Croatian ones: the run's locale is the users'.
source "$(dirname "$0")/lib.sh"

answer='<?xml version="1.0" encoding="UTF-8"?><tns:RacunOdgovor><tns:Jir>service-jir</tns:Jir></tns:RacunOdgovor>'
request='<soap:Envelope><tns:Racun>Račun kroz servis</tns:Racun></soap:Envelope>'
error_title="Vormetra Proxy"

event_key='HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\VormetraProxyService'

# event_value NAME: the data of the event source's value NAME as reg query prints it, or nothing.
event_value() {
  "$WINE" reg query "$event_key" /v "$1" 2>/dev/null | tr -d '\r' |
    sed -n "s/^ *$1 *REG_[A-Z_]* *//p"
}

# event_text TYPE TEXT: what a viewer shows for an entry of that type written with TEXT.
event_text() { vp_run_tool 60 vp-service-control event-text "$(event_value EventMessageFile)" "$@"; }

# state: the service's state as the manager reports it.
state() { vp_run_tool 60 vp-service-control status; }

# expect_state DESCRIPTION STATE [SECONDS]: the state is reached within the bound.
expect_state() {
  local deadline=$((SECONDS + ${3:-1})) now
  while now=$(state) && [ "$now" != "$2" ] && [ $SECONDS -lt $deadline ]; do sleep 0.5; done
  vp_expect "$1" "$2" "$now"
}

# expect_served DESCRIPTION: a mode-1 request through 8449 comes back with the upstream's answer.
expect_served() {
  local got
  if ! vp_wait_port 8449 30; then
    vp_fail "$1: nothing listens on 8449"
    return
  fi
  got=$(curl -sS --max-time 30 -H 'Content-Type: text/xml' --data-binary "$request" \
    http://127.0.0.1:8449/FiskalizacijaServiceTest 2>&1)
  vp_expect "$1" "$answer" "$got"
}

# expect_port_closed DESCRIPTION: nothing listens on 8449 within 30 s.
expect_port_closed() {
  local deadline=$((SECONDS + 30))
  while vp_port_taken 8449 && [ $SECONDS -lt $deadline ]; do sleep 0.2; done
  vp_expect "$1" closed "$(vp_port_taken 8449 && echo open || echo closed)"
}

# run_task NAME SWITCH... : a task process that ends by itself with exit code 0, no window shown.
run_task() {
  local name=$1
  shift
  vp_start_program "$name" "$@"
  if ! vp_wait_exit "$name" 120; then
    vp_fail "$* ends by itself: $(vp_message_boxes "$name")"
    return
  fi
  vp_expect "$* ends with exit code 0" 0 "$VP_EXIT"
  vp_expect "$* shows no message" "" "$(vp_message_boxes "$name")"
}

# expect_error_box NAME TEXT SWITCH...: the program shows the error box with TEXT; OK ends it.
expect_error_box() {
  local name=$1 text=$2 window
  shift 2
  vp_start_program "$name" "$@"
  if ! window=$(vp_find_window "$error_title" 120); then
    vp_fail "$* shows an error box: $(vp_output "$name")"
    return
  fi
  vp_screenshot "$window" "service-$name"
  vp_expect "$* says why" "$text" "$(vp_message_boxes "$name")"
  vp_press_key "$window" Return
  vp_wait_exit "$name" 60
  vp_expect "$* ends after OK with exit code 1" 1 "$VP_EXIT"
  vp_expect_contains "$* writes why to its standard error" "$text" "$(vp_output "$name")"
}

if [ "$(state)" != missing ]; then
  vp_fail "the prefix has no VormetraProxyService yet (state: $(state))"
  vp_done
fi
vp_require_free_port 8449
# However the check ends, the prefix is left without the service.
# shellcheck disable=SC2317 # run at exit, through vp_at_exit
remove_service() {
  [ "$(state)" = missing ] && return 0
  timeout -k 5 120 "$WINE" "$(vp_windows_path "$VP_APP_EXE")" /stop >/dev/null 2>&1
  timeout -k 5 120 "$WINE" "$(vp_windows_path "$VP_APP_EXE")" /uninstall /silent >/dev/null 2>&1
}
vp_at_exit remove_service

vp_start_upstream upstream tls "$answer"
settings() {
  vp_write_settings "{
  \"Mode\":1,
  \"Active\":$1,
  \"URLTest\":\"https:\\/\\/127.0.0.1:$VP_UPSTREAM_PORT\\/FiskalizacijaServiceTest\",
  \"CallDNS\":false
}"
}
settings true

run_task install /install /silent
expect_state "after /install the service runs" running
vp_expect "/install makes the program the event source's message file" \
  "$(vp_windows_path "$VP_APP_EXE")" "$(event_value EventMessageFile)"
vp_expect "with the entry types it writes" 0x5 "$(event_value TypesSupported)"
vp_expect "its message table shows an information entry's text" "Service started" \
  "$(event_text information "Service started")"
vp_expect "and an error entry's text" "Service failed on start: 100%" \
  "$(event_text error "Service failed on start: 100%")"
# Every later step needs the running service.
[ "$(state)" = running ] || vp_done
expect_served "the service serves mode 1 on 8449"
if vp_wait_file "$VP_WORK/upstream-requests/request-1"; then
  vp_expect_contains "the service posted the body on" $'\r\n\r\n'"$request" \
    "$(cat "$VP_WORK/upstream-requests/request-1")"
else
  vp_fail "the upstream received the service's request"
fi

# Code 128: the settings file again. Its Active is the tray's own switch (saved false before the
# service was installed, as a rule): a running service goes on serving.
settings false
vp_expect "code 128 is sent to the running service" running \
  "$(vp_run_tool 60 vp-service-control send 128)"
expect_served "after 128 with Active false the service still serves"
vp_expect "code 200 changes nothing" running "$(vp_run_tool 60 vp-service-control send 200)"
expect_served "after 200 it still serves"

# A reload it cannot apply (mode 2 without its key) stops the service: it is never reported
# running while nothing listens.
# shellcheck disable=SC2317 # run at exit, through vp_at_exit
restore_key() { [ ! -f "$VP_WORK/fakeFinaTest.key" ] || mv "$VP_WORK/fakeFinaTest.key" "$VP_APP_DIR/"; }
vp_at_exit restore_key
mv "$VP_APP_DIR/fakeFinaTest.key" "$VP_WORK/"
vp_write_settings '{"Mode":2,"Active":true,"CallDNS":false}'
vp_run_tool 60 vp-service-control send 128 >/dev/null
expect_state "a reload that cannot start the listener stops the service" stopped 30
restore_key
settings true
run_task start-after-reload /start
expect_state "/start starts it again" running 30
expect_served "and it serves"

# Pause: the listener keeps serving; continue: running again.
vp_run_tool 60 vp-service-control pause >/dev/null
expect_state "pause makes the service paused" paused 30
expect_served "a paused service still serves"
vp_run_tool 60 vp-service-control continue >/dev/null
expect_state "continue makes it run again" running 30

expect_error_box install-again \
  'Service "Vormetra Proxy Service" failed to install with error: "Servis postoji."' \
  /install

run_task stop /stop
expect_state "/stop stops the service" stopped
expect_port_closed "a stopped service does not listen"
run_task start /start
expect_state "/start starts it" running
expect_served "the started service serves"
run_task stop-again /stop
run_task install-stopped /install /silent
expect_state "/install of a stopped service only starts it" running
expect_served "and it serves"
run_task stop-last /stop
expect_state "stopped before removal" stopped
run_task uninstall /uninstall /silent
expect_state "/uninstall removes the service" missing
vp_expect "/uninstall removes the event source" absent \
  "$("$WINE" reg query "$event_key" >/dev/null 2>&1 && echo present || echo absent)"
expect_error_box uninstall-again \
  'Service "Vormetra Proxy Service" failed to uninstall with error: "Servis ne postoji."' \
  /uninstall /silent
vp_done
