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


def pmtiles_tiles(path):
    """{tile id: bytes} of a small PMTiles archive (plain root, no leaves)."""
    data = path.read_bytes()
    root, root_len, _, _, _, leaf_len, tiles_at, _ = struct.unpack_from("<8Q", data, 8)
    assert leaf_len == 0 and data[97] == 1
    pos = root

    def varint():
        nonlocal pos
        value = shift = 0
        while True:
            byte = data[pos]
            pos += 1
            value |= (byte & 0x7F) << shift
            shift += 7
            if byte < 0x80:
                return value

    count = varint()
    ids = [varint() for _ in range(count)]
    runs = [varint() for _ in range(count)]
    lengths = [varint() for _ in range(count)]
    offsets = [varint() for _ in range(count)]
    assert pos == root + root_len
    tiles, tile_id, offset = {}, 0, 0
    for i in range(count):
        tile_id += ids[i]
        offset = offsets[i] - 1 if offsets[i] else offset + lengths[i - 1]
        for k in range(runs[i]):
            tiles[tile_id + k] = data[tiles_at + offset:tiles_at + offset + lengths[i]]
    return tiles


def test_parts_of_a_job_make_the_tiles_of_one_run_and_are_not_made_twice(atlas, tmp_path,
                                                                         monkeypatch):
    for name in ("SLURM_ARRAY_TASK_ID", "JOB_COMPLETION_INDEX", "GEOMAP_PARTS"):
        monkeypatch.delenv(name, raising=False)
    monkeypatch.setenv("XDG_CACHE_HOME", str(tmp_path / "cache"))
    source = atlas / "zurich_utm32.xml"
    one = tmp_path / "one" / "z.pmtiles"
    one.parent.mkdir()
    written = marovia.make_tiles(source, one, zoom=(5, 9), jobs=1)[0]
    out = tmp_path / "parts" / "z.pmtiles"
    made = {}
    for k in (1, 2):
        assert marovia.make_tiles(source, out, zoom=(5, 9), part=(k, 3), jobs=1)[0] > 0
    # The third part from a Slurm array's variables, as a task of it.
    monkeypatch.setenv("SLURM_ARRAY_TASK_ID", "2")
    monkeypatch.setenv("SLURM_ARRAY_TASK_COUNT", "3")
    marovia.make_tiles(source, out, zoom=(5, 9), jobs=1)
    for k in (1, 2, 3):
        fragment = tmp_path / "parts" / f"z.part-{k}-of-3.pmtiles"
        assert (tmp_path / "parts" / f"z.part-{k}-of-3.pmtiles.manifest").is_file()
        tiles = pmtiles_tiles(fragment)
        assert not made.keys() & tiles.keys()
        made.update(tiles)
    assert len(made) == written
    assert made == pmtiles_tiles(one)
    # A part re-run with the same inputs makes nothing.
    assert marovia.make_tiles(source, out, zoom=(5, 9))[0] == 0
    with pytest.raises(ValueError):
        marovia.make_tiles(source, out, part=(4, 3))


@pytest.mark.parametrize("environ,parts,expected", [
    ({}, None, None),
    ({"SLURM_ARRAY_TASK_ID": "0", "SLURM_ARRAY_TASK_COUNT": "4"}, None, (1, 4)),
    ({"SLURM_ARRAY_TASK_ID": "7", "SLURM_ARRAY_TASK_MIN": "1", "SLURM_ARRAY_TASK_MAX": "9",
      "SLURM_ARRAY_TASK_STEP": "2"}, None, (4, 5)),
    # Slurm's variables win over Kubernetes'.
    ({"SLURM_ARRAY_TASK_ID": "3", "SLURM_ARRAY_TASK_MAX": "3", "JOB_COMPLETION_INDEX": "0"},
     5, (4, 4)),
    ({"JOB_COMPLETION_INDEX": "2", "GEOMAP_PARTS": "3"}, None, (3, 3)),
    ({"JOB_COMPLETION_INDEX": "2", "GEOMAP_PARTS": "9"}, 4, (3, 4)),
    ({"SLURM_ARRAY_TASK_ID": "4"}, None, "without SLURM_ARRAY_TASK_COUNT"),
    ({"SLURM_ARRAY_TASK_ID": "4", "SLURM_ARRAY_TASK_COUNT": "4"}, None, "not one of an array"),
    ({"SLURM_ARRAY_TASK_ID": "x1"}, None, "not a whole number"),
    ({"JOB_COMPLETION_INDEX": "0"}, None, "number of completions"),
    ({"JOB_COMPLETION_INDEX": "3"}, 3, "not below the 3 parts"),
    ({}, 3, "needs JOB_COMPLETION_INDEX"),
])
def test_the_part_comes_from_the_schedulers_variables_as_the_tool_takes_it(environ, parts,
                                                                          expected):
    if isinstance(expected, str):
        with pytest.raises(ValueError, match=expected):
            marovia._scheduler_part(environ, parts)
    else:
        assert marovia._scheduler_part(environ, parts) == expected


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
