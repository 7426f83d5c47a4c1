"""Alarms a plant can live with, over a pseudo-terminal instrument and the real HTTP API.

  alarms_check.py PROGRAM PTY_PEER

Checks: a GAMUT lamp flickering red every other poll for 15 s is one episode and at most 3 hook runs; the episode
is listed with its id by GET /api/alarms and acknowledged by POST /api/alarms/ID/ack (the operator and the comment
from the body, the viewer's address, journaled once); a second acknowledgement is 409, an unknown id 404, one
without the token 401, a body that is not the right JSON 400. Across restarts: an alarm held through a stop and a
kill -9 raises nothing new (the start line tells how the last watch ended), and clears within 8 s once its
condition is gone, with its hook."""

import json
import os
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(__file__))
from qvserve import PtyPeer, Served, journal, until  # noqa: E402

POLL_MS = 250


def events(watch_dir, event, **fields):
    return [l for l in journal(watch_dir) if l["event"] == event and all(l.get(k) == v for k, v in fields.items())]


def restarts(program, peer_program, tmp):
    peer = PtyPeer(peer_program, tmp)
    watch_dir, hooks = os.path.join(tmp, "restarts"), os.path.join(tmp, "restart-hooks.txt")

    def run(n):
        served = Served(program, "serial:" + peer.path, tmp, name="run%d" % n, env={"QV7700_POLL_MS": str(POLL_MS)},
                        extra=["--watch", watch_dir, "--log-every", "0",
                               "--alarm-hook", "/bin/sh -c 'echo $QV_ALARM $QV_STATE >> %s'" % hooks])
        served.wait_until_polled()
        return served

    raised = lambda: len(events(watch_dir, "alarm", name="gamut", state="raised"))  # noqa: E731
    try:
        served = run(1)
        peer.send("gamut 1 0")
        until("gamut raised", lambda: raised() == 1, 10)
        assert served.stop() == 0 or served.exited_cleanly(), served.lines
        served = run(2)
        time.sleep(3)
        assert raised() == 1 and events(watch_dir, "start")[-1]["previous_end"] == "stop", journal(watch_dir)[-5:]
        served.proc.kill()
        served.proc.wait(10)
        served = run(3)
        time.sleep(3)
        assert raised() == 1 and events(watch_dir, "start")[-1]["previous_end"] == "crash", journal(watch_dir)[-5:]
        peer.send("gamut 0 0")
        gone = time.monotonic()
        until("gamut cleared", lambda: events(watch_dir, "alarm", name="gamut", state="cleared"), 8)
        cleared = time.monotonic()
        assert served.stop() == 0 or served.exited_cleanly(), served.lines
        with open(hooks) as f:
            assert f.read().split("\n")[-2:] == ["gamut cleared", ""], "the cleared hook did not run"
    finally:
        peer.stop()
    return cleared - gone


def main():
    program, peer_program = sys.argv[1:3]
    with tempfile.TemporaryDirectory() as tmp:
        peer = PtyPeer(peer_program, tmp)
        watch_dir, hooks = os.path.join(tmp, "watch"), os.path.join(tmp, "hooks.txt")
        served = Served(program, "serial:" + peer.path, tmp, env={"QV7700_POLL_MS": str(POLL_MS)}, extra=[
            "--watch", watch_dir, "--log-every", "0",
            "--alarm-hook", "/bin/sh -c 'echo $QV_ALARM $QV_STATE >> %s'" % hooks])
        try:
            served.wait_until_polled()
            # Red every other poll for 15 s, then quiet until the clear hold has passed.
            for n in range(int(15000 / POLL_MS)):
                peer.send("gamut %d 0" % (n % 2))
                time.sleep(POLL_MS / 1000)
            peer.send("gamut 0 0")
            time.sleep(7)
            alarms = json.loads(served.request("GET", "/api/alarms")[1])
            gamut = [a for a in alarms if a["name"] == "gamut"]
            assert len(gamut) == 1 and not gamut[0]["active"], alarms
            with open(hooks) as f:
                runs = f.read().split("\n")
            assert 1 <= len([r for r in runs if r]) <= 3, runs

            path = "/api/alarms/%s/ack" % gamut[0]["id"]
            body = {"operator": "Ana (MCR)", "comment": "lamp flicker on the test signal"}
            assert served.request("POST", path, body=json.dumps(body))[0] == 401
            assert served.request("POST", path, token=served.token, body="{not json")[0] == 400
            assert served.request("POST", path, token=served.token, body='{"operator": 7}')[0] == 400
            assert served.request("POST", "/api/alarms/gamut-1/ack", token=served.token, body="{}")[0] == 404
            code, answer = served.request("POST", path, token=served.token, body=json.dumps(body))
            assert code == 200 and json.loads(answer)["id"] == gamut[0]["id"], (code, answer)
            assert served.request("POST", path, token=served.token, body=json.dumps(body))[0] == 409
            listed = [a for a in json.loads(served.request("GET", "/api/alarms")[1]) if a["id"] == gamut[0]["id"]]
            assert listed[0]["acknowledged_by"] == "Ana (MCR)" and listed[0]["comment"] == body["comment"], listed
            acks = [l for l in journal(watch_dir) if l.get("state") == "acknowledged"]
            assert len(acks) == 1 and acks[0]["by"] == "Ana (MCR)" and acks[0]["from"] == "127.0.0.1", acks
        finally:
            code = served.stop()
            peer.stop()
        assert code == 0 or served.exited_cleanly(), served.lines
        took = restarts(program, peer_program, tmp)
    print("alarms: across a stop and a kill -9 one episode, cleared %.1f s after its condition went" % took)
    print("alarms: a flicker is one episode (%d hook runs); acknowledged over HTTP with who, where and why" %
          len([r for r in runs if r]))


if __name__ == "__main__":
    main()
