"""Pixel canvas, the shared colour set and the BMP / RIFF palette writers.

Every picture is painted with named colours from PALETTE; the palette file
"bright.pal" is built from the same list, so in the 256-colour mode each pixel
maps to its entry exactly and "darken.pal" can recolour the same entries.
"""

import struct

KEY = (255, 60, 174)
SKY = (107, 136, 255)

# Ordered named colours. Entry 0 is black and entry 255 white (the usual
# convention for the first and last entries); the names below take entries
# 1, 2, ... in this order. Entries between the last name and 255 repeat black.
PALETTE = [
    ("key", KEY),
    ("sky", SKY),
    ("text", (255, 255, 0)),          # the frame-rate line only
    ("ink", (38, 22, 50)),            # the outline of every sprite and tile
    # greens: grass, bushes, stems
    ("g0", (28, 86, 64)), ("g1", (46, 136, 72)), ("g2", (92, 188, 78)), ("g3", (168, 228, 112)),
    # hill greens (paler, so hills sit behind bushes)
    ("h0", (70, 146, 120)), ("h1", (112, 186, 140)), ("h2", (158, 216, 166)),
    # earth and wood
    ("e0", (76, 42, 34)), ("e1", (124, 72, 46)), ("e2", (170, 108, 62)), ("e3", (212, 152, 96)),
    # slate stone
    ("s0", (58, 62, 88)), ("s1", (98, 106, 136)), ("s2", (148, 156, 184)), ("s3", (202, 208, 226)),
    # terracotta brick
    ("b0", (106, 38, 40)), ("b1", (168, 68, 50)), ("b2", (214, 112, 72)), ("b3", (242, 168, 114)),
    # gold
    ("o0", (150, 92, 14)), ("o1", (222, 152, 24)), ("o2", (250, 208, 64)), ("o3", (255, 242, 170)),
    # teal: the runner's hood, the power block
    ("t0", (18, 78, 98)), ("t1", (26, 138, 150)), ("t2", (62, 198, 194)), ("t3", (168, 240, 226)),
    # orange and flame
    ("r0", (152, 38, 22)), ("r1", (232, 92, 32)), ("r2", (255, 152, 52)),
    # skin
    ("k0", (186, 116, 92)), ("k1", (238, 178, 138)), ("k2", (255, 222, 190)),
    # violet: the ghost
    ("p0", (72, 40, 112)), ("p1", (132, 82, 182)), ("p2", (188, 142, 232)), ("p3", (232, 212, 255)),
    # clouds
    ("c0", (186, 204, 250)), ("c1", (226, 234, 255)),
    # accents
    ("eye", (226, 32, 64)),
    ("white", (255, 255, 255)),
    # sandstone: the citadel's walls and paving
    ("d0", (112, 84, 66)), ("d1", (168, 132, 92)), ("d2", (210, 178, 124)), ("d3", (238, 216, 168)),
]

COLOURS = dict(PALETTE)
COLOURS["black"] = (0, 0, 0)


def palette_entries():
    """The 256 (r, g, b) entries of bright.pal, and a name -> index map."""
    entries = [(0, 0, 0)] * 256
    index = {"black": 0}
    for i, (name, rgb) in enumerate(PALETTE):
        if name == "white":
            continue
        entries[i + 1] = rgb
        index[name] = i + 1
    entries[255] = (255, 255, 255)
    index["white"] = 255
    return entries, index


def darken(rgb, name):
    """Night/cave version of one bright entry: darker and shifted to blue."""
    if name in ("key", "text"):
        return rgb
    if name == "sky":
        return (14, 16, 44)
    r, g, b = rgb
    lum = (r * 30 + g * 59 + b * 11) / 100.0
    nr = 0.44 * r + 0.06 * lum
    ng = 0.48 * g + 0.08 * lum
    nb = 0.56 * b + 0.18 * lum + 24
    if name in ("o2", "o3", "t2", "t3", "eye", "white", "r2"):
        # bright accents keep a glow, so coins, blocks and eyes read in the dark
        nr, ng, nb = 0.75 * r, 0.75 * g, 0.7 * b + 30
    return tuple(max(0, min(255, int(round(v)))) for v in (nr, ng, nb))


def riff_palette(entries):
    """A RIFF "PAL " file: version 0x0300, 256 entries, flags 0."""
    data = struct.pack("<HH", 0x0300, 256)
    data += b"".join(struct.pack("<BBBB", r, g, b, 0) for r, g, b in entries)
    chunk = b"data" + struct.pack("<I", len(data)) + data
    return b"RIFF" + struct.pack("<I", 4 + len(chunk)) + b"PAL " + chunk


def bright_palette():
    return riff_palette(palette_entries()[0])


def dark_palette():
    entries, index = palette_entries()
    names = {i: n for n, i in index.items()}
    out = [darken(rgb, names.get(i, "black")) for i, rgb in enumerate(entries)]
    return riff_palette(out)


class Canvas:
    """A grid of colour names; None is the transparent key colour."""

    def __init__(self, w, h):
        self.w, self.h = w, h
        self.px = [[None] * w for _ in range(h)]

    def get(self, x, y):
        if 0 <= x < self.w and 0 <= y < self.h:
            return self.px[y][x]
        return None

    def set(self, x, y, c):
        if 0 <= x < self.w and 0 <= y < self.h:
            self.px[y][x] = c

    def rect(self, x, y, w, h, c):
        for yy in range(y, y + h):
            for xx in range(x, x + w):
                self.set(xx, yy, c)

    def hline(self, x0, x1, y, c):
        for x in range(min(x0, x1), max(x0, x1) + 1):
            self.set(x, y, c)

    def vline(self, x, y0, y1, c):
        for y in range(min(y0, y1), max(y0, y1) + 1):
            self.set(x, y, c)

    def line(self, x0, y0, x1, y1, c):
        dx, dy = abs(x1 - x0), -abs(y1 - y0)
        sx, sy = (1 if x0 < x1 else -1), (1 if y0 < y1 else -1)
        err = dx + dy
        while True:
            self.set(x0, y0, c)
            if x0 == x1 and y0 == y1:
                return
            e2 = 2 * err
            if e2 >= dy:
                err += dy
                x0 += sx
            if e2 <= dx:
                err += dx
                y0 += sy

    def ellipse(self, cx, cy, rx, ry, c, shade=None, light=None, cut=0.45):
        """Filled ellipse centred on (cx, cy) (half-pixel centres allowed).

        With shade/light, the lower-right part takes the shade colour and the
        upper-left the light colour: one light from the top left everywhere.
        """
        for y in range(int(cy - ry) - 1, int(cy + ry) + 2):
            for x in range(int(cx - rx) - 1, int(cx + rx) + 2):
                dx = (x + 0.5 - cx) / rx
                dy = (y + 0.5 - cy) / ry
                d = dx * dx + dy * dy
                if d > 1.0:
                    continue
                col = c
                if shade and dx * 0.6 + dy * 0.8 > cut:
                    col = shade
                elif light and dx * 0.6 + dy * 0.8 < -cut - 0.15 and d > 0.05:
                    col = light
                self.set(x, y, col)

    def stamp(self, rows, cmap, x0, y0, flip=False):
        """Paint ASCII art: each character is looked up in cmap; '.' is skipped."""
        for j, row in enumerate(rows):
            n = len(row)
            for i, ch in enumerate(row):
                if ch in ". ":
                    continue
                xx = x0 + (n - 1 - i if flip else i)
                self.set(xx, y0 + j, cmap[ch])

    def blit(self, src, x0, y0, flip=False, vflip=False):
        for y in range(src.h):
            for x in range(src.w):
                c = src.px[y][x]
                if c is None:
                    continue
                xx = x0 + (src.w - 1 - x if flip else x)
                yy = y0 + (src.h - 1 - y if vflip else y)
                self.set(xx, yy, c)

    def outline(self, colour="ink", diagonal=False):
        """Ring every painted shape with a 1-pixel outline in the key area."""
        add = []
        for y in range(self.h):
            for x in range(self.w):
                if self.px[y][x] is not None:
                    continue
                nbrs = [(1, 0), (-1, 0), (0, 1), (0, -1)]
                if diagonal:
                    nbrs += [(1, 1), (-1, 1), (1, -1), (-1, -1)]
                for dx, dy in nbrs:
                    c = self.get(x + dx, y + dy)
                    if c is not None and c != colour:
                        add.append((x, y))
                        break
        for x, y in add:
            self.px[y][x] = colour

    def recolour(self, mapping):
        for row in self.px:
            for i, c in enumerate(row):
                if c in mapping:
                    row[i] = mapping[c]

    def flipped(self):
        out = Canvas(self.w, self.h)
        out.blit(self, 0, 0, flip=True)
        return out

    def vflipped(self):
        out = Canvas(self.w, self.h)
        out.blit(self, 0, 0, vflip=True)
        return out

    def crop(self, x, y, w, h):
        out = Canvas(w, h)
        for yy in range(h):
            for xx in range(w):
                out.px[yy][xx] = self.get(x + xx, y + yy)
        return out

    def colours(self):
        return {c for row in self.px for c in row}


def bmp_bytes(canvas):
    """24-bit bottom-up uncompressed (BI_RGB) BMP of a canvas."""
    w, h = canvas.w, canvas.h
    stride = (w * 3 + 3) & ~3
    pixels = bytearray()
    for y in range(h - 1, -1, -1):
        row = bytearray()
        for x in range(w):
            name = canvas.px[y][x]
            r, g, b = KEY if name is None else COLOURS[name]
            row += bytes((b, g, r))
        row += b"\0" * (stride - len(row))
        pixels += row
    header = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    return header + info + bytes(pixels)
