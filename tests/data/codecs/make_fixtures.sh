#!/bin/sh
# Makes the BMP and JPEG fixtures of the codec tests with an independent
# encoder (ImageMagick's convert). Run once by hand; the build never runs it.
# The patterns are computed again by the tests (codec_patterns.h), so a change
# here needs the same change there.
#
#   pattern    13 x 7, 91 distinct colours: R = L[4x+3], G = L[8y+5],
#              B = L[(5x+7y) mod 56], where L lists the 56 levels v whose
#              reduction to 5 and to 6 bits is the same whether an encoder
#              shifts, floors or rounds (v>>3 = floor(31v/255) = round(31v/255)
#              and v>>2 = floor(63v/255) = round(63v/255)), so the 16-bit files
#              hold known values
#   pattern16  13 x 7, VGA colour number (x + 2y) mod 16
#   runs       13 x 7, VGA colour number (x/3 + y) mod 16 (runs for RLE)
#   pattern2   13 x 7, yellow where (3x + 5y) mod 7 < 3, else navy
#   gradient   32 x 24, R = 8x, G = 10y, B = 128
set -eu
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

python3 - "$tmp" <<'PY'
import sys
out = sys.argv[1]
L = [v for v in range(256)
     if (v >> 3) == 31 * v // 255 == (62 * v + 255) // 510
     and (v >> 2) == 63 * v // 255 == (126 * v + 255) // 510]
assert len(L) == 56
vga = [0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
       0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF]
def rgb(c): return bytes([c >> 16, (c >> 8) & 255, c & 255])
def save(name, w, h, f):
    data = b''.join(f(x, y) for y in range(h) for x in range(w))
    open(f'{out}/{name}.ppm', 'wb').write(b'P6\n%d %d\n255\n' % (w, h) + data)
save('pattern', 13, 7, lambda x, y: bytes([L[4 * x + 3], L[8 * y + 5], L[(5 * x + 7 * y) % 56]]))
save('pattern16', 13, 7, lambda x, y: rgb(vga[(x + 2 * y) % 16]))
save('runs', 13, 7, lambda x, y: rgb(vga[(x // 3 + y) % 16]))
save('pattern2', 13, 7, lambda x, y: rgb(0xFFFF00 if (3 * x + 5 * y) % 7 < 3 else 0x000080))
save('gradient', 32, 24, lambda x, y: bytes([8 * x, 10 * y, 128]))
# The gradient again, with alpha 8y (0 at the top row, 184 at the bottom).
data = b''.join(bytes([8 * x, 10 * y, 128, 8 * y]) for y in range(24) for x in range(32))
open(f'{out}/gradient_alpha.pam', 'wb').write(
    b'P7\nWIDTH 32\nHEIGHT 24\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n' + data)
PY

c=convert
# Indexed depths, info header (40 bytes) and core header (12 bytes).
$c "$tmp/pattern2.ppm" -type Palette -colors 2 -compress None BMP3:p1_v3.bmp
$c "$tmp/pattern16.ppm" -type Palette -compress None BMP3:p4_v3.bmp
$c "$tmp/pattern.ppm" -type Palette -compress None BMP3:p8_v3.bmp
$c "$tmp/runs.ppm" -type Palette -compress RLE BMP3:rle8_v3.bmp
$c "$tmp/pattern2.ppm" -type Palette -colors 2 BMP2:p1_core.bmp
$c "$tmp/pattern16.ppm" -type Palette BMP2:p4_core.bmp
$c "$tmp/pattern.ppm" -type Palette BMP2:p8_core.bmp
# Direct colour: 16 bits as 5-5-5 and 5-6-5 bit fields (v5 header), 24 bits in
# three header kinds, 32 bits with an alpha mask (v5 header).
$c "$tmp/pattern.ppm" -define bmp:subtype=RGB555 BMP:p555_v5.bmp
$c "$tmp/pattern.ppm" -define bmp:subtype=RGB565 BMP:p565_v5.bmp
$c "$tmp/pattern.ppm" -type TrueColor BMP3:p24_v3.bmp
$c "$tmp/pattern.ppm" -type TrueColor BMP:p24_v5.bmp
$c "$tmp/pattern.ppm" -type TrueColor BMP2:p24_core.bmp
$c "$tmp/pattern.ppm" -alpha on -define bmp:subtype=ARGB8888 BMP:p32_v5.bmp
# JPEG: colour, grayscale and CMYK (written with the inverted Adobe convention).
$c "$tmp/gradient.ppm" -quality 95 color.jpg
$c "$tmp/gradient.ppm" -colorspace Gray -quality 95 gray.jpg
$c "$tmp/gradient.ppm" -colorspace CMYK -quality 95 cmyk.jpg
# PNG: interlaced colour, 16 bits per sample, a palette, colour with alpha.
$c "$tmp/gradient.ppm" -interlace PNG PNG24:adam7.png
$c "$tmp/gradient.ppm" -depth 16 PNG48:rgb16.png
$c "$tmp/pattern16.ppm" PNG8:palette.png
$c "$tmp/gradient_alpha.pam" PNG32:rgba.png
