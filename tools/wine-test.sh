#!/usr/bin/env bash
# The Windows test run under Wine, for each Windows build in turn: a fresh Wine prefix, every
# unit-test program of the build, then the end-to-end checks tests/wine/NN-*.sh against the
# build's dist/ folder put into the prefix (see tests/wine/lib.sh for what a check gets).
#
#   x86_64 (build/win64) runs under wine64.
#   i686 (build/win32, the product) runs under wine32 where the kernel can execute 32-bit
#   programs (tools/probe-32bit.sh) and wine32 is installed; elsewhere under Wine 10 in its WoW64
#   mode (32-bit Windows code, 64-bit Linux code only) from a Debian trixie chroot that
#   tools/wine-wow64.sh makes once per machine, where the kernel runs 32-bit code in a 64-bit
#   program (tools/probe-wow64.sh); VP_WINE_I686=wow64 picks WoW64 even where wine32 could run.
#   Where the kernel can do neither, no Wine runs 32-bit code and one line says so and why.
#
# One Xvfb on a free display serves the whole run. Every wait is bounded, and everything started
# here is stopped by its pid at the end. Fails when any test program or check fails.
#
# Usage: tools/wine-test.sh [NATIVE_BUILD]   (default build/native, which has the upstream tool)
#   VP_WINE_CHECKS=PATTERN (e.g. '50-*') runs only the checks whose names match, and no test
#   programs: for working on one check.
#   VP_WINE_BUILDS=i686 (or x86_64) runs only that build; both run by default.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
native=$root/${1:-build/native}
run_dir=$root/build/wine

# Bounds of the run: booting a prefix, one test program, one check.
boot_seconds=180
unit_seconds=600
check_seconds=300

export WINEDEBUG=-all
# No Mono or Gecko installer dialogs while the prefix boots: nothing here needs them.
export WINEDLLOVERRIDES="mscoree,mshtml="

xvfb_pid=""
wineserver_pids=()
wineserver_prefixes=()
wineserver_tools=()

stop_wine() {
  local i
  for i in "${!wineserver_pids[@]}"; do
    # Ends the prefix's Windows processes (ours and the ones Wine started for them), then the
    # server itself.
    WINEPREFIX=${wineserver_prefixes[i]} timeout 30 "${wineserver_tools[i]}" -k 2>/dev/null || true
    kill "${wineserver_pids[i]}" 2>/dev/null || true
    wait "${wineserver_pids[i]}" 2>/dev/null || true
  done
  wineserver_pids=()
  wineserver_prefixes=()
  wineserver_tools=()
}

stop_everything() {
  stop_wine
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
    xvfb_pid=""
  fi
}
trap stop_everything EXIT

start_xvfb() {
  local display_file=$run_dir/xvfb-display deadline=$((SECONDS + 30))
  # -displayfd: Xvfb takes the first free display itself and writes its number once it is ready.
  Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x1024x24 3>"$display_file" \
    >"$run_dir/xvfb.log" 2>&1 &
  xvfb_pid=$!
  while [ ! -s "$display_file" ] && [ $SECONDS -lt $deadline ]; do sleep 0.1; done
  if [ ! -s "$display_file" ]; then
    echo "Xvfb did not start: $(cat "$run_dir/xvfb.log")"
    exit 1
  fi
  DISPLAY=":$(head -n 1 "$display_file")"
  export DISPLAY
}

# start_server ARCH_DIR: the prefix's own persistent wineserver, so that its pid is known and it is
# there for every later process.
start_server() {
  "$wineserver_tool" -f -p >>"$1/wineserver.log" 2>&1 &
  wineserver_pids+=($!)
  wineserver_prefixes+=("$WINEPREFIX")
  wineserver_tools+=("$wineserver_tool")
}

# boot_prefix ARCH_DIR [WINEBOOT_SWITCH]: runs wineboot within the bound.
boot_prefix() {
  if ! timeout -k 10 $boot_seconds "$WINE" wineboot ${2:+"$2"} >>"$1/wineboot.log" 2>&1; then
    echo "the Wine prefix did not boot within ${boot_seconds}s: $(tail -n 5 "$1/wineboot.log")"
    return 1
  fi
}

# make_prefix ARCH_DIR WINEARCH FONTS: a fresh prefix with its own wineserver, booted.
make_prefix() {
  export WINEPREFIX=$1/prefix WINEARCH=$2
  wineserver_tool=$1/wineserver
  mkdir -p "$WINEPREFIX"
  start_server "$1"
  local started=$SECONDS
  boot_prefix "$1" -i || return 1
  # Wine's own fonts (MS Sans Serif in its Central European cut, Tahoma, Marlett for the caption
  # buttons), which the windows' pictures need: Debian's Wine looks for them beside its data folder
  # rather than in it, so they go where every Windows program finds fonts.
  cp "$3"/* "$WINEPREFIX/drive_c/windows/Fonts/"
  # Windows registers the content type of certificate files (which /rootcert names); Wine does not.
  "$WINE" reg add 'HKCR\.crt' /v 'Content Type' /d application/x-x509-ca-cert /f \
    >>"$1/wineboot.log" 2>&1
  # Wine's service manager gives a starting service 10 s to reach its dispatcher, which a loaded
  # machine can miss. Wine reads the longer bound as text (Windows as a number), and only when the
  # service manager starts, so the prefix is started again.
  "$WINE" reg add 'HKLM\System\CurrentControlSet\Control' /v ServicesPipeTimeout /t REG_SZ \
    /d 120000 /f >>"$1/wineboot.log" 2>&1
  stop_wine
  start_server "$1"
  boot_prefix "$1" || return 1
  echo "Wine prefix $WINEPREFIX booted in $((SECONDS - started))s"
}

# write_loader ARCH_DIR LOADER [RUNNER]: the command by which this run starts Windows programs
# ($WINE): the loader in a Croatian locale, so the ANSI code page is Windows-1250 as on the users'
# machines; and ARCH_DIR/wineserver, the loader's wineserver. RUNNER (tools/wine-wow64.sh run)
# runs both in the chroot whose Wine they are. The locale must exist on the Linux side where Wine
# runs (tools/deps.sh and tools/wine-wow64.sh make it): without it Wine still picks the code page,
# but writes window titles to X in a form xdotool cannot match. Each hands its pid on (exec), so a
# check signals the Wine process itself.
write_loader() {
  cat >"$1/wine" <<LOADER
#!/bin/sh
LC_ALL=hr_HR.UTF-8 exec ${3:+$3 }$2 "\$@"
LOADER
  cat >"$1/wineserver" <<SERVER
#!/bin/sh
exec ${3:+$3 }$(dirname "$2")/wineserver "\$@"
SERVER
  chmod +x "$1/wine" "$1/wineserver"
}

# Runs one GoogleTest program; prints one line for it, and one for each test skipped or failed.
run_unit() {
  local exe=$1 log=$2 name rc=0
  name=$(basename "$exe" .exe)
  (cd "$(dirname "$exe")" && timeout -k 10 $unit_seconds "$WINE" "$exe" --gtest_color=no) \
    >"$log" 2>&1 || rc=$?
  local ran passed skipped
  ran=$(sed -n 's/^\[==========\] \([0-9]*\) tests\? from .* ran\..*/\1/p' "$log")
  passed=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) tests\?\..*/\1/p' "$log")
  skipped=$(sed -n 's/^\[  SKIPPED \] \([0-9]*\) tests\?, .*/\1/p' "$log")
  # A skipped test's reason is the line after "...: Skipped" (Windows programs end lines in CR LF).
  tr -d '\r' <"$log" | awk '/: Skipped$/ { getline reason; next_reason = reason }
       /^\[  SKIPPED \] [A-Za-z]/ && next_reason != "" {
         printf "      skipped %s: %s\n", $4, next_reason; next_reason = "" }'
  if [ $rc -eq 0 ] && [ -n "$ran" ]; then
    echo "    passed  $name: ${passed:-0} of $ran tests, ${skipped:-0} skipped"
    return 0
  fi
  echo "    FAILED  $name (exit code $rc${ran:+, $ran tests ran}); log: $log"
  tr -d '\r' <"$log" | grep -E '^\[  FAILED  \] [A-Za-z][^ ]*$' | sed 's/^/      /' || true
  [ -n "$ran" ] || echo "      last test begun: $(tr -d '\r' <"$log" | grep '^\[ RUN' | tail -n 1)"
  [ $rc -eq 124 ] && echo "      (stopped after ${unit_seconds}s)"
  return 1
}

# run_build ARCH BUILD_DIR WINEARCH LOADER [CHROOT run|run32]: the whole run for one Windows build;
# with CHROOT, under the Wine of that chroot (tools/wine-wow64.sh), 32-bit Linux code under
# qemu-i386 with run32.
run_build() {
  local arch=$1 build=$root/$2 chroot_dir=${5:-} failed=0
  local arch_dir=$run_dir/$arch runner="" how=""
  if [ -n "$chroot_dir" ]; then
    runner="bash $root/tools/wine-wow64.sh $6"
    how=", WoW64 in $chroot_dir"
    [ "$6" = run ] || how=", its 32-bit Linux code under qemu-i386, in $chroot_dir"
  fi
  mkdir -p "$arch_dir/unit" "$arch_dir/checks"
  write_loader "$arch_dir" "$4" "$runner"
  # Wine starts its later processes through WINELOADER, which in a chroot is the chroot's path.
  export WINELOADER=$4 WINE=$arch_dir/wine
  echo "== Windows $arch build ($2) under $(basename "$WINELOADER") ($("$WINE" --version)$how)"
  make_prefix "$arch_dir" "$3" "$chroot_dir/usr/share/wine/fonts" || return 1

  local exe
  for exe in "$build"/tests/*.exe; do
    [ -z "${VP_WINE_CHECKS:-}" ] || break
    run_unit "$exe" "$arch_dir/unit/$(basename "$exe" .exe).log" || failed=1
  done

  # The program as a user has it: its dist/ folder under Program Files, its own certificates.
  export VP_ROOT=$root VP_ARCH=$arch VP_BUILD=$build
  export VP_APP_DIR="$WINEPREFIX/drive_c/Program Files/Vormetra Proxy"
  export VP_APP_EXE="$VP_APP_DIR/VormetraProxy.exe"
  export VP_SETTINGS="$WINEPREFIX/drive_c/ProgramData/VormetraProxy/Settings.ini"
  export VP_UPSTREAM_TOOL=$native/tests/vp-test-upstream
  export VP_TEST_TOOLS=$build/test-tools
  export VP_SCREENSHOTS=$root/build/screenshots
  mkdir -p "$VP_APP_DIR"
  find "$build/dist" -maxdepth 1 -type f ! -name 'VormetraProxy-Setup-*.exe' \
    -exec cp -t "$VP_APP_DIR/" {} +
  # Its certificates made by the program itself, as a shop's are; the checks of the HTTPS modes and
  # of the root store then run on them.
  local certs_log=$arch_dir/certs.log
  if "$WINE" "$VP_APP_EXE" /certs >"$certs_log" 2>&1 && [ -f "$VP_APP_DIR/fakeFina.key" ] &&
    grep -q "Certifikati su napravljeni u mapi" "$certs_log"; then
    echo "  ok    VormetraProxy.exe /certs made the certificate set"
  else
    echo "    FAILED  VormetraProxy.exe /certs (log: $certs_log)"
    return 1
  fi

  local check name started
  for check in tests/wine/[0-9][0-9]-*.sh; do
    name=$(basename "$check" .sh)
    # shellcheck disable=SC2053 # the names are patterns
    [ -z "${VP_WINE_CHECKS:-}" ] || [[ $name == $VP_WINE_CHECKS ]] || continue
    export VP_WORK=$arch_dir/checks/$name
    mkdir -p "$VP_WORK"
    started=$SECONDS
    echo "  -- $name"
    if timeout -k 10 $check_seconds bash "$check"; then
      echo "    passed  $name ($((SECONDS - started))s)"
    else
      echo "    FAILED  $name (exit code $?; logs in $VP_WORK)"
      failed=1
    fi
  done
  return $failed
}

if ! locale -a 2>/dev/null | grep -qix 'hr_HR\.utf-\?8'; then
  echo "wine-test: the locale hr_HR.UTF-8 is missing (bash tools/deps.sh makes it)"
  exit 1
fi
rm -rf "$run_dir"
mkdir -p "$run_dir"
if [ ! -x "$native/tests/vp-test-upstream" ]; then
  echo "wine-test: $native/tests/vp-test-upstream is missing; build the native tree first"
  exit 1
fi
start_xvfb

result=0
wanted() { [[ " ${VP_WINE_BUILDS:-x86_64 i686} " == *" $1 "* ]]; }
if wanted x86_64; then
  run_build x86_64 build/win64 win64 /usr/lib/wine/wine64 || result=1
  stop_wine
fi

# The product: under wine32 where the kernel executes 32-bit programs and wine32 is there;
# otherwise under Wine 10's WoW64 mode, which needs no 32-bit Linux code but still runs the
# program's own code in the CPU's 32-bit mode, so the kernel must allow that (tools/probe-wow64.sh).
if ! wanted i686; then
  :
elif bash tools/probe-32bit.sh >/dev/null && [ -x /usr/lib/wine/wine ] \
  && [ "${VP_WINE_I686:-}" != wow64 ]; then
  run_build i686 build/win32 win32 /usr/lib/wine/wine || result=1
elif wow64_reason=$(bash tools/probe-wow64.sh); then
  started=$SECONDS
  if chroot_dir=$(bash tools/wine-wow64.sh make); then
    [ $((SECONDS - started)) -lt 5 ] || echo "(the Wine chroot took $((SECONDS - started))s to make)"
    started=$SECONDS
    run_build i686 build/win32 win64 /usr/lib/wine/wine64 "$chroot_dir" run || result=1
    echo "(the i686 run under WoW64 took $((SECONDS - started))s)"
  else
    echo "== Windows i686 build: FAILED, the Wine chroot (tools/wine-wow64.sh) could not be made"
    result=1
  fi
else
  # No 32-bit code runs on this kernel at all: the chroot's wine32 runs with its 32-bit Linux
  # code emulated by qemu-i386 (tools/wine-wow64.sh run32), through Wine's preloader
  # (tools/wine-preloader.sh).
  reason=$(bash tools/probe-32bit.sh) || true
  echo "(${reason:-wine32 is missing}, and $wow64_reason: the i686 build runs under emulation)"
  started=$SECONDS
  if chroot_dir=$(bash tools/wine-wow64.sh make) \
    && bash tools/wine-preloader.sh make "$chroot_dir" >/dev/null; then
    [ $((SECONDS - started)) -lt 5 ] || echo "(the Wine chroot took $((SECONDS - started))s to make)"
    started=$SECONDS
    # Emulated code runs several times slower; the bounds are there to catch a hang, not to time.
    boot_seconds=$((boot_seconds * 3)) unit_seconds=$((unit_seconds * 2))
    check_seconds=$((check_seconds * 2))
    export VP_TIME_FACTOR=3  # the checks' own waits (tests/wine/lib.sh)
    export VP_EMULATED=1
    run_build i686 build/win32 win32 /usr/lib/wine/wine "$chroot_dir" run32 || result=1
    echo "(the i686 run under qemu-i386 took $((SECONDS - started))s)"
  else
    echo "== Windows i686 build: FAILED, the Wine chroot (tools/wine-wow64.sh) or its preloader" \
      "(tools/wine-preloader.sh) could not be made"
    result=1
  fi
fi

if [ $result -ne 0 ]; then
  echo "wine-test: FAILED (logs in build/wine)"
  exit 1
fi
echo "wine-test: every Windows test program and check passed"
