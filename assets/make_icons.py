#!/usr/bin/env python3
"""Draws the control panel's icon sheet (66 x 425) and writes icons.png;
with --app-icons, the program's own icon for desktop menus instead.

Every control has a dim cell and a bright (lit or hovered) cell side by side.
Shapes are sampled 4 x 4 per pixel and the coverage is quantised to eighths,
so the whole sheet fits an 8-bit palette PNG of a few kilobytes.

Standard library only:
  python3 assets/make_icons.py [output.png]
  python3 assets/make_icons.py --app-icons FOLDER
The build embeds assets/icons.png in the program and copies it beside it, so
commit the regenerated file. The app icons are made by the Linux build into
FOLDER/<n>x<n>/apps/vornby.png, in the freedesktop hicolor theme's sizes.
"""
import math
import os
import struct
import sys
import zlib

WIDTH, HEIGHT = 66, 425
SAMPLES = 4
LEVELS = 8

BLACK = (0, 0, 0)
BOX = (30, 31, 36)          # the dark box behind the 25- and 19-pixel cells
DIM = (128, 130, 138)       # pictogram and outline of an unlit control
BRIGHT = (255, 255, 255)    # ... of a lit or hovered one

RED, RED_LIGHT = (214, 40, 40), (255, 118, 112)
YELLOW, YELLOW_LIGHT = (224, 188, 24), (255, 236, 130)
GREEN, GREEN_LIGHT = (36, 178, 64), (128, 240, 146)


# Shapes: functions of a point (x, y) in cell pixels, true inside.

def rect(x0, y0, x1, y1):
    return lambda x, y: x0 <= x < x1 and y0 <= y < y1


def rounded(x0, y0, x1, y1, r):
    def inside(x, y):
        if not (x0 <= x < x1 and y0 <= y < y1):
            return False
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return inside


def ring(shape_outer, shape_inner):
    return lambda x, y: shape_outer(x, y) and not shape_inner(x, y)


def circle(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


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


def line(x0, y0, x1, y1, width):
    dx, dy = x1 - x0, y1 - y0
    length2 = dx * dx + dy * dy
    half = width / 2

    def inside(x, y):
        t = max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / length2))
        px, py = x0 + t * dx, y0 + t * dy
        return (x - px) ** 2 + (y - py) ** 2 <= half * half
    return inside


def arc(cx, cy, r, width, start_deg, end_deg):
    """A stroked arc; angles in degrees, 0 = east, counter-clockwise (y up)."""
    half = width / 2

    def inside(x, y):
        d = math.hypot(x - cx, y - cy)
        if abs(d - r) > half:
            return False
        angle = math.degrees(math.atan2(cy - y, x - cx)) % 360
        return start_deg <= angle <= end_deg or start_deg <= angle + 360 <= end_deg
    return inside


def union(*shapes):
    return lambda x, y: any(s(x, y) for s in shapes)


def minus(shape, cut):
    return lambda x, y: shape(x, y) and not cut(x, y)


# Pictograms of the 25-pixel cells, drawn inside the box (2..23).

def pictogram_no_frame():
    # Only the region's corners: the frame is off.
    ticks = []
    for cx, cy, sx, sy in ((6, 7, 1, 1), (19, 7, -1, 1), (6, 18, 1, -1), (19, 18, -1, -1)):
        ticks.append(line(cx, cy, cx + 4 * sx, cy, 1.4))
        ticks.append(line(cx, cy, cx, cy + 3 * sy, 1.4))
    return union(*ticks)


def pictogram_border():
    # A dashed rectangle around the region.
    dashes = []
    for x in range(6, 19, 3):
        dashes.append(rect(x, 6.3, x + 2, 7.7))
        dashes.append(rect(x, 17.3, x + 2, 18.7))
    for y in range(6, 18, 3):
        dashes.append(rect(5.3, y, 6.7, y + 2))
        dashes.append(rect(18.3, y, 19.7, y + 2))
    return union(*dashes)


def pictogram_guides():
    # Lines running across the whole screen along the region's edges.
    return union(rect(3, 8, 22, 9.2), rect(3, 16, 22, 17.2),
                 rect(8, 3, 9.2, 22), rect(16, 3, 17.2, 22))


def pictogram_lock():
    shackle = arc(12.5, 10.5, 4.2, 1.8, 0, 180)
    legs = union(rect(7.4, 10.5, 9.2, 13), rect(15.8, 10.5, 17.6, 13))
    body = rounded(6, 12, 19, 21, 1.5)
    keyhole = union(circle(12.5, 15.5, 1.4), rect(11.9, 15.5, 13.1, 18.5))
    return union(shackle, legs, minus(body, keyhole))


def pictogram_audio():
    speaker = polygon([(4.5, 10), (8, 10), (12.5, 5.5), (12.5, 19.5), (8, 15), (4.5, 15)])
    waves = union(arc(12.5, 12.5, 4.2, 1.5, -45, 45), arc(12.5, 12.5, 7.6, 1.5, -50, 50))
    return union(speaker, waves)


def pictogram_pointer():
    return polygon([(8, 4), (8, 20), (11.6, 16.4), (14.2, 21.6), (16.6, 20.4),
                    (14.0, 15.3), (19, 15)])


def pictogram_folder():
    back = union(rounded(4, 7, 21, 19, 1.2), rounded(4, 5.5, 11, 9, 1.0))
    front = polygon([(4.8, 19), (7.2, 11), (22, 11), (19.6, 19)])
    return union(minus(back, polygon([(5.8, 18), (7.9, 12.2), (20.5, 12.2), (20.5, 18)])), front)


def pictogram_move():
    c = 12.5
    shaft = union(rect(c - 0.8, 6, c + 0.8, 19), rect(6, c - 0.8, 19, c + 0.8))
    heads = union(polygon([(c, 3.5), (c - 3.5, 7.5), (c + 3.5, 7.5)]),
                  polygon([(c, 21.5), (c - 3.5, 17.5), (c + 3.5, 17.5)]),
                  polygon([(3.5, c), (7.5, c - 3.5), (7.5, c + 3.5)]),
                  polygon([(21.5, c), (17.5, c - 3.5), (17.5, c + 3.5)]))
    return union(shaft, heads)


def pictogram_minimise():
    return rect(7, 16, 18, 18)


def pictogram_close():
    return union(line(8, 8, 17, 17, 2.0), line(17, 8, 8, 17, 2.0))


# Cells: (x, y, w, h, [(shape, colour), ...]) drawn over black.

def record_cell(x, y, colour, mark):
    body = rounded(1, 1, 32, 32, 7)
    marks = {
        "square": rect(11, 11, 22, 22),
        "play": polygon([(12.5, 9), (12.5, 24), (24.5, 16.5)]),
        "pause": union(rect(11, 9.5, 14.8, 23.5), rect(18.2, 9.5, 22, 23.5)),
        "stop": rounded(10, 10, 23, 23, 1.5),
    }
    return (x, y, 33, 33, [(body, colour), (marks[mark], BLACK)])


def box_cell(x, y, pictogram, lit):
    ink = BRIGHT if lit else DIM
    outer = rounded(0, 0, 25, 25, 3.5)
    inner = rounded(1, 1, 24, 24, 2.5)
    return (x, y, 25, 25, [(outer, ink), (inner, BOX), (pictogram, ink)])


def small_cell(x, y, sign, lit):
    ink = BRIGHT if lit else DIM
    outer = rounded(0, 0, 19, 19, 4.5)
    inner = rounded(1, 1, 18, 18, 3.5)
    bar = rect(5, 8.7, 14, 10.3)
    glyphs = {
        "+": union(bar, rect(8.7, 5, 10.3, 14)),
        "-": bar,
        # The text line's pause control while recording, and resume while paused.
        "pause": union(rect(6, 5, 8.4, 14), rect(10.6, 5, 13, 14)),
        "resume": polygon([(7, 4.8), (7, 14.2), (14.2, 9.5)]),
    }
    return (x, y, 19, 19, [(outer, ink), (inner, BOX), (glyphs[sign], ink)])


def cells():
    out = [
        record_cell(0, 0, RED, "square"), record_cell(33, 0, RED_LIGHT, "play"),
        record_cell(0, 33, YELLOW, "pause"), record_cell(33, 33, YELLOW_LIGHT, "stop"),
        record_cell(0, 66, GREEN, "play"), record_cell(33, 66, GREEN_LIGHT, "stop"),
    ]
    pictograms = [pictogram_no_frame(), pictogram_border(), pictogram_guides(), pictogram_lock(),
                  pictogram_audio(), pictogram_pointer(), pictogram_folder(), pictogram_move(),
                  pictogram_minimise(), pictogram_close()]
    for row, pictogram in enumerate(pictograms):
        y = 99 + 25 * row
        out.append(box_cell(0, y, pictogram, False))
        out.append(box_cell(25, y, pictogram, True))
    out.append(small_cell(0, 349, "-", False))
    out.append(small_cell(19, 349, "-", True))
    out.append(small_cell(0, 368, "+", False))
    out.append(small_cell(19, 368, "+", True))
    for y, sign in ((387, "pause"), (406, "resume")):
        out.append(small_cell(0, y, sign, False))
        out.append(small_cell(19, y, sign, True))
    return out


def render():
    pixels = [[BLACK] * WIDTH for _ in range(HEIGHT)]
    offsets = [(i + 0.5) / SAMPLES for i in range(SAMPLES)]
    for cx, cy, cw, ch, layers in cells():
        for py in range(ch):
            for px in range(cw):
                colour = BLACK
                for shape, ink in layers:
                    hits = sum(shape(px + ox, py + oy) for oy in offsets for ox in offsets)
                    level = round(hits * LEVELS / (SAMPLES * SAMPLES))
                    if level:
                        a = level / LEVELS
                        colour = tuple(round(c * (1 - a) + i * a) for c, i in zip(colour, ink))
                pixels[cy + py][cx + px] = colour
    return pixels


def png_chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def write_png(path, pixels):
    width, height = len(pixels[0]), len(pixels)
    palette = sorted({c for row in pixels for c in row})
    if len(palette) > 256:
        raise SystemExit("make_icons: %d colours do not fit a palette" % len(palette))
    index = {c: i for i, c in enumerate(palette)}
    raw = b"".join(b"\0" + bytes(index[c] for c in row) for row in pixels)
    png = b"\x89PNG\r\n\x1a\n"
    png += png_chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 3, 0, 0, 0))
    png += png_chunk(b"PLTE", b"".join(bytes(c) for c in palette))
    png += png_chunk(b"IDAT", zlib.compress(raw, 9))
    png += png_chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)
    return len(png), len(palette)


# The program's icon: the panel's red record button inside a dashed region
# frame on a dark rounded tile. Drawn in a unit square, so one drawing serves
# every size; the dashes are counted, not measured, so they stay even, and
# small sizes get fewer of them so that they do not blur into a grey line.
APP_ICON_SIZES = (16, 22, 24, 32, 48, 64, 128, 256)


def app_icon_layers(dashes):
    tile = rounded(0.03, 0.03, 0.97, 0.97, 0.2)
    lo, hi, thick = 0.2, 0.8, 0.055

    def dashed_frame(x, y):
        on_side = ((lo <= x <= hi and (abs(y - lo) <= thick / 2 or abs(y - hi) <= thick / 2)) or
                   (lo <= y <= hi and (abs(x - lo) <= thick / 2 or abs(x - hi) <= thick / 2)))
        if not on_side:
            return False
        along = x if abs(y - lo) <= thick / 2 or abs(y - hi) <= thick / 2 else y
        phase = (along - lo) / (hi - lo) * (2 * dashes - 1)
        return int(phase) % 2 == 0 or along >= hi - thick / 2

    return [(tile, BOX + (255,)), (dashed_frame, BRIGHT + (255,)), (circle(0.5, 0.5, 0.17), RED + (255,))]


def render_app_icon(size):
    """Rows of (r, g, b, a), premultiplied nowhere: layers blend over transparency."""
    offsets = [(i + 0.5) / SAMPLES / size for i in range(SAMPLES)]
    layers = app_icon_layers(max(2, min(5, size // 8)))
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            r = g = b = a = 0.0
            for shape, ink in layers:
                hits = sum(shape(px / size + ox, py / size + oy) for oy in offsets for ox in offsets)
                if hits:
                    cover = hits / (SAMPLES * SAMPLES)
                    out_a = cover + a * (1 - cover)
                    r, g, b = ((ink[k] * cover + c * a * (1 - cover)) / out_a for k, c in enumerate((r, g, b)))
                    a = out_a
            row.append((round(r), round(g), round(b), round(a * 255)))
        rows.append(row)
    return rows


def write_rgba_png(path, rows):
    width, height = len(rows[0]), len(rows)
    raw = b"".join(b"\0" + b"".join(bytes(p) for p in row) for row in rows)
    png = b"\x89PNG\r\n\x1a\n"
    png += png_chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
    png += png_chunk(b"IDAT", zlib.compress(raw, 9))
    png += png_chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def write_app_icons(folder):
    for size in APP_ICON_SIZES:
        target = os.path.join(folder, "%dx%d" % (size, size), "apps")
        os.makedirs(target, exist_ok=True)
        write_rgba_png(os.path.join(target, "vornby.png"), render_app_icon(size))


if __name__ == "__main__":
    if sys.argv[1:2] == ["--app-icons"] and len(sys.argv) == 3:
        write_app_icons(sys.argv[2])
        sys.exit(0)
    target = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "icons.png")
    size, colours = write_png(target, render())
    print("%s: %d x %d, %d colours, %d bytes" % (target, WIDTH, HEIGHT, colours, size))
