#!/usr/bin/env bash
# Installs the Debian packages the build needs, only those that are missing.
# With the argument "fuzz": also clang and its runtime (libFuzzer and the
# sanitizers) for the fuzz build.
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev libsqlite3-dev
  libjpeg-dev libpng-dev libcairo2-dev libfreetype-dev libfontconfig-dev fonts-dejavu-core
  poppler-utils imagemagick
  # the UTM benchmark compares with this library (benchmarks only)
  libgeographiclib-dev
  # projected calibrations (PROJ and its database) and the spline kernels
  libproj-dev proj-data libhwy-dev
  # independent oracles of the calibration tests: gdaltransform, gmt mapproject
  gdal-bin gmt
  # geoview, and its test in a real X server driven by xdotool
  libsdl2-dev xvfb xauth xdotool
  # the Python package, and its tests against pyproj
  pybind11-dev python3-dev python3-numpy python3-pytest python3-pyproj
)
if [ "${1:-}" = fuzz ]; then
  packages+=(clang-14 libclang-rt-14-dev)
fi

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
