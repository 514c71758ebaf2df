#!/usr/bin/env bash
# The tray application's windows for real, without the service: the program starts as a tray icon
# with its own proxy; a click on the icon shows the window, "Pokreni" starts the proxy and closing
# the window saves Active, which the next start resumes; the settings dialog takes a typed change,
# confirmed with "Potvrdi", asks its questions, and the change is in the settings file; the Hosts
# file menu takes the entry out again; the help window opens. Pictures of the main window, the
# settings dialog and the help window go to $VP_SCREENSHOTS; a failed step leaves a picture of the
# screen in $VP_WORK.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/tray.sh"

vp_require_free_port 8449
vp_write_settings '{"Mode":1,"Active":false,"CallDNS":false}'

echo "  own proxy: the tray, start, close"
start_tray tray1
sleep 5
vp_expect "the window stays hidden at start, only the tray icon shows" "" \
  "$(xdotool search --onlyvisible --name "^$title\$" 2>/dev/null)"
if ! main=$(show_from_tray); then
  fail "a click on the tray icon shows the window"
  vp_done
fi
vp_pass "a click on the tray icon shows the window"
vp_screenshot "$main" main-window
check "Pokreni starts the own proxy" menu "$main" port_taken -- F10 Right Return Return
close_window tray1 "$main"
check "closing the window saves Active" settings_have '"Active":true,'
check "the proxy ends with the program" within 20 port_free

echo "  own proxy: resumed, stopped, settings changed, help"
start_tray tray2
check "the next start resumes Active" vp_wait_port 8449 60 tray2
main=$(show_from_tray) || fail "the window shows again"
check "Zaustavi stops the own proxy" menu "$main" port_free -- F10 Right Return Return

if menu "$main" find_quietly Opcjie -- F10 Return Down Return; then
  vp_pass "Podešavanja... opens the settings dialog"
  dialog=$(vp_find_window Opcjie)
  vp_screenshot "$dialog" settings-dialog
  # The mode list has the focus: the next item is mode 2. Five fields on is the DNS server, whose
  # text is selected on arrival and replaced by what is typed.
  keys "$dialog" Down Tab Tab Tab Tab Tab
  xdotool type --window "$dialog" --delay 100 "127.0.0.1:5353" 2>/dev/null
  sleep 1
  # "Potvrdi" stands at 320, 248 (75 x 25) in the client area of 408 x 280, whose bottom right
  # corner is the window's own less its border.
  read -r x y width height < <(geometry "$dialog")
  border=$(((width - 408) / 2))
  xdotool mousemove $((x + width - border - 408 + 357)) $((y + height - border - 280 + 260)) click 1
  answer Confirm "" n "the root certificate question comes first; Ne"
  answer Confirm "" Return "then the hosts-file question; Da"
  answer "$title" "$main" Return "the hosts file's backup is announced"
  answer "$title" "$main" Return "the entry is reported added"
  check "the settings file holds the new mode" settings_have '"Mode":2,'
  check "the settings file holds the typed DNS server" settings_have '"DNSServer":"127.0.0.1:5353"'
  check "the hosts file has the test entry" grep -qF "$test_entry" "$hosts_file"
  check "the hosts file was backed up first" [ -f "$hosts_backup" ]
else
  fail "Podešavanja... opens the settings dialog"
fi

# Hosts file, Testni url, ticked now: both entries go.
if menu "$main" notice_shown -- F10 Right Right Return Return; then
  answer "$title" "$main" Return "unticking Testni url reports the entry removed"
else
  fail "unticking Testni url reports the entry removed"
fi
# shellcheck disable=SC2016 # expanded by eval, at each try
check "the entry is gone" within 5 eval '! grep -qF "$test_entry" "$hosts_file"'

if menu "$main" find_quietly "Pomoć" -- F10 Return Return; then
  vp_pass "Pomoć opens the help window"
  help=$(vp_find_window "Pomoć")
  vp_screenshot "$help" help-window
  keys "$help" Escape
  check "Escape hides the help window" within 10 box_gone "$help"
else
  fail "Pomoć opens the help window"
fi
close_window tray2 "$main"
check "closing saves Active as it is now" settings_have '"Active":false,'

vp_done
