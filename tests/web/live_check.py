"""The live screen, against the program talking to an instrument played by another process on a pseudo-terminal,
which notes when each request reached it.

  live_check.py PROGRAM PTY_PEER [SCREENSHOT_DIR]

Checks: without a live viewer the instrument gets no screen request; one viewer of GET /api/live for 10 s gets at
least 4 new frames, each readable from /api/screen.png?frame=N; a second viewer gets the same frames and the
instrument still sends each screen once; the picture page and a lost signal send the reason instead of a picture,
and no screen request goes out meanwhile; once the last viewer has gone, the instrument gets no screen request for
10 s; the status poll keeps its beat throughout (no gap over 2.5 s between polls as the instrument saw them).
Then the page in headless Chromium: the Live switch shows frames, the picture page's reason instead of a stale
picture, and switching it off leaves the instrument alone. Last, over the simulated 1 MB/s link with a 1 s interval:
frames keep coming and no poll tick comes late."""

import json
import os
import socket
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.dirname(__file__))
from qvserve import PtyPeer, Served, browser, until  # noqa: E402

START_SCREEN, STATUS_REQUEST = 0xB0, 0xB6
INTERVAL = 2


class LiveViewer:
    """GET /api/live on a socket of its own; every event is kept with the time it arrived."""

    def __init__(self, served):
        self.sock = socket.create_connection((served.host, served.port), timeout=30)
        self.sock.sendall(("GET /api/live HTTP/1.1\r\nHost: %s:%d\r\n\r\n" % (served.host, served.port)).encode())
        self.events = []
        self.head = b""
        self.closed = False
        self.thread = threading.Thread(target=self._read, daemon=True)
        self.thread.start()

    def _read(self):
        buffer = b""
        while True:
            try:
                chunk = self.sock.recv(65536)
            except OSError:
                break
            if not chunk:
                break
            buffer += chunk
            if not self.head:
                if b"\r\n\r\n" not in buffer:
                    continue
                self.head, buffer = buffer.split(b"\r\n\r\n", 1)
            while b"\n\n" in buffer:
                block, buffer = buffer.split(b"\n\n", 1)
                lines = block.decode().split("\n")
                name = next((l[7:] for l in lines if l.startswith("event: ")), None)
                data = "\n".join(l[6:] for l in lines if l.startswith("data: "))
                if name:
                    self.events.append((time.monotonic(), name, json.loads(data)))
        self.closed = True

    def named(self, name, since=0.0):
        return [(t, d) for t, n, d in list(self.events) if n == name and t >= since]

    def leave(self):
        self.sock.close()
        self.thread.join(5)


def captures(peer, start=0.0, end=float("inf")):
    return [t for t, code in peer.requests() if code == START_SCREEN and start <= t <= end]


def largest_poll_gap(peer):
    polls = [t for t, code in peer.requests() if code == STATUS_REQUEST]
    assert len(polls) >= 2, polls
    return max(b - a for a, b in zip(polls, polls[1:])), len(polls)


def one_viewer_then_two(served, peer):
    time.sleep(3)
    assert not captures(peer), "a screen was asked for with nobody watching: %s" % captures(peer)

    first = LiveViewer(served)
    hello = until("the live stream's greeting", lambda: first.named("live"), 10)
    assert first.head.startswith(b"HTTP/1.1 200") and b"text/event-stream" in first.head, first.head
    assert hello[0][1]["interval"] == INTERVAL, hello
    t0 = time.monotonic()
    time.sleep(10)
    frames = first.named("frame", t0)
    assert len(frames) >= 4, "%d frames in 10 s: %s" % (len(frames), frames)
    numbers = [d["frame"] for _, d in frames]
    assert numbers == sorted(set(numbers)), numbers
    last = frames[-1][1]
    assert last["url"] == "/api/screen.png?frame=%d" % last["frame"] and last["time"], last
    status, png = served.request("GET", last["url"])
    assert status == 200 and png.startswith(b"\x89PNG"), (status, png[:8])

    # A second viewer: the same frames, and still one screen transfer each.
    second = LiveViewer(served)
    until("the second viewer's greeting", lambda: second.named("live"), 10)
    t1 = time.monotonic()
    time.sleep(6)
    t2 = time.monotonic()
    a = [d["frame"] for _, d in first.named("frame", t1)]
    b = [d["frame"] for _, d in second.named("frame", t1)]
    assert len(b) >= 2 and set(b) <= set(a) and len(set(a) - set(b)) <= 1, (a, b)
    sent = captures(peer, t1, t2)
    assert len(sent) <= len(a) + 1, "%d screen requests for %d frames with two viewers" % (len(sent), len(a))
    second.leave()
    return first, len(frames)


def reasons_instead_of_pictures(served, peer, viewer):
    """The picture page and a lost signal: the reason comes instead of a picture, and nothing is asked for."""
    for make, undo, words in ((lambda: served.request("POST", "/api/press/PICTURE", served.token),
                               lambda: served.request("POST", "/api/press/WFM", served.token), "picture page"),
                              (lambda: peer.send("signal 0"), lambda: peer.send("signal 1"), "no input signal")):
        since = time.monotonic()
        make()
        got = until("the reason (%s)" % words, lambda: viewer.named("unavailable", since), 10)
        assert words in got[0][1]["reason"] and got[0][1]["kind"] == "not-offered", got
        quiet_from = time.monotonic()
        time.sleep(2 * INTERVAL)
        assert not captures(peer, quiet_from), "screen requests while %s: %s" % (words, captures(peer, quiet_from))
        since = time.monotonic()
        undo()
        until("frames again after %s" % words, lambda: viewer.named("frame", since), 10)


def nobody_left(peer, viewer):
    viewer.leave()
    left = time.monotonic()
    time.sleep(10 + INTERVAL)
    late = captures(peer, left + INTERVAL)
    assert not late, "screen requests %s s after the last viewer left" % [round(t - left, 2) for t in late]
    return left



def page_switch(served, peer, shots):
    from selenium.webdriver.common.by import By
    from selenium.webdriver.support.ui import WebDriverWait
    driver = browser()
    try:
        driver.get(served.url)
        wait = WebDriverWait(driver, 15)
        wait.until(lambda d: d.find_element(By.ID, "panel").get_attribute("data-version"))
        driver.find_element(By.CSS_SELECTOR, "label.live-switch").click()
        shown = lambda d: d.find_element(By.ID, "live-screen").get_attribute("data-frame")
        first = int(wait.until(shown))
        wait.until(lambda d: int(shown(d)) > first)  # and the next one replaces it
        image = driver.find_element(By.ID, "live-screen")
        assert image.is_displayed(), "the live picture is not shown"
        assert not driver.find_element(By.ID, "screen").is_displayed(), "the last capture is shown beside it"
        assert "live, every 2 s" in driver.find_element(By.ID, "live-time").text
        if shots:
            driver.save_screenshot(os.path.join(shots, "web-live-on.png"))

        served.request("POST", "/api/press/PICTURE", served.token)
        reason = driver.find_element(By.ID, "live-reason")
        wait.until(lambda d: reason.is_displayed() and "picture page" in reason.text)
        assert not image.is_displayed(), "a stale picture under the reason"
        if shots:
            driver.save_screenshot(os.path.join(shots, "web-live-picture-page.png"))
        served.request("POST", "/api/press/WFM", served.token)
        wait.until(lambda d: image.is_displayed() and not reason.is_displayed())

        driver.find_element(By.CSS_SELECTOR, "label.live-switch").click()
        off = time.monotonic()
        wait.until(lambda d: not image.is_displayed())
        time.sleep(INTERVAL + 4)
        late = captures(peer, off + INTERVAL)
        assert not late, "screen requests after the switch went off: %s" % [round(t - off, 2) for t in late]
    finally:
        driver.quit()


def slow_link(program, tmp):
    """The simulated instrument on a 1 MB/s link, copied every second: frames come and the poll keeps its beat."""
    served = Served(program, "sim:2:1000000", tmp, name="slow", extra=["--live-interval", "1"])
    try:
        served.wait_until_polled()
        before = served.metrics()
        viewer = LiveViewer(served)
        until("the live stream's greeting", lambda: viewer.named("live"), 10)
        t0 = time.monotonic()
        time.sleep(8)
        frames = viewer.named("frame", t0)
        viewer.leave()
        after = served.metrics()
        assert len(frames) >= 4, "%d frames in 8 s at 1 s over the slow link" % len(frames)
        late = after["qv7700_poll_ticks_late_total"] - before["qv7700_poll_ticks_late_total"]
        polls = after["qv7700_polls_total"] - before["qv7700_polls_total"]
        assert late == 0, "%d poll ticks late while live" % late
        assert polls >= 6, "%d polls in about 8 s while live" % polls
    finally:
        served.stop()
    assert served.exited_cleanly(), (served.proc.returncode, served.lines[-5:])
    return len(frames), polls


def main(program, peer_program, shots):
    with tempfile.TemporaryDirectory() as tmp:
        peer = PtyPeer(peer_program, tmp, env={"QV_PTY_SECONDS": "240"})
        served = Served(program, "serial:" + peer.path, tmp, extra=["--live-interval", str(INTERVAL)])
        try:
            served.wait_until_polled()
            viewer, frames = one_viewer_then_two(served, peer)
            reasons_instead_of_pictures(served, peer, viewer)
            nobody_left(peer, viewer)
            page_switch(served, peer, shots)
            gap, polls = largest_poll_gap(peer)
            assert gap <= 2.5, "%.2f s between two polls" % gap
        finally:
            served.stop()
            peer.stop()
        assert served.exited_cleanly(), (served.proc.returncode, served.lines[-5:])
        slow_frames, slow_polls = slow_link(program, tmp)
    print("live: %d frames in 10 s to one viewer, one transfer per frame with two, reasons for the picture page "
          "and no signal, no screen request once nobody watched; page switch shown; %d polls, largest gap %.2f s; "
          "slow link: %d frames and %d polls in 8 s, none late" % (frames, polls, gap, slow_frames, slow_polls))


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2], sys.argv[3] if len(sys.argv) > 3 else None)
