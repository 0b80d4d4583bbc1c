#!/usr/bin/env python3
"""Draws the program's own small pictures as PNG files (run from anywhere).

2034 DIP-switch body, 2035 switch set (lever up), 2036 switch cleared (lever down).
"""
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))


def write_png(name, width, height, pixel):
    """pixel(x, y) gives (r, g, b) or, for a picture with transparency, (r, g, b, a)."""
    alpha = len(pixel(0, 0)) == 4
    rows = b"".join(
        b"\x00" + b"".join(bytes(pixel(x, y)) for x in range(width)) for y in range(height))

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    png = (b"\x89PNG\r\n\x1a\n" +
           chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6 if alpha else 2, 0, 0, 0)) +
           chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b""))
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(png)


RED = (178, 34, 34)
DARK = (40, 40, 40)
SLOT = (70, 70, 70)
WHITE = (245, 245, 245)
TEXT = (250, 250, 250)

# Digits 1..8 and "ON" as 3x5 dot fonts, printed on the body.
GLYPHS = {
    "1": ["010", "110", "010", "010", "111"], "2": ["111", "001", "111", "100", "111"],
    "3": ["111", "001", "111", "001", "111"], "4": ["101", "101", "111", "001", "001"],
    "5": ["111", "100", "111", "001", "111"], "6": ["111", "100", "111", "101", "111"],
    "7": ["111", "001", "010", "010", "010"], "8": ["111", "101", "111", "101", "111"],
    "O": ["111", "101", "101", "101", "111"], "N": ["101", "111", "111", "111", "101"],
}


def glyph_at(text, left, top, x, y):
    for i, ch in enumerate(text):
        gx = x - (left + 4 * i)
        gy = y - top
        if 0 <= gx < 3 and 0 <= gy < 5 and GLYPHS[ch][gy][gx] == "1":
            return True
    return False


def body(x, y):
    if x in (0, 169) or y in (0, 59):
        return DARK
    for i in range(8):
        if 8 + 20 * i - 1 <= x <= 8 + 20 * i + 12 and 16 <= y <= 17 + 22:
            return SLOT
        if glyph_at(str(i + 1), 8 + 20 * i + 5, 46, x, y):
            return TEXT
    if glyph_at("ON", 8, 6, x, y):
        return TEXT
    return RED


def lever(up):
    def pixel(x, y):
        if x in (0, 11) or y in (0, 21):
            return DARK
        knob = range(1, 10) if up else range(12, 21)
        return WHITE if y in knob else SLOT
    return pixel


if __name__ == "__main__":
    write_png("2034-dipswitch-body.png", 170, 60, body)
    write_png("2035-dipswitch-on.png", 12, 22, lever(True))
    write_png("2036-dipswitch-off.png", 12, 22, lever(False))
