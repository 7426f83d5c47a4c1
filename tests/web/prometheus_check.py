"""A real Prometheus (Debian's) scrapes two programs, each on its own simulated instrument, and its query API
returns both instruments' series. The metrics pass promtool's own format check and the alerting rules shipped in
data/prometheus load.

  prometheus_check.py PROGRAM RULES_FILE"""

import json
import os
import socket
import subprocess
import sys
import tempfile
import time
import urllib.parse
import urllib.request

sys.path.insert(0, os.path.dirname(__file__))
from qvserve import Served  # noqa: E402


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def query(port, expr):
    url = "http://127.0.0.1:%d/api/v1/query?%s" % (port, urllib.parse.urlencode({"query": expr}))
    with urllib.request.urlopen(url, timeout=5) as r:
        return json.load(r)["data"]["result"]


def main(program, rules):
    with tempfile.TemporaryDirectory() as tmp:
        programs = [Served(program, "sim", tmp, name="qv%d" % i) for i in range(2)]
        prom = None
        try:
            for p in programs:
                p.wait_until_polled()
            check = subprocess.run(["promtool", "check", "metrics"], input=programs[0].request("GET", "/metrics")[1],
                                   capture_output=True, timeout=30)
            assert check.returncode == 0, check.stdout + check.stderr
            check = subprocess.run(["promtool", "check", "rules", rules], capture_output=True, timeout=30)
            assert check.returncode == 0, check.stdout + check.stderr

            port = free_port()
            config = os.path.join(tmp, "prometheus.yml")
            targets = ", ".join('"127.0.0.1:%d"' % p.port for p in programs)
            with open(config, "w") as f:
                f.write("global:\n  scrape_interval: 1s\n  evaluation_interval: 1s\nrule_files: [\"%s\"]\n"
                        "scrape_configs:\n  - job_name: qv7700\n    static_configs:\n      - targets: [%s]\n"
                        % (rules, targets))
            prom = subprocess.Popen(["prometheus", "--config.file=" + config, "--storage.tsdb.path=" + tmp + "/tsdb",
                                     "--web.listen-address=127.0.0.1:%d" % port],
                                    stdout=subprocess.DEVNULL, stderr=open(os.path.join(tmp, "prom.log"), "w"))
            wanted = {"127.0.0.1:%d" % p.port for p in programs}
            seen = set()
            deadline = time.monotonic() + 40
            while time.monotonic() < deadline and seen != wanted:
                time.sleep(0.5)
                try:
                    seen = {r["metric"]["instance"] for r in query(port, "qv7700_up == 1")}
                except OSError:
                    continue
            assert seen == wanted, "series for %s, wanted %s" % (seen, wanted)
            lamps = query(port, 'qv7700_lamp{lamp="valid-1"}')
            assert {r["metric"]["instance"] for r in lamps} == wanted, lamps
            info = query(port, "qv7700_info")
            assert all(r["metric"]["serial"] == "QV7700SIM" for r in info) and len(info) == 2, info
            with urllib.request.urlopen("http://127.0.0.1:%d/api/v1/rules" % port, timeout=5) as r:
                names = [rule["name"] for g in json.load(r)["data"]["groups"] for rule in g["rules"]]
            assert "QV7700GamutError" in names, names
        finally:
            if prom:
                prom.terminate()
                prom.wait(20)
            for p in programs:
                p.stop()
        for p in programs:
            assert p.exited_cleanly(), (p.proc.returncode, p.lines[-5:])
    print("prometheus: both instruments' series scraped and queried; metrics and rules pass promtool")


if __name__ == "__main__":
    main(sys.argv[1], os.path.abspath(sys.argv[2]))
