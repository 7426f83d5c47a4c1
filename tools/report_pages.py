"""Regenerates docs/watch-report-N.png: a few minutes of watching an instrument played on a pseudo-terminal, with
a gamut flicker, a lost signal, a logged error, an acknowledgement, a watch killed and started again a minute
later, then the PDF report of that stretch, its pages as PNG (poppler's pdftoppm).

  python3 tools/report_pages.py [BUILD_DIR]"""

import datetime
import glob
import json
import os
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "web"))
from qvserve import PtyPeer, Served, stop_process  # noqa: E402

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")


def watch(program, peer, tmp, watch_dir, script):
    served = Served(program, "serial:" + peer.path, tmp, extra=["--watch", watch_dir, "--log-every", "0.1"])
    served.wait_until_polled()
    for step in script:
        if isinstance(step, (int, float)):
            time.sleep(step)
        elif callable(step):
            step(served)
        else:
            peer.send(step)
    return served


def acknowledge(served):
    alarms = json.loads(served.request("GET", "/api/alarms")[1])
    gamut = [a for a in alarms if a["name"] == "gamut"][0]
    body = {"operator": "Ana (MCR)", "comment": "test signal out of gamut, feed checked"}
    served.request("POST", "/api/alarms/%s/ack" % gamut["id"], token=served.token, body=json.dumps(body))


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build")
    program, peer_program = os.path.join(build, "qv7700-remote"), os.path.join(build, "tests", "qv_pty_instrument")
    os.environ["QV_PTY_SECONDS"] = "600"  # the instrument outlives the watch's restart
    with tempfile.TemporaryDirectory() as tmp:
        peer = PtyPeer(peer_program, tmp)
        watch_dir = os.path.join(tmp, "watch")
        begin = time.time() - 30
        flicker = [f for n in range(10) for f in ("gamut %d 0" % (n % 2), 1)]
        served = watch(program, peer, tmp, watch_dir, [5, *flicker, "gamut 0 0", 8, acknowledge, "signal 0", 6,
                                                       "signal 1", 8, "log 12/07 10:00:00 REF UNLOCKED", 20,
                                                       "gamut 1 0", 6])
        served.proc.send_signal(signal.SIGKILL)  # the watch dies with the gamut alarm raised
        served.proc.wait(5)
        time.sleep(60)
        served = watch(program, peer, tmp, watch_dir, ["gamut 0 0", 10])
        stop_process(served.proc, 10)
        peer.stop()
        end = time.time() + 30
        stamp = lambda t: datetime.datetime.fromtimestamp(t).astimezone().isoformat(timespec="seconds")
        pdf = os.path.join(tmp, "report.pdf")
        subprocess.run([program, "--report", watch_dir, "--from", stamp(begin), "--to", stamp(end), "--output", pdf],
                       check=True, env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))
        for old in glob.glob(os.path.join(ROOT, "docs", "watch-report-*.png")):
            os.remove(old)
        subprocess.run(["pdftoppm", "-r", "70", "-png", "-l", "3", pdf, os.path.join(ROOT, "docs", "watch-report")],
                       check=True)
        print("\n".join(sorted(glob.glob(os.path.join(ROOT, "docs", "watch-report-*.png")))))


if __name__ == "__main__":
    main()
