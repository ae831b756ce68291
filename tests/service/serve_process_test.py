#!/usr/bin/env python3
"""`calidorctl serve` as a process over two virtual thermostats, one of them
unplugged and plugged in again, checked with real tools: promtool checks the
exposition, a prometheus server started here scrapes it every second, and
hostile clients try the HTTP side while the readings go on. Everything on
127.0.0.1, every wait bounded; exit 77 (skipped) when prometheus or promtool
is missing."""

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
import urllib.error
import urllib.parse
import urllib.request

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from servetest import (SKIP, check, finish, free_port, raw_exchange, start_serve, stop_within_a_second,  # noqa: E402
                       wait_for)








def http(port, path="/metrics", method="GET", timeout=5):
    request = urllib.request.Request("http://127.0.0.1:%d%s" % (port, path), method=method)
    try:
        with urllib.request.urlopen(request, timeout=timeout) as answer:
            return answer.status, dict(answer.headers), answer.read()
    except urllib.error.HTTPError as e:
        return e.code, dict(e.headers), e.read()


def sample(body, name, ident):
    m = re.search(r'^%s\{id="%s"\} (\S+)$' % (re.escape(name), re.escape(ident)), body, re.M)
    return float(m.group(1)) if m else None


def main():
    calidorctl = sys.argv[1]
    prometheus = shutil.which("prometheus")
    promtool = shutil.which("promtool")
    if not prometheus or not promtool:
        print("SKIPPED: prometheus and promtool are needed (Debian's prometheus package)")
        return SKIP

    work = tempfile.mkdtemp(prefix="calidor-serve-")
    env = dict(os.environ, XDG_RUNTIME_DIR=work, XDG_STATE_HOME=work, CALIDORCTL_SIMULATE_THERMOSTATS="2",
               # The first one goes after 60 reads (12 s), for 8 s.
               CALIDORCTL_SIMULATE_UNPLUG_AFTER="60", CALIDORCTL_SIMULATE_REPLUG_AFTER="8000")
    serve, said, listening = start_serve(
        [calidorctl, "--simulate", "serve", "--listen", "127.0.0.1:0", "--interval", "200ms"], env)
    prom = None
    try:
        if not check("serve says where it listens", listening.wait(10), said):
            return 1
        m = re.search(r"calidorctl: listening on http://127\.0\.0\.1:(\d+)/$", said[0])
        if not check("the first line is the listening line", m is not None, said):
            return 1
        port = int(m.group(1))

        status, headers, body = http(port)
        check("GET /metrics answers 200", status == 200, status)
        check("with the exposition's content type",
              headers.get("Content-Type") == "text/plain; version=0.0.4; charset=utf-8", headers)
        text = body.decode()
        check("both thermostats under their ids",
              sample(text, "calidor_up", "SIM0001") == 1 and sample(text, "calidor_up", "SIM0002") == 1, text)
        lint = subprocess.run([promtool, "check", "metrics"], input=body, capture_output=True, timeout=30)
        check("promtool check metrics accepts it", lint.returncode == 0 and not lint.stdout.strip(),
              lint.stdout.decode() + lint.stderr.decode())
        status, headers, body = http(port, method="HEAD")
        check("HEAD /metrics: 200, no body", status == 200 and body == b"", (status, body[:40]))
        status, _, body = http(port, "/")
        check("GET / is the landing page", status == 200 and b"SIM0002" in body and b'href="/metrics"' in body)

        # The virtual thermostats are the user's, as real ones are the machine's:
        # another process sets one, the service reads the new value.
        subprocess.run([calidorctl, "--simulate", "--device", "SIM0002", "set", "--tl", "19.5"], env=env,
                       check=True, capture_output=True, timeout=20)
        check("a set by another process is what the service reads next",
              wait_for("TL", lambda: sample(http(port)[2].decode(), "calidor_low_threshold_celsius", "SIM0002") == 19.5,
                       5))

        # A prometheus server of its own, scraping every second.
        prom_port = free_port()
        config = os.path.join(work, "prometheus.yml")
        with open(config, "w") as f:
            f.write("global:\n  scrape_interval: 1s\n  evaluation_interval: 1s\n"
                    "scrape_configs:\n  - job_name: calidor\n    static_configs:\n"
                    "      - targets: ['127.0.0.1:%d']\n" % port)
        prom = subprocess.Popen([prometheus, "--config.file=" + config, "--storage.tsdb.path=" + work + "/tsdb",
                                 "--web.listen-address=127.0.0.1:%d" % prom_port, "--log.level=error"],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

        def query(expr):
            url = "http://127.0.0.1:%d/api/v1/query?query=%s" % (prom_port, urllib.parse.quote(expr))
            try:
                with urllib.request.urlopen(url, timeout=2) as answer:
                    data = json.load(answer)
            except (OSError, ValueError):
                return {}
            return {r["metric"].get("id"): float(r["value"][1]) for r in data.get("data", {}).get("result", [])}

        # Hostile clients meanwhile; the readings must go on.
        reads_before = sample(http(port)[2].decode(), "calidor_reads_total", "SIM0002")
        slow = {}

        def slow_client():
            # One byte a second: it holds one connection, nobody else waits.
            try:
                with socket.create_connection(("127.0.0.1", port), timeout=30) as s:
                    for byte in b"GET / HTTP/1.0\r\n\r\n":
                        s.sendall(bytes([byte]))
                        time.sleep(1)
                    slow["status"] = s.recv(64)[:12]
            except OSError as e:
                slow["status"] = repr(e)

        slow_thread = threading.Thread(target=slow_client, daemon=True)
        slow_thread.start()
        check("a garbage request line gets 400 or is dropped",
              raw_exchange(port, b"GARBAGE\x00\xff LINE\r\n\r\n") in (400, None))
        big = raw_exchange(port, b"GET /metrics HTTP/1.1\r\nHost: x\r\nX-Big: " + b"a" * 100000 + b"\r\n\r\n")
        check("a 100 KB header gets 4xx or is dropped", big is None or 400 <= big < 500, big)
        check("a path with .. is not found",
              raw_exchange(port, b"GET /../metrics HTTP/1.1\r\nHost: x\r\n\r\n") == 404)
        check("POST is not allowed", raw_exchange(port, b"POST /metrics HTTP/1.1\r\nHost: x\r\n"
                                                        b"Content-Length: 5\r\n\r\nhello") == 405)
        check("a GET with a body is answered, the body dropped",
              raw_exchange(port, b"GET /metrics HTTP/1.1\r\nHost: x\r\nContent-Length: 5\r\n\r\nhello") == 200)
        sockets, outcomes = [], []
        for _ in range(200):
            try:
                sockets.append(socket.create_connection(("127.0.0.1", port), timeout=5))
            except OSError:
                outcomes.append(None)
        for s in sockets:
            try:
                s.sendall(b"GET /metrics HTTP/1.0\r\n\r\n")
            except OSError:
                pass
        for s in sockets:
            try:
                head = s.recv(16)
                m = re.match(rb"HTTP/1\.[01] (\d{3})", head)
                outcomes.append(int(m.group(1)) if m else None)
            except OSError:
                outcomes.append(None)
            s.close()
        check("200 connections at once: each answered 200 or dropped",
              set(outcomes) <= {200, None} and outcomes.count(200) >= 32,
              {o: outcomes.count(o) for o in set(outcomes)})
        started = time.monotonic()
        status, _, body = http(port)
        check("a scrape beside the slow client is answered at once",
              status == 200 and time.monotonic() - started < 1.0, time.monotonic() - started)
        reads_after = wait_for("more reads", lambda: (lambda n: n if n and reads_before and n > reads_before else None)(
            sample(http(port)[2].decode(), "calidor_reads_total", "SIM0002")), 5)
        check("calidor_reads_total kept rising meanwhile",
              reads_before is not None and reads_after is not None and reads_after > reads_before,
              (reads_before, reads_after))

        temps = wait_for("temperatures", lambda: (lambda r: r if len(r) == 2 else None)(
            query("calidor_temperature_celsius")), 30)
        check("prometheus has both thermostats' temperatures", temps and set(temps) == {"SIM0001", "SIM0002"}, temps)
        down = wait_for("down", lambda: query('calidor_up{id="SIM0001"}').get("SIM0001") == 0, 30)
        check("prometheus sees the unplugged one at calidor_up 0", down)
        check("the other stays up meanwhile", query('calidor_up{id="SIM0002"}').get("SIM0002") == 1)
        up = wait_for("up", lambda: query('calidor_up{id="SIM0001"}').get("SIM0001") == 1, 30)
        check("and at 1 again after the replug, under the same id", up)
        check("one series for it, whatever its node",
              len(query('count by (id) (count_over_time(calidor_up{id="SIM0001"}[5m]))')) == 1)

        slow_thread.join(30)
        check("the slow client got its answer in the end", str(slow.get("status", "")).find("200") >= 0, slow)

        unplugged = [l for l in said if "SIM0001" in l and ("unplugged" in l or "vanished" in l)]
        back = [l for l in said if "SIM0001 back on" in l]
        check("the unplug and the replug are each said once", len(unplugged) == 1 and len(back) == 1, said)
        check("every line on standard error starts calidorctl: ",
              all(l.startswith("calidorctl: ") for l in said), said)

        stop_within_a_second(serve, "SIGTERM ends it within a second, exit 0")
    finally:
        code = finish([serve, prom], work)
    return code


if __name__ == "__main__":
    sys.exit(main())
