#!/usr/bin/env bash
# Sets up, builds the command-line tools and converts a few sample positions
# with geoconvert: geographic to UTM and UPS, a datum shift, and back.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)

bash scripts/setup.sh >&2
cmake -S . -B build-main -DCMAKE_BUILD_TYPE=Release \
  -DMAROVIA_BUILD_TESTS=OFF -DMAROVIA_BUILD_BENCH=OFF >&2
cmake --build build-main -j"$jobs" --target geoconvert >&2

geoconvert=build-main/apps/geoconvert/geoconvert
run() {
  printf '$ geoconvert'; printf ' %q' "$@"; echo
  "$geoconvert" "$@"
  echo
}

if (($#)); then
  exec "$geoconvert" "$@"
fi
run -t utm 50 10
run -f utm -p 4 32U 571666.4475 5539109.8153
run -t utm -- -33.9 18.4
run -t ups 87 45
run -t cart 52.5 13.4 34
run -s "ORDNANCE GB" -t utm 51.5 -0.12
run --country de
echo "\$ printf '60 5\\n75 10\\n84 10\\n' | geoconvert -t utm"
printf '60 5\n75 10\n84 10\n' | "$geoconvert" -t utm
