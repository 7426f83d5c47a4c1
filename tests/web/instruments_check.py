"""Several instruments in one --serve program, each played by its own process on a pseudo-terminal.

  instruments_check.py PROGRAM PTY_PEER [SCREENSHOT_DIR]

Two, then four instruments: /api/instruments lists each by id; a key posted to /i/ID/api/press/VECT reaches only
that instrument; a capture on one while the others are polled leaves no gap in their polls (seen from the
instruments' side); the top-level /api/status answers 409 with the ids; /metrics carries each instrument's series
once with its label; one unplugged shows absent while the others carry on. The overview page in headless Chromium:
a tile per instrument, a click opens that instrument's panel; screenshots at desktop and phone width."""

import http.client
import json
import os
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(__file__))
from qvserve import PtyPeer, Served, journal, until  # noqa: E402

VECT = "8B F0"
SLOW_LINK = 60000  # bytes per second: a screen takes several seconds
POLL_GAP_LIMIT_S = 2.5  # the poll is once a second; a transfer on another instrument must not hold it up


def instruments(served):
    status, body = served.request("GET", "/api/instruments")
    assert status == 200, (status, body)
    return {i["id"]: i for i in json.loads(body)}


def peers_for(peer_program, tmp, n):
    """n instruments, each behind a link that can be unplugged; the first on a slow converter, so that its screen
    transfer takes seconds."""
    peers = []
    for i in range(n):
        work = os.path.join(tmp, "peer%d" % (i + 1))
        os.mkdir(work)
        env = {"QV_PTY_BYTES_PER_SECOND": str(SLOW_LINK)} if i == 0 else None
        peers.append(PtyPeer(peer_program, work, link=os.path.join(work, "tty"), env=env))
    return peers


def largest_gap(times, start, end):
    inside = [t for t in times if start <= t <= end]
    assert len(inside) >= 2, (start, end, times)
    return max(b - a for a, b in zip(inside, inside[1:]))


def check_several(program, peer_program, n, shots=None):
    with tempfile.TemporaryDirectory() as tmp:
        peers = peers_for(peer_program, tmp, n)
        ids = ["dev%d" % (i + 1) for i in range(n)]
        served = Served(program, ["serial:" + p.path for p in peers], tmp)
        try:
            # Each instrument listed, present, by its id and device.
            listed = until("every instrument present", lambda: (lambda l: l if all(
                l.get(i, {}).get("present") for i in ids) else None)(instruments(served)), 20)
            assert sorted(listed) == ids, listed
            for i, p in zip(ids, peers):
                assert listed[i]["device"] == "serial:" + p.path, listed[i]
                assert listed[i]["url"] == "i/%s/" % i, listed[i]

            # The top-level paths of one instrument: which one is meant cannot be guessed.
            status, body = served.request("GET", "/api/status")
            assert status == 409, (status, body)
            assert json.loads(body)["instruments"] == ids, body
            status, body = served.request("POST", "/api/press/VECT", token=served.token)
            assert status == 409, (status, body)
            # Each instrument's own API under its prefix.
            for i in ids:
                status, body = served.request("GET", "/i/%s/api/status" % i)
                assert status == 200 and json.loads(body)["present"], (i, status, body)
            assert served.request("GET", "/i/nosuch/api/status")[0] == 404

            # A key to one instrument reaches that one only; without the token, none.
            before = [len(p.sent()) for p in peers]
            assert served.request("POST", "/i/%s/api/press/VECT" % ids[-1])[0] == 401
            status, body = served.request("POST", "/i/%s/api/press/VECT" % ids[-1], token=served.token)
            assert status == 200, (status, body)
            for p, b, i in zip(peers, before, ids):
                got = p.sent()[b:]
                assert (VECT in got) == (i == ids[-1]), (i, got)

            # /metrics: one family head, one series per instrument, process series once without the label.
            status, body = served.request("GET", "/metrics")
            text = body.decode()
            assert text.count("# TYPE qv7700_up gauge") == 1, text
            for i in ids:
                assert 'qv7700_up{instrument="%s"} 1' % i in text, (i, text)
            assert text.count("\nprocess_start_time_seconds ") == 1, text
            assert "qv7700_build_info{version=" in text and 'qv7700_build_info{instrument=' not in text, text

            # A capture on the first instrument (seconds long over its slow link) while the others are polled: no
            # poll of theirs comes late.
            start = time.monotonic()
            status, body = served.request("POST", "/i/%s/api/capture" % ids[0], token=served.token, timeout=120)
            end = time.monotonic()
            assert status == 200, (status, body)
            assert json.loads(body)["url"] == "/i/%s/api/screen.png" % ids[0], body
            assert served.request("GET", "/i/%s/api/screen.png" % ids[0])[0] == 200
            assert served.request("GET", "/i/%s/api/screen.png" % ids[1])[0] == 404
            time.sleep(1.5)  # the polls just after the capture too
            for p, i in zip(peers[1:], ids[1:]):
                gap = largest_gap(p.polls(), start - 1, end + 1.5)
                assert gap <= POLL_GAP_LIMIT_S, (i, gap, end - start)
            print("%d instruments: capture on %s took %.1f s; largest poll gap on the others %.2f s" % (
                n, ids[0], end - start, max(largest_gap(p.polls(), start - 1, end + 1.5) for p in peers[1:])))
            assert instruments(served)[ids[0]]["screen"].startswith("i/%s/api/screen.png?v=" % ids[0])

            # The live screen of the last instrument: its tile says live while a viewer holds the stream, its frames
            # come to that viewer, and the live screen goes off with the viewer.
            conn = http.client.HTTPConnection(served.host, served.port, timeout=30)
            conn.request("GET", "/i/%s/api/live" % ids[-1])
            stream = conn.getresponse()
            assert stream.status == 200, stream.status
            until("%s live" % ids[-1], lambda: [i for i, v in instruments(served).items() if v["live"]] == [ids[-1]], 5)
            until("a frame of %s" % ids[-1], lambda: (lambda l: l if l.startswith(b"event: frame") else None)(
                stream.readline()), 30)
            data = json.loads(stream.readline().decode().split("data: ", 1)[1])
            assert data["url"].startswith("/api/screen.png?frame="), data  # relative to the instrument's prefix
            assert served.request("GET", "/i/%s%s" % (ids[-1], data["url"]))[0] == 200
            stream.close()  # the response holds the socket too
            conn.close()
            until("%s no longer live" % ids[-1], lambda: not any(v["live"] for v in instruments(served).values()), 5)

            if shots:
                overview(served, ids, shots)

            # One unplugged: absent within 5 s; the others carry on polling.
            peers[0].send("unplug")
            until("%s absent" % ids[0], lambda: not instruments(served)[ids[0]]["present"], 5)
            polls = {i: instruments(served)[i]["polls"] for i in ids[1:]}
            until("the others polled on", lambda: all(
                instruments(served)[i]["polls"] >= polls[i] + 2 and instruments(served)[i]["present"] for i in ids[1:]), 10)
            peers[0].send("plug")
            until("%s back" % ids[0], lambda: instruments(served)[ids[0]]["present"], 10)
            # Stopped while an instrument is away: its thread waits out an absence pause, and the stop must end
            # that wait before anything of the instrument is deleted (a clean exit below).
            peers[0].send("unplug")
            until("%s absent again" % ids[0], lambda: not instruments(served)[ids[0]]["present"], 5)
        finally:
            served.stop()
            for p in peers:
                p.stop()
        assert served.exited_cleanly(), (served.proc.returncode, served.lines[-20:])


def overview(served, ids, shots):
    """The overview in headless Chromium: a tile per instrument; a click opens its own panel page."""
    from selenium.webdriver.common.by import By
    from selenium.webdriver.support.ui import WebDriverWait
    from qvserve import browser
    driver = browser()
    try:
        driver.get(served.url)
        wait = WebDriverWait(driver, 10)
        wait.until(lambda d: len(d.find_elements(By.CSS_SELECTOR, "a.tile")) == len(ids))
        tiles = driver.find_elements(By.CSS_SELECTOR, "a.tile")
        assert [t.get_attribute("data-id") for t in tiles] == ids, [t.get_attribute("data-id") for t in tiles]
        wait.until(lambda d: d.find_element(By.CSS_SELECTOR, 'a.tile[data-id="%s"] img.thumb' % ids[0])
                   .get_attribute("hidden") is None)
        os.makedirs(shots, exist_ok=True)
        driver.save_screenshot(os.path.join(shots, "overview-desktop.png"))
        driver.set_window_size(400, 1400)
        time.sleep(1)
        driver.save_screenshot(os.path.join(shots, "overview-phone.png"))
        width = driver.execute_script("return document.documentElement.scrollWidth")
        assert width <= 400, width
        driver.set_window_size(1280, 1000)
        driver.find_element(By.CSS_SELECTOR, 'a.tile[data-id="%s"]' % ids[1]).click()
        wait.until(lambda d: d.current_url.endswith("/i/%s/" % ids[1]))
        # The panel page under the prefix: its live stream is this instrument's.
        wait.until(lambda d: d.find_element(By.ID, "panel").get_attribute("data-version"))
        assert driver.find_element(By.ID, "overview").is_displayed()
        assert "answers" in driver.find_element(By.ID, "link").text, driver.find_element(By.ID, "link").text
    finally:
        driver.quit()


def check_one(program, peer_program):
    """One instrument: no overview, today's paths."""
    with tempfile.TemporaryDirectory() as tmp:
        peer = PtyPeer(peer_program, tmp)
        served = Served(program, "serial:" + peer.path, tmp)
        try:
            served.wait_until_polled()
            assert served.request("GET", "/api/status")[0] == 200
            assert served.request("GET", "/api/instruments")[0] == 404
            assert b'id="panel"' in served.request("GET", "/")[1]
        finally:
            served.stop()
            peer.stop()


def check_watch(program, peer_program):
    """--watch beside --serve over two instruments: a folder each, the alarm of one journaled, hooked (with
    QV_INSTRUMENT) and served as that one's only."""
    with tempfile.TemporaryDirectory() as tmp:
        peers = peers_for(peer_program, tmp, 2)
        watch_dir, hooks = os.path.join(tmp, "watch"), os.path.join(tmp, "hooks.txt")
        served = Served(program, ["serial:" + p.path for p in peers], tmp, env={"QV7700_POLL_MS": "250"},
                        extra=["--watch", watch_dir, "--log-every", "0", "--alarm-hook",
                               "/bin/sh -c 'echo $QV_INSTRUMENT $QV_ALARM $QV_STATE >> %s'" % hooks])
        try:
            until("both present", lambda: all(i["present"] for i in instruments(served).values()), 20)
            peers[1].send("gamut 1 0")
            until("gamut raised on dev2", lambda: os.path.exists(hooks) and "dev2 gamut raised" in open(hooks).read(), 15)
            assert instruments(served)["dev2"]["alarms"] == ["gamut"], instruments(served)
            assert instruments(served)["dev1"]["alarms"] == [], instruments(served)
            raised = lambda d: [l for l in journal(os.path.join(watch_dir, d))  # noqa: E731
                                if l["event"] == "alarm" and l.get("state") == "raised"]
            assert [l["name"] for l in raised("dev2")] == ["gamut"], raised("dev2")
            assert raised("dev1") == [], raised("dev1")
            assert any(l["event"] == "start" for l in journal(os.path.join(watch_dir, "dev1")))
            text = served.request("GET", "/metrics")[1].decode()
            assert 'qv7700_alarm_active{instrument="dev2",alarm="gamut"} 1' in text, text
            status, body = served.request("GET", "/i/dev2/api/alarms")
            assert [a["name"] for a in json.loads(body) if a["active"]] == ["gamut"], body
            with open(hooks) as f:
                assert f.read().split("\n") == ["dev2 gamut raised", ""]
        finally:
            served.stop()
            for p in peers:
                p.stop()
        assert served.exited_cleanly(), (served.proc.returncode, served.lines[-20:])
        assert any(l["event"] == "stop" for l in journal(os.path.join(watch_dir, "dev2"))), "dev2's journal not closed"


def main(program, peer_program, shots=None):
    check_one(program, peer_program)
    check_watch(program, peer_program)
    check_several(program, peer_program, 2)
    check_several(program, peer_program, 4, shots or tempfile.mkdtemp(prefix="qv-overview-"))
    print("ok")


if __name__ == "__main__":
    main(*sys.argv[1:])
