#!/usr/bin/env python3
"""Drives the real program's tray application (no switch) through a pseudo-terminal, as a person
would: from the tray to the window, start and stop of its own proxy on port 8449, a close that saves
Active and a start that resumes it, a settings change with its questions, the hosts-file menu, and
the service installed, reloaded, stopped and removed from the window.

The settings file, the hosts file and systemd's unit folder lie in a temp dir; systemctl is a script
of the test's own that keeps the unit's state in a file. Nothing of the machine's own is touched.

Usage: terminal_end_to_end.py PROGRAM
Exit code 77 (skipped) when port 8449 is taken by another program.
"""

import errno
import os
import signal
import pty
import select
import socket
import stat
import sys
import tempfile
import time

WAIT_SECONDS = 30
PORT = 8449
SKIPPED = 77
UNIT = "VormetraProxyService.service"
BIND_ERROR = "Could not bind socket. Address and port are already in use."

# systemctl: records its arguments; "show" reports the state kept in a file and moves a pending one
# on, start and stop set the pending states.
FAKE_SYSTEMCTL = r"""#!/bin/sh
d=$(dirname "$0")
echo "$*" >> "$d/calls"
state=$(cat "$d/state" 2>/dev/null || echo inactive)
case " $* " in
  *" show "*)
    echo "LoadState=loaded"
    echo "ActiveState=$state"
    case "$state" in
      activating) echo active > "$d/state";;
      deactivating) echo inactive > "$d/state";;
    esac;;
  *" start "*) echo activating > "$d/state";;
  *" stop "*) echo deactivating > "$d/state";;
esac
exit 0
"""


class Skip(Exception):
    pass


class Terminal:
    def __init__(self, argv, env, cwd):
        self.pid, self.fd = pty.fork()
        if self.pid == 0:
            os.chdir(cwd)
            os.execve(argv[0], argv, env)
        self.output = ""
        self.seen = 0

    def expect(self, *texts):
        """Waits until one of texts appears after what was already matched; returns it."""
        deadline = time.monotonic() + WAIT_SECONDS
        while True:
            found = [(self.output.find(t, self.seen), t) for t in texts]
            found = [(at, t) for at, t in found if at >= 0]
            if found:
                at, text = min(found)
                self.seen = at + len(text)
                return text
            left = deadline - time.monotonic()
            if left <= 0 or not self._read(left):
                sys.exit("expected %r, got after the last match:\n%s" % (texts, self.output[self.seen:]))

    def lacks(self, text, until):
        """text does not appear between the last match and the next until."""
        start = self.seen
        self.expect(until)
        if text in self.output[start:self.seen]:
            sys.exit("unexpected %r in:\n%s" % (text, self.output[start:self.seen]))

    def send(self, line):
        os.write(self.fd, (line + "\n").encode())

    def wait_exit(self):
        deadline = time.monotonic() + WAIT_SECONDS
        while time.monotonic() < deadline:
            self._read(0.1)
            pid, status = os.waitpid(self.pid, os.WNOHANG)
            if pid:
                self.pid = 0
                while self._read(0.1):
                    pass
                return os.waitstatus_to_exitcode(status)
        sys.exit("the program did not end")

    def stop(self):
        """Ends the program if a failed check left it running, and closes the terminal."""
        if self.pid:
            try:
                if os.waitpid(self.pid, os.WNOHANG)[0] == 0:
                    os.kill(self.pid, 9)
                    os.waitpid(self.pid, 0)
            except ChildProcessError:
                pass
            self.pid = 0
        os.close(self.fd)

    def _read(self, timeout):
        ready, _, _ = select.select([self.fd], [], [], timeout)
        if not ready:
            return False
        try:
            data = os.read(self.fd, 4096)
        except OSError:  # the child has gone and the pty is closed
            return False
        if not data:
            return False
        self.output += data.decode("utf-8", "replace")
        return True


def port_taken():
    """Whether another program holds port 8449 on loopback (or on every address, which covers it).
    Connections of an earlier run waiting out TIME_WAIT do not count; the program rebinds over them."""
    for family, address in ((socket.AF_INET, "127.0.0.1"), (socket.AF_INET6, "::1")):
        try:
            with socket.socket(family, socket.SOCK_STREAM) as probe:
                probe.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
                probe.bind((address, PORT))
        except OSError as error:
            if error.errno == errno.EADDRINUSE:
                return True
    return False


def proxy_answer():
    """The own proxy's answer to a request on a path no mode serves, or None when nothing listens."""
    try:
        with socket.create_connection(("127.0.0.1", PORT), timeout=WAIT_SECONDS) as client:
            client.sendall(b"POST /nowhere HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 1\r\n\r\nx")
            answer = b""
            while chunk := client.recv(4096):
                answer += chunk
            return answer.decode("latin-1")
    except ConnectionRefusedError:
        return None


class Machine:
    """The temp dir that stands for the machine: its settings, hosts file and systemd."""

    def __init__(self, root):
        self.root = root
        self.appdata = os.path.join(root, "appdata")
        self.hosts = os.path.join(root, "hosts")
        self.units = os.path.join(root, "units")
        self.systemctl = os.path.join(root, "systemctl")
        os.makedirs(self.appdata)
        os.makedirs(self.units)
        with open(self.hosts, "w") as hosts:
            hosts.write("127.0.0.1 localhost\r\n")
        with open(self.systemctl, "w") as script:
            script.write(FAKE_SYSTEMCTL)
        os.chmod(self.systemctl, stat.S_IRWXU)

    def environment(self):
        env = dict(os.environ, LANG="C.UTF-8", VORMETRA_COMMON_APPDATA=self.appdata,
                   VORMETRA_HOSTS_FILE=self.hosts, VORMETRA_SYSTEMD_UNIT_DIR=self.units,
                   VORMETRA_SYSTEMCTL=self.systemctl)
        # A test run inside a systemd unit must not look like the service to the program.
        for name in ("INVOCATION_ID", "NOTIFY_SOCKET"):
            env.pop(name, None)
        return env

    def read(self, *path):
        with open(os.path.join(self.root, *path), encoding="latin-1", newline="") as f:
            return f.read()

    def systemctl_calls(self):
        path = os.path.join(self.root, "calls")
        return self.read("calls").splitlines() if os.path.exists(path) else []

    def settings(self):
        return self.read("appdata", "VormetraProxy", "Settings.ini")


def check(condition, message):
    if not condition:
        sys.exit(message)


def main():
    program = os.path.abspath(sys.argv[1])
    if port_taken():
        print("skipped: port %d is taken by another program" % PORT)
        return SKIPPED
    with tempfile.TemporaryDirectory() as root:
        machine = Machine(root)
        try:
            for run in (start_and_close_active, resume_edit_and_service):
                t = Terminal([program], machine.environment(), root)
                try:
                    run(t, machine)
                finally:
                    t.stop()
        except Skip as reason:
            print("skipped: %s" % reason)
            return SKIPPED
    print("tray application in a terminal: start, stop, settings with questions, service, close: OK")
    return 0


def start_server(t):
    t.send("2")
    t.expect("Server:")
    t.send("1")
    if t.expect("(*) Aktivan", BIND_ERROR) == BIND_ERROR:
        raise Skip("port %d was taken meanwhile" % PORT)


def close(t):
    t.send("x")
    code = t.wait_exit()
    check(code == 0, "exit code %d" % code)


def hang_up(t):
    """The terminal goes away (or the session ends): the program closes as on "Zatvori"."""
    os.kill(t.pid, signal.SIGHUP)
    code = t.wait_exit()
    check(code == 0, "exit code %d after SIGHUP" % code)


def start_and_close_active(t, machine):
    # Own proxy, not active: only the tray stand-in, after the balloon.
    t.expect("[Vormetra Proxy] Nije aktivan")
    t.expect("[ikona u traci] Nije aktivan")
    t.send("d")  # right click: the tray menu offers only "Pokreni"
    t.expect("Ikona u traci:")
    t.expect("1  Pokreni")
    t.lacks("Zaustavi", "(Enter: zatvori izbornik)")
    t.send("")
    t.send("l")  # left click: the window
    t.expect("( ) Nije aktivan")
    check(proxy_answer() is None, "nothing may listen before the start")

    t.send("2")  # Server: start only, no uninstall without a service
    t.expect("Server:")
    t.lacks("Zaustavi", "Instaliraj servis")
    t.lacks("Deinstaliraj servis", "(Enter: zatvori izbornik)")
    t.send("")
    start_server(t)
    answer = proxy_answer()
    check(answer is not None and answer.startswith("HTTP/1.1 200") and
          answer.endswith("Neispravan zahtjev"), "the own proxy answered %r" % answer)
    hang_up(t)
    check('"Active":true,' in machine.settings(), "a hang-up must save Active:\n" + machine.settings())


def resume_edit_and_service(t, machine):
    # The saved Active brings the own proxy up at once.
    t.expect("[Vormetra Proxy] Aktivan", BIND_ERROR)
    if BIND_ERROR in t.output:
        raise Skip("port %d was taken meanwhile" % PORT)
    check(proxy_answer() is not None, "the resumed proxy does not listen")
    t.send("l")
    t.expect("(*) Aktivan")
    t.send("2")  # Server: now "Zaustavi" only
    t.expect("1  Zaustavi")
    t.lacks("Pokreni", "(Enter: zatvori izbornik)")
    t.send("1")
    t.expect("( ) Nije aktivan")
    check(proxy_answer() is None, "the stopped proxy still listens")

    edit_mode_and_dns(t)
    decline_new_certificates(t)
    t.expect("Izabrani metod vjerovatno zahtijeva instaliranje root certifikata")
    t.send("n")
    t.expect("Izabrani metod zahtijeva unos u hosts.")
    t.send("y")
    t.expect("Hosts file će prije izmjene biti spremljen na sljedećoj lokaciji: ")
    t.expect("Vormetra Proxy: Unos dodan")
    check(machine.read("hosts") == "127.0.0.1 localhost\r\n127.0.0.1 cistest.apis-it.hr\r\n",
          "hosts file: %r" % machine.read("hosts"))
    check(machine.read("appdata", "VormetraProxy", "hosts") == "127.0.0.1 localhost\r\n",
          "the backup is the file before the change")
    t.send("3")  # Hosts file: the test entry is ticked now
    t.expect("1  [x] Testni url")
    t.expect("2  Produkcijski url")
    t.send("")

    install_reload_stop_uninstall(t, machine)
    close(t)
    settings = machine.settings()
    for key in ('"Mode":2,', '"Active":false,', '"DNSServer":"127.0.0.1:5353"'):
        check(key in settings, "%s not in the settings file:\n%s" % (key, settings))


def edit_mode_and_dns(t):
    t.send("1")  # Program, Podešavanja...
    t.expect("2  Podešavanja...")
    t.send("2")
    t.expect("== Opcjie ==")
    t.send("1")
    t.expect("3  Sluša na https protokolu i šalje na produkcijski IP")
    t.send("2")
    t.expect(": Sluša na https protokolu i šalje na testni IP")
    t.send("6")
    t.expect("DNS server [8.8.8.8]")
    t.send("127.0.0.1:53")
    t.expect("DNS server       : 127.0.0.1:53")
    t.send("p")


def decline_new_certificates(t):
    # The build folder has no certificate set; making one there would outlive the test.
    t.expect("Za izabrani metod uz program nedostaju fajlovi certifikata")
    t.send("n")


def install_reload_stop_uninstall(t, machine):
    t.send("2")
    t.expect("3  Instaliraj servis")
    t.send("3")  # the second copy installs and starts the service, in this same terminal
    t.expect("Program će se pokrenuti sa administratorskim ovlastima.")
    t.send("y")
    t.expect("Vormetra Proxy: Service installed successfully")
    t.expect("Server radi kao servis")
    check(os.path.exists(os.path.join(machine.units, UNIT)), "no unit file after the install")
    check("--no-ask-password enable " + UNIT in machine.systemctl_calls(), "the unit is not enabled")

    # A confirmed change reaches the running service; the mode stays, so nothing is asked.
    t.send("1")
    t.expect("2  Podešavanja...")
    t.send("2")
    t.expect("== Opcjie ==")
    t.send("6")
    t.expect("DNS server [127.0.0.1:53]")
    t.send("127.0.0.1:5353")
    t.expect("DNS server       : 127.0.0.1:5353")
    t.send("p")
    decline_new_certificates(t)
    t.lacks("Confirm:", "Server radi kao servis")
    t.expect("(*) Aktivan")
    check("--no-ask-password reload " + UNIT in machine.systemctl_calls(),
          "no reload after the change:\n" + "\n".join(machine.systemctl_calls()))

    t.send("2")  # a running service offers no uninstall, and no separator is left hanging
    t.expect("1  Zaustavi")
    t.lacks("----", "(Enter: zatvori izbornik)")
    t.send("1")
    t.expect("( ) Nije aktivan")
    t.send("2")
    t.expect("1  Pokreni")
    t.expect("3  Deinstaliraj servis")
    t.send("3")
    t.expect("Program će se pokrenuti sa administratorskim ovlastima.")
    t.send("y")
    t.expect("Vormetra Proxy: Service uninstalled successfully")
    t.lacks("Server radi kao servis", "( ) Nije aktivan")
    check(not os.path.exists(os.path.join(machine.units, UNIT)), "the unit file is left behind")


if __name__ == "__main__":
    sys.exit(main())
