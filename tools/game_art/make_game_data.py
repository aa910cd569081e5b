#!/usr/bin/env python3
"""Gorbo's data files, generated from source.

Everything the game loads from beside its executable is produced here, with
Python 3 and its standard library only, and the output is committed under
game/data and game/res. Run it again after changing a generator and commit
the result; tests/game_data checks that the committed files are exactly what
these generators produce.

    python3 tools/game_art/make_game_data.py            # rewrite game/data, game/res
    python3 tools/game_art/make_game_data.py --out DIR  # write DIR/data, DIR/res instead
    python3 tools/game_art/make_game_data.py --no-check # skip the levels' fairness checks
    python3 tools/game_art/preview.py DIR               # PNG contact sheets for a look

Files (paths below the output folder):
  data/graphics/tile.bmp      512 x 256, 16 x 8 pictures of 32 x 32 (tiles.py lists
                              the picture numbers; level files store number + 1)
  data/graphics/player.bmp    256 x 192: eight cells a row; small 32 x 32 cells in
                              rows y 0 and 32, big 32 x 64 cells in rows y 64 and 128;
                              entries 0..7 stand, walk x3, skid, jump, dying, cheer
                              (facing right), 8..13 stand, walk x3, skid, jump (left)
  data/graphics/ghost.bmp     192 x 32: walk right x2, walk left x2, squashed, knocked
  data/graphics/turtle.bmp    192 x 96: the same six entries in 32 x 48 cells, the
                              row at y 0 without wings, the row at y 48 winged
  data/graphics/coin.bmp      48 x 32: three 16 x 32 cells of a spinning coin
  data/graphics/mushroom.bmp  32 x 32
  data/graphics/flower.bmp    32 x 32
  data/graphics/debris.bmp    64 x 16: four brick pieces
  data/graphics/bullet.bmp    64 x 16: four cells of a spinning fireball
  data/graphics/explode.bmp   96 x 32: three cells of a burst
  data/bright.pal             RIFF palette holding exactly the colours of the pictures
  data/darken.pal             the same entries, darkened and blued for cave levels
  data/sound/back1.mid        cheerful piece for normal levels
  data/sound/back2.mid        minor-key piece for dark levels
  data/level/levelN.dat       the levels, from the text grids in tools/levels
                              (levelgen.py checks each before it is written)
  res/gorbo.bmp               32 x 32 icon: Gorbo's head

All bitmaps are 24-bit bottom-up BI_RGB; pixels of RGB(255, 60, 174) are
transparent. Only colours listed in gfx.PALETTE are used, so in the game's
256-colour mode every pixel maps to its own entry of bright.pal.
"""

import argparse
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "levels"))

import gfx  # noqa: E402
import levelgen  # noqa: E402
import music  # noqa: E402
import sprites  # noqa: E402
import tiles  # noqa: E402

IMAGES = {
    "tile.bmp": tiles.tile_sheet,
    "player.bmp": sprites.player_sheet,
    "ghost.bmp": sprites.ghost_sheet,
    "turtle.bmp": sprites.turtle_sheet,
    "coin.bmp": sprites.coin_sheet,
    "mushroom.bmp": sprites.mushroom,
    "flower.bmp": sprites.flower,
    "debris.bmp": sprites.debris_sheet,
    "bullet.bmp": sprites.bullet_sheet,
    "explode.bmp": sprites.explode_sheet,
}


def all_files(check=True):
    """Relative path -> bytes of every generated file; check=False skips the
    levels' fairness checks (their output is the same)."""
    files = {}
    for name, make in IMAGES.items():
        files["data/graphics/" + name] = gfx.bmp_bytes(make())
    files["data/bright.pal"] = gfx.bright_palette()
    files["data/darken.pal"] = gfx.dark_palette()
    for name, make in music.PIECES.items():
        files["data/sound/" + name] = make()
    for name, (src, level) in levelgen.all_levels(check=check).items():
        files["data/level/" + name] = level.text().encode("ascii")
    files["res/gorbo.bmp"] = gfx.bmp_bytes(sprites.icon())
    return files


def write_all(out_dir, check=True):
    for rel, data in sorted(all_files(check).items()):
        path = os.path.join(out_dir, rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)


def main():
    repo = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    parser = argparse.ArgumentParser(description="Generate Gorbo's data files.")
    parser.add_argument("--out", default=os.path.join(repo, "game"),
                        help="folder that receives data/ and res/ (default: game/)")
    parser.add_argument("--no-check", action="store_true",
                        help="write the levels without their fairness checks (tests run those apart)")
    args = parser.parse_args()
    try:
        write_all(args.out, check=not args.no_check)
    except levelgen.LevelError as e:
        print(e, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
