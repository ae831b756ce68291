#!/usr/bin/env python3
"""`calidorctl serve --alerts-config` as a process over two virtual
thermostats: one unplugged for a few seconds, the other with thresholds far
above its temperature. A webhook receiver started here on 127.0.0.1 and a
stand-in sendmail record what arrives: each incident begins once, the
unplugging ends once; `calidorctl alert test` reaches both channels."""

import http.server
import json
import os
import subprocess
import sys
import tempfile
import threading
import time

results = []


def check(name, ok, detail=""):
    results.append(ok)
    print(("PASS" if ok else "FAIL") + ": " + name + ("" if ok or not detail else " -- " + str(detail)), flush=True)
    return ok


def wait_for(probe, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if probe():
            return True
        time.sleep(0.2)
    return False


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


def alerts(kind=None, phase=None, thermostat=None):
    with Receiver.lock:
        return [a for a in Receiver.received if (kind is None or a["kind"] == kind)
                and (phase is None or a["phase"] == phase) and (thermostat is None or a["thermostat"] == thermostat)]


def main():
    calidorctl = sys.argv[1]
    work = tempfile.mkdtemp(prefix="calidor-alerts-")
    server = http.server.HTTPServer(("127.0.0.1", 0), Receiver)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    sendmail = os.path.join(work, "sendmail")
    with open(sendmail, "w") as f:
        f.write("#!/bin/sh\ncat >> '%s/mail'\necho '--END--' >> '%s/mail'\n" % (work, work))
    os.chmod(sendmail, 0o700)
    config = os.path.join(work, "alerts.json")
    with open(config, "w") as f:
        json.dump({"channels": [{"type": "webhook", "url": "http://127.0.0.1:%d/hook" % server.server_address[1]},
                                {"type": "email", "to": ["owner@example.org"], "sendmail": sendmail}],
                   "rules": {"margin": 0, "band_minutes": 0.05, "silent_minutes": 0.05}}, f)
    env = dict(os.environ, XDG_RUNTIME_DIR=work, CALIDORCTL_SIMULATE_THERMOSTATS="2",
               # The first one goes after 20 reads (4 s), for 5 s.
               CALIDORCTL_SIMULATE_UNPLUG_AFTER="20", CALIDORCTL_SIMULATE_REPLUG_AFTER="5000")
    subprocess.run([calidorctl, "--simulate", "--device", "SIM0002", "set", "--tl", "80", "--th", "90"], env=env,
                   check=True, capture_output=True, timeout=20)
    serve = subprocess.Popen([calidorctl, "--simulate", "serve", "--listen", "127.0.0.1:0", "--interval", "200ms",
                              "--alerts-config", config], env=env, stderr=subprocess.PIPE, text=True)
    said = []
    threading.Thread(target=lambda: [said.append(line.rstrip("\n")) for line in serve.stderr], daemon=True).start()
    try:
        check("the out-of-band thermostat is told",
              wait_for(lambda: alerts("out-of-band", "begin", "SIM0002"), 15), said)
        check("the unplugged thermostat is told", wait_for(lambda: alerts("not-answering", "begin", "SIM0001"), 20), said)
        check("and its return", wait_for(lambda: alerts("not-answering", "end", "SIM0001"), 20), said)
        time.sleep(3)  # readings go on: nothing is told twice
        check("each incident once: one begin out of band",
              len(alerts("out-of-band", "begin", "SIM0002")) == 1 and not alerts("out-of-band", "end", "SIM0002"),
              Receiver.received)
        check("one begin and one end of the silence",
              len(alerts("not-answering", "begin", "SIM0001")) == 1 and len(alerts("not-answering", "end", "SIM0001")) == 1,
              Receiver.received)
        check("nothing else", len(Receiver.received) == 3, Receiver.received)
        check("the mail got the same", wait_for(lambda: open(os.path.join(work, "mail")).read().count("--END--") == 3, 10))
        test = subprocess.run([calidorctl, "alert", "test", "--alerts-config", config], capture_output=True, text=True,
                              timeout=30)
        check("alert test reaches every channel", test.returncode == 0 and test.stdout.count(": sent") == 2,
              (test.returncode, test.stdout, test.stderr))
        check("the receiver has the test", len(alerts("test")) == 1, Receiver.received)
        broken = subprocess.run([calidorctl, "--simulate", "serve", "--listen", "127.0.0.1:0", "--alerts-config",
                                 os.path.join(work, "missing.json")], env=env, capture_output=True, text=True,
                                timeout=30)
        check("a missing alerts file stops serve with a usage error", broken.returncode == 2 and "missing.json" in
              broken.stderr, (broken.returncode, broken.stderr))
    finally:
        serve.terminate()
        try:
            serve.wait(15)
        except subprocess.TimeoutExpired:
            serve.kill()
        server.shutdown()
    check("serve stops cleanly", serve.returncode == 0, serve.returncode)
    return 0 if all(results) else 1


if __name__ == "__main__":
    sys.exit(main())
