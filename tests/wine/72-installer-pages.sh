#!/usr/bin/env bash
# The installer clicked through as a shop owner does, from the keyboard: the welcome page, the
# folder, the service page with its box ticked, Instaliraj, and Kraj with the program started; then
# it has installed the files, the uninstall entry and the running service. The uninstaller the
# same way: Ukloni, the settings kept, Zatvori; then the service, the files and the entry are gone.
# Pictures of the service page and of the last page: build/screenshots/installer-*.png.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/tray.sh"
source "$(dirname "$0")/installer.sh"

installer="Instalacija programa Vormetra Proxy"
uninstaller="Uklanjanje programa Vormetra Proxy"
# The wizard's own controls: the page's heading and the button that goes on.
heading=1037
next=1

# wizard TITLE: the wizard's window, whose title some pages end with a space.
wizard() { vp_find_window "$1 ?" $((60 * ${VP_TIME_FACTOR:-1})); }

# shows WINDOW CONTROL TEXT: the wizard's control reads the text (its page is there).
# shellcheck disable=SC2317 # run by within
shows() {
  [ "$(vp_run_tool 30 vp-window-text "" control "$(xdotool getwindowname "$1")" "$2")" == "$3" ]
}

# page WINDOW CONTROL TEXT DESCRIPTION KEY...: waits for the page, then presses the keys.
page() {
  local window=$1 control=$2 text=$3 description=$4
  shift 4
  if ! within $((60 * ${VP_TIME_FACTOR:-1})) shows "$window" "$control" "$text"; then
    fail "$description: no page with [$text] came"
    return 1
  fi
  vp_pass "$description"
  keys "$window" "$@"
}

vp_require_free_port 8449
vp_write_settings '{"Mode":1,"Active":false,"CallDNS":false}'

echo "  the installer"
vp_start setup "$WINE" "$(vp_windows_path "$setup")"
if ! window=$(wizard "$installer"); then
  fail "the installer shows its window"
  vp_done
fi
page "$window" $next "&Dalje >" "the welcome page" Return
page "$window" $heading "Odaberite odredište za instalaciju" "the folder page" Return
# From Instaliraj, which has the keyboard, past Odustani to the box.
page "$window" $heading "Windows servis" "the service page" Tab Tab space
vp_screenshot "$window" installer-service-page
page "$window" $next "&Instaliraj" "the service page ends with Instaliraj" Return
page "$window" $next "&Kraj" "the last page"
vp_screenshot "$window" installer-last-page
keys "$window" Return
vp_wait_exit setup 60
vp_expect "the installer ends with exit code 0" 0 "$VP_EXIT"

for file in VormetraProxy.exe libcrypto-3*.dll libssl-3*.dll certs.bat Upute.txt Uninstall.exe \
  fakeFinaCA.crt fakeFina.key; do
  vp_expect "$file is installed" 1 "$(find "$VP_APP_DIR" -maxdepth 1 -name "$file" | wc -l)"
done
vp_expect "the ticked box installed the service, which runs" running "$(service_state)"
vp_expect "Add or remove programs has it" "$version" "$(registry "$uninstall_key" DisplayVersion)"
vp_expect "in the folder chosen" "$(vp_windows_path "$VP_APP_DIR")" \
  "$(registry "$uninstall_key" InstallLocation)"
check "Kraj starts the program, which shows its window" find_quietly "Vormetra Proxy"

echo "  the uninstaller"
WINEDEBUG=$WINEDEBUG,trace+msgbox vp_start uninstall "$WINE" \
  "$(vp_windows_path "$VP_APP_DIR/Uninstall.exe")"
if ! window=$(wizard "$uninstaller"); then
  fail "the uninstaller shows its window"
  vp_done
fi
page "$window" $next "&Ukloni" "the confirmation page" Return
# The question about the settings, answered with its default: no.
answer "$uninstaller" "$window" Return "the settings are kept"
page "$window" $heading "Uklanjanje završeno" "the uninstaller's last page" Return
check "the uninstaller's window closes" within 30 box_gone "$window"
vp_expect "it asked about the settings in Croatian" \
  "Obrisati i podešavanja programa (C:\\ProgramData\\VormetraProxy)?" \
  "$(vp_message_boxes uninstall | head -n 1)"

within $((30 * ${VP_TIME_FACTOR:-1})) program_folder_gone
vp_expect "the program folder is gone" gone "$(program_folder_gone && echo gone)"
vp_expect "the service is gone" missing "$(service_state)"
check "the program's window is gone" vp_no_window "Vormetra Proxy" 10
vp_expect "the uninstall entry is gone" gone "$(no_uninstall_entry && echo gone)"
vp_expect_file "the settings stay" "$VP_SETTINGS"
vp_done
