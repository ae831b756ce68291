#!/usr/bin/env python3
"""The dashboard's alerts in a real browser: Debian's headless Chromium
against the real `calidorctl --simulate serve` on a simulated clock (a
minute a second), one thermostat far below its thresholds and a webhook
receiver started here on 127.0.0.1. The open incident is listed on `/`
without a reload, in English and in French; the test button's outcome is
shown; without users the button is disabled. Screenshot:
build/screens/web-incidents.png. Exit 77 (skipped), with the reason, when
Chromium cannot run here."""

import http.server
import json
import os
import subprocess
import sys
import threading
import time

sys.dont_write_bytecode = True  # no cache files in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from dashboard_browser_test import browser, console_errors, js  # noqa: E402
from webtest import SKIP, Serve, basic, check, hash_password, summary, wait_for, web_config, workdir  # noqa: E402


class Receiver(http.server.BaseHTTPRequestHandler):
    received = []

    def do_POST(self):
        Receiver.received.append(json.loads(self.rfile.read(int(self.headers.get("Content-Length", "0")))))
        self.send_response(200)
        self.send_header("Content-Length", "0")
        self.end_headers()

    def log_message(self, *args):
        pass


LISTED = "return [...document.querySelectorAll('#incidents li')].map(li => [li.dataset.id, li.dataset.kind])"


def main():
    calidorctl = sys.argv[1]
    screens = sys.argv[2]
    os.makedirs(screens, exist_ok=True)
    probe, why = browser()
    if not probe:
        print("SKIPPED: " + why)
        return SKIP
    probe.quit()

    work = workdir("calidor-alerts-browser-")
    hook = http.server.HTTPServer(("127.0.0.1", 0), Receiver)
    threading.Thread(target=hook.serve_forever, daemon=True).start()
    config = os.path.join(work, "alerts.json")
    with open(config, "w") as f:
        json.dump({"channels": [{"type": "webhook", "url": "http://127.0.0.1:%d/" % hook.server_address[1]}],
                   "rules": {"margin": 0, "band_minutes": 1}}, f)
    env = {"CALIDORCTL_SIMULATE_CLOCK": "%d:60" % int(time.time())}
    subprocess.run([calidorctl, "--simulate", "--device", "SIM0002", "set", "--tl", "80", "--th", "90"],
                   env=dict(os.environ, XDG_RUNTIME_DIR=work, CALIDORCTL_SIMULATE_THERMOSTATS="2"), check=True,
                   capture_output=True, timeout=20)
    alice = ("alice", "s3cret")
    users = web_config(work, {"alice": hash_password(calidorctl, alice[1])})
    serve = Serve(calidorctl, work, ["--interval", "250ms", "--alerts-config", config, "--web-config", users], env)
    driver = None
    try:
        if not check("serve starts", serve.port, serve.said):
            return summary()
        driver, why = browser(auth=alice)
        if not check("chromium starts with a login", driver, why):
            return summary()
        driver.get(serve.base + "/")
        js(driver, "window.notReloaded = true")
        listed = wait_for(lambda: js(driver, LISTED) == [["SIM0002", "out_of_band"]], 20)
        check("the incident is listed on the page without a reload", listed and js(driver, "return window.notReloaded"),
              js(driver, LISTED))
        text = js(driver, "return document.getElementById('incidents').textContent")
        check("... in words, with its detail", "temperature out of band" in text and "°C" in text, text)
        driver.find_element("id", "alert-test").click()
        outcome = wait_for(lambda: (lambda t: t if t and "…" not in t else None)(
            driver.find_element("id", "alert-outcome").text), 10)
        check("the test button's outcome is shown", outcome == "Test alert queued to 1 channel", outcome)
        check("... and the receiver has the test", wait_for(lambda: [a for a in Receiver.received
                                                                     if a["kind"] == "test"], 10), Receiver.received)
        driver.save_screenshot(os.path.join(screens, "web-incidents.png"))
        check("no error in the browser's console", not console_errors(driver), console_errors(driver))

        driver.execute_cdp_cmd("Network.setExtraHTTPHeaders",
                               {"headers": {"Authorization": basic(*alice), "Accept-Language": "fr"}})
        driver.get(serve.base + "/")
        french = wait_for(lambda: js(driver, "return document.getElementById('incidents').textContent")
                          if js(driver, LISTED) == [["SIM0002", "out_of_band"]] else None, 10)
        check("in French too", french and "température hors bande" in french and
              js(driver, "return document.getElementById('alerts-title').textContent") == "Incidents en cours", french)
        driver.quit()
        driver = None
    finally:
        if driver:
            driver.quit()
        serve.stop()

    # Without users, and nothing wrong: the list says so, the button is disabled.
    calm = os.path.join(work, "calm")
    os.makedirs(calm)
    open_serve = Serve(calidorctl, calm, ["--interval", "250ms", "--alerts-config", config], env)
    try:
        driver, _ = browser()
        driver.get(open_serve.base + "/")
        none = wait_for(lambda: js(driver, "return document.querySelector('#incidents li.none')?.textContent"), 10)
        check("no incident: said in one line", none == "No open incident", none)
        disabled = js(driver, "return document.getElementById('alert-test').disabled")
        note = js(driver, "return document.getElementById('alert-note').textContent")
        check("without users the button is disabled, with how to add one", disabled and "user" in note, note)
        driver.quit()
        driver = None
    finally:
        if driver:
            driver.quit()
        open_serve.stop()
        hook.shutdown()
    return summary()


if __name__ == "__main__":
    sys.exit(main())
