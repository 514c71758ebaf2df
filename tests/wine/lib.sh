# shellcheck shell=bash disable=SC2034,SC2154
# (the checks that source this read the variables it sets.)
# Shared helpers of the Wine end-to-end checks. Sourced by every check; not run on its own.
#
# The harness (tools/wine-test.sh) runs each check in this folder whose name starts with two
# digits (10-serve-mode1.sh, 20-...), in name order, once per Windows build it runs, each as its
# own `bash CHECK` process, after it has made a fresh Wine prefix, booted it, started Xvfb and
# put the build's dist/ folder (with a fresh certificate set) into the prefix. A new check is
# added by dropping a new NN-name.sh here. The checks of a build share its prefix, one after the
# other, so a check puts back what it changes there beyond the settings file, which each check
# writes afresh. A check:
#   - starts with `source "$(dirname "$0")/lib.sh"`;
#   - starts programs with vp_start / vp_start_program, which remember their pids (every one still
#     running when the check ends is stopped with its process group: SIGINT, then SIGKILL after a
#     bound);
#   - waits only with bounds (vp_wait_port, vp_wait_exit, vp_find_window, ...), and needs port
#     8449 free first (vp_require_free_port) when it starts the program's listener;
#   - drives windows through Xvfb: vp_find_window TITLE, vp_press_key, vp_screenshot;
#   - states each expectation with vp_expect / vp_expect_file / vp_expect_contains, which print
#     one "ok" or "FAIL" line each and go on;
#   - ends with vp_done, whose exit code (0 only when nothing failed) is the check's result.
#
# What the harness hands a check, in the environment:
#   VP_ROOT        the checkout                       VP_ARCH      x86_64 or i686
#   VP_BUILD       the Windows build folder            VP_APP_DIR   the program folder in the prefix
#   VP_APP_EXE     VormetraProxy.exe in VP_APP_DIR     VP_SETTINGS  C:\ProgramData\...\Settings.ini
#   VP_WORK        an empty scratch folder of this check's own (logs, recorded requests)
#   VP_UPSTREAM_TOOL  the native upstream program (tests/wine/UpstreamTool.cpp)
#   VP_TEST_TOOLS  the build's Windows test tools (tests/wine/*Tool.cpp but UpstreamTool.cpp), with
#                  the TLS library beside them: vp-service-control.exe, vp-cert-store.exe,
#                  vp-file-hold.exe; run them with vp_run_tool or vp_start_tool
#   VP_SCREENSHOTS build/screenshots, for pictures of windows
#   VP_TIME_FACTOR how many times longer the waits below may be (3 where the code is emulated)
#   VP_EMULATED    set when the 32-bit code runs under qemu-i386
#   WINE (the command that runs a Windows program: the loader, in a Croatian locale), WINEPREFIX,
#   WINELOADER, WINEDEBUG, DISPLAY (the run's Xvfb)
# All paths are Linux paths; vp_windows_path turns one into the form the program sees.

set -uo pipefail

VP_FAILURES=0
declare -A VP_PIDS=()

vp_log() { echo "    $*"; }

vp_pass() { echo "  ok    $1"; }

vp_fail() {
  echo "  FAIL  $1"
  VP_FAILURES=$((VP_FAILURES + 1))
}

# vp_expect DESCRIPTION EXPECTED ACTUAL
vp_expect() {
  if [ "$2" == "$3" ]; then
    vp_pass "$1"
  else
    vp_fail "$1: expected [$2], got [$3]"
  fi
}

# vp_expect_contains DESCRIPTION NEEDLE TEXT
vp_expect_contains() {
  if [[ "$3" == *"$2"* ]]; then
    vp_pass "$1"
  else
    vp_fail "$1: [$2] not in [$3]"
  fi
}

# vp_expect_file DESCRIPTION FILE [EXPECTED_FILE]: the file exists (and equals the other byte for
# byte).
vp_expect_file() {
  if [ ! -f "$2" ]; then
    vp_fail "$1: no file $2"
  elif [ $# -ge 3 ] && ! cmp -s "$2" "$3"; then
    vp_fail "$1: $2 differs from $3"
  else
    vp_pass "$1"
  fi
}

# Ends the check: stops what is still running, puts back what it registered with vp_at_exit and
# exits with the result.
vp_done() {
  vp_finish
  [ "$VP_FAILURES" -eq 0 ]
  exit $?
}

# C:\... for a path inside the prefix's drive_c, Z:\... (Wine's view of /) for any other.
vp_windows_path() {
  local path=$1 drive_c="$WINEPREFIX/drive_c"
  if [[ "$path" == "$drive_c"/* ]]; then
    path="C:${path#"$drive_c"}"
  else
    path="Z:$path"
  fi
  echo "${path//\//\\}"
}

# vp_start NAME COMMAND...: runs the command in the background, its output in $VP_WORK/NAME.log,
# as a process group of its own, as a terminal runs a command: Wine 10 starts a program through
# start.exe /exec, which runs it as a second process of the group, and the Ctrl+C of vp_stop
# reaches both, as it reaches every process on the console in Windows. (The command keeps the pid
# it is started with: a background process leads no group, so setsid needs no fork.)
vp_start() {
  local name=$1
  shift
  setsid "$@" >"$VP_WORK/$name.log" 2>&1 &
  VP_PIDS[$name]=$!
}

# vp_start_program NAME ARGUMENTS...: VormetraProxy.exe under Wine, started in its own folder.
vp_start_program() {
  local name=$1
  shift
  # By its Windows path, as a user starts it, so the program sees its folder as C:\...; Wine
  # traces the text of every message box it shows (vp_message_boxes).
  WINEDEBUG=$WINEDEBUG,trace+msgbox vp_start "$name" env --chdir="$VP_APP_DIR" "$WINE" \
    "$(vp_windows_path "$VP_APP_EXE")" "$@"
}

# vp_message_boxes NAME: the texts of the message boxes the program has shown so far, one a line
# (a line break inside a text as the two characters \r, \n), from Wine's trace of each; Wine cuts
# a long text short, ending the trace with "...".
vp_message_boxes() {
  python3 - "$VP_WORK/$1.log" <<'DECODE'
import re, sys
escapes = {"n": "\\n", "r": "\\r", "t": "\t"}
def char(match):
    if match.group(1):
        return chr(int(match.group(1), 16))
    return escapes.get(match.group(2), match.group(2))
with open(sys.argv[1], encoding="utf-8", errors="replace") as log:
    for line in log:
        found = re.search(r'trace:msgbox:\S+ L"(.*)"(?:\.\.\.)?\s*$', line)
        if found:
            print(re.sub(r'\\([0-9a-fA-F]{4})|\\(.)', char, found.group(1)))
DECODE
}

# vp_wine_output ARGUMENTS...: runs a program under Wine to its end and prints what it wrote, with
# its exit code. Through a file, not a pipe: a desktop process that Wine starts on the way inherits
# the output, and would keep a pipe open, and a $(...) waiting, long after the program has ended.
vp_wine_output() {
  local out code
  out=$(mktemp -p "$VP_WORK" wine-output.XXXXXX)
  "$WINE" "$@" >"$out" 2>&1
  code=$?
  cat "$out"
  rm -f "$out"
  return $code
}

vp_running() { kill -0 "${VP_PIDS[$1]}" 2>/dev/null; }

vp_output() { cat "$VP_WORK/$1.log" 2>/dev/null; }

# vp_wait_exit NAME SECONDS: waits for the program to end; sets VP_EXIT to its exit code, or to
# "running" when it has not ended within the bound.
vp_wait_exit() {
  local name=$1 deadline=$((SECONDS + $2 * ${VP_TIME_FACTOR:-1}))
  while vp_running "$name" && [ $SECONDS -lt "$deadline" ]; do sleep 0.2; done
  if vp_running "$name"; then
    VP_EXIT=running
    return 1
  fi
  wait "${VP_PIDS[$name]}"
  VP_EXIT=$?
  unset "VP_PIDS[$name]"
}

# vp_stop NAME [SECONDS]: SIGINT to its process group (Ctrl+C under Wine), then waits; sets VP_EXIT
# like vp_wait_exit. A program that does not end in time is killed, and VP_EXIT says "running".
vp_stop() {
  local name=$1 seconds=${2:-15}
  [ -n "${VP_PIDS[$name]:-}" ] || return 0
  local pid=${VP_PIDS[$name]}
  kill -INT -- "-$pid" 2>/dev/null || kill -INT "$pid" 2>/dev/null
  if ! vp_wait_exit "$name" "$seconds"; then
    kill -KILL -- "-$pid" 2>/dev/null || kill -KILL "$pid" 2>/dev/null
    wait "${VP_PIDS[$name]}" 2>/dev/null
    unset "VP_PIDS[$name]"
    VP_EXIT=running
    return 1
  fi
}

vp_stop_all() {
  local name
  for name in "${!VP_PIDS[@]}"; do vp_stop "$name" 10 || vp_log "$name had to be killed"; done
}

# vp_at_exit COMMAND...: puts something back when the check ends, however it ends, after what it
# started has been stopped; the last one registered runs first.
VP_AT_EXIT=()
vp_at_exit() {
  local quoted
  printf -v quoted '%q ' "$@"
  VP_AT_EXIT=("$quoted" "${VP_AT_EXIT[@]}")
}

vp_finish() {
  vp_stop_all
  local command
  for command in "${VP_AT_EXIT[@]}"; do eval "$command" || vp_log "putting back failed: $command"; done
  VP_AT_EXIT=()
}
trap vp_finish EXIT
# A check stopped from outside (the harness's time bound) still stops what it started.
trap 'exit 143' TERM
trap 'exit 130' INT

vp_port_taken() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

# vp_wait_port PORT [SECONDS [NAME]]: until something accepts on 127.0.0.1:PORT; with NAME, gives
# up as soon as that program has ended (so another program's port does not count as its own).
vp_wait_port() {
  local deadline=$((SECONDS + ${2:-30} * ${VP_TIME_FACTOR:-1}))
  while [ $SECONDS -lt "$deadline" ]; do
    [ -n "${3:-}" ] && ! vp_running "$3" && return 1
    vp_port_taken "$1" && return 0
    sleep 0.2
  done
  return 1
}

# vp_require_free_port PORT [SECONDS]: waits until nothing on this machine listens on the port,
# or ends the check with a failure that names the cause: the checks need the program's own port.
vp_require_free_port() {
  local deadline=$((SECONDS + ${2:-60}))
  while vp_port_taken "$1"; do
    if [ $SECONDS -ge "$deadline" ]; then
      vp_fail "port $1 is free for the program (another program on this machine holds it)"
      vp_done
    fi
    sleep 0.5
  done
}

# vp_wait_output NAME PATTERN [SECONDS]: until the program's output has a line matching the
# extended regular expression.
vp_wait_output() {
  local deadline=$((SECONDS + ${3:-30}))
  while [ $SECONDS -lt "$deadline" ]; do
    grep -qE "$2" "$VP_WORK/$1.log" 2>/dev/null && return 0
    sleep 0.1
  done
  return 1
}

# vp_start_upstream NAME tls|plain BODY: the native upstream on a free loopback port. Sets
# VP_UPSTREAM_PORT; the requests it receives appear as $VP_WORK/NAME-requests/request-1, -2, ...
vp_start_upstream() {
  local name=$1
  mkdir -p "$VP_WORK/$name-requests"
  vp_start "$name" "$VP_UPSTREAM_TOOL" "$2" "$3" "$VP_WORK/$name-requests"
  if ! vp_wait_output "$name" '^port [0-9]+$' 30; then
    vp_fail "upstream $name did not start: $(vp_output "$name")"
    vp_done
  fi
  VP_UPSTREAM_PORT=$(sed -n 's/^port //p' "$VP_WORK/$name.log")
}

# vp_wait_file PATH [SECONDS]
vp_wait_file() {
  local deadline=$((SECONDS + ${2:-10} * ${VP_TIME_FACTOR:-1}))
  while [ ! -f "$1" ] && [ $SECONDS -lt "$deadline" ]; do sleep 0.1; done
  [ -f "$1" ]
}

# vp_write_settings JSON: the program's settings file in the prefix.
vp_write_settings() {
  mkdir -p "$(dirname "$VP_SETTINGS")"
  printf '%s' "$1" >"$VP_SETTINGS"
}

# vp_find_window TITLE [SECONDS]: prints the id of the first visible window with that title.
vp_find_window() {
  local deadline=$((SECONDS + ${2:-20})) id
  while [ $SECONDS -lt "$deadline" ]; do
    id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1)
    if [ -n "$id" ]; then
      echo "$id"
      return 0
    fi
    sleep 0.2
  done
  return 1
}

# vp_press_key WINDOW KEY: a key press (xdotool's names: Return, Escape, y, alt+n) to the window.
# Xvfb has no window manager, whose missing focus xdotool reports on stderr; the key arrives.
vp_press_key() {
  xdotool key --window "$1" "$2" 2>/dev/null
}

# vp_screenshot WINDOW NAME: the window as $VP_SCREENSHOTS/NAME.png.
vp_screenshot() {
  mkdir -p "$VP_SCREENSHOTS"
  import -window "$1" "$VP_SCREENSHOTS/$2.png"
}

# vp_run_tool SECONDS TOOL ARGUMENTS...: one of the Windows test tools under Wine, waited for at most
# SECONDS; prints its standard output with CR LF made LF, its errors go to $VP_WORK/TOOL.errors.
# The tool's exit code (124 when it was stopped at the bound).
vp_run_tool() {
  local seconds=$1 tool=$2
  shift 2
  timeout -k 5 "$seconds" "$WINE" "$VP_TEST_TOOLS/$tool.exe" "$@" \
    2>>"$VP_WORK/$tool.errors" | tr -d '\r'
  return "${PIPESTATUS[0]}"
}

# vp_start_tool NAME TOOL ARGUMENTS...: a Windows test tool in the background, like vp_start.
vp_start_tool() {
  local name=$1 tool=$2
  shift 2
  vp_start "$name" "$WINE" "$VP_TEST_TOOLS/$tool.exe" "$@"
}

# vp_no_window TITLE SECONDS: true when no visible window of that title shows up within SECONDS.
vp_no_window() { ! vp_find_window "$1" "$2" >/dev/null; }
