#!/usr/bin/env python3
"""Draws the program's icon, a serial connector with its cable, and writes res/corvanta.ico.

One 16 x 16 image, 256 colours (8 bits per pixel, a palette of 256 entries) with a transparency mask.
Run it again after changing the drawing and commit both files.
"""
import os
import struct

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


def main():
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "res", "corvanta.ico")
    with open(path, "wb") as f:
        f.write(build())


if __name__ == "__main__":
    main()
