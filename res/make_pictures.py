#!/usr/bin/env python3
"""Draws the application's pictures and writes them as PNG files:

  pictures/icon_128_32.png  icon 128, 32x32, 16-colour palette
  pictures/icon_128_16.png  icon 128, 16x16, 16-colour palette
  pictures/bitmap_131.png   bitmap 131, 239x90, 24 bits per pixel

Only the standard library is used, so the pictures can be redrawn on any
machine: python3 res/make_pictures.py. The output is deterministic.
"""
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))

# The 16 colours of the icons (the classic 16-colour set).
PALETTE16 = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, DGRAY, LGRAY, WHITE, YELLOW, NAVY, TEAL = 0, 8, 7, 15, 11, 4, 6

# A 5x7 pixel font for the few characters the bitmap shows.
FONT = {
    'K': ["X...X", "X..X.", "X.X..", "XX...", "X.X..", "X..X.", "X...X"],
    'E': ["XXXXX", "X....", "X....", "XXXX.", "X....", "X....", "XXXXX"],
    'L': ["X....", "X....", "X....", "X....", "X....", "X....", "XXXXX"],
    'M': ["X...X", "XX.XX", "X.X.X", "X.X.X", "X...X", "X...X", "X...X"],
    'Q': [".XXX.", "X...X", "X...X", "X...X", "X.X.X", "X..X.", ".XX.X"],
    'T': ["XXXXX", "..X..", "..X..", "..X..", "..X..", "..X..", "..X.."],
    'O': [".XXX.", "X...X", "X...X", "X...X", "X...X", "X...X", ".XXX."],
    'P': ["XXXX.", "X...X", "X...X", "XXXX.", "X....", "X....", "X...."],
    'R': ["XXXX.", "X...X", "X...X", "XXXX.", "X.X..", "X..X.", "X...X"],
    'G': [".XXX.", "X...X", "X....", "X.XXX", "X...X", "X...X", ".XXX."],
    'A': [".XXX.", "X...X", "X...X", "XXXXX", "X...X", "X...X", "X...X"],
    'N': ["X...X", "XX..X", "X.X.X", "X..XX", "X...X", "X...X", "X...X"],
    'I': [".XXX.", "..X..", "..X..", "..X..", "..X..", "..X..", ".XXX."],
    '0': [".XXX.", "X...X", "X..XX", "X.X.X", "XX..X", "X...X", ".XXX."],
    '3': ["XXXX.", "....X", "....X", ".XXX.", "....X", "....X", "XXXX."],
    '5': ["XXXXX", "X....", "XXXX.", "....X", "....X", "X...X", ".XXX."],
    '7': ["XXXXX", "....X", "...X.", "..X..", ".X...", ".X...", ".X..."],
    ' ': ["....."] * 7,
}


def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(
        ">I", zlib.crc32(kind + data) & 0xFFFFFFFF)


def write_png(path, width, height, rows, palette=None):
    """rows: list of bytes objects, already packed for the colour type."""
    if palette is None:
        ihdr = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)  # RGB, 8 bit
    else:
        ihdr = struct.pack(">IIBBBBB", width, height, 4, 3, 0, 0, 0)  # palette, 4 bit
    raw = b"".join(b"\x00" + row for row in rows)
    data = b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", ihdr)
    if palette is not None:
        data += png_chunk(b"PLTE", b"".join(bytes(c) for c in palette))
    data += png_chunk(b"IDAT", zlib.compress(raw, 9)) + png_chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(data)


def pack4(pixels):
    out = bytearray()
    for i in range(0, len(pixels), 2):
        hi = pixels[i]
        lo = pixels[i + 1] if i + 1 < len(pixels) else 0
        out.append(hi << 4 | lo)
    return bytes(out)


def draw_icon(size):
    """A chip seen from above: a dark body with pins on two sides, a yellow
    fuse mark (a one-time programmable memory) on a teal ground."""
    img = [[TEAL] * size for _ in range(size)]
    s = size / 32.0

    def rect(x0, y0, x1, y1, colour):
        for y in range(int(y0 * s), int(y1 * s)):
            for x in range(int(x0 * s), int(x1 * s)):
                img[y][x] = colour

    # Pins left and right.
    for i in range(4):
        y = 7 + i * 5
        rect(3, y, 8, y + 3, LGRAY)
        rect(24, y, 29, y + 3, LGRAY)
    # Body with a light edge.
    rect(7, 4, 25, 28, DGRAY)
    rect(8, 5, 24, 27, BLACK)
    # Orientation dot.
    rect(10, 7, 12, 9, WHITE)
    # Lightning-like fuse mark.
    for (x0, y0, x1, y1) in [(17, 9, 20, 12), (15, 12, 18, 15), (13, 15, 20, 17),
                             (15, 17, 18, 20), (13, 20, 16, 23)]:
        rect(x0, y0, x1, y1, YELLOW)
    return img


def draw_bitmap():
    """The banner of the main dialog: the maker's name and the chip."""
    w, h = 239, 90
    img = [[(0, 0, 0)] * w for _ in range(h)]
    for y in range(h):
        # A vertical gradient from dark blue to teal.
        t = y / (h - 1)
        c = (int(10 + 20 * t), int(40 + 90 * t), int(110 + 40 * t))
        for x in range(w):
            img[y][x] = c

    def text(s, x, y, scale, colour):
        for ch in s:
            glyph = FONT[ch]
            for gy, line in enumerate(glyph):
                for gx, bit in enumerate(line):
                    if bit == "X":
                        for dy in range(scale):
                            for dx in range(scale):
                                px, py = x + gx * scale + dx, y + gy * scale + dy
                                if 0 <= px < w and 0 <= py < h:
                                    img[py][px] = colour
            x += 6 * scale

    # A thin frame.
    for x in range(w):
        img[0][x] = img[h - 1][x] = (200, 210, 230)
    for y in range(h):
        img[y][0] = img[y][w - 1] = (200, 210, 230)
    text("KELM", 12, 10, 5, (255, 255, 255))
    text("QT70L5530", 12, 52, 2, (255, 230, 80))
    text("OTP", 12, 70, 2, (220, 240, 255))
    # A small chip at the right.
    for y in range(14, 50):
        for x in range(172, 212):
            img[y][x] = (30, 30, 35)
    for i in range(5):
        for y in range(18 + i * 7, 22 + i * 7):
            for x in range(164, 172):
                img[y][x] = (190, 190, 195)
            for x in range(212, 220):
                img[y][x] = (190, 190, 195)
    for y in range(18, 22):
        for x in range(176, 180):
            img[y][x] = (240, 240, 240)
    return [bytes(v for px in row for v in px) for row in img]


def main():
    out = os.path.join(HERE, "pictures")
    os.makedirs(out, exist_ok=True)
    for size in (32, 16):
        rows = [pack4(r) for r in draw_icon(size)]
        write_png(os.path.join(out, "icon_128_%d.png" % size), size, size, rows, PALETTE16)
    write_png(os.path.join(out, "bitmap_131.png"), 239, 90, draw_bitmap())


if __name__ == "__main__":
    main()
