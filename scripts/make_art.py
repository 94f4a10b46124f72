#!/usr/bin/env python3
"""Draws the main window's tool bar pictures and the program icon into res/ (run once; the results are committed)."""
import os
import struct

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
KEY = (255, 0, 255)  # transparent
BLACK, WHITE, GREY, DARK = (0, 0, 0), (255, 255, 255), (160, 160, 160), (64, 64, 64)
BLUE, NAVY, RED, YELLOW, GREEN = (40, 90, 200), (20, 40, 120), (210, 30, 30), (250, 210, 40), (40, 160, 60)
PAPER, FOLDER = (250, 250, 240), (230, 180, 60)

FONT = {  # 5x7 glyphs
    "B": ["1111 ", "1   1", "1   1", "1111 ", "1   1", "1   1", "1111 "],
    "I": ["11111", "  1  ", "  1  ", "  1  ", "  1  ", "  1  ", "11111"],
    "U": ["1   1", "1   1", "1   1", "1   1", "1   1", "1   1", " 111 "],
    "S": [" 1111", "1    ", "1    ", " 111 ", "    1", "    1", "1111 "],
    "A": [" 111 ", "1   1", "1   1", "11111", "1   1", "1   1", "1   1"],
    "?": [" 111 ", "1   1", "    1", "   1 ", "  1  ", "     ", "  1  "],
    "1": ["  1  ", " 11  ", "  1  ", "  1  ", "  1  ", "  1  ", " 111 "],
}


class Icon:
    def __init__(self):
        self.p = [[KEY] * 16 for _ in range(16)]

    def px(self, x, y, c):
        if 0 <= x < 16 and 0 <= y < 16:
            self.p[y][x] = c

    def rect(self, x0, y0, x1, y1, c, fill=None):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                edge = x in (x0, x1) or y in (y0, y1)
                if edge:
                    self.px(x, y, c)
                elif fill:
                    self.px(x, y, fill)

    def line(self, x0, y0, x1, y1, c):
        n = max(abs(x1 - x0), abs(y1 - y0), 1)
        for i in range(n + 1):
            self.px(round(x0 + (x1 - x0) * i / n), round(y0 + (y1 - y0) * i / n), c)

    def glyph(self, ch, x0, y0, c, bold=False, slant=False, scale=1):
        for gy, row in enumerate(FONT[ch]):
            for gx, bit in enumerate(row):
                if bit == "1":
                    for sy in range(scale):
                        for sx in range(scale):
                            dx = (3 - gy * scale // 3) if slant else 0
                            x, y = x0 + gx * scale + sx + dx, y0 + gy * scale + sy
                            self.px(x, y, c)
                            if bold:
                                self.px(x + 1, y, c)

    def lens(self, cx, cy, inner, outer):
        """A magnifying glass's ring (squared radii inner..outer) around a pale glass."""
        for x in range(16):
            for y in range(16):
                d = (x - cx) ** 2 + (y - cy) ** 2
                if inner <= d <= outer: self.px(x, y, DARK)
                elif d < inner: self.px(x, y, (200, 230, 255))

    def page(self, fill=PAPER):
        self.rect(3, 1, 12, 14, DARK, fill)
        for y in (4, 6, 8, 10):
            self.line(5, y, 10, y, GREY)


def pane():
    i = Icon(); i.rect(1, 2, 14, 13, DARK, WHITE); i.rect(2, 3, 5, 12, BLUE, (200, 220, 250)); return i
def new():
    i = Icon(); i.page(); i.line(11, 0, 11, 4, YELLOW); i.line(9, 2, 13, 2, YELLOW); return i
def disk(extra=False):
    i = Icon(); i.rect(1, 1, 14, 14, NAVY, BLUE); i.rect(4, 1, 11, 6, DARK, WHITE); i.rect(4, 9, 11, 14, DARK, GREY)
    if extra:
        i.line(10, 10, 15, 15, RED); i.line(11, 10, 15, 14, RED)
    return i
def close_tab():
    i = Icon(); i.rect(1, 3, 14, 13, DARK, WHITE); i.rect(1, 3, 7, 5, DARK, GREY)
    i.line(5, 7, 10, 12, RED); i.line(10, 7, 5, 12, RED); i.line(6, 7, 11, 12, RED); i.line(11, 7, 6, 12, RED); return i
def find():
    i = Icon(); i.lens(6, 6, 12, 25)
    i.line(9, 10, 14, 15, DARK); i.line(10, 10, 15, 15, DARK); return i
def replace():
    i = Icon(); i.glyph("A", 0, 0, BLUE); i.glyph("B", 9, 8, RED); i.line(4, 11, 7, 14, DARK); i.line(4, 11, 4, 14, DARK)
    i.line(4, 14, 7, 14, DARK); return i
def letter(ch, **kw):
    def f():
        i = Icon(); i.glyph(ch, 3, 1, BLACK, scale=2 if ch != "I" else 2, **kw) if False else i.glyph(ch, 5, 3, BLACK, **kw)
        if ch == "U": i.line(3, 13, 12, 13, BLACK)
        if ch == "S": i.line(2, 6, 13, 6, RED)
        return i
    return f
def wrap():
    i = Icon()
    for y in (3, 7, 11): i.line(1, y, 12, y, DARK)
    i.line(13, 3, 14, 4, BLUE); i.line(14, 4, 14, 8, BLUE); i.line(14, 8, 10, 8, BLUE); i.line(10, 8, 12, 6, BLUE)
    i.line(10, 8, 12, 10, BLUE); return i
def font():
    i = Icon(); i.glyph("A", 1, 5, NAVY, bold=True); i.glyph("A", 8, 1, BLUE); return i
def colour():
    i = Icon(); i.glyph("A", 5, 1, BLACK, bold=True); i.rect(1, 11, 14, 14, DARK, RED); return i
def undo():
    i = Icon()
    for x in range(16):
        for y in range(16):
            d = (x - 8) ** 2 + (y - 9) ** 2
            if 16 <= d <= 30 and (y <= 9 or x >= 8): i.px(x, y, BLUE)
    i.line(1, 5, 4, 9, BLUE); i.line(1, 9, 5, 9, BLUE); i.line(1, 5, 1, 9, BLUE); return i
def cut():
    i = Icon(); i.line(5, 1, 10, 10, DARK); i.line(10, 1, 5, 10, DARK)
    for cx in (4, 11):
        for x in range(16):
            for y in range(16):
                if 4 <= (x - cx) ** 2 + (y - 12) ** 2 <= 8: i.px(x, y, RED)
    return i
def copy():
    i = Icon(); i.rect(1, 1, 9, 10, DARK, PAPER); i.rect(6, 5, 14, 14, DARK, PAPER)
    for y in (8, 10, 12): i.line(8, y, 12, y, GREY)
    return i
def paste():
    i = Icon(); i.rect(2, 2, 12, 14, DARK, FOLDER); i.rect(5, 1, 9, 3, DARK, GREY); i.rect(7, 6, 14, 15, DARK, PAPER)
    return i
def select_all():
    i = Icon(); i.page((190, 210, 250)); i.rect(2, 0, 13, 15, BLUE); return i
def help_():
    i = Icon()
    for x in range(16):
        for y in range(16):
            if (x - 7.5) ** 2 + (y - 7.5) ** 2 <= 56: i.px(x, y, BLUE)
    i.glyph("?", 6, 4, WHITE); return i
def one_click():
    i = Icon(); i.line(3, 1, 3, 12, BLACK); i.line(3, 1, 11, 9, BLACK); i.line(3, 12, 6, 9, BLACK); i.line(6, 9, 11, 9, BLACK)
    i.line(6, 10, 8, 14, BLACK); i.glyph("1", 10, 8, RED); return i
def transparent():
    i = Icon()
    for x in range(1, 15):
        for y in range(2, 14):
            i.px(x, y, (170, 200, 240) if (x + y) % 2 else WHITE)
    i.rect(1, 2, 14, 13, NAVY); i.rect(1, 2, 14, 4, NAVY, NAVY); return i

def folder_find():
    i = Icon(); i.rect(0, 5, 11, 14, DARK, FOLDER); i.rect(0, 4, 4, 5, DARK, FOLDER); i.lens(10, 5, 6, 12)
    i.line(12, 8, 15, 11, DARK); i.line(12, 9, 14, 11, DARK); return i

ICONS = [pane, new, disk, lambda: disk(True), close_tab, find, replace, letter("B", bold=True),
         letter("I", slant=True), letter("U"), letter("S"), wrap, font, colour, undo, cut, copy, paste, select_all,
         help_, one_click, transparent, folder_find]


def bmp24(width, height, pixel):
    row = (width * 3 + 3) & ~3
    data = bytearray()
    for y in range(height - 1, -1, -1):
        line = bytearray()
        for x in range(width):
            r, g, b = pixel(x, y)
            line += bytes((b, g, r))
        data += line + b"\0" * (row - len(line))
    header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    return header + info + data


def main():
    icons = [f() for f in ICONS]
    strip = bmp24(16 * len(icons), 16, lambda x, y: icons[x // 16].p[y][x % 16])
    with open(os.path.join(ROOT, "res", "toolbar.bmp"), "wb") as f:
        f.write(strip)
    # The program icon: a page with a blue band, 32x32, 32-bit with alpha.
    size = 32
    pixels = []
    for y in range(size - 1, -1, -1):
        for x in range(size):
            inside = 5 <= x <= 26 and 2 <= y <= 29
            edge = inside and (x in (5, 26) or y in (2, 29))
            if not inside:
                pixels.append((0, 0, 0, 0))
            elif edge:
                pixels.append((60, 40, 20, 255))
            elif 4 <= y <= 9:
                pixels.append((200, 90, 40, 255))
            elif y % 4 == 1 and 8 <= x <= 23:
                pixels.append((150, 150, 150, 255))
            else:
                pixels.append((240, 250, 250, 255))
    xor = b"".join(bytes(p) for p in pixels)
    and_mask = b"\0" * (size * size // 8)
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(and_mask), 0, 0, 0, 0)
    image = info + xor + and_mask
    ico = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), 22) + image
    with open(os.path.join(ROOT, "res", "pilka2.ico"), "wb") as f:
        f.write(ico)


if __name__ == "__main__":
    main()
