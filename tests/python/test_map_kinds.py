"""Every kind of map (a calibration with a BMP, JPEG, PNG, small or large
TIFF image; a GeoTIFF, world file, .map file with a border or control-point
list imported on the fly) drawn by render and placed by an Atlas. The kinds
are written by the C++ tests' maker: one place, 46..48 N 8..11 E, in four
coloured quadrants."""

import os
import subprocess

import numpy as np
import pytest

import marovia

QUADRANTS = {(16, 12): (255, 0, 0), (48, 12): (0, 255, 0),
             (16, 36): (0, 0, 255), (48, 36): (255, 255, 0)}


@pytest.fixture(scope="module")
def kinds(tmp_path_factory):
    writer = os.environ.get("MAROVIA_WRITE_MAP_KINDS")
    if not writer:
        pytest.skip("MAROVIA_WRITE_MAP_KINDS is set by the build's test run")
    folder = tmp_path_factory.mktemp("kinds")
    # The writer is a program of its own: the sanitizers' runtime that an
    # instrumented build preloads into this interpreter is already in it.
    env = {k: v for k, v in os.environ.items() if k != "LD_PRELOAD"}
    lines = subprocess.run([writer, str(folder)], check=True, capture_output=True,
                           text=True, env=env).stdout.split("\n")
    return folder, [line.split() for line in lines if line]


def test_every_kind_is_drawn_and_placed(kinds, monkeypatch):
    folder, found = kinds
    monkeypatch.setenv("XDG_CACHE_HOME", str(folder / "cache"))
    assert len(found) == 9
    for name, file, large, border in found:
        width = 2100 if large == "1" else 300
        view = marovia.render(folder / file, center=(47, 9.5), mag=64 / width, size=(64, 48))
        for (x, y), colour in QUADRANTS.items():
            assert np.abs(view[y, x].astype(int) - colour).max() < 40, (name, x, y, view[y, x])
        atlas = marovia.Atlas(folder / file)
        assert len(atlas) == 1 and atlas.best_at(47.5, 8.75) == 0, name
        # Inside the image, outside the border that leaves out its outer eighth.
        assert (atlas.best_at(47.95, 8.9) is None) == (border == "1"), name
