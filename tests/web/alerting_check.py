"""The whole alerting path with the real engines: the program serving a pseudo-terminal instrument with a watch
beside it, Debian's Prometheus scraping it every second with the shipped rules (their "for:" shortened in a copy)
and Debian's Alertmanager with the shipped alertmanager.yml (its timings shortened, its webhook pointed at a small
HTTP server in this test).

  alerting_check.py PROGRAM PTY_PEER RULES_FILE ALERTMANAGER_YML

Checks, on the way:
  - the counting points: error-log records counted once each however often the log is fetched; captures by
    reason (an API capture, the watch's alarm capture) and all of them in the duration histogram; the watch's
    alarms there from the start at 0, then active and raised once; HTTP answers by code; live-stream viewers;
  - a GAMUT lamp held red reaches the webhook as QV7700GamutError firing, not before the rule's hold, and
    resolved once the lamp is back; no other alert fires meanwhile;
  - the program killed: QV7700ProgramDown (up == 0) reaches the webhook as firing."""

import http.client
import http.server
import json
import os
import re
import socket
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse
import urllib.request

import yaml

sys.path.insert(0, os.path.dirname(__file__))
from qvserve import PtyPeer, Served, stop_process, until  # noqa: E402

POLL_MS = 250
HOLD_S = 4  # every rule's "for:" in the test copy


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Webhook:
    """Alertmanager's webhook receiver: keeps every alert of every message with the time it came."""

    def __init__(self):
        self.alerts = []  # (monotonic time, alert object, message status)
        self.lock = threading.Lock()
        outer = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_POST(self):
                body = json.loads(self.rfile.read(int(self.headers["Content-Length"])))
                with outer.lock:
                    outer.alerts += [(time.monotonic(), a, body["status"]) for a in body["alerts"]]
                self.send_response(200)
                self.send_header("Content-Length", "0")
                self.end_headers()

            def log_message(self, *args):
                pass

        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.port = self.server.server_address[1]
        threading.Thread(target=self.server.serve_forever, daemon=True).start()

    def find(self, name, status):
        with self.lock:
            return [(t, a) for t, a, _ in self.alerts if a["labels"]["alertname"] == name and a["status"] == status]

    def names(self):
        with self.lock:
            return {a["labels"]["alertname"] for _, a, _ in self.alerts}

    def stop(self):
        self.server.shutdown()
        self.server.server_close()


def query(port, expr):
    url = "http://127.0.0.1:%d/api/v1/query?%s" % (port, urllib.parse.urlencode({"query": expr}))
    with urllib.request.urlopen(url, timeout=5) as r:
        return json.load(r)["data"]["result"]


def count(served, series):
    return served.metrics().get(series, 0)


def check_counting(served, peer):
    """The counting points, on the program as it runs."""
    m = served.metrics()
    # Every alarm the watch raises, the usual capture reasons and answer codes are there before anything
    # happened; the log alarm, left out with --alarms, is not.
    for alarm in ("gamut", "signal", "absent"):
        assert m['qv7700_alarm_active{alarm="%s"}' % alarm] == 0, m
        assert m['qv7700_alarms_raised_total{alarm="%s"}' % alarm] == 0, m
    assert not [k for k in m if 'alarm="log"' in k], m
    for reason in ("api", "button", "alarm", "timelapse"):
        assert m['qv7700_captures_total{reason="%s"}' % reason] == 0, m
    assert m['qv7700_http_requests_total{code="404"}'] == 0, m
    assert m["qv7700_last_poll_timestamp_seconds"] > time.time() - 60, m

    # The log fetched three times: its records counted once, and one new record once more.
    fetch = lambda: served.request("POST", "/api/log/fetch", token=served.token)  # noqa: E731
    status, body = fetch()
    assert status == 200, (status, body)
    records = len(json.loads(body)["records"])
    assert records > 0 and count(served, "qv7700_log_records_seen_total") == records, (records, served.metrics())
    assert fetch()[0] == 200
    assert count(served, "qv7700_log_records_seen_total") == records, served.metrics()
    peer.send("log ALERTING CHECK RECORD")
    status, body = fetch()
    assert status == 200 and len(json.loads(body)["records"]) == records + 1, body
    assert count(served, "qv7700_log_records_seen_total") == records + 1, served.metrics()

    # An API capture counted as such and timed.
    status, body = served.request("POST", "/api/capture", token=served.token, timeout=60)
    assert status == 200, (status, body)
    m = served.metrics()
    assert m['qv7700_captures_total{reason="api"}'] == 1 and m["qv7700_capture_duration_seconds_count"] == 1, m

    # Answers by code: a missing path is a 404; and a live-stream viewer is counted while it is connected.
    assert served.request("GET", "/no-such-page")[0] == 404
    assert count(served, 'qv7700_http_requests_total{code="404"}') == 1
    viewer = http.client.HTTPConnection(served.host, served.port, timeout=10)
    viewer.request("GET", "/api/events")
    stream = viewer.getresponse()  # holds the socket: dropping it closes the stream
    assert stream.status == 200
    until("the viewer counted", lambda: count(served, "qv7700_http_event_streams") == 1, 10)
    stream.close()
    viewer.close()
    until("the viewer gone", lambda: count(served, "qv7700_http_event_streams") == 0, 10)


def main(program, peer_program, rules, am_config):
    os.environ["QV_PTY_SECONDS"] = "600"  # the instrument outlives the check, which stops it
    with tempfile.TemporaryDirectory() as tmp:
        hook = Webhook()
        peer = PtyPeer(peer_program, tmp)
        served = prom = am = None
        try:
            served = Served(program, "serial:" + peer.path, tmp, env={"QV7700_POLL_MS": str(POLL_MS)},
                            extra=["--watch", os.path.join(tmp, "watch"), "--log-every", "0",
                                   "--alarms", "gamut,signal,absent"])
            served.wait_until_polled()
            check_counting(served, peer)

            # The shipped rules with a short hold, and the shipped Alertmanager setup with short waits.
            with open(rules) as f:
                fast_rules = re.sub(r"(?m)^(\s+for:) \S+$", r"\1 %ds" % HOLD_S, f.read())
            assert fast_rules.count("for: %ds" % HOLD_S) == 5, fast_rules
            rules_copy = os.path.join(tmp, "rules.yml")
            with open(rules_copy, "w") as f:
                f.write(fast_rules)
            with open(am_config) as f:
                am_yaml = yaml.safe_load(f)
            for route in [am_yaml["route"], *am_yaml["route"].get("routes", [])]:
                route.update(group_wait="1s", group_interval="1s")
            for receiver in am_yaml["receivers"]:
                for webhook in receiver.get("webhook_configs", []):
                    webhook["url"] = "http://127.0.0.1:%d/qv7700-alerts" % hook.port
            am_copy = os.path.join(tmp, "alertmanager.yml")
            with open(am_copy, "w") as f:
                yaml.safe_dump(am_yaml, f)

            am_port, prom_port = free_port(), free_port()
            am = subprocess.Popen(["prometheus-alertmanager", "--config.file=" + am_copy,
                                   "--storage.path=" + os.path.join(tmp, "am"),
                                   "--web.listen-address=127.0.0.1:%d" % am_port, "--cluster.listen-address="],
                                  stdout=subprocess.DEVNULL, stderr=open(os.path.join(tmp, "am.log"), "w"))
            target = "127.0.0.1:%d" % served.port
            config = os.path.join(tmp, "prometheus.yml")
            with open(config, "w") as f:
                f.write("global:\n  scrape_interval: 1s\n  evaluation_interval: 1s\n"
                        "rule_files: [\"%s\"]\n"
                        "alerting:\n  alertmanagers:\n    - static_configs:\n        - targets: [\"127.0.0.1:%d\"]\n"
                        "scrape_configs:\n  - job_name: qv7700\n    static_configs:\n      - targets: [\"%s\"]\n"
                        % (rules_copy, am_port, target))
            prom = subprocess.Popen(["prometheus", "--config.file=" + config,
                                     "--storage.tsdb.path=" + os.path.join(tmp, "tsdb"),
                                     "--web.listen-address=127.0.0.1:%d" % prom_port],
                                    stdout=subprocess.DEVNULL, stderr=open(os.path.join(tmp, "prom.log"), "w"))

            def scraped():
                try:
                    return query(prom_port, "qv7700_up == 1")
                except OSError:
                    return None
            until("Prometheus scrapes the program", scraped, 40)
            time.sleep(HOLD_S + 3)  # long enough for any rule to fire wrongly on a quiet instrument
            assert not hook.names(), hook.alerts

            # GAMUT+ held red: firing, not before the rule's hold; then resolved once it is back.
            lit = time.monotonic()
            peer.send("gamut 1 0")
            until("the gamut alert firing at the webhook", lambda: hook.find("QV7700GamutError", "firing"), 60)
            came, alert = hook.find("QV7700GamutError", "firing")[0]
            assert came - lit >= HOLD_S, "fired %.1f s after the lamp went red, before the %d s hold" % (came - lit, HOLD_S)
            assert alert["labels"]["instance"] == target and alert["labels"]["severity"] == "warning", alert
            assert alert["annotations"]["summary"] == "Gamut error on " + target, alert
            # The watch beside the server raised its own alarm meanwhile, and took its picture.
            until("the watch's gamut alarm in the metrics",
                  lambda: count(served, 'qv7700_alarm_active{alarm="gamut"}') == 1, 10)
            until("the alarm capture counted", lambda: count(served, 'qv7700_captures_total{reason="alarm"}') == 1, 30)
            m = served.metrics()
            assert m['qv7700_alarms_raised_total{alarm="gamut"}'] == 1, m
            assert m["qv7700_capture_duration_seconds_count"] == 2, m  # the API's capture and the alarm's
            peer.send("gamut 0 0")
            until("the gamut alert resolved at the webhook", lambda: hook.find("QV7700GamutError", "resolved"), 60)
            until("the watch's gamut alarm cleared", lambda: count(served, 'qv7700_alarm_active{alarm="gamut"}') == 0, 20)
            assert count(served, 'qv7700_alarms_raised_total{alarm="gamut"}') == 1
            assert hook.names() == {"QV7700GamutError"}, hook.alerts

            # The program gone: Prometheus's own up goes to 0 and the "down" alert fires.
            served.proc.kill()
            served.proc.wait(10)
            until("the program-down alert firing at the webhook", lambda: hook.find("QV7700ProgramDown", "firing"), 60)
            alert = hook.find("QV7700ProgramDown", "firing")[0][1]
            assert alert["labels"]["instance"] == target and alert["labels"]["severity"] == "critical", alert
        finally:
            for proc in (prom, am):
                if proc:
                    stop_process(proc, 20)
            if served:
                served.stop()
            peer.stop()
            hook.stop()
    print("alerting: counting points right; gamut fired after its hold and resolved at the webhook; "
          "the program killed fired QV7700ProgramDown")


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2], os.path.abspath(sys.argv[3]), os.path.abspath(sys.argv[4]))
