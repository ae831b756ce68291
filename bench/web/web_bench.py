#!/usr/bin/env python3
"""Figures of the web dashboard, one run, printed side by side with their
targets: the bytes of a first visit, the year graph's time in headless
Chromium (median of 10), and the resident memory of `serve` while two tabs
keep the dashboard live. Run by hand: `make web_bench` in the build folder
(about 12 minutes; --minutes N shortens the memory run)."""

import argparse
import datetime
import json
import os
import statistics
import subprocess
import sys
import time

sys.dont_write_bytecode = True  # no cache files in the source tree
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests", "web"))
from webtest import Serve, basic, hash_password, wait_for, web_config, workdir  # noqa: E402
from dashboard_browser_test import browser  # noqa: E402


def rss_kb(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def write_year(calidorctl, work, history, env):
    path = os.path.join(work, "year.csv")
    now = datetime.datetime.now().astimezone().replace(second=0, microsecond=0)
    with open(path, "w") as f:
        f.write("timestamp,id,device,temperature_celsius,tl_celsius,th_celsius,relay_contact,relay_mode,"
                "probe_status,probe_status_text,boot_status\n")
        for minute in range(365 * 24 * 60, 0, -1):
            t = now - datetime.timedelta(minutes=minute)
            temp = 20.0 + 3.0 * ((minute % 1440) / 720.0 - 1.0)
            f.write("%s,SIM0001,virtual,%.1f,18,22,%s,A,0,probe working,0\n" %
                    (t.isoformat(timespec="milliseconds"), temp, "C-NO" if temp < 19 else "C-NC"))
    started = time.monotonic()
    done = subprocess.run([calidorctl, "history", "import", path, "--history", history], env=env,
                          capture_output=True, text=True, timeout=1800)
    if done.returncode != 0:
        sys.exit("history import failed: " + done.stderr)
    return time.monotonic() - started


def transferred(driver, base):
    """Bytes on the wire of every response from the service, from Chromium's
    own log (the browser's internal pages left out)."""
    urls, total = {}, 0
    for entry in driver.get_log("performance"):
        message = json.loads(entry["message"])["message"]
        params = message["params"]
        if message["method"] == "Network.responseReceived":
            urls[params["requestId"]] = params["response"]["url"]
        elif message["method"] == "Network.loadingFinished" and urls.get(params["requestId"], "").startswith(base):
            total += params["encodedDataLength"]
    return total


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("calidorctl")
    parser.add_argument("--minutes", type=float, default=10)
    args = parser.parse_args()
    work = workdir("calidor-web-bench-")
    history = os.path.join(work, "history.sqlite")
    env = dict(os.environ, XDG_RUNTIME_DIR=work, XDG_STATE_HOME=os.path.join(work, "state"))
    print("writing a year of minute rows ...", flush=True)
    took = write_year(args.calidorctl, work, history, env)
    print("  imported in %.0f s" % took, flush=True)
    config = web_config(work, {"alice": hash_password(args.calidorctl, "bench")})
    auth = ("alice", "bench")
    serve = Serve(args.calidorctl, work, ["--web-config", config, "--history", history], thermostats=2)
    rows = []
    try:
        if not serve.port:
            sys.exit("serve did not start: %s" % serve.said)
        # 1. A first visit, with a fresh profile each: the dashboard, then a
        # thermostat's page with the chart library and its first graph.
        for path, what in (("/", "first visit to / (cards)"),
                           ("/thermostat/SIM0001", "first visit to a thermostat (chart library, 24 h graph)")):
            driver, why = browser(auth=auth)
            if not driver:
                sys.exit(why)
            driver.execute_cdp_cmd("Network.setExtraHTTPHeaders", {"headers": {"Authorization": basic(*auth),
                                                                               "Accept-Encoding": "gzip"}})
            driver.get(serve.base + path)
            wait_for(lambda: driver.execute_script(
                "return document.querySelectorAll('.card').length > 0 && "
                "(location.pathname === '/' || !!document.getElementById('chart').dataset.drawnAt)"), 20)
            time.sleep(0.5)
            rows.append((what, "%.0f KB" % (transferred(driver, serve.base) / 1024), "under 300 KB"))
            driver.quit()

        # 2. Navigation to the year graph drawn, a year of history: median of 10.
        driver, _ = browser(auth=auth)
        times = []
        for _ in range(10):
            driver.get("about:blank")
            driver.get(serve.base + "/thermostat/SIM0001#range=1y")
            drawn = wait_for(lambda: driver.execute_script(
                "const b = document.getElementById('chart'); return b && b.dataset.drawnAt && "
                "Number(b.dataset.to) - Number(b.dataset.from) > 360 * 86400 ? Number(b.dataset.drawnAt) : 0"), 30,
                0.02)
            if drawn:
                times.append(drawn)
        points = driver.execute_script("return Number(document.getElementById('chart').dataset.points)")
        driver.quit()
        rows.append(("year graph, navigation to drawn (median of %d; %d points)" % (len(times), points),
                     "%.0f ms" % statistics.median(times) if times else "n/a", "under 1000 ms"))

        # 3. Two tabs keep the dashboard live for the given minutes.
        tabs = [browser(auth=auth)[0] for _ in range(2)]
        for tab, path in zip(tabs, ("/", "/thermostat/SIM0001")):
            tab.get(serve.base + path)
        time.sleep(30)
        start = rss_kb(serve.process.pid)
        time.sleep(args.minutes * 60)
        end = rss_kb(serve.process.pid)
        for tab in tabs:
            tab.quit()
        rows.append(("serve's resident memory, 2 tabs live for %g min" % args.minutes,
                     "%d KB -> %d KB (%+d KB)" % (start, end, end - start), "growth under 1024 KB"))
    finally:
        serve.stop()
    width = max(len(r[0]) for r in rows)
    print()
    for what, value, target in rows:
        print("%-*s  %-28s  target: %s" % (width, what, value, target))


if __name__ == "__main__":
    main()
