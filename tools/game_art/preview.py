#!/usr/bin/env python3
"""Contact sheets for looking at the generated art (not shipped).

    python3 tools/game_art/preview.py OUT_DIR

Writes OUT_DIR/sheets.ppm (every bitmap at 4x on a grey ground) and, for each
level, OUT_DIR/levelN.ppm: the whole level at 1x with its enemies, on the sky
colour, shown through bright.pal or, for a dark level, through darken.pal as
the 256-colour mode would show it. Convert with ImageMagick to view.
"""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import gfx  # noqa: E402
import levels  # noqa: E402
import make_game_data  # noqa: E402
import sprites  # noqa: E402
import tiles  # noqa: E402


def write_ppm(path, w, h, rgb_rows):
    with open(path, "wb") as f:
        f.write(b"P6 %d %d 255\n" % (w, h))
        for row in rgb_rows:
            f.write(bytes(v for px in row for v in px))


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
    write_ppm(os.path.join(out, "sheets.ppm"), w, h, rows)


def level_picture(out, name, level):
    table = colour_table(level.dark)
    sheet = tiles.tile_sheet()
    w, h = level.cols * 32, 480
    sky = table["sky"]
    canvas = gfx.Canvas(w, h)
    for r in range(levels.ROWS):
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
    rows = [[sky if n is None else table[n] for n in row] for row in canvas.px]
    write_ppm(os.path.join(out, name.replace(".dat", ".ppm")), w, h, rows)


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    sheets(out)
    for name, make in levels.LEVELS.items():
        level_picture(out, name, make())
    return 0


if __name__ == "__main__":
    sys.exit(main())


