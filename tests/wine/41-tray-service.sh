#!/usr/bin/env bash
# The tray application with the service installed ("/install /silent"): the window comes up by
# itself with "Server radi kao servis" and saves nothing when closed; the service is stopped and
# removed again at the end. A picture of the window goes to $VP_SCREENSHOTS.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/tray.sh"

vp_require_free_port 8449
vp_write_settings '{"Mode":1,"Active":false,"CallDNS":false}'
vp_start_program install /install /silent
vp_wait_exit install 60
vp_expect "/install /silent ends with exit code 0" 0 "$VP_EXIT"
check "the installed service serves" vp_wait_port 8449 60
cp "$VP_SETTINGS" "$VP_WORK/settings-before"
start_tray tray
if main=$(vp_find_window "$title" 60); then
  vp_pass "with the service installed the window shows by itself"
  sleep 1
  vp_screenshot "$main" main-window-service
  close_window tray "$main"
  vp_expect_file "the service regime saves nothing on close" "$VP_SETTINGS" \
    "$VP_WORK/settings-before"
else
  fail "with the service installed the window shows by itself"
fi
# /stop hands the service its stop and may end before the service has reported it: the service is
# removed only once it has stopped (a running one is merely marked for deletion).
vp_start_program stop /stop
vp_wait_exit stop 60
check "/stop stops the service" within 30 service_stopped
vp_start_program uninstall /uninstall /silent
vp_wait_exit uninstall 60
check "/uninstall /silent removes the service" within 30 service_gone
vp_done
