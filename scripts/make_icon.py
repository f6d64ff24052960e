#!/usr/bin/env python3
"""Draws the program's icon, a serial connector with its cable, and writes res/corvanta.ico and res/corvanta_app.ico.

corvanta.ico, the form's and the tray's icon: one 16 x 16 image, 256 colours (8 bits per pixel, a palette of 256
entries) with a transparency mask, drawn pixel by pixel.
corvanta_app.ico, the executable's icon for Explorer, the Start menu and Add/Remove Programs: the same connector drawn
from shapes at 16, 20, 24, 32, 48, 64 and 256 px, 32-bit colour with alpha; 48 px and up are PNG-compressed.
Run it again after changing the drawing and commit the files.
"""
import math
import os
import struct
import zlib

SIZE = 16

# Palette index -> RGB. Index 0 stays black: a transparent pixel has colour 0 and mask bit 1.
COLOURS = {
    ".": None,             # transparent
    "N": (0x1F, 0x3A, 0x68),  # shell outline, navy
    "S": (0x4A, 0x7B, 0xC0),  # shell face, steel blue
    "G": (0xF2, 0xC2, 0x30),  # pins, gold
    "E": (0x9A, 0xA4, 0xB1),  # mounting screws, light grey
    "B": (0x44, 0x48, 0x50),  # cable boot, dark grey
    "C": (0x6E, 0x74, 0x7E),  # cable, grey
    "H": (0xB8, 0xBE, 0xC6),  # cable highlight
}

DRAWING = [
    "................",
    "................",
    ".NNNNNNNNNNNNN..",
    "ENSSSSSSSSSSSNE.",
    "ENSGSGSGSGSGSNE.",
    "ENSSSSSSSSSSSNE.",
    "..NSGSGSGSGSN...",
    "..NSSSSSSSSSN...",
    "...NNNNNNNNN....",
    ".....BBBBB......",
    ".....BBBBB......",
    "......CHC.......",
    "......CHC.......",
    ".......CHC......",
    "........CHC.....",
    ".........CHC....",
]


def build():
    assert len(DRAWING) == SIZE and all(len(row) == SIZE for row in DRAWING)
    letters = [k for k in COLOURS if COLOURS[k] is not None]
    index = {letter: i + 1 for i, letter in enumerate(letters)}
    palette = bytearray(256 * 4)
    for letter, i in index.items():
        r, g, b = COLOURS[letter]
        palette[i * 4:i * 4 + 4] = bytes((b, g, r, 0))

    colour_rows = []
    mask_rows = []
    for row in reversed(DRAWING):  # DIB rows run bottom-up
        colour_rows.append(bytes(index.get(c, 0) for c in row))
        bits = 0
        for c in row:
            bits = (bits << 1) | (1 if c == "." else 0)
        mask_rows.append(struct.pack(">H", bits) + b"\0\0")  # each mask row padded to 32 bits
    colour = b"".join(colour_rows)
    mask = b"".join(mask_rows)

    # The height counts the colour image and the mask together.
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 8, 0, len(colour) + len(mask), 0, 0, 256, 0)
    image = header + bytes(palette) + colour + mask
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 8, len(image), 6 + 16)
    return directory + entry + image


# The connector as shapes on the small icon's 16 x 16 grid, back to front: (colour letter, shape).
def _polygon(*points):
    def inside(x, y):
        hit = False
        for (x1, y1), (x2, y2) in zip(points, points[1:] + points[:1]):
            if (y1 > y) != (y2 > y) and x < x1 + (y - y1) * (x2 - x1) / (y2 - y1):
                hit = not hit
        return hit
    return inside


def _circle(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def _thick_line(points, width):
    def inside(x, y):
        for (x1, y1), (x2, y2) in zip(points, points[1:]):
            dx, dy = x2 - x1, y2 - y1
            t = max(0.0, min(1.0, ((x - x1) * dx + (y - y1) * dy) / (dx * dx + dy * dy)))
            if math.hypot(x - x1 - t * dx, y - y1 - t * dy) <= width / 2:
                return True
        return False
    return inside


CABLE = [(7.5, 10.5), (7.5, 13.0), (10.5, 16.2)]
SHAPES = [
    ("E", _circle(1.0, 4.5, 1.2)),
    ("E", _circle(15.0, 4.5, 1.2)),
    ("C", _thick_line(CABLE, 3.0)),
    ("H", _thick_line(CABLE, 1.0)),
    ("B", _polygon((5.0, 8.5), (11.0, 8.5), (11.0, 11.0), (5.0, 11.0))),
    ("N", _polygon((1.0, 2.0), (15.0, 2.0), (15.0, 6.0), (12.5, 9.0), (3.5, 9.0), (1.0, 6.0))),
    ("S", _polygon((1.9, 2.9), (14.1, 2.9), (14.1, 5.7), (12.1, 8.1), (3.9, 8.1), (1.9, 5.7))),
] + [("G", _circle(x + 0.5, 4.5, 0.62)) for x in (3, 5, 7, 9, 11)] + [
    ("G", _circle(x + 0.5, 6.5, 0.62)) for x in (4, 6, 8, 10)]


def render(size):
    """Rows of (r, g, b, a), top row first, each pixel averaged over n x n samples for smooth edges."""
    n = 4 if size <= 64 else 3
    scale = 16.0 / size
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            r = g = b = covered = 0
            for sy in range(n):
                for sx in range(n):
                    x = (px + (sx + 0.5) / n) * scale
                    y = (py + (sy + 0.5) / n) * scale
                    for letter, inside in reversed(SHAPES):
                        if inside(x, y):
                            cr, cg, cb = COLOURS[letter]
                            r, g, b, covered = r + cr, g + cg, b + cb, covered + 1
                            break
            if covered:
                row.append((round(r / covered), round(g / covered), round(b / covered),
                            round(255 * covered / (n * n))))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


def bmp_image(size, rows):
    colour = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for r, g, b, a in row)
    mask_row = (size + 31) // 32 * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_row)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(colour) + len(mask), 0, 0, 0, 0)
    return header + colour + bytes(mask)


def png_image(size, rows):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    raw = b"".join(b"\0" + bytes(c for pixel in row for c in pixel) for row in rows)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


LARGE_SIZES = (16, 20, 24, 32, 48, 64, 256)
# Images this large are stored PNG-compressed (Windows Vista and later read them); the small ones stay bitmaps,
# which every reader takes. This keeps the executable within its size goal.
PNG_FROM = 48


def build_large():
    images = []
    for size in LARGE_SIZES:
        rows = render(size)
        images.append((size, png_image(size, rows) if size >= PNG_FROM else bmp_image(size, rows)))
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries = b""
    for size, image in images:
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    return directory + entries + b"".join(image for _, image in images)


def main():
    res = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "res")
    with open(os.path.join(res, "corvanta.ico"), "wb") as f:
        f.write(build())
    with open(os.path.join(res, "corvanta_app.ico"), "wb") as f:
        f.write(build_large())


if __name__ == "__main__":
    main()
