#!/usr/bin/env bash
# The connection check: VormetraProxy.exe /check walks both roads of mode 1 to a TLS 1.2 upstream
# on 127.0.0.1 (the address, the connection, the handshake, the certificate), posts nothing and
# ends with 0; against a port where nothing listens it says that the connection was refused and
# ends with 1. In the window, Server, Provjeri vezu shows the same report in a box, whose picture
# goes to $VP_SCREENSHOTS.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/tray.sh"

vp_start_upstream upstream tls "never asked for"
url="https:\\/\\/127.0.0.1:$VP_UPSTREAM_PORT"
mode1="{
  \"Mode\":1,
  \"Active\":false,
  \"URLTest\":\"$url\\/FiskalizacijaServiceTest\",
  \"URLProduction\":\"$url\\/FiskalizacijaService\",
  \"CallDNS\":false
}"
# check_now: VormetraProxy.exe /check, bounded; its errors, and the text of any box it shows, go to
# $VP_WORK/check.errors.
# Through a file, as vp_wine_output does.
check_now() {
  WINEDEBUG=$WINEDEBUG,trace+msgbox timeout -k 5 $((120 * ${VP_TIME_FACTOR:-1})) "$WINE" \
    "$VP_APP_EXE" /check >"$VP_WORK/check.out" 2>>"$VP_WORK/check.errors"
  local code=$?
  cat "$VP_WORK/check.out"
  return $code
}

vp_write_settings "$mode1"
report=$(check_now)
vp_expect "/check ends with 0 when both roads get through" 0 "$?"
report=${report//$'\r'/}
for line in "Provjera veze, način rada 1." \
  "Testni poslužitelj: https://127.0.0.1:$VP_UPSTREAM_PORT/FiskalizacijaServiceTest" \
  "Produkcijski poslužitelj: https://127.0.0.1:$VP_UPSTREAM_PORT/FiskalizacijaService" \
  "Adresa iz podešavanja: 127.0.0.1" "Spajanje na port $VP_UPSTREAM_PORT: uspjelo (" \
  "TLS rukovanje: uspjelo (" "TLSv1.2" "Certifikat izdan za: CN=upstream.invalid" \
  "Izdavatelj: CN=upstream.invalid" "Upozorenje: certifikat ne glasi na 127.0.0.1." \
  "Veza radi."; do
  vp_expect_contains "the report has: $line" "$line" "$report"
done
vp_expect "nothing was posted to the upstream" "" "$(ls -A "$VP_WORK/upstream-requests")"

refused=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
vp_write_settings "{\"Mode\":3,\"IPProduction\":\"127.0.0.1:$refused\",\"CallDNS\":false}"
report=$(check_now)
vp_expect "/check ends with 1 when nothing listens" 1 "$?"
report=${report//$'\r'/}
vp_expect_contains "it names the failed step" "Spajanje na port $refused: nije uspjelo (" "$report"
vp_expect_contains "and why" "odbija vezu" "$report"
vp_expect_contains "and that the road does not work" "Veza ne radi." "$report"

echo "  the window: Server, Provjeri vezu"
vp_write_settings "$mode1"
# Mode 1 wants no hosts line naming its upstream's host, and the hosts file's "# 127.0.0.1
# localhost" counts as one: without it the tray opens with that question instead.
sed -i '/127\.0\.0\.1/d' "$hosts_file"
WINEDEBUG=$WINEDEBUG,trace+msgbox start_tray tray
if ! main=$(show_from_tray); then
  fail "a click on the tray icon shows the window"
  vp_done
fi
# The Server menu opens on its first item, Pokreni; the next is Provjeri vezu.
if menu "$main" notice_shown -- F10 Right Return Down Return; then
  vp_pass "Provjeri vezu shows a box"
  vp_screenshot "$(box "$title" "$main")" check-connection
  boxes=$(vp_message_boxes tray)
  vp_expect_contains "the box holds the report" "Certifikat izdan za: CN=upstream.invalid" "$boxes"
  answer "$title" "$main" Return "the box closes"
else
  fail "Provjeri vezu shows a box"
fi
close_window tray "$main"
vp_done
