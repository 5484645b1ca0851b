"""marovia: geodesy, calibrated raster maps and a geographic item database.

Arrays in, arrays out: every conversion takes numbers, sequences or numpy
arrays of integers or reals, broadcasts them against each other by numpy's
rules, and answers numpy arrays of the broadcast shape. The work runs in
compiled code with the GIL released, one call for all points.

Bad points: with ``errors="raise"`` (the default) the first input that is no
position (NaN, a latitude outside -90..90, a longitude outside -180..180)
raises ValueError naming its value and index; with ``errors="nan"`` its
results are NaN. A valid position outside a projection's area (UTM north of
84 N or south of 80 S) never raises: its results are NaN and its ``valid``
flag False.

Errors of the library are subclasses of :class:`marovia.Error`, which are
also ValueError (bad values, damaged data) or OSError (files).

Example::

    import numpy as np, marovia
    zone, south, e, n, valid = marovia.utm_forward([50.0, -33.9], [10.0, 18.4])
    lat, lon = marovia.utm_inverse(e, n, zone, south)
    cal = marovia.Calibration.load("samples/atlas/switzerland.xml")
    x, y, ok = cal.to_pixel(47.37, 8.54)
    view = marovia.render("samples/atlas", center=(47.37, 8.54), mag=1, size=(640, 480))
"""

from __future__ import annotations

from collections import namedtuple
import os
from os import PathLike, fspath

import numpy as np

from . import _marovia
from ._marovia import DatabaseError, Error, FileError, GeodesyError, MapError

__all__ = [
    "Error", "GeodesyError", "MapError", "DatabaseError", "FileError",
    "Ellipsoid", "Datum", "Country", "UTM", "UPS",
    "ellipsoids", "ellipsoid", "datums", "countries",
    "utm_zone", "utm_forward", "utm_inverse", "mgrs_forward", "mgrs_inverse",
    "ups_forward", "ups_inverse",
    "geo_to_cartesian", "cartesian_to_geo", "datum_shift",
    "Calibration", "Residuals", "MODELS",
    "render", "render_to_file", "Atlas", "make_tiles",
    "Database", "Item", "ITEM_DTYPE",
]

# Tracks, routes and waypoints of GPS and GIS files (marovia/tracks.py).
from .tracks import *  # noqa: E402,F401,F403
from .tracks import __all__ as _tracks_all  # noqa: E402

__all__ += _tracks_all

# ---------------------------------------------------------------- geodesy

Ellipsoid = namedtuple("Ellipsoid", "index id name a b inverse_flattening e2")
Ellipsoid.__doc__ = """A catalogue ellipsoid: index 0..60, identifier ("gelWGS84"), display
name, semi-major axis a and semi-minor axis b in metres, reciprocal
flattening (0 for a sphere) and first eccentricity squared."""

Datum = namedtuple("Datum", "number name region ellipsoid dx dy dz scale rx ry rz")
Datum.__doc__ = """A datum of the table (number 1..271): its shift to WGS 84 as
translations in metres, scale difference in ppm and rotations in arc
seconds (position-vector convention), and the index of its ellipsoid."""

Country = namedtuple(
    "Country", "name fips iso2 iso3 lat lon capital capital_lat capital_lon capital_altitude")
Country.__doc__ = """A country or territory: codes, approximate centre, capital and its
position and altitude (metres)."""

UTM = namedtuple("UTM", "zone south easting northing valid")
UTM.__doc__ = """UTM coordinates: zone (int32, 0 where invalid), south (bool: the
northing carries the southern false northing), easting and northing in
metres (NaN where invalid), valid (bool)."""

UPS = namedtuple("UPS", "x y south")
UPS.__doc__ = """UPS coordinates in metres and the hemisphere (True: south)."""

def _scalars(values):
    """The results as they came, with 0-d arrays (from scalar inputs) as
    numpy scalars, as numpy's own functions answer."""
    return tuple(v[()] if isinstance(v, np.ndarray) and v.ndim == 0 else v for v in values)


_ELLIPSOIDS = tuple(Ellipsoid(*row) for row in _marovia.ellipsoid_table())
_DATUMS = tuple(Datum(*row) for row in _marovia.datum_table())
_COUNTRIES = tuple(Country(*row) for row in _marovia.country_table())


def ellipsoids():
    """The 61 catalogue ellipsoids, as a tuple of :class:`Ellipsoid`."""
    return _ELLIPSOIDS


def ellipsoid(key):
    """The ellipsoid given by index, identifier ("gelWGS84" or "WGS84") or
    display name ("WGS 1984"), without regard to case. ValueError when none
    matches."""
    return _ELLIPSOIDS[_marovia.ellipsoid_index(key)]


def datums():
    """The 271 datums, as a tuple of :class:`Datum` (number n at index n-1)."""
    return _DATUMS


def countries():
    """The 231 countries and territories, as a tuple of :class:`Country`,
    sorted by name."""
    return _COUNTRIES


def utm_zone(lat, lon):
    """Zone and band of one position as text ("32U"); empty outside the
    UTM area. Norway and Svalbard exceptions included."""
    return _marovia.utm_zone(float(lat), float(lon))


def utm_forward(lat, lon, ellipsoid="WGS84", errors="raise"):
    """Geographic positions (degrees) to UTM, each in its own zone.

    Returns :class:`UTM` arrays of the broadcast shape. Positions outside the
    UTM area (beyond 84 N or 80 S, longitude 180) are not valid there: zone
    0, NaN coordinates, ``valid`` False."""
    return UTM(*_scalars(_marovia.utm_forward(lat, lon, ellipsoid, errors)))


def utm_inverse(easting, northing, zone, south=False, ellipsoid="WGS84", errors="raise"):
    """UTM (metres; zone 1..60; south: the northing carries the southern
    false northing) to latitude and longitude in degrees, as two arrays."""
    return _scalars(_marovia.utm_inverse(easting, northing, zone, south, ellipsoid, errors))


def mgrs_forward(lat, lon, precision=5, ellipsoid="WGS84", spaced=False, errors="raise"):
    """MGRS references of positions (degrees), such as "32UNA7166639109",
    at precision 0 (the 100 km square) to 5 (1 m) digits per coordinate; the
    USNG form "32U NA 71666 39109" when spaced. An array of str of the
    arguments' broadcast shape (a str for single values); "" for what is no
    position under errors="nan"."""
    refs = _marovia.mgrs_forward(lat, lon, int(precision), bool(spaced), ellipsoid, errors)
    return refs[()] if refs.ndim == 0 else refs


def mgrs_inverse(references, ellipsoid="WGS84", errors="raise"):
    """Positions (degrees) of the centres of the squares that MGRS or USNG
    references name (case, blanks and a zone's leading zero do not matter):
    (lat, lon), arrays of the references' shape or floats for one. A text
    that is no reference raises ValueError saying why, or gives NaN under
    errors="nan"."""
    refs = np.asarray(references)
    if refs.size == 0:
        refs = refs.astype("S1")
    return _scalars(_marovia.mgrs_inverse(refs, ellipsoid, errors))


def ups_forward(lat, lon, ellipsoid="WGS84", errors="raise"):
    """Geographic positions (degrees) to UPS x, y (metres) and hemisphere
    (latitude 0 counts as northern); returns :class:`UPS`."""
    return UPS(*_scalars(_marovia.ups_forward(lat, lon, ellipsoid, errors)))


def ups_inverse(x, y, south=False, ellipsoid="WGS84", errors="raise"):
    """UPS x, y (metres) in the given hemisphere to latitude and longitude
    in degrees, as two arrays."""
    return _scalars(_marovia.ups_inverse(x, y, south, ellipsoid, errors))


def geo_to_cartesian(lat, lon, height=0.0, ellipsoid="WGS84", errors="raise"):
    """Latitude, longitude (degrees) and ellipsoidal height (metres) to
    earth-centred x, y, z (metres), as three arrays."""
    return _scalars(_marovia.geo_to_cartesian(lat, lon, height, ellipsoid, errors))


def cartesian_to_geo(x, y, z, ellipsoid="WGS84", errors="raise"):
    """Earth-centred x, y, z (metres) to latitude, longitude (degrees) and
    ellipsoidal height (metres), as three arrays."""
    return _scalars(_marovia.cartesian_to_geo(x, y, z, ellipsoid, errors))


def datum_shift(lat, lon, height=0.0, source="WORLD GEODETIC SYSTEM 1984",
                target="WORLD GEODETIC SYSTEM 1984", errors="raise"):
    """Seven-parameter Helmert shift of positions from datum source to datum
    target (numbers 1..271, or a datum's name, or the start of exactly one
    "NAME (REGION)" label); answers latitude, longitude, height arrays."""
    return _scalars(_marovia.datum_shift(lat, lon, height, source, target, errors))


# ------------------------------------------------------------ calibrations

MODELS = tuple(_marovia.CALIBRATION_MODELS)

Residuals = namedtuple("Residuals", "index dx dy metres valid loo_dx loo_dy loo_metres loo_valid")
Residuals.__doc__ = """Residuals of the calibration points, one array each: index (1-based),
dx, dy in pixels (clicked minus fitted), metres (position error of the
clicked pixel), valid; and the leave-one-out figures (the point against the
model fitted without it), the honest measure of a model that passes
through its points."""

Calibration = _marovia.Calibration


def _calibration_residuals(self, leave_one_out=True):
    """The residual of every calibration point of a point model as
    :class:`Residuals` arrays (empty for the line model); with
    ``leave_one_out`` also each point against the model fitted to the
    others (one refit per point)."""
    return Residuals(*self._residuals(bool(leave_one_out)))


def _calibration_to_pixel(self, lat, lon, round=False, errors="raise"):
    """Image pixels ``(x, y, ok)`` of positions in degrees, broadcast.

    A position that the model cannot convert gives ok False and NaN (0 with
    ``round=True``, which answers whole pixels as int32, halves to even).
    With ``errors="raise"`` a latitude outside -90..90 or a longitude outside
    -180..180 (or NaN) raises ValueError; with ``errors="nan"`` it just does
    not convert."""
    return _scalars(self._to_pixel(lat, lon, bool(round), errors))


def _calibration_to_geo(self, x, y, errors="raise"):
    """Positions ``(lat, lon, ok)`` in degrees of image pixels (origin at the
    top-left corner of the image, x right, y down), broadcast; NaN where ok
    is False. Pixels that are not finite raise, or with ``errors="nan"`` do
    not convert."""
    return _scalars(self._to_geo(x, y, errors))


Calibration.residuals = _calibration_residuals
Calibration.to_pixel = _calibration_to_pixel
Calibration.to_geo = _calibration_to_geo

# ------------------------------------------------------------------ maps


def _size(size):
    width, height = size
    return int(width), int(height)


def _overlays(items):
    """The tracks argument for the module: TrackFile objects as the readings
    they hold, paths as they are; one of them alone, or a list."""
    from .tracks import TrackFile
    if items is None:
        return None
    if isinstance(items, (str, PathLike, TrackFile)):
        items = [items]
    return [i._data if isinstance(i, TrackFile) else i for i in items]


def render(source, center=None, mag=None, size=(800, 600), grid="none", grid_step=0.0,
           utm_step=0, landmarks=None, antialias=True, tracks=None, db=None):
    """Draws a view of a calibration file or of an atlas folder and returns
    it as an ``(height, width, 3)`` uint8 RGB array.

    source: a calibration file, or a folder of them (an atlas: the map that
    best covers the view at ``center`` is drawn; needs ``center``).
    center: (latitude, longitude) at the view's centre; the image centre when
    omitted. mag: view pixels per map pixel (0.001..64); 1 with a centre,
    else the whole map fitted. grid: none, points, lines, lines+points, utm,
    utm+points; grid_step degrees and utm_step metres (0: chosen by the
    map). landmarks: a landmark file drawn over the map. tracks: track,
    route, waypoint or GeoJSON files (paths) or :class:`TrackData` objects
    (one, or a list), drawn over the map in the colours the files give. db:
    item databases (base paths; one, or a list) whose items are drawn over
    the map."""
    return _marovia.render_timed(fspath(source), center, mag, _size(size), grid,
                                 float(grid_step), int(utm_step),
                                 None if landmarks is None else fspath(landmarks),
                                 bool(antialias), _overlays(tracks), db)[0]


def render_to_file(source, filename, center=None, mag=None, size=(800, 600), grid="none",
                   grid_step=0.0, utm_step=0, landmarks=None, antialias=True, quality=90,
                   tracks=None, db=None):
    """Draws a view as :func:`render` does and writes it to ``filename``
    (.png, .bmp, .jpg or .jpeg; quality 1..100 for JPEG). Returns the
    calibration file that was drawn."""
    return _marovia.render_to_file(fspath(source), fspath(filename), center, mag, _size(size),
                                   grid, float(grid_step), int(utm_step),
                                   None if landmarks is None else fspath(landmarks),
                                   bool(antialias), int(quality), _overlays(tracks), db)


# ---------------------------------------------------------------- atlases

Atlas = _marovia.Atlas


_MAX_PARTS = 1_000_000


def _environment_number(environ, name, low, high):
    value = environ.get(name)
    if value is None:
        return None
    if not (value.isascii() and value.isdigit()) or not low <= int(value) <= high:
        raise ValueError(f"{name}={value!r} is not a whole number within {low}-{high}")
    return int(value)


def _scheduler_part(environ, parts=None):
    """The part (k, n) a cluster scheduler gives a task through its
    environment, or None: a Slurm job array (SLURM_ARRAY_TASK_ID from
    SLURM_ARRAY_TASK_MIN in steps of SLURM_ARRAY_TASK_STEP, of
    SLURM_ARRAY_TASK_COUNT tasks, else counted to SLURM_ARRAY_TASK_MAX), or a
    Kubernetes indexed Job (JOB_COMPLETION_INDEX from 0, of ``parts`` or
    GEOMAP_PARTS completions). Slurm's variables win; the geomap tool reads
    the same."""
    top = 2**31 - 1
    task = _environment_number(environ, "SLURM_ARRAY_TASK_ID", 0, top)
    if task is not None:
        low = _environment_number(environ, "SLURM_ARRAY_TASK_MIN", 0, task) or 0
        step = _environment_number(environ, "SLURM_ARRAY_TASK_STEP", 1, top) or 1
        count = _environment_number(environ, "SLURM_ARRAY_TASK_COUNT", 1, _MAX_PARTS)
        if count is None:
            high = _environment_number(environ, "SLURM_ARRAY_TASK_MAX", task, top)
            if high is not None:
                count = (high - low) // step + 1
        if count is None:
            raise ValueError("SLURM_ARRAY_TASK_ID is set without SLURM_ARRAY_TASK_COUNT or "
                             "SLURM_ARRAY_TASK_MAX")
        if (task - low) % step or (task - low) // step >= count or count > _MAX_PARTS:
            raise ValueError(f"Slurm array task {task} is not one of an array of {count} from "
                             f"{low} in steps of {step} (give part=(k, n))")
        return ((task - low) // step + 1, count)
    index = _environment_number(environ, "JOB_COMPLETION_INDEX", 0, _MAX_PARTS - 1)
    if index is not None:
        n = parts if parts is not None else _environment_number(environ, "GEOMAP_PARTS", 1,
                                                                 _MAX_PARTS)
        if n is None or n < 1:
            raise ValueError("JOB_COMPLETION_INDEX is set: give the number of completions by "
                             "parts=N or GEOMAP_PARTS")
        if index >= n:
            raise ValueError(f"JOB_COMPLETION_INDEX {index} is not below the {n} parts")
        return (index + 1, n)
    if parts is not None:
        raise ValueError("parts needs JOB_COMPLETION_INDEX (or part=(k, n))")
    return None


def make_tiles(source, output, zoom=None, format="png", jobs=0, exact=False, dedup=True,
               part=None, parts=None):
    """Makes web map tiles (Web Mercator, 256 pixels) of a map or an atlas.

    source: an :class:`Atlas`, or what makes one (a calibration file, a
    folder of them, another program's map file). output: a directory
    ({z}/{x}/{y} tiles and a page that shows them), an ``.mbtiles`` or a
    ``.pmtiles`` file. zoom: (min, max) levels; by default the maps' own.
    Each tile pixel comes from the finest map that covers it; outside every
    map (and outside a map's border) tiles are transparent. jobs: threads (0:
    one per processor). dedup: a PMTiles archive stores identical tiles once.

    part: (k, n) makes only the k-th of n shares of the tiles, as ``geomap
    tiles --part k/n`` does: a fragment beside output
    (``name.part-k-of-n.ext``) and its manifest, which ``geomap tiles
    merge`` joins and ``geomap tiles verify`` checks; a part that an earlier
    run of the same job completed is not made again (0 tiles written).
    Without part, a task of a cluster takes its part from its scheduler's
    variables as the tool does (a Slurm array, or a Kubernetes indexed Job
    whose number of completions is ``parts`` or GEOMAP_PARTS).
    Returns (tiles written, tile places without map, min zoom, max zoom)."""
    if part is None:
        part = _scheduler_part(os.environ, parts) or (1, 1)
    elif parts is not None:
        raise ValueError("give part=(k, n) or parts, not both")
    k, n = (int(v) for v in part)
    atlas = source if isinstance(source, Atlas) else Atlas(source)
    return _marovia._make_tiles(atlas, fspath(output), None if zoom is None else tuple(zoom),
                                str(format), int(jobs), bool(exact), bool(dedup), k, n)


# ---------------------------------------------------------------- database

Item = namedtuple("Item", "entry id kind name lat_low lat_high lon_low lon_high altitude "
                          "class_number tag state")
Item.__doc__ = """An item of a database: entry number (1-based, not stable across
deletions), item ID (stable), kind (Border, Town, City, Lake, River, Road,
Route, BLOB), name, bounding box in degrees, altitude, class, user tag and
state."""

ITEM_DTYPE = np.dtype([
    ("entry", "<i4"), ("id", "<i4"), ("kind", "<U9"), ("name", "<U59"),
    ("lat_low", "<f4"), ("lat_high", "<f4"), ("lon_low", "<f4"), ("lon_high", "<f4"),
    ("altitude", "<f4"), ("class_number", "u1"), ("tag", "<i4"), ("state", "<i4"),
])


class Database:
    """A geographic item database (a set of seven files with one base name).

    ``Database(path)`` opens an existing database and raises
    FileNotFoundError when there is none; ``create=True`` creates a missing
    one. Use it as a context manager, or call :meth:`close`. One object may
    be shared by threads."""

    def __init__(self, path: str | PathLike, create: bool = False):
        self._db = _marovia.Database(fspath(path), bool(create))

    def close(self):
        """Writes what is pending and closes the files; later calls raise."""
        self._db.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def __len__(self):
        return len(self._db)

    @property
    def name(self) -> str:
        """The base name of the file set."""
        return self._db.name

    @property
    def description(self) -> str:
        """The database's description text (up to 255 characters)."""
        return self._db.description

    @description.setter
    def description(self, text: str):
        self._db.description = text

    def item(self, entry: int) -> Item:
        """The item at entry number 1..len(self); IndexError otherwise."""
        return Item(*self._db.item(int(entry)))

    def query(self, lat_low, lat_high, lon_low, lon_high, as_array=False):
        """Items whose bounding box meets the rectangle (degrees), as a list
        of :class:`Item`, or with ``as_array`` as a structured array of
        dtype :data:`ITEM_DTYPE`."""
        rows = self._db.query(float(lat_low), float(lat_high), float(lon_low), float(lon_high))
        if as_array:
            return np.array(rows, dtype=ITEM_DTYPE)
        return [Item(*row) for row in rows]

    def add_towns(self, names, lat, lon, altitude=0.0, class_number=0, tag=0, state=0):
        """Adds one town per name at (lat, lon) in degrees; the other
        arguments broadcast against the positions. Every town is checked
        first: a refused call adds nothing. Returns the new entry numbers
        (int32 array)."""
        return self._db.add_towns(list(names), lat, lon, altitude, class_number, tag, state)
