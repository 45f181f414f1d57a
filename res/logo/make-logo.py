#!/usr/bin/env python3
"""Draws the product logo of the About dialog and writes it as a 100 x 30
device-independent bitmap of 256 colours: a 40-byte BITMAPINFOHEADER, the
256-entry palette and 30 rows of 100 bytes, bottom row first. Run it from this
folder after changing the picture; OVLOGO.bmp is committed."""
import struct

W, H = 100, 30

# Palette: 0..127 a navy-to-teal ramp for the background, 128 white,
# 129 a light gold for the stripe, 130 black; the rest unused (black).
PALETTE = []
for i in range(128):
    t = i / 127
    PALETTE.append((int(0 + 0 * t), int(0 + 128 * t), int(128 - 0 * t)))
PALETTE += [(255, 255, 255), (240, 200, 80), (0, 0, 0)]
PALETTE += [(0, 0, 0)] * (256 - len(PALETTE))
WHITE, GOLD, BLACK = 128, 129, 130

FONT = {  # 5 x 7 letters
    'O': [".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."],
    'r': [".....", ".....", "#.##.", "##..#", "#....", "#....", "#...."],
    'v': [".....", ".....", "#...#", "#...#", "#...#", ".#.#.", "..#.."],
    'a': [".....", ".....", ".###.", "....#", ".####", "#...#", ".####"],
    'n': [".....", ".....", "#.##.", "##..#", "#...#", "#...#", "#...#"],
    't': [".#...", ".#...", "####.", ".#...", ".#...", ".#..#", "..##."],
}

px = [[int(127 * x / (W - 1)) for x in range(W)] for _ in range(H)]  # [y][x], y = 0 at the top
for x in range(W):
    px[H - 4][x] = GOLD
    px[H - 3][x] = GOLD

# "Orvanta" in white, each letter 5 x 7 doubled to 10 x 14, with a shadow.
text = "Orvanta"
scale = 2
x0, y0 = 6, 4
for shadow, colour in ((1, BLACK), (0, WHITE)):
    x = x0 + shadow
    for ch in text:
        rows = FONT[ch]
        for ry, row in enumerate(rows):
            for rx, bit in enumerate(row):
                if bit == '#':
                    for dy in range(scale):
                        for dx in range(scale):
                            yy, xx = y0 + shadow + ry * scale + dy, x + rx * scale + dx
                            if 0 <= xx < W and 0 <= yy < H:
                                px[yy][xx] = colour
        x += 6 * scale - 1

row_bytes = (W + 3) // 4 * 4
pixels = b''.join(bytes(px[y]) + b'\0' * (row_bytes - W) for y in reversed(range(H)))
palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in PALETTE)
info = struct.pack('<IiiHHIIiiII', 40, W, H, 1, 8, 0, len(pixels), 2835, 2835, 256, 0)
offset = 14 + len(info) + len(palette)
header = struct.pack('<2sIHHI', b'BM', offset + len(pixels), 0, 0, offset)
with open('OVLOGO.bmp', 'wb') as f:
    f.write(header + info + palette + pixels)
