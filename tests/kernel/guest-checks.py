#!/usr/bin/env python3
"""The kernel suite's checks, run inside the virtual machine.

One emulator (calidor-kernel-emu) presents thermostats to the guest's kernel;
each check runs the real programs against them and compares their output
with the emulator's own record. Each check writes OUT/<name>.result: a first
line "PASS name" or "FAIL name" (or "SKIP name: reason"), then what it ran
and saw. Figures go to OUT/figures.
"""

import argparse
import array
import fcntl
import glob
import json
import os
import signal
import socket
import statistics
import subprocess
import sys
import time
import traceback

ARGS = None
RESULTS = []


class Failed(Exception):
    pass


class Log:
    def __init__(self):
        self.lines = []

    def __call__(self, text):
        self.lines.append(str(text))


def expect(condition, what):
    if not condition:
        raise Failed(what)


def run(log, argv, timeout=20, env=None, expect_rc=None):
    start = time.monotonic()
    try:
        p = subprocess.run(argv, capture_output=True, text=True, timeout=timeout, env=env)
    except subprocess.TimeoutExpired as e:
        log(f"$ {' '.join(argv)}\n  did not end within {timeout}s")
        raise Failed(f"{argv[0]} did not end within {timeout}s") from e
    took = time.monotonic() - start
    log(f"$ {' '.join(argv)}   (exit {p.returncode}, {took:.1f}s)")
    for name, text in (("stdout", p.stdout), ("stderr", p.stderr)):
        if text.strip():
            log(f"  {name}: " + text.rstrip().replace("\n", "\n          "))
    if expect_rc is not None:
        expect(p.returncode == expect_rc, f"{os.path.basename(argv[0])} exited {p.returncode}, not {expect_rc}")
    p.took = took
    return p


def ctl(*args):
    return [os.path.join(ARGS.build, "calidorctl"), *args]


class Emulator:
    """One calidor-kernel-emu process and its control socket."""

    def __init__(self, log, *devices):
        self.log = log
        self.sock = f"/run/calidor-emu-{os.getpid()}-{time.monotonic_ns()}.sock"
        self.proc = subprocess.Popen([os.path.join(ARGS.build, "calidor-kernel-emu"), "--control", self.sock, *devices],
                                     stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        deadline = time.monotonic() + 15
        lines = []
        while time.monotonic() < deadline:
            line = self.proc.stdout.readline()
            if not line:
                break
            lines.append(line.rstrip())
            if line.startswith("ready"):
                break
        log("emulator: " + " | ".join(lines))
        expect(lines and lines[-1].startswith("ready"), "the emulator did not come up")
        self.count = len(devices)

    def command(self, text, timeout=10):
        with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as s:
            s.settimeout(timeout)
            s.connect(self.sock)
            s.sendall(text.encode() + b"\n")
            data = b""
            while True:
                chunk = s.recv(65536)
                if not chunk:
                    break
                data += chunk
        answer = data.decode().strip()
        if not text.startswith("status"):
            self.log(f"emulator < {text}: {answer}")
        expect(not answer.startswith("error"), f"the emulator refused '{text}': {answer}")
        return answer

    def record(self, index=0):
        return json.loads(self.command("status"))["thermostats"][index]

    def stop(self):
        try:
            self.command("quit", timeout=5)
            self.proc.wait(timeout=10)
        except Exception:
            self.proc.kill()
            self.proc.wait()
        rest = self.proc.stdout.read()
        if rest.strip():
            self.log("emulator said: " + rest.strip())


def hidraw_nodes():
    """hidraw nodes of the thermostat (0925:5000) with their serial and whether they sit on USB."""
    nodes = {}
    for d in sorted(glob.glob("/sys/class/hidraw/hidraw*")):
        try:
            uevent = open(os.path.join(d, "device", "uevent")).read()
        except OSError:
            continue
        keys = dict(l.split("=", 1) for l in uevent.split("\n") if "=" in l)
        if not keys.get("HID_ID", "").upper().endswith(":00000925:00005000"):
            continue
        real = os.path.realpath(os.path.join(d, "device"))
        usb = os.path.join(real, "..", "..")
        serial = keys.get("HID_UNIQ", "")
        on_usb = os.path.exists(os.path.join(usb, "idVendor"))
        if on_usb and os.path.exists(os.path.join(usb, "serial")):
            serial = open(os.path.join(usb, "serial")).read().strip()
        nodes["/dev/" + os.path.basename(d)] = {"serial": serial, "usb": on_usb, "usbdev": os.path.realpath(usb)}
    return nodes


def wait_nodes(log, count, timeout=20):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        nodes = hidraw_nodes()
        if len(nodes) == count and all(os.path.exists(n) for n in nodes):
            subprocess.run(["udevadm", "settle", "--timeout=10"], timeout=15)
            return nodes
        time.sleep(0.1)
    raise Failed(f"{count} thermostat node(s) expected, found {hidraw_nodes()}")


def node_of(log, serial, count=1):
    for node, info in wait_nodes(log, count).items():
        if info["serial"] == serial:
            return node
    raise Failed(f"no hidraw node with serial {serial}")


def parse_list(text):
    """Rows of `calidorctl list`; with the stable id column once it is there."""
    rows = []
    for line in text.splitlines():
        f = line.split("\t")
        has_id = len(f) >= 4 and not f[1].startswith("/dev/")
        if has_id:
            rows.append({"position": f[0], "id": f[1], "node": f[2], "product": f[3], "serial": f[4] if len(f) > 4 else ""})
        else:
            rows.append({"position": f[0], "id": None, "node": f[1], "product": f[2] if len(f) > 2 else "",
                         "serial": f[3] if len(f) > 3 else ""})
    return rows


RELAY = {0: "C-NC", 1: "C-NO"}


def compare_reading(reading, report, serial=None):
    """The program's JSON reading against the report the emulator last sent."""
    expect(report, "the emulator sent no report")
    want = {
        "temperature_celsius": report["temperature"] / 10,
        "tl_celsius": report["tl"] / 10,
        "th_celsius": report["th"] / 10,
        "relay_contact": RELAY.get(report["relay"]),
        "relay_mode": chr(report["mode"]),
        "probe_status": report["probe_status"],
        "boot_status": report["boot_status"],
    }
    for k, v in want.items():
        expect(reading.get(k) == v, f"{k}: calidorctl says {reading.get(k)!r}, the emulator sent {v!r}")
    if serial is not None and "id" in reading:
        expect(list(reading)[0] == "id", "id is not the first field of the JSON reading")
        expect(reading["id"] == serial, f"id {reading['id']!r}, not the serial {serial!r}")


# --- the checks ---------------------------------------------------------------

def check(name):
    def wrap(fn):
        RESULTS.append((name, fn))
        return fn
    return wrap


@check("usb_list")
def usb_list(log, emu):
    node = node_of(log, "KT0001")
    rows = parse_list(run(log, ctl("list"), expect_rc=0).stdout)
    expect(len(rows) == 1, f"{len(rows)} thermostats listed, not 1")
    r = rows[0]
    rec = emu.record()
    expect(r["node"] == node, f"node {r['node']}, not {node}")
    expect(r["product"] == rec["product"], f"product {r['product']!r}, the USB device says {rec['product']!r}")
    expect(r["serial"] == "KT0001", f"serial {r['serial']!r}, not KT0001")
    if r["id"] is not None:
        expect(r["id"] == "KT0001", f"id {r['id']!r}, not the serial KT0001")
    usbdev = hidraw_nodes()[node]["usbdev"]
    for attr, want in (("idVendor", "0925"), ("idProduct", "5000"), ("manufacturer", "Calidor"),
                       ("product", rec["product"]), ("serial", "KT0001")):
        got = open(os.path.join(usbdev, attr)).read().strip()
        expect(got == want, f"USB attribute {attr} is {got!r}, not {want!r}")


@check("usb_read_json")
def usb_read_json(log, emu):
    before = emu.record()["get_reports"]
    p = run(log, ctl("read", "--format", "json"), expect_rc=0)
    rec = emu.record()
    expect(rec["get_reports"] > before, "no GET_REPORT reached the emulator")
    compare_reading(json.loads(p.stdout), rec["last_report"], "KT0001")


@check("usb_set_readback")
def usb_set_readback(log, emu):
    before = emu.record()["output_reports"]
    run(log, ctl("set", "--tl", "17.5", "--th", "23", "--mode", "B"), expect_rc=0)
    rec = emu.record()
    expect(rec["output_reports"] > before, "no output report reached the emulator")
    expect(rec["output_reports_rejected"] == 0, "the emulator rejected an output report")
    held = rec["held"]
    expect((held["tl"], held["th"], held["mode"]) == (175, 230, 66), f"the emulator holds {held}")
    reading = json.loads(run(log, ctl("read", "--format", "json"), expect_rc=0).stdout)
    compare_reading(reading, emu.record()["last_report"])
    expect((reading["tl_celsius"], reading["th_celsius"], reading["relay_mode"]) == (17.5, 23, "B"),
           f"read back {reading}")


@check("usb_set_refused")
def usb_set_refused(log, emu):
    before = emu.record()
    p = run(log, ctl("set", "--tl", "25", "--th", "20"), expect_rc=3)
    expect(p.stderr.startswith("calidorctl: "), "no reason on standard error")
    after = emu.record()
    expect(after["output_reports"] == before["output_reports"], "an output report reached the emulator")
    expect(after["held"] == before["held"], f"the emulator's values changed: {after['held']}")


@check("usb_watch_replug")
def usb_watch_replug(log, emu):
    # After the previous check's replug, udev may still be adding the device that libudev enumerates.
    node_of(log, "KT0001")
    deadline = time.monotonic() + 10
    while not parse_list(run(log, ctl("list")).stdout) and time.monotonic() < deadline:
        time.sleep(0.3)
    w = subprocess.Popen(ctl("watch", "--interval", "200ms", "--format", "csv"), stdout=subprocess.PIPE,
                         stderr=subprocess.PIPE, text=True)
    try:
        time.sleep(2)
        emu.command("unplug 0")
        time.sleep(2)
        emu.command("plug 0")
        node_of(log, "KT0001")
        rows_back = emu.record()["get_reports"]
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline and emu.record()["get_reports"] < rows_back + 3:
            time.sleep(0.2)
        w.send_signal(signal.SIGTERM)
        out, err = w.communicate(timeout=10)
    finally:
        if w.poll() is None:
            w.kill()
            w.communicate()
    log(f"watch exit {w.returncode}\n  stdout: {out.count(chr(10))} lines, last: {out.splitlines()[-1] if out else ''}"
        f"\n  stderr: {err.strip()}")
    expect(w.returncode == 0, f"watch exited {w.returncode}, not 0")
    # Going, the notice depends on what the program meets first: the failed
    # read (the kernel's usual order) or udev's remove event.
    lines = [l for l in err.splitlines() if l.strip()]
    expect(len(lines) == 2 and "back on" not in lines[0] and "waiting" in lines[0] and "back on" in lines[1],
           f"not one notice each way: {lines}")
    expect(emu.record()["get_reports"] >= rows_back + 3, "watch did not read again after the replug")


@check("usb_get_report_refused")
def usb_get_report_refused(log, emu):
    emu.command("refuse 0 on")
    try:
        p = run(log, ctl("read"), timeout=20, expect_rc=1)
        expect(p.stderr.startswith("calidorctl: ") and len(p.stderr.strip().splitlines()) == 1,
               "not one line on standard error")
        expect(p.took < 10, f"the refusal took {p.took:.1f}s")
    finally:
        emu.command("refuse 0 off")


@check("usb_watch_through_refusal")
def usb_watch_through_refusal(log, emu):
    # A thermostat that has answered and then refuses GET_REPORT for a while
    # is asked again once it answers: watch must not stop reading it.
    w = subprocess.Popen(ctl("watch", "--interval", "200ms", "--format", "csv"), stdout=subprocess.PIPE,
                         stderr=subprocess.PIPE, text=True)
    try:
        time.sleep(1.5)
        emu.command("refuse 0 on")
        time.sleep(1.0)
        emu.command("refuse 0 off")
        time.sleep(3.0)  # past the one read that waits its time-out
        before = emu.record()["get_reports"]
        time.sleep(1.5)
        after = emu.record()["get_reports"]
    finally:
        emu.command("refuse 0 off")
        w.terminate()
        out, err = w.communicate(timeout=15)
    log("watch said: " + err.strip())
    expect(after >= before + 3, f"GET_REPORTs after the refusal ended: {before} then {after}")


@check("usb_no_answer")
def usb_no_answer(log, emu):
    emu.command("silent 0 on")
    try:
        p = run(log, ctl("read"), timeout=30, expect_rc=1)
        expect(p.stderr.startswith("calidorctl: ") and len(p.stderr.strip().splitlines()) == 1,
               "not one line on standard error")
        # The kernel gives up on the GET_REPORT after 5 s, then the program waits its own time-out.
        expect(p.took < 12, f"the failure took {p.took:.1f}s")
    finally:
        emu.command("silent 0 off")
    # Answering again, the same thermostat reads.
    run(log, ctl("read"), expect_rc=0)


@check("usb_vanish_during_read")
def usb_vanish_during_read(log, emu):
    node_of(log, "KT0001")
    emu.command("ignore 0 on")
    before = emu.record()["get_reports"]
    r = subprocess.Popen(ctl("read"), stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    try:
        # Unplugged while the kernel waits for the answer to its GET_REPORT.
        deadline = time.monotonic() + 10
        while emu.record()["get_reports"] == before and time.monotonic() < deadline:
            time.sleep(0.1)
        seen = emu.record()["get_reports"] - before
        expect(seen > 0, "the read never reached the emulator")
        time.sleep(0.5)
        start = time.monotonic()
        emu.command("unplug 0")
        out, err = r.communicate(timeout=15)
        took = time.monotonic() - start
    finally:
        if r.poll() is None:
            r.kill()
            r.communicate()
        emu.command("ignore 0 off")
        emu.command("plug 0")
    log(f"read exit {r.returncode} {took:.1f}s after the unplug (GET_REPORTs {seen})\n  stderr: {err.strip()}")
    expect(r.returncode == 1, f"read exited {r.returncode}, not 1")
    expect(err.startswith("calidorctl: ") and "vanished" in err, "no reason on standard error")
    # The kernel removes the node only once the pending GET_REPORT has timed out (5 s).
    expect(took < 10, f"read ended {took:.1f}s after the unplug")
    node_of(log, "KT0001")


@check("udev_rule_usb")
def udev_rule_usb(log, emu):
    node = node_of(log, "KT0001")
    info = run(log, ["udevadm", "info", node], expect_rc=0).stdout
    expect("uaccess" in info, f"{node} has no uaccess tag")
    rule = open(os.path.join(ARGS.src, "resources/udev/70-calidor-qn52w.rules")).read()
    if 'GROUP="calidor"' in rule:
        st = run(log, ["stat", "-c", "%G %a", node], expect_rc=0).stdout.split()
        expect(st == ["calidor", "660"], f"{node} is {st}, not group calidor, mode 660")


def round_trip(node, reads=1000):
    """Median of HIDIOCGINPUT round trips, microseconds."""
    size = 11
    req = (3 << 30) | (size << 16) | (ord("H") << 8) | 0x0A  # _IOC(READ|WRITE, 'H', 0x0A, len)
    buf = array.array("B", [1] + [0] * (size - 1))
    fd = os.open(node, os.O_RDWR)
    times = []
    try:
        for _ in range(reads):
            buf[0] = 1
            t = time.perf_counter_ns()
            fcntl.ioctl(fd, req, buf, True)
            times.append(time.perf_counter_ns() - t)
    finally:
        os.close(fd)
    return statistics.median(times) / 1000


@check("usb_round_trip")
def usb_round_trip(log, emu):
    node = node_of(log, "KT0001")
    before = emu.record()["get_reports"]
    med = round_trip(node)
    got = emu.record()["get_reports"] - before
    expect(got == 1000, f"{got} GET_REPORTs reached the emulator for 1000 reads")
    figure(f"HIDIOCGINPUT round trip over USB/IP (vhci_hcd, usbhid): median {med:.0f} us over 1000 reads")


def figure(text):
    with open(os.path.join(ARGS.out, "figures"), "a") as f:
        f.write(text + " (indicative: the guest runs under emulation)\n")


@check("window_reads")
def window_reads(log, emu):
    display = ":42"
    env = dict(os.environ, DISPLAY=display, XDG_RUNTIME_DIR="/tmp/xdg", QT_QPA_PLATFORM="xcb")
    os.makedirs("/tmp/xdg", mode=0o700, exist_ok=True)
    xvfb = subprocess.Popen(["Xvfb", display, "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    app = None
    try:
        deadline = time.monotonic() + 15
        while subprocess.run(["xdpyinfo"], env=env, capture_output=True).returncode != 0:
            expect(time.monotonic() < deadline, "Xvfb did not start")
            time.sleep(0.2)
        app = subprocess.Popen([os.path.join(ARGS.build, "calidor")], env=env, stdout=subprocess.PIPE,
                               stderr=subprocess.STDOUT, text=True)
        # Reading starts once the splash has gone and the thermostat is open.
        deadline = time.monotonic() + 30
        start = emu.record()["get_reports"]
        while emu.record()["get_reports"] < start + 5:
            expect(time.monotonic() < deadline, "the window never read the thermostat")
            expect(app.poll() is None, f"the window program ended (exit {app.returncode})")
            time.sleep(0.2)
        t0, n0 = time.monotonic(), emu.record()["get_reports"]
        time.sleep(4)
        t1, n1 = time.monotonic(), emu.record()["get_reports"]
        rate = (n1 - n0) / (t1 - t0)
        log(f"the window read {n1 - n0} times in {t1 - t0:.1f}s: {rate:.1f}/s")
        figure(f"the window program read the thermostat {rate:.1f} times a second")
        shot = os.path.join(ARGS.out, "kernel-window-usb.png")
        run(log, ["import", "-window", "root", shot], env=env, timeout=20)
        expect(os.path.getsize(shot) > 0, "no screenshot")
        expect(7 <= rate <= 13, f"{rate:.1f} reads a second, not about ten")
    finally:
        for p in (app, xvfb):
            if p and p.poll() is None:
                p.terminate()
                try:
                    p.wait(timeout=5)
                except subprocess.TimeoutExpired:
                    p.kill()
        if app:
            out = app.stdout.read()
            if out.strip():
                log("window program said: " + out.strip()[-2000:])


# --- uhid -----------------------------------------------------------------------

@check("uhid_list_read")
def uhid_list_read(log, emu):
    node = node_of(log, "KU0001")
    rows = parse_list(run(log, ctl("list"), expect_rc=0).stdout)
    expect(len(rows) == 1 and rows[0]["node"] == node, f"list shows {rows}, not {node}")
    expect(rows[0]["serial"] == "KU0001", f"serial {rows[0]['serial']!r}, not KU0001")
    if rows[0]["id"] is not None:
        expect(rows[0]["id"] == "KU0001", f"id {rows[0]['id']!r}, not the serial KU0001")
    reading = json.loads(run(log, ctl("read", "--format", "json"), expect_rc=0).stdout)
    compare_reading(reading, emu.record()["last_report"], "KU0001")
    run(log, ctl("set", "--tl", "16", "--th", "24.5", "--mode", "A"), expect_rc=0)
    held = emu.record()["held"]
    expect((held["tl"], held["th"], held["mode"]) == (160, 245, 65), f"the emulator holds {held}")


@check("udev_rule_uhid")
def udev_rule_uhid(log, emu):
    node = node_of(log, "KU0001")
    info = run(log, ["udevadm", "info", node], expect_rc=0).stdout
    expect("uaccess" not in info, f"{node} (no USB parent) got the uaccess tag")
    st = run(log, ["stat", "-c", "%G %a", node], expect_rc=0).stdout.split()
    expect(st == ["root", "600"], f"{node} is {st}, not root 600")


@check("uhid_get_report_refused")
def uhid_get_report_refused(log, emu):
    emu.command("refuse 0 on")
    try:
        p = run(log, ctl("read"), timeout=20, expect_rc=1)
        expect(p.stderr.startswith("calidorctl: "), "no reason on standard error")
    finally:
        emu.command("refuse 0 off")


@check("uhid_round_trip")
def uhid_round_trip(log, emu):
    node = node_of(log, "KU0001")
    before = emu.record()["get_reports"]
    med = round_trip(node)
    got = emu.record()["get_reports"] - before
    expect(got == 1000, f"{got} GET_REPORTs reached the emulator for 1000 reads")
    figure(f"HIDIOCGINPUT round trip over uhid: median {med:.0f} us over 1000 reads")


# --- two at once ------------------------------------------------------------------

@check("two_thermostats")
def two_thermostats(log, emu):
    nodes = wait_nodes(log, 2)
    rows = parse_list(run(log, ctl("list"), expect_rc=0).stdout)
    expect(sorted(r["serial"] for r in rows) == ["KT0011", "KT0012"], f"list shows {rows}")
    run(log, ctl("read"), expect_rc=2)  # two found: the program asks which
    emu.command("temperature 1 315")
    for row in rows:
        index = 0 if row["serial"] == "KT0011" else 1
        expect(nodes[row["node"]]["serial"] == row["serial"], f"{row['node']} is not {row['serial']}")
        reading = json.loads(run(log, ctl("--device", row["position"], "read", "--format", "json"), expect_rc=0).stdout)
        compare_reading(reading, emu.record(index)["last_report"], row["serial"])
        if row["id"] is not None:
            expect(row["id"] == row["serial"], f"id {row['id']!r}, not {row['serial']!r}")
            by_id = json.loads(run(log, ctl("--device", row["id"], "read", "--format", "json"), expect_rc=0).stdout)
            expect(by_id.get("id") == row["id"], f"--device {row['id']} read {by_id.get('id')!r}")
    # Each answered its own reads.
    expect(emu.record(0)["get_reports"] >= 1 and emu.record(1)["get_reports"] >= 1, "a thermostat was never read")


@check("serve_beside_silent")
def serve_beside_silent(log, emu):
    """serve reads each thermostat on its own: one that never answers its
    GET_REPORT (the kernel waits 5 s each time) costs the other nothing."""
    wait_nodes(log, 2)
    serve = subprocess.Popen(ctl("serve", "--listen", "127.0.0.1:0", "--interval", "200ms"),
                             stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    try:
        line = serve.stderr.readline()
        log("serve: " + line.strip())
        expect("listening on" in line, "serve did not start")

        def rate(seconds):
            t0, n0 = time.monotonic(), emu.record(1)["get_reports"]
            time.sleep(seconds)
            return (emu.record(1)["get_reports"] - n0) / (time.monotonic() - t0)

        time.sleep(1)
        alone = rate(4)
        emu.command("silent 0 on")
        time.sleep(1)
        beside = rate(6)
        log(f"KT0012 read {alone:.2f}/s, then {beside:.2f}/s while KT0011 did not answer")
        figure(f"serve read a thermostat {alone:.2f} times a second, {beside:.2f} beside one that did not answer")
        expect(alone >= 0.9 * 5, f"{alone:.2f} reads a second at a 200 ms interval")
        expect(beside >= 0.9 * alone, f"{beside:.2f} reads a second beside the silent one, {alone:.2f} before")
        port = int(line.rsplit(":", 1)[1].strip(" /\n"))
        start = time.monotonic()
        serve.send_signal(signal.SIGTERM)
        # The service is done once it no longer answers: MQTT told, HTTP
        # closed. The process itself lives on until the kernel gives up the
        # stuck GET_REPORT (5 s): that wait cannot be interrupted, not even
        # by SIGKILL, and a process ends only with its last thread.
        closed = None
        while time.monotonic() - start < 10 and closed is None:
            try:
                socket.create_connection(("127.0.0.1", port), timeout=0.2).close()
                time.sleep(0.02)
            except OSError:
                closed = time.monotonic() - start
        code = serve.wait(timeout=10)
        took = time.monotonic() - start
        log(f"SIGTERM: HTTP closed after {closed}s, exit {code} after {took:.2f}s; said: " + serve.stderr.read().strip())
        figure(f"SIGTERM beside a stuck GET_REPORT: serving ended after {closed:.2f} s, the process after {took:.2f} s")
        expect(code == 0, f"serve exited {code} on SIGTERM")
        expect(closed is not None and closed < 1.0, f"serve still answered {closed}s after SIGTERM")
        expect(took < 6.5, f"the process took {took:.2f}s to end, more than the kernel's own 5 s wait")
    finally:
        emu.command("silent 0 off")
        if serve.poll() is None:
            serve.kill()
            serve.wait()


@check("same_serial")
def same_serial(log, emu):
    nodes = wait_nodes(log, 2)
    rows = parse_list(run(log, ctl("list"), expect_rc=0).stdout)
    expect([r["serial"] for r in rows] == ["KT0020", "KT0020"], f"list shows {rows}")
    expect(len({r["node"] for r in rows}) == 2, "both rows name the same node")
    if rows[0]["id"] is not None:
        # Two present with one serial: each id becomes SERIAL-PORT, the port being the USB device's sysfs name.
        want = sorted("KT0020-" + "".join(c if c.isalnum() or c in "_-" else "_"
                                          for c in os.path.basename(nodes[r["node"]]["usbdev"])) for r in rows)
        expect(sorted(r["id"] for r in rows) == want, f"ids {[r['id'] for r in rows]}, not {want}")
    for row in rows:
        run(log, ctl("--device", row["node"], "read"), expect_rc=0)
    expect(emu.record(0)["get_reports"] >= 1 and emu.record(1)["get_reports"] >= 1, "a thermostat was never read")


PHASES = [
    (["usb:KT0001"], ["usb_list", "usb_read_json", "usb_set_readback", "usb_set_refused", "usb_get_report_refused", "usb_watch_through_refusal",
                      "usb_no_answer", "usb_vanish_during_read", "usb_watch_replug", "udev_rule_usb", "usb_round_trip",
                      "window_reads"]),
    (["uhid:KU0001"], ["uhid_list_read", "udev_rule_uhid", "uhid_get_report_refused", "uhid_round_trip"]),
    (["usb:KT0011", "usb:KT0012"], ["two_thermostats", "serve_beside_silent"]),
    (["usb:KT0020", "usb:KT0020"], ["same_serial"]),
]


def write_result(name, status, log):
    with open(os.path.join(ARGS.out, name + ".result"), "w") as f:
        f.write(f"{status} {name}\n" + "\n".join(log.lines) + "\n")
    print(f"{status} {name}", flush=True)


def main():
    global ARGS
    p = argparse.ArgumentParser()
    p.add_argument("--build", required=True)
    p.add_argument("--out", required=True)
    p.add_argument("--only", nargs="*")
    ARGS = p.parse_args()
    ARGS.src = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    checks = dict(RESULTS)
    for devices, names in PHASES:
        if ARGS.only:
            names = [n for n in names if n in ARGS.only]
            if not names:
                continue
        setup = Log()
        try:
            emu = Emulator(setup, *devices)
        except Exception as e:
            for n in names:
                write_result(n, "FAIL", setup)
            print(f"emulator for {devices} failed: {e}", flush=True)
            continue
        try:
            for n in names:
                log = Log()
                log.lines.extend(setup.lines)
                setup.lines.clear()
                emu.log = log
                start = time.monotonic()
                try:
                    checks[n](log, emu)
                    status = "PASS"
                except Failed as e:
                    log(f"FAILED: {e}")
                    status = "FAIL"
                except Exception:
                    log(traceback.format_exc())
                    status = "FAIL"
                log(f"({time.monotonic() - start:.1f}s)")
                write_result(n, status, log)
        finally:
            emu.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
