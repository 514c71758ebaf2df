#!/usr/bin/env python3
"""Drives the terminal front end of the tray window through a pseudo-terminal, as a person would:
from the tray to the window, start and stop, a settings change with its questions, close.

Usage: terminal_end_to_end.py DRIVER   (the tray application over a double of the host actions)
"""

import os
import pty
import select
import sys
import tempfile
import time

WAIT_SECONDS = 10


class Terminal:
    def __init__(self, argv, env):
        self.pid, self.fd = pty.fork()
        if self.pid == 0:
            os.execve(argv[0], argv, env)
        self.output = ""
        self.seen = 0

    def expect(self, text):
        """Waits until text appears after what was already matched; fails after WAIT_SECONDS."""
        deadline = time.monotonic() + WAIT_SECONDS
        while True:
            found = self.output.find(text, self.seen)
            if found >= 0:
                self.seen = found + len(text)
                return
            left = deadline - time.monotonic()
            if left <= 0 or not self._read(left):
                sys.exit("expected %r, got after the last match:\n%s" % (text, self.output[self.seen:]))

    def lacks(self, text, until):
        """text does not appear between the last match and the next until."""
        start = self.seen
        self.expect(until)
        if text in self.output[start:self.seen]:
            sys.exit("unexpected %r in:\n%s" % (text, self.output[start:self.seen]))

    def stop(self):
        """Ends the program if a failed check left it running."""
        try:
            if os.waitpid(self.pid, os.WNOHANG)[0] == 0:
                os.kill(self.pid, 9)
                os.waitpid(self.pid, 0)
        except ChildProcessError:
            pass

    def send(self, line):
        os.write(self.fd, (line + "\n").encode())

    def wait_exit(self):
        deadline = time.monotonic() + WAIT_SECONDS
        while time.monotonic() < deadline:
            self._read(0.1)
            pid, status = os.waitpid(self.pid, os.WNOHANG)
            if pid:
                while self._read(0.1):
                    pass
                return os.waitstatus_to_exitcode(status)
        os.kill(self.pid, 9)
        sys.exit("the program did not end")

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


def main():
    driver = os.path.abspath(sys.argv[1])
    with tempfile.TemporaryDirectory() as appdata:
        env = dict(os.environ, VORMETRA_COMMON_APPDATA=appdata, LANG="C.UTF-8")
        t = Terminal([driver], env)
        try:
            run(t, appdata)
        finally:
            t.stop()
    print("terminal front end: start, stop, settings change with questions, close: OK")


def run(t, appdata):
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

    t.send("2")  # Server: start
    t.expect("Server:")
    t.lacks("Zaustavi", "Instaliraj servis")
    t.lacks("Deinstaliraj servis", "(Enter: zatvori izbornik)")
    t.send("1")
    t.expect("(*) Aktivan")
    t.send("2")  # Server: now "Zaustavi" only
    t.expect("1  Zaustavi")
    t.send("1")
    t.expect("( ) Nije aktivan")

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
    t.expect("Izabrani metod vjerovatno zahtijeva instaliranje root certifikata")
    t.send("n")
    t.expect("Izabrani metod zahtijeva unos u hosts.")
    t.send("y")
    t.expect("Vormetra Proxy: Unos dodan")

    t.send("3")  # Hosts file: the test entry is ticked now
    t.expect("1  [x] Testni url")
    t.send("")
    t.send("x")
    code = t.wait_exit()
    t.expect("host: AddTestEntry")
    if code != 0:
        sys.exit("exit code %d" % code)

    settings = open(os.path.join(appdata, "VormetraProxy", "Settings.ini")).read()
    for key in ('"Mode":2,', '"Active":false,', '"DNSServer":"127.0.0.1:53"'):
        if key not in settings:
            sys.exit("%s not in the settings file:\n%s" % (key, settings))


if __name__ == "__main__":
    main()
