#!/usr/bin/env bash
# The TLS library is loaded from the program's own folder only: started from a folder that holds
# DLLs of the library's names, a program without them beside it must not load those (the current
# folder and the PATH are folders a user may write; the service runs as LocalSystem). Its forward
# over HTTPS then fails, and the till gets the empty answer.
source "$(dirname "$0")/lib.sh"

vp_start_upstream upstream tls "<never/>"
vp_write_settings "{
  \"Mode\":1,
  \"URLTest\":\"https:\\/\\/127.0.0.1:$VP_UPSTREAM_PORT\\/FiskalizacijaServiceTest\",
  \"CallDNS\":false
}"
mkdir -p "$VP_WORK/alone" "$VP_WORK/planted"
cp "$VP_APP_EXE" "$VP_WORK/alone/"
cp "$VP_APP_DIR"/lib*.dll "$VP_WORK/planted/"

vp_require_free_port 8449
vp_start proxy env --chdir="$VP_WORK/planted" PATH="$VP_WORK/planted:$PATH" \
  "$WINE" "$(vp_windows_path "$VP_WORK/alone/VormetraProxy.exe")" /serve
if ! vp_wait_port 8449 60 proxy; then
  vp_fail "the proxy listens on 8449: $(vp_output proxy)"
  vp_done
fi
got=$(curl -sS --max-time 30 -D "$VP_WORK/head" --data-binary '<r/>' \
  http://127.0.0.1:8449/FiskalizacijaServiceTest)
vp_expect "the forward fails without the library beside the program" "" "$got"
vp_expect_contains "and the till still gets its 200" "200" "$(head -n 1 "$VP_WORK/head")"
vp_stop proxy 30
vp_done
