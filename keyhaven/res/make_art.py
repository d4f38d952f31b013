#!/usr/bin/env python3
"""Draws Keyhaven's icons and banner bitmaps and writes them byte by byte.

Rebuild (from anywhere; the files land beside this script):

    python3 keyhaven/res/make_art.py

Only the standard library is used, and the output is deterministic, so a
rebuild without changes reproduces the committed files exactly.

Output:
    fn_key.ico       32x32, 16 colours: tilted "Fn" key cap, blue-outlined arrow down onto it
    fn_on.ico        32x32, 16 colours: flat "Fn" key cap drawn sunken (latched)
    fn_off.ico       32x32, 16 colours: flat "Fn" key cap drawn raised (released)
    keyhaven.ico     32x32, 16 colours: "Fn" key cap, grey arrow with a blue tail pointing down
    banner_left.bmp  384x28, 24 bits: notebook keyboard fading through deep blue into dark grey
    banner_right.bmp 80x28, 8 bits, 256-entry palette: the ORVENTA wordmark on dark grey
"""

import math
import os
import random
import struct

HERE = os.path.dirname(os.path.abspath(__file__))

# The standard 16-colour palette, (r, g, b), in the system's index order.
VGA16 = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
BLACK, DARK_BLUE, LIGHT_GREY, DARK_GREY, BLUE, WHITE = 0, 4, 7, 8, 12, 15

PIXELS_PER_METRE = 2834          # 72 dots per inch
DARK_GREY_RGB = (58, 58, 62)     # where the left banner ends and the right banner lies
DEEP_BLUE_RGB = (14, 38, 118)

# --------------------------------------------------------------------------
# File writers


def bitmap_info_header(width, height, bits, image_size, ppm=0, colours_used=0):
    return struct.pack('<IiiHHIIiiII', 40, width, height, 1, bits, 0,
                       image_size, ppm, ppm, colours_used, 0)


def rgb_quads(palette):
    return b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in palette)


def pack_rows_bottom_up(rows):
    """rows: top-down list of byte strings, each already padded to 4 bytes."""
    return b''.join(reversed(rows))


def icon_file_bytes(pixels):
    """pixels: 32 rows of 32 palette indices, None for transparent."""
    size = 32
    xor_rows, and_rows = [], []
    for row in pixels:
        nibbles = [0 if p is None else p for p in row]
        xor_rows.append(bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, size, 2)))
        mask = 0
        for p in row:
            mask = (mask << 1) | (1 if p is None else 0)
        and_rows.append(mask.to_bytes(size // 8, 'big'))
    xor_bits = pack_rows_bottom_up(xor_rows)
    and_bits = pack_rows_bottom_up(and_rows)
    image = (bitmap_info_header(size, size * 2, 4, len(xor_bits) + len(and_bits))
             + rgb_quads(VGA16) + xor_bits + and_bits)
    assert len(image) == 744
    directory = struct.pack('<HHH', 0, 1, 1)
    entry = struct.pack('<BBBBHHII', size, size, 16, 0, 1, 4, len(image), 6 + 16)
    return directory + entry + image


def bmp_file_bytes(width, height, bits, rows, palette=None, ppm=0):
    """rows: top-down byte strings of width*bits/8 bytes each (unpadded)."""
    stride = (width * bits // 8 + 3) & ~3
    padded = [r + b'\0' * (stride - len(r)) for r in rows]
    data = pack_rows_bottom_up(padded)
    colours = rgb_quads(palette) if palette else b''
    info = bitmap_info_header(width, height, bits, len(data), ppm,
                              len(palette) if palette else 0)
    offset = 14 + len(info) + len(colours)
    file_header = struct.pack('<2sIHHI', b'BM', offset + len(data), 0, 0, offset)
    return file_header + info + colours + data


def write(name, data):
    with open(os.path.join(HERE, name), 'wb') as f:
        f.write(data)

# --------------------------------------------------------------------------
# A small 16-colour canvas for the icons


class Canvas:
    def __init__(self, size=32):
        self.size = size
        self.px = [[None] * size for _ in range(size)]

    def inside(self, x, y):
        return 0 <= x < self.size and 0 <= y < self.size

    def paint(self, cells, colour):
        for (x, y) in cells:
            if self.inside(x, y):
                self.px[y][x] = colour


def polygon_cells(points, size=32):
    """Pixels whose centres lie inside the polygon (even-odd rule)."""
    cells = set()
    n = len(points)
    for y in range(size):
        cy = y + 0.5
        for x in range(size):
            cx = x + 0.5
            inside = False
            for i in range(n):
                (x1, y1), (x2, y2) = points[i], points[(i + 1) % n]
                if (y1 > cy) != (y2 > cy):
                    if cx < x1 + (cy - y1) * (x2 - x1) / (y2 - y1):
                        inside = not inside
            if inside:
                cells.add((x, y))
    return cells


def boundary(cells, sides=((1, 0), (-1, 0), (0, 1), (0, -1))):
    """Cells of the shape that touch the outside on one of the given sides."""
    return {(x, y) for (x, y) in cells
            if any((x + dx, y + dy) not in cells for (dx, dy) in sides)}


UPPER_LEFT = ((-1, 0), (0, -1))
LOWER_RIGHT = ((1, 0), (0, 1))


def rect(x0, y0, x1, y1):
    """Corner points of the pixel rectangle x0..x1, y0..y1 (inclusive)."""
    return [(x0, y0), (x1 + 1, y0), (x1 + 1, y1 + 1), (x0, y1 + 1)]


def tilted(points, centre, slope):
    """Points tilted about centre: each column moves up by slope per pixel to the right.

    A vertical shear keeps the columns of the picture upright, so the key's
    label stays crisp at 32 x 32 pixels where a rotation would break it up.
    """
    cx, _ = centre
    return [(x, y - slope * (x - cx)) for (x, y) in points]


# "Fn" in a bold pixel font: F is 6x9, n is 6x7, sharing the baseline.
GLYPH_F = ["######",
           "######",
           "##....",
           "##....",
           "#####.",
           "#####.",
           "##....",
           "##....",
           "##...."]
GLYPH_N = ["#####.",
           "######",
           "##..##",
           "##..##",
           "##..##",
           "##..##",
           "##..##"]


def fn_label_cells():
    """Cells of the "Fn" label with its top-left corner at (0, 0): 14x9."""
    cells = set()
    for y, line in enumerate(GLYPH_F):
        cells |= {(x, y) for x, c in enumerate(line) if c == '#'}
    for y, line in enumerate(GLYPH_N):
        cells |= {(x + 8, y + 2) for x, c in enumerate(line) if c == '#'}
    return cells


def placed_label(left, top, centre=(16, 16), slope=0.0):
    """The "Fn" label moved to (left, top) and tilted about centre like the key."""
    left, top = int(round(left)), int(round(top))
    cx, _ = centre
    return {(x + left, y + top - int(round(slope * (x + left + 0.5 - cx))))
            for (x, y) in fn_label_cells()}


def flat_key(canvas, pressed):
    """A square key cap seen from above: raised, or sunken when pressed."""
    outer = polygon_cells(rect(3, 3, 28, 28))
    outer -= {(3, 3), (28, 3), (3, 28), (28, 28)}          # rounded corners
    canvas.paint(outer, BLACK)
    bevel = polygon_cells(rect(4, 4, 27, 27))
    face = polygon_cells(rect(6, 6, 25, 25))
    light, dark = (DARK_GREY, WHITE) if pressed else (WHITE, DARK_GREY)
    canvas.paint(bevel, LIGHT_GREY)
    for ring in range(2):
        edge = polygon_cells(rect(4 + ring, 4 + ring, 27 - ring, 27 - ring))
        canvas.paint(boundary(edge, UPPER_LEFT), light)
        canvas.paint(boundary(edge, LOWER_RIGHT), dark)
    if pressed:
        canvas.paint(boundary(bevel, UPPER_LEFT), BLACK)
    canvas.paint(face, LIGHT_GREY)
    shift = 1 if pressed else 0
    canvas.paint(placed_label(9 + shift, 11 + shift), BLACK)


def shaded_key(canvas, corners, face_corners, centre, slope):
    """A key cap with a darker skirt, tilted by slope about centre."""
    outer = polygon_cells(tilted(corners, centre, slope))
    face = polygon_cells(tilted(face_corners, centre, slope))
    canvas.paint(outer, DARK_GREY)
    canvas.paint(face, LIGHT_GREY)
    canvas.paint(boundary(face, UPPER_LEFT), WHITE)
    canvas.paint(boundary(outer), BLACK)
    fx0, fy0 = face_corners[0]
    fx1, fy1 = face_corners[2]
    left = (fx0 + fx1) / 2 - 7
    top = (fy0 + fy1) / 2 - 4.5
    canvas.paint(placed_label(left, top, centre, slope), BLACK)


def down_arrow(canvas, shaft, head, fill, outline):
    cells = polygon_cells(shaft) | polygon_cells(head)
    canvas.paint(cells, fill)
    canvas.paint(boundary(cells), outline)
    return cells


def draw_fn_key_icon():
    c = Canvas()
    shaded_key(c, rect(5, 12, 27, 28), rect(7, 13, 24, 24), (16, 20), 0.25)
    down_arrow(c, [(13, 0), (19, 0), (19, 6), (13, 6)],
               [(8, 6), (24, 6), (16, 14)], WHITE, BLUE)
    return c


def draw_fn_on_icon():
    c = Canvas()
    flat_key(c, pressed=True)
    return c


def draw_fn_off_icon():
    c = Canvas()
    flat_key(c, pressed=False)
    return c


def draw_keyhaven_icon():
    c = Canvas()
    shaded_key(c, rect(4, 13, 27, 31), rect(6, 14, 24, 27), (16, 22), 0)
    tail = polygon_cells([(13, 0), (19, 0), (19, 5), (13, 5)])
    head = polygon_cells([(13, 5), (19, 5), (19, 7), (24, 7), (16, 14), (8, 7), (13, 7)])
    c.paint(tail, BLUE)
    c.paint(head, LIGHT_GREY)
    c.paint(boundary(tail), DARK_BLUE)
    c.paint(boundary(head) - tail, BLACK)
    return c

# --------------------------------------------------------------------------
# Banners


def lerp(a, b, t):
    return a + (b - a) * t


def mix(c1, c2, t):
    return tuple(lerp(a, b, t) for a, b in zip(c1, c2))


def smoothstep(e0, e1, x):
    t = min(1.0, max(0.0, (x - e0) / (e1 - e0)))
    return t * t * (3 - 2 * t)


def keyboard_sample(x, y):
    """Colour of a notebook keyboard seen slightly from the front, or None in the gaps.

    Three rows of keys, staggered as on a real keyboard, getting a little
    smaller to the right as the keyboard recedes.
    """
    rows = ((1.0, 8.5, 0.0), (10.0, 17.5, 5.0), (19.0, 26.5, 9.0))
    for (top, bottom, offset) in rows:
        if top <= y < bottom:
            pitch = 14.0 - x * 0.012
            u = (x + offset) / pitch
            frac = u - math.floor(u)
            if frac < 0.86:
                v = (y - top) / (bottom - top)
                light = 1.0 - 0.35 * v - 0.25 * frac       # lit from the upper left
                if v < 0.12 or frac < 0.06:
                    light += 0.2                            # rim highlight
                return tuple(min(255.0, ch * light) for ch in (196, 198, 204))
    return None


def draw_left_banner():
    width, height = 384, 28
    rng = random.Random(141)
    chassis = (34, 35, 40)
    rows = []
    for y in range(height):
        row = bytearray()
        for x in range(width):
            # Average a 3x3 grid of samples so that key edges look photographed, not drawn.
            acc = [0.0, 0.0, 0.0]
            for sy in range(3):
                for sx in range(3):
                    colour = keyboard_sample(x + (sx + 0.5) / 3, y + (sy + 0.5) / 3) or chassis
                    acc = [a + ch for a, ch in zip(acc, colour)]
            photo = [a / 9 + rng.uniform(-5, 5) for a in acc]
            background = mix(DEEP_BLUE_RGB, DARK_GREY_RGB, smoothstep(190, 320, x))
            keyboard_weight = 1.0 - smoothstep(95, 205, x)
            r, g, b = (lerp(bg, ph, keyboard_weight) for bg, ph in zip(background, photo))
            row += bytes((clamp(b), clamp(g), clamp(r)))
        rows.append(bytes(row))
    return bmp_file_bytes(width, height, 24, rows, ppm=PIXELS_PER_METRE)


def clamp(v):
    return max(0, min(255, int(round(v))))


# Stroke skeletons of the wordmark's letters in a 7 x 12 box (x right, y down).
WORDMARK_LETTERS = {
    'O': [((3.5, 0), (6.5, 2.5)), ((6.5, 2.5), (6.5, 9.5)), ((6.5, 9.5), (3.5, 12)),
          ((3.5, 12), (0.5, 9.5)), ((0.5, 9.5), (0.5, 2.5)), ((0.5, 2.5), (3.5, 0))],
    'R': [((0.5, 12), (0.5, 0)), ((0.5, 0), (4.5, 0)), ((4.5, 0), (6.3, 1.8)),
          ((6.3, 1.8), (6.3, 4.2)), ((6.3, 4.2), (4.5, 6)), ((4.5, 6), (0.5, 6)),
          ((3.5, 6), (6.5, 12))],
    'V': [((0.3, 0), (3.5, 12)), ((3.5, 12), (6.7, 0))],
    'E': [((0.5, 0), (0.5, 12)), ((0.5, 0), (6.3, 0)), ((0.5, 6), (5.3, 6)), ((0.5, 12), (6.3, 12))],
    'N': [((0.5, 12), (0.5, 0)), ((0.5, 0), (6.5, 12)), ((6.5, 12), (6.5, 0))],
    'T': [((0.0, 0), (7.0, 0)), ((3.5, 0), (3.5, 12))],
    'A': [((0.3, 12), (3.5, 0)), ((3.5, 0), (6.7, 12)), ((1.6, 7.8), (5.4, 7.8))],
}


def segment_distance(px, py, a, b):
    (ax, ay), (bx, by) = a, b
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(px - (ax + t * dx), py - (ay + t * dy))


def wordmark_segments(text, left, top, advance):
    segments = []
    for i, letter in enumerate(text):
        ox = left + i * advance
        for (a, b) in WORDMARK_LETTERS[letter]:
            segments.append(((a[0] + ox, a[1] + top), (b[0] + ox, b[1] + top)))
    return segments


def coverage(x, y, segments, half_width, samples=4):
    hits = 0
    for sy in range(samples):
        for sx in range(samples):
            px, py = x + (sx + 0.5) / samples, y + (sy + 0.5) / samples
            if any(segment_distance(px, py, a, b) <= half_width for (a, b) in segments):
                hits += 1
    return hits / (samples * samples)


def draw_right_banner():
    """The wordmark in white on the dark grey where the left banner ends.

    Palette: 0-127 dark grey to white (the letters), 128-191 dark grey to the
    accent blue (the rule under the word), 192-255 a grey ramp kept for
    completeness of the 256-entry palette.
    """
    width, height = 80, 28
    text_ramp = [mix(DARK_GREY_RGB, (244, 244, 248), i / 127) for i in range(128)]
    accent_ramp = [mix(DARK_GREY_RGB, (40, 110, 230), i / 63) for i in range(64)]
    grey_ramp = [(i * 4 + 3,) * 3 for i in range(64)]
    palette = [tuple(clamp(ch) for ch in c) for c in text_ramp + accent_ramp + grey_ramp]
    letters = wordmark_segments("ORVENTA", 5.0, 6.0, 10.0)
    rule = [((5.5, 22.0), (73.5, 22.0))]
    rows = []
    for y in range(height):
        row = bytearray()
        for x in range(width):
            text = coverage(x, y, letters, 1.15)
            accent = coverage(x, y, rule, 0.75)
            if text > 0:
                row.append(int(round(text * 127)))
            else:
                row.append(128 + int(round(accent * 63)))
        rows.append(bytes(row))
    return bmp_file_bytes(width, height, 8, rows, palette=palette, ppm=PIXELS_PER_METRE)


def main():
    write('fn_key.ico', icon_file_bytes(draw_fn_key_icon().px))
    write('fn_on.ico', icon_file_bytes(draw_fn_on_icon().px))
    write('fn_off.ico', icon_file_bytes(draw_fn_off_icon().px))
    write('keyhaven.ico', icon_file_bytes(draw_keyhaven_icon().px))
    write('banner_left.bmp', draw_left_banner())
    write('banner_right.bmp', draw_right_banner())


if __name__ == '__main__':
    main()
