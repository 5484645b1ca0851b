"""Projection helpers shared by the sample-atlas and projection-fixture generators.

A Frame ties a GMT projection to a raster of W x H pixels. The frame is a
rectangle in projected coordinates (metres about the projection centre, as
`gmt mapproject -C -F` gives them). mapproject is given it as a `-R...+ue`
region; the drawing modules are given the same rectangle by its lower left
and upper right corners (`-R...+r`), because they do not place a `+ue`
region of an ellipsoidal conic exactly where mapproject does.

Pixel coordinates: x runs from 0 at the left edge of the image to W at its
right edge, y from 0 at the top edge to H at the bottom edge (y down). A
point of the map therefore lies at the real-valued pixel position
x = (X - xmin) / m, y = (ymax - Y) / m, with m metres per pixel. A person
clicking on it gets that position rounded to the nearest integer.

Only the Python standard library and the `gmt` program are used.
"""
import math
import subprocess

# Sphere of the resolution figure stored in calibration files (metres).
RESOLUTION_SPHERE_RADIUS = 6378000.0


def run_gmt(args, stdin_text=''):
    """Runs one gmt module and returns its standard output as text."""
    result = subprocess.run(['gmt'] + args + ['--GMT_HISTORY=false'], input=stdin_text,
                            capture_output=True, text=True)
    if result.returncode != 0:
        raise RuntimeError('gmt %s failed: %s' % (' '.join(args), result.stderr.strip()))
    return result.stdout


def parse_pairs(text):
    pairs = []
    for line in text.splitlines():
        fields = line.split()
        if fields:
            pairs.append((float(fields[0]), float(fields[1])))
    return pairs


class Frame:
    """A projected rectangle of W x H pixels of m metres each.

    jflag is the -J option without the map width (for example
    '-JL10/50/35/65'); gmt_options are extra --PAR=value settings that
    every call for this frame must use (for example the ellipsoid).
    """

    def __init__(self, jflag, xmin, ymax, metres_per_pixel, width, height, gmt_options=()):
        self.jflag = jflag
        self.m = float(metres_per_pixel)
        self.width = width
        self.height = height
        self.xmin = float(xmin)
        self.ymax = float(ymax)
        self.xmax = self.xmin + width * self.m
        self.ymin = self.ymax - height * self.m
        self.gmt_options = list(gmt_options)

    @classmethod
    def centred(cls, jflag, centre_lon, centre_lat, metres_per_pixel, width, height,
                gmt_options=()):
        """A frame whose middle lies at the projected position of (centre_lon,
        centre_lat), rounded to whole metres."""
        probe = cls(jflag, -1.0, 1.0, 1.0, 2, 2, gmt_options)
        cx, cy = probe.forward([(centre_lon, centre_lat)])[0]
        cx, cy = round(cx), round(cy)
        half_w = width * metres_per_pixel / 2.0
        half_h = height * metres_per_pixel / 2.0
        return cls(jflag, cx - half_w, cy + half_h, metres_per_pixel, width, height, gmt_options)

    @staticmethod
    def _num(v):
        return ('%.3f' % v).rstrip('0').rstrip('.')

    def region(self):
        return '-R%s/%s/%s/%s+ue' % (self._num(self.xmin), self._num(self.xmax),
                                     self._num(self.ymin), self._num(self.ymax))

    def drawing_region(self):
        """The frame as a -R option by its geographic corners, for pscoast
        and psxy."""
        if not hasattr(self, '_drawing_region'):
            (lat0, lon0), (lat1, lon1) = self.pixels_to_geo([(0, self.height), (self.width, 0)])
            self._drawing_region = '-R%.10f/%.10f/%.10f/%.10f+r' % (lon0, lat0, lon1, lat1)
        return self._drawing_region

    def drawing_options(self):
        return [self.drawing_region(), self.projection()] + self.gmt_options

    def projection(self):
        """-J option with the map width in points (one point per pixel)."""
        return '%s/%dp' % (self.jflag, self.width)

    def common(self):
        return [self.region(), self.projection()] + self.gmt_options

    # --- geographic <-> projected metres, through gmt mapproject ---

    def forward(self, lonlats):
        """[(lon, lat)] -> [(X, Y)] projected metres."""
        if not lonlats:
            return []
        text = ''.join('%.10f %.10f\n' % p for p in lonlats)
        out = run_gmt(['mapproject'] + self.common() + ['-C', '-F', '--FORMAT_FLOAT_OUT=%.6f'], text)
        pairs = parse_pairs(out)
        assert len(pairs) == len(lonlats), 'mapproject dropped points'
        return pairs

    def inverse(self, xys):
        """[(X, Y)] projected metres -> [(lon, lat)]."""
        if not xys:
            return []
        text = ''.join('%.6f %.6f\n' % p for p in xys)
        out = run_gmt(['mapproject'] + self.common() + ['-C', '-F', '-I', '--FORMAT_FLOAT_OUT=%.12f'],
                      text)
        pairs = parse_pairs(out)
        assert len(pairs) == len(xys), 'mapproject dropped points'
        return pairs

    # --- projected metres <-> pixels ---

    def metres_to_pixel(self, X, Y):
        return (X - self.xmin) / self.m, (self.ymax - Y) / self.m

    def pixel_to_metres(self, x, y):
        return self.xmin + x * self.m, self.ymax - y * self.m

    # --- geographic <-> pixels ---

    def geo_to_pixels(self, latlons):
        """[(lat, lon)] -> [(x, y)] real-valued pixel positions."""
        xys = self.forward([(lon, lat) for lat, lon in latlons])
        return [self.metres_to_pixel(X, Y) for X, Y in xys]

    def pixels_to_geo(self, pixels):
        """[(x, y)] pixel positions -> [(lat, lon)]."""
        lonlats = self.inverse([self.pixel_to_metres(x, y) for x, y in pixels])
        return [(lat, lon) for lon, lat in lonlats]

    def corners(self):
        """Geographic positions of pixels (0,0), (0,H), (W,H), (W,0): top left,
        bottom left, bottom right, top right."""
        w, h = self.width, self.height
        return self.pixels_to_geo([(0, 0), (0, h), (w, h), (w, 0)])

    def resolution(self):
        """Metres per pixel along the middle row, measured the way the map
        control measures it: the great-circle distance on a sphere of radius
        6378000 m between pixels (0, H div 2) and (W, H div 2), divided by W."""
        (lat1, lon1), (lat2, lon2) = self.pixels_to_geo([(0, self.height // 2),
                                                         (self.width, self.height // 2)])
        dist = great_circle(RESOLUTION_SPHERE_RADIUS, lat1, lon1, lat2, lon2)
        if lon2 - lon1 > 360:
            dist += 2 * math.pi * RESOLUTION_SPHERE_RADIUS
        elif lon2 - lon1 > 180:
            dist += math.pi * RESOLUTION_SPHERE_RADIUS
        return dist / self.width


def great_circle(radius, lat1, lon1, lat2, lon2):
    """Great-circle distance on a sphere, in the unit of radius (the form of
    atan2 that stays exact for short and for antipodal distances)."""
    p1, p2 = math.radians(lat1), math.radians(lat2)
    dl = math.radians(lon2 - lon1)
    a = math.cos(p2) * math.sin(dl)
    b = math.cos(p1) * math.sin(p2) - math.sin(p1) * math.cos(p2) * math.cos(dl)
    c = math.sin(p1) * math.sin(p2) + math.cos(p1) * math.cos(p2) * math.cos(dl)
    return radius * math.atan2(math.hypot(a, b), c)


def round_half_even(v):
    """Nearest integer, halves to the even neighbour (Python's round)."""
    return int(round(v))
