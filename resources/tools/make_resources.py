#!/usr/bin/env python3
"""Writes the library's cursors and button bitmaps from the pixel art below.

Run from anywhere; the files land in the folder above this script:
    CURGEOZOOM.cur  32 x 32 monochrome cursor, hot spot (6, 6): a magnifier
    CURGEOHAND.cur  32 x 32 monochrome cursor, hot spot (0, 0): an open hand
    POINTR.bmp      40 x 20, 8 bits per pixel: two 20 x 20 glyphs (normal,
                    disabled) of an arrow pointer
    ZOOMIN.bmp      40 x 20, 8 bits per pixel: two glyphs of a magnifier
                    with a plus

Pixel art keys:
    cursors:  'X' black, 'o' white, '~' inverted screen, anything else
              transparent
    glyphs:   'X' black, 'o' white, 'g' grey, 'b' blue, 'y' light yellow,
              anything else the background (olive, the transparent colour:
              the glyph's bottom-left pixel must stay background)
"""

import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.dirname(HERE)

# --------------------------------------------------------------------- cursors

ZOOM_CURSOR = [
    "                 ",
    "    XXXXX        ",
    "   XXoooXX       ",
    "  XooooooX       ",
    " XXooo~oooX      ",
    " XXooo~oooX      ",
    " Xoo~~~~~oX      ",
    " Xooo~~~ooX      ",
    " XXooo~oooX      ",
    " XXooo~ooXX      ",
    "  XooooooXo      ",
    "   XXoooXXXo     ",
    "    XXXXXoXXo    ",
    "          oXXo   ",
    "           oXXo  ",
    "            oXXo ",
    "             oXXo",
    "              oX ",
]

HAND_CURSOR = [
    "                  ",
    "       XX         ",
    "   XX XooXXX      ",
    "  XooXXooXooX     ",
    "  XooXXooXooX X   ",
    "   XooXooXooXXoX  ",
    "   XooXooXooXooX  ",
    " XX XoooooooXooX  ",
    "XooXXooooooooooX  ",
    "XoooXoooooooooX   ",
    " XooooooooooooX   ",
    "  XoooooooooooX   ",
    "  XooooooooooX    ",
    "   XoooooooooX    ",
    "    XoooooooX     ",
    "     XooooooX     ",
    "     XooooooX     ",
    "     XXXXXXXX     ",
]


def cursor_file(art, hot_x, hot_y, size=32):
    """A cursor file with one 1-bit image of size x size pixels."""
    stride = (size + 31) // 32 * 4
    xor_rows, and_rows = [], []
    for y in range(size):
        line = art[y] if y < len(art) else ""
        xor_bits = bytearray(stride)
        and_bits = bytearray(stride)
        for x in range(size):
            ch = line[x] if x < len(line) else " "
            a, v = {"X": (0, 0), "o": (0, 1), "~": (1, 1)}.get(ch, (1, 0))
            if a:
                and_bits[x // 8] |= 0x80 >> (x % 8)
            if v:
                xor_bits[x // 8] |= 0x80 >> (x % 8)
        xor_rows.append(bytes(xor_bits))
        and_rows.append(bytes(and_bits))
    # Rows bottom-up, XOR mask then AND mask.
    masks = b"".join(reversed(xor_rows)) + b"".join(reversed(and_rows))
    palette = bytes([0, 0, 0, 0, 255, 255, 255, 0])
    info = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 1, 0, len(masks), 0, 0, 2, 0)
    image = info + palette + masks
    directory = struct.pack("<HHH", 0, 2, 1)
    entry = struct.pack("<BBBBHHII", size % 256, size % 256, 2, 0, hot_x, hot_y, len(image),
                        6 + 16)
    return directory + entry + image


# --------------------------------------------------------------------- glyphs

POINTER_GLYPH = [
    "                    ",
    "                    ",
    "     X              ",
    "     XX             ",
    "     XoX            ",
    "     XooX           ",
    "     XoooX          ",
    "     XooooX         ",
    "     XoooooX        ",
    "     XooooooX       ",
    "     XoooooooX      ",
    "     XooooXXXXX     ",
    "     XooXooX        ",
    "     XoX XooX       ",
    "     XX  XooX       ",
    "     X    XooX      ",
    "          XooX      ",
    "           XX       ",
    "                    ",
    "                    ",
]

ZOOM_GLYPH = [
    "                    ",
    "      XXXXX         ",
    "    XXyyyyyXX       ",
    "   XyyyyyyyyyX      ",
    "   XyyyybyyyyX      ",
    "  XyyyyybyyyyyX     ",
    "  XyyyyybyyyyyX     ",
    "  XyybbbbbbbyyX     ",
    "  XyyyyybyyyyyX     ",
    "  XyyyyybyyyyyX     ",
    "   XyyyybyyyyX      ",
    "   XyyyyyyyyyX      ",
    "    XXyyyyyXXgg     ",
    "      XXXXX XXXg    ",
    "             XXXg   ",
    "              XXXg  ",
    "               XXXg ",
    "                XXX ",
    "                 X  ",
    "                    ",
]

# Palette colours as (R, G, B).
BACKGROUND = (128, 128, 0)  # olive: transparent
COLOURS = {
    "X": (0, 0, 0),
    "o": (255, 255, 255),
    "g": (128, 128, 128),
    "b": (0, 0, 255),
    "y": (255, 255, 200),
}


def disabled(art):
    """The greyed state: every drawn pixel grey, white highlights kept."""
    out = []
    for line in art:
        out.append("".join(" " if c == " " else ("o" if c in "oy" else "g") for c in line))
    return out


def bitmap_file(glyphs):
    """An 8-bit bottom-up BMP of the glyphs side by side."""
    keys = [" "] + sorted(COLOURS)
    palette_rgb = [BACKGROUND] + [COLOURS[k] for k in keys[1:]]
    index = {k: i for i, k in enumerate(keys)}
    height = len(glyphs[0])
    width = sum(len(g[0]) for g in glyphs)
    stride = (width + 3) // 4 * 4
    rows = []
    for y in range(height):
        row = bytearray()
        for g in glyphs:
            row += bytes(index.get(c, 0) for c in g[y])
        row += bytes(stride - len(row))
        rows.append(bytes(row))
    pixels = b"".join(reversed(rows))
    palette = b"".join(bytes([b, g, r, 0]) for (r, g, b) in palette_rgb)
    palette += bytes(4 * (256 - len(palette_rgb)))
    offset = 14 + 40 + len(palette)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 0, len(pixels), 2835, 2835, 256, 0)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    return header + info + palette + pixels


def write(name, data):
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(data)


def main():
    for art in (POINTER_GLYPH, ZOOM_GLYPH):
        assert len(art) == 20 and all(len(line) == 20 for line in art)
        assert art[-1][0] == " ", "the bottom-left pixel is the transparent colour"
    write("CURGEOZOOM.cur", cursor_file(ZOOM_CURSOR, 6, 6))
    write("CURGEOHAND.cur", cursor_file(HAND_CURSOR, 0, 0))
    write("POINTR.bmp", bitmap_file([POINTER_GLYPH, disabled(POINTER_GLYPH)]))
    write("ZOOMIN.bmp", bitmap_file([ZOOM_GLYPH, disabled(ZOOM_GLYPH)]))


if __name__ == "__main__":
    main()
