#!/usr/bin/env python3
"""Benchmarks of the Python package, each against its peer in the same
process, one thread:

- UTM forward of 1 000 000 positions from numpy arrays, against pyproj's
  Transformer.transform from EPSG:4326 to the zone's EPSG:326xx;
- MGRS references of the same positions and back (pyproj has none: the
  figures stand alone);
- a 1920 x 1080 view of the sample atlas rendered to a numpy array, against
  the drawing alone in C++ (what the binding adds: argument checks, the
  copy into the array).

Run from the repository with the package on the path:
  PYTHONPATH=build/python python3 bench/python/bench_python.py
"""

import time
from pathlib import Path

import numpy as np
import pyproj

import marovia
from marovia import _marovia

REPO = Path(__file__).resolve().parents[2]


def best_of(runs, call):
    best = float("inf")
    for _ in range(runs):
        start = time.perf_counter()
        result = call()
        best = min(best, time.perf_counter() - start)
    return best, result


def main():
    n = 1_000_000
    rng = np.random.default_rng(3)
    # One zone, as a pyproj transformer serves one: zone 32 north.
    lat = rng.uniform(0.5, 72, n)
    lon = rng.uniform(6.01, 11.99, n)
    ours, utm = best_of(5, lambda: marovia.utm_forward(lat, lon))
    assert (utm.zone == 32).sum() > 0.95 * n
    transformer = pyproj.Transformer.from_crs(4326, 32632)
    theirs, _ = best_of(5, lambda: transformer.transform(lat, lon))
    print(f"UTM forward, 1e6 positions: marovia {ours * 1e9 / n:.1f} ns/point, "
          f"pyproj {theirs * 1e9 / n:.1f} ns/point, ratio {theirs / ours:.2f}x")

    ours, lat_lon = best_of(5, lambda: marovia.utm_inverse(utm.easting, utm.northing, 32))
    theirs, _ = best_of(5, lambda: transformer.transform(utm.easting, utm.northing,
                                                         direction="INVERSE"))
    print(f"UTM inverse, 1e6 positions: marovia {ours * 1e9 / n:.1f} ns/point, "
          f"pyproj {theirs * 1e9 / n:.1f} ns/point, ratio {theirs / ours:.2f}x")

    ours, refs = best_of(5, lambda: marovia.mgrs_forward(lat, lon))
    back, _ = best_of(5, lambda: marovia.mgrs_inverse(refs))
    print(f"MGRS, 1e6 positions: to references {ours * 1e9 / n:.1f} ns/point, "
          f"back {back * 1e9 / n:.1f} ns/point")

    atlas = str(REPO / "samples" / "atlas")
    args = (atlas, (47.37, 8.54), 0.5, (1920, 1080), "lines", 0.0, 0,
            str(REPO / "samples" / "atlas" / "landmarks.xml"), True)
    totals, drawings = [], []
    for _ in range(7):
        start = time.perf_counter()
        _, drawing = _marovia.render_timed(*args)
        totals.append(time.perf_counter() - start)
        drawings.append(drawing)
    total, drawing = min(totals), min(drawings)
    print(f"1920x1080 view to an array: {total * 1e3:.1f} ms in all, of which the C++ "
          f"drawing {drawing * 1e3:.1f} ms; the binding adds {(total - drawing) * 1e3:.1f} ms")


if __name__ == "__main__":
    main()
