"""The watch across a wall clock set back an hour, with libfaketime (Debian's faketime) in front of the real program.

  clock_check.py PROGRAM PTY_PEER

Checks: the step is journaled as a `clock` event of about -3600 s; an instrument unplugged after it still raises
`absent` 5 s later by the monotonic clock (not an hour and 5 s); SIGTERM while it is absent, polled four times a
second, ends the watch cleanly within the stop time (the poll's pause after an absence never nests)."""

import os
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "web"))
from qvserve import PtyPeer, Served, journal, until  # noqa: E402

FAKETIME = "/usr/lib/x86_64-linux-gnu/faketime/libfaketimeMT.so.1"


def main():
    program, peer_program = sys.argv[1:3]
    assert os.path.exists(FAKETIME), "libfaketime is missing (Debian package faketime)"
    with tempfile.TemporaryDirectory() as tmp:
        offset = os.path.join(tmp, "faketime")
        with open(offset, "w") as f:
            f.write("+0\n")
        # Only the wall clock is faked, read afresh on every call; the sanitizers' runtime need not come first.
        env = {"LD_PRELOAD": FAKETIME, "FAKETIME_TIMESTAMP_FILE": offset, "FAKETIME_NO_CACHE": "1",
               "FAKETIME_DONT_FAKE_MONOTONIC": "1", "QV7700_POLL_MS": "250",
               "ASAN_OPTIONS": os.environ.get("ASAN_OPTIONS", "") + ":verify_asan_link_order=0"}
        peer = PtyPeer(peer_program, tmp, link=os.path.join(tmp, "ttyQV"))
        watch_dir = os.path.join(tmp, "watch")
        served = Served(program, "serial:" + peer.path, tmp, env=env,
                        extra=["--watch", watch_dir, "--log-every", "0"])
        try:
            served.wait_until_polled()
            with open(offset, "w") as f:
                f.write("-3600\n")
            step = until("the clock event", lambda: [l for l in journal(watch_dir) if l["event"] == "clock"], 10)
            assert abs(step[0]["step_ms"] + 3600000) < 5000, step
            peer.send("unplug")
            unplugged = time.monotonic()
            until("absent raised", lambda: [l for l in journal(watch_dir) if l["event"] == "alarm" and
                                            l["name"] == "absent" and l["state"] == "raised"], 12)
            took = time.monotonic() - unplugged
            assert 4 <= took <= 9, took
        finally:
            code = served.stop()
            peer.stop()
        assert code == 0 or served.exited_cleanly(), (code, served.lines[-3:])
    print("clock: a step of %d ms journaled; absent raised %.1f s after the unplug" % (step[0]["step_ms"], took))


if __name__ == "__main__":
    main()
