#!/usr/bin/env bash
# Port 8449 held by another program: VormetraProxy.exe /serve reports the bind error and ends
# with exit code 1.
source "$(dirname "$0")/lib.sh"

vp_require_free_port 8449
vp_start holder "$VP_UPSTREAM_TOOL" hold 8449
if ! vp_wait_output holder '^port 8449$' 30; then
  vp_fail "another program holds port 8449: $(vp_output holder)"
  vp_done
fi
vp_write_settings '{"Mode":1,"CallDNS":false}'

vp_start_program proxy /serve
vp_wait_exit proxy 60
vp_expect "the program ends with exit code 1" 1 "$VP_EXIT"
vp_expect_contains "it says why" "Could not bind socket. Address and port are already in use." \
  "$(vp_output proxy)"
vp_done
