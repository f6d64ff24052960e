#!/usr/bin/env python3
"""Draws the About box's picture, a serial connector whose cable ends in a keyboard key, and writes res/about.bmp.

220 x 200 pixels, drawn in 24-bit colour and stored as an 8-bit palette BMP (bottom-up, uncompressed): the
drawing has a few hundred colours, so the palette loses nothing visible and the executable stays small. Edges
are smoothed by sampling every pixel 4 x 4 times. Run it again after changing the drawing and commit both files.
"""
import math
import os
import struct

WIDTH, HEIGHT = 220, 200
SAMPLES = 4

NAVY = (0x1F, 0x3A, 0x68)
STEEL = (0x4A, 0x7B, 0xC0)
GOLD = (0xF2, 0xC2, 0x30)
SCREW = (0x9A, 0xA4, 0xB1)
CABLE = (0x5E, 0x64, 0x6E)
KEY_EDGE = (0x8C, 0x93, 0x9E)
KEY_FACE = (0xF4, 0xF6, 0xF9)
KEY_MARK = (0x1F, 0x3A, 0x68)


def background(x, y):
    """A soft top-to-bottom gradient from pale blue to white."""
    t = y / HEIGHT
    top, bottom = (0xC9, 0xDB, 0xF2), (0xFF, 0xFF, 0xFF)
    return tuple(round(a + (b - a) * t) for a, b in zip(top, bottom))


def in_trapezoid(x, y, top, bottom, top_half, bottom_half, cx=110):
    if not top <= y <= bottom:
        return False
    half = top_half + (bottom_half - top_half) * (y - top) / (bottom - top)
    return abs(x - cx) <= half


def in_rounded_rect(x, y, left, top, right, bottom, radius):
    if not (left <= x <= right and top <= y <= bottom):
        return False
    cx = min(max(x, left + radius), right - radius)
    cy = min(max(y, top + radius), bottom - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def near_cable(x, y, width=5.0):
    """The cable: a sine-shaped run from the connector's boot down to the key."""
    if not 70 <= y <= 128:
        return False
    centre = 110 + 14 * math.sin((y - 70) / 58 * 2 * math.pi)
    return abs(x - centre) <= width


PINS = [(70 + 20 * i, 35) for i in range(5)] + [(80 + 20 * i, 52) for i in range(4)]


def colour_at(x, y):
    """The colour of one sample point, the topmost shape first."""
    # The key: a rounded cap with a darker rim and a return-arrow mark.
    if in_rounded_rect(x, y, 66, 124, 154, 190, 12):
        if not in_rounded_rect(x, y, 72, 128, 148, 180, 9):
            return KEY_EDGE
        on_stem = 124 <= x <= 130 and 140 <= y <= 164
        on_bar = 90 <= x <= 130 and 158 <= y <= 164
        on_head = x >= 82 and abs(y - 161) <= (x - 82) * 0.9 and x <= 96
        return KEY_MARK if (on_stem or on_bar or on_head) else KEY_FACE
    if near_cable(x, y):
        return CABLE
    # Boot where the cable leaves the connector.
    if in_rounded_rect(x, y, 98, 62, 122, 78, 4):
        return CABLE
    # Mounting screws either side of the shell.
    for sx in (30, 190):
        if (x - sx) ** 2 + (y - 43) ** 2 <= 8 ** 2:
            return SCREW
    # The D-shaped shell: navy rim, steel face, gold pins.
    if in_trapezoid(x, y, 18, 68, 74, 56):
        if not in_trapezoid(x, y, 23, 63, 68, 51):
            return NAVY
        for px, py in PINS:
            if (x - px) ** 2 + (y - py) ** 2 <= 5 ** 2:
                return GOLD
        return STEEL
    return background(x, y)


def render():
    rows = []
    for y in range(HEIGHT):
        row = []
        for x in range(WIDTH):
            total = [0, 0, 0]
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    c = colour_at(x + (sx + 0.5) / SAMPLES, y + (sy + 0.5) / SAMPLES)
                    total = [t + v for t, v in zip(total, c)]
            row.append(tuple(round(t / SAMPLES ** 2) for t in total))
        rows.append(row)
    return rows


def palette_of(rows):
    """The 256 most used colours; every other colour maps to its nearest one among them."""
    counts = {}
    for row in rows:
        for c in row:
            counts[c] = counts.get(c, 0) + 1
    palette = sorted(counts, key=lambda c: -counts[c])[:256]
    index = {c: i for i, c in enumerate(palette)}
    for c in counts:
        if c not in index:
            index[c] = min(range(len(palette)), key=lambda i: sum((a - b) ** 2 for a, b in zip(c, palette[i])))
    return palette, index


def bmp_bytes(rows):
    palette, index = palette_of(rows)
    stride = (WIDTH + 3) & ~3
    pixels = bytearray()
    for row in reversed(rows):  # BMP rows run bottom-up
        line = bytearray(index[c] for c in row)
        line += b"\0" * (stride - len(line))
        pixels += line
    colours = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    colours += b"\0" * (4 * 256 - len(colours))
    info = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 8, 0, len(pixels), 3780, 3780, 256, 0)
    offset = 14 + len(info) + len(colours)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    return header + info + colours + bytes(pixels)


def main():
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "res", "about.bmp")
    with open(out, "wb") as f:
        f.write(bmp_bytes(render()))


if __name__ == "__main__":
    main()
