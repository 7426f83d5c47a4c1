"""The live page in a real browser: headless Chromium, driven through chromedriver (Python selenium from Debian),
against the program talking to an instrument played by another process on a pseudo-terminal.

  page_check.py PROGRAM PTY_PEER [SCREENSHOT_DIR]

Checks, with a watch beside the server: before any picture the page has no image element (no broken-image icon);
the panel shows the instrument's lamps as the status API reports them, in the window's colours; a click on VECT
without the token is refused (401, a red notice) and sends nothing to the instrument; with the token the click
reaches the instrument as 8B F0 and the page shows VECT lit (bold, underlined, yellow) within 2 s; a GAMUT alarm
appears in the alarm list and the journal (name, state, a link to its stored picture that serves the PNG) from the
live stream's changes; every time shown is local with its UTC offset; the icon is served; Get Screen ends with a
green notice. At 400 px: no sideways scrolling, the alarms above the keys, nothing to touch lower than 44 px.
With SCREENSHOT_DIR: web-page-desktop.png and web-page-phone.png there."""

import json
import os
import re
import sys
import tempfile
import time

from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait

sys.path.insert(0, os.path.dirname(__file__))
from qvserve import PtyPeer, Served, browser  # noqa: E402

VECT = "8B F0"
# The window's colours (src/state/colours.h): lamps off grey, blue, green, red; a lit key in the palette's yellow.
LAMP_RGB = {"off": "rgb(192, 192, 192)", "blue": "rgb(0, 0, 255)", "green": "rgb(0, 255, 0)", "red": "rgb(255, 0, 0)"}
LIT_KEY_RGB = "rgb(255, 255, 0)"
LOCAL_TIME = re.compile(r"\d{4}-\d\d-\d\d \d\d:\d\d:\d\d [+-]\d\d:\d\d")



def key(driver, name):
    return driver.find_element(By.CSS_SELECTOR, 'button.key[data-key="%s"]' % name)


def lamps_on_page(driver):
    return {l.get_attribute("data-lamp"): l.get_attribute("class").split()[-1]
            for l in driver.find_elements(By.CSS_SELECTOR, ".lamp")}


def style(driver, element, prop):
    return driver.execute_script("return getComputedStyle(arguments[0])[arguments[1]]", element, prop)


def fetch_status(driver, url):
    """Status and content type of a GET made by the page itself."""
    return driver.execute_async_script(
        "const done = arguments[arguments.length - 1];"
        "fetch(arguments[0]).then(r => done([r.status, r.headers.get('Content-Type')])).catch(e => done([0, String(e)]));", url)


def check_times(driver):
    """Every time on the page is local with its offset; no raw ISO time beside them."""
    texts = [t.text for t in driver.find_elements(By.TAG_NAME, "time")]
    assert texts and all(LOCAL_TIME.fullmatch(t) for t in texts), texts
    body = driver.find_element(By.TAG_NAME, "body").text
    assert not re.search(r"\d{4}-\d\d-\d\dT\d\d:", body), "a raw ISO time on the page: %s" % body


def small_targets(driver):
    """Visible buttons, links and inputs lower than 44 px, with their heights."""
    return driver.execute_script("""
        return [...document.querySelectorAll('button, a, input, select')]
          .filter(e => e.offsetParent !== null)
          .map(e => [e.id || e.dataset.key || e.dataset.knob || e.textContent, e.getBoundingClientRect().height])
          .filter(([, h]) => h < 44);""")


def main(program, peer_program, shots):
    # A time zone away from UTC, so that a time shown without its conversion would stand out.
    os.environ["TZ"] = "Europe/Berlin"
    os.environ["QV_PTY_SECONDS"] = "150"
    with tempfile.TemporaryDirectory() as tmp:
        peer = PtyPeer(peer_program, tmp)
        served = Served(program, "serial:" + peer.path, tmp, env={"QV7700_POLL_MS": "250"},
                        extra=["--watch", os.path.join(tmp, "watch"), "--log-every", "0"])
        driver = None
        try:
            served.wait_until_polled()
            driver = browser()
            driver.get(served.url)
            wait = WebDriverWait(driver, 10)
            wait.until(lambda d: d.find_element(By.ID, "panel").get_attribute("data-version"))
            assert not [i for i in driver.find_elements(By.TAG_NAME, "img") if i.is_displayed()], \
                "an image shown before any picture"
            assert driver.find_element(By.CSS_SELECTOR, 'link[rel="icon"]')
            assert fetch_status(driver, "/favicon.ico") == [200, "image/png"]
            status = json.loads(served.request("GET", "/api/status")[1])
            assert status["present"], status
            assert lamps_on_page(driver) == status["lamps"], (lamps_on_page(driver), status["lamps"])
            assert "blue" in status["lamps"].values() or "green" in status["lamps"].values(), status["lamps"]
            for lamp in driver.find_elements(By.CSS_SELECTOR, ".lamp"):
                colour = status["lamps"][lamp.get_attribute("data-lamp")]
                assert style(driver, lamp, "backgroundColor") == LAMP_RGB[colour], (colour, style(driver, lamp, "backgroundColor"))
            assert "lit" not in key(driver, "VECT").get_attribute("class")
            assert style(driver, key(driver, "VECT"), "backgroundColor") != LIT_KEY_RGB

            # Without the token: refused, and nothing reaches the instrument.
            before = len(peer.sent())
            key(driver, "VECT").click()
            wait.until(lambda d: "401" in d.find_element(By.ID, "notice").text)
            assert style(driver, driver.find_element(By.ID, "notice"), "color") == "rgb(204, 0, 0)"
            polls = served.metrics()["qv7700_polls_total"]
            wait.until(lambda d: served.metrics()["qv7700_polls_total"] >= polls + 1)  # the link moved on since
            assert VECT not in peer.sent()[before:], peer.sent()[before:]
            assert "lit" not in key(driver, "VECT").get_attribute("class")

            # With the token, entered once on the page.
            driver.find_element(By.ID, "token").send_keys(served.token)
            driver.find_element(By.ID, "token-save").click()
            assert style(driver, driver.find_element(By.ID, "notice"), "color") == "rgb(0, 119, 0)"
            before = len(peer.sent())
            key(driver, "VECT").click()
            WebDriverWait(driver, 2).until(lambda d: "lit" in key(d, "VECT").get_attribute("class"))
            assert VECT in peer.sent()[before:], peer.sent()[before:]
            lit = key(driver, "VECT")
            assert style(driver, lit, "backgroundColor") == LIT_KEY_RGB, style(driver, lit, "backgroundColor")
            assert int(style(driver, lit, "fontWeight")) >= 700 and "underline" in style(driver, lit, "textDecorationLine")
            assert style(driver, key(driver, "WFM"), "backgroundColor") != LIT_KEY_RGB

            # A GAMUT alarm, as the live stream's changes bring it: listed, journaled, its picture linked.
            peer.send("gamut 1 0")
            WebDriverWait(driver, 20).until(lambda d: "gamut" in d.find_element(By.ID, "alarms").text)
            link = WebDriverWait(driver, 20).until(
                lambda d: d.find_elements(By.CSS_SELECTOR, '#journal a[href^="api/captures/"]'))[0]
            assert fetch_status(driver, link.get_attribute("href")) == [200, "image/png"]
            journal = driver.find_element(By.ID, "journal").text
            assert "alarm gamut raised" in journal and "capture gamut" in journal, journal
            assert driver.find_elements(By.CSS_SELECTOR, '#alarms a[href^="api/captures/"]')
            check_times(driver)

            driver.find_element(By.ID, "capture").click()
            WebDriverWait(driver, 30).until(lambda d: "Screen captured at" in d.find_element(By.ID, "notice").text)
            notice = driver.find_element(By.ID, "notice")
            assert style(driver, notice, "color") == "rgb(0, 119, 0)" and LOCAL_TIME.search(notice.text), notice.text
            assert len([i for i in driver.find_elements(By.TAG_NAME, "img") if i.is_displayed()]) == 1
            WebDriverWait(driver, 5).until(lambda d: d.execute_script(
                "const i = document.getElementById('screen'); return i.complete && i.naturalWidth > 0"))
            check_times(driver)
            if shots:
                driver.save_screenshot(os.path.join(shots, "web-page-desktop.png"))
            # A phone, through the DevTools protocol's device emulation.
            driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                                   {"width": 400, "height": 860, "deviceScaleFactor": 1, "mobile": True})
            time.sleep(0.3)  # one layout pass
            width = driver.execute_script("return document.documentElement.scrollWidth")
            assert width <= 400, "the page scrolls sideways at 400 px: %d px wide" % width
            small = small_targets(driver)
            assert not small, "touch targets lower than 44 px: %s" % small
            top = lambda css: driver.find_element(By.CSS_SELECTOR, css).rect["y"]  # noqa: E731
            assert top("#alarms-section") < top("#panel"), (top("#alarms-section"), top("#panel"))
            if shots:
                driver.save_screenshot(os.path.join(shots, "web-page-phone.png"))
        finally:
            if driver:
                driver.quit()
            served.stop()
            peer.stop()
        assert served.exited_cleanly(), "the program ended with %s: %s" % (served.proc.returncode, served.lines[-5:])
    print("page in Chromium: no image before a picture, lamps in the window's colours, 401 without token (red) and "
          "nothing sent, VECT sent as 8B F0 and lit yellow, the gamut alarm and its linked picture from the stream, "
          "local times with offsets; at 400 px: fits, alarms first, touch targets 44 px or more")


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2], sys.argv[3] if len(sys.argv) > 3 else None)
