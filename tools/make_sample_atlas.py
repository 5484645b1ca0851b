#!/usr/bin/env python3
"""Makes the sample atlas in samples/atlas/: map images drawn by GMT from the
GSHHG coastlines and borders, a calibration file beside each image, a
landmark file and a symbol file.

Run by tools/make_sample_atlas.sh (which checks for the programs); the build
and the tests only use the files this writes.

Every calibration point is computed with `gmt mapproject` in the projection
the image was drawn in, then rounded to the nearest pixel as a person
clicking on the map would get it. Corners and resolution are computed from
the same projection for the image's corner pixels and middle row. After
drawing, each map is drawn once more with markers on its calibration points
and the markers are looked up in the raster, so a map whose pixels do not
follow the computed projection fails the run.
"""
import csv
import os
import shutil
import struct
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.dont_write_bytecode = True

from gmtproj import Frame, round_half_even, run_gmt  # noqa: E402
import xmlfiles  # noqa: E402

ROOT = os.path.dirname(HERE)
OUT = os.path.join(ROOT, 'samples', 'atlas')
COUNTRIES = os.path.join(ROOT, 'geobasics', 'data', 'countries.csv')

# Flat colours of the images (R, G, B); samples/README.md records them.
LAND = (232, 222, 188)
SEA = (160, 196, 232)           # sea and lakes
COAST_PEN = '60/90/130'
BORDER_PEN = '170/70/70'
GRATICULE_PEN = '120/130/150'
UTM_GRID_PEN = '90/90/170'
LABEL_COLOUR = '60/60/80'
JPEG_QUALITY = 95
SUPERSAMPLING = 3

SPHERE = ['--PROJ_ELLIPSOID=Sphere']   # the cylindrical maps are drawn on a sphere
UTM_K0 = ['--PROJ_SCALE_FACTOR=0.9996']


def rgb(c):
    return '%d/%d/%d' % c


# --- the maps ----------------------------------------------------------------
#
# Nested by resolution: overview (about 7.1 km per pixel) > Europe (2.7 km) >
# British Isles and Iberia (800 m) > Alps (580 m) > Switzerland (240 m) >
# Zurich (125 m). Each map is more than 10 % finer than the coarser maps that
# contain it, so zooming in the atlas steps through them.

MAPS = [
    dict(name='overview_miller',
         caption='Europe, Africa and the Middle East (Miller cylindrical)',
         model='millercylindrical',
         frame=Frame.centred('-JJ22.5', 22.5, 24.9, 8000, 1320, 1760, SPHERE),
         coast=['-Dl', '-A2000'], graticule=10.0, step=0.25,
         calib=('grid', [-10, 20, 50], [-30, 0, 30, 60])),
    dict(name='europe_lcc',
         caption='Europe (Lambert conformal conic)',
         model='conicconformal',
         frame=Frame.centred('-JL10/52/40/62', 13, 53.6, 2700, 1700, 1650),
         coast=['-Di', '-A300'], graticule=5.0, step=0.1,
         calib=('grid', [-10, 0, 10, 20, 30], [40, 50, 60])),
    dict(name='british_isles_albers',
         caption='British Isles (Albers conic, calibrated by graticule lines)',
         model='parabolicip',
         frame=Frame.centred('-JB-4/54/50/58', -3.5, 54.6, 800, 1250, 1500),
         coast=['-Di', '-A20'], graticule=2.0, step=0.05, labels=True,
         calib=('lines', [-10, -8, -6, -4, -2, 0, 2], [50, 52, 54, 56, 58])),
    dict(name='iberia_stereo',
         caption='Iberian Peninsula (stereographic, biquadratic calibration)',
         model='biquadraticpn',
         frame=Frame.centred('-JS-4/40', -3.6, 40.1, 800, 1600, 1300),
         coast=['-Di', '-A20'], graticule=2.0, step=0.05,
         calib=('grid', [-8, -5, -2, 1], [37, 40, 43])),
    dict(name='alps_eqc',
         caption='Alps (plate carrée)',
         model='equirect',
         frame=Frame.centred('-JQ10.5/46', 10.5, 46.2, 580, 1600, 1150, SPHERE),
         coast=['-Dh', '-A10'], graticule=1.0, step=0.05,
         calib=('grid', [6, 9, 12, 15], [44, 46, 48])),
    dict(name='switzerland_eqc',
         caption='Switzerland (plate carrée)',
         model='equirect',
         frame=Frame.centred('-JQ8.2/46.8', 8.22, 46.8, 240, 1600, 1000, SPHERE),
         coast=['-Dh', '-A1'], graticule=0.5, step=0.02,
         calib=('grid', [6.0, 7.5, 9.0, 10.5], [46.0, 46.5, 47.0, 47.5])),
    # Transverse Mercator about 9 deg E with k0 0.9996 and the origin on the
    # equator: projected X is the zone 32 easting less 500000 m, Y the northing.
    dict(name='zurich_utm32',
         caption='Zurich and Lake Constance (UTM zone 32N)',
         model='utm', utm_zone=32,
         frame=Frame('-JT9/0', 390000 - 500000, 5340000, 125, 1600, 1200, UTM_K0),
         coast=['-Dh', '-A1'], utm_grid=10000,
         calib=('utm', [400000, 450000, 510000, 570000], [5200000, 5260000, 5320000])),
]

# A point of a calibration must lie this share of the image size inside it.
CALIB_MARGIN = 0.03


# --- drawing -----------------------------------------------------------------

def page_options(frame):
    return ['-Xa0', '-Ya0', '--PS_MEDIA=%dx%d' % (frame.width, frame.height),
            '--PS_PAGE_ORIENTATION=portrait']


def pixel_space(frame):
    """Options of a linear overlay whose units are the image's pixels (y up)."""
    return ['-R0/%d/0/%d' % (frame.width, frame.height),
            '-JX%dp/%dp' % (frame.width, frame.height)]


def geographic_bounds(frame):
    """Smallest and largest latitude and longitude on the frame's edges."""
    w, h, n = frame.width, frame.height, 40
    edge = ([(w * i / n, 0) for i in range(n + 1)] + [(w * i / n, h) for i in range(n + 1)]
            + [(0, h * i / n) for i in range(n + 1)] + [(w, h * i / n) for i in range(n + 1)])
    pts = frame.pixels_to_geo(edge)
    lats = [p[0] for p in pts]
    lons = [p[1] for p in pts]
    return min(lats), max(lats), min(lons), max(lons)


def frange(start, stop, step):
    values, k = [], 0
    while start + k * step <= stop + 1e-9:
        values.append(round(start + k * step, 9))
        k += 1
    return values


def graticule_lines(frame, spacing, step):
    """Meridians and parallels every `spacing` degrees as dense pixel
    polylines: [(kind, value, [(x, y)])]."""
    lat0, lat1, lon0, lon1 = geographic_bounds(frame)
    lat0, lat1 = max(lat0 - spacing, -89.0), min(lat1 + spacing, 89.0)
    lon0, lon1 = lon0 - spacing, lon1 + spacing
    first = lambda v: spacing * int(v // spacing)  # noqa: E731
    lines = []
    for lon in frange(first(lon0), lon1, spacing):
        geo = [(lat, lon) for lat in frange(lat0, lat1, step)]
        lines.append(('meridian', lon, frame.geo_to_pixels(geo)))
    for lat in frange(first(lat0), lat1, spacing):
        geo = [(lat, lon) for lon in frange(lon0, lon1, step)]
        lines.append(('parallel', lat, frame.geo_to_pixels(geo)))
    return lines


def write_segments(path, polylines, height):
    with open(path, 'w') as f:
        for line in polylines:
            f.write('>\n')
            for x, y in line:
                f.write('%.3f %.3f\n' % (x, height - y))


def degree_label(value, kind):
    hemi = ('E' if value > 0 else 'W' if value < 0 else '') if kind == 'meridian' else \
        ('N' if value > 0 else 'S' if value < 0 else '')
    return '%g@.%s' % (abs(value), hemi)


def graticule_labels(frame, lines):
    """Labels of the meridians near the bottom edge and of the parallels near
    the left edge, in pixel space: [(x, y, text, justify)]."""
    labels = []
    for kind, value, pts in lines:
        inside = [(x, y) for x, y in pts if 0 < x < frame.width and 0 < y < frame.height]
        if not inside:
            continue
        if kind == 'meridian':
            x, y = max(inside, key=lambda p: p[1])
            if y > frame.height - 30:
                labels.append((x + 4, 8, degree_label(value, kind), 'BL'))
        else:
            x, y = min(inside, key=lambda p: p[0])
            if x < 30:
                labels.append((6, frame.height - y + 4, degree_label(value, kind), 'BL'))
    return labels


def draw_map(m, tmp, ps_path):
    """Writes the PostScript of map m (without the closing call)."""
    frame = m['frame']
    common = frame.drawing_options()
    page = page_options(frame)
    ps = open(ps_path, 'wb')

    def gmt(args, stdin_text=''):
        ps.write(run_gmt(args, stdin_text).encode('latin-1'))

    gmt(['pscoast'] + common + m['coast'] + ['-G' + rgb(LAND), '-S' + rgb(SEA), '-C' + rgb(SEA),
                                             '-K'] + page)
    if m.get('graticule'):
        lines = graticule_lines(frame, m['graticule'], m['step'])
        seg = os.path.join(tmp, m['name'] + '_grat.txt')
        write_segments(seg, [pts for _, _, pts in lines], frame.height)
        width = '0.8p' if m.get('labels') else '0.5p'
        gmt(['psxy', seg] + pixel_space(frame) + ['-W%s,%s' % (width, GRATICULE_PEN), '-O', '-K']
            + page)
    if m.get('utm_grid'):
        step = m['utm_grid']
        lines = []
        e = step * (int((frame.xmin + 500000) // step) + 1)
        while e - 500000 < frame.xmax:
            x = (e - 500000 - frame.xmin) / frame.m
            lines.append([(x, 0), (x, frame.height)])
            e += step
        n = step * (int(frame.ymin // step) + 1)
        while n < frame.ymax:
            y = (frame.ymax - n) / frame.m
            lines.append([(0, y), (frame.width, y)])
            n += step
        seg = os.path.join(tmp, m['name'] + '_utm.txt')
        write_segments(seg, lines, frame.height)
        gmt(['psxy', seg] + pixel_space(frame) + ['-W0.6p,' + UTM_GRID_PEN, '-O', '-K'] + page)
    gmt(['pscoast'] + common + m['coast'] + ['-W1/0.8p,' + COAST_PEN, '-W2/0.6p,' + COAST_PEN,
                                             '-N1/0.8p,' + BORDER_PEN, '-O', '-K'] + page)
    if m.get('labels'):
        labels = graticule_labels(frame, graticule_lines(frame, m['graticule'], m['step']))
        text = ''.join('%.2f %.2f %s %s\n' % (x, y, j, t) for x, y, t, j in labels)
        gmt(['pstext'] + pixel_space(frame) + ['-F+f9p,Helvetica,%s+j' % LABEL_COLOUR, '-O', '-K']
            + page, text)
    ps.close()


def close_ps(ps_path, frame):
    with open(ps_path, 'ab') as ps:
        ps.write(run_gmt(['psxy', '-T', '-O'] + pixel_space(frame) + page_options(frame))
                 .encode('latin-1'))


def rasterize(ps_path, out_dir, base, frame):
    """PostScript -> PPM of the frame's size. Drawn at three pixels per point
    without antialiasing and averaged over each 3 x 3 block: antialiased
    drawing would leave faint seams where GMT's coastline tiles meet."""
    run_gmt(['psconvert', ps_path, '-Tm', '-E%d' % (72 * SUPERSAMPLING), '-D' + out_dir,
             '-F' + base + '_big'])
    big = os.path.join(out_dir, base + '_big.ppm')
    out = os.path.join(out_dir, base + '.ppm')
    w, h, _ = read_ppm(big)
    assert (w, h) == (SUPERSAMPLING * frame.width, SUPERSAMPLING * frame.height), (w, h)
    subprocess.run(['convert', big, '-scale', '%dx%d!' % (frame.width, frame.height), out],
                   check=True)
    os.remove(big)
    return out


def encode_jpeg(ppm_path, jpg_path):
    """Baseline JPEG without chroma subsampling, so that thin coloured lines
    do not bleed into the flat areas beside them."""
    subprocess.run(['convert', ppm_path, '-strip', '-interlace', 'none', '-sampling-factor', '1x1',
                    '-quality', str(JPEG_QUALITY), jpg_path], check=True)


def jpeg_size(path):
    data = open(path, 'rb').read()
    pos = 2
    while pos < len(data):
        marker, length = data[pos + 1], struct.unpack('>H', data[pos + 2:pos + 4])[0]
        if marker in (0xC0, 0xC1, 0xC2):
            h, w = struct.unpack('>HH', data[pos + 5:pos + 9])
            return w, h
        pos += 2 + length
    raise ValueError('no frame header in ' + path)


def parse_ppm(data):
    """(width, height, RGB bytes) of a binary PPM with 8-bit samples."""
    fields, pos = [], 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b'#':  # comment up to the end of the line
            pos = data.index(b'\n', pos)
            continue
        start = pos
        while not data[pos:pos + 1].isspace():
            pos += 1
        fields.append(data[start:pos])
    assert fields[0] == b'P6' and fields[3] == b'255', fields
    return int(fields[1]), int(fields[2]), data[pos + 1:]


def read_ppm(path):
    with open(path, 'rb') as f:
        return parse_ppm(f.read())


# --- calibration -------------------------------------------------------------

def inside(frame, x, y, margin=CALIB_MARGIN):
    mx, my = frame.width * margin, frame.height * margin
    return mx <= x <= frame.width - mx and my <= y <= frame.height - my


def spread(items, most):
    """At most `most` items, evenly picked from the whole list."""
    if len(items) <= most:
        return items
    return [items[round(i * (len(items) - 1) / (most - 1))] for i in range(most)]


def calibration(m):
    """(quads, callines, marker positions) of map m.

    Quads are (lat, lon, x, y), or (northing, easting, x, y) for the UTM
    model; callines (kind, value, [(x, y)]); markers are the real-valued pixel
    positions of all points, for the check of the raster."""
    frame = m['frame']
    kind = m['calib'][0]
    quads, callines, markers = [], [], []
    if kind == 'grid':
        _, lons, lats = m['calib']
        geo = [(lat, lon) for lat in lats for lon in lons]
        for (lat, lon), (x, y) in zip(geo, frame.geo_to_pixels(geo)):
            if inside(frame, x, y):
                quads.append((lat, lon, round_half_even(x), round_half_even(y)))
                markers.append((x, y))
    elif kind == 'utm':
        _, eastings, northings = m['calib']
        for n in northings:
            for e in eastings:
                x, y = frame.metres_to_pixel(e - 500000, n)
                assert inside(frame, x, y)
                quads.append((n, e, round_half_even(x), round_half_even(y)))
                markers.append((x, y))
    else:
        _, meridians, parallels = m['calib']
        lat0, lat1, lon0, lon1 = geographic_bounds(frame)
        for lon in meridians:
            geo = [(lat, lon) for lat in frange(int(lat0), lat1 + 1, 0.5)]
            pts = [p for p in frame.geo_to_pixels(geo) if inside(frame, *p)]
            pts = spread(pts, 6)
            assert len(pts) >= 4, 'meridian %g has too few points' % lon
            callines.append(('meridian', lon, [(round_half_even(x), round_half_even(y)) for x, y in pts]))
            markers += pts
        for lat in parallels:
            geo = [(lat, lon) for lon in frange(int(lon0) - 1, lon1 + 1, 1.0)]
            pts = [p for p in frame.geo_to_pixels(geo) if inside(frame, *p)]
            pts = spread(pts, 7)
            assert len(pts) >= 4, 'parallel %g has too few points' % lat
            callines.append(('parallel', lat, [(round_half_even(x), round_half_even(y)) for x, y in pts]))
            markers += pts
    if kind != 'lines':
        assert 9 <= len(quads) <= 16, '%s: %d calibration points' % (m['name'], len(quads))
    return quads, callines, markers


def check_markers(m, ps_path, markers, tmp):
    """Draws discs through GMT's own forward projection on the geographic
    positions of the calibration points and finds them in the raster: their
    centres must come out where the pixel arithmetic puts them. Returns the
    largest offset in pixels."""
    frame = m['frame']
    check_ps = os.path.join(tmp, m['name'] + '_check.ps')
    shutil.copyfile(ps_path, check_ps)
    text = ''.join('%.10f %.10f\n' % (lon, lat) for lat, lon in frame.pixels_to_geo(markers))
    with open(check_ps, 'ab') as ps:
        ps.write(run_gmt(['psxy'] + frame.drawing_options() + ['-Sc7p', '-G255/0/255', '-O', '-K']
                         + page_options(frame), text).encode('latin-1'))
    close_ps(check_ps, frame)
    w, h, pix = read_ppm(rasterize(check_ps, tmp, m['name'] + '_check', frame))
    assert (w, h) == (frame.width, frame.height)
    worst = 0.0
    for x, y in markers:
        sx = sy = count = 0
        for j in range(max(0, int(y) - 8), min(h, int(y) + 9)):
            for i in range(max(0, int(x) - 8), min(w, int(x) + 9)):
                r, g, b = pix[3 * (j * w + i):3 * (j * w + i) + 3]
                if r > 200 and g < 60 and b > 200:
                    # pixel i covers x from i to i + 1
                    sx += i + 0.5
                    sy += j + 0.5
                    count += 1
        assert count > 10, '%s: marker at (%.1f, %.1f) not found' % (m['name'], x, y)
        worst = max(worst, abs(sx / count - x), abs(sy / count - y))
    assert worst < 0.5, '%s: raster is off the projection by %.2f px' % (m['name'], worst)
    return worst


def flat_colour_check(ppm_path, jpg_path):
    """The largest deviation of the JPEG from the land and from the sea
    colour, over sample pixels that lie, with all pixels within 8 of them,
    in an area of exactly that colour in the uncompressed raster."""
    w, h, raw = read_ppm(ppm_path)
    decoded = subprocess.run(['convert', jpg_path, 'ppm:-'], capture_output=True, check=True).stdout
    w2, h2, jpg = parse_ppm(decoded)
    assert (w, h) == (w2, h2)
    worst = {LAND: 0, SEA: 0}
    targets = {bytes(LAND): LAND, bytes(SEA): SEA}
    for y in range(8, h - 8, 13):
        for x in range(8, w - 8, 13):
            k = 3 * (y * w + x)
            c = targets.get(raw[k:k + 3])
            if not c:
                continue
            flat = all(raw[3 * (j * w + x - 8):3 * (j * w + x + 9)] == raw[k:k + 3] * 17
                       for j in range(y - 8, y + 9))
            if flat:
                worst[c] = max(worst[c], max(abs(a - b) for a, b in zip(jpg[k:k + 3], c)))
    return worst


# --- landmarks and symbols ---------------------------------------------------

STAMP = '20250601120000'  # time stamp of every sample landmark
BLACK, WHITE, RED = xmlfiles.tcolor_hex(0, 0, 0), xmlfiles.tcolor_hex(255, 255, 255), \
    xmlfiles.tcolor_hex(255, 0, 0)
BROWN = xmlfiles.tcolor_hex(150, 90, 40)
NAVY = xmlfiles.tcolor_hex(0, 0, 128)

# Towns (name, latitude, longitude), mostly within the finer maps.
TOWNS = [
    ('Zürich', 47.3769, 8.5417), ('Basel', 47.5596, 7.5886), ('Genève', 46.2044, 6.1432),
    ('Lausanne', 46.5197, 6.6323), ('Luzern', 47.0502, 8.3093), ('St. Gallen', 47.4245, 9.3767),
    ('Lugano', 46.0037, 8.9511), ('Winterthur', 47.4988, 8.7237),
    ('Schaffhausen', 47.6973, 8.6349), ('Konstanz', 47.6603, 9.1758), ('Chur', 46.8508, 9.5320),
    ('Interlaken', 46.6863, 7.8632), ('Zermatt', 46.0207, 7.7491), ('Sion', 46.2331, 7.3606),
    ('Neuchâtel', 46.9900, 6.9293), ('Fribourg', 46.8065, 7.1620), ('Bregenz', 47.5031, 9.7471),
    ('Friedrichshafen', 47.6500, 9.4797), ('München', 48.1351, 11.5820),
    ('Innsbruck', 47.2692, 11.4041), ('Salzburg', 47.8095, 13.0550), ('Graz', 47.0707, 15.4395),
    ('Klagenfurt', 46.6247, 14.3053), ('Milano', 45.4642, 9.1900), ('Torino', 45.0703, 7.6869),
    ('Verona', 45.4384, 10.9916), ('Venezia', 45.4408, 12.3155), ('Bolzano', 46.4983, 11.3548),
    ('Trento', 46.0748, 11.1217), ('Grenoble', 45.1885, 5.7245), ('Lyon', 45.7640, 4.8357),
    ('Annecy', 45.8992, 6.1294), ('Chamonix', 45.9237, 6.8694), ('Stuttgart', 48.7758, 9.1829),
    ('Augsburg', 48.3705, 10.8978), ('Ulm', 48.4011, 9.9876),
    ('Freiburg im Breisgau', 47.9990, 7.8421), ('Marseille', 43.2965, 5.3698),
    ('Barcelona', 41.3874, 2.1686), ('Valencia', 39.4699, -0.3763), ('Sevilla', 37.3891, -5.9845),
    ('Málaga', 36.7213, -4.4214), ('Bilbao', 43.2630, -2.9350), ('Porto', 41.1579, -8.6291),
    ('Edinburgh', 55.9533, -3.1883), ('Glasgow', 55.8642, -4.2518),
    ('Manchester', 53.4808, -2.2426), ('Cardiff', 51.4816, -3.1791), ('Belfast', 54.5973, -5.9301),
    ('Cork', 51.8985, -8.4756), ('Aberdeen', 57.1497, -2.0943), ('Inverness', 57.4778, -4.2247),
    ('Hamburg', 53.5511, 9.9937), ('Frankfurt am Main', 50.1109, 8.6821),
    ('Kraków', 50.0647, 19.9450), ('Gdańsk', 54.3520, 18.6466), ('Łódź', 51.7592, 19.4560),
    ('Göteborg', 57.7089, 11.9746), ('Bergen', 60.3913, 5.3221), ('Napoli', 40.8518, 14.2681),
    ('Istanbul', 41.0082, 28.9784), ('Thessaloniki', 40.6401, 22.9444),
    ('Sankt-Peterburg', 59.9343, 30.3351), ('Cluj-Napoca', 46.7712, 23.6236),
]

# Mountain peaks (name, latitude, longitude, height in metres).
PEAKS = [
    ('Mont Blanc', 45.8326, 6.8652, 4806), ('Dufourspitze', 45.9369, 7.8668, 4634),
    ('Matterhorn', 45.9763, 7.6586, 4478), ('Jungfrau', 46.5367, 7.9625, 4158),
    ('Eiger', 46.5776, 8.0053, 3967), ('Piz Bernina', 46.3822, 9.9081, 4049),
    ('Säntis', 47.2494, 9.3433, 2502), ('Zugspitze', 47.4211, 10.9853, 2962),
    ('Großglockner', 47.0742, 12.6947, 3798), ('Ben Nevis', 56.7969, -5.0036, 1345),
    ('Mulhacén', 37.0531, -3.3114, 3479), ('Aneto', 42.6310, 0.6566, 3404),
]

# Shapes by their position in the shape list: 1 square, 2 triangle,
# 3 circle, 4 arrow from, 6 cross box, 7 spade, 8 cross.
SYMBOLS = [
    dict(name='Capital', shape=1, category=1, fg=BLACK, bg=RED, size=4, transparent=False,
         direction=0, length=0),
    dict(name='Town', shape=3, category=2, fg=BLACK, bg=WHITE, size=3, transparent=False,
         direction=0, length=0),
    dict(name='Village', shape=3, category=2, fg=BLACK, bg=WHITE, size=2, transparent=True,
         direction=0, length=0),
    dict(name='Peak', shape=2, category=3, fg=BLACK, bg=BROWN, size=5, transparent=False,
         direction=0, length=0),
    dict(name='Pass', shape=7, category=3, fg=BLACK, bg=xmlfiles.tcolor_hex(0, 150, 0), size=4,
         transparent=False, direction=0, length=0),
    dict(name='Airport', shape=6, category=4, fg=NAVY, bg=WHITE, size=5, transparent=False,
         direction=0, length=0),
    dict(name='Viewpoint', shape=4, category=5, fg=xmlfiles.tcolor_hex(160, 0, 0), bg=WHITE,
         size=5, transparent=False, direction=45, length=16),
    dict(name='Waypoint', shape=8, category=5, fg=xmlfiles.tcolor_hex(0, 0, 255), bg=WHITE,
         size=4, transparent=False, direction=0, length=0),
]


def coord(v):
    return xmlfiles.fixed(v, 4)


def landmark(lat, lon, alti, cls, tag, element, size, fg, bg, ident, text, capsize, capfst, capdy):
    """One landmark element; alti None leaves the height out (read as 0)."""
    attributes = [('lat', coord(lat)), ('long', coord(lon))]
    if alti is not None:
        attributes.append(('alti', '%d' % alti))
    attributes += [
        ('class', cls), ('usertag', tag), ('element', element), ('size', size), ('colorfg', fg),
        ('colorbg', bg), ('transp', 'FALSE'), ('dir', 0), ('leng', 0), ('id', ident),
        ('date', STAMP), ('captext', text), ('capsize', capsize), ('capfnm', 'Arial'),
        ('capfst', capfst), ('capfgcol', BLACK), ('capbgcol', WHITE), ('captransp', 'TRUE'),
        ('capdir', 0), ('capdx', 0), ('capdy', capdy), ('caphal', 2), ('capval', 0)]
    return xmlfiles.landmark_element(attributes)


def landmarks(overview):
    """Capitals within the overview map (class 1, user tag = row of the
    country table counted from 1), towns (class 2) and peaks (class 3)."""
    with open(COUNTRIES, newline='') as f:
        rows = list(csv.DictReader(f))
    capitals = [(i + 1, r) for i, r in enumerate(rows) if r['capital']]
    pix = overview.geo_to_pixels([(float(r['caplat']), float(r['caplong'])) for _, r in capitals])
    elements = []
    for (row, r), (x, y) in zip(capitals, pix):
        if 0 < x < overview.width and 0 < y < overview.height:
            elements.append(landmark(float(r['caplat']), float(r['caplong']), float(r['capalt']),
                                     1, row, 'square', 4, BLACK, RED, 'cap_' + r['iso3'],
                                     r['capital'], 9, '1000', 7))
    n_capitals = len(elements)
    for i, (name, lat, lon) in enumerate(TOWNS, 1):
        elements.append(landmark(lat, lon, None, 2, 0, 'circle', 3, BLACK, WHITE, 'town_%03d' % i,
                                 name, 8, '0000', 6))
    for i, (name, lat, lon, height) in enumerate(PEAKS, 1):
        elements.append(landmark(lat, lon, height, 3, 0, 'triangle', 5, BLACK, BROWN,
                                 'peak_%03d' % i, name, 8, '0100', 8))
    return elements, n_capitals


# --- main --------------------------------------------------------------------

def main():
    os.makedirs(OUT, exist_ok=True)
    tmp = tempfile.mkdtemp(prefix='atlas_')
    try:
        summary = []
        for m in MAPS:
            frame = m['frame']
            assert frame.width * frame.height <= 3000000
            ps_path = os.path.join(tmp, m['name'] + '.ps')
            draw_map(m, tmp, ps_path)
            quads, callines, markers = calibration(m)
            worst_marker = check_markers(m, ps_path, markers, tmp)
            close_ps(ps_path, frame)
            ppm = rasterize(ps_path, tmp, m['name'], frame)
            jpg = os.path.join(OUT, m['name'] + '.jpg')
            encode_jpeg(ppm, jpg)
            assert jpeg_size(jpg) == (frame.width, frame.height), jpeg_size(jpg)
            flat = flat_colour_check(ppm, jpg)
            corners = frame.corners()
            res = frame.resolution()
            lines = xmlfiles.calibration_lines(
                m['name'], m['model'], m['name'] + '.jpg', m['caption'], corners, res,
                utm_zone=m.get('utm_zone'), callines=callines, quads=quads)
            xmlfiles.write_lines(os.path.join(OUT, m['name'] + '.xml'), lines)
            points = sum(len(p) for _, _, p in callines) if callines else len(quads)
            summary.append((m, res, points, len(callines), worst_marker, flat))

        elements, n_capitals = landmarks(MAPS[0]['frame'])
        xmlfiles.write_lines(os.path.join(OUT, 'landmarks.xml'),
                             xmlfiles.landmark_lines('sample_landmarks', elements))
        xmlfiles.write_lines(os.path.join(OUT, 'symbols.xml'),
                             xmlfiles.symbol_lines('sample_symbols', SYMBOLS))

        for m, res, points, nlines, worst, flat in summary:
            f = m['frame']
            print('%-22s %-18s %4d x %4d  %9.3f m/px  %2d points%s  markers within %.2f px  '
                  'jpeg land/sea within %d/%d' % (
                      m['name'], m['model'], f.width, f.height, res, points,
                      ' on %d lines' % nlines if nlines else '', worst, flat[LAND], flat[SEA]))
            print('    %s %s %s' % (f.jflag, f.region(), ' '.join(f.gmt_options)))
            print('    corners ' + ' '.join('(%.4f, %.4f)' % c for c in f.corners()))
        print('landmarks: %d capitals, %d towns, %d peaks; symbols: %d'
              % (n_capitals, len(TOWNS), len(PEAKS), len(SYMBOLS)))
    finally:
        shutil.rmtree(tmp)


if __name__ == '__main__':
    main()
