#!/usr/bin/env python3
"""Computes the reference values of the geodesy tests with independent tools.

Run once by hand (the build never runs it); it needs the Debian packages
geographiclib-tools (TransverseMercatorProj) and proj-bin (cct):

    python3 geobasics/tools/make_fixtures.py

It writes three files to tests/data/geobasics/:

  utm_grid.csv     lat,lon,zone,easting,northing
                   exact Transverse Mercator, k0 0.9996, about the central
                   meridian of the zone, plus the UTM false origins;
  ups_grid.csv     hemisphere,lat,lon,x,y
                   polar stereographic, k0 0.994, false origin 2000000 m;
  helmert_grid.csv datum,lat,lon,height,lat84,lon84,height84
                   geographic -> cartesian on the datum's ellipsoid, the
                   datum's seven-parameter Helmert shift (position vector),
                   cartesian -> geographic on WGS 84.

All on the catalogue's own axes (a and the stored b), not on the tools'
built-in ellipsoids.
"""
import csv
import os
import re
import subprocess

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
OUT = os.path.join(ROOT, "tests", "data", "geobasics")
DATUMS = os.path.join(ROOT, "geobasics", "data", "datums.csv")
ELLIPSOIDS = os.path.join(ROOT, "geobasics", "src", "ellipsoids.cpp")

WGS84_A = 6378137.0
WGS84_B = 6356752.314245


def axes():
    """Catalogue axes by identifier, read from the catalogue source."""
    text = open(ELLIPSOIDS, encoding="ascii").read()
    return {m.group(3): (float(m.group(1)), float(m.group(2)))
            for m in re.finditer(r"\{([0-9.]+), ([0-9.]+)\},\s*// (gel\w+)", text)}


def run(cmd, lines):
    out = subprocess.run(cmd, input="\n".join(lines) + "\n", capture_output=True, text=True,
                         check=True).stdout.split("\n")
    out = [l.split() for l in out if l.strip()]
    assert len(out) == len(lines), (cmd, len(out), len(lines))
    return out


def utm_grid():
    flattening = repr(1.0 - WGS84_B / WGS84_A)
    # Zones clear of the Norway and Svalbard exceptions, so that the zone of
    # every point is the regular one; offsets reach 3 degrees both ways
    # (+3 itself belongs to the next zone).
    zones = (1, 18, 44, 60)
    offsets = (-3.0, -2.25, -1.5, -0.75, 0.0, 0.6, 1.35, 2.1, 2.95)
    lats = [float(l) for l in range(-80, 85, 4)] + [-0.5, 0.5, 83.5, 84.0, -79.9]
    rows = []
    for zone in zones:
        lon0 = 6 * zone - 183
        pts = [(lat, lon0 + off) for lat in lats for off in offsets]
        res = run(["TransverseMercatorProj", "-t", "-l", str(lon0), "-k", "0.9996",
                   "-e", str(WGS84_A), flattening, "-p", "7"],
                  ["%r %r" % p for p in pts])
        for (lat, lon), r in zip(pts, res):
            x, y = float(r[0]), float(r[1])
            northing = y + 10000000.0 if y < 0 else y
            rows.append((lat, lon, zone, "%.7f" % (x + 500000.0), "%.7f" % northing))
    # Beyond the UTM latitudes the zone is 0 and the projection is taken
    # about the Greenwich meridian; the series still has to hold there.
    polar = [(lat, off) for lat in (-90.0, -89.5, -88.0, -85.0, -80.5, 84.5, 86.0, 88.0, 89.5, 90.0)
             for off in offsets]
    res = run(["TransverseMercatorProj", "-t", "-l", "0", "-k", "0.9996",
               "-e", str(WGS84_A), flattening, "-p", "7"], ["%r %r" % p for p in polar])
    for (lat, lon), r in zip(polar, res):
        x, y = float(r[0]), float(r[1])
        northing = y + 10000000.0 if y < 0 else y
        rows.append((lat, lon, 0, "%.7f" % (x + 500000.0), "%.7f" % northing))
    with open(os.path.join(OUT, "utm_grid.csv"), "w", newline="") as f:
        w = csv.writer(f, lineterminator="\n")
        w.writerow(("lat", "lon", "zone", "easting", "northing"))
        w.writerows(rows)


def ups_grid():
    rows = []
    for hemi, sign, south in (("N", 1, []), ("S", -1, ["+south"])):
        lats = [sign * l for l in (60.0, 70.0, 80.0, 84.0, 85.0, 87.0, 89.0, 89.99)]
        lons = [float(l) for l in range(-180, 180, 15)] + [179.5]
        pts = [(lat, lon) for lat in lats for lon in lons]
        res = run(["cct", "-d", "7", "+proj=ups", "+a=%r" % WGS84_A, "+b=%r" % WGS84_B] + south,
                  ["%r %r 0 0" % (lon, lat) for lat, lon in pts])
        for (lat, lon), r in zip(pts, res):
            rows.append((hemi, lat, lon, r[0], r[1]))
    with open(os.path.join(OUT, "ups_grid.csv"), "w", newline="") as f:
        w = csv.writer(f, lineterminator="\n")
        w.writerow(("hemisphere", "lat", "lon", "x", "y"))
        w.writerows(rows)


def helmert_grid():
    ell = axes()
    datums = list(csv.DictReader(open(DATUMS, encoding="utf-8")))
    pts = [(lat, lon, h) for lat in (-60.0, -20.0, 0.0, 35.0, 52.5, 75.0)
           for lon in (-150.0, -60.0, 5.0, 30.0, 120.0) for h in (0.0, 850.0)]
    rows = []
    for d in datums:
        params = [float(d[k]) for k in ("scale_ppm", "rx_arcsec", "ry_arcsec", "rz_arcsec")]
        if not any(params):
            continue  # seven-parameter rows only
        a, b = ell[d["ellipsoid"]]
        cmd = ["cct", "-d", "10", "+proj=pipeline",
               "+step", "+proj=cart", "+a=%r" % a, "+b=%r" % b,
               "+step", "+proj=helmert", "+x=" + d["dx"], "+y=" + d["dy"], "+z=" + d["dz"],
               "+rx=" + d["rx_arcsec"], "+ry=" + d["ry_arcsec"], "+rz=" + d["rz_arcsec"],
               "+s=" + d["scale_ppm"], "+convention=position_vector",
               "+step", "+inv", "+proj=cart", "+a=%r" % WGS84_A, "+b=%r" % WGS84_B]
        res = run(cmd, ["%r %r %r 0" % (lon, lat, h) for lat, lon, h in pts])
        for (lat, lon, h), r in zip(pts, res):
            rows.append((d["no"], lat, lon, h, r[1], r[0], r[2]))
    with open(os.path.join(OUT, "helmert_grid.csv"), "w", newline="") as f:
        w = csv.writer(f, lineterminator="\n")
        w.writerow(("datum", "lat", "lon", "height", "lat84", "lon84", "height84"))
        w.writerows(rows)


if __name__ == "__main__":
    os.makedirs(OUT, exist_ok=True)
    utm_grid()
    ups_grid()
    helmert_grid()
