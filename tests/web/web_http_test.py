#!/usr/bin/env python3
"""The dashboard's HTTP side as a hostile client meets it: the real service
over two virtual thermostats, with a user and without, sent bad input. Each
gets its status code, and reading and /metrics go on meanwhile."""

import gzip
import json
import os
import re
import shutil
import signal
import sys
import time

sys.dont_write_bytecode = True  # no cache files in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from servetest import raw_exchange as raw  # noqa: E402
from webtest import (Serve, check, hash_password, make_ca_and_server, request, summary, tls_context,  # noqa: E402
                     wait_for, web_config, workdir)

SETTINGS = "/api/v1/thermostats/SIM0001/settings"


def raw_status_or_none(port):
    """True when plain HTTP to a TLS port is not answered as HTTP."""
    try:
        return raw(port, b"GET /metrics HTTP/1.1\r\nHost: x\r\n\r\n", timeout=5) is None
    except OSError:
        return True


def reads(serve, auth):
    status, _, body = request(serve.base + "/metrics", auth=auth)
    m = re.search(r'^calidor_reads_total\{id="SIM0002"\} (\S+)$', body.decode(errors="replace"), re.M)
    return float(m.group(1)) if status == 200 and m else None


def main():
    calidorctl = sys.argv[1]
    work = workdir("calidor-web-http-")
    hashed = hash_password(calidorctl, "s3cret pass")
    check("hash-password prints a bcrypt hash", re.fullmatch(r"\$2y\$10\$[./A-Za-z0-9]{53}", hashed), hashed)
    config = web_config(work, {"alice": hashed})
    serve = Serve(calidorctl, work, ["--interval", "200ms", "--web-config", config])
    alice = ("alice", "s3cret pass")
    try:
        if not check("serve starts with the web configuration", serve.port, serve.said):
            return 1
        base = serve.base
        json_head = {"Content-Type": "application/json", "Origin": base}

        def post(body, headers=json_head, auth=alice):
            return request(base + SETTINGS, "POST", body, headers, auth)[0]

        cases = [
            ("a 1 MB body", post(b'{"tl":"' + b"1" * (1 << 20) + b'"}'), 413),
            ("JSON that does not parse", post(b'{"tl": 18.5'), 400),
            ("a TL of 1e999", post(b'{"tl": 1e999}'), 400),
            ("a TL of \"1e999\"", post(b'{"tl": "1e999"}'), 422),
            ("unknown keys", post(b'{"tl": 18.5, "relay": "C-NO"}'), 422),
            ("a TL above TH", post(b'{"tl": 30, "th": 25}'), 422),
            ("a foreign Origin", post(b'{"tl": 18.5}', {"Content-Type": "application/json",
                                                     "Origin": "http://evil.example"}), 403),
            ("a form's content type", post(b"tl=18.5", {"Content-Type": "application/x-www-form-urlencoded"}), 403),
            ("text/plain, as a cross-site form may send", post(b'{"tl": 18.5}', {"Content-Type": "text/plain"}),
             403),
            ("no login", post(b'{"tl": 18.5}', auth=None), 401),
            ("a wrong password", post(b'{"tl": 18.5}', auth=("alice", "nope")), 401),
            ("GET of the settings path", request(base + SETTINGS, auth=alice)[0], 405),
            ("a thermostat that is not there", request(base + "/api/v1/thermostats/SIM0009/settings", "POST",
                                                       b'{"tl": 18.5}', json_head, alice)[0], 404),
            ("GET /metrics without a login", request(base + "/metrics")[0], 401),
            ("GET /metrics with one", request(base + "/metrics", auth=alice)[0], 200),
            ("a static file without a login", request(base + "/static/dashboard.js")[0], 401),
        ]
        # The alerts' API: the list open as every GET, the test alert checked as a change.
        incidents, test = base + "/api/v1/incidents", base + "/api/v1/alerts/test"
        cases += [
            ("the incidents without a login", request(incidents)[0], 401),
            ("the incidents", request(incidents, auth=alice)[0], 200),
            ("the incidents with a parameter", request(incidents + "?all=1", auth=alice)[0], 400),
            ("a POST to the incidents", request(incidents, "POST", b"{}", json_head, alice)[0], 405),
            ("a test alert without a login", request(test, "POST", b"{}", json_head)[0], 401),
            ("a test alert from a foreign Origin", request(test, "POST", b"{}", {
                "Content-Type": "application/json", "Origin": "http://evil.example"}, alice)[0], 403),
            ("a test alert as a form", request(test, "POST", b"x=1", {
                "Content-Type": "application/x-www-form-urlencoded"}, alice)[0], 403),
            ("a GET of the test alert", request(test, auth=alice)[0], 405),
            ("a test alert that is not JSON", request(test, "POST", b"{", json_head, alice)[0], 400),
            ("a test alert with a key", request(test, "POST", b'{"to": "x"}', json_head, alice)[0], 422),
            ("a test alert past 4 KB", request(test, "POST", b"{}" + b" " * 8192, json_head, alice)[0], 413),
        ]
        status, _, body = request(test, "POST", b"{}", json_head, alice)
        check("a test alert with no channel: 422 and why", status == 422 and json.loads(body) == {
            "ok": False, "reason": "no channel configured"}, (status, body))
        status, _, body = request(incidents, auth=alice)
        check("the incidents: a list in an object", status == 200 and json.loads(body) == {"incidents": []},
              (status, body))
        for name, got, expected in cases:
            check("%s: %d" % (name, expected), got == expected, got)
        for path in (b"/static/../metrics", b"/static/%2e%2e/metrics", b"/%2e%2e/etc/passwd", b"/../../etc/passwd",
                     b"/javascript/dygraphs/../../../../etc/passwd", b"/static/..%2fdashboard.js"):
            status = raw(serve.port, b"GET " + path + b" HTTP/1.1\r\nHost: x\r\nAuthorization: Basic " +
                         __import__("base64").b64encode(b"alice:s3cret pass") + b"\r\n\r\n")
            check("%s: 404" % path.decode(), status == 404, status)

        # Compressed for a client that accepts it, the same text once inflated.
        status, headers, packed = request(base + "/metrics", headers={"Accept-Encoding": "gzip"}, auth=alice)
        _, _, plain = request(base + "/metrics", auth=alice)
        check("/metrics gzip-compressed for a client that asks",
              status == 200 and headers.get("Content-Encoding") == "gzip" and
              gzip.decompress(packed).split(b"\n")[:3] == plain.split(b"\n")[:3], headers)

        # A good change, then the same again: written, then already held.
        status, _, body = request(base + SETTINGS, "POST", b'{"tl": "17,5", "th": 24, "mode": "B"}', json_head, alice)
        answer = json.loads(body or b"{}")
        check("a good change: 200, written, read back", status == 200 and answer.get("written") is True and
              answer.get("tl") == 17.5 and answer.get("th") == 24 and answer.get("mode") == "B", (status, body))
        status, _, body = request(base + SETTINGS, "POST", b'{"tl": 17.5}', json_head, alice)
        check("the same again: 200, already held", status == 200 and json.loads(body).get("written") is False,
              (status, body))

        # 1,000 wrong passwords from one address, with reading going on.
        before = reads(serve, alice)
        started = time.monotonic()
        statuses = [request(base + "/metrics", auth=("alice", "guess%d" % i))[0] for i in range(1000)]
        took = time.monotonic() - started
        counts = {s: statuses.count(s) for s in set(statuses)}
        # The limiter lets an address fail 10 times; one wrong password was tried above.
        check("1,000 wrong passwords: 9 more refused with 401, the rest 429", counts == {401: 9, 429: 991}, counts)
        check("... in a few seconds (no bcrypt past the limit)", took < 30, "%.1f s" % took)
        status, headers, _ = request(base + "/metrics", auth=alice)
        check("the right password from that address waits too, with Retry-After",
              status == 429 and int(headers.get("Retry-After", "0")) > 0, (status, headers))

        time.sleep(6.5)  # one try earned back
        after = reads(serve, alice)
        check("one refill later the right password reads /metrics, and the reads went on",
              after is not None and before is not None and after > before, (before, after))

        # SIGHUP: a file that does not parse is said, the settings in use stay;
        # a new user counts at once.
        with open(config, "a") as f:
            f.write("  bob: not-a-hash\n")
        serve.process.send_signal(signal.SIGHUP)
        said = wait_for(lambda: [l for l in serve.said if "stays as it was" in l], 10)
        check("SIGHUP with a broken file: said in one line, naming the key", said and
              any("basic_auth_users.bob" in l for l in serve.said), serve.said[-3:])
        check("... and the old user still reads", request(base + "/metrics", auth=alice)[0] == 200)
        web_config(work, {"alice": hashed, "bob": hash_password(calidorctl, "bobs pass")})
        serve.process.send_signal(signal.SIGHUP)
        check("SIGHUP with a new user: it reads at once",
              wait_for(lambda: request(base + "/metrics", auth=("bob", "bobs pass"))[0] == 200, 10))
        check("... on the same port, with no restart", serve.process.poll() is None)

        # Without users: open for reading, closed for changes.
        serve.stop()
        open_serve = Serve(calidorctl, work, ["--interval", "200ms"])
        try:
            ob = open_serve.base
            check("without users, / is open", request(ob + "/")[0] == 200)
            check("without users, /metrics is open", request(ob + "/metrics")[0] == 200)
            status, _, body = request(ob + SETTINGS, "POST", b'{"tl": 18}', {"Content-Type": "application/json"})
            check("without users, a change is refused: 403", status == 403 and b"user" in body, (status, body))
            status, _, body = request(ob + "/api/v1/alerts/test", "POST", b"{}", {"Content-Type": "application/json"})
            check("without users, a test alert is refused: 403", status == 403 and b"user" in body, (status, body))
            check("without users, the incidents are open", request(ob + "/api/v1/incidents")[0] == 200)
            status, _, body = request(ob + "/", headers={"Accept-Language": "fr-CH, fr;q=0.9, en;q=0.8"})
            check("French when the browser asks for it first", b'lang="fr"' in body)
        finally:
            open_serve.stop()

        # TLS, and a renewed certificate taken on SIGHUP without a restart.
        for sub in ("a", "b"):
            os.makedirs(os.path.join(work, sub))
        first = make_ca_and_server(os.path.join(work, "a"))
        second = make_ca_and_server(os.path.join(work, "b"))
        if check("two certificates are made (openssl)", first and second):
            tls = web_config(work, {"alice": hashed}, first[1:], "tls.yml")
            tls_serve = Serve(calidorctl, work, ["--web-config", tls])
            try:
                tb = tls_serve.base
                check("over TLS, /metrics with the first CA", tls_serve.scheme == "https" and
                      request(tb + "/metrics", auth=alice, context=tls_context(first[0]))[0] == 200, tls_serve.said)
                check("plain HTTP to the TLS port gets no answer", raw_status_or_none(tls_serve.port))
                web_config(work, {"alice": hashed}, second[1:], "tls.yml")
                tls_serve.process.send_signal(signal.SIGHUP)

                def renewed():
                    try:
                        return request(tb + "/metrics", auth=alice, context=tls_context(second[0]))[0] == 200
                    except OSError:
                        return False
                check("SIGHUP takes the renewed certificate", wait_for(renewed, 10), tls_serve.said[-2:])
                check("... and the service goes on", tls_serve.process.poll() is None)
            finally:
                tls_serve.stop()
    finally:
        serve.stop()
        shutil.rmtree(work, ignore_errors=True)
    return summary()


if __name__ == "__main__":
    sys.exit(main())
