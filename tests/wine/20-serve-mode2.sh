#!/usr/bin/env bash
# Mode 2 end to end: a TLS 1.0 client on the Linux side talks to VormetraProxy.exe /serve as the
# authority's test host (the certificate the program made with /certs, checked against its root),
# and the proxy posts the body to the upstream by address, naming the real host in the Host header.
source "$(dirname "$0")/lib.sh"

host=cistest.apis-it.hr
answer='<?xml version="1.0" encoding="UTF-8"?><tns:RacunOdgovor><tns:Jir>mode-2-jir</tns:Jir></tns:RacunOdgovor>'
request='<soap:Envelope><tns:Racun>Račun iz načina 2</tns:Racun></soap:Envelope>'

vp_start_upstream upstream tls "$answer"
vp_write_settings "{
  \"Mode\":2,
  \"IPTest\":\"127.0.0.1:$VP_UPSTREAM_PORT\",
  \"CallDNS\":false
}"
openssl x509 -inform DER -in "$VP_APP_DIR/fakeFinaCA.crt" -out "$VP_WORK/root.pem"

vp_require_free_port 8449
vp_start_program proxy /serve
if ! vp_wait_port 8449 60 proxy; then
  vp_fail "the proxy listens on 8449: $(vp_output proxy)"
  vp_done
fi

# Old till software: TLS 1.0 and nothing newer, with the ciphers that allows.
tls10=(--tlsv1.0 --tls-max 1.0 --ciphers 'DEFAULT@SECLEVEL=0')
trust=(--cacert "$VP_WORK/root.pem" --resolve "$host:8449:127.0.0.1")
got=$(curl -sS --max-time 30 "${tls10[@]}" "${trust[@]}" -H 'Content-Type: text/xml' \
  --data-binary "$request" "https://$host:8449/FiskalizacijaServiceTest" 2>"$VP_WORK/curl.err")
vp_expect "the upstream's answer comes back over TLS 1.0" "$answer" "$got$(cat "$VP_WORK/curl.err")"
if vp_wait_file "$VP_WORK/upstream-requests/request-1"; then
  recorded=$(cat "$VP_WORK/upstream-requests/request-1")
  vp_expect_contains "posted to the test path" "POST /FiskalizacijaServiceTest HTTP/1.0" "$recorded"
  vp_expect_contains "the real host is named" $'\r\n'"Host: $host"$'\r\n' "$recorded"
  vp_expect_contains "the body arrives whole" $'\r\n\r\n'"$request" "$recorded"
else
  vp_fail "the upstream received the request"
fi

rc=0
curl -sS --max-time 30 --tlsv1.2 "${trust[@]}" --data-binary "$request" \
  "https://$host:8449/FiskalizacijaServiceTest" >/dev/null 2>&1 || rc=$?
vp_expect "a client that insists on TLS 1.2 cannot connect (curl: SSL connect error)" 35 "$rc"

vp_stop proxy 30
vp_expect "Ctrl+C ends the program with exit code 0" 0 "$VP_EXIT"
vp_done
