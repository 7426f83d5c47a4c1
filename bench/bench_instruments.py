"""Four instruments in one program: the simulated instrument over a slow link (sim:2:1000000, a 2 ms converter
latency and 1 MB/s), polled together while screens are captured from the first one back to back, then with two
live viewers on each (a copy a second). Prints, per instrument, the poll period, how late the polls came and the
CPU of its thread, the live frames delivered per second, and the CPU and memory of the process.

  bench_instruments.py PROGRAM [SECONDS]

Each poll's own time is read from GET /api/instruments (the time of the reply the poll read), sampled every
50 ms, so the spacing is the program's, not the sampling's."""

import json
import socket
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


def thread_cpu_seconds(pid):
    """CPU seconds by thread name: each instrument's thread is named qv-ID."""
    out = {}
    for tid in os.listdir("/proc/%d/task" % pid):
        try:
            with open("/proc/%d/task/%s/comm" % (pid, tid)) as f:
                name = f.read().strip()
            with open("/proc/%d/task/%s/stat" % (pid, tid)) as f:
                fields = f.read().rsplit(")", 1)[1].split()
        except OSError:
            continue
        out[name] = out.get(name, 0) + (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")
    return out


class Captures:
    """Screens captured from dev1 back to back."""

    def __init__(self, served):
        self.served, self.done, self.stop = served, [], threading.Event()
        self.worker = threading.Thread(target=self.run)
        self.worker.start()

        self.keys = []  # meanwhile, a key on dev2 twice a second: how long until the instrument had it
        self.presser = threading.Thread(target=self.press)
        self.presser.start()

    def run(self):
        while not self.stop.is_set():
            start = time.monotonic()
            status, _ = self.served.request("POST", "/i/dev1/api/capture", token=self.served.token, timeout=60)
            self.done.append((status, time.monotonic() - start))

    def press(self):
        while not self.stop.wait(0.5):
            start = time.monotonic()
            status, _ = self.served.request("POST", "/i/dev2/api/press/WFM", token=self.served.token, timeout=30)
            if status == 200:
                self.keys.append(time.monotonic() - start)

    def end(self):
        self.stop.set()
        self.worker.join(60)
        self.presser.join(60)
        ok = [d for s, d in self.done if s == 200]
        keys = sorted(self.keys) or [float("nan")]
        return ("captures from dev1: %d, %.2f s each (mean)\n"
                "a key on dev2 meanwhile, until sent: %d keys, %.0f ms median, %.0f ms at most (target < 100 ms)" % (
                    len(ok), statistics.mean(ok) if ok else float("nan"), len(self.keys),
                    statistics.median(keys) * 1000, keys[-1] * 1000))


class LiveViewers:
    """Two viewers on each instrument's live screen, each fetching every frame it is told of, as the page does."""

    def __init__(self, served, ids, per_instrument=2):
        self.served, self.frames = served, {}
        self.socks = []
        for i in ids:
            for v in range(per_instrument):
                sock = socket.create_connection((served.host, served.port), timeout=5)
                sock.sendall(("GET /i/%s/api/live HTTP/1.1\r\nHost: %s:%d\r\n\r\n" % (
                    i, served.host, served.port)).encode())
                self.socks.append(sock)
                self.frames[(i, v)] = 0
                threading.Thread(target=self.read, args=(sock, i, v), daemon=True).start()

    def read(self, sock, instrument, viewer):
        pending = b""
        while True:
            try:
                chunk = sock.recv(65536)
            except OSError:
                return
            if not chunk:
                return
            pending += chunk
            while b"\n\n" in pending:
                event, pending = pending.split(b"\n\n", 1)
                if event.startswith(b"event: frame"):
                    url = json.loads(event.split(b"data: ", 1)[1])["url"]
                    if self.served.request("GET", "/i/%s%s" % (instrument, url))[0] == 200:
                        self.frames[(instrument, viewer)] += 1

    def end(self, seconds):
        for sock in self.socks:
            sock.close()
        per = {}
        for (i, _), n in self.frames.items():
            per.setdefault(i, []).append(n / seconds)
        return "live frames per second to each viewer: " + ", ".join(
            "%s %s" % (i, "/".join("%.2f" % f for f in fps)) for i, fps in sorted(per.items()))


def measure(served, ids, seconds, what, load):
    polls = {i: [] for i in ids}
    cpu0, threads0, t0 = cpu_seconds(served.proc.pid), thread_cpu_seconds(served.proc.pid), time.monotonic()
    running = load()
    while time.monotonic() - t0 < seconds:
        for inst in json.loads(served.request("GET", "/api/instruments")[1]):
            if inst["time"] and (not polls[inst["id"]] or polls[inst["id"]][-1] != inst["time"]):
                polls[inst["id"]].append(inst["time"])
        time.sleep(0.05)
    elapsed = time.monotonic() - t0
    summary = running.end(elapsed) if isinstance(running, LiveViewers) else running.end()
    cpu = (cpu_seconds(served.proc.pid) - cpu0) / elapsed
    threads = thread_cpu_seconds(served.proc.pid)
    rss, hwm = memory_kib(served.proc.pid)
    metrics = served.request("GET", "/metrics")[1].decode()

    print("\nfour instruments on %s, %s, %.0f s" % (DEVICE, what, seconds))
    print(summary)
    print("%-8s %8s %12s %12s %12s %10s %10s" % ("instr.", "polls", "period mean", "period max", "late max",
                                                 "late ticks", "CPU"))
    for i in ids:
        times = [iso_seconds(t) for t in polls[i]]
        gaps = [b - a for a, b in zip(times, times[1:])]
        late = re.search(r'qv7700_poll_ticks_late_total\{instrument="%s"\} (\d+)' % i, metrics)
        thread = "qv-" + i
        print("%-8s %8d %10.3f s %10.3f s %10.3f s %10s %8.1f %%" % (
            i, len(times), statistics.mean(gaps), max(gaps), max(0.0, max(gaps) - 1.0), late.group(1) if late else "?",
            (threads.get(thread, 0) - threads0.get(thread, 0)) / elapsed * 100))
    print("CPU of the process: %.1f %% of one core" % (cpu * 100))
    print("memory: %.1f MB resident now, %.1f MB at most (target < %d MB)" % (rss / 1024, hwm / 1024, MEMORY_TARGET_MB))


def main(program, seconds="20"):
    seconds = float(seconds)
    with tempfile.TemporaryDirectory() as tmp:
        served = Served(program, [DEVICE] * N, tmp, extra=["--live-interval", "1"])
        try:
            ids = ["dev%d" % (i + 1) for i in range(N)]
            time.sleep(2)  # every instrument polled once
            measure(served, ids, seconds, "screens captured from dev1 back to back", lambda: Captures(served))
            print("(dev1's list has the poll each capture makes first, so its spacing is shorter; dev2's polls wait "
                  "for its own keys, as a key postpones the poll by up to a period)")
            measure(served, ids, seconds, "two live viewers on each (a copy every second)",
                    lambda: LiveViewers(served, ids))
        finally:
            served.stop()


if __name__ == "__main__":
    main(*sys.argv[1:])
