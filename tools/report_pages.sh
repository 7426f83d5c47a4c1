#!/usr/bin/env bash
# Regenerates docs/watch-report-N.png: 25 s of watching the simulated instrument on its vectorscope page (whose
# GAMUT+ lamp flickers) with a fast poll, then the PDF report of that day, each page as PNG (poppler's pdftoppm).
set -euo pipefail
cd "$(dirname "$0")/.."
program=${BUILD_DIR:-build}/qv7700-remote
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
QT_QPA_PLATFORM=offscreen QV7700_POLL_MS=250 timeout -s TERM 25 \
    "$program" --device sim --press VECT --watch "$work/watch" --log-every 0.2 2>/dev/null || true
QT_QPA_PLATFORM=offscreen "$program" --report "$work/watch" --from "$(date +%F)" --to "$(date +%F)" --output "$work/report.pdf"
rm -f docs/watch-report-*.png
pdftoppm -r 60 -png "$work/report.pdf" docs/watch-report
ls docs/watch-report-*.png
