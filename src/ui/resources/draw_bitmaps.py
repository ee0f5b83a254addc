#!/usr/bin/env python3
"""Draws the pictures linked into script-corvaldo.exe.

Usage: draw_bitmaps.py OUTPUT_DIR

Writes image3_background.bmp (the dialog's paper texture), the four button
glyphs glyph_sim.bmp, glyph_nao.bmp, glyph_continuar.bmp, glyph_cancelar.bmp,
and script-corvaldo.ico. Everything is computed from fixed seeds with integer
or correctly rounded float arithmetic only (no sin/cos/exp), so every run on
every machine produces the same bytes.
"""

import os
import struct
import sys

# --- file formats ----------------------------------------------------------


def bmp_4bpp(width, height, palette, rows):
    """An uncompressed 4-bit bottom-up BMP; rows are top-down palette indexes."""
    assert len(palette) == 16 and len(rows) == height
    row_bytes = ((width * 4 + 31) // 32) * 4
    pixels = bytearray()
    for row in reversed(rows):
        assert len(row) == width
        packed = bytearray(row_bytes)
        for x, index in enumerate(row):
            packed[x // 2] |= index << 4 if x % 2 == 0 else index
        pixels += packed
    palette_bytes = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in palette)
    offset = 14 + 40 + len(palette_bytes)
    file_header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    # 3780 pixels per metre is 96 dots per inch.
    info_header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 4, 0, len(pixels), 3780, 3780,
                              16, 16)
    return file_header + info_header + palette_bytes + bytes(pixels)


def ico_32bpp(images):
    """An .ico of 32-bit images; each image is (size, rows of (r, g, b, a))."""
    entries = bytearray()
    blobs = bytearray()
    offset = 6 + 16 * len(images)
    for size, rows in images:
        xor = bytearray()
        mask_row_bytes = ((size + 31) // 32) * 4
        mask = bytearray()
        for row in reversed(rows):
            bits = bytearray(mask_row_bytes)
            for x, (r, g, b, a) in enumerate(row):
                xor += bytes((b, g, r, a))
                if a == 0:
                    bits[x // 8] |= 0x80 >> (x % 8)
            mask += bits
        header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(mask), 0,
                             0, 0, 0)
        blob = header + xor + mask
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(blob),
                               offset + len(blobs))
        blobs += blob
    return struct.pack("<HHH", 0, 1, len(images)) + entries + blobs


# --- helpers ----------------------------------------------------------------


class XorShift32:
    def __init__(self, seed):
        self.state = seed & 0xFFFFFFFF or 1

    def next(self):
        s = self.state
        s ^= (s << 13) & 0xFFFFFFFF
        s ^= s >> 17
        s ^= (s << 5) & 0xFFFFFFFF
        self.state = s
        return s

    def unit(self):
        return self.next() / 4294967296.0


def smooth(t):
    return t * t * (3 - 2 * t)


def lerp(a, b, t):
    return a + (b - a) * t


def segment_distance(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)
    t = max(0.0, min(1.0, t))
    ex, ey = px - (ax + t * dx), py - (ay + t * dy)
    return (ex * ex + ey * ey) ** 0.5


def polyline_distance(px, py, points):
    return min(
        segment_distance(px, py, *points[i], *points[i + 1]) for i in range(len(points) - 1))


# --- the dialog's background: pale paper ------------------------------------

TILE_W, TILE_H = 160, 120
BACKGROUND_W, BACKGROUND_H = 430, 160

# Sixteen shades from greyish beige to almost white.
PAPER_DARK = (194, 181, 152)
PAPER_LIGHT = (253, 251, 240)
PAPER_PALETTE = [
    tuple(round(lerp(PAPER_DARK[c], PAPER_LIGHT[c], i / 15)) for c in range(3)) for i in range(16)
]


def periodic_noise(rng, cells_x, cells_y):
    """Value noise on a lattice that wraps around the tile, so tiles join seamlessly."""
    lattice = [[rng.unit() for _ in range(cells_x)] for _ in range(cells_y)]
    field = []
    for y in range(TILE_H):
        fy = y * cells_y / TILE_H
        y0 = int(fy)
        ty = smooth(fy - y0)
        row = []
        for x in range(TILE_W):
            fx = x * cells_x / TILE_W
            x0 = int(fx)
            tx = smooth(fx - x0)
            x1, y1 = (x0 + 1) % cells_x, (y0 + 1) % cells_y
            top = lerp(lattice[y0][x0], lattice[y0][x1], tx)
            bottom = lerp(lattice[y1][x0], lattice[y1][x1], tx)
            row.append(lerp(top, bottom, ty))
        field.append(row)
    return field


def paper_tile():
    rng = XorShift32(0xC0A1D0)
    octaves = [(4, 3, 0.30), (8, 6, 0.25), (16, 12, 0.20), (32, 24, 0.15)]
    height = [[0.0] * TILE_W for _ in range(TILE_H)]
    for cells_x, cells_y, weight in octaves:
        layer = periodic_noise(rng, cells_x, cells_y)
        for y in range(TILE_H):
            for x in range(TILE_W):
                height[y][x] += weight * layer[y][x]
    # Fine grain.
    for y in range(TILE_H):
        for x in range(TILE_W):
            height[y][x] += 0.10 * rng.unit()
    # Fibres: short, faint, mostly horizontal strokes, wrapping at the edges.
    for _ in range(70):
        x, y = rng.unit() * TILE_W, rng.unit() * TILE_H
        dx, dy = 1.0, (rng.unit() - 0.5) * 0.8
        shade = 0.09 if rng.next() & 1 else -0.11
        for _ in range(6 + rng.next() % 14):
            height[int(y) % TILE_H][int(x) % TILE_W] += shade
            x, y = x + dx, y + dy
            dy += (rng.unit() - 0.5) * 0.3
    # Mostly pale: map the field onto the upper shades, with the odd darker fleck.
    low = min(min(r) for r in height)
    high = max(max(r) for r in height)
    tile = []
    for y in range(TILE_H):
        row = []
        for x in range(TILE_W):
            v = (height[y][x] - low) / (high - low)
            row.append(max(0, min(15, int(3 + v * 13.5))))
        tile.append(row)
    return tile


def background():
    tile = paper_tile()
    rows = [[tile[y % TILE_H][x % TILE_W] for x in range(BACKGROUND_W)]
            for y in range(BACKGROUND_H)]
    return bmp_4bpp(BACKGROUND_W, BACKGROUND_H, PAPER_PALETTE, rows)


# --- button glyphs ------------------------------------------------------------

# The standard 16-colour palette.
VGA = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
       (0, 128, 128), (128, 128, 128), (192, 192, 192), (255, 0, 0), (0, 255, 0), (255, 255, 0),
       (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
BLACK, MAROON, GREEN, OLIVE, NAVY, PURPLE, TEAL, GREY, SILVER, RED, LIME, YELLOW, BLUE, FUCHSIA, \
    AQUA, WHITE = range(16)


def draw(size, background_index, painter):
    """A size x size frame; painter maps a pixel centre to an index or None."""
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            index = painter(x + 0.5, y + 0.5)
            row.append(background_index if index is None else index)
        rows.append(row)
    return rows


def disabled_copy(frame, background_index):
    """The grey embossed copy: a white shadow one pixel down-right under a grey shape."""
    size = len(frame)
    out = [[background_index] * size for _ in range(size)]
    for y in range(size):
        for x in range(size):
            if frame[y][x] != background_index and x + 1 < size and y + 1 < size:
                out[y + 1][x + 1] = WHITE
    for y in range(size):
        for x in range(size):
            if frame[y][x] != background_index:
                out[y][x] = GREY
    return out


def two_frames(frame, background_index):
    disabled = disabled_copy(frame, background_index)
    return [frame[y] + disabled[y] for y in range(len(frame))]


def tick(x, y):
    d = polyline_distance(x, y, [(3.5, 9.5), (7.5, 13.5), (14.5, 4.0)])
    if d <= 1.0:
        return LIME
    if d <= 2.1:
        return GREEN
    return None


def cross(x, y):
    d = min(segment_distance(x, y, 4.5, 4.5, 13.5, 13.5), segment_distance(x, y, 13.5, 4.5, 4.5,
                                                                           13.5))
    if d <= 1.0:
        return RED
    if d <= 2.0:
        return MAROON
    return None


def up_arrow_on_disc(x, y):
    r = ((x - 8) ** 2 + (y - 8) ** 2) ** 0.5
    if r > 7.3:
        return None
    head = 2.5 <= y <= 8.5 and abs(x - 8) <= (y - 2.5) * 0.75
    shaft = 8.5 <= y <= 13.0 and abs(x - 8) <= 1.6
    if head or shaft:
        return WHITE
    return NAVY if r > 6.5 else BLUE


def stop_sign(x, y):
    # A regular octagon: the intersection of a square and a diamond.
    dx, dy = abs(x - 8), abs(y - 8)
    outer = max(dx, dy) <= 6.0 and dx + dy <= 8.5
    if not outer:
        return None
    inner = max(dx, dy) <= 5.0 and dx + dy <= 7.1
    if not inner:
        return MAROON
    if dy <= 1.2 and dx <= 3.6:
        return WHITE
    return RED


def glyph_sim():
    return bmp_4bpp(36, 18, VGA, two_frames(draw(18, OLIVE, tick), OLIVE))


def glyph_nao():
    return bmp_4bpp(36, 18, VGA, two_frames(draw(18, OLIVE, cross), OLIVE))


def glyph_continuar():
    return bmp_4bpp(16, 16, VGA, draw(16, TEAL, up_arrow_on_disc))


def glyph_cancelar():
    return bmp_4bpp(16, 16, VGA, draw(16, TEAL, stop_sign))


# --- the program's icon: a gold cup on a green and red plinth ------------------

GOLD_LIGHT = (255, 226, 110)
GOLD_DARK = (196, 130, 16)
OUTLINE = (92, 56, 8)
PT_GREEN = (0, 102, 0)
PT_RED = (204, 16, 16)


def cup_shape(x, y):
    """Colour at (x, y) in a 32 x 32 design, or None outside the cup."""
    # Bowl: the lower half of an ellipse under a flat rim.
    bowl = 5 <= y <= 17 and ((x - 16) / 10.5) ** 2 + ((y - 5) / 12.5) ** 2 <= 1
    handle_l = 0.9 <= ((x - 6.5) ** 2 + (y - 10) ** 2) ** 0.5 / 3.8 <= 1.35 and x < 8
    handle_r = 0.9 <= ((x - 25.5) ** 2 + (y - 10) ** 2) ** 0.5 / 3.8 <= 1.35 and x > 24
    stem = 17 <= y <= 22 and abs(x - 16) <= 2.0 + max(0, (y - 20)) * 1.4
    plinth = 22 <= y <= 29 and 7 <= x <= 25
    if plinth:
        if y < 23 or y > 28 or x < 8 or x > 24:
            return OUTLINE
        return PT_GREEN if x < 14 else PT_RED
    if bowl or stem:
        edge = not ((5.8 <= y <= 16.8 and ((x - 16) / 9.6) ** 2 + ((y - 5) / 11.6) ** 2 <= 1)
                    or (stem and abs(x - 16) <= 1.1 + max(0, (y - 20)) * 1.4 and y <= 21.8))
        if edge:
            return OUTLINE
        shade = max(0.0, min(1.0, (x - 9) / 14))
        return tuple(round(lerp(GOLD_LIGHT[c], GOLD_DARK[c], shade)) for c in range(3))
    if handle_l or handle_r:
        return GOLD_DARK
    return None


def icon_image(size):
    """Renders the 32 x 32 design at `size` with 4 x 4 supersampling for soft edges."""
    scale = 32 / size
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            total = [0, 0, 0]
            hits = 0
            for sy in range(4):
                for sx in range(4):
                    colour = cup_shape((x + (sx + 0.5) / 4) * scale, (y + (sy + 0.5) / 4) * scale)
                    if colour is not None:
                        hits += 1
                        for c in range(3):
                            total[c] += colour[c]
            if hits == 0:
                row.append((0, 0, 0, 0))
            else:
                row.append(tuple(round(t / hits) for t in total) + (round(255 * hits / 16),))
        rows.append(row)
    return size, rows


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: draw_bitmaps.py OUTPUT_DIR")
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    files = {
        "image3_background.bmp": background(),
        "glyph_sim.bmp": glyph_sim(),
        "glyph_nao.bmp": glyph_nao(),
        "glyph_continuar.bmp": glyph_continuar(),
        "glyph_cancelar.bmp": glyph_cancelar(),
        "script-corvaldo.ico": ico_32bpp([icon_image(32), icon_image(16)]),
    }
    for name, data in files.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
