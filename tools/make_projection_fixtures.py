#!/usr/bin/env python3
"""Makes the projection fixtures of the calibration tests in
tests/data/geomap/projections/: for each case a virtual image whose pixels
follow a known projection, calibration points as a person would click them
(rounded pixels) and 200 check points with their exact pixels, all computed
with `gmt mapproject`.

Run by tools/make_projection_fixtures.sh; the tests only read the files.

The script checks its own output before writing: every check point is
projected back with GMT in the inverse direction, and the UTM values are
compared with an exact Transverse Mercator when GeographicLib's
TransverseMercatorProj is installed. It then fits each model to the
calibration points by plain least squares and prints the errors at the
check points (the README of the fixtures records them).
"""
import math
import os
import random
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.dont_write_bytecode = True

from gmtproj import Frame, round_half_even  # noqa: E402

ROOT = os.path.dirname(HERE)
OUT = os.path.join(ROOT, 'tests', 'data', 'geomap', 'projections')

SPHERE = ['--PROJ_ELLIPSOID=Sphere']
UTM_K0 = ['--PROJ_SCALE_FACTOR=0.9996']

# name, projection note, model, frame
CASES = [
    ('eqc', 'plate carree, central meridian 10 E, true scale on the equator, on a sphere',
     'equirect', Frame.centred('-JQ10/0', 10, 47, 2800, 1600, 1000, SPHERE)),
    ('miller', 'Miller cylindrical, central meridian 20 E, on a sphere',
     'millercylindrical', Frame.centred('-JJ20', 20, 15, 6000, 1500, 1800, SPHERE)),
    ('lcc_north', 'Lambert conformal conic, WGS 84, origin 10 E 50 N, standard parallels 35 N and 65 N',
     'conicconformal', Frame.centred('-JL10/50/35/65', 10, 50, 2500, 1600, 1400)),
    ('lcc_equator', 'Lambert conformal conic, WGS 84, origin 20 E 5 N, standard parallels 10 S and 20 N',
     'conicconformal', Frame.centred('-JL20/5/-10/20', 20, 2, 5000, 1500, 1700)),
    # Transverse Mercator about 9 E with k0 0.9996 and the origin on the
    # equator: projected X is the zone 32 easting less 500000 m, Y the
    # northing. The image is an axis-aligned scaling of easting and northing
    # and reaches from about 2 E to 16 E, far beyond the zone (6 E to 12 E).
    ('utm32', 'UTM zone 32, northern hemisphere, WGS 84 (Transverse Mercator about 9 E, k0 0.9996)',
     'utm', Frame('-JT9/0', -60000 - 500000, 5560000, 560, 2000, 1250, UTM_K0)),
]

N_CHECK = 200


def calibration_pixels(frame, rng):
    """Twelve spots on a 4 x 3 grid over the image, each moved a little."""
    w, h = frame.width, frame.height
    spots = []
    for fy in (0.07, 0.5, 0.93):
        for fx in (0.05, 0.36, 0.64, 0.95):
            spots.append((w * (fx + rng.uniform(-0.02, 0.02)), h * (fy + rng.uniform(-0.02, 0.02))))
    return spots


def check_pixels(frame, rng):
    """200 spots: the four corners, 56 along the edges, a jittered 10 x 10
    grid and 40 anywhere. All at least 0.3 pixel inside the image."""
    w, h = frame.width, frame.height
    lo = 0.3
    spots = [(lo + rng.uniform(0, 1), lo + rng.uniform(0, 1)),
             (w - lo - rng.uniform(0, 1), lo + rng.uniform(0, 1)),
             (lo + rng.uniform(0, 1), h - lo - rng.uniform(0, 1)),
             (w - lo - rng.uniform(0, 1), h - lo - rng.uniform(0, 1))]
    for i in range(14):
        t = (i + 0.5) / 14
        spots.append((w * t, lo + rng.uniform(0, 4)))
        spots.append((w * t, h - lo - rng.uniform(0, 4)))
        spots.append((lo + rng.uniform(0, 4), h * t))
        spots.append((w - lo - rng.uniform(0, 4), h * t))
    for j in range(10):
        for i in range(10):
            spots.append((w * (i + rng.uniform(0.1, 0.9)) / 10, h * (j + rng.uniform(0.1, 0.9)) / 10))
    while len(spots) < N_CHECK:
        spots.append((rng.uniform(lo, w - lo), rng.uniform(lo, h - lo)))
    return spots


def make_case(name, note, model, frame):
    rng = random.Random('projection fixture ' + name)
    # A clicked point: a position known to 0.01 degree, its pixel rounded.
    calib_geo = [(round(lat, 2), round(lon, 2))
                 for lat, lon in frame.pixels_to_geo(calibration_pixels(frame, rng))]
    calib_px = frame.geo_to_pixels(calib_geo)
    check_geo = [(round(lat, 6), round(lon, 6))
                 for lat, lon in frame.pixels_to_geo(check_pixels(frame, rng))]
    check_px = frame.geo_to_pixels(check_geo)
    for x, y in calib_px + check_px:
        assert 0 <= x <= frame.width and 0 <= y <= frame.height, (name, x, y)
    utm = model == 'utm'

    def metres(points):
        return [frame.pixel_to_metres(x, y) for x, y in points]

    lines = [
        '# case: %s   projection: %s   region: %s%s' % (name, frame.jflag, frame.region(),
                                                      ' ' + ' '.join(frame.gmt_options)
                                                      if frame.gmt_options else ''),
        '# %s' % note,
        '# region: projected metres about the projection centre (gmt mapproject -C -F)',
        '# image: %d %d' % (frame.width, frame.height),
        '# pixels: x = (X - (%s)) / %s, y = (%s - Y) / %s; X, Y projected metres'
        % (Frame._num(frame.xmin), Frame._num(frame.m), Frame._num(frame.ymax), Frame._num(frame.m)),
        '# model: %s' % model,
    ]
    if utm:
        lines.append('# utm: zone 32, northern hemisphere, WGS 84; northing and easting in metres,'
                     ' in zone 32 also outside it')
        lines.append('# calib: lat lon x y northing easting   (x, y rounded to integers, as clicked)')
        for (lat, lon), (x, y), (X, Y) in zip(calib_geo, calib_px, metres(calib_px)):
            lines.append('calib %.2f %.2f %d %d %.3f %.3f' % (lat, lon, round_half_even(x),
                                                              round_half_even(y), Y, X + 500000))
        lines.append('# check: lat lon x y northing easting   (x, y exact projected pixels, 3 decimals)')
        for (lat, lon), (x, y), (X, Y) in zip(check_geo, check_px, metres(check_px)):
            lines.append('check %.6f %.6f %.3f %.3f %.3f %.3f' % (lat, lon, x, y, Y, X + 500000))
    else:
        lines.append('# calib: lat lon x y   (x, y rounded to integers, as clicked)')
        for (lat, lon), (x, y) in zip(calib_geo, calib_px):
            lines.append('calib %.2f %.2f %d %d' % (lat, lon, round_half_even(x), round_half_even(y)))
        lines.append('# check: lat lon x y   (x, y exact projected pixels, 3 decimals)')
        for (lat, lon), (x, y) in zip(check_geo, check_px):
            lines.append('check %.6f %.6f %.3f %.3f' % (lat, lon, x, y))
    with open(os.path.join(OUT, name + '.txt'), 'w', newline='\n') as f:
        f.write('\n'.join(lines) + '\n')
    return read_case(os.path.join(OUT, name + '.txt'))


def read_case(path):
    """The case as written: (image size, calibration rows, check rows), the
    rows as lists of numbers."""
    size, calib, check = None, [], []
    for line in open(path):
        fields = line.split()
        if line.startswith('# image:'):
            size = (int(fields[2]), int(fields[3]))
        elif fields and fields[0] == 'calib':
            calib.append([float(v) for v in fields[1:]])
        elif fields and fields[0] == 'check':
            check.append([float(v) for v in fields[1:]])
    return size, calib, check


# --- checks of the written values ------------------------------------------

def check_inverse(frame, check):
    """Largest distance, in pixels, between a check point's position and
    GMT's inverse projection of its pixel (written to 0.001 pixel)."""
    geo = frame.pixels_to_geo([(r[2], r[3]) for r in check])
    worst = 0.0
    for (lat, lon), r in zip(geo, check):
        north = (lat - r[0]) * 111320.0
        east = (lon - r[1]) * 111320.0 * math.cos(math.radians(r[0]))
        worst = max(worst, math.hypot(north, east) / frame.m)
    return worst


def check_utm_exact(rows):
    """Largest difference in metres from GeographicLib's exact Transverse
    Mercator, or None when the tool is missing."""
    if not shutil.which('TransverseMercatorProj'):
        return None
    text = ''.join('%.9f %.9f\n' % (r[0], r[1]) for r in rows)
    out = subprocess.run(['TransverseMercatorProj', '-l', '9', '-k', '0.9996', '-p', '4'],
                         input=text, capture_output=True, text=True, check=True).stdout
    worst = 0.0
    for line, r in zip(out.splitlines(), rows):
        x, y = map(float, line.split()[:2])
        worst = max(worst, abs(x + 500000 - r[5]), abs(y - r[4]))
    return worst


# --- least-squares fits of the models, to report the errors to expect ------

def lstsq(rows, rhs):
    """Least-squares solution by Householder QR (small dense systems)."""
    a = [list(r) for r in rows]
    b = list(rhs)
    m, n = len(a), len(a[0])
    for k in range(n):
        norm = math.sqrt(sum(a[i][k] ** 2 for i in range(k, m)))
        if norm == 0:
            continue
        alpha = -norm if a[k][k] > 0 else norm
        v = [0.0] * m
        v[k] = a[k][k] - alpha
        for i in range(k + 1, m):
            v[i] = a[i][k]
        vv = sum(t * t for t in v)
        for j in range(k, n):
            s = 2 * sum(v[i] * a[i][j] for i in range(k, m)) / vv
            for i in range(k, m):
                a[i][j] -= s * v[i]
        s = 2 * sum(v[i] * b[i] for i in range(k, m)) / vv
        for i in range(k, m):
            b[i] -= s * v[i]
    x = [0.0] * n
    for k in reversed(range(n)):
        x[k] = (b[k] - sum(a[k][j] * x[j] for j in range(k + 1, n))) / a[k][k]
    return x


def linfit(xs, ys):
    n = len(xs)
    mx, my = sum(xs) / n, sum(ys) / n
    sxx = sum((x - mx) ** 2 for x in xs)
    k = sum((x - mx) * (y - my) for x, y in zip(xs, ys)) / sxx
    return k, my - k * mx


def fit_linear(calib, a_col, b_col):
    """x, y as linear functions of the two columns (equirect, UTM)."""
    rows = [[1, r[a_col], r[b_col]] for r in calib]
    cx = lstsq(rows, [r[2] for r in calib])
    cy = lstsq(rows, [r[3] for r in calib])
    return lambda r: (cx[0] + cx[1] * r[a_col] + cx[2] * r[b_col],
                      cy[0] + cy[1] * r[a_col] + cy[2] * r[b_col])


def fit_biquadratic(calib):
    terms = lambda lat, lon: [1, lat, lon, lat * lat, lat * lon, lon * lon]  # noqa: E731
    rows = [terms(r[0], r[1]) for r in calib]
    cx = lstsq(rows, [r[2] for r in calib])
    cy = lstsq(rows, [r[3] for r in calib])
    return lambda r: (sum(c * t for c, t in zip(cx, terms(r[0], r[1]))),
                      sum(c * t for c, t in zip(cy, terms(r[0], r[1]))))


def miller_l(lat):
    return math.log(math.tan(0.4 * math.radians(lat) + math.pi / 4))


def fit_miller(calib):
    kx, dx = linfit([math.radians(r[1]) for r in calib], [r[2] for r in calib])
    ky, dy = linfit([miller_l(r[0]) for r in calib], [r[3] for r in calib])
    return lambda r: (kx * math.radians(r[1]) + dx, ky * miller_l(r[0]) + dy)


def fit_conic(calib, size):
    """The cone apex found by a coarse-to-fine search over integer pixels,
    latitude linear in the distance from the apex and longitude linear in
    the angle about it. Returns the apex and the two line fits."""
    xs = [r[2] for r in calib]
    ys = [r[3] for r in calib]
    cx = (min(min(xs), size[0]) + max(max(xs), 0)) // 2
    cy = (min(min(ys), size[1]) + max(max(ys), 0)) // 2

    def evaluate(p1, p2):
        dist = [math.hypot(r[2] - p1, r[3] - p2) for r in calib]
        k1, d1 = linfit(dist, [r[0] for r in calib])
        e_lat = sum((r[0] - k1 * d - d1) ** 2 for r, d in zip(calib, dist))
        use = [r for r in calib if r[3] != p2]
        th = [math.atan((r[2] - p1) / (r[3] - p2)) for r in use]
        k2, d2 = linfit(th, [r[1] for r in use])
        e_lon = sum((r[1] - k2 * t - d2) ** 2 for r, t in zip(use, th))
        return (e_lat + e_lon) / len(calib), (p1, p2, k1, d1, k2, d2)

    best, pars = 1e10, None
    step = 1000000
    while step > 0:
        for i in range(-2, 3):
            for j in range(-2, 3):
                err, p = evaluate(cx + step * i, cy + step * j)
                if err < best:
                    best, pars = err, p
        cx, cy = pars[0], pars[1]
        step //= 2
    p1, p2, k1, d1, k2, d2 = pars
    # Points on the apex's own side of the map: the side of the calibration
    # points, whatever the sign of the latitude.
    side = 1 if sum(r[3] for r in calib) / len(calib) > p2 else -1

    def predict(r):
        t = math.tan((r[1] - d2) / k2)
        q = (r[0] - d1) / k1
        y = p2 + side * q / math.sqrt(t * t + 1)
        return p1 + (y - p2) * t, y
    return predict


def errors(predict, check):
    d = [math.hypot(px - r[2], py - r[3]) for r in check for px, py in [predict(r)]]
    return max(d), math.sqrt(sum(v * v for v in d) / len(d))


def report(name, model, size, calib, check):
    results = []
    if model == 'equirect':
        results.append(('equirect', fit_linear(calib, 0, 1)))
    elif model == 'millercylindrical':
        results.append(('millercylindrical', fit_miller(calib)))
    elif model == 'utm':
        results.append(('utm', fit_linear(calib, 4, 5)))
    else:
        results.append(('conicconformal', fit_conic(calib, size)))
    results.append(('biquadraticpn', fit_biquadratic(calib)))
    return [(name, m, *errors(p, check)) for m, p in results]


def main():
    os.makedirs(OUT, exist_ok=True)
    table = []
    for name, note, model, frame in CASES:
        assert frame.width * frame.height <= 3000000
        size, calib, check = make_case(name, note, model, frame)
        assert 9 <= len(calib) <= 16 and len(check) == N_CHECK
        inv = check_inverse(frame, check)
        assert inv < 0.002, '%s: inverse projection is %g px off' % (name, inv)
        line = '%-12s %4d x %4d  %2d calib  %d check  inverse within %.4f px' % (
            name, size[0], size[1], len(calib), len(check), inv)
        if model == 'utm':
            exact = check_utm_exact(calib + check)
            if exact is not None:
                # GMT's series drifts by centimetres this far from the central
                # meridian: a few millionths of a pixel here.
                assert exact < 0.1, '%s: %g m from exact Transverse Mercator' % (name, exact)
                line += '  exact TM within %.4f m' % exact
        print(line)
        table += report(name, model, size, calib, check)
    print('\nleast-squares fits, errors at the check points (pixels, unrounded):')
    for name, model, worst, rms in table:
        print('  %-12s %-18s worst %8.3f  rms %8.3f' % (name, model, worst, rms))


if __name__ == '__main__':
    main()
