"""The watch as a systemd service, without systemd: its notifications on a NOTIFY_SOCKET of the test's own, and
its standard error as the journal's stream (JOURNAL_STREAM naming the file it writes to).

  notify_check.py PROGRAM PTY_PEER

Checks: READY=1 once it watches, WATCHDOG=1 at the pace WATCHDOG_USEC asks, STATUS= with what it sees (an alarm
raised shows), STOPPING=1 at SIGTERM; alarms and notices on standard error with their sd-daemon priority."""

import os
import signal
import socket
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "web"))
from qvserve import PtyPeer  # noqa: E402


def main():
    program, peer_program = sys.argv[1:3]
    with tempfile.TemporaryDirectory() as tmp:
        sock = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
        sock.bind(os.path.join(tmp, "notify"))
        sock.settimeout(0.5)
        peer = PtyPeer(peer_program, tmp)
        errors_path = os.path.join(tmp, "stderr")
        errors = open(errors_path, "w")
        st = os.fstat(errors.fileno())
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen", NOTIFY_SOCKET=os.path.join(tmp, "notify"),
                   WATCHDOG_USEC="2000000", JOURNAL_STREAM="%d:%d" % (st.st_dev, st.st_ino))
        proc = subprocess.Popen([program, "--device", "serial:" + peer.path, "--watch", os.path.join(tmp, "w"),
                                 "--log-every", "0"], env=env, stdout=subprocess.DEVNULL, stderr=errors)
        got = []
        try:
            def receive(until, limit):
                deadline = time.monotonic() + limit
                while time.monotonic() < deadline:
                    try:
                        got.extend(sock.recv(4096).decode().split("\n"))
                    except socket.timeout:
                        pass
                    if until():
                        return
                if until():
                    return
                raise AssertionError("not within %g s; received %r" % (limit, got))

            receive(lambda: "READY=1" in got and "STATUS=present, no alarm" in got, 15)
            # A ping a second (half of WATCHDOG_USEC): at least four in five seconds.
            start = time.monotonic()
            receive(lambda: time.monotonic() - start > 5, 6)
            pings = got.count("WATCHDOG=1")
            assert pings >= 4, got
            peer.send("gamut 1 0")
            receive(lambda: "STATUS=present, 1 alarm active" in got, 10)
            proc.send_signal(signal.SIGTERM)
            receive(lambda: "STOPPING=1" in got, 10)
            assert proc.wait(15) == 0
        finally:
            if proc.poll() is None:
                proc.kill()
                proc.wait()
            peer.stop()
            errors.close()
        with open(errors_path) as f:
            lines = f.read().splitlines()
        assert "<4>qv7700-remote: alarm gamut raised: GAMUT+ red" in lines, lines
        print("notify: READY, %d watchdog pings in 5 s, STATUS, STOPPING; priorities on standard error" % pings)


if __name__ == "__main__":
    main()
