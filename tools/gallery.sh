#!/usr/bin/env bash
# Renders every screen type with a simulated trace into docs/gallery (half size, few colours: small files).
# Needs a built program (bash tools/dev.sh test) and ImageMagick's convert.
set -euo pipefail
cd "$(dirname "$0")/.."
program=${PROGRAM:-build/qv7700-remote}
out=docs/gallery
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$out"
export QT_QPA_PLATFORM=offscreen
render() {  # name, arguments...
    local name=$1; shift
    "$program" "$@" --output "$tmp/$name.png"
    /usr/bin/convert "$tmp/$name.png" -resize 50% -colors 48 "$out/$name.png"
}
for code in 1 2 3 4 5 6 7 8 9 11 12 13 14 15 16 17 $(seq 20 33); do
    render "code-$code" --render "$code" --levels 60,95,150,190
done
render "no-signal" --render 4 --no-signal
render "code-0-logger-page" --render 0
ls -la "$out" | tail -n +2 | wc -l
