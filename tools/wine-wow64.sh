#!/usr/bin/env bash
# Wine 10 from Debian trixie in a chroot of its own, for running the 32-bit (i686) Windows build
# where wine32 cannot: Wine 10's WoW64 mode runs 32-bit Windows programs with 64-bit Linux code
# only. It still runs their code in the processor's 32-bit mode, which the kernel must allow inside
# a 64-bit program (tools/probe-wow64.sh). Debian 12's Wine 8 is not enough: its WoW64 mode was
# seen to fail in WS2_32's start-up.
#
# The chroot is a trixie minbase with wine64, fonts-wine, the Croatian locale, and the i386-windows
# folder of libwine:i386 (the 32-bit Windows half of Wine; none of its Linux code); and, for a
# kernel that runs no 32-bit code at all, wine32:i386 with qemu-user to emulate its 32-bit code.
# Made once per machine in $VORMETRA_CACHE/wine-trixie (VORMETRA_CACHE as tools/openssl-win.sh
# picks it); about 3 GB. Only Wine runs inside: the checks' own tools (xdotool, ImageMagick, curl, python3) run on
# the host and reach Wine's windows and sockets through the X socket and the network, which the
# chroot shares.
#
# Usage:
#   tools/wine-wow64.sh make            makes the chroot unless it is there; prints its folder
#   tools/wine-wow64.sh run COMMAND...  runs COMMAND (e.g. wine, wineserver) in the chroot, in the
#                                       current folder, with the same pid (exec all the way)
#   tools/wine-wow64.sh run32 COMMAND...  the same with 32-bit code under qemu-i386, and Wine's
#                                       preloader when tools/wine-preloader.sh has made it
#
# Every mount that `run` and `make` need (proc, dev, sys, /tmp, the checkout, /etc/hosts) is made
# in a private mount namespace of the command's own (unshare), so it ends with the last process of
# that command: the host's mount table never changes, however a run ends or how many there are.
set -euo pipefail

tools=$(cd "$(dirname "$0")" && pwd)
checkout=$(dirname "$tools")
suite=trixie
mirror=${VORMETRA_DEBIAN_MIRROR:-http://deb.debian.org/debian}
# What the chroot holds; a chroot made from another recipe is made again.
recipe="2 $suite wine64 fonts-wine locales hr_HR.UTF-8 libwine:i386/i386-windows wine32:i386 qemu-user"

log() { echo "wine-wow64: $*" >&2; }

cache_root() {
  if [ -n "${VORMETRA_CACHE:-}" ]; then
    echo "$VORMETRA_CACHE"
  elif mkdir -p /var/cache/vormetra 2>/dev/null && [ -w /var/cache/vormetra ]; then
    echo /var/cache/vormetra
  else
    echo "${XDG_CACHE_HOME:-$HOME/.cache}/vormetra"
  fi
}

cache=$(cache_root)
chroot_dir=$cache/wine-$suite
ready_file=$chroot_dir/.vormetra-ready

sudo=""
# -E: Wine inside needs the caller's WINEPREFIX, DISPLAY and the rest.
[ "$(id -u)" -ne 0 ] && sudo="sudo -E"

is_ready() { [ -f "$ready_file" ] && [ "$(cat "$ready_file")" = "$recipe" ]; }

# The binfmt_misc entry that hands every 32-bit x86 ELF program to qemu-i386 (qemu's own magic and
# mask; F: the interpreter is opened once, here, so it need not exist where the program runs).
i386_binfmt=':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
i386_binfmt+=':\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
i386_binfmt+=':/usr/bin/qemu-i386:F'

# in_namespace ROOT SHARE COMMAND...: COMMAND in the chroot ROOT, in a mount namespace of its own
# where proc, dev, sys and /tmp (the X server's and wineserver's sockets) are the host's, and SHARE
# (a folder, or "" for none) is at its own path, so every path a caller names stays valid. The
# current folder is kept when it exists inside. With EMULATE=1 set, in a user namespace too, whose
# own binfmt_misc (Linux 6.7 and later) runs every 32-bit program under qemu-i386: the kernel's
# table, which other programs see, stays as it is. With PRELOADER set to a folder, its files are
# laid over the chroot's /usr/lib/wine (a read-only overlay), where Wine looks for its preloader.
in_namespace() {
  local root=$1 share=$2 unshare=(unshare --mount --propagation private)
  shift 2
  if [ "${EMULATE:-0}" = 1 ]; then
    # No sudo: a user namespace of one's own needs no rights.
    unshare=(unshare --user --map-root-user --mount --propagation private)
  elif [ -n "$sudo" ]; then
    unshare=(sudo -E "${unshare[@]}")
  fi
  # shellcheck disable=SC2016 # the inner script expands its own arguments
  exec "${unshare[@]}" bash -c '
    set -e
    root=$1 share=$2 dir=$3 binfmt=$4 preloader=$5
    shift 5
    # (A fresh proc needs a pid namespace in a user namespace; the host'"'"'s keeps the pids.)
    mount --rbind /proc "$root/proc"
    mount --rbind /dev "$root/dev"
    mount --rbind /sys "$root/sys"
    mount --rbind /tmp "$root/tmp"
    for file in /etc/resolv.conf /etc/hosts; do
      [ -f "$file" ] || continue
      touch "$root$file"
      mount --bind "$file" "$root$file"
    done
    if [ -n "$share" ]; then
      mkdir -p "$root$share"
      mount --rbind "$share" "$root$share"
    fi
    if [ -n "$preloader" ]; then
      mount -t overlay overlay -o "lowerdir=$preloader:$root/usr/lib/wine" "$root/usr/lib/wine"
    fi
    if [ -n "$binfmt" ]; then
      mount -t binfmt_misc binfmt_misc "$root/proc/sys/fs/binfmt_misc"
      chroot "$root" /bin/sh -c "printf %s \"\$0\" >/proc/sys/fs/binfmt_misc/register" "$binfmt"
    fi
    exec chroot "$root" /bin/sh -c "cd \"\$0\" 2>/dev/null || cd /; exec \"\$@\"" "$dir" "$@"
  ' in-namespace "$root" "$share" "$PWD" "$([ "${EMULATE:-0}" = 1 ] && echo "$i386_binfmt")" \
    "${PRELOADER:-}" "$@"
}

# in_build_root COMMAND...: a command in the chroot being made, as a separate process.
in_build_root() { (in_namespace "$building" "" "$@"); }

# No mount is ever left on the host (see above); this only guards the rm -rf below against a
# mount made by hand.
refuse_if_mounted() {
  if grep -q " $1[/ ]" /proc/self/mounts; then
    log "something is mounted under $1; unmount it first"
    exit 1
  fi
}

make_chroot() {
  building=$chroot_dir.new
  if [ -e "$building" ]; then
    log "removing the half-made chroot $building of an earlier run"
    refuse_if_mounted "$building"
    $sudo rm -rf "$building"
  fi
  if ! command -v debootstrap >/dev/null; then
    log "debootstrap is missing (bash tools/deps.sh installs it)"
    exit 1
  fi
  local started=$SECONDS
  log "making the Debian $suite chroot $chroot_dir (a few minutes, about 3 GB)"
  # Its own namespace too: debootstrap mounts proc and sys in the target while it works.
  $sudo unshare --mount --propagation private \
    debootstrap --variant=minbase "$suite" "$building" "$mirror" >&2
  in_build_root sh -c 'dpkg --add-architecture i386 && apt-get update -qq' >&2
  in_build_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
    --no-install-recommends wine64 fonts-wine locales wine32:i386 qemu-user >&2
  in_build_root localedef -i hr_HR -c -f UTF-8 hr_HR.UTF-8 >&2 || true
  in_build_root sh -c 'locale -a | grep -qix "hr_HR\.utf-\?8"' || {
    log "cannot make the locale hr_HR.UTF-8 in the chroot"
    exit 1
  }
  # The 32-bit Windows half of Wine only, of exactly the installed version: none of the package's
  # Linux code, which this kernel could not run anyway. The 64-bit package names the version:
  # wine32:i386 brings libwine:i386 too, and the bare name would answer both versions at once.
  # shellcheck disable=SC2016 # expanded in the chroot
  in_build_root sh -c '
    set -e
    version=$(dpkg-query -W -f="\${Version}" libwine:amd64)
    mkdir -p /var/tmp/vormetra-libwine-i386
    chown _apt /var/tmp/vormetra-libwine-i386
    cd /var/tmp/vormetra-libwine-i386
    rm -rf ./*
    apt-get download -qq "libwine:i386=$version"
    dpkg-deb -x libwine_*_i386.deb unpacked
    rm -rf /usr/lib/x86_64-linux-gnu/wine/i386-windows
    cp -a unpacked/usr/lib/i386-linux-gnu/wine/i386-windows /usr/lib/x86_64-linux-gnu/wine/
    cd / && rm -rf /var/tmp/vormetra-libwine-i386
    apt-get clean
  ' >&2
  echo "$recipe" | $sudo tee "$building/.vormetra-ready" >/dev/null
  [ ! -e "$chroot_dir" ] || {
    refuse_if_mounted "$chroot_dir"
    $sudo rm -rf "$chroot_dir"
  }
  $sudo mv "$building" "$chroot_dir"
  log "made $chroot_dir in $((SECONDS - started))s"
}

case "${1:-}" in
  make)
    if ! is_ready; then
      mkdir -p "$cache" 2>/dev/null || $sudo mkdir -p "$cache"
      exec 9>"$cache/wine-$suite.lock"
      # Another run may be making it: wait, then look again.
      flock 9
      is_ready || make_chroot
    fi
    echo "$chroot_dir"
    ;;
  run)
    shift
    if ! is_ready; then
      log "no chroot in $chroot_dir; bash tools/wine-wow64.sh make makes it"
      exit 1
    fi
    in_namespace "$chroot_dir" "$checkout" "$@"
    ;;
  run32)
    shift
    if ! is_ready; then
      log "no chroot in $chroot_dir; bash tools/wine-wow64.sh make makes it"
      exit 1
    fi
    # Wine's preloader when tools/wine-preloader.sh has made it; without it, programs that must
    # sit at 0x400000 cannot start.
    PRELOADER=$(bash "$tools/wine-preloader.sh" path "$chroot_dir" || true) EMULATE=1 \
      in_namespace "$chroot_dir" "$checkout" "$@"
    ;;
  *)
    echo "usage: $0 make | run COMMAND... | run32 COMMAND..." >&2
    exit 2
    ;;
esac
