#!/bin/sh
# Regenerates the sample atlas in samples/atlas/ (map images, calibration
# files, landmark and symbol files). Run by hand; the build and the tests use
# the committed files and need none of these programs.
#
# Needs, on Debian:
#   apt-get install gmt gmt-gshhg-low gmt-gshhg-high ghostscript imagemagick python3
# (gmt-gshhg-high gives the coastlines of the three finest maps.)
set -eu
here=$(cd "$(dirname "$0")" && pwd)
for prog in gmt gs convert python3; do
  command -v "$prog" >/dev/null 2>&1 || { echo "make_sample_atlas: $prog is missing" >&2; exit 1; }
done
# Run GMT where its session files cannot land in the work tree.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
python3 "$here/make_sample_atlas.py" "$@"
