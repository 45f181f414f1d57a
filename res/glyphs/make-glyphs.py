#!/usr/bin/env python3
"""Draws the ten palette glyphs and writes them as 4-bit device-independent
bitmaps: a 40-byte BITMAPINFOHEADER, the 16-colour palette and 24 rows of 12
bytes, bottom row first (392 bytes each). Run it from this folder after
changing a picture; the .bmp files are committed."""
import struct

PALETTE = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
           (0, 128, 128), (128, 128, 128), (192, 192, 192), (255, 0, 0), (0, 255, 0),
           (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
BLACK, MAROON, GREEN, OLIVE, NAVY, PURPLE, TEAL, GREY, SILVER, RED, LIME, YELLOW, BLUE, \
    FUCHSIA, AQUA, WHITE = range(16)
N = 24

FONT = {  # 3 x 5 letters
    'S': ["###", "#..", "###", "..#", "###"], 'Q': ["###", "#.#", "#.#", "###", "..#"],
    'L': ["#..", "#..", "#..", "#..", "###"], 'M': ["#.#", "###", "###", "#.#", "#.#"],
    'P': ["###", "#.#", "###", "#..", "#.."], 'U': ["#.#", "#.#", "#.#", "#.#", "###"],
    'B': ["##.", "#.#", "##.", "#.#", "##."], 'D': ["##.", "#.#", "#.#", "#.#", "##."],
}


class Glyph:
    def __init__(self):
        self.px = [[SILVER] * N for _ in range(N)]  # [y][x], y = 0 at the top

    def set(self, x, y, c):
        if 0 <= x < N and 0 <= y < N:
            self.px[y][x] = c

    def rect(self, x0, y0, x1, y1, fill=None, border=None):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                edge = x in (x0, x1) or y in (y0, y1)
                if edge and border is not None:
                    self.set(x, y, border)
                elif fill is not None:
                    self.set(x, y, fill)

    def hline(self, x0, x1, y, c):
        for x in range(x0, x1 + 1):
            self.set(x, y, c)

    def vline(self, x, y0, y1, c):
        for y in range(y0, y1 + 1):
            self.set(x, y, c)

    def ellipse(self, cx, cy, rx, ry, fill, border):
        for y in range(N):
            for x in range(N):
                d = ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2
                if d <= 1.0:
                    self.set(x, y, border if d > 0.62 else fill)

    def text(self, x, y, s, c):
        for ch in s:
            for dy, row in enumerate(FONT[ch]):
                for dx, bit in enumerate(row):
                    if bit == '#':
                        self.set(x + dx, y + dy, c)
            x += 4

    def grid(self, x0, y0, cols, rows, cw, ch, head):
        x1, y1 = x0 + cols * cw, y0 + rows * ch
        self.rect(x0, y0, x1, y1, WHITE, BLACK)
        self.rect(x0 + 1, y0 + 1, x1 - 1, y0 + ch - 1, head)
        for c in range(1, cols):
            self.vline(x0 + c * cw, y0, y1, GREY)
        for r in range(1, rows):
            self.hline(x0, x1, y0 + r * ch, GREY)
        self.rect(x0, y0, x1, y1, None, BLACK)

    def cylinder(self, x0, y0, x1, y1, body, top):
        cx, rx = (x0 + x1) / 2, (x1 - x0) / 2
        self.rect(x0, y0 + 2, x1, y1 - 2, body)
        self.vline(x0, y0 + 2, y1 - 2, BLACK)
        self.vline(x1, y0 + 2, y1 - 2, BLACK)
        self.ellipse(cx, y1 - 2, rx, 2.2, body, BLACK)
        self.rect(x0 + 1, y1 - 4, x1 - 1, y1 - 2, body)
        self.ellipse(cx, y0 + 2, rx, 2.2, top, BLACK)

    def dib(self):
        header = struct.pack('<IiiHHIIiiII', 40, N, N, 1, 4, 0, N * N // 2, 0, 0, 0, 0)
        palette = b''.join(struct.pack('BBBB', b, g, r, 0) for (r, g, b) in PALETTE)
        rows = b''
        for y in reversed(range(N)):  # bottom row first
            row = self.px[y]
            rows += bytes((row[x] << 4) | row[x + 1] for x in range(0, N, 2))
        data = header + palette + rows
        assert len(data) == 392 and self.px[N - 1][0] == SILVER
        return data


def session():
    g = Glyph()
    g.ellipse(11.5, 10.5, 9, 9, AQUA, NAVY)
    g.hline(4, 19, 10, NAVY)
    g.vline(11, 3, 18, NAVY)
    g.rect(12, 16, 17, 22, YELLOW, BLACK)
    g.text(13, 17, 'S', MAROON)
    return g


def database():
    g = Glyph()
    g.cylinder(4, 2, 19, 21, YELLOW, OLIVE)
    g.hline(5, 18, 9, OLIVE)
    g.hline(5, 18, 14, OLIVE)
    return g


def query():
    g = Glyph()
    g.grid(1, 9, 3, 3, 6, 4, NAVY)
    g.rect(9, 0, 23, 7, YELLOW, BLACK)
    g.text(11, 2, 'SQL', BLACK)
    return g


def macro_query():
    g = Glyph()
    g.grid(1, 9, 3, 3, 6, 4, NAVY)
    g.rect(13, 0, 23, 7, LIME, BLACK)
    g.text(14, 2, 'M', BLACK)
    g.text(18, 2, 'Q', BLACK)
    return g


def stored_proc():
    g = Glyph()
    g.cylinder(2, 8, 13, 21, YELLOW, OLIVE)
    g.ellipse(16.5, 7.5, 5.5, 5.5, RED, MAROON)
    g.text(15, 5, 'P', WHITE)
    return g


def table():
    g = Glyph()
    g.grid(2, 3, 4, 4, 5, 4, TEAL)
    return g


def update_sql():
    g = Glyph()
    g.grid(2, 2, 3, 3, 5, 4, NAVY)
    for i in range(8):  # a red pencil across the lower right
        g.set(12 + i, 21 - i, RED)
        g.set(13 + i, 21 - i, RED)
        g.set(12 + i, 20 - i, MAROON)
    g.set(11, 22, BLACK)
    g.text(2, 17, 'U', BLUE)
    return g


def script():
    g = Glyph()
    g.rect(4, 1, 19, 22, WHITE, BLACK)
    for x, y in [(15, 1), (16, 1), (17, 2), (18, 3), (19, 4), (17, 1), (18, 2), (19, 3)]:
        g.set(x, y, SILVER)
    g.vline(15, 1, 5, BLACK)
    g.hline(15, 19, 5, BLACK)
    g.set(16, 2, BLACK); g.set(17, 3, BLACK); g.set(18, 4, BLACK)
    for y in (8, 11, 14, 17, 20):
        g.hline(7, 16 if y % 2 else 13, y, NAVY)
    return g


def monitor():
    g = Glyph()
    g.rect(1, 2, 22, 17, GREY, BLACK)
    g.rect(3, 4, 20, 15, NAVY, BLACK)
    for i, y in enumerate([12, 10, 11, 8, 9, 6, 7, 9]):
        g.set(5 + 2 * i, y, LIME)
        g.set(6 + 2 * i, y, LIME)
    g.rect(9, 18, 14, 19, GREY, BLACK)
    g.rect(5, 20, 18, 21, GREY, BLACK)
    return g


def sqlbase_server():
    g = Glyph()
    g.rect(6, 1, 17, 22, GREY, BLACK)
    for y in (4, 8, 12):
        g.rect(8, y, 15, y + 2, SILVER, BLACK)
        g.set(14, y + 1, LIME)
    g.text(8, 16, 'S', WHITE)
    g.text(12, 16, 'B', WHITE)
    return g


GLYPHS = {
    'TOVSESSION': session, 'TOVDATABASE': database, 'TOVQUERY': query,
    'TOVMACROQUERY': macro_query, 'TOVSTOREDPROC': stored_proc, 'TOVTABLE': table,
    'TOVUPDATESQL': update_sql, 'TOVSCRIPT': script, 'TOVMONITOR': monitor,
    'TOVSQLBASESERVER': sqlbase_server,
}

if __name__ == '__main__':
    seen = set()
    for name, draw in GLYPHS.items():
        data = draw().dib()
        assert data not in seen, name + ' looks like another glyph'
        seen.add(data)
        with open(name + '.bmp', 'wb') as f:
            f.write(data)
