"""What the network says is what the instrument did, over real sockets and a pseudo-terminal instrument.

  truthful_check.py PROGRAM PTY_PEER

Checks: with no instrument, a key press is answered 503 with the kind "absent" and the status claims no lit key,
lamp or caption; with keys pressed through the API every 0.5 s for 20 s, the instrument still receives a status
request at least every two seconds (9 or more), the metrics count those polls, the status stays fresh, and the
watch running beside the server journals the instrument's status changes meanwhile."""

import json
import os
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(__file__))
from qvserve import PtyPeer, Served, journal  # noqa: E402

STATUS_REQUEST = "B6 F0"


def status_requests(peer):
    return " ".join(peer.sent().split()).count(STATUS_REQUEST)


def absent(program, tmp):
    served = Served(program, "serial:" + os.path.join(tmp, "no-such-tty"), tmp, name="absent")
    try:
        code, body = served.request("POST", "/api/press/VECT", token=served.token)
        answer = json.loads(body)
        assert code == 503 and answer["kind"] == "absent" and answer["error"], (code, answer)
        status = json.loads(served.request("GET", "/api/status")[1])
        assert status["present"] is False, status
        assert status["lit_keys"] == [] and status["lamps"] is None and status["soft_keys"] is None, status
        assert status["mode"] == {"code": None, "key": None}, status
    finally:
        served.stop()


def keys_do_not_starve_the_poll(program, peer_program, tmp):
    peer = PtyPeer(peer_program, tmp)
    watch_dir = os.path.join(tmp, "watch")
    served = Served(program, "serial:" + peer.path, tmp, extra=["--watch", watch_dir, "--log-every", "0"])
    try:
        served.wait_until_polled()
        before, polls_before = status_requests(peer), served.metrics()["qv7700_polls_total"]
        start = time.monotonic()
        for n in range(40):
            code, body = served.request("POST", "/api/press/VECT", token=served.token)
            assert code == 200, (code, body)
            time.sleep(max(0.0, start + 0.5 * (n + 1) - time.monotonic()))
        requests = status_requests(peer) - before
        polls = served.metrics()["qv7700_polls_total"] - polls_before
        assert requests >= 9, "only %d status requests in 20 s of key presses" % requests
        assert polls >= 9, "the metrics counted %d polls" % polls
        status = json.loads(served.request("GET", "/api/status")[1])
        assert status["present"] and status["mode"]["key"] == "VECT", status
        metrics = served.metrics()
        # Every lamp in every colour, exactly one of the four marked: no series comes and goes with a colour.
        for lamp, colour in status["lamps"].items():
            marks = {c: metrics['qv7700_lamp{lamp="%s",colour="%s"}' % (lamp, c)] for c in ("off", "blue", "green", "red")}
            assert marks == {c: float(c == colour) for c in marks}, (lamp, marks, colour)
        # The simulated vectorscope's GAMUT+ flickers red in a poll now and then: every such poll is counted.
        assert metrics['qv7700_lamp_red_polls_total{lamp="gamut-plus"}'] >= 1, metrics
        assert 0 <= status["age_ms"] < 2500, status
    finally:
        served.stop()
        peer.stop()
    changes = [l["status"] for l in journal(watch_dir) if l["event"] == "status"]
    vect = [s for s in changes if s["mode"]["key"] == "VECT"]
    # The simulated vectorscope page flickers its GAMUT+ lamp now and then: seen only if the poll kept going.
    assert any(s["lamps"]["gamut-plus"] == "red" for s in vect), changes
    assert any(s["lamps"]["gamut-plus"] == "off" for s in vect), changes


def main(program, peer_program):
    with tempfile.TemporaryDirectory() as tmp:
        absent(program, tmp)
        keys_do_not_starve_the_poll(program, peer_program, tmp)
    print("truthful_check: 2 passed, 0 failed")


if __name__ == "__main__":
    main(*sys.argv[1:3])
