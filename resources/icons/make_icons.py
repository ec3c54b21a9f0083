#!/usr/bin/env python3
"""Draws the program icon (32 x 32 and 16 x 16, 16-colour palette) as indexed PNG files.

The icon: a blue rounded tile with a white multiplication sign and a yellow star.
Run from this folder: python3 make_icons.py
"""
import struct
import zlib

PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
TRANSPARENT, BLUE, NAVY, WHITE, YELLOW, OLIVE = 0, 12, 4, 15, 11, 3


def draw(size):
    px = [[TRANSPARENT] * size for _ in range(size)]
    s = size / 32.0
    r = 6 * s
    for y in range(size):
        for x in range(size):
            cx = min(max(x + 0.5, r), size - r)
            cy = min(max(y + 0.5, r), size - r)
            if (x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2 <= r * r:
                edge = (x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2 > (r - 1.2) ** 2 or \
                    x in (0, size - 1) or y in (0, size - 1)
                px[y][x] = NAVY if edge else BLUE
    # White multiplication sign: two thick diagonals.
    lo, hi, w = 8 * s, 24 * s, 2.6 * s
    for y in range(size):
        for x in range(size):
            fx, fy = x + 0.5, y + 0.5
            if lo <= fx <= hi and lo <= fy <= hi:
                if abs(fx - fy) <= w or abs(fx + fy - size) <= w:
                    px[y][x] = WHITE
    # Yellow star in the upper right corner (a small plus with diagonal tips).
    cx, cy = 25 * s, 7 * s
    for y in range(size):
        for x in range(size):
            dx, dy = abs(x + 0.5 - cx), abs(y + 0.5 - cy)
            if (dx <= 0.9 * s and dy <= 4 * s) or (dy <= 0.9 * s and dx <= 4 * s) or \
                    (dx + dy <= 2.6 * s):
                px[y][x] = YELLOW
            elif dx + dy <= 3.4 * s and px[y][x] == BLUE and size >= 32:
                px[y][x] = OLIVE
    return px


def png(px, path):
    size = len(px)
    raw = b""
    for row in px:
        raw += b"\x00"
        for i in range(0, size, 2):
            raw += bytes([(row[i] << 4) | row[i + 1]])

    def chunk(kind, data):
        c = struct.pack(">I", len(data)) + kind + data
        return c + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    ihdr = struct.pack(">IIBBBBB", size, size, 4, 3, 0, 0, 0)
    plte = b"".join(bytes(c) for c in PALETTE)
    trns = bytes([0])  # palette entry 0 is transparent
    data = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + chunk(b"PLTE", plte) + \
        chunk(b"tRNS", trns) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    png(draw(32), "quorin32.png")
    png(draw(16), "quorin16.png")
