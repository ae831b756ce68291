"""What the tests that run `calidorctl serve` as a process share: checks
that count, bounded waits, a free loopback port, the service started with
its messages kept, and the end of a run."""

import re
import shutil
import signal
import socket
import subprocess
import threading
import time

SKIP = 77
results = []


def check(name, ok, detail=""):
    results.append(bool(ok))
    print(("PASS" if ok else "FAIL") + ": " + name + ("" if ok or not detail else " -- " + str(detail)), flush=True)
    return ok


def wait_for(what, probe, seconds):
    """probe()'s first true value within `seconds`, else None."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        value = probe()
        if value:
            return value
        time.sleep(0.2)
    return None


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def start_serve(args, env):
    """The service with its standard error kept line by line; `listening` is
    set once it says where it listens."""
    serve = subprocess.Popen(args, env=env, stderr=subprocess.PIPE, text=True)
    said, listening = [], threading.Event()

    def read_stderr():
        for line in serve.stderr:
            said.append(line.rstrip("\n"))
            if "listening on" in line:
                listening.set()

    threading.Thread(target=read_stderr, daemon=True).start()
    return serve, said, listening


def stop_within_a_second(serve, what):
    serve.send_signal(signal.SIGTERM)
    stop_at = time.monotonic()
    try:
        code = serve.wait(5)
    except subprocess.TimeoutExpired:
        code = None
    check(what, code == 0 and time.monotonic() - stop_at < 1.0, (code, time.monotonic() - stop_at))


def finish(processes, folder):
    """Ends what is still running, removes the folder, prints the tally;
    the exit status."""
    for p in processes:
        if p and p.poll() is None:
            p.kill()
            p.wait(10)
    if folder:
        shutil.rmtree(folder, ignore_errors=True)
    failed = results.count(False)
    print("%d passed, %d failed" % (len(results) - failed, failed))
    return 1 if failed else 0


def raw_exchange(port, data, timeout=10):
    """Sends bytes as they are; answers the status code, or None when the
    server dropped the connection without one."""
    with socket.create_connection(("127.0.0.1", port), timeout=timeout) as s:
        try:
            s.sendall(data)
            answer = b""
            while b"\r\n" not in answer:
                chunk = s.recv(4096)
                if not chunk:
                    break
                answer += chunk
        except (ConnectionResetError, BrokenPipeError, socket.timeout):
            return None
    m = re.match(rb"HTTP/1\.[01] (\d{3})", answer)
    return int(m.group(1)) if m else None
