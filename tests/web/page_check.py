"""The live page in a real browser: headless Chromium, driven through chromedriver (Python selenium from Debian),
against the program talking to an instrument played by another process on a pseudo-terminal.

  page_check.py PROGRAM PTY_PEER [SCREENSHOT_DIR]

Checks: the panel shows the instrument's lamps as the status API reports them; a click on VECT without the token is
refused (401) and sends nothing to the instrument; with the token the click reaches the instrument as 8B F0 and the
page shows VECT lit within 2 s; at 400 px the panel needs no horizontal scrolling."""

import json
import os
import sys
import tempfile
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait

sys.path.insert(0, os.path.dirname(__file__))
from qvserve import PtyPeer, Served  # noqa: E402

VECT = "8B F0"


def browser():
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for arg in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                "--window-size=1280,1000", "--no-first-run", "--disable-extensions"):
        options.add_argument(arg)
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)


def key(driver, name):
    return driver.find_element(By.CSS_SELECTOR, 'button.key[data-key="%s"]' % name)


def lamps_on_page(driver):
    return {l.get_attribute("data-lamp"): l.get_attribute("class").split()[-1]
            for l in driver.find_elements(By.CSS_SELECTOR, ".lamp")}


def main(program, peer_program, shots):
    with tempfile.TemporaryDirectory() as tmp:
        peer = PtyPeer(peer_program, tmp)
        served = Served(program, "serial:" + peer.path, tmp)
        driver = None
        try:
            served.wait_until_polled()
            driver = browser()
            driver.get(served.url)
            wait = WebDriverWait(driver, 10)
            wait.until(lambda d: d.find_element(By.ID, "panel").get_attribute("data-version"))
            status = json.loads(served.request("GET", "/api/status")[1])
            assert status["present"], status
            assert lamps_on_page(driver) == status["lamps"], (lamps_on_page(driver), status["lamps"])
            assert "blue" in status["lamps"].values() or "green" in status["lamps"].values(), status["lamps"]
            assert "lit" not in key(driver, "VECT").get_attribute("class")

            # Without the token: refused, and nothing reaches the instrument.
            before = len(peer.sent())
            key(driver, "VECT").click()
            wait.until(lambda d: "401" in d.find_element(By.ID, "notice").text)
            polls = served.metrics()["qv7700_polls_total"]
            wait.until(lambda d: served.metrics()["qv7700_polls_total"] >= polls + 1)  # the link moved on since
            assert VECT not in peer.sent()[before:], peer.sent()[before:]
            assert "lit" not in key(driver, "VECT").get_attribute("class")

            # With the token, entered once on the page.
            driver.find_element(By.ID, "token").send_keys(served.token)
            driver.find_element(By.ID, "token-save").click()
            before = len(peer.sent())
            key(driver, "VECT").click()
            WebDriverWait(driver, 2).until(lambda d: "lit" in key(d, "VECT").get_attribute("class"))
            assert VECT in peer.sent()[before:], peer.sent()[before:]

            driver.find_element(By.ID, "capture").click()
            WebDriverWait(driver, 30).until(lambda d: d.find_element(By.ID, "screen").get_attribute("hidden") is None)
            if shots:
                driver.save_screenshot(os.path.join(shots, "web-page-desktop.png"))
            # A phone, through the DevTools protocol's device emulation.
            driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                                   {"width": 400, "height": 860, "deviceScaleFactor": 1, "mobile": True})
            time.sleep(0.3)  # one layout pass
            width = driver.execute_script("return document.documentElement.scrollWidth")
            assert width <= 400, "the page scrolls sideways at 400 px: %d px wide" % width
            if shots:
                driver.save_screenshot(os.path.join(shots, "web-page-phone.png"))
        finally:
            if driver:
                driver.quit()
            served.stop()
            peer.stop()
        assert served.exited_cleanly(), "the program ended with %s: %s" % (served.proc.returncode, served.lines[-5:])
    print("page in Chromium: lamps shown, 401 without token and nothing sent, VECT sent as 8B F0 and lit, fits 400 px")


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2], sys.argv[3] if len(sys.argv) > 3 else None)
