#!/usr/bin/env python3
"""`calidorctl serve --alerts-config` as a process over two virtual
thermostats, on a simulated clock that runs ten minutes a second, with its
history kept. A webhook receiver started here on 127.0.0.1 and a stand-in
sendmail record what arrives. The first thermostat is unplugged for a while,
the second sits far below its thresholds; the receiver goes down and comes
back; the service is restarted in the middle of an incident. Each incident
begins once and ends once across the restart, a change made behind the
service's back is told once (and one from the dashboard is not), and the
dashboard's test alert reaches both channels."""

import http.server
import json
import os
import subprocess
import sys
import threading
import time

sys.dont_write_bytecode = True  # no cache files in the source tree
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "web"))
from webtest import Serve, check, hash_password, request, summary, wait_for, web_config, workdir  # noqa: E402

SPEED = 600  # ten simulated minutes a second


class Receiver(http.server.BaseHTTPRequestHandler):
    received = []
    lock = threading.Lock()

    def do_POST(self):
        body = self.rfile.read(int(self.headers.get("Content-Length", "0")))
        with Receiver.lock:
            Receiver.received.append(json.loads(body))
        self.send_response(200)
        self.send_header("Content-Length", "0")
        self.end_headers()

    def log_message(self, *args):
        pass


class Hook:
    """The receiver, which the test takes down and brings back on its port."""

    def __init__(self):
        self.port = 0
        self.up()

    def up(self):
        self.server = http.server.HTTPServer(("127.0.0.1", self.port), Receiver)
        self.port = self.server.server_address[1]
        threading.Thread(target=self.server.serve_forever, daemon=True).start()

    def down(self):
        self.server.shutdown()
        self.server.server_close()


def alerts(kind=None, phase=None, thermostat=None):
    with Receiver.lock:
        return [a for a in Receiver.received if (kind is None or a["kind"] == kind)
                and (phase is None or a["phase"] == phase) and (thermostat is None or a["thermostat"] == thermostat)]


def mails(work):
    try:
        with open(os.path.join(work, "mail")) as f:
            return f.read().split("--END--\n")[:-1]
    except FileNotFoundError:
        return []


def incidents(serve, auth):
    status, _, body = request(serve.base + "/api/v1/incidents", auth=auth)
    return json.loads(body)["incidents"] if status == 200 else None


def main():
    calidorctl = sys.argv[1]
    work = workdir("calidor-alerts-")
    hook = Hook()
    sendmail = os.path.join(work, "sendmail")
    with open(sendmail, "w") as f:
        f.write("#!/bin/sh\ncat >> '%s/mail'\necho '--END--' >> '%s/mail'\n" % (work, work))
    os.chmod(sendmail, 0o700)
    config = os.path.join(work, "alerts.json")
    with open(config, "w") as f:
        json.dump({"channels": [{"type": "webhook", "url": "http://127.0.0.1:%d/hook" % hook.port},
                                {"type": "email", "to": ["owner@example.org"], "sendmail": sendmail}],
                   "rules": {"margin": 0, "band_minutes": 50, "silent_minutes": 20}}, f)
    alice = ("alice", "s3cret")
    users = web_config(work, {"alice": hash_password(calidorctl, alice[1])})
    history = os.path.join(work, "history.sqlite")
    args = ["--interval", "200ms", "--alerts-config", config, "--web-config", users, "--history", history,
            "--history-flush", "1s"]
    env = {"XDG_RUNTIME_DIR": work, "CALIDORCTL_SIMULATE_THERMOSTATS": "2"}

    def outside_set(device, tl=None, th=None, mode=None):
        """A change made behind the service's back, as another program (the
        window) would: straight into the simulated thermostats' shared state,
        which calidorctl set would announce to the service."""
        read = subprocess.run([calidorctl, "--simulate", "--device", device, "read", "--format", "json"],
                              env=dict(os.environ, **env), check=True, capture_output=True, text=True, timeout=20)
        now = json.loads(read.stdout)
        line = "%s %d %d %d\n" % (device, round((now["tl_celsius"] if tl is None else tl) * 10),
                                  round((now["th_celsius"] if th is None else th) * 10),
                                  ord(now["relay_mode"] if mode is None else mode))
        state = os.path.join(work, "calidorctl-simulate.state")
        kept = []
        if os.path.exists(state):
            with open(state) as f:
                kept = [l for l in f if l.strip() and l.split()[0] != device]
        with open(state + ".new", "w") as f:
            f.write("".join(kept) + line)
        os.replace(state + ".new", state)

    outside_set("SIM0002", tl=80, th=90)
    start = int(time.time())
    started = time.monotonic()
    # The first thermostat goes after 20 reads (4 s), for 5 s: 50 minutes of silence.
    serve = Serve(calidorctl, work, args, dict(env, CALIDORCTL_SIMULATE_CLOCK="%d:%d" % (start, SPEED),
                                               CALIDORCTL_SIMULATE_UNPLUG_AFTER="20",
                                               CALIDORCTL_SIMULATE_REPLUG_AFTER="5000"))
    try:
        if not check("serve starts", serve.port, serve.said):
            return summary()
        check("the out-of-band thermostat is told",
              wait_for(lambda: alerts("out-of-band", "begin", "SIM0002"), 30), serve.said[-5:])
        check("the unplugged thermostat is told", wait_for(lambda: alerts("not-answering", "begin", "SIM0001"), 30))
        check("and its return", wait_for(lambda: alerts("not-answering", "end", "SIM0001"), 30))
        listed = incidents(serve, alice) or []
        check("/api/v1/incidents lists the open one",
              [(i["id"], i["kind"]) for i in listed] == [("SIM0002", "out_of_band")], listed)
        since = listed[0]["since"] if listed else None

        # The receiver is down when a change is made behind the service's back.
        hook.down()
        outside_set("SIM0001", tl=10.5)
        check("a change behind the service's back is mailed",
              wait_for(lambda: any("thresholds changed" in m for m in mails(work)), 15), mails(work)[-1:])
        check("... and waits for the webhook", not alerts("thresholds-changed"))
        time.sleep(1)
        hook.up()
        check("the receiver back, it is delivered",
              wait_for(lambda: alerts("thresholds-changed", "begin", "SIM0001"), 30))
        told = alerts("thresholds-changed", "begin", "SIM0001")
        check("... with what changed", told and "TL" in told[0]["message"] and "10.5" in told[0]["message"], told)

        # A restart in the middle of the out-of-band incident, the clock going on.
        serve.stop()
        check("serve stops cleanly", serve.process.returncode == 0, serve.process.returncode)
        later = start + int((time.monotonic() - started) * SPEED) + 60
        serve = Serve(calidorctl, work, args, dict(env, CALIDORCTL_SIMULATE_CLOCK="%d:%d" % (later, SPEED)))
        if not check("serve starts again", serve.port, serve.said):
            return summary()
        check("it says the incident is still open", any("still open" in line for line in serve.said), serve.said)
        listed = incidents(serve, alice) or []
        check("the incident is listed with its first time",
              [(i["id"], i["kind"], i["since"]) for i in listed] == [("SIM0002", "out_of_band", since)],
              (listed, since))

        status, _, body = request(serve.base + "/api/v1/alerts/test", "POST", b"{}",
                                  {"Content-Type": "application/json", "Origin": serve.base}, alice)
        check("the dashboard's test alert: 200, two channels",
              status == 200 and json.loads(body) == {"ok": True, "channels": 2}, (status, body))
        check("... reaches the webhook", wait_for(lambda: alerts("test"), 15))
        status, _, body = request(serve.base + "/api/v1/thermostats/SIM0001/settings", "POST", b'{"th": 23}',
                                  {"Content-Type": "application/json", "Origin": serve.base}, alice)
        check("a change from the dashboard is written", status == 200 and json.loads(body).get("written"),
              (status, body))
        time.sleep(6)  # more than the band's 50 minutes of readings, still out of band
        check("no second beginning after the restart", len(alerts("out-of-band", "begin", "SIM0002")) == 1,
              alerts("out-of-band"))

        outside_set("SIM0002", tl=5, th=45)
        check("the end of the incident is told", wait_for(lambda: alerts("out-of-band", "end", "SIM0002"), 30),
              serve.said[-5:])
        check("the list empties", wait_for(lambda: incidents(serve, alice) == [], 10), incidents(serve, alice))
        time.sleep(2)
    finally:
        serve.stop()
    check("serve stops cleanly again", serve.process.returncode == 0, serve.process.returncode)

    counts = {}
    for a in alerts():
        key = "%s %s %s" % (a["thermostat"] or "-", a["kind"], a["phase"])
        counts[key] = counts.get(key, 0) + 1
    check("each incident once, across the restart and the receiver's absence", counts == {
        "SIM0002 out-of-band begin": 1, "SIM0002 out-of-band end": 1,
        "SIM0001 not-answering begin": 1, "SIM0001 not-answering end": 1,
        "SIM0001 thresholds-changed begin": 1, "SIM0002 thresholds-changed begin": 1,
        "- test begin": 1}, counts)
    check("the mail got the same", wait_for(lambda: len(mails(work)) == len(Receiver.received), 10),
          (len(mails(work)), len(Receiver.received)))

    # Without a history the rule of changes behind the service's back holds all the same.
    bare = Serve(calidorctl, work, ["--interval", "200ms", "--alerts-config", config, "--no-history"],
                 dict(env, CALIDORCTL_SIMULATE_CLOCK="%d:%d" % (int(time.time()) + 86400, SPEED)))
    try:
        if check("serve starts without a history", bare.port, bare.said):
            time.sleep(1)
            outside_set("SIM0002", mode="B")
            told = wait_for(lambda: alerts("thresholds-changed", "begin", "SIM0002")[1:], 15)
            check("... and tells a change behind its back", told and "mode A -> B" in told[0]["message"], told)
            setting = subprocess.run([calidorctl, "--simulate", "--device", "SIM0001", "set", "--th", "30"],
                                     env=dict(os.environ, **env), capture_output=True, text=True, timeout=20)
            time.sleep(3)
            check("... but not one by calidorctl set, which says it is ours", setting.returncode == 0 and
                  len(alerts("thresholds-changed", "begin", "SIM0001")) == 1, (setting.stderr, alerts("thresholds-changed")))
    finally:
        bare.stop()

    test = subprocess.run([calidorctl, "alert", "test", "--alerts-config", config], capture_output=True, text=True,
                          timeout=30)
    check("calidorctl alert test reaches every channel", test.returncode == 0 and test.stdout.count(": sent") == 2,
          (test.returncode, test.stdout, test.stderr))
    broken = subprocess.run([calidorctl, "--simulate", "serve", "--listen", "127.0.0.1:0", "--alerts-config",
                             os.path.join(work, "missing.json")], env=dict(os.environ, **env), capture_output=True,
                            text=True, timeout=30)
    check("a missing alerts file stops serve with a usage error", broken.returncode == 2 and "missing.json" in
          broken.stderr, (broken.returncode, broken.stderr))
    hook.down()
    return summary()


if __name__ == "__main__":
    sys.exit(main())
