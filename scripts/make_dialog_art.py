#!/usr/bin/env python3
"""Writes the dialogs' bitmaps into res/ as 16-colour BMP files.

The font kind icons are 16x16 on black, since the combo box draws them with XOR.
The button glyphs are 32x16: the normal picture on the left, the disabled one on the right; the bottom-left pixel
holds the colour that the button treats as transparent.
Run from anywhere: python3 scripts/make_dialog_art.py
"""
import os
import struct

# The standard 16-colour palette, as (red, green, blue).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
    (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255), (255, 0, 255),
    (0, 255, 255), (255, 255, 255),
]

# Letters of the pictures below and the palette entries they stand for.
INK = {'.': 0, 'K': 0, 'o': 3, 'g': 2, 'G': 8, 'S': 7, 'W': 15, 'Y': 11, 'L': 10, 'B': 4, 'b': 12}

TRUETYPE = [
    "................",
    ".GGGGGGGG.......",
    ".GGGGGGGG.......",
    ".G..GG..G.......",
    "....GG..........",
    "....GGWWWWWWWW..",
    "....GGWWWWWWWW..",
    "....GGW..WW..W..",
    "....GG...WW.....",
    "....GG...WW.....",
    "...GGGG..WW.....",
    ".........WW.....",
    ".........WW.....",
    "........WWWW....",
    "................",
    "................",
]

PRINTER = [
    "................",
    "....WWWWWWWW....",
    "....W......W....",
    "....W.GGGG.W....",
    "....W......W....",
    "..WWWWWWWWWWWW..",
    ".WGGGGGGGGGGGGW.",
    ".WGGGGGGGGGGWGW.",
    ".WGGGGGGGGGGGGW.",
    ".WWWWWWWWWWWWWW.",
    "...W........W...",
    "...W.GGGGGG.W...",
    "...W........W...",
    "...WWWWWWWWWW...",
    "................",
    "................",
]

OK_MARK = [
    "oooooooooooooooo",
    "oooooooooooooooo",
    "oooooooooooooLgo",
    "ooooooooooooLggo",
    "oooooooooooLgggo",
    "ooooooooooLgggoo",
    "oooLoooooLgggooo",
    "oooLgoooLgggoooo",
    "oooLggoLgggooooo",
    "ooooggLgggoooooo",
    "ooooogggggoooooo",
    "oooooogggooooooo",
    "ooooooogoooooooo",
    "oooooooooooooooo",
    "oooooooooooooooo",
    "oooooooooooooooo",
]

RETRY_ARROW = [
    "oooooooooooooooo",
    "oooooooooooooooo",
    "oooooobbbbooooBo",
    "oooobbBooBbbooBo",
    "ooobBooooooBbBBo",
    "oobBoooooooobBBo",
    "oobBoooooBBBBBBo",
    "obBooooooooooooo",
    "obBooooooooooooo",
    "obBoooooooooobBo",
    "oobBoooooooobBoo",
    "oobBBoooooobBooo",
    "ooobBBooooBBoooo",
    "oooobbBBBBoooooo",
    "oooooobbbooooooo",
    "oooooooooooooooo",
]

LIGHT_BULB = [
    "oooooooYYooooooo",
    "ooYooooooooooYoo",
    "oooYooKKKKooYooo",
    "ooooKKYYYYKKoooo",
    "oooKYYWWYYYYKooo",
    "YYoKYWYYYYYYKoYY",
    "oooKYYYYYYYYKooo",
    "oooKYYYYYYYYKooo",
    "ooooKYYYYYYKoooo",
    "oooYoKYYYYKoYooo",
    "ooYoooKSSKoooYoo",
    "ooooooKGGKoooooo",
    "ooooooKSSKoooooo",
    "ooooooKGGKoooooo",
    "oooooooKKooooooo",
    "oooooooooooooooo",
]


def indices(picture):
    assert len(picture) == 16, picture
    rows = []
    for line in picture:
        assert len(line) == 16, line
        rows.append([INK[c] for c in line])
    return rows


def disabled(rows):
    """The greyed picture: the shape in dark grey with a white edge below and to the right."""
    clear = rows[15][0]
    out = [[clear] * 16 for _ in range(16)]
    for y in range(16):
        for x in range(16):
            if rows[y][x] != clear:
                if y + 1 < 16 and x + 1 < 16 and rows[y + 1][x + 1] == clear:
                    out[y + 1][x + 1] = 15
    for y in range(16):
        for x in range(16):
            if rows[y][x] != clear:
                out[y][x] = 8
    return out


def glyph_pair(picture):
    normal = indices(picture)
    grey = disabled(normal)
    return [normal[y] + grey[y] for y in range(16)]


def write_bmp(path, rows):
    height = len(rows)
    width = len(rows[0])
    stride = ((width * 4 + 31) // 32) * 4
    pixels = bytearray()
    for row in reversed(rows):  # bottom-up
        line = bytearray()
        for x in range(0, width, 2):
            hi = row[x]
            lo = row[x + 1] if x + 1 < width else 0
            line.append((hi << 4) | lo)
        line.extend(b'\0' * (stride - len(line)))
        pixels.extend(line)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in PALETTE)
    header_size = 14 + 40 + len(palette)
    info = struct.pack('<IiiHHIIiiII', 40, width, height, 1, 4, 0, len(pixels), 2835, 2835, 16, 16)
    file_header = struct.pack('<2sIHHI', b'BM', header_size + len(pixels), 0, 0, header_size)
    with open(path, 'wb') as f:
        f.write(file_header + info + palette + pixels)


def main():
    res = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'res')
    write_bmp(os.path.join(res, 'TrueTypeIcon.bmp'), indices(TRUETYPE))
    write_bmp(os.path.join(res, 'DeviceTypeIcon.bmp'), indices(PRINTER))
    write_bmp(os.path.join(res, 'GlyphOk.bmp'), glyph_pair(OK_MARK))
    write_bmp(os.path.join(res, 'GlyphRetry.bmp'), glyph_pair(RETRY_ARROW))
    write_bmp(os.path.join(res, 'GlyphLightBulb.bmp'), glyph_pair(LIGHT_BULB))


if __name__ == '__main__':
    main()
