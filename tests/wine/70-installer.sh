#!/usr/bin/env bash
# The installer as a shop owner's machine runs it, into a program folder of its own (the harness's
# is moved aside meanwhile): a silent install without the service registers the tray application
# to start at logon, which then shows its window from the tray; a silent install with /SERVICE=1
# over it makes the certificates and runs the service, which forwards mode 2 end to end with the
# root trusted; a newer-numbered installer over that leaves the service running and the settings
# and certificates as they were; the silent uninstall, waited for, takes out the service, the hosts
# line, the root, the files, the shortcut, the autostart and the uninstall entry, and leaves the
# settings, which a second uninstall with /PURGE=1 takes as well. What is installed is stripped and
# signed, and so is the uninstaller.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/tray.sh"
source "$(dirname "$0")/installer.sh"
newer=${version%.*}.$((${version##*.} + 1))

signing_cert=$VP_ROOT/build/signing/test-signing.crt
host=cistest.apis-it.hr
answer='<tns:RacunOdgovor><tns:Jir>installed-jir</tns:Jir></tns:RacunOdgovor>'

# run_setup NAME FILE SWITCH...: an installer or a batch file (under cmd) run to its end, exit
# code 0 expected.
run_setup() {
  local name=$1 file
  file=$(vp_windows_path "$2")
  shift 2
  if [[ $file == *.bat ]]; then set -- cmd /c "$file"; else set -- "$file" "$@"; fi
  vp_start "$name" "$WINE" "$@"
  if ! vp_wait_exit "$name" 180; then
    vp_fail "$name ends by itself"
    vp_done
  fi
  vp_expect "$name ends with exit code 0" 0 "$VP_EXIT"
}

# forward DESCRIPTION: a TLS 1.0 request as the test host through port 8449 comes back answered.
forward() {
  local got
  vp_wait_port 8449 60 || true
  got=$(curl -sS --max-time 30 --tlsv1.0 --tls-max 1.0 --ciphers 'DEFAULT@SECLEVEL=0' \
    --cacert "$VP_WORK/root.pem" --resolve "$host:8449:127.0.0.1" --data-binary '<Racun/>' \
    "https://$host:8449/FiskalizacijaServiceTest" 2>&1)
  vp_expect "$1" "$answer" "$got"
}

vp_require_free_port 8449
vp_write_settings '{"Mode":1,"Active":false,"CallDNS":false}'

echo "  without the service: files, entries, the tray at logon"
run_setup install-plain "$setup" /S
for file in VormetraProxy.exe certs.bat Upute.txt Uninstall.exe fakeFinaCA.crt fakeFinaTest.key \
  fakeFina.key; do
  vp_expect_file "$file is installed" "$VP_APP_DIR/$file"
done
vp_expect "the installed program is stripped" yes "$([ "$(stat -c %s "$VP_APP_EXE")" -lt \
  "$(stat -c %s "$VP_BUILD/dist/VormetraProxy.exe")" ] && echo yes)"
for file in VormetraProxy.exe Uninstall.exe; do
  vp_expect "$file is signed" ok "$(osslsigncode verify -CAfile "$signing_cert" \
    -in "$VP_APP_DIR/$file" >"$VP_WORK/verify.log" 2>&1 && echo ok)"
done
vp_expect "no service without /SERVICE=1" missing "$(service_state)"
vp_expect "Add or remove programs shows the version" "$version" \
  "$(registry "$uninstall_key" DisplayVersion)"
vp_expect "and the publisher" Vormetra "$(registry "$uninstall_key" Publisher)"
vp_expect_file "the Start menu has the program" "$shortcut"
logon=$(registry "$run_key" "Vormetra Proxy")
vp_expect "the tray application starts at every logon" "\"$(vp_windows_path "$VP_APP_EXE")\"" "$logon"
# What the logon runs: the program without switches, as start_tray starts it.
start_tray tray
if main=$(show_from_tray); then
  vp_pass "started as at logon, it shows its window from the tray"
  close_window tray "$main"
else
  fail "started as at logon, it shows its window from the tray"
fi

echo "  with the service, then a newer version over it"
vp_start_upstream upstream tls "$answer"
vp_write_settings "{\"Mode\":2,\"Active\":true,\"IPTest\":\"127.0.0.1:$VP_UPSTREAM_PORT\",\"CallDNS\":false}"
run_setup install-service "$setup" /S /SERVICE=1
vp_expect "the service runs" running "$(service_state)"
openssl x509 -inform DER -in "$VP_APP_DIR/fakeFinaCA.crt" -out "$VP_WORK/root.pem"
forward "the service forwards mode 2 with the certificates the installer made"
root_key="HKCU\\Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\$(openssl x509 \
  -inform DER -in "$VP_APP_DIR/fakeFinaCA.crt" -noout -fingerprint -sha1 | sed 's/.*=//; s/://g')"
vp_expect "the root goes into the Root store" added \
  "$(cd "$VP_APP_DIR" && vp_run_tool 60 vp-cert-store add fakeFinaCA.crt Root)"
openssl x509 -in "$VP_APP_DIR/fakeFinaTest.crt" -outform DER -out "$VP_WORK/leaf.der"
vp_expect "and the test host's certificate is trusted" trusted \
  "$(vp_run_tool 60 vp-cert-store verify "$(vp_windows_path "$VP_WORK/leaf.der")" "$host")"
# With the hosts file's copy already made, the program changes it without its notice first.
[ -f "$hosts_backup" ] || cp "$hosts_file" "$hosts_backup"
vp_start_program hosttest /hosttest
vp_wait_exit hosttest 60
vp_expect "the hosts file has the test line" 1 "$(grep -c "$test_entry" "$hosts_file")"

kept=$(cd "$VP_APP_DIR" && cat fakeFina* | sha256sum)$(sha256sum <"$VP_SETTINGS")
bash "$VP_ROOT/tools/installer.sh" "$VP_BUILD" "$VP_ARCH" "$newer" "$VP_WORK" >"$VP_WORK/newer.log" 2>&1 ||
  vp_fail "the newer installer is made: $(cat "$VP_WORK/newer.log")"
run_setup install-newer "$(find "$VP_WORK" -maxdepth 1 -name "VormetraProxy-Setup-$newer*.exe")" /S
vp_expect "Add or remove programs shows the newer version" "$newer" \
  "$(registry "$uninstall_key" DisplayVersion)"
vp_expect "the service runs again" running "$(service_state)"
vp_expect "the certificates and the settings are unchanged" "$kept" \
  "$(cd "$VP_APP_DIR" && cat fakeFina* | sha256sum)$(sha256sum <"$VP_SETTINGS")"
forward "and it forwards as before"

echo "  the uninstaller"
# As a script runs it to wait for it: _?= last and unquoted, which only a command line given as
# it is keeps so.
printf '"%s" /S _?=%s\r\nexit /b %%errorlevel%%\r\n' "$(vp_windows_path "$VP_APP_DIR/Uninstall.exe")" \
  "$(vp_windows_path "$VP_APP_DIR")" >"$VP_WORK/uninstall.bat"
run_setup uninstall "$VP_WORK/uninstall.bat"
# The uninstaller's own file goes right after it ended, by its copy in the temp folder.
within $((30 * ${VP_TIME_FACTOR:-1})) program_folder_gone
vp_expect "the program folder is gone" gone "$([ -e "$VP_APP_DIR" ] && ls "$VP_APP_DIR" || echo gone)"
vp_expect "the service is gone" missing "$(service_state)"
vp_expect "the hosts line is gone" 0 "$(grep -c "$test_entry" "$hosts_file")"
vp_expect "the root is out of the Root store" gone \
  "$("$WINE" reg query "$root_key" >/dev/null 2>&1 || echo gone)"
vp_expect "the shortcut is gone" gone "$([ -e "$shortcut" ] || echo gone)"
vp_expect "the autostart is gone" "" "$(registry "$run_key" "Vormetra Proxy")"
vp_expect "the uninstall entry is gone" gone "$(no_uninstall_entry && echo gone)"
vp_expect_file "the settings stay" "$VP_SETTINGS"

echo "  the uninstaller with /PURGE=1"
run_setup install-again "$setup" /S
sed 's| /S | /S /PURGE=1 |' "$VP_WORK/uninstall.bat" >"$VP_WORK/purge.bat"
run_setup purge "$VP_WORK/purge.bat"
settings_folder=$(dirname "$VP_SETTINGS")
vp_expect "/PURGE=1 takes the settings folder too" gone "$([ -e "$settings_folder" ] || echo gone)"
vp_done
