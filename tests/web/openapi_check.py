"""The API's description against the standard and against the program's real answers.

  openapi_check.py PROGRAM PTY_PEER SOURCE_DIR

Checks: GET /api/openapi.json serves src/net/web/openapi.json; it is a valid OpenAPI 3.0 document by the schema
Debian ships (its OpenAPI package, read with python3-jsonschema); every path in the server's route table is described
with its method. Then, with a watch beside the server and an instrument on a pseudo-terminal that raises a GAMUT
alarm and logs an error: every documented GET is requested, and each answer's status must be one the document
lists for that path and its JSON body must match the documented schema; so must the live stream's first event and
a later change, the answers to press, capture, log fetch and acknowledgement, and refusals (401, 404, 400). The
alarm's and the journal's capture URLs serve the stored PNG; names that are not the watch's own, path tricks and a
symbolic link planted among the captures are 404."""

import copy
import http.client
import json
import os
import re
import socket
import sys
import tempfile
import threading

import jsonschema

sys.path.insert(0, os.path.dirname(__file__))
from qvserve import PtyPeer, Served, until  # noqa: E402

OPENAPI_30_SCHEMA = "/usr/share/openapi-specification/schemas/v3.0/schema.json"


def as_json_schema(node):
    """OpenAPI 3.0's schema objects as JSON Schema draft 4: "nullable" becomes a choice with null."""
    if isinstance(node, list):
        return [as_json_schema(n) for n in node]
    if not isinstance(node, dict):
        return node
    out = {k: as_json_schema(v) for k, v in node.items() if k not in ("nullable", "example")}
    if node.get("nullable"):
        return {"anyOf": [out, {"type": "null"}]}
    return out


class Described:
    def __init__(self, doc):
        self.doc = doc
        self.converted = as_json_schema(doc)
        self.resolver = jsonschema.RefResolver.from_schema(self.converted)

    def response(self, path, method, status):
        """The documented response for that status, its $ref followed; None when it is not documented."""
        responses = self.doc["paths"][path][method]["responses"]
        r = responses.get(str(status))
        if r and "$ref" in r:
            r = self.doc["components"]["responses"][r["$ref"].rsplit("/", 1)[1]]
        return r

    def check(self, path, method, status, body, content_type="application/json"):
        r = self.response(path, method, status)
        assert r is not None, "%s %s answered %d, which the document does not list" % (method.upper(), path, status)
        content = r.get("content", {})
        if content_type == "application/json" and content_type in content:
            self.validate(json.loads(body), content[content_type]["schema"], "%s %s %d" % (method, path, status))
        elif content_type in ("image/png",):
            assert content_type in content, (path, status, list(content))
            assert body.startswith(b"\x89PNG\r\n\x1a\n"), (path, body[:16])

    def validate(self, value, schema, what):
        schema = as_json_schema(schema)
        try:
            jsonschema.Draft4Validator(schema, resolver=self.resolver).validate(value)
        except jsonschema.ValidationError as e:
            raise AssertionError("%s: %s at %s\n%s" % (what, e.message, list(e.absolute_path), json.dumps(value)[:2000]))

    def component(self, name):
        return {"$ref": "#/components/schemas/" + name}


def check_document(doc, source_dir):
    standard = jsonschema.Draft4Validator(json.load(open(OPENAPI_30_SCHEMA)))
    standard.validate(doc)
    # The validator refuses what breaks the standard (here an operation without its responses).
    broken = copy.deepcopy(doc)
    del broken["paths"]["/api/status"]["get"]["responses"]
    assert not standard.is_valid(broken), "the OpenAPI schema accepted an operation without responses"

    # Every route of the server's table, with its method.
    with open(os.path.join(source_dir, "src/net/api_routes.cpp")) as f:
        table = re.findall(r'\{"(/[^"]*)", Method::(Get|Post), \w+\}', f.read())
    assert len(table) >= 15, table
    for path, method in table:
        method = method.lower()
        if path.endswith("/") and path != "/":
            found = [p for p in doc["paths"] if p.startswith(path) and "{" in p and method in doc["paths"][p]]
        else:
            found = [p for p in doc["paths"] if p == path and method in doc["paths"][p]]
        assert found, "the route %s %s is not described" % (method.upper(), path)
    # Every described operation says how it fails for want of the token or for a wrong Host.
    for path, item in doc["paths"].items():
        for method, op in item.items():
            assert {"401", "403"} <= set(op["responses"]), (method, path)
            if method == "post":
                assert op.get("security") == [{"bearerToken": []}], (path, op.get("security"))


def raw_get(served, path):
    """A request line sent as written, for paths that http.client would tidy."""
    with socket.create_connection((served.host, served.port), timeout=10) as s:
        s.sendall(("GET %s HTTP/1.1\r\nHost: %s:%d\r\nConnection: close\r\n\r\n" % (path, served.host, served.port)).encode())
        data = b""
        while True:
            chunk = s.recv(65536)
            if not chunk:
                break
            data += chunk
    return int(data.split(b" ", 2)[1])


def stream_events(served, count, events):
    """The first `count` events of the live stream, appended to events as they come as (name, data object)."""
    conn = http.client.HTTPConnection(served.host, served.port, timeout=30)
    conn.request("GET", "/api/events")
    res = conn.getresponse()
    assert res.status == 200, res.status
    pending = b""
    while len(events) < count:
        pending += res.fp.read1(65536)
        while b"\n\n" in pending and len(events) < count:
            block, pending = pending.split(b"\n\n", 1)
            lines = block.decode().split("\n")
            name = [l[7:] for l in lines if l.startswith("event: ")]
            data = "".join(l[6:] for l in lines if l.startswith("data: "))
            if data:
                events.append((name[0] if name else "", json.loads(data)))
    conn.close()


def main(program, peer_program, source_dir):
    with open(os.path.join(source_dir, "src/net/web/openapi.json")) as f:
        source = json.load(f)
    check_document(source, source_dir)
    described = Described(source)
    os.environ["QV_PTY_SECONDS"] = "150"
    with tempfile.TemporaryDirectory() as tmp:
        peer = PtyPeer(peer_program, tmp)
        watch_dir = os.path.join(tmp, "watch")
        served = Served(program, "serial:" + peer.path, tmp, env={"QV7700_POLL_MS": "250"},
                        extra=["--watch", watch_dir, "--log-every", "0"])
        token = served.token
        try:
            served.wait_until_polled()
            status, body = served.request("GET", "/api/openapi.json")
            assert status == 200 and json.loads(body) == source, "the served description is not the source file"

            # Before anything happened: no log fetched, no screen captured; both are documented 404s.
            for path in ("/api/log", "/api/screen.png"):
                status, body = served.request("GET", path)
                assert status == 404, (path, status)
                described.check(path, "get", status, body)

            # A GAMUT alarm: raised, its picture stored; an error-log record fetched.
            peer.send("gamut 1 0")
            alarms = until("the gamut alarm with its picture", lambda: [
                a for a in json.loads(served.request("GET", "/api/alarms")[1]) if a["active"] and a["capture_url"]], 20)
            peer.send("log VIDEO ERROR CH1")
            status, body = served.request("POST", "/api/log/fetch", token)
            described.check("/api/log/fetch", "post", status, body)
            assert status == 200, body

            # Every documented GET without path parameters, its answer against the document.
            # (The event streams never end: /api/events is read on its own below, /api/live by the live check;
            # /api/instruments is there only when several instruments are served: 404 here, as documented.)
            get_paths = [p for p, item in source["paths"].items() if "get" in item and "{" not in p
                         and p not in ("/api/events", "/api/live", "/api/instruments")]
            status, body = served.request("GET", "/api/instruments")
            described.check("/api/instruments", "get", status, body)
            assert status == 404, status
            for path in get_paths:
                status, body = served.request("GET", path)
                assert status == 200, (path, status, body[:200])
                if path.endswith(".png") or path.endswith(".ico"):
                    described.check(path, "get", status, body, "image/png")
                elif path.startswith("/api/"):
                    described.check(path, "get", status, body)
            status, body = served.request("GET", "/api/journal?since=2000-01-01T00:00:00.000Z")
            described.check("/api/journal", "get", status, body)
            journal = json.loads(body)
            assert journal and any(l["event"] == "alarm" for l in journal), journal[-5:]
            status, body = served.request("GET", "/api/journal?since=yesterday")
            assert status == 400
            described.check("/api/journal", "get", status, body)

            # The stored picture, by the URL the alarm and the journal give; no server path in either.
            url = alarms[0]["capture_url"]
            assert re.fullmatch(r"/api/captures/\d{4}-\d{2}-\d{2}/\d{6}-gamut(-\d+)?\.png", url), url
            captures = [l for l in journal if l["event"] == "capture"]
            assert captures and captures[-1]["url"] == url, (captures, url)
            assert watch_dir not in json.dumps(alarms), alarms
            status, body = served.request("GET", url)
            described.check("/api/captures/{day}/{file}", "get", status, body, "image/png")
            day, name = url.split("/")[-2:]
            with open(os.path.join(watch_dir, "captures", day, name), "rb") as f:
                assert f.read() == body, "the served picture is not the stored one"
            os.symlink("/etc/passwd", os.path.join(watch_dir, "captures", day, "000000-planted.png"))
            with open(os.path.join(watch_dir, "captures", day, "000001-other.txt"), "w") as f:
                f.write("not a picture")
            for bad in ("/api/captures/%s/000000-planted.png" % day, "/api/captures/%s/000001-other.txt" % day,
                        "/api/captures/%s" % day, "/api/captures/../journal/%s.jsonl" % day,
                        "/api/captures/%s/..%%2f..%%2f.lock" % day, "/api/captures/%s/%s/extra.png" % (day, name),
                        "/api/captures/%2fetc%2fpasswd", "/api/captures/%s/%s%%00.png" % (day, name[:-4]),
                        "/api/captures/%s/%s" % (day, name.upper())):
                code = raw_get(served, bad)
                assert code in (400, 404), (bad, code)
            status, body = served.request("GET", "/api/captures/%s/000000-planted.png" % day)
            assert status == 404
            described.check("/api/captures/{day}/{file}", "get", status, body)

            # The live stream: the whole view first, then only what changed.
            events = []
            reader = threading.Thread(target=lambda: stream_events(served, 2, events), daemon=True)
            reader.start()
            until("the stream's first event", lambda: events or None, 10)
            peer.send("gamut 0 0")  # the lamp goes off: a change of the status
            reader.join(20)
            assert [e[0] for e in events] == ["view", "change"], events
            described.validate(events[0][1], described.component("View"), "the view event")
            described.validate(events[1][1], described.component("Change"), "a change event")
            assert set(events[1][1]) < set(events[0][1]) | {"version"}, events[1][1]
            assert len(events[0][1]["journal"]) <= 50

            # Answers to what drives the instrument, and its refusals.
            status, body = served.request("POST", "/api/press/VECT")
            assert status == 401
            described.check("/api/press/{key}", "post", status, body)
            status, body = served.request("POST", "/api/press/NOSUCHKEY", token)
            assert status == 404
            described.check("/api/press/{key}", "post", status, body)
            status, body = served.request("POST", "/api/press/VECT", token)
            assert status == 200, body
            described.check("/api/press/{key}", "post", status, body)
            status, body = served.request("POST", "/api/knob/LEFT/down", token)
            described.check("/api/knob/{knob}/{direction}", "post", status, body)
            status, body = served.request("POST", "/api/knob/LEFT/up", token)
            described.check("/api/knob/{knob}/{direction}", "post", status, body)
            status, body = served.request("POST", "/api/capture", token)
            described.check("/api/capture", "post", status, body)
            assert status == 200, body
            status, body = served.request("GET", "/api/screen.png")
            described.check("/api/screen.png", "get", status, body, "image/png")
            ack = "/api/alarms/%s/ack" % alarms[0]["id"]
            status, body = served.request("POST", ack, token, body='{"operator": 5}')
            assert status == 400
            described.check("/api/alarms/{id}/ack", "post", status, body)
            status, body = served.request("POST", ack, token, body='{"operator": "Ann", "comment": "seen"}')
            assert status == 200, body
            described.check("/api/alarms/{id}/ack", "post", status, body)
            status, body = served.request("POST", ack, token, body="{}")
            assert status == 409
            described.check("/api/alarms/{id}/ack", "post", status, body)
            status, body = served.request("GET", "/api/status", headers={"Host": "elsewhere.example"})
            assert status == 403
            described.check("/api/status", "get", status, body)
            status, body = served.request("GET", "/api/alarms")
            described.check("/api/alarms", "get", status, body)
            assert json.loads(body)[0]["acknowledged_by"] == "Ann"
        finally:
            served.stop()
            peer.stop()
        assert served.exited_cleanly(), "the program ended with %s: %s" % (served.proc.returncode, served.lines[-5:])
    print("OpenAPI 3.0 document valid, every route described, %d GET paths and the stream, press, knob, capture, "
          "log fetch and acknowledgement answered as described; captures served by URL, tricks refused" % len(get_paths))


if __name__ == "__main__":
    main(*sys.argv[1:4])
