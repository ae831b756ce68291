#!/usr/bin/env python3
"""Schedules as `calidorctl --simulate serve` applies them, as a process:
the schedule API over HTTP with a login and hostile requests; a profile set
with `calidorctl schedule` in the history's file and followed on a clock
that runs 12 times fast, through a restart of the service in the middle of
a ramp: every write of the plan reaches the thermostat once, in order (the
history's events of source `schedule`), and the last is read back by
`calidorctl --simulate read`. Everything on 127.0.0.1, every wait bounded.

Usage: schedule_process_test.py CALIDORCTL"""

import calendar
import json
import os
import socket
import sqlite3
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "web"))
import webtest  # noqa: E402
from webtest import check, request, wait_for  # noqa: E402

# A change reaches the history with its source when the read after it comes
# within 10 s of the service's clock: at 12 times, reads every 100 ms leave
# a wide margin on a busy machine.
SPEED = 12
START = calendar.timegm((2026, 12, 1, 8, 0, 0))
# A minute at 16.3/17.3, then a 12-minute ramp to 16.9/17.9, written at most
# every 2 minutes: a tenth at 2, 4, ... 10 minutes, the last at its end.
PROFILE = {"profile": {"start": "2026-12-01T08:00:30Z", "steps": [
    {"hold": "1m", "tl": 16.3, "th": 17.3}, {"ramp": "12m", "tl": 16.9, "th": 17.9}, {"hold": "1d"}]}}
PLANNED_TL = ["16.3", "16.4", "16.5", "16.6", "16.7", "16.8", "16.9"]


def events(history):
    """The TL set by the schedule, in order: (before, after)."""
    try:
        db = sqlite3.connect("file:%s?mode=ro" % history, uri=True, timeout=5)
        rows = db.execute("SELECT detail FROM events WHERE id = 'SIM0001' AND kind = 'tl' AND source = 'schedule'"
                          " ORDER BY t").fetchall()
        db.close()
    except sqlite3.Error:
        return []
    return [tuple(part.strip() for part in r[0].split("->")) for r in rows]


def raw(port, data):
    """The status code of bytes sent as they are; None when dropped."""
    with socket.create_connection(("127.0.0.1", port), timeout=10) as s:
        try:
            s.sendall(data)
            answer = s.recv(4096)
        except (ConnectionResetError, BrokenPipeError, socket.timeout):
            return None
    return int(answer[9:12]) if answer.startswith(b"HTTP/1.") else None


def api_rows(calidorctl, work):
    hashed = webtest.hash_password(calidorctl, "a long test password")
    config = webtest.web_config(work, {"ann": hashed})
    serve = webtest.Serve(calidorctl, work, ["--web-config", config, "--history", os.path.join(work, "api.sqlite")],
                          thermostats=1)
    try:
        if not check("serve with a user listens", serve.port, "\n".join(serve.said)):
            return
        url = serve.base + "/api/v1/thermostats/SIM0001/schedule"
        auth = ("ann", "a long test password")
        origin = {"Content-Type": "application/json", "Origin": serve.base}
        good = json.dumps(PROFILE).encode()
        weekly = b'{"weekly":[{"days":["mon"],"at":"06:30","tl":19,"th":21}]}'
        rows = [
            # what, method, path suffix, body, headers, login, status, a word of the answer
            ("read without a schedule", "GET", "", None, {}, auth, 200, b'"schedule":null'),
            ("a change without a login", "PUT", "", good, origin, None, 401, b""),
            ("a form's content type", "PUT", "", good, dict(origin, **{"Content-Type": "text/plain"}), auth, 403,
             b""),
            ("another site's Origin", "PUT", "", good, dict(origin, Origin="http://evil.example"), auth, 403, b""),
            ("not JSON", "PUT", "", b"{weekly", origin, auth, 422, b"not JSON"),
            ("an unknown key", "PUT", "", b'{"weekly":[{"days":["mon"],"at":"06:30","tl":19,"th":21,"x":1}]}',
             origin, auth, 422, b'\\"x\\"'),
            ("TL not below TH at a step", "PUT", "",
             b'{"profile":{"start":"2026-12-01T08:00:00Z","steps":[{"hold":"1d","tl":18,"th":19},'
             b'{"hold":"1d","tl":21,"th":20}]}}', origin, auth, 422, b"step 2"),
            ("an unknown thermostat", "PUT", "", weekly, origin, auth, 404, b""),
            ("a path below it", "GET", "/x", None, {}, auth, 404, b""),
            ("POST on the schedule itself", "POST", "", weekly, origin, auth, 405, b""),
            ("pause without a schedule", "POST", "/pause", b"{}", origin, auth, 404, b"no schedule"),
            ("a weekly program", "PUT", "", weekly, origin, auth, 200, b'"state":"running"'),
            ("paused", "POST", "/pause", b"{}", origin, auth, 200, b'"paused":true'),
            ("resumed", "POST", "/resume", b"{}", origin, auth, 200, b'"paused":false'),
            ("cleared", "DELETE", "", b"{}", origin, auth, 200, b'"state":"none"'),
        ]
        for what, method, suffix, body, headers, login, status, word in rows:
            target = url if what != "an unknown thermostat" else url.replace("SIM0001", "NOPE")
            got, _, answer = request(target + suffix, method, body, headers, login)
            check("API: %s -> %d" % (what, status), got == status and word in answer, (got, answer[:200]))
        # Too large: said by its length, refused before its body; or sent in
        # chunks, cut at the limit.
        head = ("PUT /api/v1/thermostats/SIM0001/schedule HTTP/1.1\r\nHost: 127.0.0.1:%d\r\n"
                "Authorization: %s\r\nContent-Type: application/json\r\n" % (serve.port, webtest.basic(*auth)))
        check("API: a body of 1 MB -> 413",
              raw(serve.port, (head + "Content-Length: %d\r\n\r\n" % (1 << 20)).encode()) == 413)
        chunk = b"%x\r\n%s\r\n" % (8192, b" " * 8192)
        check("API: 100 KB in chunks -> 413",
              raw(serve.port, (head + "Transfer-Encoding: chunked\r\n\r\n").encode() + chunk * 12 + b"0\r\n\r\n")
              == 413)
        got, _, answer = request(url, "PUT", weekly, origin, auth)
        planned = json.loads(answer).get("planned", []) if got == 200 else []
        check("API: the band ahead is planned, at most 2000 points", 0 < len(planned) <= 2000, len(planned))
    finally:
        serve.stop()
    # Without users nothing changes, however well it is asked.
    serve = webtest.Serve(calidorctl, work, ["--history", os.path.join(work, "api.sqlite")], thermostats=1)
    try:
        got, _, _ = request(serve.base + "/api/v1/thermostats/SIM0001/schedule/pause", "POST", b"{}",
                            {"Content-Type": "application/json", "Origin": serve.base})
        check("API: no users, no change -> 403", got == 403, got)
        got, _, answer = request(serve.base + "/api/v1/thermostats/SIM0001/schedule")
        check("API: no users, still readable", got == 200 and b'"weekly"' in answer, (got, answer[:200]))
    finally:
        serve.stop()


def profile_through_a_restart(calidorctl, work):
    history = os.path.join(work, "profile.sqlite")
    env = dict(os.environ, XDG_RUNTIME_DIR=work, XDG_STATE_HOME=os.path.join(work, "state"),
               CALIDORCTL_SIMULATE_THERMOSTATS="1")
    body = os.path.join(work, "profile.json")
    with open(body, "w") as f:
        json.dump(PROFILE, f)
    cli = [calidorctl, "--simulate"]
    done = subprocess.run(cli + ["schedule", "set", body, "--device", "SIM0001", "--history", history], env=env,
                          capture_output=True, text=True, timeout=30)
    check("schedule set writes it in the file", done.returncode == 0, done.stderr)
    shown = subprocess.run(cli + ["schedule", "show", "--device", "SIM0001", "--history", history], env=env,
                           capture_output=True, text=True, timeout=30)
    check("schedule show reads it back", shown.returncode == 0 and '"ramp"' in shown.stdout, shown)
    bad = os.path.join(work, "bad.json")
    with open(bad, "w") as f:
        f.write('{"profile":{"start":"2026-12-01T08:00:00Z","steps":[{"ramp":"1h","tl":1,"th":2}]}}')
    refused = subprocess.run(cli + ["schedule", "set", bad, "--device", "SIM0001", "--history", history], env=env,
                             capture_output=True, text=True, timeout=30)
    check("a bad file is refused whole", refused.returncode == 3, refused)

    args = cli + ["serve", "--listen", "127.0.0.1:0", "--interval", "100ms", "--history", history,
                  "--history-flush", "100ms", "--ramp-minutes", "2"]
    started = time.monotonic()
    serve = subprocess.Popen(args, env=dict(env, CALIDORCTL_SIMULATE_CLOCK="%d:%d" % (START, SPEED)),
                             stderr=subprocess.PIPE, stdout=subprocess.DEVNULL, text=True)
    try:
        # Two of the ramp's tenths, then a stop in the middle of it.
        two = wait_for(lambda: len(events(history)) >= 3, 60)
        serve.terminate()
        serve.wait(15)
        stopped_at = START + int((time.monotonic() - started) * SPEED) + 1
        check("the ramp begins before the restart", two, events(history))
        check("... and is not over", len(events(history)) < len(PLANNED_TL), events(history))
        # The clock goes on from where it was; the service from what the file says.
        serve = subprocess.Popen(args, env=dict(env, CALIDORCTL_SIMULATE_CLOCK="%d:%d" % (stopped_at, SPEED)),
                                 stderr=subprocess.PIPE, stdout=subprocess.DEVNULL, text=True)
        wait_for(lambda: len(events(history)) >= len(PLANNED_TL), 90)
        time.sleep(1)  # a repeated write would come now
        serve.terminate()
        serve.wait(15)
    finally:
        if serve.poll() is None:
            serve.kill()
            serve.wait(5)
    written = events(history)
    check("every write of the plan, once, in order", [after for _, after in written] == PLANNED_TL, written)
    check("each from what the one before wrote",
          all(written[i][0] == written[i - 1][1] for i in range(1, len(written))), written)
    read = subprocess.run(cli + ["read", "--format", "json"], env=env, capture_output=True, text=True, timeout=30)
    try:
        held = json.loads(read.stdout)
    except ValueError:
        held = {}
    check("the last write is read back", held.get("tl_celsius") == 16.9 and held.get("th_celsius") == 17.9,
          read.stdout)


def main():
    if len(sys.argv) != 2:
        print(__doc__)
        return 2
    calidorctl = sys.argv[1]
    work = webtest.workdir("calidor-schedule-")
    try:
        api_rows(calidorctl, work)
        profile_through_a_restart(calidorctl, work)
    finally:
        import shutil
        shutil.rmtree(work, ignore_errors=True)
    return webtest.summary()


if __name__ == "__main__":
    sys.exit(main())
