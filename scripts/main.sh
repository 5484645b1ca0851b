#!/usr/bin/env bash
# The main job: sets up, builds the command-line tools geoconvert, geomap,
# geodb and geoview (Release, without tests and benchmarks), renders views of the sample atlas to PNG files with
# geomap (no display needed), reports each map's calibration quality, and
# converts a few positions with geoconvert. Each view around a position
# comes from the atlas map that covers it best, the finest that fills it.
#
# With arguments, runs geoconvert with them instead (after the build).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)

bash scripts/setup.sh >&2
cmake -S . -B build-main -DCMAKE_BUILD_TYPE=Release \
  -DMAROVIA_BUILD_TESTS=OFF -DMAROVIA_BUILD_BENCH=OFF >&2
cmake --build build-main -j"$jobs" --target geoconvert geomap_tool geodb_tool geoview >&2

geoconvert=build-main/apps/geoconvert/geoconvert
geomap=build-main/apps/geomap/geomap
if (($#)); then
  exec "$geoconvert" "$@"
fi

show() {
  local tool=$1
  shift
  printf '$ %s' "$tool"
  printf ' %q' "$@"
  echo
}
run_geomap() {
  show geomap "$@"
  "$geomap" "$@"
  echo
}
run_geoconvert() {
  show geoconvert "$@"
  "$geoconvert" "$@"
  echo
}

atlas=samples/atlas
views=build-main/views
mkdir -p "$views"

echo "== The calibrations of the sample atlas"
echo
run_geomap info --brief "$atlas"

echo "== Each map whole, with a graticule as dense as the one drawn in it"
echo
for calibration in "$atlas"/*.xml; do
  name=$(basename "$calibration" .xml)
  case $name in
    overview_miller) grid=(--grid lines --grid-step 10) ;;
    europe_lcc) grid=(--grid lines --grid-step 5) ;;
    british_isles_albers | iberia_stereo) grid=(--grid lines --grid-step 2) ;;
    alps_eqc) grid=(--grid lines --grid-step 1) ;;
    switzerland_eqc) grid=(--grid lines --grid-step 0.5) ;;
    zurich_utm32) grid=(--grid utm --utm-step 10000) ;;
    *) continue ;;  # the landmark and symbol files
  esac
  run_geomap render "$calibration" "${grid[@]}" --size 640x480 -o "$views/$name.png"
done

echo "== Views of the atlas around a position, with its landmarks"
echo
run_geomap render "$atlas" --center 47.37,8.54 --mag 1 --size 800x600 \
  --landmarks "$atlas/landmarks.xml" -o "$views/atlas_zurich.png"
run_geomap render "$atlas" --center 46.8,8.2 --mag 0.55 --size 800x500 --grid lines \
  --grid-step 0.5 --landmarks "$atlas/landmarks.xml" -o "$views/atlas_switzerland.png"
run_geomap render "$atlas" --center 54.5,-4 --mag 0.6 --size 800x600 \
  --landmarks "$atlas/landmarks.xml" -o "$views/atlas_british_isles.png"
run_geomap render "$atlas" --center 40.2,-3.7 --mag 0.5 --size 800x600 --grid lines+points \
  --grid-step 2 --landmarks "$atlas/landmarks.xml" -o "$views/atlas_iberia.png"
run_geomap render "$atlas" --center 30,20 --mag 0.35 --size 800x600 --grid lines \
  --grid-step 10 --landmarks "$atlas/landmarks.xml" -o "$views/atlas_mediterranean.png"

echo "== The atlas for other software: web tiles with a page, a GeoTIFF, a KMZ"
echo
exports=build-main/exports
mkdir -p "$exports"
run_geomap tiles "$atlas" --zoom 3-8 -o build-main/tiles
run_geomap export "$atlas/switzerland_eqc.xml" --to geotiff -o "$exports/switzerland_eqc.tif"
run_geomap export "$atlas/zurich_utm32.xml" --to kmz -o "$exports/zurich_utm32.kmz"

echo "== geoconvert"
echo
run_geoconvert -t utm 47.37 8.54
run_geoconvert -f utm -p 4 32T 465270.4231 5246384.7760
run_geoconvert -t ups 87 45
run_geoconvert -s "ORDNANCE GB" -t utm 51.5 -0.12
echo "\$ printf '60 5\\n75 10\\n84 10\\n' | geoconvert -t utm"
printf '60 5\n75 10\n84 10\n' | "$geoconvert" -t utm
echo
echo "The views are in $views/, the exports in $exports/; the web tiles"
echo "open in a browser from build-main/tiles/index.html (served over HTTP, e.g."
echo "python3 -m http.server -d build-main/tiles)."
