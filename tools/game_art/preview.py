#!/usr/bin/env python3
"""Pictures for looking at the generated art and levels (not shipped).

    python3 tools/game_art/preview.py OUT_DIR [--ruler] [--strip COLS]

Writes OUT_DIR/sheets.png (every bitmap at 4x on a grey ground) and, for each
level, OUT_DIR/levelN.png: the whole level at 1x with its enemies and the
runner at its start, on the sky colour, shown through bright.pal or, for a
dark level, through darken.pal as the game shows it. --ruler marks every
tenth column with its number along the top; --strip COLS also cuts each
level into pictures COLS columns wide (levelN_1.png, ...), small enough to
look at one screenful after another.
"""

import argparse
import os
import struct
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "levels"))

import gfx  # noqa: E402
import levelgen  # noqa: E402
import make_game_data  # noqa: E402
import sprites  # noqa: E402
import tiles  # noqa: E402


def write_png(path, w, h, rgb_rows):
    """An 8-bit RGB PNG of rows of (r, g, b)."""
    raw = b"".join(b"\0" + bytes(v for px in row for v in px) for row in rgb_rows)

    def chunk(tag, data):
        return struct.pack(">I", len(data)) + tag + data + struct.pack(">I", zlib.crc32(tag + data))
    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(raw, 6)) + chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def colour_table(dark):
    entries, index = gfx.palette_entries()
    if not dark:
        return {n: entries[i] for n, i in index.items()}
    raw = gfx.dark_palette()[24:]
    return {n: tuple(raw[i * 4:i * 4 + 3]) for n, i in index.items()}


def sheets(out):
    cans = [make() for make in make_game_data.IMAGES.values()] + [sprites.icon()]
    scale, pad = 4, 8
    w = max(c.w for c in cans) * scale + 2 * pad
    h = sum(c.h * scale + pad for c in cans) + pad
    rows = [[(96, 96, 96)] * w for _ in range(h)]
    y = pad
    for c in cans:
        for yy in range(c.h * scale):
            for xx in range(c.w * scale):
                n = c.px[yy // scale][xx // scale]
                rows[y + yy][pad + xx] = gfx.KEY if n is None else gfx.COLOURS[n]
        y += c.h * scale + pad
    write_png(os.path.join(out, "sheets.png"), w, h, rows)


# 3 x 5 digits for the ruler
DIGITS = ["111101101101111", "010110010010111", "111001111100111", "111001111001111", "101101111001001",
          "111100111001111", "111100111101111", "111001001001001", "111101111101111", "111101111001111"]


def ruler(canvas, cols):
    for c in range(0, cols, 10):
        x0 = c * 32
        canvas.vline(x0, 0, 9, "text")
        for i, d in enumerate(str(c)):
            bits = DIGITS[int(d)]
            for k, b in enumerate(bits):
                if b == "1":
                    canvas.rect(x0 + 3 + i * 8 + (k % 3) * 2, 1 + (k // 3) * 2, 2, 2, "text")


def level_canvas(level, sheet):
    canvas = gfx.Canvas(level.cols * 32, 480)
    for r in range(levelgen.ROWS):
        for c in range(level.cols):
            p = level.pic[r][c]
            if p is not None:
                canvas.blit(sheet.crop((p % 16) * 32, (p // 16) * 32, 32, 32), c * 32, r * 32)
    ghost, turtle = sprites.ghost_sheet(), sprites.turtle_sheet()
    for x, y in level.ghosts:
        canvas.blit(ghost.crop(64, 0, 32, 32), x, y)
    for x, y in level.turtles:
        canvas.blit(turtle.crop(64, 0, 32, 48), x, y)
    for x, y in level.flyers:
        canvas.blit(turtle.crop(64, 48, 32, 48), x, y)
    canvas.blit(sprites.small_runner("stand"), 64, 383)
    return canvas


def level_pictures(out, name, level, with_ruler, strip):
    table = colour_table(level.dark)
    canvas = level_canvas(level, tiles.tile_sheet())
    if with_ruler:
        ruler(canvas, level.cols)
    sky = table["sky"]
    rows = [[sky if n is None else table[n] for n in row] for row in canvas.px]
    base = os.path.join(out, name.replace(".dat", ""))
    write_png(base + ".png", canvas.w, canvas.h, rows)
    if strip:
        for i, c0 in enumerate(range(0, level.cols, strip)):
            x0, x1 = c0 * 32, min(level.cols, c0 + strip) * 32
            write_png("%s_%d.png" % (base, i + 1), x1 - x0, canvas.h, [row[x0:x1] for row in rows])


def main():
    parser = argparse.ArgumentParser(description="Preview pictures of the art and the levels.")
    parser.add_argument("out")
    parser.add_argument("--ruler", action="store_true")
    parser.add_argument("--strip", type=int, default=0)
    parser.add_argument("--levels", nargs="*", help="only these level numbers")
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)
    if not args.levels:
        sheets(args.out)
    for name, (src, level) in levelgen.all_levels(check=False).items():
        if args.levels and name[5:-4] not in args.levels:
            continue
        level_pictures(args.out, name, level, args.ruler, args.strip)
    return 0


if __name__ == "__main__":
    sys.exit(main())
