"""An independent reader of a static IIIF image service (Image API 3):
reads FOLDER/info.json, derives from the width, height, tiles and sizes
every request a viewer may make of a level-0 service, and checks that each
names a JPEG file of the right size (read from the file's own frame
header). Prints "tiles N sizes M" and exits 0 when all are there; names
each missing or wrong file and exits 1 otherwise.

usage: python3 iiif_image_check.py FOLDER
"""
import json
import math
import os
import struct
import sys


def jpeg_size(path):
    with open(path, "rb") as f:
        data = f.read()
    if data[:2] != b"\xff\xd8":
        return None
    i = 2
    while i + 4 <= len(data):
        if data[i] != 0xFF:
            return None
        marker = data[i + 1]
        length = struct.unpack(">H", data[i + 2:i + 4])[0]
        if 0xC0 <= marker <= 0xCF and marker not in (0xC4, 0xC8, 0xCC):
            h, w = struct.unpack(">HH", data[i + 5:i + 9])
            return w, h
        i += 2 + length
    return None


def main(folder):
    info = json.load(open(os.path.join(folder, "info.json")))
    problems = []
    if info.get("type") != "ImageService3" or info.get("profile") != "level0":
        problems.append("info.json: not a level-0 ImageService3")
    width, height = info["width"], info["height"]
    expected = {}
    for tiles in info["tiles"]:
        tw = tiles["width"]
        th = tiles.get("height", tw)
        for s in tiles["scaleFactors"]:
            for y in range(0, height, th * s):
                for x in range(0, width, tw * s):
                    rw, rh = min(tw * s, width - x), min(th * s, height - y)
                    w, h = math.ceil(rw / s), math.ceil(rh / s)
                    region = "full" if (rw, rh) == (width, height) and (x, y) == (0, 0) else None
                    path = os.path.join(f"{x},{y},{rw},{rh}", f"{w},{h}", "0", "default.jpg")
                    expected[path] = (w, h)
                    if region:
                        expected[os.path.join("full", f"{w},{h}", "0", "default.jpg")] = (w, h)
    tiles_count = len(expected)
    for size in info.get("sizes", []):
        w, h = size["width"], size["height"]
        expected[os.path.join("full", f"{w},{h}", "0", "default.jpg")] = (w, h)
    for path, size in sorted(expected.items()):
        full = os.path.join(folder, path)
        if not os.path.isfile(full):
            problems.append(f"{path}: missing")
        elif jpeg_size(full) != size:
            problems.append(f"{path}: {jpeg_size(full)} instead of {size}")
    for p in problems:
        print(p)
    print(f"tiles {tiles_count} sizes {len(info.get('sizes', []))}")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
