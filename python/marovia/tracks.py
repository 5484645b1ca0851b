"""Tracks, routes, waypoints and shapes of GPS and GIS files as numpy arrays,
and their statistics.

Formats read: GPX 1.0 and 1.1, KML and KMZ, GeoJSON, NMEA 0183 logs, TCX,
IGC and the desktop-GPS text files .plt and .wpt (by the file's extension,
else its content). A file that is not of its format raises
:class:`marovia.MapError` naming the file and line; damaged records of the
line formats are left out, counted in ``skipped`` and noted in
``warnings``.

Arrays: latitudes and longitudes in degrees (WGS 84), elevations in metres,
times in seconds since 1970-01-01T00:00:00Z (float64; NaN where a point has
none: ``time.astype("datetime64[s]")`` does not know NaN, use
:func:`as_datetime64`). The arrays of a reading are read-only views of its
memory, not copies.

Example::

    import marovia
    ride = marovia.read_track("ride.gpx")
    seg = ride.tracks[0].segments[0]
    print(seg.lat[:3], seg.fields.get("hr"))
    print(ride.tracks[0].stats().length_2d / 1000, "km")
    print(marovia.track_stats_method())
"""

from __future__ import annotations

from collections import namedtuple
from os import PathLike, fspath

import numpy as np

from . import _marovia

__all__ = [
    "TrackFile", "Track", "Route", "Shape", "Waypoint", "Segment", "TrackStats",
    "read_track", "read_tracks", "track_stats_method", "as_datetime64",
]

TrackStats = namedtuple(
    "TrackStats",
    "points segments length_2d length_3d ascent descent min_ele max_ele start_time end_time "
    "duration moving_time stops stop_time")
TrackStats.__doc__ = """Statistics of segments, tracks or files (see
:func:`track_stats_method` for the methods): lengths on the WGS 84 ellipsoid
and climbs in metres, elevations in metres (NaN without any), start and end
as seconds since 1970 (NaN without times), durations in seconds."""

_DEFAULTS = dict(hysteresis=10.0, smoothing=100.0, stop_radius=20.0, stop_seconds=60.0)


def _stats(data, ranges, options):
    o = dict(_DEFAULTS, **options)
    unknown = set(o) - set(_DEFAULTS)
    if unknown:
        raise TypeError(f"unknown statistics options: {', '.join(sorted(unknown))}")
    return TrackStats(*_marovia.track_stats(data, ranges, o["hysteresis"], o["smoothing"],
                                            o["stop_radius"], o["stop_seconds"]))


def track_stats_method(**options):
    """The methods of the statistics in words, with the options' values
    (hysteresis, smoothing, stop_radius in metres; stop_seconds)."""
    o = dict(_DEFAULTS, **options)
    return _marovia.track_stats_method(o["hysteresis"], o["smoothing"], o["stop_radius"],
                                       o["stop_seconds"])


def as_datetime64(seconds):
    """Times in seconds since 1970 as numpy datetime64[ms], NaT where NaN."""
    s = np.asarray(seconds, dtype=np.float64)
    out = np.full(s.shape, np.datetime64("NaT"), dtype="datetime64[ms]")
    ok = ~np.isnan(s)
    out[ok] = np.round(s[ok] * 1000).astype(np.int64).astype("datetime64[ms]")
    return out


class Segment:
    """Consecutive points of a track segment, route or shape part: ``lat``,
    ``lon``, ``ele``, ``time`` arrays and ``fields`` (name or extension
    path to an array: float64 for numbers, object with None for texts)."""

    def __init__(self, data, begin, end):
        self._data, self.begin, self.end = data, begin, end

    def __len__(self):
        return self.end - self.begin

    @property
    def lat(self):
        return self._data.lat[self.begin:self.end]

    @property
    def lon(self):
        return self._data.lon[self.begin:self.end]

    @property
    def ele(self):
        return self._data.ele[self.begin:self.end]

    @property
    def time(self):
        return self._data.time[self.begin:self.end]

    @property
    def fields(self):
        return {k: v[self.begin:self.end] for k, v in self._data.fields.items()}

    def stats(self, **options):
        """:class:`TrackStats` of these points."""
        return _stats(self._data, [(self.begin, self.end)], options)


class _Feature:
    def __init__(self, data, info):
        self._data = data
        self.name = info["name"]
        self.description = info["description"]
        self.comment = info["comment"]
        self.type = info["type"]
        self.style = info["style"]
        self.extras = info["extras"]

    def __repr__(self):
        return f"<{type(self).__name__} {self.name!r}>"


class Track(_Feature):
    """A track: name, description, comment, type, style (simplestyle keys),
    extras, and ``segments`` (a list of :class:`Segment`)."""

    def __init__(self, data, info):
        super().__init__(data, info)
        self.segments = [Segment(data, b, e) for b, e in info["segments"]]

    def stats(self, **options):
        """:class:`TrackStats` of every segment, added up."""
        return _stats(self._data, [(s.begin, s.end) for s in self.segments], options)


class Route(_Feature):
    """A route: its ``points`` are one :class:`Segment` (route point names
    and symbols are the fields "name" and "sym")."""

    def __init__(self, data, info):
        super().__init__(data, info)
        self.points = Segment(data, *info["points"])

    def stats(self, **options):
        return self.points.stats(**options)


class Shape(_Feature):
    """A line or polygon shape: ``kind`` ("line" or "polygon") and ``parts``,
    a list of (:class:`Segment`, hole)."""

    def __init__(self, data, info):
        super().__init__(data, info)
        self.kind = info["kind"]
        self.parts = [(Segment(data, b, e), hole) for b, e, hole in info["parts"]]


Waypoint = namedtuple("Waypoint",
                      "lat lon ele time name symbol description comment type style extras")
Waypoint.__doc__ = """A waypoint: position in degrees, elevation in metres and time in
seconds since 1970 (NaN when none), texts, style and extras."""


class TrackFile:
    """What one track file holds: ``tracks``, ``routes``, ``shapes``,
    ``waypoints``, the columns of all points (``lat``, ``lon``, ``ele``,
    ``time``, ``fields``), and how the reading went (``source``, ``format``,
    ``skipped``, ``warnings``)."""

    def __init__(self, data):
        self._data = data
        self.source, self.format = data.source, data.format
        self.name, self.description = data.name, data.description
        self.skipped, self.warnings = data.skipped, list(data.warnings)
        self.tracks = [Track(data, t) for t in data.tracks]
        self.routes = [Route(data, r) for r in data.routes]
        self.shapes = [Shape(data, s) for s in data.shapes]
        self.waypoints = [
            Waypoint(w["lat"], w["lon"], w["ele"], w["time"], w["name"], w["symbol"],
                     w["description"], w["comment"], w["type"], w["style"], w["extras"])
            for w in data.waypoints]

    def __repr__(self):
        return (f"<TrackFile {self.source!r} {self.format}: {len(self.tracks)} tracks, "
                f"{len(self.routes)} routes, {len(self.waypoints)} waypoints>")

    lat = property(lambda self: self._data.lat)
    lon = property(lambda self: self._data.lon)
    ele = property(lambda self: self._data.ele)
    time = property(lambda self: self._data.time)
    fields = property(lambda self: self._data.fields)

    def stats(self, **options):
        """:class:`TrackStats` of every track segment, added up."""
        return _stats(self._data,
                      [(s.begin, s.end) for t in self.tracks for s in t.segments], options)

    def write_gpx(self, path):
        """Writes GPX 1.1 (shapes have no GPX form: answers how many were
        left out)."""
        return self._data.write_gpx(fspath(path))

    def write_geojson(self, path):
        """Writes a GeoJSON FeatureCollection."""
        self._data.write_geojson(fspath(path))


def read_track(path: str | PathLike[str]) -> TrackFile:
    """Reads one track file."""
    return TrackFile(_marovia.read_track(fspath(path)))


def read_tracks(paths, threads=0):
    """Reads many files at once (threads 0: one per core). Answers a list of
    (path, TrackFile or None, error message) in the order given; a bad file
    never stops the others."""
    return [(p, TrackFile(d) if d is not None else None, e)
            for p, d, e in _marovia.read_tracks([fspath(p) for p in paths], int(threads))]
