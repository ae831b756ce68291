"""What the dashboard's process tests share: the real `calidorctl --simulate
serve` on 127.0.0.1 with a free port, plain HTTP requests, and the checks'
bookkeeping. Every wait is bounded; every process is stopped by the test."""

import base64
import os
import re
import shutil
import signal
import ssl
import subprocess
import tempfile
import threading
import time
import urllib.error
import urllib.request

SKIP = 77
results = []


def check(name, ok, detail=""):
    results.append(bool(ok))
    print(("PASS" if ok else "FAIL") + ": " + name + ("" if ok or detail == "" else " -- " + str(detail)[:600]),
          flush=True)
    return ok


def summary():
    failed = results.count(False)
    print("%d checks, %d failed" % (len(results), failed), flush=True)
    return 1 if failed or not results else 0


def wait_for(probe, seconds, pause=0.2):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        value = probe()
        if value:
            return value
        time.sleep(pause)
    return None


def basic(user, password):
    return "Basic " + base64.b64encode(("%s:%s" % (user, password)).encode()).decode()


class Serve:
    """One `calidorctl --simulate serve`, its standard error kept."""

    def __init__(self, calidorctl, work, args=(), env=None, thermostats=2):
        self.work = work
        self.env = dict(os.environ, XDG_RUNTIME_DIR=work, XDG_STATE_HOME=os.path.join(work, "state"),
                        CALIDORCTL_SIMULATE_THERMOSTATS=str(thermostats))
        self.env.update(env or {})
        self.said = []
        self.listening = threading.Event()
        self.process = subprocess.Popen([calidorctl, "--simulate", "serve", "--listen", "127.0.0.1:0"] + list(args),
                                        env=self.env, stderr=subprocess.PIPE, stdout=subprocess.DEVNULL, text=True)
        threading.Thread(target=self._read, daemon=True).start()
        self.port = None
        self.scheme = "http"
        if self.listening.wait(20):
            m = re.search(r"listening on (https?)://127\.0\.0\.1:(\d+)/", "\n".join(self.said))
            if m:
                self.scheme, self.port = m.group(1), int(m.group(2))

    def _read(self):
        for line in self.process.stderr:
            self.said.append(line.rstrip("\n"))
            if "listening on" in line:
                self.listening.set()

    @property
    def base(self):
        return "%s://127.0.0.1:%d" % (self.scheme, self.port)

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(15)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait(5)


def request(url, method="GET", data=None, headers=None, auth=None, context=None, timeout=10):
    """(status, headers, body) whatever the status."""
    req = urllib.request.Request(url, data=data, method=method)
    for k, v in (headers or {}).items():
        req.add_header(k, v)
    if auth:
        req.add_header("Authorization", basic(*auth))
    try:
        with urllib.request.urlopen(req, timeout=timeout, context=context) as answer:
            return answer.status, dict(answer.headers), answer.read()
    except urllib.error.HTTPError as e:
        return e.code, dict(e.headers), e.read()


def hash_password(calidorctl, password):
    out = subprocess.run([calidorctl, "hash-password"], input=password + "\n", capture_output=True, text=True,
                         timeout=30)
    return out.stdout.strip()


def web_config(work, users=None, tls=None, name="web.yml"):
    path = os.path.join(work, name)
    with open(path, "w") as f:
        if tls:
            f.write("tls_server_config:\n  cert_file: %s\n  key_file: %s\n" % tls)
        if users:
            f.write("basic_auth_users:\n")
            for user, hashed in users.items():
                f.write("  %s: '%s'\n" % (user, hashed))
    return path


def make_ca_and_server(work):
    """The test's own certificate authority and a server certificate for
    127.0.0.1 signed by it; (ca, cert, key) or None without openssl."""
    openssl = shutil.which("openssl")
    if not openssl:
        return None
    ca_key, ca, key, csr, cert = (os.path.join(work, n) for n in ("ca.key", "ca.crt", "server.key", "server.csr",
                                                                  "server.crt"))
    ext = os.path.join(work, "san.ext")
    with open(ext, "w") as f:
        f.write("subjectAltName=IP:127.0.0.1\nbasicConstraints=CA:FALSE\n")
    steps = [
        [openssl, "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", ca_key, "-out", ca, "-days", "2",
         "-subj", "/CN=Calidor test CA"],
        [openssl, "req", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", csr, "-subj", "/CN=127.0.0.1"],
        [openssl, "x509", "-req", "-in", csr, "-CA", ca, "-CAkey", ca_key, "-CAcreateserial", "-out", cert,
         "-days", "2", "-extfile", ext],
    ]
    for step in steps:
        if subprocess.run(step, capture_output=True, timeout=60).returncode != 0:
            return None
    return ca, cert, key


def spki_hash(cert):
    """The base64 SHA-256 of a certificate's public key, as Chromium pins it."""
    openssl = shutil.which("openssl")
    pub = subprocess.run([openssl, "x509", "-in", cert, "-pubkey", "-noout"], capture_output=True, timeout=30).stdout
    der = subprocess.run([openssl, "pkey", "-pubin", "-outform", "der"], input=pub, capture_output=True,
                         timeout=30).stdout
    digest = subprocess.run([openssl, "dgst", "-sha256", "-binary"], input=der, capture_output=True,
                            timeout=30).stdout
    return base64.b64encode(digest).decode()


def tls_context(ca):
    return ssl.create_default_context(cafile=ca)


def workdir(prefix):
    return tempfile.mkdtemp(prefix=prefix)
