#!/usr/bin/env python3
"""Writes the module's icon: one 16 x 16 image in 256 colours, a pair of
braces on a blue tile. Edit PIXELS or PALETTE and run it again:
    python3 scripts/make_icon.py module/lumarix.ico
"""
import struct
import sys

# '.' is transparent; the other letters name palette entries.
PIXELS = [
    "..BBBBBBBBBBBB..",
    ".BBBBBBBBBBBBBB.",
    "BBBBBBBBBBBBBBBB",
    "BBBBWWBBBBWWBBBB",
    "BBBWBBBBBBBBWBBB",
    "BBBWBBBBBBBBWBBB",
    "BBBWBBBBBBBBWBBB",
    "BBWBBBBYYBBBBWBB",
    "BBBWBBBYYBBBWBBB",
    "BBBWBBBBBBBBWBBB",
    "BBBWBBBBBBBBWBBB",
    "BBBBWWBBBBWWBBBB",
    "BBBBBBBBBBBBBBBB",
    "BBBBBBBBBBBBBBBB",
    ".BBBBBBBBBBBBBB.",
    "..BBBBBBBBBBBB..",
]
# Palette index: (red, green, blue).
PALETTE = {".": (0, 0, 0), "B": (0x1F, 0x5F, 0xB2), "W": (0xFF, 0xFF, 0xFF), "Y": (0xFF, 0xC8, 0x2E)}
SIZE = 16


def build_icon():
    letters = list(PALETTE)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE.values())
    palette += b"\0" * (256 * 4 - len(palette))
    rows = list(reversed(PIXELS))  # bitmaps are stored bottom-up
    xor = b"".join(bytes(letters.index(c) for c in row) for row in rows)
    mask = b""
    for row in rows:
        bits = 0
        for c in row:
            bits = (bits << 1) | (1 if c == "." else 0)
        mask += struct.pack(">H", bits) + b"\0\0"  # rows padded to 32 bits
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 8, 0, len(xor) + len(mask), 0, 0, 256, 0)
    image = header + palette + xor + mask
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 8, len(image), 6 + 16)
    return directory + entry + image


if __name__ == "__main__":
    assert len(PIXELS) == SIZE and all(len(r) == SIZE for r in PIXELS)
    with open(sys.argv[1] if len(sys.argv) > 1 else "module/lumarix.ico", "wb") as f:
        f.write(build_icon())
