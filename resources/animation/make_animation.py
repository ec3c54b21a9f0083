#!/usr/bin/env python3
"""Draws the six pictures of the full-mark animation as indexed PNG files.

Each picture is 128 x 128 pixels with a 16-colour palette. The story: a smiling star in
the night sky jumps for joy while fireworks go up and burst around it; the last picture
leads back into the first, on which the animation comes to rest.
Each picture is also drawn at twice the size (frameN@2x.png, the same shapes in 256 x 256
pixels) for screens at scale 2.
Run from this folder: python3 make_animation.py
"""
import math
import struct
import zlib

SIZE = 128
SCALE = 1  # device pixels per picture pixel: 1, or 2 for the @2x pictures

PALETTE = [
    (16, 20, 64),     # 0 night sky
    (36, 44, 112),    # 1 sky near the ground
    (255, 214, 32),   # 2 star yellow
    (240, 140, 16),   # 3 orange
    (112, 64, 8),     # 4 star outline
    (255, 255, 255),  # 5 white
    (236, 36, 48),    # 6 red
    (255, 150, 190),  # 7 pink cheeks
    (64, 208, 88),    # 8 green
    (88, 224, 255),   # 9 cyan
    (228, 84, 236),   # 10 magenta
    (255, 248, 168),  # 11 pale yellow
    (0, 0, 0),        # 12 black
    (168, 16, 40),    # 13 dark red (open mouth)
    (72, 128, 255),   # 14 blue
    (40, 120, 56),    # 15 dark green hills
]
SKY, SKY_LOW, YELLOW, ORANGE, OUTLINE, WHITE, RED, PINK = range(8)
GREEN, CYAN, MAGENTA, PALE, BLACK, MOUTH, BLUE, HILL = range(8, 16)


class Canvas:
    def __init__(self):
        n = SIZE * SCALE
        self.px = [[SKY] * n for _ in range(n)]

    def put(self, x, y, colour):
        if 0 <= x < SIZE and 0 <= y < SIZE:
            for dy in range(SCALE):
                for dx in range(SCALE):
                    self.px[y * SCALE + dy][x * SCALE + dx] = colour

    def fill(self, inside, colour, box=(0, 0, SIZE, SIZE)):
        """Paints every pixel whose centre satisfies inside(x, y)."""
        x0, y0, x1, y1 = (max(0, int(box[0])), max(0, int(box[1])),
                          min(SIZE, int(box[2]) + 1), min(SIZE, int(box[3]) + 1))
        for y in range(y0 * SCALE, y1 * SCALE):
            for x in range(x0 * SCALE, x1 * SCALE):
                if inside((x + 0.5) / SCALE, (y + 0.5) / SCALE):
                    self.px[y][x] = colour

    def disc(self, cx, cy, r, colour):
        self.fill(lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r, colour,
                  (cx - r - 1, cy - r - 1, cx + r + 1, cy + r + 1))

    def ellipse(self, cx, cy, rx, ry, colour):
        self.fill(lambda x, y: ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1.0, colour,
                  (cx - rx - 1, cy - ry - 1, cx + rx + 1, cy + ry + 1))

    def line(self, x0, y0, x1, y1, width, colour):
        def near(x, y):
            dx, dy = x1 - x0, y1 - y0
            length2 = dx * dx + dy * dy or 1e-9
            t = max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / length2))
            px, py = x0 + t * dx, y0 + t * dy
            return (x - px) ** 2 + (y - py) ** 2 <= (width / 2.0) ** 2
        pad = width + 1
        self.fill(near, colour, (min(x0, x1) - pad, min(y0, y1) - pad,
                                 max(x0, x1) + pad, max(y0, y1) + pad))

    def polygon(self, points, colour):
        def inside(x, y):
            hit = False
            j = len(points) - 1
            for i in range(len(points)):
                xi, yi = points[i]
                xj, yj = points[j]
                if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                    hit = not hit
                j = i
            return hit
        xs = [p[0] for p in points]
        ys = [p[1] for p in points]
        self.fill(inside, colour, (min(xs) - 1, min(ys) - 1, max(xs) + 1, max(ys) + 1))


def star_points(cx, cy, outer, inner, turn=0.0):
    points = []
    for k in range(10):
        r = outer if k % 2 == 0 else inner
        a = math.radians(-90 + 36 * k + turn)
        points.append((cx + r * math.cos(a), cy + r * math.sin(a)))
    return points


def sky(c):
    """The night sky, a few fixed stars and two green hills."""
    for y in range(SIZE * SCALE):
        for x in range(SIZE * SCALE):
            c.px[y][x] = SKY_LOW if y // SCALE > 92 else SKY
    for (x, y) in [(8, 10), (30, 5), (100, 8), (120, 30), (5, 60), (122, 70), (70, 4)]:
        c.put(x, y, PALE)
    c.ellipse(20, 140, 56, 30, HILL)
    c.ellipse(112, 146, 50, 32, HILL)


def twinkle(c, cx, cy, r, colour=PALE):
    """A four-pointed sparkle."""
    c.line(cx - r, cy, cx + r, cy, 1.6, colour)
    c.line(cx, cy - r, cx, cy + r, 1.6, colour)
    c.disc(cx, cy, max(1.0, r / 3.0), WHITE)


def burst(c, cx, cy, radius, colours, rays=12, dots=True):
    """A firework: rays of sparks from a centre, every other ray in the next colour."""
    for k in range(rays):
        a = 2 * math.pi * k / rays
        colour = colours[k % len(colours)]
        x0, y0 = cx + 0.35 * radius * math.cos(a), cy + 0.35 * radius * math.sin(a)
        x1, y1 = cx + radius * math.cos(a), cy + radius * math.sin(a)
        if dots:
            for t in (0.45, 0.7, 0.95):
                c.disc(cx + t * radius * math.cos(a), cy + t * radius * math.sin(a),
                       1.4 + t, colour)
        else:
            c.line(x0, y0, x1, y1, 2.2, colour)
            c.disc(x1, y1, 2.2, colour)
    c.disc(cx, cy, 2.5, WHITE)


def rocket(c, x, y, length):
    """A rising rocket: a bright head with a fading trail below it."""
    c.line(x, y, x, y + length, 1.5, ORANGE)
    c.line(x, y, x, y + length * 0.4, 2.0, PALE)
    c.disc(x, y, 2.2, WHITE)


def smiling_star(c, cx, cy, mood="smile", scale=1.0, turn=0.0):
    outer, inner = 44 * scale, 21 * scale
    c.polygon(star_points(cx, cy, outer + 3, inner + 2.4, turn), OUTLINE)
    c.polygon(star_points(cx, cy, outer, inner, turn), YELLOW)
    # A shine on the upper left arm.
    c.ellipse(cx - 13 * scale, cy - 10 * scale, 4 * scale, 2.5 * scale, PALE)
    ex, ey = 9 * scale, cy + 1 * scale
    # Eyes.
    for side in (-1, 1):
        x = cx + side * ex
        if mood == "wink" and side == 1:
            c.line(x - 4 * scale, ey, x + 4 * scale, ey - 1, 2.2 * scale, BLACK)
        elif mood == "joy":
            # Happy closed eyes: little upturned arcs.
            for t in range(-4, 5):
                c.disc(x + t * scale, ey - math.sqrt(max(0, 16 - t * t)) * 0.6 * scale,
                       1.1 * scale, BLACK)
        else:
            c.ellipse(x, ey, 3.2 * scale, 4.6 * scale, BLACK)
            c.disc(x + 1.0 * scale, ey - 1.8 * scale, 1.3 * scale, WHITE)
    # Cheeks.
    for side in (-1, 1):
        c.ellipse(cx + side * 16 * scale, cy + 9 * scale, 4 * scale, 2.6 * scale, PINK)
    # Mouth.
    my = cy + 9 * scale
    if mood in ("joy", "wow"):
        rx, ry = (7 if mood == "joy" else 5) * scale, (7 if mood == "joy" else 6) * scale
        c.fill(lambda x, y: y >= my - (0 if mood == "joy" else ry) and
               ((x - cx) / rx) ** 2 + ((y - my) / ry) ** 2 <= 1.0, MOUTH,
               (cx - rx - 1, my - ry - 1, cx + rx + 1, my + ry + 1))
        c.fill(lambda x, y: y >= my + ry * 0.35 and
               ((x - cx) / (rx * 0.6)) ** 2 + ((y - my - ry * 0.45) / (ry * 0.45)) ** 2 <= 1.0,
               RED, (cx - rx, my, cx + rx, my + ry + 1))
    else:
        for t in range(-6, 7):
            c.disc(cx + t * scale, my + (36 - t * t) * 0.09 * scale, 1.2 * scale, BLACK)


def frame1():
    c = Canvas()
    sky(c)
    twinkle(c, 18, 24, 5)
    twinkle(c, 110, 20, 4)
    twinkle(c, 104, 100, 3, CYAN)
    twinkle(c, 20, 96, 3, PINK)
    smiling_star(c, 64, 66, "smile")
    return c


def frame2():
    c = Canvas()
    sky(c)
    twinkle(c, 18, 24, 3)
    twinkle(c, 110, 20, 6)
    rocket(c, 12, 50, 40)
    smiling_star(c, 64, 60, "wink", 1.0, -6)
    return c


def frame3():
    c = Canvas()
    sky(c)
    twinkle(c, 110, 20, 3)
    burst(c, 24, 28, 18, [RED, PALE], rays=10)
    rocket(c, 106, 70, 30)
    smiling_star(c, 64, 54, "joy", 1.0, -10)
    return c


def frame4():
    c = Canvas()
    sky(c)
    burst(c, 24, 28, 24, [RED, YELLOW], rays=14, dots=False)
    burst(c, 106, 30, 12, [GREEN, CYAN], rays=8)
    smiling_star(c, 64, 50, "wow", 1.05, 0)
    return c


def frame5():
    c = Canvas()
    sky(c)
    burst(c, 24, 28, 26, [ORANGE], rays=14)
    burst(c, 106, 30, 22, [GREEN, CYAN, WHITE], rays=14, dots=False)
    twinkle(c, 64, 6, 4, WHITE)
    smiling_star(c, 64, 56, "joy", 1.0, 10)
    return c


def frame6():
    c = Canvas()
    sky(c)
    burst(c, 106, 30, 26, [CYAN], rays=14)
    burst(c, 64, 20, 20, [MAGENTA, PINK, YELLOW], rays=16, dots=False)
    for (x, y, colour) in [(10, 60, RED), (20, 90, YELLOW), (115, 62, GREEN), (100, 84, MAGENTA),
                           (36, 10, CYAN), (8, 36, PINK), (120, 104, YELLOW), (14, 110, CYAN)]:
        c.polygon([(x - 2, y - 3), (x + 3, y - 1), (x + 2, y + 3), (x - 3, y + 1)], colour)
    smiling_star(c, 64, 64, "smile", 1.0, 6)
    return c


def png(c, path):
    raw = bytearray()
    for row in c.px:
        raw.append(0)
        for i in range(0, len(row), 2):
            raw.append((row[i] << 4) | row[i + 1])

    def chunk(kind, data):
        out = struct.pack(">I", len(data)) + kind + data
        return out + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    n = len(c.px)
    ihdr = struct.pack(">IIBBBBB", n, n, 4, 3, 0, 0, 0)
    plte = b"".join(bytes(colour) for colour in PALETTE)
    data = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + chunk(b"PLTE", plte) + \
        chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    assert len(PALETTE) == 16
    for SCALE, suffix in ((1, ""), (2, "@2x")):
        for n, draw in enumerate([frame1, frame2, frame3, frame4, frame5, frame6], start=1):
            png(draw(), "frame%d%s.png" % (n, suffix))
