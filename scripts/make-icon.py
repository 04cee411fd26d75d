#!/usr/bin/env python3
"""Draws the window icon, a monitor with a keyboard, from the text pixel art below and writes it
as a Windows .ico with a 32x32 and a 16x16 image, 16 colours each (4 bits a pixel, AND mask for
transparency).

    python3 scripts/make-icon.py res/orvandimex.ico
"""
import struct
import sys

# The standard 16-colour palette, as (blue, green, red).
PALETTE = [
    (0, 0, 0), (0, 0, 128), (0, 128, 0), (0, 128, 128), (128, 0, 0), (128, 0, 128),
    (128, 128, 0), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
# Art characters to palette indexes; "." is transparent.
COLOURS = {"k": 0, "b": 4, "g": 8, "s": 7, "w": 15, "c": 11, "n": 1, "y": 14, ".": None}

ICON_32 = """
................................
....kkkkkkkkkkkkkkkkkkkkkkkk....
...ksssssssssssssssssssssssgk...
...kswwwwwwwwwwwwwwwwwwwwwwgk...
...kswkkkkkkkkkkkkkkkkkkkwwgk...
...kswkbbbbbbbbbbbbbbbbbkwwgk...
...kswkbcccbbbbbbbbbbbbbkwwgk...
...kswkbcbbbbbbbbbbbbbbbkwwgk...
...kswkbbbbbbbbbbbbbbbbbkwwgk...
...kswkbbcccccccbbbbbbbbkwwgk...
...kswkbbbbbbbbbbbbbbbbbkwwgk...
...kswkbbcccccbbbbbbbbbbkwwgk...
...kswkbbbbbbbbbbbbbbbbbkwwgk...
...kswkbbccccccccccbbbbbkwwgk...
...kswkbbbbbbbbbbbbbbbbbkwwgk...
...kswkbbbbbbbbbbbbbbbbbkwwgk...
...kswkkkkkkkkkkkkkkkkkkkwwgk...
...kswwwwwwwwwwwwwwwwwwwwyngk...
...kggggggggggggggggggggggggk...
....kkkkkkkkkkkkkkkkkkkkkkkk....
.............kssssk.............
...........kkggggggkk...........
..........kkkkkkkkkkkk..........
................................
..kkkkkkkkkkkkkkkkkkkkkkkkkkkk..
.kswswswswswswswswswswswswswsgk.
.ksgkgkgkgkgkgkgkgkgkgkgkgkgsgk.
.kswswswswswswswswswswswswswsgk.
.ksgkgkgkgkgkgkgkgkgkgkgkgkgsgk.
.kssswwwwwwwwwwwwwwwwwwwwssssgk.
.kgggggggggggggggggggggggggggggk
..kkkkkkkkkkkkkkkkkkkkkkkkkkkkk.
"""

ICON_16 = """
................
.kkkkkkkkkkkkkk.
.kswwwwwwwwwwgk.
.kswbbbbbbbbwgk.
.kswbcccbbbbwgk.
.kswbbbbbbbbwgk.
.kswbccccbbbwgk.
.kswbbbbbbbbwgk.
.kggggggggggggk.
..kkkkkkkkkkkk..
......kggk......
....kkkkkkkk....
kkkkkkkkkkkkkkkk
kswswswswswswsgk
ksssssssssssssgk
kkkkkkkkkkkkkkkk
"""


def parse(art, size):
    rows = [line for line in art.strip("\n").split("\n")]
    if len(rows) != size or any(len(row) != size for row in rows):
        raise SystemExit(f"art for {size}x{size} is {len(rows)} rows of {[len(r) for r in rows]}")
    return [[COLOURS[ch] for ch in row] for row in rows]


def bitmap(pixels):
    """A BITMAPINFOHEADER image as an .ico stores it: 4-bit colour rows, then the AND mask,
    both bottom-up, each row padded to 4 bytes; the header's height counts both."""
    size = len(pixels)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for b, g, r in PALETTE)
    xor_rows, and_rows = [], []
    for row in reversed(pixels):
        nibbles = [0 if p is None else p for p in row]
        xor = bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, size, 2))
        xor_rows.append(xor + b"\0" * (-len(xor) % 4))
        bits = 0
        mask = bytearray()
        for i, p in enumerate(row):
            bits = (bits << 1) | (1 if p is None else 0)
            if i % 8 == 7:
                mask.append(bits)
                bits = 0
        and_rows.append(bytes(mask) + b"\0" * (-len(mask) % 4))
    return header + palette + b"".join(xor_rows) + b"".join(and_rows)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else "res/orvandimex.ico"
    images = [(32, bitmap(parse(ICON_32, 32))), (16, bitmap(parse(ICON_16, 16)))]
    data = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in images:
        data += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(image), offset)
        offset += len(image)
    data += b"".join(image for _, image in images)
    with open(out, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main()
