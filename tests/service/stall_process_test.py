#!/usr/bin/env python3
"""`calidorctl serve` over two virtual thermostats, the first of which stops
answering for 10 s (each read waits out the 2 s time-out): the other keeps its
read rate, its MQTT state is still published as it changes, a command for it
is written and read back meanwhile, and SIGTERM in the middle of the stall
ends the service within a second. A real mosquitto on 127.0.0.1; exit 77
(skipped) without it.

With --slow-dns: the broker's name takes 4 s to look up (a name server on
127.0.0.2 that never answers, in a mount namespace of the service's own);
meanwhile the service answers, reads, and ends at once on SIGTERM. Needs
root for the namespace and port 53; exit 77 (skipped) otherwise.

Usage: stall_process_test.py CALIDORCTL [--slow-dns]"""

import getpass
import json
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time
import urllib.request

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from servetest import SKIP, check, finish, free_port, start_serve, stop_within_a_second  # noqa: E402

INTERVAL = 0.2  # seconds, serve's --interval
STALL_FROM, STALL_FOR = 3.0, 10.0






def reads_total(port, ident):
    with urllib.request.urlopen("http://127.0.0.1:%d/metrics" % port, timeout=2) as answer:
        text = answer.read().decode()
    m = re.search(r'^calidor_reads_total\{id="%s"\} (\S+)$' % ident, text, re.M)
    return float(m.group(1)) if m else None


class Subscriber:
    """mosquitto_sub in the background; every message kept with its time."""

    def __init__(self, port, topic):
        self.messages, self.lock = [], threading.Lock()
        self.process = subprocess.Popen(["mosquitto_sub", "-h", "127.0.0.1", "-p", str(port), "-t", topic,
                                         "-F", "%t %p"], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                        text=True)
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.process.stdout:
            topic, _, payload = line.rstrip("\n").partition(" ")
            with self.lock:
                self.messages.append((time.monotonic(), topic, payload))

    def between(self, start, end, topic):
        with self.lock:
            return [m for m in self.messages if start <= m[0] <= end and m[1] == topic]






def slow_dns(calidorctl):
    if os.geteuid() != 0 or not shutil.which("unshare") or not shutil.which("mount"):
        print("SKIPPED: a mount namespace and port 53 need root and util-linux's unshare")
        return SKIP
    silent = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    try:
        silent.bind(("127.0.0.2", 53))
    except OSError as e:
        print("SKIPPED: cannot stand in for a name server on 127.0.0.2:53: %s" % e)
        return SKIP
    work = tempfile.mkdtemp(prefix="calidor-dns-")
    resolv = os.path.join(work, "resolv.conf")
    with open(resolv, "w") as f:
        f.write("nameserver 127.0.0.2\noptions timeout:4 attempts:1\n")
    env = dict(os.environ, XDG_RUNTIME_DIR=work)
    command = ("mount --bind %s /etc/resolv.conf && exec %s --simulate serve --listen 127.0.0.1:0 "
               "--interval %dms --mqtt mqtt://broker.calidor.test:1883" % (resolv, calidorctl, INTERVAL * 1000))
    serve, said, listening = start_serve(["unshare", "--mount", "sh", "-c", command], env)
    try:
        if not check("serve starts while the broker's name is looked up", listening.wait(3), said):
            return 1
        port = int(re.search(r"127\.0\.0\.1:(\d+)/", said[0]).group(1))
        time.sleep(0.5)
        started = time.monotonic()
        before = reads_total(port, "SIM0001")
        slowest = 0.0
        while time.monotonic() - started < 2.5:
            asked = time.monotonic()
            reads_total(port, "SIM0001")
            slowest = max(slowest, time.monotonic() - asked)
            time.sleep(0.1)
        after = reads_total(port, "SIM0001")
        window = time.monotonic() - started
        check("scrapes are answered meanwhile", slowest < 0.5, slowest)
        # The counter moves in steps of one read: one step may fall either side of the window.
        check("and the thermostat is read at its interval", before is not None and after is not None and
              after - before >= 0.9 * window / INTERVAL - 1, (before, after, window))
        check("the look-up is still under way", not any("MQTT broker" in l for l in said), said)
        stop_within_a_second(serve, "SIGTERM during the look-up ends it within a second, exit 0")
    finally:
        silent.close()
        code = finish([serve], work)
    return code


def main():
    calidorctl = sys.argv[1]
    if sys.argv[2:] == ["--slow-dns"]:
        return slow_dns(calidorctl)
    if not all(shutil.which(t) for t in ("mosquitto", "mosquitto_sub", "mosquitto_pub")):
        print("SKIPPED: mosquitto and its clients are needed (Debian's mosquitto, mosquitto-clients)")
        return SKIP
    work = tempfile.mkdtemp(prefix="calidor-stall-")
    broker_port = free_port()
    with open(os.path.join(work, "mosquitto.conf"), "w") as f:
        f.write("user %s\nlistener %d 127.0.0.1\nallow_anonymous true\npersistence false\n"
                % (getpass.getuser(), broker_port))
    broker = subprocess.Popen(["mosquitto", "-c", os.path.join(work, "mosquitto.conf")],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    serve = sub = None
    try:
        deadline = time.monotonic() + 5
        while time.monotonic() < deadline:
            try:
                socket.create_connection(("127.0.0.1", broker_port), timeout=0.2).close()
                break
            except OSError:
                time.sleep(0.05)
        sub = Subscriber(broker_port, "calidor/SIM0002/#")
        env = dict(os.environ, XDG_RUNTIME_DIR=work, CALIDORCTL_SIMULATE_THERMOSTATS="2",
                   CALIDORCTL_SIMULATE_STALL="SIM0001:%d:%d" % (STALL_FROM * 1000, STALL_FOR * 1000))
        started = time.monotonic()
        serve, said, listening = start_serve(
            [calidorctl, "--simulate", "serve", "--listen", "127.0.0.1:0", "--interval", "%dms" % (INTERVAL * 1000),
             "--mqtt", "mqtt://127.0.0.1:%d" % broker_port], env)
        if not check("serve starts", listening.wait(10), said):
            return 1
        port = int(re.search(r"127\.0\.0\.1:(\d+)/", said[0]).group(1))

        # Into the stall: the first thermostat's read is now stuck.
        time.sleep(max(0.0, started + STALL_FROM + 1.0 - time.monotonic()))
        window_start = time.monotonic()
        before = reads_total(port, "SIM0002")
        time.sleep(6.0)
        after = reads_total(port, "SIM0002")
        window = time.monotonic() - window_start
        expected = window / INTERVAL
        got = (after or 0) - (before or 0)
        check("the healthy thermostat keeps at least 90 % of its reads during the stall",
              before is not None and got >= 0.9 * expected, "%d reads in %.1f s, %d expected" % (got, window, expected))
        stuck = [l for l in said if "SIM0001" in l and "did not answer" in l]
        check("the stuck one is said once", len(stuck) == 1, said)
        states = sub.between(window_start, time.monotonic(), "calidor/SIM0002/state")
        check("the healthy one's MQTT state is still published as it changes", len(states) >= 2, len(states))

        command_at = time.monotonic()
        subprocess.run(["mosquitto_pub", "-h", "127.0.0.1", "-p", str(broker_port), "-t",
                        "calidor/SIM0002/tl/set", "-m", "19.5"], check=True, timeout=10)
        result = None
        deadline = time.monotonic() + 3
        while result is None and time.monotonic() < deadline:
            got_results = sub.between(command_at, time.monotonic(), "calidor/SIM0002/result")
            result = json.loads(got_results[0][2]) if got_results else None
            time.sleep(0.05)
        check("a command for it is written and read back during the stall",
              result is not None and result.get("ok") is True and result.get("written") is True, result)
        check("within the stall", time.monotonic() < started + STALL_FROM + STALL_FOR, time.monotonic() - started)

        stop_within_a_second(serve, "SIGTERM during the stall ends it within a second, exit 0")
    finally:
        code = finish([serve, broker, sub.process if sub else None], work)
    return code


if __name__ == "__main__":
    sys.exit(main())
