"""Atlases and tiles from Python, and another program's map file drawn
without a calibration file in between: the answers of the library's atlas
index and tile job, checked against the sample maps' own extents."""

import struct
import warnings

import numpy as np
import pytest

import marovia
from test_maps import block_pattern, write_png

WGS84 = ('GEOGCS["WGS 84",DATUM["WGS_1984",SPHEROID["WGS 84",6378137,298.257223563]],'
         'PRIMEM["Greenwich",0],UNIT["degree",0.0174532925199433]]')


def test_atlas_finds_the_finest_map_and_orders_the_others(atlas):
    maps = marovia.Atlas(atlas)
    files = [maps.map(i)[0] for i in range(len(maps))]
    names = [f.rsplit("/", 1)[-1] for f in files]
    covering = [names[i] for i in maps.covering(47.37, 8.54)]
    assert covering[0] == "zurich_utm32.xml"
    resolutions = [maps.map(i)[2] for i in maps.covering(47.37, 8.54)]
    assert resolutions == sorted(resolutions)
    assert names[maps.best_at(47.37, 8.54)] == "zurich_utm32.xml"
    assert maps.best_at(-60, -150) is None
    # One step coarser than the Zurich map is the next in the covering list.
    zurich = maps.best_at(47.37, 8.54)
    assert maps.coarser(47.37, 8.54, maps.map(zurich)[2]) == maps.covering(47.37, 8.54)[1]
    with pytest.raises(ValueError):
        maps.best_at(91, 0)


def test_tiles_of_a_map_into_a_pmtiles_archive(atlas, tmp_path):
    out = tmp_path / "alps.pmtiles"
    written, empty, z0, z1 = marovia.make_tiles(atlas / "alps_eqc.xml", out, zoom=(4, 6))
    assert (z0, z1) == (4, 6) and written > 10
    data = out.read_bytes()
    assert data[:7] == b"PMTiles" and data[7] == 3
    addressed, = struct.unpack_from("<Q", data, 72)
    assert addressed == written


def test_a_world_file_image_is_drawn_without_a_calibration_file(tmp_path):
    # 300 x 200 pixels over 8..11 E, 46..48 N: 0.01 degree a pixel, the
    # world file giving the centre of the top-left pixel.
    image = block_pattern(200, 300)
    write_png(tmp_path / "scan.png", image)
    (tmp_path / "scan.pgw").write_text("0.01\n0\n0\n-0.01\n8.005\n47.995\n")
    (tmp_path / "scan.prj").write_text(WGS84)
    view = marovia.render(tmp_path / "scan.png", center=(47, 9.5), mag=1, size=(100, 60))
    # The view's centre is image pixel (150, 100).
    expected = image[70:130, 100:200].astype(int)
    inner = (np.arange(100, 200) % 16 > 1) & (np.arange(100, 200) % 16 < 14)
    rows = (np.arange(70, 130) % 16 > 1) & (np.arange(70, 130) % 16 < 14)
    assert np.abs(view.astype(int) - expected)[rows][:, inner].max() <= 8
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        assert len(marovia.Atlas(tmp_path / "scan.png")) == 1
