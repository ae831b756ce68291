#!/usr/bin/env python3
"""The MQTT bridge of `calidorctl serve` against a real broker.

Starts Debian's mosquitto on free loopback ports with a generated password
file, ACL and TLS listener (a CA and certificate made here with openssl),
runs the real `calidorctl --simulate serve --mqtt ...` over two simulated
thermostats and checks it with mosquitto_sub / mosquitto_pub, Home
Assistant's templates rendered with Jinja2. Exit 77 (skipped) when a tool is
missing.

Usage: bridge_test.py CALIDORCTL
"""

import getpass
import json
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import urllib.request

SKIP = 77
TOOLS = ["mosquitto", "mosquitto_sub", "mosquitto_pub", "mosquitto_passwd", "openssl"]
PASSWORDS = {"calidor": "service-secret", "ha": "ha-secret", "viewer": "viewer-secret"}

# Who may do what: the service publishes its state and reads commands, only
# the home automation ("ha") publishes commands, "viewer" only reads.
ACL = """\
user calidor
topic read calidor/+/+/set
topic write calidor/bridge/availability
topic write calidor/+/availability
topic write calidor/+/state
topic write calidor/+/result
topic write homeassistant/+/+/+/config
topic read homeassistant/status
topic readwrite tls/#

user ha
topic read calidor/#
topic write calidor/+/tl/set
topic write calidor/+/th/set
topic write calidor/+/mode/set
topic write calidor/+/schedule/set
topic readwrite homeassistant/#
topic read tls/#

user viewer
topic read calidor/#
"""

# What each entity's template must yield from a state: the state key it shows.
ENTITY_KEYS = {
    "temperature": "temperature_celsius",
    "tl": "tl_celsius",
    "th": "th_celsius",
    "mode": "relay_mode",
    "probe": "probe_status_text",
    "boot_status": "boot_status",
}

failures = []
T0 = time.monotonic()


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what, flush=True)
    return condition


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def run(args, **kw):
    return subprocess.run(args, check=True, capture_output=True, timeout=20, **kw)


class Broker:
    def __init__(self, folder, name, listeners):
        self.folder, self.name = folder, name
        self.conf = os.path.join(folder, name + ".conf")
        self.log = os.path.join(folder, name + ".log")
        lines = [
            # Started as root, mosquitto would become "mosquitto" and lose
            # the files of this test.
            "user " + getpass.getuser(),
            "per_listener_settings false",
            "allow_anonymous false",
            "password_file " + os.path.join(folder, "passwords"),
            "acl_file " + os.path.join(folder, "acl"),
            "persistence false",
            "log_dest file " + self.log,
            "log_type all",
            "connection_messages true",
        ]
        for port, tls in listeners:
            lines.append("listener %d 127.0.0.1" % port)
            if tls:
                lines += [
                    "cafile " + os.path.join(folder, "ca.pem"),
                    "certfile " + os.path.join(folder, "server.pem"),
                    "keyfile " + os.path.join(folder, "server.key"),
                ]
        with open(self.conf, "w") as f:
            f.write("\n".join(lines) + "\n")
        self.port = listeners[0][0]
        self.process = None

    def start(self):
        self.process = subprocess.Popen(["mosquitto", "-c", self.conf], stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 5
        while time.monotonic() < deadline:
            try:
                socket.create_connection(("127.0.0.1", self.port), timeout=0.2).close()
                return
            except OSError:
                time.sleep(0.05)
        raise RuntimeError("mosquitto did not start; see " + self.log)

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.terminate()
            self.process.wait(5)

    def count(self, text):
        with open(self.log, errors="replace") as f:
            return f.read().count(text)


class Subscriber:
    """mosquitto_sub in the background; every message kept with its time."""

    def __init__(self, port, filters, user="ha", exclude=()):
        args = ["mosquitto_sub", "-h", "127.0.0.1", "-p", str(port), "-u", user, "-P", PASSWORDS[user],
                "-V", "5", "--retain-as-published", "-q", "1", "-F", "%r %t %x"]
        for f in filters:
            args += ["-t", f]
        for f in exclude:
            args += ["-T", f]
        self.messages = []
        self.lock = threading.Lock()
        self.process = subprocess.Popen(args, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.process.stdout:
            parts = line.rstrip("\n").split(" ", 2)
            if len(parts) < 2:
                continue
            payload = bytes.fromhex(parts[2]) if len(parts) == 3 else b""
            with self.lock:
                self.messages.append((time.monotonic(), parts[1], payload, parts[0] == "1"))

    def since(self, start=0.0):
        with self.lock:
            return [m for m in self.messages if m[0] >= start]

    def wait(self, predicate, timeout=5.0, start=0.0):
        """The first message after `start` for which predicate(topic, payload, retained) holds."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            for m in self.since(start):
                if predicate(m[1], m[2], m[3]):
                    return m
            time.sleep(0.02)
        return None

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            self.process.wait(5)


class Service:
    def __init__(self, calidorctl, folder, name, args, env):
        self.stderr_path = os.path.join(folder, name + ".stderr")
        self.stderr = open(self.stderr_path, "w")
        self.process = subprocess.Popen([calidorctl, "--simulate", "serve", "--listen", "127.0.0.1:0"] + args,
                                        env=env, stdout=subprocess.DEVNULL, stderr=self.stderr)

    def text(self):
        with open(self.stderr_path, errors="replace") as f:
            return f.read()

    def metrics_url(self, timeout=5.0):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            for line in self.text().splitlines():
                if "listening on http://" in line:
                    return line.split("listening on ", 1)[1].strip() + "metrics"
            time.sleep(0.05)
        return None

    def alive(self):
        return self.process.poll() is None

    def stop(self, sig=signal.SIGTERM):
        if self.alive():
            self.process.send_signal(sig)
            try:
                self.process.wait(5)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.stderr.close()


def publish(port, topic, payload=None, user="ha", retain=False, payload_file=None):
    args = ["mosquitto_pub", "-h", "127.0.0.1", "-p", str(port), "-u", user, "-P", PASSWORDS[user],
            "-q", "1", "-t", topic]
    if retain:
        args.append("-r")
    if payload_file:
        args += ["-f", payload_file]
    elif payload is None:
        args.append("-n")
    else:
        args += ["-m", payload]
    run(args)


def make_certificates(folder):
    def key_and_request(name, subject):
        run(["openssl", "req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
             "-keyout", os.path.join(folder, name + ".key"), "-out", os.path.join(folder, name + ".csr"),
             "-subj", subject])

    for ca in ("ca", "otherca"):
        run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
             "-keyout", os.path.join(folder, ca + ".key"), "-out", os.path.join(folder, ca + ".pem"),
             "-days", "2", "-subj", "/CN=Calidor test " + ca])
    key_and_request("server", "/CN=127.0.0.1")
    ext = os.path.join(folder, "server.ext")
    with open(ext, "w") as f:
        f.write("subjectAltName=IP:127.0.0.1,DNS:localhost\n")
    run(["openssl", "x509", "-req", "-in", os.path.join(folder, "server.csr"), "-CA",
         os.path.join(folder, "ca.pem"), "-CAkey", os.path.join(folder, "ca.key"), "-CAcreateserial",
         "-out", os.path.join(folder, "server.pem"), "-days", "2", "-extfile", ext])


def read_back(calidorctl, env, device):
    out = run([calidorctl, "--simulate", "read", "--device", device, "--format", "json"], env=env).stdout
    return json.loads(out)


def result_after(sub, device, start, timeout=5.0, command=None):
    m = sub.wait(lambda t, p, r: t == "calidor/%s/result" % device and
                 (command is None or json.loads(p).get("command") == command), timeout, start)
    return json.loads(m[2]) if m else None


def main():
    if len(sys.argv) != 2:
        print(__doc__)
        return 2
    calidorctl = sys.argv[1]
    missing = [t for t in TOOLS if not shutil.which(t)]
    try:
        import jinja2
    except ImportError:
        missing.append("python3-jinja2")
    if missing:
        print("SKIPPED: not installed: " + ", ".join(missing))
        return SKIP

    folder = tempfile.mkdtemp(prefix="calidor-mqtt-")
    brokers, services, subscribers = [], [], []
    try:
        return scenario(calidorctl, folder, jinja2, brokers, services, subscribers)
    finally:
        for s in services:
            s.stop(signal.SIGKILL)
        for s in subscribers:
            s.stop()
        for b in brokers:
            b.stop()
        if failures:
            print("kept for a look:", folder)
        else:
            shutil.rmtree(folder, ignore_errors=True)


def scenario(calidorctl, folder, jinja2, brokers, services, subscribers):
    make_certificates(folder)
    passwords = os.path.join(folder, "passwords")
    open(passwords, "w").close()
    for user, password in PASSWORDS.items():
        run(["mosquitto_passwd", "-b", passwords, user, password])
    os.chmod(passwords, 0o600)
    with open(os.path.join(folder, "acl"), "w") as f:
        f.write(ACL)
    runtime = os.path.join(folder, "runtime")
    os.mkdir(runtime, 0o700)

    env = dict(os.environ, XDG_RUNTIME_DIR=runtime, XDG_STATE_HOME=runtime, CALIDORCTL_SIMULATE_THERMOSTATS="2")
    env.pop("CALIDOR_MQTT_PASSWORD", None)
    with open(os.path.join(folder, "service-password"), "w") as f:
        f.write(PASSWORDS["calidor"] + "\n")

    # SIM0002 follows a weekly program (a change by hand overrides it), SIM0001 none.
    weekly = os.path.join(folder, "weekly.json")
    with open(weekly, "w") as f:
        json.dump({"weekly": [{"days": ["mon", "tue", "wed", "thu", "fri", "sat", "sun"], "at": "00:00",
                               "tl": 15, "th": 25}]}, f)
    run([calidorctl, "--simulate", "schedule", "set", weekly, "--device", "SIM0002"], env=env)

    # The broker that fails people: a wrong password and a certificate from
    # another CA are each said once and retried at the slow pace (30 s), so
    # they start first and are looked at last. The right CA works there too.
    fail_plain, fail_tls = free_port(), free_port()
    failing = Broker(folder, "failing", [(fail_plain, False), (fail_tls, True)])
    failing.start()
    brokers.append(failing)
    tls_sub = Subscriber(fail_plain, ["tls/#"])
    subscribers.append(tls_sub)
    wrong_password = Service(calidorctl, folder, "wrong-password",
                             ["--mqtt", "mqtt://calidor@127.0.0.1:%d" % fail_plain, "--mqtt-client-id",
                              "calidor-wrong-password", "--topic-prefix", "tls", "--no-history"],
                             dict(env, CALIDOR_MQTT_PASSWORD="not-the-password"))
    wrong_ca = Service(calidorctl, folder, "wrong-ca",
                       ["--mqtt", "mqtts://calidor@127.0.0.1:%d" % fail_tls, "--mqtt-ca",
                        os.path.join(folder, "otherca.pem"), "--mqtt-password-file",
                        os.path.join(folder, "service-password"), "--topic-prefix", "tls",
                        "--mqtt-client-id", "calidor-wrong-ca", "--no-history"], env)
    right_ca = Service(calidorctl, folder, "right-ca",
                       ["--mqtt", "mqtts://calidor@127.0.0.1:%d" % fail_tls, "--mqtt-ca",
                        os.path.join(folder, "ca.pem"), "--mqtt-password-file",
                        os.path.join(folder, "service-password"), "--topic-prefix", "tls", "--no-discovery",
                        "--mqtt-client-id", "calidor-right-ca", "--no-history"], env)
    services += [wrong_password, wrong_ca, right_ca]

    # The main broker, and the service under test on it: SIM0001 is
    # unplugged after 25 reads and comes back 1.5 s later.
    broker = Broker(folder, "main", [(free_port(), False)])
    broker.start()
    brokers.append(broker)
    port = broker.port
    sub = Subscriber(port, ["calidor/#", "homeassistant/#"], exclude=["calidor/+/+/set"])
    subscribers.append(sub)
    service = Service(calidorctl, folder, "service",
                      ["--interval", "200ms", "--mqtt", "mqtt://calidor@127.0.0.1:%d" % port,
                       "--mqtt-password-file", os.path.join(folder, "service-password")],
                      dict(env, CALIDORCTL_SIMULATE_UNPLUG_AFTER="25", CALIDORCTL_SIMULATE_REPLUG_AFTER="1500"))
    services.append(service)

    # --- connection, discovery, state --------------------------------------
    check(sub.wait(lambda t, p, r: t == "calidor/bridge/availability" and p == b"online" and r),
          "bridge availability online, retained")
    ids = ["SIM0001", "SIM0002"]
    for i in ids:
        check(sub.wait(lambda t, p, r: t == "calidor/%s/availability" % i and p == b"online" and r),
              i + " availability online")
        check(sub.wait(lambda t, p, r: t == "calidor/%s/state" % i and r), i + " retained state")
    check_discovery(sub, ids, jinja2, calidorctl, env)

    # --- unplug and replug -------------------------------------------------
    off = sub.wait(lambda t, p, r: t == "calidor/SIM0001/availability" and p == b"offline" and r, 8)
    check(off is not None, "SIM0001 offline while unplugged")
    if off:
        check(sub.wait(lambda t, p, r: t == "calidor/SIM0001/availability" and p == b"online", 5, off[0]),
              "SIM0001 online again after the replug")
    check(not any(t == "calidor/SIM0002/availability" and p == b"offline" for _, t, p, _ in sub.since()),
          "SIM0002 stayed available")
    # The simulated temperature is noisy: a state per interval at most.
    start = time.monotonic()
    time.sleep(2.0)
    states = [m for m in sub.since(start) if m[1] == "calidor/SIM0002/state"]
    check(1 <= len(states) <= 11, "at most one state per 200 ms interval: %d in 2 s" % len(states))

    check_commands(sub, port, calidorctl, env, folder, service)
    check_schedule(sub, port)
    check_rate_limit(sub, port)
    check_birth(sub, port)
    check_broker_restart(folder, broker, service, subscribers)

    # --- the will ----------------------------------------------------------
    sub2 = subscribers[-1]
    start = time.monotonic()
    service.process.send_signal(signal.SIGKILL)
    service.process.wait(5)
    check(sub2.wait(lambda t, p, r: t == "calidor/bridge/availability" and p == b"offline", 5, start),
          "the will says offline after SIGKILL")

    check_failing_broker(failing, tls_sub, wrong_password, wrong_ca, right_ca)
    print("%d failures in %.1f s" % (len(failures), time.monotonic() - T0))
    return 1 if failures else 0


def latest_state(sub, device):
    states = [m for m in sub.since() if m[1] == "calidor/%s/state" % device]
    return json.loads(states[-1][2]) if states else None


def check_discovery(sub, ids, jinja2, calidorctl, env):
    deadline = time.monotonic() + 5
    configs = {}
    while time.monotonic() < deadline and len(configs) < 16:
        configs = {t: (p, r) for _, t, p, r in sub.since() if t.startswith("homeassistant/") and t.endswith("/config")}
        time.sleep(0.05)
    check(len(configs) == 16, "16 discovery configurations (8 per thermostat), got %d" % len(configs))
    read_keys = set(read_back(calidorctl, env, "SIM0002"))
    templates = jinja2.Environment()
    unique = set()
    for topic, (payload, retained) in sorted(configs.items()):
        check(retained, topic + " retained")
        component, node, obj = topic.split("/")[1:4]
        device = node[len("calidor_"):]
        try:
            c = json.loads(payload)
        except ValueError:
            check(False, topic + " is JSON")
            continue
        for key in ("name", "unique_id", "state_topic", "value_template", "availability", "device", "origin"):
            check(key in c, "%s has %s" % (topic, key))
        unique.add(c.get("unique_id"))
        check(c.get("availability_mode") == "all", topic + " availability_mode all")
        check([a.get("topic") for a in c.get("availability", [])] ==
              ["calidor/bridge/availability", "calidor/%s/availability" % device], topic + " availability topics")
        check(c.get("device", {}).get("identifiers") == [node], topic + " device identifiers")
        check(c.get("origin", {}).get("name"), topic + " origin name")
        state = latest_state(sub, device)
        if not check(state is not None, device + " has a state"):
            continue
        check(set(state) == read_keys | {"timestamp", "schedule", "next_change"},
              "state keys are read's keys, timestamp and the schedule's: %s" % sorted(state))
        # Home Assistant renders value_template with value_json from the state.
        rendered = templates.from_string(c["value_template"]).render(value_json=state,
                                                                    value=json.dumps(state)).strip()
        if obj == "relay":
            expected = {"C-NO": "ON", "C-NC": "OFF"}.get(state["relay_contact"], "None")
            check(rendered in (c.get("payload_on", "ON"), c.get("payload_off", "OFF")), topic + " on or off")
        elif obj == "schedule":
            expected = "OFF" if state["schedule"] in ("paused", "none") else "ON"
            check(c.get("command_topic") == "calidor/%s/schedule/set" % device, topic + " command topic")
        else:
            expected = str(state[ENTITY_KEYS[obj]])
        check(rendered == expected, "%s renders %r, the state holds %r" % (topic, rendered, expected))
        if "options" in c:
            check(rendered in c["options"], "%s: %r is one of its options" % (topic, rendered))
        if component == "number":
            check(c["min"] <= float(rendered) <= c["max"], topic + " value within min..max")
            check(c.get("command_topic") == "calidor/%s/%s/set" % (device, obj), topic + " command topic")
    check(len(unique) == 16, "unique ids distinct")

    # States Home Assistant must show as unknown ("None" is its word for it),
    # rendered as it renders them: a relay contact the thermostat did not
    # report, and a probe fault, whose temperature the service gives as null.
    mine = {t.split("/")[3]: json.loads(p) for t, (p, _) in configs.items() if t.split("/")[2] == "calidor_" + ids[0]}
    base = latest_state(sub, ids[0]) or {}
    unreported = dict(base, relay_contact=None)
    fault = dict(base, temperature_celsius=None, probe_status=2, probe_status_text="no probe connected")

    def render(obj, state):
        return templates.from_string(mine[obj]["value_template"]).render(value_json=state).strip()

    check(render("relay", unreported) == "None", "an unreported relay contact renders None, not OFF")
    check(render("relay", dict(base, relay_contact="C-NC")) == "OFF", "C-NC renders OFF")
    check(render("temperature", fault) == "None", "a probe fault's temperature renders None")
    check(render("probe", fault) in mine["probe"]["options"], "a probe fault is one of the probe's options")
    check("unknown" not in mine["probe"]["options"], "no probe option reads as Home Assistant's unknown")


def check_commands(sub, port, calidorctl, env, folder, service):
    dev = "SIM0002"
    before = read_back(calidorctl, env, dev)
    tl, th = float(before["tl_celsius"]), float(before["th_celsius"])

    # Accepted: applied, its state published, read back by another process.
    new_th = th + 1.5
    start = time.monotonic()
    publish(port, "calidor/%s/th/set" % dev, ("%.1f" % new_th).replace(".", ","))
    r = result_after(sub, dev, start)
    check(r is not None and r.get("ok") is True and r.get("command") == "th", "th command accepted: %r" % r)
    check(sub.wait(lambda t, p, rt: t == "calidor/%s/state" % dev and json.loads(p)["th_celsius"] == new_th, 3,
                   start), "state on change shows the new TH")
    check(float(read_back(calidorctl, env, dev)["th_celsius"]) == new_th, "a second process reads the new TH")
    th = new_th

    # Two commands within 300 ms make one configuration: TL above the old
    # TH is fine because TH rises in the same configuration.
    start = time.monotonic()
    publish(port, "calidor/%s/tl/set" % dev, "%.1f" % (th + 2))
    publish(port, "calidor/%s/th/set" % dev, "%.1f" % (th + 4))
    publish(port, "calidor/%s/mode/set" % dev, "B")
    time.sleep(1.0)
    results = [json.loads(m[2]) for m in sub.since(start) if m[1] == "calidor/%s/result" % dev]
    check(len(results) == 3 and all(x.get("ok") for x in results), "coalesced commands all accepted: %r" % results)
    back = read_back(calidorctl, env, dev)
    check((float(back["tl_celsius"]), float(back["th_celsius"]), back["relay_mode"]) == (th + 2, th + 4, "B"),
          "coalesced configuration read back: %r" % back)
    tl, th = th + 2, th + 4

    # A value converted from °F, with all its decimals: written to a tenth.
    start = time.monotonic()
    publish(port, "calidor/%s/tl/set" % dev, "12.333333333333332")
    r = result_after(sub, dev, start)
    check(r is not None and r.get("ok") is True and r.get("value_written") == "12.3" and
          r.get("value") == "12.333333333333332", "a °F conversion is written to a tenth: %r" % r)
    check(float(read_back(calidorctl, env, dev)["tl_celsius"]) == 12.3, "12.3 read back by a second process")
    tl = 12.3

    # Equal values write nothing.
    start = time.monotonic()
    publish(port, "calidor/%s/tl/set" % dev, "%.1f" % tl)
    r = result_after(sub, dev, start)
    check(r is not None and r.get("ok") is True and r.get("written") is False, "an equal value writes nothing: %r" % r)

    # Refused, each with a reason; nothing written.
    big = os.path.join(folder, "big")
    with open(big, "wb") as f:
        f.write(b"1" * (1 << 20))
    bad_utf8 = os.path.join(folder, "bad-utf8")
    with open(bad_utf8, "wb") as f:
        f.write(b"\xff\xfe2")
    refused = [("tl", "130", None), ("th", "-60", None), ("tl", "%.1f" % th, None), ("th", "%.1f" % (tl - 1), None),
               ("th", "1e2", None), ("tl", "warm", None), ("mode", "C", None), ("th", None, None),
               ("tl", None, big), ("th", None, bad_utf8)]
    for command, payload, payload_file in refused:
        start = time.monotonic()
        publish(port, "calidor/%s/%s/set" % (dev, command), payload, payload_file=payload_file)
        r = result_after(sub, dev, start)
        what = "%s %r" % (command, payload if payload_file is None else os.path.basename(payload_file))
        check(r is not None and r.get("ok") is False and r.get("reason"), "refused with a reason: %s -> %r" % (what, r))
    # A user the ACL does not let publish commands: the broker drops it.
    publish(port, "calidor/%s/th/set" % dev, "%.1f" % (th + 1), user="viewer")
    # A retained command is ignored, with a notice.
    publish(port, "calidor/%s/th/set" % dev, "%.1f" % (th + 2), retain=True)
    time.sleep(0.8)
    publish(port, "calidor/%s/th/set" % dev, None, retain=True)  # cleared
    after = read_back(calidorctl, env, dev)
    check((float(after["tl_celsius"]), float(after["th_celsius"])) == (tl, th),
          "refused, unauthorised and retained commands wrote nothing: %r" % after)
    check(service.text().count("retained command") == 1, "the retained command is told once")


def check_schedule(sub, port):
    """Pause and resume over MQTT, each answered and seen in the state."""
    dev = "SIM0002"
    check(latest_state(sub, dev).get("schedule") == "overridden", "SIM0002's schedule overridden by the commands")
    check(latest_state(sub, "SIM0001").get("schedule") == "none", "SIM0001 has no schedule")
    for payload, state in (("pause", "paused"), ("resume", "overridden")):
        start = time.monotonic()
        publish(port, "calidor/%s/schedule/set" % dev, payload)
        r = result_after(sub, dev, start, command="schedule")
        check(r is not None and r.get("ok") is True, "schedule %s accepted: %r" % (payload, r))
        check(sub.wait(lambda t, p, rt: t == "calidor/%s/state" % dev and json.loads(p).get("schedule") == state, 3,
                       start), "the state says %s" % state)
    for device, payload in ((dev, "stop"), ("SIM0001", "pause")):
        start = time.monotonic()
        publish(port, "calidor/%s/schedule/set" % device, payload)
        r = result_after(sub, device, start, command="schedule")
        check(r is not None and r.get("ok") is False and r.get("reason"),
              "schedule %r on %s refused with a reason: %r" % (payload, device, r))


def check_rate_limit(sub, port):
    dev = "SIM0001"
    state = latest_state(sub, dev)
    base = float(state["th_celsius"])
    outcomes = []
    for i in range(11):
        start = time.monotonic()
        publish(port, "calidor/%s/th/set" % dev, "%.1f" % (base + 0.1 * (i + 1)))
        r = result_after(sub, dev, start)
        outcomes.append(r)
    oks = [r for r in outcomes if r and r.get("ok")]
    check(len(oks) == 10, "10 configurations a minute reach a thermostat: %d" % len(oks))
    last = outcomes[-1] or {}
    check(last.get("ok") is False and "minute" in last.get("reason", ""), "the 11th is refused: %r" % last)


def check_birth(sub, port):
    start = time.monotonic()
    publish(port, "homeassistant/status", "online")
    time.sleep(0.5)
    again = {m[1] for m in sub.since(start) if m[1].endswith("/config")}
    check(len(again) == 16, "Home Assistant's birth message brings the 16 configurations again: %d" % len(again))


def check_broker_restart(folder, broker, service, subscribers):
    url = service.metrics_url()

    def reads():
        text = urllib.request.urlopen(url, timeout=2).read().decode()
        return sum(float(l.split()[-1]) for l in text.splitlines() if l.startswith("calidor_reads_total"))

    broker.stop()
    subscribers[1].stop()
    before = reads() if url else 0
    time.sleep(1.5)
    check(url and reads() > before, "readings and /metrics go on while the broker is away")
    broker.start()
    sub = Subscriber(broker.port, ["calidor/#", "homeassistant/#"], exclude=["calidor/+/+/set"])
    subscribers.append(sub)
    check(sub.wait(lambda t, p, r: t == "calidor/bridge/availability" and p == b"online", 8),
          "reconnected after the broker came back")
    time.sleep(0.5)
    topics = {m[1] for m in sub.since() if m[3]}
    for t in ["calidor/SIM0001/state", "calidor/SIM0002/state", "calidor/SIM0001/availability",
              "calidor/SIM0002/availability"]:
        check(t in topics, t + " published again")
    check(len([t for t in topics if t.endswith("/config")]) == 16, "discovery published again")


def check_failing_broker(failing, tls_sub, wrong_password, wrong_ca, right_ca):
    check(tls_sub.wait(lambda t, p, r: t == "tls/bridge/availability" and p == b"online", 5),
          "TLS with the right CA connects")
    check(tls_sub.wait(lambda t, p, r: t == "tls/SIM0001/state", 5), "state over TLS")
    # An orderly stop says offline itself (the will is for a death).
    start = time.monotonic()
    right_ca.process.send_signal(signal.SIGTERM)
    check(right_ca.process.wait(5) == 0, "SIGTERM ends serve with status 0")
    check(tls_sub.wait(lambda t, p, r: t == "tls/bridge/availability" and p == b"offline", 3, start),
          "SIGTERM: the bridge says offline")
    # The slow pace: one more attempt 30 s after the first.
    wait = 32.5 - (time.monotonic() - T0)
    if wait > 0:
        time.sleep(wait)
    for service, needle in ((wrong_password, "refused the connection"), (wrong_ca, "TLS with the MQTT broker")):
        text = service.text()
        check(service.alive(), service.stderr_path + ": still running")
        check(text.count(needle) == 1, "%s: said once (%r): %r" % (service.stderr_path, needle, text))
    # The broker names no client it refused. A loaded machine (or an
    # emulated one) may start the services late: the second attempts are
    # waited for a little longer, never fewer than 30 s after the first.
    def tls_refusals():
        with open(failing.log, errors="replace") as f:
            log = f.read()
        return log.count("unknown ca") + log.count("certificate unknown")

    deadline = T0 + 45
    while time.monotonic() < deadline and (failing.count("disconnected, not authorised") < 2 or tls_refusals() < 2):
        time.sleep(0.2)
    check(failing.count("disconnected, not authorised") >= 2, "the wrong password is retried")
    check(tls_refusals() >= 2, "the wrong CA is retried")


if __name__ == "__main__":
    sys.exit(main())
