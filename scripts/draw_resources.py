#!/usr/bin/env python3
"""Draws QarnDiag's pictures from scratch, with nothing but the standard library.

    python3 scripts/draw_resources.py [OUTPUT_DIR]

OUTPUT_DIR defaults to the resources/ folder beside this script's folder.  It
writes:

    icons/qarndiag-{16,32,48,64,128,256}.png   application and window icon
    icons/qarndiag-{16,32,48}.pam              the same, the main window's own icon
    icons/qarndiag.ico                         16, 32 and 48 px, for Windows
    images/side.ppm                            233 x 431 picture of the main window
    images/port-serial.pam                     16 x 16 serial connector glyph
    images/port-usb.pam                        16 x 16 USB glyph

The pictures of the main window are uncompressed Netpbm files (PPM, and PAM
for those with transparency), which the program shows without decoding.

Every shape is a signed distance function in "design units"; a canvas turns
the distance at each pixel centre into coverage, which gives clean
anti-aliased edges at any size without supersampling.  The output is the
same byte for byte on every run, so regenerating shows up in git only when a
drawing really changes.
"""

import math
import os
import struct
import sys
import zlib


# --------------------------------------------------------------------------
# Colours
# --------------------------------------------------------------------------

def rgb(hexcode, alpha=1.0):
    """'#rrggbb' -> (r, g, b, a) with channels in 0..1."""
    h = hexcode.lstrip("#")
    return (int(h[0:2], 16) / 255.0, int(h[2:4], 16) / 255.0,
            int(h[4:6], 16) / 255.0, alpha)


def with_alpha(colour, alpha):
    return (colour[0], colour[1], colour[2], alpha)


def mix(c0, c1, t):
    return tuple(a + (b - a) * t for a, b in zip(c0, c1))


# The palette every picture shares.
DEEP = rgb("#0a2a43")        # night blue
NAVY = rgb("#0d3b5c")
TEAL_DARK = rgb("#0f5f78")
TEAL = rgb("#15849a")
TEAL_LIGHT = rgb("#2fb1bf")
AQUA = rgb("#7fdde0")
WHITE = rgb("#ffffff")
CARD_SHADE = rgb("#dbe7ed")
CARD_EDGE = rgb("#8aa3b1")
GREY_LINE = rgb("#b3c5cf")
ORANGE = rgb("#ff8a1e")
ORANGE_DARK = rgb("#e2640f")
GOLD = rgb("#ffc45c")
SHADOW = rgb("#001522")


# --------------------------------------------------------------------------
# Shapes: a signed distance function (negative inside) plus a bounding box,
# both in design units.
# --------------------------------------------------------------------------

class Shape:
    def __init__(self, sdf, bbox):
        self.sdf = sdf
        self.bbox = bbox  # (x0, y0, x1, y1)


def _len(x, y):
    return math.sqrt(x * x + y * y)


def rrect(x0, y0, x1, y1, r):
    """Rounded rectangle with corner radius r."""
    cx, cy = (x0 + x1) / 2.0, (y0 + y1) / 2.0
    bx, by = (x1 - x0) / 2.0, (y1 - y0) / 2.0
    r = min(r, bx, by)

    def sdf(x, y):
        qx = abs(x - cx) - bx + r
        qy = abs(y - cy) - by + r
        outside = _len(max(qx, 0.0), max(qy, 0.0))
        return outside + min(max(qx, qy), 0.0) - r

    return Shape(sdf, (x0, y0, x1, y1))


def rect(x0, y0, x1, y1):
    return rrect(x0, y0, x1, y1, 0.0)


def circle(cx, cy, r):
    return Shape(lambda x, y: _len(x - cx, y - cy) - r,
                 (cx - r, cy - r, cx + r, cy + r))


def ellipse(cx, cy, rx, ry):
    """Close enough to a true distance for soft shadows and small dots."""
    k = min(rx, ry)
    return Shape(lambda x, y: (_len((x - cx) / rx, (y - cy) / ry) - 1.0) * k,
                 (cx - rx, cy - ry, cx + rx, cy + ry))


def segment(x0, y0, x1, y1, width):
    """A stroke from (x0, y0) to (x1, y1) with round caps."""
    dx, dy = x1 - x0, y1 - y0
    ll = dx * dx + dy * dy or 1e-12
    hw = width / 2.0

    def sdf(x, y):
        t = ((x - x0) * dx + (y - y0) * dy) / ll
        t = 0.0 if t < 0.0 else (1.0 if t > 1.0 else t)
        return _len(x - x0 - dx * t, y - y0 - dy * t) - hw

    return Shape(sdf, (min(x0, x1) - hw, min(y0, y1) - hw,
                       max(x0, x1) + hw, max(y0, y1) + hw))


def polyline(points, width):
    return union(*[segment(a[0], a[1], b[0], b[1], width)
                   for a, b in zip(points, points[1:])])


def arc(cx, cy, radius, a0, a1, width):
    """A stroked circular arc with round caps, from angle a0 to a1 (degrees,
    0 = +x, growing clockwise on screen because y points down)."""
    a0r, a1r = math.radians(a0), math.radians(a1)
    mid = (a0r + a1r) / 2.0
    half = (a1r - a0r) / 2.0
    hw = width / 2.0
    ends = [(cx + radius * math.cos(a), cy + radius * math.sin(a))
            for a in (a0r, a1r)]

    def sdf(x, y):
        px, py = x - cx, y - cy
        ang = math.atan2(py, px) - mid
        ang = (ang + math.pi) % (2.0 * math.pi) - math.pi
        if abs(ang) <= half:
            return abs(_len(px, py) - radius) - hw
        return min(_len(x - ex, y - ey) for ex, ey in ends) - hw

    reach = radius + hw
    return Shape(sdf, (cx - reach, cy - reach, cx + reach, cy + reach))


def polygon(points):
    """Exact distance to a simple polygon."""
    pts = list(points)
    n = len(pts)

    def sdf(x, y):
        d = (x - pts[0][0]) ** 2 + (y - pts[0][1]) ** 2
        sign = 1.0
        j = n - 1
        for i in range(n):
            vix, viy = pts[i]
            vjx, vjy = pts[j]
            ex, ey = vjx - vix, vjy - viy
            wx, wy = x - vix, y - viy
            t = (wx * ex + wy * ey) / (ex * ex + ey * ey)
            t = 0.0 if t < 0.0 else (1.0 if t > 1.0 else t)
            bx, by = wx - ex * t, wy - ey * t
            d = min(d, bx * bx + by * by)
            c1 = y >= viy
            c2 = y < vjy
            c3 = ex * wy > ey * wx
            if (c1 and c2 and c3) or (not c1 and not c2 and not c3):
                sign = -sign
            j = i
        return sign * math.sqrt(d)

    xs = [p[0] for p in pts]
    ys = [p[1] for p in pts]
    return Shape(sdf, (min(xs), min(ys), max(xs), max(ys)))


def union(*shapes):
    def sdf(x, y):
        return min(s.sdf(x, y) for s in shapes)

    return Shape(sdf, (min(s.bbox[0] for s in shapes), min(s.bbox[1] for s in shapes),
                       max(s.bbox[2] for s in shapes), max(s.bbox[3] for s in shapes)))


def subtract(a, b):
    return Shape(lambda x, y: max(a.sdf(x, y), -b.sdf(x, y)), a.bbox)


def grow(shape, amount):
    """Offsets the outline outwards (negative: inwards)."""
    x0, y0, x1, y1 = shape.bbox
    return Shape(lambda x, y: shape.sdf(x, y) - amount,
                 (x0 - amount, y0 - amount, x1 + amount, y1 + amount))


def outline(shape, width):
    """A stroke of the given width centred on the shape's edge."""
    hw = width / 2.0
    x0, y0, x1, y1 = shape.bbox
    return Shape(lambda x, y: abs(shape.sdf(x, y)) - hw,
                 (x0 - hw, y0 - hw, x1 + hw, y1 + hw))


def move(shape, dx, dy):
    x0, y0, x1, y1 = shape.bbox
    return Shape(lambda x, y: shape.sdf(x - dx, y - dy),
                 (x0 + dx, y0 + dy, x1 + dx, y1 + dy))


def rotate(shape, degrees, cx, cy):
    """Turns the shape clockwise on screen by the given angle about (cx, cy)."""
    a = math.radians(degrees)
    ca, sa = math.cos(a), math.sin(a)

    def sdf(x, y):
        px, py = x - cx, y - cy
        return shape.sdf(cx + px * ca + py * sa, cy - px * sa + py * ca)

    x0, y0, x1, y1 = shape.bbox
    corners = []
    for px, py in ((x0, y0), (x1, y0), (x0, y1), (x1, y1)):
        px, py = px - cx, py - cy
        corners.append((cx + px * ca - py * sa, cy + px * sa + py * ca))
    return Shape(sdf, (min(c[0] for c in corners), min(c[1] for c in corners),
                       max(c[0] for c in corners), max(c[1] for c in corners)))


# --------------------------------------------------------------------------
# Paints: a colour, or a function of (x, y) in design units giving a colour.
# --------------------------------------------------------------------------

def _ramp(stops, t):
    if t <= stops[0][0]:
        return stops[0][1]
    for (t0, c0), (t1, c1) in zip(stops, stops[1:]):
        if t <= t1:
            return mix(c0, c1, (t - t0) / (t1 - t0) if t1 > t0 else 1.0)
    return stops[-1][1]


def linear(x0, y0, x1, y1, stops):
    dx, dy = x1 - x0, y1 - y0
    ll = dx * dx + dy * dy
    return lambda x, y: _ramp(stops, ((x - x0) * dx + (y - y0) * dy) / ll)


def radial(cx, cy, r, stops):
    return lambda x, y: _ramp(stops, _len(x - cx, y - cy) / r)


# --------------------------------------------------------------------------
# Canvas
# --------------------------------------------------------------------------

class Canvas:
    """Premultiplied RGBA pixels; `scale` pixels per design unit."""

    def __init__(self, width, height, scale=1.0):
        self.w, self.h, self.scale = width, height, scale
        self.px = [0.0] * (width * height * 4)

    def fill(self, shape, paint, alpha=1.0, soft=0.0):
        """Paints the shape over what is there.  `soft` blurs the edge over
        that many design units on each side (for shadows and glows)."""
        s = self.scale
        edge = soft * s
        pad = edge + 1.0
        x0, y0, x1, y1 = shape.bbox
        i0 = max(0, int(math.floor(x0 * s - pad)))
        i1 = min(self.w, int(math.ceil(x1 * s + pad)))
        j0 = max(0, int(math.floor(y0 * s - pad)))
        j1 = min(self.h, int(math.ceil(y1 * s + pad)))
        flat = None if callable(paint) else paint
        sdf = shape.sdf
        px = self.px
        for j in range(j0, j1):
            y = (j + 0.5) / s
            for i in range(i0, i1):
                x = (i + 0.5) / s
                d = sdf(x, y) * s
                if edge > 0.0:
                    t = 0.5 - d / (2.0 * edge)
                    t = 0.0 if t < 0.0 else (1.0 if t > 1.0 else t)
                    cov = t * t * (3.0 - 2.0 * t)
                else:
                    cov = 0.5 - d
                    cov = 0.0 if cov < 0.0 else (1.0 if cov > 1.0 else cov)
                if cov <= 0.0:
                    continue
                c = flat if flat is not None else paint(x, y)
                a = cov * alpha * c[3]
                k = (j * self.w + i) * 4
                inv = 1.0 - a
                px[k] = c[0] * a + px[k] * inv
                px[k + 1] = c[1] * a + px[k + 1] * inv
                px[k + 2] = c[2] * a + px[k + 2] * inv
                px[k + 3] = a + px[k + 3] * inv

    def rgba_rows(self):
        """Straight (not premultiplied) 8-bit RGBA rows."""
        rows = []
        for j in range(self.h):
            row = bytearray()
            for i in range(self.w):
                k = (j * self.w + i) * 4
                a = self.px[k + 3]
                if a <= 0.0:
                    row += b"\0\0\0\0"
                    continue
                row += bytes(max(0, min(255, int(round(self.px[k + c] / a * 255.0))))
                             for c in range(3))
                row.append(max(0, min(255, int(round(a * 255.0)))))
            rows.append(bytes(row))
        return rows


# --------------------------------------------------------------------------
# File formats
# --------------------------------------------------------------------------

def rgb_rows(rows):
    """RGBA rows without their alpha bytes."""
    return [bytes(b for i, b in enumerate(r) if i % 4 != 3) for r in rows]


def png_bytes(width, height, rows):
    """An 8-bit PNG from RGBA rows; RGB only when every pixel is opaque."""
    def chunk(tag, data):
        body = tag + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    opaque = all(r[3::4] == b"\xff" * width for r in rows)
    if opaque:
        rows = rgb_rows(rows)
    raw = b"".join(b"\0" + r for r in rows)
    return (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2 if opaque else 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


def ppm_bytes(width, height, rows):
    """A binary PPM from opaque RGBA rows.  Uncompressed, it costs the
    program almost nothing to read at start-up, where a PNG of the same
    picture costs a few milliseconds of inflating and filtering."""
    return b"P6\n%d %d\n255\n" % (width, height) + b"".join(rgb_rows(rows))


def pam_bytes(width, height, rows):
    """A PAM with transparency from straight RGBA rows, uncompressed like
    the PPM."""
    header = b"P7\nWIDTH %d\nHEIGHT %d\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n" % (width, height)
    return header + b"".join(bytes(r) for r in rows)


def ico_bytes(images):
    """A Windows icon holding classic 32-bit BGRA bitmaps (read by every
    Windows version and by Qt), one per (size, rows) pair."""
    entries, blobs = [], []
    offset = 6 + 16 * len(images)
    for size, rows in images:
        header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
        pixels = bytearray()
        for r in reversed(rows):  # bottom-up
            for i in range(size):
                red, green, blue, alpha = r[4 * i:4 * i + 4]
                pixels += bytes((blue, green, red, alpha))
        mask_stride = ((size + 31) // 32) * 4
        mask = bytearray()
        for r in reversed(rows):
            bits = bytearray(mask_stride)
            for i in range(size):
                if r[4 * i + 3] == 0:
                    bits[i // 8] |= 0x80 >> (i % 8)
            mask += bits
        blob = header + bytes(pixels) + bytes(mask)
        entries.append(struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32,
                                   len(blob), offset))
        blobs.append(blob)
        offset += len(blob)
    return struct.pack("<HHH", 0, 1, len(images)) + b"".join(entries) + b"".join(blobs)


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
    print("wrote", path)


# --------------------------------------------------------------------------
# Application icon
# --------------------------------------------------------------------------

def draw_icon(size):
    """The reader with a card over it and the field around them, drawn on a
    256-unit square.  Smaller sizes drop detail and keep every stroke at
    least a pixel wide; 16 px has a drawing of its own on the pixel grid."""
    if size <= 16:
        return draw_icon_16()
    c = Canvas(size, size, size / 256.0)
    px = 256.0 / size  # one pixel in design units
    big = size >= 64

    # Reader: a low rounded puck, the lighter top face over a darker front.
    body = rrect(20, 124, 236, 230, 36)
    top = rrect(20, 124, 236, 206, 36)
    c.fill(body, linear(0, 170, 0, 230, [(0.0, TEAL_DARK), (1.0, NAVY)]))
    c.fill(top, linear(0, 124, 0, 206, [(0.0, TEAL_LIGHT), (1.0, TEAL)]))
    if big:
        c.fill(subtract(top, move(top, 0, 4)), WHITE, alpha=0.45)
        c.fill(outline(ellipse(128, 168, 62, 22), 3.0), WHITE, alpha=0.30)
        c.fill(circle(194, 218, 14), ORANGE, alpha=0.40, soft=7)
    # Status light on the front edge.
    c.fill(segment(184, 218, 204, 218, max(6.0, 1.6 * px)), ORANGE)

    # The field: arcs rising from the top face.
    radii = (40, 64, 88) if size >= 48 else (46, 80)
    w = max(12.0, 1.9 * px)
    for r in radii:
        c.fill(arc(164, 140, r, -84, -12, w), ORANGE)

    # The card, tilted, with its shadow falling on the reader.
    tilt = -10 if big else -6
    card = rotate(rrect(24, 26, 168, 116, 12), tilt, 96, 71)
    c.fill(move(card, 6, 12), SHADOW, alpha=0.35, soft=max(8.0, px))
    c.fill(card, linear(0, 26, 0, 116, [(0.0, WHITE), (1.0, CARD_SHADE)]))
    c.fill(outline(card, max(2.0, px)), CARD_EDGE, alpha=0.9 if big else 1.0)
    chip = rotate(rrect(42, 52, 74, 78, 5), tilt, 96, 71)
    c.fill(chip, linear(0, 52, 0, 78, [(0.0, GOLD), (1.0, ORANGE)]))
    if big:
        for seg in (segment(42, 65, 74, 65, 2), segment(58, 52, 58, 78, 2)):
            c.fill(rotate(seg, tilt, 96, 71), ORANGE_DARK, alpha=0.7)
        c.fill(rotate(segment(44, 96, 108, 96, 7), tilt, 96, 71), GREY_LINE)
        c.fill(rotate(segment(44, 106, 84, 106, 7), tilt, 96, 71), GREY_LINE)
    return c


def draw_icon_16():
    """The icon redrawn on the 16 px grid: straight card, two arcs."""
    c = Canvas(16, 16, 1.0)
    c.fill(rrect(1, 9, 15, 15, 2.5), linear(0, 12, 0, 15, [(0.0, TEAL_DARK), (1.0, NAVY)]))
    c.fill(rrect(1, 9, 15, 13, 2.5), linear(0, 9, 0, 13, [(0.0, TEAL_LIGHT), (1.0, TEAL)]))
    c.fill(rect(10, 13, 13, 14), ORANGE)
    c.fill(arc(10, 9, 3.2, -90, 0, 1.4), ORANGE)
    c.fill(arc(10, 9, 5.9, -90, 0, 1.4), ORANGE)
    card = rrect(1, 2, 10, 8, 1.2)
    c.fill(card, CARD_EDGE)
    c.fill(grow(card, -1), linear(0, 3, 0, 7, [(0.0, WHITE), (1.0, CARD_SHADE)]))
    c.fill(rect(3, 4, 5, 6), ORANGE)
    return c


# --------------------------------------------------------------------------
# Side picture of the main window
# --------------------------------------------------------------------------

SIDE_W, SIDE_H = 233, 431

# Circuit traces in the empty bands above and below the reader: each runs in
# from an edge with 45 degree bends and ends on a pad.
SIDE_TRACES = [
    [(0, 38), (58, 38), (80, 60), (80, 86)],
    [(0, 56), (42, 56), (58, 72), (58, 86)],
    [(0, 74), (22, 74), (34, 86), (34, 100)],
    [(233, 28), (178, 28), (158, 48), (158, 80)],
    [(233, 48), (198, 48), (184, 62), (184, 78)],
    [(233, 66), (216, 66), (206, 76), (206, 96)],
    [(112, 0), (112, 18), (128, 34), (128, 62)],
    [(0, 392), (48, 392), (68, 372), (98, 372)],
    [(0, 410), (86, 410), (102, 394), (128, 394)],
    [(233, 378), (178, 378), (162, 394), (162, 431)],
    [(233, 400), (196, 400), (188, 408), (188, 431)],
    [(60, 431), (60, 424), (70, 414)],
]


def draw_side():
    """The banner left of the main window's pages: the card hovering over the
    reader with the field between them, on a dark blue ground with faint
    circuit traces."""
    c = Canvas(SIDE_W, SIDE_H, 1.0)
    everything = rect(0, 0, SIDE_W, SIDE_H)
    c.fill(everything, linear(0, 0, 60, SIDE_H, [(0.0, DEEP), (0.55, NAVY), (1.0, TEAL_DARK)]))
    # A soft light where the card meets the field.
    c.fill(everything, radial(116, 216, 170, [(0.0, with_alpha(AQUA, 0.26)),
                                             (1.0, with_alpha(AQUA, 0.0))]))

    trace = with_alpha(AQUA, 0.20)
    for points in SIDE_TRACES:
        c.fill(polyline(points, 1.6), trace)
        ex, ey = points[-1]
        c.fill(circle(ex, ey, 4.2), DEEP, alpha=0.6)
        c.fill(outline(circle(ex, ey, 3.4), 1.6), trace)
    for x, y in ((96, 100), (140, 86), (20, 30), (214, 120), (116, 384), (30, 370), (206, 360)):
        c.fill(rrect(x - 2.5, y - 2.5, x + 2.5, y + 2.5, 1), trace)

    # Reader.
    c.fill(segment(44, 350, 189, 350, 6), SHADOW, alpha=0.5, soft=7)
    body = rrect(28, 270, 205, 348, 30)
    top = rrect(28, 270, 205, 330, 30)
    c.fill(body, linear(0, 308, 0, 348, [(0.0, TEAL_DARK), (1.0, NAVY)]))
    c.fill(top, linear(0, 270, 0, 330, [(0.0, TEAL_LIGHT), (1.0, TEAL)]))
    c.fill(subtract(top, move(top, 0, 3)), WHITE, alpha=0.45)
    # The mark on the top face where the card goes.
    c.fill(outline(ellipse(116.5, 300, 40, 14), 2.0), WHITE, alpha=0.30)
    c.fill(circle(168, 339, 11), ORANGE, alpha=0.45, soft=6)
    c.fill(segment(160, 339, 176, 339, 5), ORANGE)

    # The field between the reader and the card.
    for r in (28, 50, 72):
        c.fill(arc(116.5, 296, r, -136, -44, 9), ORANGE)

    # The card, hovering.
    cx, cy, tilt = 116.5, 156, -8

    def on_card(shape):
        return rotate(shape, tilt, cx, cy)

    card = on_card(rrect(cx - 68, cy - 43, cx + 68, cy + 43, 10))
    c.fill(move(card, 4, 10), SHADOW, alpha=0.45, soft=10)
    c.fill(card, linear(0, cy - 43, 0, cy + 43, [(0.0, WHITE), (1.0, CARD_SHADE)]))
    c.fill(outline(card, 1.5), CARD_EDGE, alpha=0.6)
    chip = on_card(rrect(cx - 52, cy - 16, cx - 24, cy + 6, 4))
    c.fill(chip, linear(0, cy - 16, 0, cy + 6, [(0.0, GOLD), (1.0, ORANGE)]))
    for seg in (segment(cx - 52, cy - 5, cx - 24, cy - 5, 1.5),
                segment(cx - 38, cy - 16, cx - 38, cy + 6, 1.5)):
        c.fill(on_card(seg), ORANGE_DARK, alpha=0.7)
    c.fill(on_card(segment(cx - 50, cy + 22, cx + 14, cy + 22, 6)), GREY_LINE)
    c.fill(on_card(segment(cx - 50, cy + 32, cx - 12, cy + 32, 6)), GREY_LINE)
    # The contactless mark printed on the card.
    for r in (5, 10, 15):
        c.fill(on_card(arc(cx + 38, cy - 20, r, -45, 45, 2.4)), TEAL, alpha=0.9)
    return c


# --------------------------------------------------------------------------
# Port list glyphs, 16 x 16 on the pixel grid
# --------------------------------------------------------------------------

PORT_RIM = rgb("#3c5a6e")
PORT_FACE_TOP = rgb("#183f58")
PORT_FACE_BOTTOM = DEEP


def draw_port_serial():
    """A nine-pin D connector seen from the front: five pins over four."""
    c = Canvas(16, 16, 1.0)
    shell = grow(polygon([(2.5, 5.0), (14.5, 5.0), (12.6, 11.0), (4.4, 11.0)]), 1.5)
    c.fill(shell, linear(0, 3.5, 0, 12.5, [(0.0, rgb("#7f9aab")), (1.0, PORT_RIM)]))
    c.fill(grow(shell, -1.0), linear(0, 4.5, 0, 11.5, [(0.0, PORT_FACE_TOP), (1.0, PORT_FACE_BOTTOM)]))
    for x in (4, 6, 8, 10, 12):
        c.fill(rect(x, 6, x + 1, 7), GOLD)
    for x in (5, 7, 9, 11):
        c.fill(rect(x, 9, x + 1, 10), GOLD)
    return c


def draw_port_usb():
    """The USB trident, standing upright."""
    c = Canvas(16, 16, 1.0)
    ink = linear(0, 0, 0, 16, [(0.0, TEAL), (1.0, TEAL_DARK)])
    c.fill(polygon([(8, 0), (11, 4), (5, 4)]), ink)
    c.fill(rect(7, 3.5, 9, 12.5), ink)
    c.fill(circle(8, 13.5, 2.5), ink)
    c.fill(segment(8, 11.2, 3, 8.2, 1.8), ink)
    c.fill(circle(2.8, 7.6, 1.9), ink)
    c.fill(segment(8, 8.7, 12.5, 6.2, 1.8), ink)
    c.fill(rect(11, 4, 14, 7), ink)
    return c


def main(argv):
    here = os.path.dirname(os.path.abspath(__file__))
    out = argv[1] if len(argv) > 1 else os.path.join(os.path.dirname(here), "resources")
    icons = {}
    for size in (16, 32, 48, 64, 128, 256):
        rows = draw_icon(size).rgba_rows()
        icons[size] = rows
        write(os.path.join(out, "icons", "qarndiag-%d.png" % size), png_bytes(size, size, rows))
        if size <= 48:
            write(os.path.join(out, "icons", "qarndiag-%d.pam" % size), pam_bytes(size, size, rows))
    write(os.path.join(out, "icons", "qarndiag.ico"),
          ico_bytes([(s, icons[s]) for s in (16, 32, 48)]))
    write(os.path.join(out, "images", "side.ppm"),
          ppm_bytes(SIDE_W, SIDE_H, draw_side().rgba_rows()))
    for name, draw in (("port-serial", draw_port_serial), ("port-usb", draw_port_usb)):
        write(os.path.join(out, "images", name + ".pam"), pam_bytes(16, 16, draw().rgba_rows()))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
