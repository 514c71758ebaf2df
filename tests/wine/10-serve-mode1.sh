#!/usr/bin/env bash
# Mode 1 end to end: VormetraProxy.exe /serve takes plain HTTP on port 8449 and posts the body
# over HTTPS to a TLS 1.2 upstream on 127.0.0.1; /rootcert hands out the root certificate from
# the program's folder; /status tells that it listens and what the forwards did; SIGINT (Ctrl+C)
# ends the program cleanly, and /status then says that nothing listens.
source "$(dirname "$0")/lib.sh"

answer='<?xml version="1.0" encoding="UTF-8"?><tns:RacunOdgovor><tns:Jir>mode-1-jir</tns:Jir></tns:RacunOdgovor>'
request='<soap:Envelope><tns:Racun>Račun iz načina 1</tns:Racun></soap:Envelope>'

vp_start_upstream upstream tls "$answer"
vp_write_settings "{
  \"Mode\":1,
  \"URLTest\":\"https:\\/\\/127.0.0.1:$VP_UPSTREAM_PORT\\/FiskalizacijaServiceTest\",
  \"CallDNS\":false
}"
vp_require_free_port 8449
vp_start_program proxy /serve
if ! vp_wait_port 8449 60 proxy; then
  vp_fail "the proxy listens on 8449: $(vp_output proxy)"
  vp_done
fi
vp_expect_contains "the proxy says it listens" "Vormetra Proxy on port 8449; Ctrl+C stops it" \
  "$(vp_output proxy)"

got=$(curl -sS --max-time 30 -H 'Content-Type: text/xml' --data-binary "$request" \
  http://127.0.0.1:8449/FiskalizacijaServiceTest)
vp_expect "the upstream's answer comes back" "$answer" "$got"
if vp_wait_file "$VP_WORK/upstream-requests/request-1"; then
  recorded=$(cat "$VP_WORK/upstream-requests/request-1")
  vp_expect_contains "posted to the test path" "POST /FiskalizacijaServiceTest HTTP/1.0" "$recorded"
  vp_expect_contains "the upstream is named by its URL" "Host: 127.0.0.1:$VP_UPSTREAM_PORT" \
    "$recorded"
  vp_expect_contains "the body arrives whole" $'\r\n\r\n'"$request" "$recorded"
else
  vp_fail "the upstream received the request"
fi

got=$(curl -sS --max-time 30 --data-binary x http://127.0.0.1:8449/Drugo)
vp_expect "another path is refused" "Neispravan zahtjev" "$got"

type=$(curl -sS --max-time 30 -o "$VP_WORK/rootcert" -w '%{content_type}' \
  http://127.0.0.1:8449/rootcert)
vp_expect_file "/rootcert gives fakeFinaCA.crt" "$VP_WORK/rootcert" "$VP_APP_DIR/fakeFinaCA.crt"
vp_expect "/rootcert names the type the registry gives" application/x-x509-ca-cert "$type"
mv "$VP_APP_DIR/fakeFinaCA.crt" "$VP_WORK/fakeFinaCA.crt"
got=$(curl -sS --max-time 30 http://127.0.0.1:8449/rootcert)
mv "$VP_WORK/fakeFinaCA.crt" "$VP_APP_DIR/fakeFinaCA.crt"
vp_expect "/rootcert without the file names it" \
  "Datoteka nije dostupna: $(vp_windows_path "$VP_APP_DIR/fakeFinaCA.crt")" "$got"

status=$(vp_wine_output "$VP_APP_EXE" /status)
vp_expect "/status ends with 0 while the proxy listens" 0 "$?"
vp_expect_contains "/status says that it listens" "Na portu 8449 sluša program" "$status"
vp_expect_contains "/status shows the forward" "outcome=ok" "$status"
vp_expect_contains "and the path this mode refused" "outcome=wrong-for-mode" "$status"

vp_stop proxy 30
vp_expect "Ctrl+C ends the program with exit code 0" 0 "$VP_EXIT"
status=$(vp_wine_output "$VP_APP_EXE" /status)
vp_expect "/status ends with 1 when nothing listens" 1 "$?"
vp_expect_contains "/status says so" "Na portu 8449 ne sluša nijedan proxy." "$status"
vp_done
