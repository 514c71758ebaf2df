# shellcheck shell=bash disable=SC2034,SC2154
# (the checks that source this read the variables it sets and set root_key.)
# Helpers of the checks of the Windows installer (70-installer.sh, 72-installer-pages.sh); sourced
# after lib.sh and tray.sh. Not a check of its own: its name does not start with two digits.
#
# Sourcing it finds the build's installer ($setup), or ends the check when there is none; then
# moves the harness's program folder and settings aside until the check ends, when the prefix gets
# them back as they were, with no trace of an installation left.

# tray.sh's own clean-up runs among the things the check puts back.
trap vp_finish EXIT

setup=$(find "$VP_BUILD/dist" -maxdepth 1 -name 'VormetraProxy-Setup-*.exe' | head -n 1)
if [ -z "$setup" ]; then
  vp_fail "the build has its installer (tools/installer.sh)"
  vp_done
fi
version=$(basename "$setup" | sed 's/^VormetraProxy-Setup-\([0-9.]*[0-9]\).*/\1/')

uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\VormetraProxy'
run_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
shortcut="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Vormetra Proxy.lnk"
root_key=""

# registry KEY NAME: the value's data, empty when there is none.
registry() {
  "$WINE" reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$2 *REG_[A-Z_]* *//p"
}
service_state() { vp_run_tool 60 vp-service-control status; }
no_uninstall_entry() { ! "$WINE" reg query "$uninstall_key" >/dev/null 2>&1; }
program_folder_gone() { [ ! -e "$VP_APP_DIR" ]; }

mv "$VP_APP_DIR" "$VP_WORK/harness-program"
[ -f "$VP_SETTINGS" ] && cp "$VP_SETTINGS" "$VP_WORK/harness-settings"
# shellcheck disable=SC2317 # run by vp_finish
put_back() {
  [ -z "$root_key" ] || "$WINE" reg delete "$root_key" /f >/dev/null 2>&1
  "$WINE" reg delete "$uninstall_key" /f >/dev/null 2>&1
  "$WINE" reg delete "$run_key" /v "Vormetra Proxy" /f >/dev/null 2>&1
  rm -rf "$VP_APP_DIR" "$shortcut"
  mv "$VP_WORK/harness-program" "$VP_APP_DIR"
  if [ -f "$VP_WORK/harness-settings" ]; then cp "$VP_WORK/harness-settings" "$VP_SETTINGS"; fi
}
vp_at_exit put_back
vp_at_exit clean_up
