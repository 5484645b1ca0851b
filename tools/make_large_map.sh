#!/bin/sh
# Makes a large calibrated sample map (a JPEG of SIZE x SIZE pixels, by
# default 16384 x 16384, about 268 megapixels, and its calibration file) for
# the image pyramid's benchmarks and tests. The output is not committed.
#
#   tools/make_large_map.sh --out DIR [--size SIZE] [--name NAME]
#
# Needs, on Debian: apt-get install gmt gmt-gshhg-high ghostscript python3
set -eu
here=$(cd "$(dirname "$0")" && pwd)
for prog in gmt gs python3; do
  command -v "$prog" >/dev/null 2>&1 || { echo "make_large_map: $prog is missing" >&2; exit 1; }
done
# Run GMT where its session files cannot land in the work tree.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
python3 "$here/make_large_map.py" "$@"
