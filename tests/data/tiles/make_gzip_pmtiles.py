#!/usr/bin/env python3
"""Writes gzip_dirs_by_python.pmtiles: a PMTiles version 3 archive whose root
directory, leaf directories and metadata are each a gzip stream (internal
compression 2), written from the format's description with Python's own
gzip, zlib and struct modules and nothing of this project.

Levels 0-3, every tile a 256 x 256 PNG of one colour: (40 + 60 z, 16 x,
16 y), except the eastern half of level 3 (x >= 4), which is one shared
"sea" tile (0, 64, 160), stored once and addressed by runs. The root holds
levels 0-2 and two leaf entries that split level 3.

    python3 make_gzip_pmtiles.py gzip_dirs_by_python.pmtiles
"""
import gzip
import json
import struct
import sys
import zlib


def hilbert(n, x, y):
    d = 0
    s = n // 2
    while s > 0:
        rx = 1 if x & s else 0
        ry = 1 if y & s else 0
        d += s * s * ((3 * rx) ^ ry)
        if ry == 0:
            if rx == 1:
                x, y = n - 1 - x, n - 1 - y
            x, y = y, x
        s //= 2
    return d


def tile_id(z, x, y):
    return sum(4 ** i for i in range(z)) + hilbert(2 ** z, x, y)


def png(rgb):
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    row = b"\0" + bytes(rgb + (255,)) * 256
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 256, 256, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(row * 256, 9)) + chunk(b"IEND", b""))


def varint(v):
    out = bytearray()
    while True:
        b = v & 0x7F
        v >>= 7
        out.append(b | (0x80 if v else 0))
        if not v:
            return bytes(out)


def directory(entries):
    """entries: (tile id, run length, offset, length), ids rising."""
    out = varint(len(entries))
    last = 0
    for e in entries:
        out += varint(e[0] - last)
        last = e[0]
    for e in entries:
        out += varint(e[1])
    for e in entries:
        out += varint(e[3])
    for i, e in enumerate(entries):
        follows = i > 0 and e[2] == entries[i - 1][2] + entries[i - 1][3]
        out += varint(0 if follows else e[2] + 1)
    return out


def main(path):
    sea = png((0, 64, 160))
    tiles = {}
    for z in range(4):
        for x in range(2 ** z):
            for y in range(2 ** z):
                own = png((40 + 60 * z, 16 * x, 16 * y))
                tiles[tile_id(z, x, y)] = sea if z == 3 and x >= 4 else own
    data = bytearray()
    placed = {}
    entries = []
    for tid in sorted(tiles):
        content = tiles[tid]
        if content not in placed:
            placed[content] = (len(data), len(content))
            data += content
        offset, length = placed[content]
        last = entries[-1] if entries else None
        if last and last[2] == offset and last[0] + last[1] == tid:
            entries[-1] = (last[0], last[1] + 1, offset, length)
        else:
            entries.append((tid, 1, offset, length))
    first3 = tile_id(3, 0, 0)
    low = [e for e in entries if e[0] < first3]
    high = [e for e in entries if e[0] >= first3]
    half = len(high) // 2
    leaves = bytearray()
    root_entries = list(low)
    for part in (high[:half], high[half:]):
        leaf = gzip.compress(directory(part))
        root_entries.append((part[0][0], 0, len(leaves), len(leaf)))
        leaves += leaf
    root = gzip.compress(directory(root_entries))
    meta = gzip.compress(json.dumps({"name": "Python-made set, gzip directories", "format": "png",
                                     "type": "baselayer"}).encode())
    header_len = 127
    root_at = header_len
    meta_at = root_at + len(root)
    leaves_at = meta_at + len(meta)
    data_at = leaves_at + len(leaves)
    header = (b"PMTiles" + bytes([3]) +
              struct.pack("<QQQQQQQQ", root_at, len(root), meta_at, len(meta),
                          leaves_at, len(leaves), data_at, len(data)) +
              struct.pack("<QQQ", len(tiles), len(entries), len(placed)) +
              bytes([1, 2, 1, 2, 0, 3]) +
              struct.pack("<iiii", -1800000000, -850511287, 1800000000, 850511287) +
              bytes([0]) + struct.pack("<ii", 0, 0))
    assert len(header) == header_len
    with open(path, "wb") as f:
        f.write(header + root + meta + leaves + data)


if __name__ == "__main__":
    main(sys.argv[1])
