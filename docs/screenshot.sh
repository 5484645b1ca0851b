#!/usr/bin/env bash
# Takes the README's picture of geoview: the sample atlas in a 1000 x 700
# window under Xvfb, zoomed from the overview to the Alps map with two clicks
# in zoom mode, with the graticule on. Needs xvfb-run, xdotool and
# ImageMagick (bash scripts/setup.sh installs them) and a build of geoview.
#
# Usage: bash docs/screenshot.sh [GEOVIEW] [OUTPUT]
set -euo pipefail
script=$(realpath "$0")
cd "$(dirname "$script")/.."
geoview=${1:-build/apps/geoview/geoview}
output=${2:-docs/geoview.png}

if [ -z "${SCREENSHOT_INNER:-}" ]; then
  export SCREENSHOT_INNER=1
  exec xvfb-run -a -s "-screen 0 1280x800x24" bash "$script" "$geoview" "$output"
fi

"$geoview" --size 1000x700 --center 46.6,8.3 --mag 1 samples/atlas >/dev/null 2>&1 &
pid=$!
trap 'kill $pid 2>/dev/null || true' EXIT
wid=$(timeout 30 xdotool search --sync --onlyvisible --name '^geoview - ' | head -1)
# The map's centre: below the 33-pixel command panel, above the 22-pixel
# status line.
cx=500
cy=$((33 + (700 - 33 - 22) / 2))
xdotool mousemove --window "$wid" 45 16 click 1
for _ in 1 2; do
  sleep 0.5
  xdotool mousemove --window "$wid" $cx $cy click 1
done
sleep 0.5
xdotool key g
# The status line's note on the grid goes after four seconds; the pointer
# then shows its position there.
sleep 4.5
xdotool mousemove --window "$wid" 430 300
sleep 0.5
import -window "$wid" "$output"
echo "$output: $(xdotool getwindowname "$wid")"
