#!/usr/bin/env python3
"""Draws Tovarin's window artwork: the skin, the three bar pieces and the icon.

Everything is computed from a few colours and shapes, so the output is the
same on every run; the files under updater/res are this program's output.

    python3 make_skin_art.py OUTPUT_FOLDER
"""
import os
import struct
import sys

SKIN_W, SKIN_H = 566, 73
PIECE_W, PIECE_H = 8, 18
ICON_SIZE = 32

# The trough behind the bar: x 18..545, y 29..47, rounded ends.
TROUGH_X0, TROUGH_X1 = 18, 546
TROUGH_Y0, TROUGH_Y1 = 29, 48
TROUGH = (22, 6, 8)

GOLD_HI = (250, 222, 120)
GOLD = (212, 168, 60)
GOLD_LO = (120, 84, 24)
RED = (92, 14, 20)
RED_LIT = (118, 24, 30)
BLACK = (14, 6, 6)

# Colour the icon marks as transparent.
ICON_KEY = (255, 0, 255)


def write_bmp(path, width, height, pixel):
    """Writes a bottom-up 24-bit BMP; pixel(x, y) gives (r, g, b)."""
    stride = (width * 3 + 3) & ~3
    rows = []
    for y in range(height - 1, -1, -1):
        row = bytearray()
        for x in range(width):
            r, g, b = pixel(x, y)
            row += bytes((b, g, r))
        row += b"\0" * (stride - width * 3)
        rows.append(bytes(row))
    data = b"".join(rows)
    header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + data)


def mix(a, b, t):
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


def in_rounded_box(x, y, x0, y0, x1, y1, radius):
    """True when the pixel centre (x, y) lies in the box [x0, x1) x [y0, y1)
    whose corners are rounded with the given radius."""
    cx, cy = x + 0.5, y + 0.5
    if not (x0 <= cx < x1 and y0 <= cy < y1):
        return False
    nx = min(max(cx, x0 + radius), x1 - radius)
    ny = min(max(cy, y0 + radius), y1 - radius)
    return (cx - nx) ** 2 + (cy - ny) ** 2 <= radius * radius


def diamond(x, y):
    """Dark red and black diamonds, 16 px across, each red one lit at its top."""
    s = 8
    u, v = (x + y) // s, (x - y + 1000 * s) // s
    if (u + v) % 2 == 0:
        return BLACK
    du = (x + y) % s
    return RED_LIT if du < 2 else RED


def corner_ornament(x, y):
    """A small gold diamond with a dark centre near each corner, or None."""
    for ox, oy in ((7, 7), (SKIN_W - 8, 7), (7, SKIN_H - 8), (SKIN_W - 8, SKIN_H - 8)):
        d = abs(x - ox) + abs(y - oy)
        if d <= 1:
            return RED
        if d <= 4:
            return GOLD_HI if d == 2 else GOLD
    return None


def trough(x, y):
    if not in_rounded_box(x, y, TROUGH_X0 - 1, TROUGH_Y0 - 1, TROUGH_X1 + 1, TROUGH_Y1 + 1, 10):
        return None
    if not in_rounded_box(x, y, TROUGH_X0, TROUGH_Y0, TROUGH_X1, TROUGH_Y1, 9):
        return GOLD_LO  # a thin rim around the trough
    return TROUGH


def skin_pixel(x, y):
    edge = min(x, y, SKIN_W - 1 - x, SKIN_H - 1 - y)
    if edge == 0:
        return GOLD_LO
    if edge == 1:
        return GOLD_HI
    if edge == 2:
        return GOLD
    ornament = corner_ornament(x, y)
    if ornament:
        return ornament
    t = trough(x, y)
    if t:
        return t
    return diamond(x, y)


def gold(y):
    """Bar shading: bright yellow at the top row, dark brown at the bottom."""
    top, mid, bottom = (255, 246, 140), (222, 170, 40), (84, 46, 8)
    t = y / (PIECE_H - 1)
    return mix(top, mid, t / 0.45) if t < 0.45 else mix(mid, bottom, (t - 0.45) / 0.55)


def cap(x, y, rounded_left):
    # A cap is rounded on one side with a radius of half the piece's height; the
    # corners outside the curve show the trough colour.
    r = PIECE_H / 2
    cx = x + 0.5 if rounded_left else PIECE_W - (x + 0.5)
    cy = y + 0.5
    if cx < r:
        dy = cy - r
        if (cx - r) ** 2 + dy * dy > r * r:
            return TROUGH
    return gold(y)


def icon_pixel(x, y):
    # A gold downward arrow into a tray on a dark red rounded square.
    if not in_rounded_box(x, y, 1, 1, ICON_SIZE - 1, ICON_SIZE - 1, 6):
        return ICON_KEY
    if not in_rounded_box(x, y, 3, 3, ICON_SIZE - 3, ICON_SIZE - 3, 4):
        return GOLD
    cx = x + 0.5 - ICON_SIZE / 2
    shaft = abs(cx) <= 3 and 6 <= y < 16
    head = 16 <= y < 23 and abs(cx) <= 22 - y
    tray = 24 <= y < 27 and 7 <= x < ICON_SIZE - 7
    if shaft or head or tray:
        return GOLD_HI if y < 14 else GOLD
    return diamond(x + 3, y)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "..", "updater", "res")
    os.makedirs(out, exist_ok=True)
    write_bmp(os.path.join(out, "skin.bmp"), SKIN_W, SKIN_H, skin_pixel)
    write_bmp(os.path.join(out, "bar_left.bmp"), PIECE_W, PIECE_H, lambda x, y: cap(x, y, True))
    write_bmp(os.path.join(out, "bar_cell.bmp"), PIECE_W, PIECE_H, lambda x, y: gold(y))
    write_bmp(os.path.join(out, "bar_right.bmp"), PIECE_W, PIECE_H, lambda x, y: cap(x, y, False))
    write_bmp(os.path.join(out, "icon.bmp"), ICON_SIZE, ICON_SIZE, icon_pixel)
    return 0


if __name__ == "__main__":
    sys.exit(main())
