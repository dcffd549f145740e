#!/usr/bin/env python3
"""Draws the menu pictures and writes them side by side as 32-bit BMPs with
alpha: 24x24 (resources/MenuImages.bmp) and, for larger display scales, the
same drawings at 36x36 and 48x48 (MenuImages36.bmp, MenuImages48.bmp beside
it). Run it again after changing a picture.

Index: 0 add, 1 activate, 2 edit, 3 delete, 4 options, 5 refresh, 6 exit,
7 help file, 8 about, 9 connection names, 10 export, 11 import, 12 new set
from the current configuration, 13 undo."""
import math
import struct
import sys

S = 24          # the size the pictures are drawn in (their coordinates)
SIZES = (24, 36, 48)  # the sizes written
SS = 4          # supersampling per axis


class Canvas:
    def __init__(self, size=S):
        self.n = size
        self.px = [[(0, 0, 0, 0.0)] * size for _ in range(size)]

    def shape(self, inside, color):
        """Paints `color` (r, g, b) where inside(x, y) holds, antialiased."""
        k = S / self.n  # from this canvas's pixels to drawing coordinates
        for y in range(self.n):
            for x in range(self.n):
                hits = 0
                for sy in range(SS):
                    for sx in range(SS):
                        if inside((x + (sx + 0.5) / SS) * k, (y + (sy + 0.5) / SS) * k):
                            hits += 1
                if hits:
                    a = hits / (SS * SS)
                    r0, g0, b0, a0 = self.px[y][x]
                    na = a + a0 * (1 - a)
                    mix = lambda c, c0: (c * a + c0 * a0 * (1 - a)) / na
                    self.px[y][x] = (mix(color[0], r0), mix(color[1], g0), mix(color[2], b0), na)

    def circle(self, cx, cy, r, color):
        self.shape(lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r, color)

    def ring(self, cx, cy, r0, r1, color, a_from=0, a_to=360):
        def inside(x, y):
            d = math.hypot(x - cx, y - cy)
            if not r0 <= d <= r1:
                return False
            ang = math.degrees(math.atan2(cy - y, x - cx)) % 360
            return a_from <= ang <= a_to if a_from <= a_to else ang >= a_from or ang <= a_to
        self.shape(inside, color)

    def rect(self, x0, y0, x1, y1, color):
        self.shape(lambda x, y: x0 <= x <= x1 and y0 <= y <= y1, color)

    def poly(self, pts, color):
        def inside(x, y):
            c = False
            j = len(pts) - 1
            for i in range(len(pts)):
                xi, yi = pts[i]
                xj, yj = pts[j]
                if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                    c = not c
                j = i
            return c
        self.shape(inside, color)

    def line(self, x0, y0, x1, y1, w, color):
        def inside(x, y):
            dx, dy = x1 - x0, y1 - y0
            t = max(0, min(1, ((x - x0) * dx + (y - y0) * dy) / (dx * dx + dy * dy)))
            return math.hypot(x - (x0 + t * dx), y - (y0 + t * dy)) <= w / 2
        self.shape(inside, color)


GREEN, DKGREEN = (60, 170, 60), (30, 110, 30)
BLUE, DKBLUE = (50, 110, 210), (25, 60, 140)
RED, DKRED = (215, 55, 45), (150, 30, 25)
GREY, DKGREY = (150, 150, 155), (80, 80, 85)
WHITE, YELLOW, ORANGE = (255, 255, 255), (245, 200, 60), (230, 140, 40)


def add(c):
    c.circle(12, 12, 10.5, DKGREEN); c.circle(12, 12, 9.5, GREEN)
    c.rect(10.5, 6, 13.5, 18, WHITE); c.rect(6, 10.5, 18, 13.5, WHITE)


def activate(c):
    c.circle(12, 12, 10.5, DKGREEN); c.circle(12, 12, 9.5, GREEN)
    c.line(7, 12.5, 10.5, 16, 3, WHITE); c.line(10.5, 16, 17, 8, 3, WHITE)


def edit(c):
    c.rect(3, 2, 16, 21, DKGREY); c.rect(4, 3, 15, 20, WHITE)
    for y in (6, 9, 12, 15):
        c.rect(6, y, 13, y + 0.8, (170, 170, 180))
    c.line(9, 19, 20, 8, 4.5, DKGREY); c.line(9, 19, 20, 8, 3, YELLOW)
    c.poly([(7, 21), (8, 17.5), (10.5, 20)], DKGREY)


def delete(c):
    c.circle(12, 12, 10.5, DKRED); c.circle(12, 12, 9.5, RED)
    c.line(8, 8, 16, 16, 3, WHITE); c.line(16, 8, 8, 16, 3, WHITE)


def options(c):
    for k in range(8):
        a = math.radians(k * 45)
        c.line(12, 12, 12 + 10 * math.cos(a), 12 + 10 * math.sin(a), 4, DKGREY)
    c.circle(12, 12, 7.5, DKGREY); c.circle(12, 12, 6.5, GREY); c.circle(12, 12, 3, WHITE)


def refresh(c):
    c.ring(12, 12, 6, 9, BLUE, 30, 170); c.ring(12, 12, 6, 9, BLUE, 210, 350)
    c.poly([(2.5, 9), (9.5, 9), (6, 14)], BLUE)      # arrow heads
    c.poly([(14.5, 15), (21.5, 15), (18, 10)], BLUE)


def exit_(c):
    c.rect(3, 2, 14, 22, DKGREY); c.rect(4.5, 3.5, 12.5, 20.5, (205, 175, 130))
    c.circle(11, 12.5, 1, DKGREY)
    c.rect(13, 10.5, 19, 13.5, RED); c.poly([(18, 7), (23, 12), (18, 17)], RED)


def helpfile(c):
    c.rect(4, 2, 20, 22, DKBLUE); c.rect(5, 3, 19, 21, BLUE); c.rect(5, 3, 7, 21, DKBLUE)
    c.ring(13, 9, 2, 4, WHITE, 300, 200); c.rect(12, 12, 14, 15, WHITE); c.circle(13, 17.5, 1.3, WHITE)


def about(c):
    c.circle(12, 12, 10.5, DKBLUE); c.circle(12, 12, 9.5, BLUE)
    c.circle(12, 7, 1.7, WHITE); c.rect(10.5, 10, 13.5, 18, WHITE)


def connections(c):
    for y, col in ((3, GREEN), (10, ORANGE), (17, BLUE)):
        c.rect(2, y, 7, y + 4, (60, 60, 60)); c.rect(3, y + 1, 6, y + 3, col)
        c.rect(9, y + 1.2, 22, y + 2.8, DKGREY)


def sheet(c):
    c.rect(3, 2, 15, 22, DKGREY); c.rect(4, 3, 14, 21, WHITE)
    for y in (6, 9, 12, 15, 18):
        c.rect(6, y, 12, y + 0.8, (170, 170, 180))


def export(c):
    sheet(c)
    c.rect(10, 10.5, 17, 13.5, GREEN); c.poly([(16, 6.5), (22.5, 12), (16, 17.5)], DKGREEN)


def import_(c):
    sheet(c)
    c.rect(15, 10.5, 22, 13.5, BLUE); c.poly([(16, 6.5), (9.5, 12), (16, 17.5)], DKBLUE)


def from_configuration(c):
    c.rect(2, 3, 17, 15, DKGREY); c.rect(3, 4, 16, 13, (120, 180, 235))
    c.rect(7, 15, 12, 17, DKGREY); c.rect(4.5, 17, 14.5, 18.5, DKGREY)
    c.circle(17, 17, 6.5, DKGREEN); c.circle(17, 17, 5.6, GREEN)
    c.rect(16, 13.5, 18, 20.5, WHITE); c.rect(13.5, 16, 20.5, 18, WHITE)


def undo(c):
    c.ring(13, 13, 5, 8.5, BLUE, 270, 150)
    c.poly([(1.5, 9), (10.5, 5), (9.5, 14)], BLUE)


PICTURES = [add, activate, edit, delete, options, refresh, exit_, helpfile, about, connections,
            export, import_, from_configuration, undo]


def main(path):
    for size in SIZES:
        write_strip(path if size == S else path.replace(".bmp", "%d.bmp" % size), size)


def write_strip(path, S):
    canvases = []
    for draw in PICTURES:
        c = Canvas(S)
        draw(c)
        canvases.append(c)
    width = S * len(canvases)
    rows = []
    for y in range(S - 1, -1, -1):  # bottom-up
        row = bytearray()
        for c in canvases:
            for x in range(S):
                r, g, b, a = c.px[y][x]
                row += bytes((int(b + 0.5), int(g + 0.5), int(r + 0.5), int(a * 255 + 0.5)))
        rows.append(bytes(row))
    pixels = b"".join(rows)
    header = struct.pack("<IiiHHIIiiII", 40, width, S, 1, 32, 0, len(pixels), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(b"BM" + struct.pack("<IHHI", 14 + len(header) + len(pixels), 0, 0, 14 + len(header)))
        f.write(header + pixels)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "resources/MenuImages.bmp")


def check_glyph(path):
    """The 16x16 24-bit check glyph: a bordered box shading light to dark blue,
    a near-white interior shading to pale blue, a dark blue check mark. The
    bottom-left pixel (outside the box) holds the transparent colour."""
    transparent = (255, 0, 255)
    px = [[transparent] * 16 for _ in range(16)]
    for y in range(1, 15):
        for x in range(1, 15):
            t = (x + y - 2) / 26.0
            if x in (1, 14) or y in (1, 14):  # border: light to dark blue
                px[y][x] = (int(120 - 90 * t), int(170 - 110 * t), int(240 - 90 * t))
            else:  # interior: near white to pale blue
                px[y][x] = (int(252 - 40 * t), int(253 - 28 * t), 255)
    dark = (20, 40, 140)
    mark = [(4, 7), (5, 8), (6, 9), (7, 10), (8, 9), (9, 8), (10, 7), (11, 6), (12, 5)]
    for x, y in mark:
        for dy in (0, 1):
            px[y + dy][x] = dark
    rows = b""
    for y in range(15, -1, -1):  # bottom-up, rows padded to 4 bytes (48 bytes: no pad)
        rows += bytes(c for x in range(16) for c in (px[y][x][2], px[y][x][1], px[y][x][0]))
    header = struct.pack("<IiiHHIIiiII", 40, 16, 16, 1, 24, 0, len(rows), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(b"BM" + struct.pack("<IHHI", 14 + len(header) + len(rows), 0, 0, 14 + len(header)))
        f.write(header + rows)


if __name__ == "__main__":
    check_glyph("resources/MenuItemChecked.bmp")
