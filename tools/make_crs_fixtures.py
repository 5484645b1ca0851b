#!/usr/bin/env python3
"""Makes the fixtures of maps with a known coordinate reference system in
tests/data/geomap/projections/ (crs_*.txt): for each case a virtual image
whose pixels are an axis-aligned scaling of the CRS's easting and northing,
twelve calibration points as a person would click them (rounded pixels) and
100 check points inside the clicked area with their exact pixels, all
computed with `gmt mapproject`.

Run by tools/make_projection_fixtures.sh --crs; the tests only read the
files. The tests project the points with the CRS text through their own
projection code, so GMT's side is given the same projection by its own
options (the pairs agree within micrometres where the tests compare them).
"""
import os
import random
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.dont_write_bytecode = True

from gmtproj import Frame, round_half_even  # noqa: E402

ROOT = os.path.dirname(HERE)
OUT = os.path.join(ROOT, 'tests', 'data', 'geomap', 'projections')
ELLIPSOID = ['--PROJ_ELLIPSOID=WGS-84']


class ScaleFrame(Frame):
    """A frame whose -J option gives the scale 1:1 instead of the map
    width: mapproject -C -F answers metres either way, and the scale form
    is the one where the polar stereographic takes a latitude of true
    scale."""

    def projection(self):
        return '%s/1:1' % self.jflag


def centred(jflag, lon, lat, metres_per_pixel, width, height, near=(0, 0)):
    """A frame whose middle lies at the projected position of (lon, lat),
    rounded to whole metres. near: projected metres near that position, for
    the region of the first call (UTM south has its northings far from 0)."""
    probe = ScaleFrame(jflag, near[0] - 1.0, near[1] + 1.0, 1.0, 2, 2, ELLIPSOID)
    cx, cy = probe.forward([(lon, lat)])[0]
    cx, cy = round(cx), round(cy)
    return ScaleFrame(jflag, cx - width * metres_per_pixel / 2.0,
                      cy + height * metres_per_pixel / 2.0, metres_per_pixel, width, height,
                      ELLIPSOID)


# name, note, CRS text, frame (GMT's -J in the scale form, lower case)
CASES = [
    ('crs_mercator', 'Mercator of Japan, WGS 84, central meridian 0, true scale on the equator',
     'EPSG:3395', centred('-Jm0/0', 137, 36, 1500, 1400, 1600)),
    ('crs_lcc', 'Lambert conformal conic of the USA, WGS 84, origin 96 W 39 N, '
     'standard parallels 33 N and 45 N',
     '+proj=lcc +lat_1=33 +lat_2=45 +lat_0=39 +lon_0=-96 +datum=WGS84 +units=m',
     centred('-Jl-96/39/33/45', -96, 39, 3000, 1600, 1000)),
    ('crs_utm33s', 'UTM zone 33 south of Namibia, WGS 84 (false easting 500 km, '
     'false northing 10000 km)', 'EPSG:32733', centred('-Ju-33', 17, -22, 600, 1600, 1800,
                                                      near=(700000, 7560000))),
    ('crs_polar_stereo', 'polar stereographic of Antarctica, WGS 84, true scale at 71 S, '
     'central meridian 0', 'EPSG:3031', centred('-Js0/-90/-71', -60, -72, 2000, 1500, 1500)),
]

N_CHECK = 100


def calibration_pixels(frame, rng):
    """Twelve spots on a 4 x 3 grid over the image, each moved a little."""
    w, h = frame.width, frame.height
    spots = []
    for fy in (0.07, 0.5, 0.93):
        for fx in (0.05, 0.36, 0.64, 0.95):
            spots.append((w * (fx + rng.uniform(-0.02, 0.02)), h * (fy + rng.uniform(-0.02, 0.02))))
    return spots


def check_pixels(frame, rng):
    """100 spots inside the clicked area: a jittered 10 x 10 grid over the
    rectangle 8 % to 92 % of the width and 10 % to 90 % of the height, which
    lies inside the hull of the clicks."""
    w, h = frame.width, frame.height
    spots = []
    for j in range(10):
        for i in range(10):
            fx = 0.08 + 0.84 * (i + rng.uniform(0.05, 0.95)) / 10
            fy = 0.10 + 0.80 * (j + rng.uniform(0.05, 0.95)) / 10
            spots.append((w * fx, h * fy))
    return spots


def make_case(name, note, crs, frame):
    rng = random.Random('crs fixture ' + name)
    calib_geo = [(round(lat, 2), round(lon, 2))
                 for lat, lon in frame.pixels_to_geo(calibration_pixels(frame, rng))]
    calib_px = frame.geo_to_pixels(calib_geo)
    check_geo = [(round(lat, 6), round(lon, 6))
                 for lat, lon in frame.pixels_to_geo(check_pixels(frame, rng))]
    check_px = frame.geo_to_pixels(check_geo)
    for x, y in calib_px + check_px:
        assert 0 <= x <= frame.width and 0 <= y <= frame.height, (name, x, y)
    lines = [
        '# case: %s   projection: %s   region: %s %s' % (name, frame.projection(), frame.region(),
                                                      ' '.join(frame.gmt_options)),
        '# %s' % note,
        '# crs: %s' % crs,
        '# region: projected metres of the CRS, false easting and northing included'
        ' (gmt mapproject -C -F)',
        '# image: %d %d' % (frame.width, frame.height),
        '# pixels: x = (X - (%s)) / %s, y = (%s - Y) / %s; X, Y projected metres'
        % (Frame._num(frame.xmin), Frame._num(frame.m), Frame._num(frame.ymax), Frame._num(frame.m)),
        '# calib: lat lon x y   (x, y rounded to integers, as clicked)',
    ]
    for (lat, lon), (x, y) in zip(calib_geo, calib_px):
        lines.append('calib %.2f %.2f %d %d' % (lat, lon, round_half_even(x), round_half_even(y)))
    lines.append('# check: lat lon x y   (x, y exact projected pixels, 3 decimals)')
    for (lat, lon), (x, y) in zip(check_geo, check_px):
        lines.append('check %.6f %.6f %.3f %.3f' % (lat, lon, x, y))
    with open(os.path.join(OUT, name + '.txt'), 'w', newline='\n') as f:
        f.write('\n'.join(lines) + '\n')
    return calib_geo, check_geo


def main():
    os.makedirs(OUT, exist_ok=True)
    for name, note, crs, frame in CASES:
        assert frame.width * frame.height <= 3000000
        calib, check = make_case(name, note, crs, frame)
        lats = [p[0] for p in calib]
        lons = [p[1] for p in calib]
        print('%-17s %4d x %4d  %s  clicks %.2f..%.2f N, %.2f..%.2f E' % (
            name, frame.width, frame.height, crs.split()[0], min(lats), max(lats), min(lons),
            max(lons)))


if __name__ == '__main__':
    main()
