"""Shared by the tests that drive the real program over the network: start it serving on a free loopback port,
talk HTTP to it, stop it. Every wait here is bounded; nothing outlives the test."""

import glob
import http.client
import json
import os
import re
import signal
import subprocess
import threading
import time


def stop_process(proc, within):
    """SIGTERM, then SIGKILL when it has not ended within that many seconds."""
    if proc.poll() is None:
        proc.send_signal(signal.SIGTERM)
        try:
            proc.wait(within)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait(5)


def journal(watch_dir):
    """Every line of a watch's journal files, in order, as objects."""
    lines = []
    for path in sorted(glob.glob(os.path.join(watch_dir, "journal", "*.jsonl"))):
        with open(path) as f:
            lines += [json.loads(l) for l in f if l.strip()]
    return lines


def browser():
    """Headless Chromium through chromedriver (Debian's chromium and chromium-driver), for the page checks."""
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for arg in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                "--window-size=1280,1000", "--no-first-run", "--disable-extensions"):
        options.add_argument(arg)
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)


def until(what, check, limit):
    """check() again and again until it gives something true, which is returned; an AssertionError after limit s."""
    deadline = time.monotonic() + limit
    last = None
    while time.monotonic() < deadline:
        last = check()
        if last:
            return last
        time.sleep(0.2)
    raise AssertionError("%s: not within %g s (last: %r)" % (what, limit, last))


class Served:
    """The program started with --serve 127.0.0.1:0 (any free port); the port it got is read from its output.
    device: one --device, or a list of them for several instruments in the one program."""

    def __init__(self, program, device, workdir, name="qv", extra=(), env=None):
        self.token_path = os.path.join(workdir, name + "-token")
        devices = [] if device is None else device if isinstance(device, (list, tuple)) else [device]
        args = [program, *[a for d in devices for a in ("--device", d)], "--serve", "127.0.0.1:0",
                "--token-file", self.token_path, *extra]
        full_env = dict(os.environ, QT_QPA_PLATFORM="offscreen", **(env or {}))
        self.proc = subprocess.Popen(args, stderr=subprocess.PIPE, stdout=subprocess.DEVNULL, env=full_env, text=True)
        self.lines = []
        ready = threading.Event()

        def read():  # keeps the pipe drained for the whole run
            for line in self.proc.stderr:
                self.lines.append(line.rstrip())
                if "serving http" in line:
                    ready.set()
            ready.set()

        threading.Thread(target=read, daemon=True).start()
        if not ready.wait(30):
            self.stop()
            raise RuntimeError("the program did not start serving: %s" % self.lines)
        found = [re.search(r"serving http://([\d.]+):(\d+)/", l) for l in self.lines]
        found = [m for m in found if m]
        if not found:
            raise RuntimeError("the program did not start serving: %s" % self.lines)
        self.host, self.port = found[0].group(1), int(found[0].group(2))
        self.url = "http://%s:%d/" % (self.host, self.port)
        with open(self.token_path) as f:
            self.token = f.read().strip()

    def request(self, method, path, token=None, headers=None, timeout=30, body=None):
        conn = http.client.HTTPConnection(self.host, self.port, timeout=timeout)
        hdrs = dict(headers or {})
        if token:
            hdrs["Authorization"] = "Bearer " + token
        if body is not None:
            hdrs.setdefault("Content-Type", "application/json")
        conn.request(method, path, body=body, headers=hdrs)
        res = conn.getresponse()
        body = res.read()
        conn.close()
        return res.status, body

    def metrics(self):
        status, body = self.request("GET", "/metrics")
        assert status == 200, status
        values = {}
        for line in body.decode().splitlines():
            if line and not line.startswith("#"):
                name, value = line.rsplit(" ", 1)
                values[name] = float(value)
        return values

    def wait_until_polled(self, limit=20):
        deadline = time.monotonic() + limit
        while time.monotonic() < deadline:
            if self.metrics().get("qv7700_polls_total", 0) >= 1:
                return
            time.sleep(0.2)
        raise RuntimeError("no poll within %d s" % limit)

    def rss_kib(self):
        with open("/proc/%d/status" % self.proc.pid) as f:
            return int(re.search(r"VmRSS:\s+(\d+)", f.read()).group(1))

    def exited_cleanly(self):
        """Exit code 0; or, in the sanitized build, only LeakSanitizer's own exit-time tracer crashing (see
        tests/sanitized_run.sh), with no leak, address or undefined-behaviour report."""
        if self.proc.returncode == 0:
            return True
        text = "\n".join(self.lines)
        return ("Tracer caught signal" in text and "LeakSanitizer has encountered a fatal error" in text and
                "ERROR: LeakSanitizer" not in text and "ERROR: AddressSanitizer" not in text and
                "runtime error:" not in text)

    def stop(self):
        stop_process(self.proc, 15)
        time.sleep(0.1)  # the reader thread takes the last lines
        return self.proc.returncode


class PtyPeer:
    """The instrument played by another process on a pseudo-terminal; it writes every byte it receives to a file,
    and with its time (time.monotonic()) to another."""

    def __init__(self, peer_program, workdir, link=None, env=None):
        """With link, the program is to open that symbolic link, which "unplug" and "plug" remove and make.
        env: more of the peer's environment (QV_PTY_BYTES_PER_SECOND for a slow link)."""
        self.sent_path = os.path.join(workdir, "sent.hex")
        self.timed_path = os.path.join(workdir, "sent-timed.txt")
        open(self.sent_path, "w").close()
        open(self.timed_path, "w").close()
        self.proc = subprocess.Popen([peer_program, *([link] if link else [])], stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE, text=True,
                                     env=dict(os.environ, QT_QPA_PLATFORM="offscreen", QV_PTY_SENT=self.sent_path,
                                              QV_PTY_TIMED=self.timed_path, **(env or {})))
        tty = self.proc.stdout.readline().strip()
        assert tty.startswith("/dev/"), tty
        self.path = link or tty

    def send(self, line):
        """A line to the instrument's feed: gamut, signal, unplug, plug, log."""
        self.proc.stdin.write(line + "\n")
        self.proc.stdin.flush()

    def sent(self):
        with open(self.sent_path) as f:
            return f.read()

    def requests(self):
        """Every key message the instrument received, as (time.monotonic() of its arrival, code), in order."""
        got, pending = [], []
        with open(self.timed_path) as f:
            for line in f:
                words = line.split()
                if not words or not line.endswith("\n"):
                    continue
                pending += [int(w, 16) for w in words[1:]]
                while len(pending) >= 2:  # each message is its code followed by F0
                    code, end = pending[0], pending[1]
                    if end != 0xF0:
                        pending.pop(0)  # out of step: resynchronise on the next F0
                        continue
                    got.append((float(words[0]), code))
                    del pending[:2]
        return got

    def polls(self):
        """The times (time.monotonic()'s clock) at which the instrument received a status request."""
        return [t for t, code in self.requests() if code == 0xB6]

    def stop(self):
        self.proc.stdin.close()
        try:
            self.proc.wait(5)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait(5)
