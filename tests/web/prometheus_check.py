"""A real Prometheus (Debian's) scrapes two programs, each on its own simulated instrument, and its query API
returns both instruments' series. The metrics pass promtool's own format check and the alerting rules shipped in
data/prometheus load. Every query of the shipped Grafana dashboard runs in that Prometheus, and every metric it
names is one the program serves.

  prometheus_check.py PROGRAM RULES_FILE DASHBOARD"""

import json
import os
import re
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


def dashboard_queries(path):
    """Every PromQL expression of a Grafana dashboard: its panels' targets, annotations and variable queries."""
    with open(path) as f:
        dash = json.load(f)
    exprs = [t["expr"] for p in dash["panels"] for t in p.get("targets", [])]
    exprs += [a["expr"] for a in dash["annotations"]["list"] if "expr" in a]
    for v in dash["templating"]["list"]:
        if v["type"] == "query":
            exprs.append(re.fullmatch(r"label_values\((.+), \w+\)", v["query"]["query"]).group(1))
    assert exprs, path
    return exprs


def check_dashboard(port, path, served_text):
    # Sample names, and the families declared without a sample yet (the watch's alarms when no watch runs).
    lines = served_text.decode().splitlines()
    served = {l.split("{")[0].split(" ")[0] for l in lines if l and l[0] != "#"}
    served |= {l.split(" ")[2] for l in lines if l.startswith("# TYPE ")}
    own = {"up", "ALERTS"}  # Prometheus's own series
    for expr in dashboard_queries(path):
        names = set(re.findall(r"\b(?:qv7700|process)_[a-z_]+\b", expr)) | (own & set(re.findall(r"\b\w+\b", expr)))
        assert names, expr
        unknown = names - served - own
        assert not unknown, "the dashboard names %s, which the program does not serve: %s" % (unknown, expr)
        # Grafana's own variables, as Grafana would fill them in; a query Prometheus cannot parse raises here.
        query(port, expr.replace("$instance", ".*").replace("$__rate_interval", "1m"))


def main(program, rules, dashboard):
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
            check_dashboard(port, dashboard, programs[0].request("GET", "/metrics")[1])
        finally:
            if prom:
                prom.terminate()
                prom.wait(20)
            for p in programs:
                p.stop()
        for p in programs:
            assert p.exited_cleanly(), (p.proc.returncode, p.lines[-5:])
    print("prometheus: both instruments' series scraped and queried; metrics and rules pass promtool; "
          "the dashboard's queries run")


if __name__ == "__main__":
    main(sys.argv[1], os.path.abspath(sys.argv[2]), sys.argv[3])
