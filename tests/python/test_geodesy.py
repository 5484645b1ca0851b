"""Geodesy over arrays: agreement with pyproj as the independent oracle,
broadcasting, and bad input."""

import numpy as np
import pyproj
import pytest

import marovia

# The library's Transverse Mercator is the written eighth-order series: it
# agrees with an exact projection to ~15 micrometres in easting/northing
# over a whole regular zone, and its inverse to 5e-11 degrees within 3
# degrees of the central meridian; the wider Norway and Svalbard zones reach
# 6 degrees and there the inverse series gives ~1e-8 degrees.
FORWARD_TOLERANCE_M = 3e-5
INVERSE_TOLERANCE_DEG = 1e-10
INVERSE_TOLERANCE_WIDE_ZONES_DEG = 2e-8


def test_utm_agrees_with_pyproj_on_a_million_positions():
    rng = np.random.default_rng(7)
    lat = rng.uniform(-80, 84, 1_000_000)
    lon = rng.uniform(-180, 180, 1_000_000)
    utm = marovia.utm_forward(lat, lon)
    assert utm.valid.all()
    central = utm.zone * 6.0 - 183.0
    for zone in np.unique(utm.zone):
        for south in (False, True):
            sel = (utm.zone == zone) & (utm.south == south)
            if not sel.any():
                continue
            epsg = (32700 if south else 32600) + int(zone)
            t = pyproj.Transformer.from_crs(4326, epsg)
            e, n = t.transform(lat[sel], lon[sel])
            assert np.abs(e - utm.easting[sel]).max() < FORWARD_TOLERANCE_M
            assert np.abs(n - utm.northing[sel]).max() < FORWARD_TOLERANCE_M
            back_lat, back_lon = marovia.utm_inverse(utm.easting[sel], utm.northing[sel], zone,
                                                     south)
            ref_lat, ref_lon = t.transform(utm.easting[sel], utm.northing[sel],
                                           direction="INVERSE")
            regular = np.abs(lon[sel] - central[sel]) <= 3
            err = np.maximum(np.abs(back_lat - ref_lat), np.abs(back_lon - ref_lon))
            assert err[regular].max(initial=0) < INVERSE_TOLERANCE_DEG
            assert err.max() < INVERSE_TOLERANCE_WIDE_ZONES_DEG


@pytest.mark.parametrize("name,epsg", [("WGS84", 4978), ("GRS80", None)])
def test_cartesian_round_trip_and_pyproj(name, epsg):
    lat = np.array([0.0, 45.0, -89.9, 60.5])
    lon = np.array([0.0, 179.9, -120.0, 10.0])
    h = np.array([0.0, 1000.0, -50.0, 8848.0])
    x, y, z = marovia.geo_to_cartesian(lat, lon, h, ellipsoid=name)
    if epsg:
        ref = pyproj.Transformer.from_crs(4979, epsg, always_xy=True).transform(lon, lat, h)
        np.testing.assert_allclose(np.array([x, y, z]), np.array(ref), atol=1e-6)
    la, lo, hh = marovia.cartesian_to_geo(x, y, z, ellipsoid=name)
    np.testing.assert_allclose(la, lat, atol=1e-9)
    np.testing.assert_allclose(hh, h, atol=1e-3)


def test_ups_round_trip_against_pyproj():
    lat = np.array([85.0, 89.0, -85.0, -88.5])
    lon = np.array([0.0, 135.0, -45.0, 170.0])
    ups = marovia.ups_forward(lat, lon)
    for south, epsg in ((False, 32661), (True, 32761)):
        sel = ups.south == south
        t = pyproj.Transformer.from_crs(4326, epsg, always_xy=True)
        e, n = t.transform(lon[sel], lat[sel])
        np.testing.assert_allclose(ups.x[sel], e, atol=1e-3)
        np.testing.assert_allclose(ups.y[sel], n, atol=1e-3)
    la, lo = marovia.ups_inverse(ups.x, ups.y, ups.south)
    np.testing.assert_allclose(la, lat, atol=1e-9)
    np.testing.assert_allclose(lo, lon, atol=1e-9)


def test_broadcasting_shapes_and_scalars():
    lat = np.array([[50.0], [40.0]])
    lon = np.array([10.0, 11.0, 12.0])
    utm = marovia.utm_forward(lat, lon)
    assert utm.easting.shape == (2, 3)
    assert utm.zone.tolist() == [[32, 32, 33], [32, 32, 33]]
    single = marovia.utm_forward(50, 10)
    assert np.isscalar(single.easting) and single.zone == 32
    assert single.easting == pytest.approx(571666.448, abs=1e-3)
    # A strided view and integer input read the same values.
    grid = np.arange(40.0, 52.0).reshape(3, 4)
    assert np.array_equal(marovia.utm_forward(grid[:, ::2], 10).easting,
                          marovia.utm_forward(grid[:, ::2].copy(), 10.0).easting)
    assert marovia.utm_forward(np.int16(50), np.uint8(10)).easting == single.easting


def test_outside_the_utm_area_is_invalid_not_an_error():
    utm = marovia.utm_forward([85.0, -81.0, 50.0], [0.0, 0.0, 180.0])
    assert not utm.valid.any()
    assert (utm.zone == 0).all() and np.isnan(utm.easting).all()


@pytest.mark.parametrize("call,error,text", [
    (lambda: marovia.utm_forward([50, 95], 10), ValueError, "latitude 95 at index 1"),
    (lambda: marovia.utm_forward(50, -181), ValueError, "longitude -181"),
    (lambda: marovia.utm_forward([np.nan], 1), ValueError, "latitude nan"),
    (lambda: marovia.utm_forward(["a"], 1), TypeError, "latitude must be numbers"),
    (lambda: marovia.utm_forward([1 + 2j], 1), TypeError, "complex"),
    (lambda: marovia.utm_forward([True], 1), TypeError, "bool"),
    (lambda: marovia.utm_forward([1, 2, 3], [1, 2]), ValueError, "do not broadcast"),
    (lambda: marovia.utm_inverse(500000, 0, 61), ValueError, "zone 61"),
    (lambda: marovia.utm_inverse(np.inf, 0, 32), ValueError, "easting inf"),
    (lambda: marovia.utm_forward(50, 10, ellipsoid="nope"), ValueError, "unknown ellipsoid"),
    (lambda: marovia.utm_forward(50, 10, errors="ignore"), ValueError, "errors must be"),
    (lambda: marovia.datum_shift(50, 10, 0, "EUROPEAN", 269), ValueError, "ambiguous"),
    (lambda: marovia.datum_shift(50, 10, 0, 999, 269), ValueError, "datum number 999"),
])
def test_bad_input_raises_a_clear_error(call, error, text):
    with pytest.raises(error, match=text):
        call()


def test_errors_nan_marks_bad_points_and_keeps_the_others():
    lat, lon = marovia.utm_inverse([500000.0, np.nan], [5500000.0, 0.0], [32, 99], errors="nan")
    assert np.isfinite(lat[0]) and np.isnan(lat[1]) and np.isnan(lon[1])


def test_mgrs_both_ways_with_shapes_forms_and_bad_references():
    assert marovia.mgrs_forward(50, 10) == "32UNA7166639109"
    assert marovia.mgrs_forward(50, 10, precision=2, spaced=True) == "32U NA 71 39"
    lat = np.array([[50.0, -33.9, 89.0], [0.0, 60.0, -85.0]])
    lon = np.array([[10.0, 18.4, 0.0], [180.0, 5.0, 10.0]])
    refs = marovia.mgrs_forward(lat, lon)
    assert refs.shape == (2, 3) and refs[1, 0].startswith("1N") and refs[0, 2].startswith("Z")
    # The centres of the 1 m squares are within a metre of the positions.
    back_lat, back_lon = marovia.mgrs_inverse(refs)
    assert back_lat.shape == (2, 3)
    assert np.abs(back_lat - lat).max() < 1e-5
    assert np.abs(np.cos(np.radians(lat)) * (((back_lon - lon) + 180) % 360 - 180)).max() < 1e-5
    # The batch gives what one reference at a time gives.
    for r, a, b in zip(refs.ravel(), back_lat.ravel(), back_lon.ravel()):
        assert marovia.mgrs_inverse(r) == (a, b)
    assert marovia.mgrs_inverse(["32u na 71666 39109", b"32UNA7166639109"])[0].tolist() == \
        [back_lat[0, 0]] * 2
    assert marovia.mgrs_inverse([])[0].shape == (0,)
    with pytest.raises(ValueError, match="'32UNJ' at index 1: .* does not lie in band U"):
        marovia.mgrs_inverse(["32UNA", "32UNJ"])
    with pytest.raises(ValueError, match="not ASCII"):
        marovia.mgrs_inverse("32UNA\u00e9")
    assert np.isnan(marovia.mgrs_inverse("32UNA\u00e9", errors="nan")[0])
    lat2, lon2 = marovia.mgrs_inverse(["32UNA", "bogus"], errors="nan")
    assert np.isfinite(lat2[0]) and np.isnan(lat2[1]) and np.isnan(lon2[1])
    assert marovia.mgrs_forward([50, 95], 10, errors="nan").tolist() == ["32UNA7166639109", ""]
    with pytest.raises(ValueError, match="latitude 95 at index 1"):
        marovia.mgrs_forward([50, 95], 10)
    with pytest.raises(ValueError, match="precision"):
        marovia.mgrs_forward(50, 10, precision=6)
    with pytest.raises(TypeError, match="text"):
        marovia.mgrs_inverse([1.5])


def test_tables_and_datum_shift():
    assert len(marovia.ellipsoids()) == 61 and len(marovia.datums()) == 271
    assert marovia.ellipsoid("wgs 1984").index == 0
    assert marovia.ellipsoid("gelGRS80") == marovia.ellipsoid("GRS80")
    swiss = next(c for c in marovia.countries() if c.iso2 == "ch")
    assert swiss.capital == "Bern"
    assert marovia.utm_zone(60, 5) == "32V"
    lat, lon, h = marovia.datum_shift(51.5, -0.12, 0.0, "ORDNANCE GB", 269)
    # The same shift that geoconvert's README shows: 51.50051 -0.12161.
    assert (round(float(lat), 5), round(float(lon), 5)) == (51.50051, -0.12161)
