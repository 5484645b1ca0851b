"""Calibrations from Python: fitted from arrays against projections computed
by an independent tool, files read and written back, residuals checked
against refits through the public API, bad input."""

from pathlib import Path

import numpy as np
import pytest

import marovia

PROJECTIONS = Path(__file__).resolve().parents[1] / "data" / "geomap" / "projections"


def fixture(name):
    """The clicked and the check points of a projection fixture, and its
    image size and model."""
    calib, check, size, model = [], [], None, None
    for line in (PROJECTIONS / name).read_text().splitlines():
        if line.startswith("# image:"):
            size = tuple(int(v) for v in line.split()[2:4])
        elif line.startswith("# model:"):
            model = line.split()[2]
        elif line.startswith(("calib ", "check ")):
            (calib if line.startswith("calib") else check).append(
                [float(v) for v in line.split()[1:]])
    return np.array(calib), np.array(check), size, model


@pytest.mark.parametrize("name", ["eqc.txt", "miller.txt", "utm32.txt"])
def test_fitted_from_arrays_lands_on_the_projection(name):
    calib, check, (width, height), model = fixture(name)
    if model == "utm":
        # Clicked points as the zone's northing and easting (some lie far
        # outside zone 32).
        cal = marovia.Calibration.fit(model, calib[:, 4], calib[:, 5], calib[:, 2], calib[:, 3],
                                      width, height, utm_zone=32, coordinates="utm")
    else:
        cal = marovia.Calibration.fit(model, calib[:, 0], calib[:, 1], calib[:, 2], calib[:, 3],
                                      width, height)
    x, y, ok = cal.to_pixel(check[:, 0], check[:, 1])
    assert ok.all()
    # The clicks were rounded to whole pixels: that is the error left.
    assert np.abs(x - check[:, 2]).max() <= 1.0
    assert np.abs(y - check[:, 3]).max() <= 1.0
    lat, lon, ok = cal.to_geo(check[:, 2], check[:, 3])
    assert ok.all()
    back_x, back_y, _ = cal.to_pixel(lat, lon)
    assert np.abs(back_x - check[:, 2]).max() < 0.05
    assert np.abs(back_y - check[:, 3]).max() < 0.05


def test_arrays_give_what_single_points_give(atlas):
    cal = marovia.Calibration.load(atlas / "europe_lcc.xml")
    lat = np.linspace(40, 55, 12).reshape(3, 4)
    lon = np.array([0.0, 5.0, 10.0, 15.0])
    x, y, ok = cal.to_pixel(lat, lon)
    assert x.shape == (3, 4)
    for i in np.ndindex(lat.shape):
        single = cal.to_pixel(lat[i], lon[i[1]])
        assert (single[0], single[1]) == (x[i], y[i])
    xi, yi, _ = cal.to_pixel(lat, lon, round=True)
    assert xi.dtype == np.int32 and np.abs(xi - x).max() <= 0.5


def test_leave_one_out_residuals_are_refits_without_the_point(atlas):
    cal = marovia.Calibration.load(atlas / "alps_eqc.xml")
    points = cal.points
    res = cal.residuals()
    assert res.index.tolist() == list(range(1, len(points) + 1))
    width, height = cal.image_size
    for i in (0, 5, len(points) - 1):
        rest = np.delete(points, i, axis=0)
        refit = marovia.Calibration.fit(cal.model, rest[:, 0], rest[:, 1], rest[:, 2], rest[:, 3],
                                        width, height)
        x, y, ok = refit.to_pixel(points[i, 0], points[i, 1])
        assert ok and res.loo_valid[i]
        assert res.loo_dx[i] == pytest.approx(points[i, 2] - x, abs=0.51)
        assert res.loo_dy[i] == pytest.approx(points[i, 3] - y, abs=0.51)
    # Leaving a point out can only make it miss by more, on average.
    assert np.hypot(res.loo_dx, res.loo_dy).mean() >= np.hypot(res.dx, res.dy).mean()


def test_saved_calibration_loads_back_the_same(atlas, tmp_path):
    cal = marovia.Calibration.load(atlas / "iberia_stereo.xml")
    cal.save(tmp_path / "copy.xml", "copy")
    again = marovia.Calibration.load(tmp_path / "copy.xml", "copy", image_size=cal.image_size)
    assert again.model == cal.model and np.array_equal(again.points, cal.points)
    lat, lon = np.array([40.4, 41.4, 37.4]), np.array([-3.7, 2.2, -6.0])
    assert np.array_equal(again.to_pixel(lat, lon)[0], cal.to_pixel(lat, lon)[0])


@pytest.mark.parametrize("call,error,text", [
    (lambda c: marovia.Calibration.fit("mercator", [1], [1], [1], [1], 10, 10), ValueError,
     "unknown calibration model 'mercator'"),
    (lambda c: marovia.Calibration.fit("biquadraticpn", [1, 2, 3], [1, 2, 3], [1, 2, 3],
                                       [3, 1, 2], 10, 10), marovia.MapError, "at least 6"),
    (lambda c: marovia.Calibration.fit("equirect", [1, 2, 3], [1, 2, 3], [1.5, 2, 3],
                                       [3, 1, 2], 10, 10), ValueError, "x 1.5 at index 0"),
    (lambda c: marovia.Calibration.fit("parabolicip", [1], [1], [1], [1], 10, 10), ValueError,
     "graticule lines"),
    (lambda c: marovia.Calibration.fit("equirect", np.zeros(201), np.zeros(201), np.zeros(201),
                                       np.zeros(201), 10, 10), ValueError, "at most 200"),
    (lambda c: c.to_pixel([46, 95], 9), ValueError, "latitude 95 at index 1"),
    (lambda c: c.to_pixel(46, np.nan), ValueError, "longitude nan"),
    (lambda c: c.to_geo([1, np.inf], 2), ValueError, "x inf at index 1"),
    (lambda c: c.to_geo("12", 2), TypeError, "x must be numbers"),
    (lambda c: c.to_geo([1, 2, 3], [1, 2]), ValueError, "do not broadcast"),
    (lambda c: marovia.Calibration.load("no/such.xml"), FileNotFoundError, "no/such.xml"),
])
def test_bad_input_raises_a_clear_error(atlas, call, error, text):
    cal = marovia.Calibration.load(atlas / "alps_eqc.xml")
    with pytest.raises(error, match=text):
        call(cal)


def test_errors_nan_lets_bad_points_fail_alone(atlas):
    cal = marovia.Calibration.load(atlas / "alps_eqc.xml")
    x, y, ok = cal.to_pixel([46, 95, np.nan], 9, errors="nan")
    assert ok.tolist() == [True, True, False] and np.isnan(x[2])
