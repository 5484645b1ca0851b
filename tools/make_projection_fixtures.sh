#!/bin/sh
# Regenerates the projection fixtures of the calibration tests in
# tests/data/geomap/projections/. Run by hand; the build and the tests use
# the committed files and need none of these programs. With --crs: the
# fixtures of maps with a known coordinate reference system (crs_*.txt)
# instead.
#
# Needs, on Debian:
#   apt-get install gmt python3
# and, for the extra check of the UTM case against an exact Transverse
# Mercator, geographiclib-tools.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
for prog in gmt python3; do
  command -v "$prog" >/dev/null 2>&1 || { echo "make_projection_fixtures: $prog is missing" >&2; exit 1; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
if [ "${1:-}" = --crs ]; then
  shift
  python3 "$here/make_crs_fixtures.py" "$@"
else
  python3 "$here/make_projection_fixtures.py" "$@"
fi
