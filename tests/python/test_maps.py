"""Rendered views: the array is the picture the file writer writes, in RGB
order, and bad requests raise clear errors."""

import struct
import zlib

import numpy as np
import pytest

import marovia


def read_bmp24(path):
    """A 24-bit bottom-up BMP as an (H, W, 3) RGB array, parsed here from the
    file format alone."""
    data = path.read_bytes()
    offset, = struct.unpack_from("<I", data, 10)
    width, height, _, bits = struct.unpack_from("<iiHH", data, 18)
    assert bits == 24
    stride = (width * 3 + 3) // 4 * 4
    rows = np.frombuffer(data, np.uint8, stride * abs(height), offset).reshape(abs(height), stride)
    bgr = rows[:, :width * 3].reshape(abs(height), width, 3)
    if height > 0:
        bgr = bgr[::-1]
    return bgr[:, :, ::-1]


def test_array_equals_the_written_file(atlas, tmp_path):
    kwargs = dict(center=(47.37, 8.54), mag=1, size=(320, 200), grid="lines",
                  landmarks=atlas / "landmarks.xml")
    view = marovia.render(atlas, **kwargs)
    assert view.shape == (200, 320, 3) and view.dtype == np.uint8
    drawn = marovia.render_to_file(atlas, tmp_path / "view.bmp", **kwargs)
    assert drawn.endswith(".xml")
    assert np.array_equal(view, read_bmp24(tmp_path / "view.bmp"))


def write_png(path, rgb):
    """An 8-bit RGB PNG, written here from the format alone."""
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data)))
    height, width, _ = rgb.shape
    raw = b"".join(b"\x00" + row.tobytes() for row in rgb)
    path.write_bytes(b"\x89PNG\r\n\x1a\n" +
                     chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
                     chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


def block_pattern(height, width):
    """Colours that change every 16 pixels, so that a place in the image can
    be told from its colour (the view keeps 5 bits per channel)."""
    y, x = np.mgrid[0:height, 0:width]
    return np.stack([(x // 16) * 16 % 256, (y // 16) * 16 % 256,
                     ((x // 256) * 64 + (y // 256) * 16) % 256], axis=-1).astype(np.uint8)


def test_view_shows_the_map_pixels_around_the_centre(atlas, tmp_path):
    # The Alps calibration on an image of our own: the calibration point
    # 46 N 9 E sits at pixel (600, 613), so a 200 x 100 view centred there at
    # magnification 1 shows image pixels 500..699 x 563..662.
    calibration = (atlas / "alps_eqc.xml").read_bytes().replace(b"alps_eqc.jpg", b"pattern.png")
    (tmp_path / "pattern.xml").write_bytes(calibration)
    image = block_pattern(1150, 1600)
    write_png(tmp_path / "pattern.png", image)
    view = marovia.render(tmp_path / "pattern.xml", center=(46, 9), mag=1, size=(200, 100))
    expected = image[563:663, 500:700].astype(int)
    inner = (np.arange(500, 700) % 16 > 1) & (np.arange(500, 700) % 16 < 14)
    rows = (np.arange(563, 663) % 16 > 1) & (np.arange(563, 663) % 16 < 14)
    diff = np.abs(view.astype(int) - expected)[rows][:, inner]
    assert diff.max() <= 8


@pytest.mark.parametrize("kwargs,error,text", [
    (dict(source="samples/atlas"), ValueError, "needs a center"),
    (dict(source="no/such/file.xml"), marovia.FileError, "file.xml"),
    (dict(center=(95, 0)), ValueError, "center"),
    (dict(center=(-60, -150)), marovia.MapError, "no map of the atlas contains"),
    (dict(size=(8, 8)), ValueError, "sides from 16"),
    (dict(mag=0), ValueError, "mag"),
    (dict(grid="dots"), ValueError, "grid 'dots'"),
])
def test_bad_view_requests(atlas, kwargs, error, text):
    args = dict(source=atlas, center=(47.37, 8.54))
    args.update(kwargs)
    if args["source"] == "samples/atlas":
        args["source"] = atlas
        del args["center"]
    source = args.pop("source")
    with pytest.raises(error, match=text):
        marovia.render(source, **args)


def test_output_extension_is_checked(atlas, tmp_path):
    with pytest.raises(ValueError, match="extension"):
        marovia.render_to_file(atlas, tmp_path / "view.gif", center=(47.37, 8.54))
    with pytest.raises(marovia.FileError):
        marovia.render_to_file(atlas, tmp_path / "missing" / "view.png", center=(47.37, 8.54))
