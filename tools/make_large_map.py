#!/usr/bin/env python3
"""Makes a large calibrated sample map: the coast of Brittany drawn by GMT
from the full-resolution GSHHG coastlines in plate carrée on a sphere, as a
baseline JPEG of SIZE x SIZE pixels, and a calibration file beside it with a
4 x 4 grid of points computed by `gmt mapproject`.

Run by tools/make_large_map.sh (which checks for the programs). The image
covers about 330 km whatever its size, so a small one (for tests) shows the
same coast at a coarser resolution.
"""
import argparse
import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.dont_write_bytecode = True

from gmtproj import Frame, round_half_even, run_gmt  # noqa: E402
import xmlfiles  # noqa: E402

CENTRE_LON, CENTRE_LAT = -3.8, 48.2
SPAN_METRES = 330000.0
LAND = '232/222/188'
SEA = '160/196/232'
COAST_PEN = '60/90/130'
GRATICULE_PEN = '120/130/150'
JPEG_QUALITY = 90
SPHERE = ['--PROJ_ELLIPSOID=Sphere']
CALIB_LONS = [-5.5, -4.5, -3.5, -2.5]
CALIB_LATS = [47.0, 47.8, 48.6, 49.4]


def frame_of(size):
    return Frame.centred('-JQ%g/%g' % (CENTRE_LON, CENTRE_LAT), CENTRE_LON, CENTRE_LAT,
                         SPAN_METRES / size, size, size, SPHERE)


def jpeg_size(path):
    with open(path, 'rb') as f:
        data = f.read(1 << 16)
    pos = 2
    while pos + 9 <= len(data):
        marker, length = data[pos + 1], struct.unpack('>H', data[pos + 2:pos + 4])[0]
        if marker in (0xC0, 0xC1, 0xC2):
            h, w = struct.unpack('>HH', data[pos + 5:pos + 9])
            return w, h
        pos += 2 + length
    raise ValueError('no frame header in ' + path)


def draw(frame, ps_path, coast):
    page = ['-Xa0', '-Ya0', '--PS_MEDIA=%dx%d' % (frame.width, frame.height),
            '--PS_PAGE_ORIENTATION=portrait']
    common = frame.drawing_options()
    with open(ps_path, 'wb') as ps:
        def gmt(args):
            ps.write(run_gmt(args).encode('latin-1'))
        gmt(['pscoast'] + common + [coast, '-A0', '-G' + LAND, '-S' + SEA, '-C' + SEA,
                                    '-K'] + page)
        gmt(['psbasemap'] + common + ['-Bg0.5', '--MAP_GRID_PEN_PRIMARY=0.5p,' + GRATICULE_PEN,
                                      '--MAP_FRAME_TYPE=inside', '-O', '-K'] + page)
        gmt(['pscoast'] + common + [coast, '-A0', '-W1/0.6p,' + COAST_PEN, '-O', '-K'] + page)
        pixel_space = ['-R0/%d/0/%d' % (frame.width, frame.height),
                       '-JX%dp/%dp' % (frame.width, frame.height)]
        gmt(['psxy', '-T', '-O'] + pixel_space + page)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('--out', required=True, help='directory of the map and its calibration')
    parser.add_argument('--size', type=int, default=16384, help='side in pixels')
    parser.add_argument('--name', default='large_map', help='file name without extension')
    args = parser.parse_args()
    if not 256 <= args.size <= 65000:
        parser.error('size must lie in 256 .. 65000')
    out = os.path.abspath(args.out)
    os.makedirs(out, exist_ok=True)
    frame = frame_of(args.size)

    ps_path = os.path.abspath(args.name + '.ps')
    try:
        draw(frame, ps_path, '-Df')
    except RuntimeError:
        draw(frame, ps_path, '-Dh')  # without the full-resolution set
    run_gmt(['psconvert', ps_path, '-Tj', '-E72', '-Qg4', '-Qt4', '-C-dJPEGQ=%d' % JPEG_QUALITY,
             '-D' + out, '-F' + args.name])
    jpg = os.path.join(out, args.name + '.jpg')
    size = jpeg_size(jpg)
    if size != (frame.width, frame.height):
        raise SystemExit('make_large_map: the raster came out %d x %d' % size)

    geo = [(lat, lon) for lat in CALIB_LATS for lon in CALIB_LONS]
    quads = [(lat, lon, round_half_even(x), round_half_even(y))
             for (lat, lon), (x, y) in zip(geo, frame.geo_to_pixels(geo))]
    lines = xmlfiles.calibration_lines(
        args.name, 'equirect', args.name + '.jpg', 'Brittany (plate carree), %d px' % args.size,
        frame.corners(), frame.resolution(), quads=quads)
    xmlfiles.write_lines(os.path.join(out, args.name + '.xml'), lines)
    print('%s: %d x %d, %.3f m/px' % (jpg, frame.width, frame.height, frame.resolution()))


if __name__ == '__main__':
    main()
