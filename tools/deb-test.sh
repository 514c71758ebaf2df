#!/usr/bin/env bash
# Installs, starts, reloads, stops, removes and purges the Debian package in a test root that is
# not this machine's: an overlay on the Debian trixie chroot of the Wine run (tools/wine-wow64.sh),
# which stays as it is, with every change in memory (tmpfs). The run has mount, network and pid
# namespaces of its own: nothing is mounted on the host, no port of the host is taken, and every
# process ends with the run. Service starts are blocked in the root (policy-rc.d) and no systemd
# runs there; the service's start, reload and stop are the unit's own commands, run as systemd runs
# them (its notification socket, its invocation id, a parent named systemd). systemd-analyze verify
# then checks the unit, with the package's files laid over the host's /usr in the run's own mount
# namespace.
#
# Usage: tools/deb-test.sh DEB
set -euo pipefail

if [ "${1:-}" != --inside ]; then
  deb=$(realpath "$1")
  lower=$(bash "$(dirname "$0")/wine-wow64.sh" make)
  work=$(mktemp -d /tmp/vp-deb-test.XXXXXX)
  trap 'rm -rf "$work"' EXIT
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo unshare --mount --propagation private --net --pid --fork bash "$0" --inside "$deb" "$lower" "$work"
  exit
fi

deb=$2 lower=$3 work=$4
root=$work/root
program=/usr/lib/vormetra-proxy/vormetra-proxy
data=/var/lib/VormetraProxy
unit=/lib/systemd/system/VormetraProxyService.service
wants=/etc/systemd/system/multi-user.target.wants/VormetraProxyService.service
certs=(fakeFinaCA.crt fakeFinaTest.crt fakeFinaTest.key fakeFina.crt fakeFina.key)

fail() {
  echo "deb-test: FAILED: $*" >&2
  exit 1
}
step() { echo "deb-test: $*"; }
in_root() { chroot "$root" "$@"; }
# wait_until COMMAND...: up to 10 s for COMMAND to succeed.
wait_until() {
  for _ in $(seq 100); do
    "$@" 2>/dev/null && return 0
    sleep 0.1
  done
  fail "in vain: $*"
}

mount -t tmpfs tmpfs "$work"
mkdir -p "$work/upper" "$work/work" "$root"
mount -t overlay overlay -o "lowerdir=$lower,upperdir=$work/upper,workdir=$work/work" "$root"
mount -t proc proc "$root/proc"
mount --rbind /dev "$root/dev"
mount -t tmpfs tmpfs "$root/tmp"
mount -t tmpfs tmpfs "$root/run"
ip link set lo up
printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
chmod +x "$root/usr/sbin/policy-rc.d"
cp "$deb" "$root/tmp/package.deb"
cp "$root/etc/hosts" "$work/hosts.before"

step "install"
in_root dpkg -i /tmp/package.deb </dev/null >"$work/dpkg.log" 2>&1 || fail "dpkg -i: $(cat "$work/dpkg.log")"
for file in $program /usr/bin/vormetra-proxy $unit /usr/share/man/man1/vormetra-proxy.1.gz \
  /usr/share/doc/vormetra-proxy/copyright /usr/share/doc/vormetra-proxy/changelog.gz; do
  [ -e "$root$file" ] || fail "$file is missing"
done
[ "$(in_root readlink -f /usr/bin/vormetra-proxy)" = $program ] || fail "/usr/bin/vormetra-proxy"
[ -L "$root$wants" ] || fail "the unit is not enabled"
for name in "${certs[@]}"; do
  [ -s "$root$data/$name" ] || fail "postinst made no $data/$name"
done
openssl x509 -inform DER -in "$root$data/fakeFinaCA.crt" -out "$work/root.pem"
for name in fakeFinaTest.crt fakeFina.crt; do
  openssl verify -CAfile "$work/root.pem" -purpose sslserver "$root$data/$name" >/dev/null ||
    fail "$name does not chain to the root"
done
sums=$(cd "$root$data" && sha256sum "${certs[@]}")

step "install again: the certificates stay"
in_root dpkg -i /tmp/package.deb </dev/null >"$work/dpkg.log" 2>&1 || fail "dpkg -i: $(cat "$work/dpkg.log")"
[ "$(cd "$root$data" && sha256sum "${certs[@]}")" = "$sums" ] || fail "the certificates changed"

step "start, reload and stop as systemd runs the unit"
start=$(sed -n 's/^ExecStart=//p' "$root$unit")
reload=$(sed -n 's/^ExecReload=//p' "$root$unit")
python3 - "$root/run/notify" >"$work/notify.log" <<'PY' &
import socket, sys
s = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
s.bind(sys.argv[1])
s.settimeout(30)
while True:
    message = s.recv(4096).decode()
    print(message.replace("\n", " "), flush=True)
    if "STOPPING=1" in message:
        break
PY
wait_until test -S "$root/run/notify"
cp "$root/usr/bin/bash" "$root/tmp/systemd"
# shellcheck disable=SC2016 # expanded by the root's shell
in_root /tmp/systemd -c 'INVOCATION_ID=deb-test NOTIFY_SOCKET=/run/notify '"$start"' \
  </dev/null 2>/tmp/journal & echo $! >/tmp/main.pid; wait $!; echo $? >/tmp/exit' &
wait_until grep -q READY=1 "$work/notify.log"
wait_until grep -q "Service started" "$root/tmp/journal"
curl -s -m 10 -o "$work/rootcert" http://127.0.0.1:8449/rootcert
cmp -s "$work/rootcert" "$root$data/fakeFinaCA.crt" || fail "/rootcert is not $data/fakeFinaCA.crt"
main_pid=$(cat "$root/tmp/main.pid")
# systemd's "$$" is a literal "$"; MAINPID is in the command's environment.
in_root env MAINPID="$main_pid" sh -c "${reload//\$\$/\$}"
wait_until grep -q "Settings reloaded" "$root/tmp/journal"
kill -TERM "$main_pid"
wait_until test -s "$root/tmp/exit"
[ "$(cat "$root/tmp/exit")" = 0 ] || fail "the service ended with $(cat "$root/tmp/exit")"
grep -q "Service end" "$root/tmp/journal" || fail "no \"Service end\": $(cat "$root/tmp/journal")"

step "/uninstall and /install take the package's unit"
cat >"$root/tmp/systemctl" <<'SH'
#!/bin/sh
for unit; do :; done
wants=/etc/systemd/system/multi-user.target.wants
case " $* " in
  *" enable "*) mkdir -p $wants && ln -sf /lib/systemd/system/$unit $wants/$unit ;;
  *" disable "*) rm -f $wants/$unit ;;
  *" show "*) printf 'LoadState=loaded\nActiveState=inactive\n' ;;
esac
SH
chmod +x "$root/tmp/systemctl"
in_root env VORMETRA_SYSTEMCTL=/tmp/systemctl vormetra-proxy /uninstall /silent </dev/null
{ [ ! -e "$root$wants" ] && [ -f "$root$unit" ]; } || fail "/uninstall did not disable the unit alone"
in_root env VORMETRA_SYSTEMCTL=/tmp/systemctl vormetra-proxy /install /silent </dev/null
[ -L "$root$wants" ] || fail "/install did not enable the package's unit"
[ ! -e "$root/etc/systemd/system/VormetraProxyService.service" ] || fail "/install wrote a unit"

step "remove: the hosts line goes, the certificates stay"
in_root vormetra-proxy /hosttest </dev/null >/dev/null
grep -q "cistest.apis-it.hr" "$root/etc/hosts" || fail "/hosttest added no line"
in_root dpkg -r vormetra-proxy </dev/null >"$work/dpkg.log" 2>&1 || fail "dpkg -r: $(cat "$work/dpkg.log")"
cmp -s "$root/etc/hosts" "$work/hosts.before" || fail "the hosts file is not as before"
{ [ ! -e "$root$program" ] && [ -s "$root$data/fakeFinaCA.crt" ]; } || fail "after dpkg -r"

step "purge: nothing is left"
in_root dpkg -P vormetra-proxy </dev/null >"$work/dpkg.log" 2>&1 || fail "dpkg -P: $(cat "$work/dpkg.log")"
left=$(cd "$work/upper" && find . -ipath '*vormetra*' ! -path './tmp/*' ! -path './var/lib/dpkg/*')
[ -z "$left" ] || fail "left after purge: $left"

step "systemd-analyze verify"
dpkg-deb -x "$deb" "$work/package"
mkdir -p "$work/package/usr/lib/systemd"
mv "$work/package/lib/systemd/system" "$work/package/usr/lib/systemd/"
mount -t overlay overlay -o "lowerdir=$work/package/usr:/usr" /usr
systemd-analyze verify /usr/lib/systemd/system/VormetraProxyService.service ||
  fail "systemd-analyze verify"
echo "deb-test: passed"
