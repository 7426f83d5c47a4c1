"""The program as an AgentX subagent of Debian's real snmpd, with snmpwalk and snmptrapd, all on loopback.

  snmp_check.py PROGRAM PTY_PEER MIB

Checks: smilint accepts the MIB; the walk returns the instrument row (page, signal, lamp colours by the MIB's
names) and follows a key within 2 s; a GAMUT lamp held red brings "alarm raised" to snmptrapd, and its end
"alarm cleared"; the instrument unplugged claims nothing in the walk and brings "absent", then "present again"; snmpd killed and started again: the walk answers again within 10 s while the watch and server
carry on; an AgentX socket that is missing or is not a socket is said on standard error and changes nothing else.

The IETF base modules (SNMPv2-SMI, -TC, -CONF) are not in Debian's main archive as MIB text except inside
erlang-snmp; the MIB search path is made from those and the program's own MIB."""

import glob
import json
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "web"))
from qvserve import PtyPeer, Served, stop_process, until  # noqa: E402

SUBTREE = "QV7700-REMOTE-MIB::qvObjects"


def free_udp_port():
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def mib_dir(tmp, mib):
    """A search path of the base modules and ours alone, so that no other file's noise gets in the way."""
    base = glob.glob("/usr/lib/erlang/lib/snmp-*/mibs")
    assert base, "the IETF base MIB modules are missing (Debian package erlang-snmp)"
    path = os.path.join(tmp, "mibs")
    os.mkdir(path)
    for name in ("SNMPv2-SMI", "SNMPv2-TC", "SNMPv2-CONF", "SNMPv2-MIB"):
        os.symlink(os.path.join(base[0], name + ".mib"), os.path.join(path, name + ".txt"))
    shutil.copy(mib, path)
    return path


class Daemon:
    """snmpd as master agent, or snmptrapd, in the foreground in the test's folder."""

    def __init__(self, args, log, env):
        self.log = log
        self.proc = subprocess.Popen(args, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env)

    def stop(self):
        stop_process(self.proc, 10)

    def text(self):
        try:
            with open(self.log) as f:
                return f.read()
        except FileNotFoundError:
            return ""


class Plant:
    def __init__(self, tmp, mibs):
        self.tmp, self.mibs = tmp, mibs
        self.port, self.trap_port = free_udp_port(), free_udp_port()
        self.socket = os.path.join(tmp, "agentx", "master")
        os.mkdir(os.path.dirname(self.socket))
        # snmpd saves its state as snmpd.conf in the persistent folder: a folder of its own, not the test's.
        os.mkdir(os.path.join(tmp, "state"))
        self.env = dict(os.environ, MIBDIRS=mibs, MIBS="QV7700-REMOTE-MIB", SNMPCONFPATH=tmp,
                        SNMP_PERSISTENT_DIR=os.path.join(tmp, "state"))
        with open(os.path.join(tmp, "snmpd.conf"), "w") as f:
            f.write("agentaddress udp:127.0.0.1:%d\nmaster agentx\nagentXSocket %s\nagentXPerms 0660 0770\n"
                    "rocommunity public 127.0.0.1\ntrap2sink 127.0.0.1:%d public\n"
                    % (self.port, self.socket, self.trap_port))
        with open(os.path.join(tmp, "snmptrapd.conf"), "w") as f:
            f.write("disableAuthorization yes\n")
        self.trapd = Daemon(["snmptrapd", "-f", "-C", "-c", os.path.join(tmp, "snmptrapd.conf"), "-Lf",
                             os.path.join(tmp, "traps.log"), "udp:127.0.0.1:%d" % self.trap_port],
                            os.path.join(tmp, "traps.log"), self.env)
        self.snmpd = None
        self.start_snmpd()

    def start_snmpd(self):
        self.snmpd = Daemon(["snmpd", "-f", "-C", "-c", os.path.join(self.tmp, "snmpd.conf"), "-Lf",
                             os.path.join(self.tmp, "snmpd.log"), "-p", os.path.join(self.tmp, "snmpd.pid")],
                            os.path.join(self.tmp, "snmpd.log"), self.env)
        until("snmpd's AgentX socket", lambda: os.path.exists(self.socket), 10)

    def walk(self, oid=SUBTREE):
        """{name.index: value} of the subtree; empty when nothing answers."""
        run = subprocess.run(["snmpwalk", "-v2c", "-c", "public", "-t", "1", "-r", "0", "-OQ",
                              "127.0.0.1:%d" % self.port, oid], capture_output=True, text=True, env=self.env)
        rows = {}
        for line in run.stdout.splitlines():
            name, _, value = line.partition(" = ")
            if name.startswith("QV7700-REMOTE-MIB::"):
                rows[name.split("::", 1)[1]] = value.strip().strip('"')
        return rows

    def stop(self):
        for d in (self.snmpd, self.trapd):
            if d:
                d.stop()


def lint(mibs, mib):
    run = subprocess.run(["smilint", "-l", "3", mib], capture_output=True, text=True,
                         env=dict(os.environ, SMIPATH=mibs))
    assert run.returncode == 0 and not run.stdout and not run.stderr, (run.returncode, run.stdout, run.stderr)


def walk_follows_the_instrument(plant, served, peer):
    row = until("the instrument row", lambda: (lambda r: r if r.get("qvInstrumentPresent.1") == "true" else None)(
        plant.walk()), 10)
    assert row["qvInstrumentPageKey.1"] == "WFM", row
    assert row["qvInstrumentSignal.1"] == "present", row
    assert row["qvLampGamutPlus.1"] == "off" and row["qvLampGamutMinus.1"] == "off", row
    assert row["qvVersion.0"], row
    assert int(row["qvInstrumentPolls.1"]) >= 1, row
    code, body = served.request("POST", "/api/press/VECT", token=served.token)
    assert code == 200, (code, body)
    pressed = time.monotonic()
    until("VECT in the walk", lambda: plant.walk("QV7700-REMOTE-MIB::qvInstrumentPageKey.1").get(
        "qvInstrumentPageKey.1") == "VECT", 2)
    print("walk followed the key in %.2f s" % (time.monotonic() - pressed))
    served.request("POST", "/api/press/WFM", token=served.token)  # the vectorscope's own gamut flicker stays out


def traps_for_an_alarm(plant, peer):
    peer.send("gamut 1 0")
    until("GAMUT+ red in the walk", lambda: plant.walk("QV7700-REMOTE-MIB::qvLampGamutPlus.1").get(
        "qvLampGamutPlus.1") == "red", 3)
    until("the alarm raised trap", lambda: "qvAlarmRaised" in plant.trapd.text(), 10)
    traps = plant.trapd.text()
    assert "qvAlarmName.1.gamut = STRING: gamut" in traps or 'qvAlarmName.1.gamut = STRING: "gamut"' in traps, traps
    rows = plant.walk("QV7700-REMOTE-MIB::qvAlarmTable")
    assert rows.get("qvAlarmState.1.gamut") == "raised", rows
    peer.send("gamut 0 0")
    until("the alarm cleared trap", lambda: "qvAlarmCleared" in plant.trapd.text(), 15)
    rows = plant.walk("QV7700-REMOTE-MIB::qvAlarmTable")
    assert rows.get("qvAlarmState.1.gamut") == "cleared" and rows.get("qvAlarmClearedTime.1.gamut"), rows


def traps_for_absence(plant, peer):
    """Unplugged, the row claims no page, signal or lamp; the traps say it went and came back."""
    peer.send("unplug")
    row = until("the absent row", lambda: (lambda r: r if r.get("qvInstrumentPresent.1") == "false" else None)(
        plant.walk()), 10)
    assert row["qvInstrumentPageKey.1"] == "" and "qvInstrumentPageCode.1" not in row, row
    assert row["qvInstrumentSignal.1"] == "unknown" and row["qvLampGamutPlus.1"] == "unknown", row
    until("the absent trap", lambda: "qvInstrumentAbsent" in plant.trapd.text(), 5)
    peer.send("plug")
    until("the present-again trap", lambda: "qvInstrumentPresentAgain" in plant.trapd.text(), 10)
    until("the row present again", lambda: plant.walk().get("qvInstrumentPresent.1") == "true", 5)


def master_restarted(plant, served):
    plant.snmpd.stop()
    polls = served.metrics()["qv7700_polls_total"]
    time.sleep(3)
    # The server and the poll carry on while the master agent is away.
    assert served.metrics()["qv7700_polls_total"] >= polls + 2
    assert json.loads(served.request("GET", "/api/status")[1])["present"] is True
    plant.start_snmpd()
    restarted = time.monotonic()
    until("the walk after snmpd restarted", lambda: plant.walk().get("qvInstrumentPresent.1") == "true", 10)
    print("subagent back %.1f s after the master agent restarted" % (time.monotonic() - restarted))
    said = "\n".join(served.lines)
    assert said.count("went away") == 1 and said.count("SNMP: serving") == 2, served.lines


def bad_sockets(program, tmp):
    not_socket = os.path.join(tmp, "plain-file")
    open(not_socket, "w").close()
    for name, path, words in (("missing", os.path.join(tmp, "no", "such", "socket"), "no such socket"),
                              ("file", not_socket, "is not a socket")):
        served = Served(program, "sim", tmp, name=name, extra=["--snmp=" + path])
        try:
            served.wait_until_polled()
            until("the SNMP line", lambda: any(words in l for l in served.lines), 5)
            assert sum("SNMP" in l for l in served.lines) == 1, served.lines
            assert json.loads(served.request("GET", "/api/status")[1])["present"] is True
        finally:
            assert served.stop() == 0 or served.exited_cleanly(), served.lines


def main():
    program, peer_program, mib = sys.argv[1:4]
    with tempfile.TemporaryDirectory() as tmp:
        mibs = mib_dir(tmp, mib)
        lint(mibs, mib)
        plant = Plant(tmp, mibs)
        peer = PtyPeer(peer_program, tmp, link=os.path.join(tmp, "ttyQV"))
        served = None
        try:
            served = Served(program, "serial:" + peer.path, tmp, extra=[
                "--watch", os.path.join(tmp, "watch"), "--log-every", "0", "--snmp=" + plant.socket])
            served.wait_until_polled()
            walk_follows_the_instrument(plant, served, peer)
            traps_for_an_alarm(plant, peer)
            traps_for_absence(plant, peer)
            master_restarted(plant, served)
        finally:
            if served:
                code = served.stop()
                assert code == 0 or served.exited_cleanly(), served.lines
            peer.stop()
            plant.stop()
        bad_sockets(program, tmp)
    print("snmp: all checks passed")


if __name__ == "__main__":
    main()
