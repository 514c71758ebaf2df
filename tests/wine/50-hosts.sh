#!/usr/bin/env bash
# The hosts-file switches against the prefix's real hosts file: /hosttest, /hostprod and
# /hostremove with their line rules (case-sensitive substring, both hosts' lines go, the new line
# last, CR LF on every line, a removal that finds nothing leaves the file untouched), the one-time
# backup and its notice answered through Xvfb, and a process that cannot write the file: the
# notice first, then the question, and a Yes that starts the copy with the same switch.
source "$(dirname "$0")/lib.sh"

hosts=$WINEPREFIX/drive_c/windows/system32/drivers/etc/hosts
backup=$(dirname "$VP_SETTINGS")/hosts
test_host=cistest.apis-it.hr
production_host=cis.porezna-uprava.hr
notice_title="Vormetra Proxy"
question_title="Confirm"

if [ ! -f "$hosts" ]; then
  vp_fail "the prefix has a hosts file at $hosts"
  vp_done
fi
# Whatever happens, the prefix gets its hosts file back and no backup it did not have.
cp -p "$hosts" "$VP_WORK/hosts.prefix"
vp_at_exit cp -p "$VP_WORK/hosts.prefix" "$hosts"
if [ -f "$backup" ]; then
  cp -p "$backup" "$VP_WORK/backup.prefix"
  vp_at_exit cp -p "$VP_WORK/backup.prefix" "$backup"
else
  vp_at_exit rm -f "$backup"
fi
rm -f "$backup"
# press WINDOW KEY: the key to a box after giving it the keyboard focus. Wine hands keys to its
# foreground window, and a box of a copy started by another process does not become that by itself.
press() {
  timeout 5 xdotool windowfocus --sync "$1" 2>/dev/null
  vp_press_key "$1" "$2"
}

# answer_box WINDOW TITLE KEY: the key to a box, and again while that box still stands (five
# times at most): a box drawn a moment ago can miss its first key. Wine may reuse the window for
# the program's next box, so a box stands only while the window still carries this title; the
# notice and the question have different ones.
answer_box() {
  local try deadline
  sleep 0.3
  for try in 1 2 3 4 5; do
    [ "$try" = 1 ] || vp_log "the box \"$2\" still stands: $3 again"
    press "$1" "$3"
    deadline=$((SECONDS + 3))
    while box_stands "$1" "$2"; do
      [ $SECONDS -lt $deadline ] || continue 2
      sleep 0.2
    done
    return 0
  done
}
box_stands() { xdotool search --onlyvisible --name "^$2\$" 2>/dev/null | grep -qx "$1"; }

# A box left open by a failed step would stand in the way of the next checks.
# shellcheck disable=SC2317 # run at exit, through vp_at_exit
close_boxes() {
  local window title
  for title in "$notice_title" "$question_title"; do
    for window in $(xdotool search --onlyvisible --name "^$title\$" 2>/dev/null); do
      press "$window" Escape
    done
  done
}
vp_at_exit close_boxes

vp_write_settings "{
  \"Mode\":2,
  \"URLTest\":\"https:\\/\\/$test_host:8449\\/FiskalizacijaServiceTest\",
  \"URLProduction\":\"https:\\/\\/$production_host\\/FiskalizacijaService\",
  \"CallDNS\":false
}"

# expect_hosts DESCRIPTION PRINTF_FORMAT: the hosts file holds exactly these bytes.
expect_hosts() {
  # shellcheck disable=SC2059 # the format is the expected bytes, escapes included
  printf "$2" >"$VP_WORK/expected"
  vp_expect_file "$1" "$hosts" "$VP_WORK/expected"
  if ! cmp -s "$hosts" "$VP_WORK/expected"; then
    vp_log "hosts file now: $(od -c "$hosts" | head -n 20)"
  fi
}

# run_switch NAME SWITCH: the program with the switch, which must end by itself without a window.
run_switch() {
  vp_start_program "$1" "$2"
  if ! vp_wait_exit "$1" 60; then
    vp_fail "$2 ends by itself"
    local window
    window=$(vp_find_window "$notice_title" 1) && vp_screenshot "$window" "hosts-unexpected-$1"
    return
  fi
  vp_expect "$2 ends with exit code 0" 0 "$VP_EXIT"
}

# answer_notice NAME: the backup notice of that program shows; OK.
answer_notice() {
  local window
  if ! window=$(vp_find_window "$notice_title" 60); then
    vp_fail "the backup notice shows: $(vp_output "$1")"
    return 1
  fi
  vp_pass "the backup notice shows"
  vp_screenshot "$window" "hosts-backup-notice"
  answer_box "$window" "$notice_title" Return
}

# Lines with either host in any place (a comment too), the test host in capitals, a NUL byte,
# 8-bit text, a long line, mixed line ends and no line end at the end.
long=$(printf 'x%.0s' $(seq 3000))
start='127.0.0.1 localhost\r\n# '$test_host' komentar\n10.0.0.1 '$production_host'\r'
start+='192.168.1.1 CISTEST.APIS-IT.HR\r\n8bit \350\271 \000 nul\n'$long'\n::1 localhost'
kept='127.0.0.1 localhost\r\n192.168.1.1 CISTEST.APIS-IT.HR\r\n8bit \350\271 \000 nul\r\n'
kept+=$long'\r\n::1 localhost\r\n'
# shellcheck disable=SC2059 # the format is the file's bytes, escapes included
printf "$start" >"$hosts"
cp "$hosts" "$VP_WORK/hosts.start"

# The first change: the notice names the backup, the backup is the file as it was.
vp_start_program hosttest /hosttest
answer_notice hosttest
vp_wait_exit hosttest 60
vp_expect "/hosttest ends with exit code 0" 0 "$VP_EXIT"
vp_expect "the notice names the backup" \
  "Hosts file će prije izmjene biti spremljen na sljedećoj lokaciji: C:\\ProgramData\\VormetraProxy\\hosts. " \
  "$(vp_message_boxes hosttest)"
vp_expect_file "the backup is the hosts file before the change" "$backup" "$VP_WORK/hosts.start"
expect_hosts "/hosttest: both hosts' lines gone, the test line last, CR LF everywhere" \
  "$kept"'127.0.0.1 '$test_host'\r\n'

# Later changes: no notice, the first backup stays.
run_switch hostprod /hostprod
expect_hosts "/hostprod: the test line gone, the production line last" \
  "$kept"'127.0.0.1 '$production_host'\r\n'
run_switch hosttest-capitals -HOSTTEST
expect_hosts "-HOSTTEST is /hosttest" "$kept"'127.0.0.1 '$test_host'\r\n'
run_switch hostremove /hostremove
expect_hosts "/hostremove: the lines of both hosts gone, the rest kept" "$kept"
vp_expect_file "the backup is still the first one" "$backup" "$VP_WORK/hosts.start"

# A removal that finds nothing does not rewrite the file (its LF line ends stay).
printf '127.0.0.1 localhost\n::1 localhost' >"$hosts"
run_switch hostremove-nothing /hostremove
expect_hosts "/hostremove without lines to remove leaves the file untouched" \
  '127.0.0.1 localhost\n::1 localhost'

# Without the right to write (another program holds the file open for reading, as a process
# without rights finds it: Wine lets root write a read-only file): the question; Yes starts a copy
# with the same switch and waits for it, which asks again; Cancel there changes nothing.
vp_start_tool holder vp-file-hold "$(vp_windows_path "$hosts")"
if ! vp_wait_output holder '^held' 30; then
  vp_fail "another program holds the hosts file: $(vp_output holder)"
  vp_done
fi
vp_start_program readonly-hostprod /hostprod
if question=$(vp_find_window "$question_title" 60); then
  vp_pass "without rights the question comes (no notice: the backup is there)"
  vp_screenshot "$question" "hosts-relaunch-question"
  answer_box "$question" "$question_title" Return
  second=""
  deadline=$((SECONDS + 60))
  while [ -z "$second" ] && [ $SECONDS -lt $deadline ]; do
    second=$(xdotool search --onlyvisible --name "^$question_title\$" 2>/dev/null |
      grep -vx "$question" | head -n 1)
    [ -n "$second" ] || sleep 0.2
  done
  if [ -n "$second" ]; then
    vp_pass "Yes starts a second copy, which asks again"
    copy_pid=$(xdotool getwindowpid "$second" 2>/dev/null)
    copy_command=$(tr '\0' ' ' <"/proc/$copy_pid/cmdline" 2>/dev/null)
    vp_expect_contains "the copy has the same switch" "/hostprod" "$copy_command"
    vp_expect "the first copy waits for the second" yes "$(vp_running readonly-hostprod && echo yes)"
    answer_box "$second" "$question_title" Escape
  else
    vp_fail "Yes starts a second copy, which asks again"
  fi
else
  vp_fail "without rights the question comes: $(vp_output readonly-hostprod)"
fi
vp_wait_exit readonly-hostprod 60
question_text='Program će se pokrenuti sa administratorskim ovlastima.\r\n\r\nŽelite li nastaviti'
vp_expect "both copies ask for administrator rights" "$question_text"$'\n'"$question_text" \
  "$(vp_message_boxes readonly-hostprod)"
vp_expect "the first copy ends after the second, with exit code 0" 0 "$VP_EXIT"
expect_hosts "Cancel in the copy leaves the hosts file as it was" '127.0.0.1 localhost\n::1 localhost'

# The notice comes before the question, and Cancel starts nothing.
rm -f "$backup"
vp_start_program readonly-hosttest /hosttest
if notice=$(vp_find_window "$notice_title" 60); then
  vp_expect "the notice comes first, alone" yes \
    "$(vp_no_window "$question_title" 1 && echo yes)"
  answer_box "$notice" "$notice_title" Return
  if question=$(vp_find_window "$question_title" 60); then
    vp_pass "then the question comes"
    answer_box "$question" "$question_title" Escape
    vp_wait_exit readonly-hosttest 60
    vp_expect "Cancel ends the program with exit code 0" 0 "$VP_EXIT"
    vp_expect "Cancel starts no copy" yes "$(vp_no_window "$question_title" 3 && echo yes)"
  else
    vp_fail "then the question comes"
  fi
else
  vp_fail "the backup notice comes first: $(vp_output readonly-hosttest)"
fi
vp_stop holder
expect_hosts "Cancel leaves the hosts file as it was" '127.0.0.1 localhost\n::1 localhost'
vp_expect_file "the backup is made also without the right to write" "$backup" "$hosts"
vp_done
