#!/usr/bin/env bash
# Installs the Debian packages a job needs, only those that are missing.
#   (no argument)  what the build of the library and the tools needs: the
#                  main job (scripts/main.sh)
#   test           also the test and benchmark libraries and the tools the
#                  tests drive (poppler, ImageMagick, Xvfb, xdotool): the
#                  test command (scripts/test.sh)
#   fuzz           also clang and its runtime (libFuzzer and the sanitizers)
#                  for the fuzz build
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  libjpeg-dev libpng-dev libcairo2-dev libfreetype-dev libfontconfig-dev fonts-dejavu-core
  libsdl2-dev # geoview
)
case "${1:-}" in
  "") ;;
  test)
    packages+=(
      libgtest-dev libgmock-dev libbenchmark-dev libsqlite3-dev
      poppler-utils imagemagick
      # geoview's test in a real X server driven by xdotool
      xvfb xauth xdotool
    )
    ;;
  fuzz) packages+=(clang-14 libclang-rt-14-dev) ;;
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
