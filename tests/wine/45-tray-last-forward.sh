#!/usr/bin/env bash
# What a shop owner sees when receipts fail: the tray application with its own proxy in mode 1 and
# an upstream address where nothing listens. Three failed forwards bring the tray's balloon, and
# the window's line under the status names the failure in words. Pictures of the balloon and of
# the window after the failed forwards go to $VP_SCREENSHOTS.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/tray.sh"

last_forward_control=205  # the line's control id in the window's resource
balloons() { vp_run_tool 30 vp-window-text VormetraProxy count tooltips_class32; }
balloon_shown() { [ "$(balloons)" -gt "$1" ]; }

vp_require_free_port 8449
# Port 9 (discard) has no listener here: the upstream refuses every connection.
vp_write_settings '{"Mode":1,"Active":true,"CallDNS":false,
  "URLTest":"https:\/\/127.0.0.1:9\/FiskalizacijaServiceTest"}'
start_tray failing
if ! vp_wait_port 8449 60 failing; then
  fail "the own proxy listens"
  vp_done
fi
sleep 3  # the icon and its start balloon settle
before=$(balloons)
for receipt in 1 2 3; do
  got=$(curl -sS --max-time 30 --data-binary "racun-$receipt" \
    http://127.0.0.1:8449/FiskalizacijaServiceTest)
  vp_expect "the till still gets its empty answer ($receipt)" "" "$got"
done
check "three failed forwards in a row bring the balloon" within 15 balloon_shown "${before:-0}"
mkdir -p "$VP_SCREENSHOTS"
import -window root "$VP_SCREENSHOTS/tray-balloon-failing.png"

if main=$(show_from_tray); then
  line=$(vp_run_tool 30 vp-window-text VormetraProxy control "$title" "$last_forward_control")
  vp_expect_contains "the window's line names the failure" \
    "poslužitelj porezne uprave odbija vezu" "$line"
  vp_expect_contains "and when it was" "Zadnje slanje (" "$line"
  vp_screenshot "$main" main-window-failed-forward
  close_window failing "$main"
else
  fail "a click on the tray icon shows the window"
fi
vp_done
