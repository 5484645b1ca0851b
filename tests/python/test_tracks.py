"""Tracks from Python: lengths against pyproj's geodesic, arrays that are
read-only views, fields, times, errors naming file and line."""

import numpy as np
import pytest
from pyproj import Geod

import marovia


def _gpx(segments):
    """GPX text of one track whose segments are lists of (lat, lon, ele, iso time)."""
    out = ['<gpx version="1.1" xmlns="http://www.topografix.com/GPX/1/1"><trk><name>T</name>']
    for seg in segments:
        out.append("<trkseg>")
        for lat, lon, ele, t in seg:
            out.append(f'<trkpt lat="{lat!r}" lon="{lon!r}"><ele>{ele!r}</ele>'
                       f'<time>{t}</time><extensions><hr>{int(ele) % 200}</hr></extensions></trkpt>')
        out.append("</trkseg>")
    out.append("</trk></gpx>")
    return "".join(out)


def test_lengths_agree_with_pyproj_within_a_millimetre_per_100_km(tmp_path):
    rng = np.random.default_rng(5)
    geod = Geod(ellps="WGS84")
    cases = {
        "long": (np.linspace(-60, 70, 3000) + rng.normal(0, 0.01, 3000),
                 np.linspace(-20, 40, 3000) + rng.normal(0, 0.01, 3000)),
        "antimeridian": (np.full(500, -41.3) + rng.normal(0, 0.001, 500),
                         (np.linspace(170, 190, 500) + 180) % 360 - 180),
        "short steps": (47 + np.cumsum(rng.normal(0, 2e-5, 4000)),
                        8 + np.cumsum(rng.normal(0, 3e-5, 4000))),
    }
    for name, (lat, lon) in cases.items():
        seg = [(float(a), float(o), 100.0, "2021-01-01T00:00:00Z") for a, o in zip(lat, lon)]
        path = tmp_path / f"{name.replace(' ', '_')}.gpx"
        path.write_text(_gpx([seg]))
        ours = marovia.read_track(path).tracks[0].stats().length_2d
        theirs = geod.line_length(lon, lat)
        assert abs(ours - theirs) <= max(1e-8 * theirs, 1e-6), (name, ours, theirs)


def test_arrays_segments_fields_and_times(tmp_path):
    path = tmp_path / "t.gpx"
    path.write_text(_gpx([[(47.0, 8.0, 400.0, "2021-05-01T10:00:00Z"),
                           (47.001, 8.0, 410.5, "2021-05-01T10:00:01.250Z")],
                          [(-33.9, 151.2, 5.0, "2021-05-02T00:00:00Z")]]))
    f = marovia.read_track(path)
    assert f.format == "GPX 1.1" and f.skipped == 0
    first, second = f.tracks[0].segments
    assert first.lat.tolist() == [47.0, 47.001] and second.lon.tolist() == [151.2]
    assert not first.lat.flags.writeable  # the reading's own memory
    assert np.shares_memory(first.lat, f.lat)
    assert first.fields["hr"].tolist() == [0.0, 10.0]
    assert str(marovia.as_datetime64(first.time)[1]) == "2021-05-01T10:00:01.250"
    stats = f.tracks[0].stats()
    assert stats.segments == 2 and stats.points == 3
    assert stats.length_2d == pytest.approx(111.25, abs=0.5)  # 0.001 degree of latitude
    assert stats.duration == pytest.approx(1.25)
    assert "hysteresis filter of 5 m" in marovia.track_stats_method(hysteresis=5)
    gpx, geojson = tmp_path / "out.gpx", tmp_path / "out.geojson"
    assert f.write_gpx(gpx) == 0
    f.write_geojson(geojson)
    for again in (marovia.read_track(gpx), marovia.read_track(geojson)):
        assert again.lat.tolist() == f.lat.tolist()


def test_errors_name_file_and_line(tmp_path):
    bad = tmp_path / "bad.gpx"
    bad.write_text('<gpx>\n<wpt lat="95" lon="1"/></gpx>')
    with pytest.raises(marovia.MapError, match=r"bad\.gpx: line 2, column 1: latitude 95"):
        marovia.read_track(bad)
    with pytest.raises(marovia.FileError):
        marovia.read_track(tmp_path / "missing.gpx")
    results = marovia.read_tracks([bad, tmp_path / "missing.gpx"])
    assert [r[1] for r in results] == [None, None] and "latitude 95" in results[0][2]
    good = tmp_path / "good.gpx"
    good.write_text(_gpx([[(1.0, 2.0, 3.0, "2021-01-01T00:00:00Z")]]))
    with pytest.raises(marovia.MapError, match="hysteresis"):
        marovia.read_track(good).stats(hysteresis=0)
    with pytest.raises(TypeError, match="stop_minutes"):
        marovia.read_track(good).stats(stop_minutes=1)


def test_tracks_and_databases_drawn_over_a_rendered_map(atlas, tmp_path):
    """A track through the view's centre, as a file and as a TrackData,
    draws the same magenta pixels through the centre; an item database's
    town shows its marker where the calibration puts it."""
    path = tmp_path / "walk.gpx"
    path.write_text(_gpx([[(47.30, 8.40, 400.0, "2024-05-01T10:00:00Z"),
                           (47.44, 8.68, 420.0, "2024-05-01T11:00:00Z")]]))
    kwargs = dict(center=(47.37, 8.54), mag=1, size=(320, 200))
    plain = marovia.render(atlas, **kwargs)
    by_file = marovia.render(atlas, tracks=path, **kwargs)
    by_data = marovia.render(atlas, tracks=[marovia.read_track(path)], **kwargs)
    assert np.array_equal(by_file, by_data)
    magenta = (by_file[:, :, 0] > 180) & (by_file[:, :, 1] < 80) & (by_file[:, :, 2] > 180)
    assert magenta.sum() > 100
    assert not ((plain[:, :, 0] > 180) & (plain[:, :, 1] < 80) & (plain[:, :, 2] > 180)).any()
    # The line passes through the view's centre (the midpoint of the track).
    assert magenta[97:104, 157:164].any()

    db = marovia.Database(tmp_path / "places", create=True)
    db.add_towns(["Here"], [47.37], [8.54])
    db.close()
    town = marovia.render(atlas, db=tmp_path / "places", **kwargs)
    r, g, b = (int(v) for v in town[100, 160])
    assert r > 100 and g < 40 and b < 40, (r, g, b)
