#!/usr/bin/env python3
"""Draws the artwork of setup.exe: the header picture (header.png, 688 x 86)
and the icons (*.ico, 16 and 32 pixels). Plain Python, no libraries:
shapes are rasterised with 4 x 4 supersampling and written as PNG and ICO.
Usage: python3 generate.py   (writes beside this script)"""

import math
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
SAMPLES = 4


# --- shapes: each is inside(x, y) over coordinates 0..1 of the image ------

def circle(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def ring(cx, cy, r, w, gap=None):
    def inside(x, y):
        d = math.hypot(x - cx, y - cy)
        if abs(d - r) > w / 2:
            return False
        if gap is None:
            return True
        a = math.degrees(math.atan2(cy - y, x - cx)) % 360
        lo, hi = gap
        return not (lo <= a <= hi if lo <= hi else (a >= lo or a <= hi))
    return inside


def rect(x0, y0, x1, y1, radius=0.0):
    def inside(x, y):
        if not (x0 <= x <= x1 and y0 <= y <= y1):
            return False
        if radius <= 0:
            return True
        cx = min(max(x, x0 + radius), x1 - radius)
        cy = min(max(y, y0 + radius), y1 - radius)
        return (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius
    return inside


def polygon(points):
    def inside(x, y):
        result = False
        j = len(points) - 1
        for i in range(len(points)):
            xi, yi = points[i]
            xj, yj = points[j]
            if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                result = not result
            j = i
        return result
    return inside


def stroke(points, w):
    segments = list(zip(points, points[1:]))

    def inside(x, y):
        for (ax, ay), (bx, by) in segments:
            dx, dy = bx - ax, by - ay
            length = dx * dx + dy * dy
            t = 0.0 if length == 0 else max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / length))
            if (x - ax - t * dx) ** 2 + (y - ay - t * dy) ** 2 <= w * w / 4:
                return True
        return False
    return inside


def arc(cx, cy, r, start, end, steps=24):
    """Points of an arc, angles in degrees counter-clockwise from +x."""
    return [(cx + r * math.cos(math.radians(start + (end - start) * i / steps)),
             cy - r * math.sin(math.radians(start + (end - start) * i / steps))) for i in range(steps + 1)]


# --- canvas --------------------------------------------------------------

class Canvas:
    def __init__(self, width, height, background=(0, 0, 0, 0)):
        self.w, self.h = width, height
        self.px = [list(background) for _ in range(width * height)]

    def fill(self, shape, color, box=None, pixels=False):
        """Paints shape in an RGBA colour; its coordinates are 0..1 of the
        canvas, or pixels."""
        x0, y0, x1, y1 = box or (0, 0, self.w, self.h)
        n = SAMPLES
        sw, sh = (1, 1) if pixels else (self.w, self.h)
        for py in range(max(0, y0), min(self.h, y1)):
            for px in range(max(0, x0), min(self.w, x1)):
                hits = 0
                for sy in range(n):
                    for sx in range(n):
                        if shape((px + (sx + 0.5) / n) / sw, (py + (sy + 0.5) / n) / sh):
                            hits += 1
                if hits:
                    self.blend(px, py, color, hits / (n * n))

    def blend(self, x, y, color, coverage):
        r, g, b, a = color
        alpha = a / 255 * coverage
        dst = self.px[y * self.w + x]
        da = dst[3] / 255
        oa = alpha + da * (1 - alpha)
        if oa <= 0:
            return
        for i, c in enumerate((r, g, b)):
            dst[i] = round((c * alpha + dst[i] * da * (1 - alpha)) / oa)
        dst[3] = round(oa * 255)


def write_png(path, canvas):
    raw = b"".join(b"\0" + bytes(v for p in canvas.px[y * canvas.w:(y + 1) * canvas.w] for v in p[:3])
                   for y in range(canvas.h))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", canvas.w, canvas.h, 8, 2, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(raw, 9)))
        f.write(chunk(b"IEND", b""))


def write_ico(path, canvases):
    images = []
    for c in canvases:
        xor = b"".join(bytes((p[2], p[1], p[0], p[3])) for y in reversed(range(c.h))
                       for p in c.px[y * c.w:(y + 1) * c.w])
        stride = ((c.w + 31) // 32) * 4
        mask = bytearray()
        for y in reversed(range(c.h)):
            row = bytearray(stride)
            for x in range(c.w):
                if c.px[y * c.w + x][3] == 0:
                    row[x // 8] |= 0x80 >> (x % 8)
            mask += row
        header = struct.pack("<IiiHHIIiiII", 40, c.w, c.h * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
        images.append((c.w, c.h, header + xor + bytes(mask)))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for w, h, data in images:
        out += struct.pack("<BBBBHHII", w % 256, h % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(path, "wb") as f:
        f.write(out + b"".join(d for _, _, d in images))


# --- icons ----------------------------------------------------------------

BLUE = (24, 117, 186, 255)
GREEN = (46, 139, 87, 255)
RED = (200, 48, 40, 255)
AMBER = (235, 170, 20, 255)
GREY = (110, 110, 110, 255)
LIGHT = (236, 236, 236, 255)
WHITE = (255, 255, 255, 255)
DARK = (60, 60, 60, 255)


def icon_install(c):
    c.fill(rect(0.12, 0.70, 0.88, 0.90, 0.05), GREY)
    c.fill(polygon([(0.38, 0.08), (0.62, 0.08), (0.62, 0.40), (0.80, 0.40), (0.50, 0.70), (0.20, 0.40),
                    (0.38, 0.40)]), GREEN)


def icon_exit(c):
    c.fill(rect(0.14, 0.08, 0.58, 0.92, 0.04), GREY)
    c.fill(rect(0.20, 0.14, 0.52, 0.86), LIGHT)
    c.fill(polygon([(0.40, 0.42), (0.66, 0.42), (0.66, 0.26), (0.92, 0.50), (0.66, 0.74), (0.66, 0.58),
                    (0.40, 0.58)]), RED)


def icon_update(c):
    c.fill(stroke(arc(0.5, 0.5, 0.32, 100, 260), 0.14), BLUE)
    c.fill(stroke(arc(0.5, 0.5, 0.32, 280, 440), 0.14), BLUE)
    c.fill(polygon([(0.30, 0.06), (0.58, 0.18), (0.36, 0.36)]), BLUE)
    c.fill(polygon([(0.70, 0.94), (0.42, 0.82), (0.64, 0.64)]), BLUE)


def icon_check(c):
    c.fill(circle(0.5, 0.5, 0.44), GREEN)
    c.fill(stroke([(0.26, 0.52), (0.43, 0.69), (0.75, 0.34)], 0.13), WHITE)


def icon_build(c):
    c.fill(polygon([(0.5, 0.10), (0.90, 0.28), (0.5, 0.46), (0.10, 0.28)]), (214, 170, 110, 255))
    c.fill(polygon([(0.10, 0.28), (0.5, 0.46), (0.5, 0.92), (0.10, 0.72)]), (176, 128, 70, 255))
    c.fill(polygon([(0.90, 0.28), (0.5, 0.46), (0.5, 0.92), (0.90, 0.72)]), (150, 104, 52, 255))
    c.fill(stroke([(0.30, 0.19), (0.70, 0.37)], 0.08), (245, 225, 190, 255))


def icon_uninstall(c):
    c.fill(rect(0.16, 0.14, 0.84, 0.26, 0.03), GREY)
    c.fill(rect(0.38, 0.06, 0.62, 0.16, 0.03), GREY)
    c.fill(polygon([(0.22, 0.30), (0.78, 0.30), (0.72, 0.92), (0.28, 0.92)]), GREY)
    for x in (0.38, 0.50, 0.62):
        c.fill(stroke([(x, 0.40), (x, 0.82)], 0.06), LIGHT)


def icon_error(c):
    c.fill(circle(0.5, 0.5, 0.46), RED)
    c.fill(stroke([(0.32, 0.32), (0.68, 0.68)], 0.14), WHITE)
    c.fill(stroke([(0.68, 0.32), (0.32, 0.68)], 0.14), WHITE)


def icon_information(c):
    c.fill(circle(0.5, 0.5, 0.46), BLUE)
    c.fill(circle(0.5, 0.27, 0.08), WHITE)
    c.fill(stroke([(0.5, 0.44), (0.5, 0.76)], 0.15), WHITE)


def icon_warning(c):
    c.fill(polygon([(0.5, 0.04), (0.97, 0.92), (0.03, 0.92)]), AMBER)
    c.fill(stroke([(0.5, 0.32), (0.5, 0.62)], 0.13), DARK)
    c.fill(circle(0.5, 0.78, 0.07), DARK)


def drive_body(c, color):
    c.fill(rect(0.06, 0.30, 0.94, 0.74, 0.08), color)
    c.fill(rect(0.12, 0.36, 0.88, 0.68, 0.05), LIGHT)
    c.fill(circle(0.78, 0.52, 0.06), GREEN)


def icon_unknown_drive(c):
    drive_body(c, GREY)
    c.fill(stroke(arc(0.38, 0.46, 0.09, 160, -60) + [(0.40, 0.58)], 0.07), DARK)


def icon_removable_drive(c):
    c.fill(rect(0.30, 0.06, 0.70, 0.30, 0.03), GREY)
    c.fill(rect(0.38, 0.12, 0.46, 0.20), LIGHT)
    c.fill(rect(0.54, 0.12, 0.62, 0.20), LIGHT)
    c.fill(rect(0.20, 0.28, 0.80, 0.94, 0.10), BLUE)


def icon_fixed_drive(c):
    drive_body(c, GREY)


def icon_network_drive(c):
    c.fill(rect(0.10, 0.10, 0.90, 0.52, 0.08), GREY)
    c.fill(rect(0.16, 0.16, 0.84, 0.46, 0.05), LIGHT)
    c.fill(circle(0.74, 0.31, 0.06), GREEN)
    c.fill(stroke([(0.5, 0.52), (0.5, 0.80)], 0.10), DARK)
    c.fill(stroke([(0.12, 0.86), (0.88, 0.86)], 0.10), DARK)


def icon_product(c):
    c.fill(rect(0.04, 0.04, 0.96, 0.96, 0.18), BLUE)
    c.fill(stroke([(0.24, 0.26), (0.76, 0.26)], 0.14), WHITE)
    c.fill(stroke([(0.5, 0.26), (0.5, 0.78)], 0.14), WHITE)
    c.fill(stroke(arc(0.5, 0.62, 0.30, 20, 60, 8), 0.06), (180, 215, 240, 255))
    c.fill(stroke(arc(0.5, 0.62, 0.30, 120, 160, 8), 0.06), (180, 215, 240, 255))


ICONS = {
    2000: ("install", icon_install),
    2001: ("exit", icon_exit),
    2002: ("update", icon_update),
    2003: ("check", icon_check),
    2004: ("build", icon_build),
    2005: ("uninstall", icon_uninstall),
    2010: ("error", icon_error),
    2011: ("information", icon_information),
    2012: ("warning", icon_warning),
    2013: ("drive-unknown", icon_unknown_drive),
    2014: ("drive-removable", icon_removable_drive),
    2015: ("drive-fixed", icon_fixed_drive),
    2016: ("drive-network", icon_network_drive),
    3000: ("product", icon_product),
}


# --- header ---------------------------------------------------------------

def wordmark(x, top, size):
    """The strokes of "Tavrel" from x, letters size pixels high."""
    u = size / 28
    base, mid = top + 28 * u, top + 8 * u
    shapes = []

    def add(points):
        shapes.append(points)
    add([(x, top), (x + 18 * u, top)])
    add([(x + 9 * u, top), (x + 9 * u, base)])
    x += 22 * u
    shapes.append(("ring", x + 8 * u, base - 8.5 * u, 8 * u, None))
    add([(x + 16.5 * u, mid), (x + 16.5 * u, base)])
    x += 24 * u
    add([(x, mid), (x + 8 * u, base), (x + 16 * u, mid)])
    x += 20 * u
    add([(x, mid), (x, base)])
    add(arc(x + 10 * u, mid + 10 * u, 10 * u, 180, 80, 12))
    x += 16 * u
    shapes.append(("ring", x + 9 * u, base - 10 * u, 9.5 * u, (290, 345)))
    add([(x, base - 10 * u), (x + 18 * u, base - 10 * u)])
    x += 25 * u
    add([(x, top - 2 * u), (x, base)])
    return shapes, x + 4 * u


def header():
    w, h = 688, 86
    c = Canvas(w, h)
    top, bottom = (255, 255, 255), (232, 241, 250)
    for y in range(h):
        for x in range(w):
            t = y / (h - 1) * 0.6 + x / (w - 1) * 0.4
            c.px[y * w + x] = [round(a + (b - a) * t) for a, b in zip(top, bottom)] + [255]
    # Soft rings along the right-hand side: the server's broadcast.
    for i, r in enumerate((140, 185, 230)):
        c.fill(ring(700, 160, r, 3), (24, 117, 186, 46 - 12 * i), box=(440, 0, w, h), pixels=True)
    # The product mark at the left: a blue tile with a white "T".
    c.fill(rect(18, 13, 78, 73, 10), BLUE, box=(16, 11, 81, 76), pixels=True)
    c.fill(stroke([(31, 29), (65, 29)], 9), WHITE, box=(16, 11, 81, 76), pixels=True)
    c.fill(stroke([(48, 29), (48, 62)], 9), WHITE, box=(16, 11, 81, 76), pixels=True)
    # The product name at the right.
    strokes, right = wordmark(0, 0, 26)
    x0, y0 = w - 24 - right, 30
    for s in strokes:
        if s[0] == "ring":
            _, cx, cy, r, gap = s
            shape = ring(cx + x0, cy + y0, r, 4.5, gap)
        else:
            shape = stroke([(px + x0, py + y0) for px, py in s], 4.5)
        c.fill(shape, (40, 80, 130, 255), box=(int(x0) - 6, y0 - 6, w, y0 + 36), pixels=True)
    return c


def main():
    write_png(os.path.join(HERE, "header.png"), header())
    for number, (name, draw) in ICONS.items():
        sizes = []
        for size in (16, 32):
            canvas = Canvas(size, size)
            draw(canvas)
            sizes.append(canvas)
        write_ico(os.path.join(HERE, f"{number}-{name}.ico"), sizes)


if __name__ == "__main__":
    main()
