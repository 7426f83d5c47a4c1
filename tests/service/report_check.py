"""--report over a journal written in Berlin, asked for in UTC and with an offset, under three time zones; and a
journal with a 300 MB line in it.

  report_check.py PROGRAM

Checks: each report finds the same one episode (pdftotext reads the PDF back); the 300 MB line is skipped and
counted on page 1, and the report is still written. A morning with a crash in it: the time from the last line
before the crash to the next start, and after the stop, is not watched; the episode the restart went on with is
one episode, ended when its condition did."""

import os
import subprocess
import sys
import tempfile

LINES = [
    '{"t":"2026-06-13T00:10:00.000+02:00","event":"start","version":"1.1.0","device":"sim","serial":"QV7700SIM"}',
    '{"t":"2026-06-13T00:30:00.000+02:00","event":"alarm","name":"gamut","state":"raised","detail":"GAMUT+ red",'
    '"id":"gamut-1781299800000"}',
    '{"t":"2026-06-13T00:31:00.000+02:00","event":"alarm","name":"gamut","state":"cleared","detail":"GAMUT+ red"}',
]


# A watch killed at 09:10 just after a raise, started again at 10:30 (going on with the open episode, which
# clears), stopped at 11:00; the report covers 08:00 to 12:00.
CRASH = [
    '{"t":"2026-06-14T08:00:00.000+02:00","event":"start","serial":"QV7700SIM","open":[]}',
    '{"t":"2026-06-14T09:00:00.000+02:00","event":"alive"}',
    '{"t":"2026-06-14T09:10:00.000+02:00","event":"alarm","name":"gamut","state":"raised","detail":"GAMUT+ red",'
    '"id":"gamut-1781421000000"}',
    '{"t":"2026-06-14T10:30:00.000+02:00","event":"start","serial":"QV7700SIM","previous":"2026-06-14T09:10:00.000+02:00",'
    '"previous_end":"crash","open":[{"name":"gamut","id":"gamut-1781421000000"}]}',
    '{"t":"2026-06-14T10:30:35.000+02:00","event":"alarm","name":"gamut","state":"cleared","detail":"GAMUT+ red",'
    '"ended":"2026-06-14T10:30:30.000+02:00"}',
    '{"t":"2026-06-14T11:00:00.000+02:00","event":"stop","open":[]}',
]


def report(program, watch_dir, tz, start, end, out):
    run = subprocess.run([program, "--report", watch_dir, "--from", start, "--to", end, "--output", out],
                         env=dict(os.environ, TZ=tz, QT_QPA_PLATFORM="offscreen"), capture_output=True, text=True,
                         timeout=120)
    assert run.returncode == 0, (tz, run.stderr)
    return subprocess.run(["pdftotext", "-layout", out, "-"], capture_output=True, text=True).stdout


def main():
    program = sys.argv[1]
    with tempfile.TemporaryDirectory() as tmp:
        os.makedirs(os.path.join(tmp, "journal"))
        # The watch ran in Berlin, just after its midnight: the file carries the local date of its lines, the
        # day after the UTC date of the same moments.
        with open(os.path.join(tmp, "journal", "2026-06-13.jsonl"), "w") as f:
            f.write("\n".join(LINES) + "\n")
        for tz in ("Europe/Berlin", "America/Los_Angeles", "UTC"):
            for start, end in (("2026-06-12T22:00:00Z", "2026-06-12T23:00:00Z"),
                               ("2026-06-12T15:00:00-07:00", "2026-06-12T16:00:00-07:00")):
                text = report(program, tmp, tz, start, end, os.path.join(tmp, "r.pdf"))
                assert "Alarm episodes (1)" in text, (tz, start, text[:400])
        # A line of 300 MB (a disk error, a foreign file) between two good ones.
        with open(os.path.join(tmp, "journal", "2026-06-13.jsonl"), "w") as f:
            f.write(LINES[0] + "\n" + LINES[1] + "\n")
            f.write('{"t":"2026-06-13T00:30:30.000+02:00","event":"log","text":"')
            chunk = "x" * (1 << 20)
            for _ in range(300):
                f.write(chunk)
            f.write('"}\n' + LINES[2] + "\n")
        text = report(program, tmp, "UTC", "2026-06-12T22:00:00Z", "2026-06-12T23:00:00Z", os.path.join(tmp, "r.pdf"))
        assert "Alarm episodes (1)" in text and "Journal lines over 64 KB, not read: 1" in text, text[:600]
        with open(os.path.join(tmp, "journal", "2026-06-14.jsonl"), "w") as f:
            f.write("\n".join(CRASH) + "\n")
        text = " ".join(report(program, tmp, "Europe/Berlin", "2026-06-14T08:00:00+02:00", "2026-06-14T12:00:00+02:00",
                               os.path.join(tmp, "r.pdf")).split())
        for expected in ("Watched: 1 h 40 min (41.7 %) Not watched: 2 h 20 min",
                         "not watched 2026-06-14 09:10:00 2026-06-14 10:30:00 1 h 20 min",
                         "not watched 2026-06-14 11:00:00 2026-06-14 12:00:00 1 h 0 min",
                         "gamut 1 1 h 20 min 1 h 20 min", "Alarm episodes (1)",
                         "gamut 2026-06-14 09:10:00 2026-06-14 10:30:30 1 h 20 min", "page 2 of 2"):
            assert expected in text, (expected, text[:1500])
    print("report: the same episode under three time zones and two ways of writing the period; a 300 MB line skipped;"
          " a crash's gap and the time after the stop not watched")


if __name__ == "__main__":
    main()
