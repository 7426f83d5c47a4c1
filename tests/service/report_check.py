"""--report over a journal written in Berlin, asked for in UTC and with an offset, under three time zones; and a
journal with a 300 MB line in it.

  report_check.py PROGRAM

Checks: each report finds the same one episode (pdftotext reads the PDF back); the 300 MB line is skipped and
counted on page 1, and the report is still written."""

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
    print("report: the same episode under three time zones and two ways of writing the period; a 300 MB line skipped")


if __name__ == "__main__":
    main()
