#!/usr/bin/env python3
"""`calidorctl serve` keeping its history in a real SQLite file, as a
process: the HTTP API and `calidorctl history` read it while serve writes;
SIGTERM writes the last minutes; 50 SIGKILLs at random moments while it
writes (flushing every 100 ms) leave a file that passes its check and keeps
everything committed before; a damaged file at start is moved aside; a full
disk (RLIMIT_FSIZE, SIGXFSZ ignored) is said once and overcome; an old watch
log is imported once. Everything on 127.0.0.1, every wait bounded."""

import json
import os
import random
import re
import resource
import signal
import sqlite3
import subprocess
import sys
import tempfile
import threading
import time
import urllib.error
import urllib.request

results = []


def check(name, ok, detail=""):
    results.append(bool(ok))
    print(("PASS" if ok else "FAIL") + ": " + name + ("" if ok or not detail else " -- " + str(detail)), flush=True)
    return ok


def http(port, path):
    try:
        with urllib.request.urlopen("http://127.0.0.1:%d%s" % (port, path), timeout=5) as answer:
            return answer.status, answer.headers.get("Content-Type"), answer.read()
    except urllib.error.HTTPError as e:
        return e.code, e.headers.get("Content-Type"), e.read()


def query(path, sql):
    """What a reader of its own sees of the file, as the HTTP API would."""
    db = sqlite3.connect("file:%s?mode=ro" % path, uri=True, timeout=5)
    try:
        return db.execute(sql).fetchall()
    finally:
        db.close()


class Serve:
    alive = []

    def __init__(self, calidorctl, env, history, extra=(), preexec=None):
        self.said = []
        self.listening = threading.Event()
        self.process = subprocess.Popen(
            [calidorctl, "--simulate", "serve", "--listen", "127.0.0.1:0", "--interval", "200ms",
             "--history", history, "--history-flush", "100ms"] + list(extra),
            env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True, preexec_fn=preexec)
        Serve.alive.append(self)
        threading.Thread(target=self._read, daemon=True).start()
        self.port = None
        if self.listening.wait(10):
            m = re.search(r"listening on http://127\.0\.0\.1:(\d+)/", "\n".join(self.said))
            self.port = int(m.group(1)) if m else None

    def _read(self):
        for line in self.process.stderr:
            self.said.append(line.rstrip("\n"))
            if "listening on" in line:
                self.listening.set()

    def stop(self, sig=signal.SIGTERM):
        if self.process.poll() is None:
            self.process.send_signal(sig)
        try:
            return self.process.wait(10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            return self.process.wait()


def wait_for(probe, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        try:
            value = probe()
        except sqlite3.Error:  # not made yet
            value = None
        if value:
            return value
        time.sleep(0.1)
    return None


def main():
    calidorctl = sys.argv[1]
    work = tempfile.mkdtemp(prefix="calidor-history-")
    env = dict(os.environ, XDG_RUNTIME_DIR=work, XDG_STATE_HOME=work, CALIDORCTL_SIMULATE_THERMOSTATS="2")
    history = os.path.join(work, "h", "history.sqlite")

    # Reading while it writes.
    serve = Serve(calidorctl, env, history)
    if not check("serve listens", serve.port is not None, serve.said):
        return 1
    port = serve.port
    status, kind, body = http(port, "/api/v1/thermostats")
    listed = json.loads(body) if status == 200 else []
    check("/api/v1/thermostats lists both with their readings",
          [t["id"] for t in listed] == ["SIM0001", "SIM0002"] and all(
              t["up"] and "temperature_celsius" in t["reading"] and t["read_at"] for t in listed), body)
    check("the history has the service's start and both thermostats",
          wait_for(lambda: query(history, "SELECT count(*) FROM event WHERE kind IN "
                                          "('service_started', 'plugged')")[0][0] >= 3, 5))
    status, kind, body = http(port, "/api/v1/thermostats/SIM0001/history?from=0&points=50")
    answer = json.loads(body) if status == 200 else {}
    check("the history API answers JSON with its events",
          kind == "application/json" and answer.get("id") == "SIM0001" and
          any(e["kind"] == "service_started" for e in answer.get("events", [])), body[:300])
    status, kind, body = http(port, "/api/v1/thermostats/SIM0001/history?format=csv")
    check("and CSV", status == 200 and body.startswith(b"t,temperature_min,temperature_mean,"), body[:200])
    check("an unknown id is 404", http(port, "/api/v1/thermostats/NOPE/history")[0] == 404)
    status, _, body = http(port, "/api/v1/thermostats/SIM0001/history?points=9999")
    check("a bad parameter is 400 with the reason", status == 400 and b"points" in body, body)
    shown = subprocess.run([calidorctl, "history", "--history", history, "--device", "SIM0002", "--format",
                            "json", "--from", "0"], env=env, capture_output=True, text=True, timeout=30)
    check("calidorctl history reads the file while serve writes it",
          shown.returncode == 0 and json.loads(shown.stdout)["id"] == "SIM0002", shown.stderr)
    # Who changed a setting: `calidorctl set` says so; another program (here
    # one writing the simulated thermostat's shared state) does not.
    setting = subprocess.run([calidorctl, "--simulate", "--device", "SIM0001", "set", "--tl", "14.5"], env=env,
                             capture_output=True, text=True, timeout=30)
    check("calidorctl set while serve runs", setting.returncode == 0, setting.stderr)
    check("is kept with the source cli", wait_for(lambda: query(
        history, "SELECT count(*) FROM event e JOIN thermostat t ON t.key = e.thermostat WHERE t.id = 'SIM0001'"
                 " AND e.kind = 'tl' AND e.source = 'cli'")[0][0] == 1, 5),
          query(history, "SELECT kind, detail, source FROM events WHERE kind LIKE '%changed'"))
    state = os.path.join(work, "calidorctl-simulate.state")
    with open(state) as f:
        lines = [l.split() for l in f if l.strip()]
    lines = [l for l in lines if l[0] != "SIM0002"] + [["SIM0002", "120", "300", "65"]]
    with open(state + ".new", "w") as f:
        f.write("".join(" ".join(l) + "\n" for l in lines))
    os.replace(state + ".new", state)
    check("a change none of ours made is kept with the source thermostat", wait_for(lambda: query(
        history, "SELECT count(*) FROM event e JOIN thermostat t ON t.key = e.thermostat WHERE t.id = 'SIM0002'"
                 " AND e.kind = 'tl' AND e.source = 'thermostat'")[0][0] == 1, 5),
          query(history, "SELECT kind, detail, source FROM events WHERE kind LIKE '%changed'"))
    check("SIGTERM ends serve with 0", serve.stop() == 0, serve.said)
    check("after writing its last minutes and its stop",
          query(history, "SELECT count(*) FROM event WHERE kind = 'service_stopped'")[0][0] == 1 and
          query(history, "SELECT count(*) FROM minute")[0][0] >= 2)

    # Power cuts: killed while writing, never a damaged file, nothing
    # committed lost.
    seed = random.randrange(1 << 30)
    rng = random.Random(seed)
    bad = []
    for run in range(50):
        serve = Serve(calidorctl, env, history)
        if serve.port is None:
            bad.append((run, "did not start", serve.said))
            serve.stop(signal.SIGKILL)
            break
        time.sleep(rng.uniform(0.05, 0.6))
        seen = set(query(history, "SELECT * FROM event"))
        minutes = set(query(history, "SELECT * FROM minute"))
        time.sleep(rng.uniform(0, 0.25))
        serve.stop(signal.SIGKILL)
        check_ok = query(history, "PRAGMA integrity_check")[0][0]
        events_lost = seen - set(query(history, "SELECT * FROM event"))
        # A minute row may have grown since (a later part merged in), never gone.
        kept = {r[0] for r in query(history, "SELECT * FROM minute")}
        minutes_lost = {r[0] for r in minutes} - kept
        if check_ok != "ok" or events_lost or minutes_lost:
            bad.append((run, check_ok, events_lost, minutes_lost))
    check("50 SIGKILLs while writing: integrity_check ok and nothing committed lost (seed %d)" % seed,
          not bad, bad)
    started = query(history, "SELECT count(*) FROM event WHERE kind = 'service_started'")[0][0]
    check("most were killed after their first writes, not before", 40 <= started <= 51, started)

    # A damaged file at start.
    with open(history, "r+b") as f:
        f.write(b"\xa5" * 4096)
    for leftover in (history + "-wal", history + "-shm"):
        if os.path.exists(leftover):
            os.remove(leftover)
    serve = Serve(calidorctl, env, history)
    check("a damaged file does not stop serve", serve.port is not None and http(serve.port, "/metrics")[0] == 200,
          serve.said)
    told = wait_for(lambda: [l for l in serve.said if "moved aside" in l], 5) or []
    aside = [n for n in os.listdir(os.path.dirname(history)) if n.startswith("history.sqlite.corrupt-")]
    check("it is said in one line and moved aside", len(told) == 1 and len(aside) == 1 and aside[0] in told[0],
          (serve.said, aside))
    serve.stop()
    check("and a new file started", query(history, "PRAGMA integrity_check")[0][0] == "ok" and
          query(history, "SELECT count(*) FROM event WHERE kind = 'service_stopped'")[0][0] == 1)

    # A full disk: no file may grow past 1 KiB.

    def full_disk():
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
        resource.setrlimit(resource.RLIMIT_FSIZE, (1024, resource.RLIM_INFINITY))

    serve = Serve(calidorctl, env, history, preexec=full_disk)
    check("serve starts on a full disk", serve.port is not None, serve.said)
    time.sleep(1.5)
    history_lines = [l for l in serve.said if "history:" in l]
    check("the failure is said once", len(history_lines) == 1 and "in memory" in history_lines[0], serve.said)
    status, _, body = http(serve.port, "/metrics")
    check("and /metrics goes on", status == 200 and b'calidor_up{id="SIM0001"} 1' in body)
    resource.prlimit(serve.process.pid, resource.RLIMIT_FSIZE, (resource.RLIM_INFINITY, resource.RLIM_INFINITY))
    check("room again is said, and the waiting rows written",
          wait_for(lambda: [l for l in serve.said if "again" in l and "history:" in l], 5), serve.said)
    serve.stop()
    check("nothing of the full disk's time lost",
          query(history, "SELECT count(*) FROM event WHERE kind = 'service_started'")[0][0] == 2)

    # An old watch log, imported twice.
    log = os.path.join(work, "watch.csv")
    with open(log, "w") as f:
        subprocess.run([calidorctl, "--simulate", "--device", "1", "watch", "--format", "csv", "--count", "3", "--interval",
                        "100ms"], env=env, stdout=f, timeout=30, check=True)
    fresh = os.path.join(work, "imported.sqlite")
    first = subprocess.run([calidorctl, "history", "import", log, "--history", fresh], env=env,
                           capture_output=True, text=True, timeout=30)
    second = subprocess.run([calidorctl, "history", "import", log, "--history", fresh], env=env,
                            capture_output=True, text=True, timeout=30)
    check("a watch log is imported once", first.returncode == 0 and second.returncode == 0 and
          re.search(r"\b[12] minutes added, 0 already", first.stdout) and
          re.search(r"\b0 minutes added, [12] already", second.stdout), (first.stdout, second.stdout))
    shown = subprocess.run([calidorctl, "history", "--history", fresh, "--from", "0"], env=env,
                           capture_output=True, text=True, timeout=30)
    check("and read back", shown.returncode == 0 and len(shown.stdout.splitlines()) == 2, shown.stdout)

    failed = results.count(False)
    print("%d checks, %d failed" % (len(results), failed))
    return 1 if failed else 0


if __name__ == "__main__":
    try:
        code = main()
    finally:
        for left in Serve.alive:
            if left.process.poll() is None:
                left.process.kill()
                left.process.wait()
    sys.exit(code)
