#!/usr/bin/env bash
# Installs the Debian packages a job needs, only those that are missing.
#   (no argument)  what the build of the library and the tools needs: the
#                  main job (scripts/main.sh)
#   test           also the test and benchmark libraries and the tools the
#                  tests drive (poppler, ImageMagick, Xvfb, xdotool): the
#                  test command (scripts/test.sh)
#   fuzz           the test packages and clang with its runtime (libFuzzer
#                  and the sanitizers) for the fuzz build
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  libjpeg-dev libpng-dev libcairo2-dev libfreetype-dev libfontconfig-dev fonts-dejavu-core
  # projected calibrations (PROJ and its database) and the spline kernels
  libproj-dev proj-data libhwy-dev
  libsdl2-dev # geoview
  # TIFF and GeoTIFF maps, KMZ archives, MBTiles, the tile viewer's page
  libtiff-dev libgeotiff-dev libzip-dev libsqlite3-dev libjs-leaflet
  # the image pyramid's cache file
  libzstd-dev
  # geodesic lengths of tracks
  libgeographiclib-dev
  # marovia_qt, the map widget for Qt 6 applications
  qt6-base-dev
)
test_packages=(
  libgtest-dev libgmock-dev libbenchmark-dev
  poppler-utils imagemagick
  # checks the structure of printed PDF files and rewrites them for the
  # georeferencing tests' reader
  qpdf
  # geoview's test in a real X server driven by xdotool
  xvfb xauth xdotool
  # the UTM and MGRS benchmarks compare with this library (benchmarks only);
  # its GeoConvert is the MGRS tests' oracle
  geographiclib-tools
  # independent oracles of the calibration tests: gdaltransform, gmt mapproject
  gdal-bin gmt gmt-gshhg-high
  # datum shifts checked against cs2cs
  proj-bin
  # calibration, landmark and symbol files checked as XML by xmllint
  libxml2-utils
  # rasterises the large sample map that the image pyramid is tested and measured on
  ghostscript
  # the web tile page in a headless browser; the large-map benchmark's peer
  chromium libvips-tools
  # the Python package, and its tests against pyproj; installed by pip into a
  # fresh virtual environment (setuptools driving CMake) and built as a wheel
  pybind11-dev python3-dev python3-numpy python3-pytest python3-pyproj
  # the track readers' oracle: converts every track format to GPX; xmllint
  # checks that written XML is well formed
  gpsbabel libxml2-utils
  # a real gpsd fed by gpsfake (in gpsd-clients) for the live position tests
  gpsd gpsd-clients
  # a single-node Slurm cluster (munged, slurmctld, slurmd) runs the tile
  # shards of the cluster array script
  slurm-wlm munge
  python3-venv python3-pip python3-setuptools python3-wheel python3-build
  # node runs the IIIF maps community's annotation packages (installed below
  # from npm) as the oracle of the georeference annotations
  nodejs
)
case "${1:-}" in
  "") ;;
  test) packages+=("${test_packages[@]}") ;;
  fuzz) packages+=("${test_packages[@]}" clang-14 libclang-rt-14-dev lld-14 ninja-build) ;;
  *)
    echo "setup: unknown job '$1' (none, test or fuzz)" >&2
    exit 2
    ;;
esac

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  sudo_cmd=()
  if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The georeference annotation tests' oracle: two npm packages at pinned
# versions in a folder outside the repository (the tests look there, or in
# $MAROVIA_NPM_PREFIX).
if [ "${1:-}" = test ] || [ "${1:-}" = fuzz ]; then
  npm_prefix="${MAROVIA_NPM_PREFIX:-$HOME/.cache/marovia/npm}"
  npm_packages=(@allmaps/annotation@1.0.0-beta.38 @allmaps/transform@1.0.0-beta.53)
  if ! [ -f "$npm_prefix/node_modules/@allmaps/annotation/package.json" ] ||
    ! [ -f "$npm_prefix/node_modules/@allmaps/transform/package.json" ] ||
    ! grep -q '"version": "1.0.0-beta.38"' "$npm_prefix/node_modules/@allmaps/annotation/package.json" ||
    ! grep -q '"version": "1.0.0-beta.53"' "$npm_prefix/node_modules/@allmaps/transform/package.json"; then
    if ! command -v npm >/dev/null 2>&1; then
      sudo_cmd=()
      if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
      DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends npm
    fi
    echo "setup: installing ${npm_packages[*]} into $npm_prefix"
    mkdir -p "$npm_prefix"
    npm install --no-audit --no-fund --prefix "$npm_prefix" "${npm_packages[@]}"
  fi
fi
