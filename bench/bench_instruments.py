"""Four instruments in one program: the simulated instrument over a slow link (sim:2:1000000, a 2 ms converter
latency and 1 MB/s), polled together while screens are captured from the first one back to back. Prints, per
instrument, the poll period and how late the polls came, and the CPU and memory of the process.

  bench_instruments.py PROGRAM [SECONDS]

Each poll's own time is read from GET /api/instruments (the time of the reply the poll read), sampled every
50 ms, so the spacing is the program's, not the sampling's."""

import json
import os
import re
import statistics
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "web"))
from qvserve import Served  # noqa: E402

DEVICE = "sim:2:1000000"
N = 4
MEMORY_TARGET_MB = 120


def iso_seconds(text):
    # 2026-06-12T10:11:12.345+02:00: seconds within the day are enough for spacings under a minute
    m = re.match(r".*T(\d\d):(\d\d):(\d\d\.\d+)", text)
    return int(m.group(1)) * 3600 + int(m.group(2)) * 60 + float(m.group(3))


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def memory_kib(pid):
    with open("/proc/%d/status" % pid) as f:
        text = f.read()
    return (int(re.search(r"VmRSS:\s+(\d+)", text).group(1)), int(re.search(r"VmHWM:\s+(\d+)", text).group(1)))


def main(program, seconds="20"):
    seconds = float(seconds)
    with tempfile.TemporaryDirectory() as tmp:
        served = Served(program, [DEVICE] * N, tmp)
        try:
            ids = ["dev%d" % (i + 1) for i in range(N)]
            time.sleep(2)  # every instrument polled once
            captures, stop = [], threading.Event()

            def capture_loop():
                while not stop.is_set():
                    start = time.monotonic()
                    status, _ = served.request("POST", "/i/dev1/api/capture", token=served.token, timeout=60)
                    captures.append((status, time.monotonic() - start))

            polls = {i: [] for i in ids}
            cpu0, t0 = cpu_seconds(served.proc.pid), time.monotonic()
            worker = threading.Thread(target=capture_loop)
            worker.start()
            while time.monotonic() - t0 < seconds:
                for inst in json.loads(served.request("GET", "/api/instruments")[1]):
                    if inst["time"] and (not polls[inst["id"]] or polls[inst["id"]][-1] != inst["time"]):
                        polls[inst["id"]].append(inst["time"])
                time.sleep(0.05)
            stop.set()
            worker.join(60)
            cpu = (cpu_seconds(served.proc.pid) - cpu0) / (time.monotonic() - t0)
            rss, hwm = memory_kib(served.proc.pid)
            metrics = served.request("GET", "/metrics")[1].decode()
        finally:
            served.stop()

    print("\nfour instruments on %s, screens captured from dev1 back to back, %.0f s" % (DEVICE, seconds))
    ok = [d for s, d in captures if s == 200]
    print("captures from dev1: %d, %.2f s each (mean)" % (len(ok), statistics.mean(ok) if ok else float("nan")))
    print("%-8s %8s %12s %12s %12s %10s" % ("instr.", "polls", "period mean", "period max", "late max", "late ticks"))
    for i in ids:
        times = [iso_seconds(t) for t in polls[i]]
        gaps = [b - a for a, b in zip(times, times[1:])]
        late = re.search(r'qv7700_poll_ticks_late_total\{instrument="%s"\} (\d+)' % i, metrics)
        print("%-8s %8d %10.3f s %10.3f s %10.3f s %10s" % (
            i, len(times), statistics.mean(gaps), max(gaps), max(0.0, max(gaps) - 1.0), late.group(1) if late else "?"))
    print("(dev1's list has the poll each capture makes first, so its spacing is shorter)")
    print("CPU of the process: %.1f %% of one core" % (cpu * 100))
    print("memory: %.1f MB resident now, %.1f MB at most (target < %d MB)" % (rss / 1024, hwm / 1024, MEMORY_TARGET_MB))


if __name__ == "__main__":
    main(*sys.argv[1:])
