#!/usr/bin/env bash
# geoview in a real X server: starts it on the sample atlas under Xvfb,
# clicks the zoom button, left-clicks Zurich on the overview and turns the
# wheel with xdotool, then takes screenshots and checks that the window shows
# a map (the sample's land and sea colours, not the empty message) and that
# the click selected another map. Then the wheel alone at Zurich: notches in
# go down through the atlas to the Zurich map, notches out back up to the
# overview, each map named in the window title as the selector shows it.
# Without a display geoview must give up with status 3 within 5 seconds.
#
# Usage: geoview_x11_test.sh GEOVIEW ATLAS_FOLDER
# Exit status 77 (a skip for CTest) when the tools are missing or no X
# server can start.
set -euo pipefail
geoview=$1
atlas=$2

skip() {
  echo "SKIP: $*"
  exit 77
}

if [ -z "${GEOVIEW_X11_INNER:-}" ]; then
  start=$(date +%s)
  rc=0
  env -u DISPLAY -u WAYLAND_DISPLAY timeout 10 "$geoview" "$atlas" >/dev/null 2>&1 || rc=$?
  [ "$rc" = 3 ] || { echo "FAIL: without a display geoview exited $rc, not 3"; exit 1; }
  (($(date +%s) - start <= 5)) || { echo "FAIL: without a display geoview took over 5 s"; exit 1; }

  for tool in xvfb-run Xvfb xdotool import convert compare; do
    command -v "$tool" >/dev/null || skip "$tool is missing (bash scripts/setup.sh installs it)"
  done
  xvfb-run -a -s "-screen 0 1024x768x24" true >/dev/null 2>&1 ||
    skip "no X server can start (xvfb-run failed)"
  export GEOVIEW_X11_INNER=1
  exec xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" "$@"
fi

work=$(mktemp -d)
pid=
cleanup() {
  if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*"
  echo "--- geoview's output:"
  cat "$work/log" || true
  exit 1
}

# Ctrl+Q must end geoview with status 0 (a sanitised build fails on any
# error or leak found on the way out), and its window must be gone before
# another geoview is looked for: the X server may destroy a dead client's
# window a moment after the client has exited.
quit_geoview() {
  local rc=0
  xdotool key ctrl+q
  wait "$pid" || rc=$?
  pid=
  [ "$rc" = 0 ] || fail "geoview exited with status $rc on Ctrl+Q"
  for _ in $(seq 50); do
    xdotool search --name '^geoview - ' >/dev/null 2>&1 || return 0
    sleep 0.1
  done
  fail "geoview's window stayed after geoview had exited"
}

# The window: 800 x 600; the command panel takes the top 33 pixels and the
# status line the bottom 22, so the map's centre is at (400, 305). Zurich is
# put there on the overview map at magnification 1.
"$geoview" --size 800x600 --center 47.37,8.54 --mag 1 --out "$work" "$atlas" >"$work/log" 2>&1 &
pid=$!

wid=$(timeout 30 xdotool search --sync --onlyvisible --name '^geoview - ' | head -1) ||
  fail "no geoview window appeared"
title=$(xdotool getwindowname "$wid")
case $title in
  *"Europe, Africa"*) ;;
  *) fail "the window shows '$title', not the overview map" ;;
esac
eval "$(xdotool getwindowgeometry --shell "$wid")"  # X, Y, WIDTH, HEIGHT
[ "$WIDTH" = 800 ] && [ "$HEIGHT" = 600 ] || fail "the window is ${WIDTH}x$HEIGHT"

# The map's part of the screen.
shot() {
  sleep 0.3
  import -window root "$work/root.png"
  convert "$work/root.png" -crop "800x545+$X+$((Y + 33))" +repage "$1"
}
# Share of the picture in the sample's land and sea colours (as the map
# control shows them, five bits per channel), 0 to 1.
map_share() {
  convert "$1" -fill black -opaque white -fuzz 3% \
    -fill white -opaque 'rgb(239,222,189)' -fill white -opaque 'rgb(165,198,231)' \
    -fill black +opaque white -colorspace gray -format '%[fx:mean]' info:
}
# Pixels that differ between two pictures.
difference() {
  compare -metric AE "$1" "$2" null: 2>&1 || true
}

# The first picture may take a while on a busy machine: wait for it.
for _ in $(seq 20); do
  shot "$work/before.png"
  share=$(map_share "$work/before.png")
  awk "BEGIN { exit !($share > 0.3) }" && break
done
awk "BEGIN { exit !($share > 0.3) }" || fail "the overview shows no map (land and sea share $share)"

xdotool mousemove --window "$wid" 45 16 click 1    # the zoom button
sleep 0.3
xdotool mousemove --window "$wid" 400 305 click 1  # Zurich: zoom in to a finer map
for _ in $(seq 50); do
  title=$(xdotool getwindowname "$wid")
  case $title in *"Europe, Africa"*) sleep 0.2 ;; *) break ;; esac
done
case $title in
  *"Europe (Lambert"*) ;;
  *) fail "after the click the window shows '$title', not the Europe map" ;;
esac
# Shoots OUT until it differs from REF in over 20000 pixels (the new map or
# zoom has been drawn; a busy machine may take a while); prints the count.
shot_changed() {
  local ref=$1 out=$2 n=0
  for _ in $(seq 20); do
    shot "$out"
    n=$(difference "$ref" "$out")
    awk "BEGIN { exit !($n > 20000) }" && break
  done
  echo "$n"
}
changed=$(shot_changed "$work/before.png" "$work/clicked.png")
awk "BEGIN { exit !($changed > 20000) }" || fail "the picture did not change with the map ($changed)"

xdotool mousemove --window "$wid" 300 200 click 4 click 4  # the wheel, away from the user
zoomed=$(shot_changed "$work/clicked.png" "$work/wheeled.png")
awk "BEGIN { exit !($zoomed > 20000) }" || fail "the wheel did not zoom ($zoomed pixels changed)"
share=$(map_share "$work/wheeled.png")
awk "BEGIN { exit !($share > 0.3) }" || fail "the Europe map shows no map (land and sea share $share)"

quit_geoview

# The wheel at Zurich, at the centre of the map part of the window.
"$geoview" --size 800x600 --center 47.37,8.54 --mag 1 --out "$work" "$atlas" >"$work/log" 2>&1 &
pid=$!
wid=$(timeout 30 xdotool search --sync --onlyvisible --name '^geoview - ' | head -1) ||
  fail "no geoview window appeared for the wheel"
# Turns the wheel (4: in, 5: out) until the title names Part, at most 40
# notches; prints the distinct titles shown on the way. Each notch is given
# time to be drawn, so that no map is passed between two readings of the
# title on a busy machine.
wheel_to() {
  local button=$1 part=$2 last= t
  for _ in $(seq 40); do
    t=$(xdotool getwindowname "$wid" 2>&1) || { echo "(no window: $t)"; return 1; }
    if [ "$t" != "$last" ]; then echo "$t"; last=$t; fi
    case $t in *"$part"*) return 0 ;; esac
    xdotool mousemove --window "$wid" 400 305 click "$button"
    sleep 0.4
  done
  return 1
}
# Map names in the order of the titles, one line each.
names() {
  sed -e 's/.*Zurich.*/zurich/' -e 's/.*Switzerland.*/switzerland/' -e 's/.*Alps.*/alps/' \
    -e 's/.*Europe (Lambert.*/europe/' -e 's/.*Europe, Africa.*/overview/' | paste -sd' '
}
in=$(wheel_to 4 Zurich | names) || fail "wheel notches in never reached the Zurich map ($in)"
[ "$in" = "overview europe alps switzerland zurich" ] || fail "wheel in showed: $in"
out=$(wheel_to 5 "Europe, Africa" | names) || fail "wheel notches out never reached the overview ($out)"
[ "$out" = "zurich switzerland alps europe overview" ] || fail "wheel out showed: $out"
quit_geoview
echo "PASS: overview, then '$title' after the click; the wheel changed $zoomed pixels;"
echo "      the wheel in: $in; out: $out"
