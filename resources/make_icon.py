#!/usr/bin/env python3
"""Draws the program icon (a gate guard's shield with a padlock) as a
32x32, 256-colour .ico. Run it to regenerate resources/grindvakt.ico."""
import struct
import sys

SIZE = 32
PALETTE = [
    (0, 0, 0),        # 0 transparent (masked)
    (0, 0, 0),        # 1 black outline
    (32, 72, 160),    # 2 shield blue
    (80, 128, 210),   # 3 shield highlight
    (240, 200, 40),   # 4 lock gold
    (180, 140, 20),   # 5 lock shadow
    (255, 255, 255),  # 6 white
    (20, 40, 90),     # 7 keyhole dark
]


def shield_contains(x, y):
    # Straight sides to row 18, then a point at the bottom.
    if y < 2 or y > 30:
        return False
    if y <= 18:
        return 3 <= x <= 28
    half = int(13 * (30 - y) / 12)
    return 16 - half - 1 <= x <= 15 + half + 1


def pixel(x, y):
    if not shield_contains(x, y):
        return 0
    edge = not all(shield_contains(x + dx, y + dy) for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)))
    if edge:
        return 1
    # Padlock body and shackle.
    if 10 <= x <= 21 and 15 <= y <= 24:
        if 15 <= x <= 16 and 18 <= y <= 22:
            return 7
        return 5 if y == 24 or x == 21 else 4
    if 12 <= x <= 19 and 8 <= y <= 14:
        if (x in (12, 13, 18, 19)) or y in (8, 9):
            return 6
        return 2
    return 3 if x < 10 and y < 14 else 2


def main(path):
    palette = bytearray()
    for r, g, b in PALETTE + [(0, 0, 0)] * (256 - len(PALETTE)):
        palette += bytes((b, g, r, 0))
    xor = bytearray()
    mask = bytearray()
    for y in reversed(range(SIZE)):  # bitmaps are stored bottom-up
        row_mask = 0
        for x in range(SIZE):
            p = pixel(x, y)
            xor.append(p)
            if p == 0:
                row_mask |= 1 << (SIZE - 1 - x)
        mask += struct.pack(">I", row_mask)
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 8, 0, len(xor) + len(mask), 0, 0, 256, 0)
    image = header + palette + xor + mask
    icondir = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 8, len(image), 6 + 16)
    with open(path, "wb") as f:
        f.write(icondir + entry + image)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "resources/grindvakt.ico")
