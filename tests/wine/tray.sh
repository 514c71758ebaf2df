# shellcheck shell=bash disable=SC2034,SC2154
# (the checks that source this set main and use test_entry.)
# Helpers of the checks of the tray application's windows (40-tray-*.sh); sourced after lib.sh.
# Not a check of its own: its name does not start with two digits.

# The program runs on a Wine desktop of its own, which has a taskbar with a notification area as
# Windows has; its first icon sits at the right end. Menus are worked from the keyboard (F10, the
# arrows, Enter), which does not depend on where the fonts put each item.
desktop_size=1024x768
tray_icon_x=1013
tray_icon_y=758
title="Vormetra Proxy"
hosts_file="$WINEPREFIX/drive_c/windows/system32/drivers/etc/hosts"
hosts_backup="$(dirname "$VP_SETTINGS")/hosts"
test_entry="127.0.0.1 cistest.apis-it.hr"

shots=0
# fail DESCRIPTION: a failure, with a picture of the whole screen that shows why.
fail() {
  shots=$((shots + 1))
  import -window root "$VP_WORK/failure-$shots.png" 2>/dev/null
  vp_fail "$1 (screen: $VP_WORK/failure-$shots.png)"
}

# check DESCRIPTION COMMAND...: ok when the command succeeds, else a failure with its picture.
check() {
  local description=$1
  shift
  if "$@"; then vp_pass "$description"; else fail "$description"; fi
}

# Wine 10 gives a desktop of its own a taskbar only when the registry asks for one (else its
# notification area is a lone window in the top left corner); Wine 8 always does.
"$WINE" reg add 'HKCU\Software\Wine\Explorer\Desktops\VormetraProxy' /v EnableShell \
  /t REG_DWORD /d 1 /f >/dev/null 2>&1

# start_tray NAME: the program without switches, in its folder, on the desktop.
start_tray() {
  vp_start "$1" env --chdir="$VP_APP_DIR" "$WINE" explorer "/desktop=VormetraProxy,$desktop_size" \
    "$(vp_windows_path "$VP_APP_EXE")"
}

# geometry WINDOW: "x y width height" of the whole window on the screen. (xwininfo: xdotool
# misplaces Wine's windows on a desktop of their own.)
geometry() {
  xwininfo -id "$1" | awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF}
    /Width:/ {w=$NF} /Height:/ {h=$NF} END {print x, y, w, h}'
}

# keys WINDOW KEY...: a click on the window's caption makes it the active window (a message box
# that closes leaves none active under Wine, and keys go to the active window), then one key after
# the other, each given time to take effect.
keys() {
  local window=$1 key x y width height
  shift
  read -r x y width height < <(geometry "$window")
  xdotool mousemove $((x + width / 2)) $((y + 8)) click 1
  sleep 0.5
  for key in "$@"; do
    vp_press_key "$window" "$key"
    sleep 0.5
  done
}

# within SECONDS COMMAND...: until the command succeeds, at most that long.
within() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    [ $SECONDS -lt $deadline ] || return 1
    sleep 0.3
  done
}

# menu WINDOW COMMAND -- KEY...: the keys of a menu item, until the command (the item's effect)
# succeeds. A key that comes before the menu is ready is lost on a loaded machine, which leaves the
# menu open: it is closed and the item tried again, three times at most.
menu() {
  local window=$1 try
  shift
  local effect=()
  while [ "$1" != "--" ]; do
    effect+=("$1")
    shift
  done
  shift
  for try in 1 2 3; do
    keys "$window" "$@"
    within 15 "${effect[@]}" && return 0
    vp_press_key "$window" Escape
    vp_press_key "$window" Escape
  done
  return 1
}

# show_from_tray: clicks the tray icon until the main window shows; prints its id.
show_from_tray() {
  local deadline=$((SECONDS + 60)) id
  while [ $SECONDS -lt $deadline ]; do
    xdotool mousemove "$tray_icon_x" "$tray_icon_y" click 1
    if id=$(vp_find_window "$title" 2); then
      echo "$id"
      return 0
    fi
  done
  return 1
}

# box TITLE OTHER_THAN: the id of a visible message box with that caption other than the window
# named (the main window carries the same title as the notices).
box() {
  local id
  for id in $(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null); do
    if [ "$id" != "$2" ]; then
      echo "$id"
      return 0
    fi
  done
  return 1
}

# answer TITLE OTHER_THAN KEY DESCRIPTION: waits for the box, presses the key until it goes.
answer() {
  local id try
  if ! id=$(within 20 box "$1" "$2"); then
    fail "$4: no box \"$1\" came"
    return 1
  fi
  for try in 1 2 3; do
    vp_press_key "$id" "$3"
    if within 5 box_gone "$id"; then
      vp_pass "$4"
      return 0
    fi
  done
  fail "$4: the box stays"
}

box_gone() { ! xdotool search --onlyvisible --name . 2>/dev/null | grep -qx "$1"; }
port_taken() { vp_port_taken 8449; }
port_free() { ! vp_port_taken 8449; }
ended() { ! vp_running "$1"; }
settings_have() { grep -qF "$1" "$VP_SETTINGS"; }
find_quietly() { vp_find_window "$1" 1 >/dev/null; }
notice_shown() { box "$title" "$main" >/dev/null; }
service_gone() { ! "$WINE" sc query VormetraProxyService >/dev/null 2>&1; }
service_stopped() { service_gone || "$WINE" sc query VormetraProxyService | grep -q 'STATE *: *1 '; }

# close_window NAME WINDOW: Program, Zatvori; the program (and its desktop) ends.
close_window() {
  menu "$2" ended "$1" -- F10 Return Down Down Return
  vp_wait_exit "$1" 30
  check "the program ends when its window closes" [ "$VP_EXIT" != running ]
}

# Whatever a failed step leaves behind in the shared prefix goes: the service, the hosts line.
clean_up() {
  local program
  program=$(vp_windows_path "$VP_APP_EXE")
  if ! service_gone; then
    (cd "$VP_APP_DIR" && timeout 60 "$WINE" "$program" /stop && timeout 60 "$WINE" "$program" \
      /uninstall /silent) >/dev/null 2>&1
  fi
  if [ -f "$hosts_backup" ]; then
    cp "$hosts_backup" "$hosts_file"
    rm -f "$hosts_backup"
  fi
}
trap 'vp_stop_all; clean_up' EXIT
