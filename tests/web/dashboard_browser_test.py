#!/usr/bin/env python3
"""The dashboard in a real browser: Debian's headless Chromium driven by
selenium against the real `calidorctl --simulate serve` over two virtual
thermostats, with a week of history the test writes first. Screenshots of
the dashboard, a graph, the form's outcome and a phone's width go to
build/screens/web-*.png. Exit 77 (skipped), with the reason, when Chromium
cannot run here."""

import datetime
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time
import urllib.parse

sys.dont_write_bytecode = True  # no cache files in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from webtest import (SKIP, Serve, basic, check, hash_password, make_ca_and_server, request, spki_hash,  # noqa: E402
                     summary, tls_context, wait_for, web_config, workdir)

CHROMIUM = "/usr/bin/chromium"
DRIVER = "/usr/bin/chromedriver"
FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync"]


def browser(extra_flags=(), auth=None, size=(1200, 900)):
    """A fresh headless Chromium; None with the reason when it cannot run."""
    try:
        from selenium import webdriver
        from selenium.webdriver.chrome.service import Service
    except ImportError as e:
        return None, "python3-selenium is missing: %s" % e
    if not (os.access(CHROMIUM, os.X_OK) and os.access(DRIVER, os.X_OK)):
        return None, "chromium and chromium-driver are needed (%s, %s)" % (CHROMIUM, DRIVER)
    options = webdriver.ChromeOptions()
    options.binary_location = CHROMIUM
    for flag in FLAGS + list(extra_flags):
        options.add_argument(flag)
    options.add_argument("--user-data-dir=" + tempfile.mkdtemp(prefix="calidor-chromium-"))
    options.add_argument("--window-size=%d,%d" % size)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL", "performance": "ALL"})
    try:
        driver = webdriver.Chrome(service=Service(DRIVER), options=options)
    except Exception as e:  # the driver says why in its own words
        return None, "chromium does not start here: %s" % str(e).splitlines()[0]
    driver.set_page_load_timeout(30)
    if auth:
        # The login a user types once into the browser's own dialog.
        driver.execute_cdp_cmd("Network.enable", {})
        driver.execute_cdp_cmd("Network.setExtraHTTPHeaders", {"headers": {"Authorization": basic(*auth)}})
    return driver, None


def js(driver, script, *args):
    return driver.execute_script(script, *args)


def console_errors(driver):
    """Errors of the page itself: scripts and policy violations. A 4xx the
    page asked for on purpose (a refused change) is the network's, not one."""
    return [e for e in driver.get_log("browser") if e["level"] == "SEVERE" and e.get("source") != "network"]


def write_week(calidorctl, work, history, env):
    """A week of one reading a minute for both thermostats, as `watch
    --format csv` logs them, taken into the history file."""
    path = os.path.join(work, "week.csv")
    now = datetime.datetime.now().astimezone().replace(second=0, microsecond=0)
    with open(path, "w") as f:
        f.write("timestamp,id,device,temperature_celsius,tl_celsius,th_celsius,relay_contact,relay_mode,"
                "probe_status,probe_status_text,boot_status\n")
        for ident in ("SIM0001", "SIM0002"):
            for minute in range(7 * 24 * 60, 0, -1):
                t = now - datetime.timedelta(minutes=minute)
                temp = 20.0 + 2.5 * ((minute % 240) / 120.0 - 1.0) * (1 if ident == "SIM0001" else -1)
                contact = "C-NO" if temp < 19.0 else "C-NC"
                f.write("%s,%s,virtual,%.1f,18,22,%s,A,0,probe working,0\n" %
                        (t.isoformat(timespec="milliseconds"), ident, temp, contact))
    done = subprocess.run([calidorctl, "history", "import", path, "--history", history], env=env,
                          capture_output=True, text=True, timeout=120)
    return done.returncode == 0, done.stderr.strip()


def check_schedule(driver, screens, calidorctl, env):
    """The schedule's panel of SIM0002's page: a refused program says why, a
    saved one is applied and its band drawn ahead of now, pause and resume."""
    def outcome():
        return wait_for(lambda: (lambda t: t if t and "…" not in t else None)(
            driver.find_element("id", "schedule-outcome").text), 15)

    def save(program):
        editor = driver.find_element("id", "schedule-json")
        editor.clear()
        editor.send_keys(program)
        driver.find_element("id", "schedule-save").click()
        return outcome()

    said = save('{"weekly":[{"days":["mon"],"at":"06:30","tl":21,"th":20}]}')
    check("a program with TL above TH is refused with its entry", said and said.startswith("Refused") and
          "TL" in said, said)
    said = save('{"weekly":[{"days":["mon","tue","wed","thu","fri","sat","sun"],"at":"00:00","tl":15,"th":25},'
                '{"days":["mon","tue","wed","thu","fri","sat","sun"],"at":"12:00","tl":16,"th":24}]}')
    check("a program is saved", said and said.startswith("Saved"), said)
    # The band ahead, as the chart holds it: a week of two entries a day, from now.
    band = wait_for(lambda: js(driver, "const g = window.calidorScheduleChart;"
                                       "return g && g.numRows() > 0 ? [...Array(g.numRows()).keys()]"
                                       ".map(i => [g.getValue(i, 0), g.getValue(i, 1), g.getValue(i, 2)]) : null"), 15)
    check("the planned band is drawn ahead of now, from the program's values",
          band and band[0][0] / 1000 >= time.time() - 120 and
          {(row[1], row[2]) for row in band} == {(15, 25), (16, 24)} and len(band) >= 28, band and band[:3])
    facts = js(driver, "return document.getElementById('schedule-facts').textContent")
    check("the current step, the next change and the writes a day are shown",
          all(word in facts for word in ("Now", "Next change", "Writes a day", "2")), facts)
    applied = wait_for(lambda: (lambda r: r if r.get("tl_celsius") in (15, 16) else None)(json.loads(
        subprocess.run([calidorctl, "--simulate", "--device", "SIM0002", "read", "--format", "json"], env=env,
                       capture_output=True, text=True, timeout=30).stdout or "{}")), 15)
    check("the program is applied and read back", applied, applied)
    js(driver, "document.getElementById('schedule-facts').scrollIntoView()")
    driver.save_screenshot(os.path.join(screens, "web-schedule.png"))
    for word, state in (("Pause", "paused"), ("Resume", "running")):
        button = driver.find_element("id", "schedule-pause")
        check("the button says %s" % word, button.text == word, button.text)
        button.click()
        said = outcome()
        shown = wait_for(lambda: js(driver, "return document.getElementById('schedule-status').dataset.state")
                         == state, 10)
        check("%s: the panel says %s" % (word, state), shown, said)
    driver.find_element("id", "schedule-clear").click()
    said = outcome()
    check("the program is cleared", said and said.startswith("Cleared") and
          "No schedule" in js(driver, "return document.getElementById('schedule-facts').textContent"), said)


def main():
    calidorctl = sys.argv[1]
    screens = sys.argv[2]
    os.makedirs(screens, exist_ok=True)
    # The page draws the history the service keeps; a build without it
    # (the history's branch not merged yet) cannot be tested here.
    usage = subprocess.run([calidorctl, "--help"], capture_output=True, text=True, timeout=30).stdout
    if "history" not in usage:
        print("SKIPPED: this calidorctl keeps no history (no `calidorctl history`): the graph has nothing to draw")
        return SKIP
    probe, why = browser()
    if not probe:
        print("SKIPPED: " + why)
        return SKIP
    probe.quit()

    work = workdir("calidor-web-browser-")
    history = os.path.join(work, "history.sqlite")
    env = dict(os.environ, XDG_RUNTIME_DIR=work, XDG_STATE_HOME=os.path.join(work, "state"))
    ok, said = write_week(calidorctl, work, history, env)
    check("a week of history for both thermostats is imported", ok, said)

    hashed = hash_password(calidorctl, "s3cret")
    config = web_config(work, {"alice": hashed})
    alice = ("alice", "s3cret")
    # SIM0001 is unplugged after 40 reads (10 s) for 4 s: a change the page must show by itself.
    serve = Serve(calidorctl, work, ["--interval", "250ms", "--web-config", config, "--history", history,
                                     "--history-flush", "1s"],
                  env={"CALIDORCTL_SIMULATE_UNPLUG_AFTER": "40", "CALIDORCTL_SIMULATE_REPLUG_AFTER": "4000"})
    driver = None
    try:
        if not check("serve starts", serve.port, serve.said):
            return 1
        base = serve.base
        driver, why = browser(auth=alice)
        if not check("chromium starts with a login", driver, why):
            return 1

        # The cards, kept live without a reload.
        driver.get(base + "/")
        cards = wait_for(lambda: js(driver, "return [...document.querySelectorAll('#cards .card')]"
                                            ".map(c => c.dataset.id)"), 10)
        check("both cards are shown", cards == ["SIM0001", "SIM0002"], cards)
        check("the no-script table is hidden once the script runs",
              js(driver, "return document.getElementById('plain').hidden"))
        js(driver, "window.notReloaded = true")
        badge = "return document.querySelector('[data-id=SIM0001] [data-key=up]')?.textContent"
        went = wait_for(lambda: js(driver, badge) == "down", 20)
        check("an unplugged thermostat shows down without a reload", went and js(driver, "return window.notReloaded"),
              js(driver, badge))
        back = wait_for(lambda: js(driver, badge) == "up", 15)
        check("... and up again when it is back", back and js(driver, "return window.notReloaded"))
        temperature = js(driver, "return document.querySelector('[data-id=SIM0002] [data-key=temperature]')"
                                 ".textContent")
        check("a card shows the temperature in °C", temperature.endswith("°C"), temperature)
        # A value changed on the thermostat by another program shows by itself.
        band = "return document.querySelector('[data-id=SIM0002] [data-key=band]')?.textContent"
        setting = subprocess.run([calidorctl, "--simulate", "--device", "SIM0002", "set", "--th", "24.5"],
                                 env=serve.env, capture_output=True, text=True, timeout=30)
        changed = wait_for(lambda: (js(driver, band) or "").endswith("24.5 °C"), 10)
        check("a value changed on the thermostat appears without a reload",
              setting.returncode == 0 and changed and js(driver, "return window.notReloaded"),
              (setting.stderr, js(driver, band)))
        driver.save_screenshot(os.path.join(screens, "web-dashboard.png"))

        # A card opens its thermostat, with its own address.
        driver.find_element("css selector", "a.card[data-id=SIM0002]").click()
        check("a card opens /thermostat/ID",
              wait_for(lambda: urllib.parse.urlparse(driver.current_url).path == "/thermostat/SIM0002", 10),
              driver.current_url)
        points = "return Number(document.getElementById('chart').dataset.points || -1)"
        span = "return Number(document.getElementById('chart').dataset.to) - " \
               "Number(document.getElementById('chart').dataset.from)"
        check("the page draws its first graph by itself", wait_for(lambda: js(driver, points) >= 0, 15))
        for name, seconds in (("7d", 7 * 86400), ("1h", 3600), ("24h", 86400), ("30d", 30 * 86400),
                              ("1y", 365 * 86400), ("7d", 7 * 86400)):
            js(driver, "document.getElementById('chart').dataset.points = ''")
            driver.find_element("css selector", "button[data-range='%s']" % name).click()
            drawn = wait_for(lambda: js(driver, points) >= 0 and abs(js(driver, span) - seconds) < 5, 15)
            check("range %s: fetched and drawn" % name, drawn, (js(driver, span), js(driver, points)))
        held = js(driver, points)
        canvas = js(driver, "return document.querySelectorAll('#chart canvas').length")
        rows = js(driver, "return window.calidorChart ? window.calidorChart.numRows() : -1")
        check("the 7-day graph is drawn from the history on a canvas",
              canvas >= 1 and 100 <= held <= 2000 and rows == held, (canvas, held, rows))
        csv = driver.find_element("id", "csv").get_attribute("href")
        status, headers, body = request(csv, auth=alice)
        check("the CSV link gives the range shown as CSV",
              status == 200 and "csv" in headers.get("Content-Type", "") and body.count(b"\n") > 10,
              (status, headers.get("Content-Type"), body[:80]))
        driver.save_screenshot(os.path.join(screens, "web-graph.png"))

        # Drag to zoom: the narrower range is fetched again.
        from selenium.webdriver.common.action_chains import ActionChains
        chart = driver.find_element("id", "chart")
        before = js(driver, span)
        ActionChains(driver).move_to_element_with_offset(chart, -150, 0).click_and_hold() \
            .move_by_offset(200, 0).release().perform()
        narrowed = wait_for(lambda: js(driver, span) < before / 2, 10)
        check("drag to zoom fetches the narrower range", narrowed, (before, js(driver, span)))

        # The settings form, with a user logged in.
        for field, value in (("tl", "17,5"), ("th", "23")):
            element = driver.find_element("id", field)
            element.clear()
            element.send_keys(value)
        from selenium.webdriver.support.ui import Select
        Select(driver.find_element("id", "mode")).select_by_visible_text("B")
        driver.find_element("id", "apply").click()
        outcome = wait_for(lambda: (lambda t: t if t and "…" not in t else None)(
            driver.find_element("id", "outcome").text), 15)
        check("the form's change is written and read back", outcome and outcome.startswith("Written"), outcome)
        driver.save_screenshot(os.path.join(screens, "web-form.png"))
        read = subprocess.run([calidorctl, "--simulate", "--device", "SIM0002", "read", "--format", "json"],
                              env=serve.env, capture_output=True, text=True, timeout=30)
        try:
            reading = json.loads(read.stdout)
        except ValueError:
            reading = {}
        check("calidorctl --simulate read reads it back",
              reading.get("tl_celsius") == 17.5 and reading.get("th_celsius") == 23 and
              reading.get("relay_mode") == "B", read.stdout + read.stderr)

        element = driver.find_element("id", "tl")
        element.clear()
        element.send_keys("30")
        driver.find_element("id", "apply").click()
        outcome = wait_for(lambda: (lambda t: t if t and t.startswith("Refused") else None)(
            driver.find_element("id", "outcome").text), 15)
        check("a refused value shows its reason", outcome and "TH" in outcome, outcome)
        read = subprocess.run([calidorctl, "--simulate", "--device", "SIM0002", "read", "--format", "json"],
                              env=serve.env, capture_output=True, text=True, timeout=30)
        check("... and nothing was written", json.loads(read.stdout or "{}").get("tl_celsius") == 17.5, read.stdout)
        check_schedule(driver, screens, calidorctl, serve.env)
        errors = console_errors(driver)
        check("no error in the browser's console", not errors, errors)

        # The unplug of SIM0001 is an event of its history (unplugged, or not
        # answering as the service saw it), marked on its page.
        def unplug_listed():
            driver.get(base + "/thermostat/SIM0001#range=1h")
            wait_for(lambda: js(driver, points) >= 0, 10)
            shown = js(driver, "return document.getElementById('events').textContent")
            return "unplugged" in shown or "not answering" in shown
        check("the unplug is listed among the events", wait_for(unplug_listed, 20, 1),
              js(driver, "return document.getElementById('events').textContent"))

        # A phone's width.
        driver.set_window_size(390, 844)
        driver.get(base + "/")
        wait_for(lambda: js(driver, "return document.querySelectorAll('#cards .card').length") == 2, 10)
        wide = js(driver, "return document.documentElement.scrollWidth")
        check("at 390×844 nothing is wider than the screen", wide <= 390, wide)
        driver.save_screenshot(os.path.join(screens, "web-phone.png"))
        errors = console_errors(driver)
        check("no error in the console at a phone's width", not errors, errors)
        driver.quit()
        driver = None

        # A wrong password: 401, in the browser too (as its own network log says).
        driver, _ = browser(auth=("alice", "wrong"))
        driver.get(base + "/")
        statuses = [json.loads(e["message"])["message"]["params"]["response"]["status"]
                    for e in driver.get_log("performance")
                    if '"Network.responseReceived"' in e["message"] and '"type":"Document"' in e["message"]
                    and json.loads(e["message"])["message"]["params"]["response"]["url"].startswith(base)]
        check("a wrong password gets 401", statuses[:1] == [401], statuses)
        driver.quit()
        driver = None
        serve.stop()

        # Without users: the page is open, the form disabled with one line.
        open_serve = Serve(calidorctl, work, ["--interval", "250ms", "--history", history])
        try:
            driver, _ = browser()
            driver.get(open_serve.base + "/thermostat/SIM0001")
            wait_for(lambda: js(driver, "return document.getElementById('detail').hidden") is False, 10)
            disabled = js(driver, "return ['tl','th','mode','apply'].every(i => document.getElementById(i).disabled)")
            note = js(driver, "return document.getElementById('change-note').textContent")
            check("without users the form is disabled, with how to add one", disabled and "user" in note, note)
            disabled = js(driver, "return ['schedule-json','schedule-save','schedule-clear','schedule-pause']"
                                  ".every(i => document.getElementById(i).disabled)")
            note = js(driver, "return document.getElementById('schedule-note').textContent")
            check("... and so is the schedule's editor", disabled and "user" in note, note)
            driver.quit()
            driver = None
        finally:
            open_serve.stop()

        # Over TLS, with the test's own certificate authority.
        made = make_ca_and_server(work)
        if check("a CA and a server certificate are made (openssl)", made):
            ca, cert, key = made
            tls_config = web_config(work, {"alice": hashed}, (cert, key), "tls.yml")
            tls_serve = Serve(calidorctl, work, ["--interval", "250ms", "--web-config", tls_config])
            try:
                check("serve says https", tls_serve.scheme == "https", tls_serve.said)
                status, _, _ = request(tls_serve.base + "/metrics", auth=alice, context=tls_context(ca))
                check("the certificate verifies against the test's CA", status == 200, status)
                driver, _ = browser(["--ignore-certificate-errors-spki-list=" + spki_hash(cert)], auth=alice)
                driver.get(tls_serve.base + "/")
                check("over TLS the page loads", driver.current_url.startswith("https://") and
                      "SIM0002" in js(driver, "return document.getElementById('plain').textContent"),
                      driver.current_url)
                cards = wait_for(lambda: js(driver, "return document.querySelectorAll('#cards .card').length"), 10)
                check("... and its script shows the cards", cards == 2, cards)
                check("no error in the console over TLS", not console_errors(driver), console_errors(driver))
            finally:
                tls_serve.stop()
    finally:
        if driver:
            driver.quit()
        serve.stop()
        shutil.rmtree(work, ignore_errors=True)
    return summary()


if __name__ == "__main__":
    sys.exit(main())
