"""The tile sheet: 16 x 8 pictures of 32 x 32 pixels (512 x 256).

Picture p sits at ((p mod 16) * 32, (p div 16) * 32); a level file stores
p + 1. Picture numbers (the level generator uses these names):

  0  GRASS_L      grass top, left end of a ground run (rounded corner)
  1  GRASS        grass top
  2  GRASS_R      grass top, right end of a ground run
  3  DIRT         earth fill under the grass
  4  DIRT_L       earth fill, left edge
  5  DIRT_R       earth fill, right edge
  6  STONE        carved slate block (stairs, walls)
  7  BRICK        terracotta bricks (breakable)
  8  COIN_BLOCK   gold block with a coin emblem
  9  POWER_BLOCK  teal block with a sparkle emblem
 10  PLANK_L      wooden bridge deck, left end
 11  PLANK        wooden bridge deck
 12  PLANK_R      wooden bridge deck, right end
 13  CRATE        wooden crate
 16  COLUMN_CAP_L stone column capital, left half (columns are two cells wide)
 17  COLUMN_CAP_R stone column capital, right half
 18  USED_BLOCK   an emptied block (the game shows it after a head-butt)
 19  COLUMN_L     stone column shaft, left half
 20  COLUMN_R     stone column shaft, right half
 21  CAVE_ROCK    cave rock (ceilings and walls of dark levels)
 22  CAVE_EDGE    underside of cave rock with hanging stalactites
 32..34 cloud, upper row (left, middle, right)
 48..50 cloud, lower row (left, middle, right)
 35..37 bush (left, middle, right), standing on the ground
 38..40 hill, upper row (left, top, right)
 54..56 hill, lower row (left, middle, right)
 51  FLOWERS      small flowers in the grass
 52  FENCE        wooden fence
 53  ARROW_SIGN   signpost pointing right
 64  CRYSTAL      glowing crystal cluster (cave decoration)
 65  LANTERN      hanging lantern (cave decoration)
 14  MASONRY_TOP  sandstone paving, the top of a citadel wall or floor
 15  MASONRY      sandstone ashlar blocks under the paving
 23  PIPE_TOP_L   copper pipe, rim, left half (pipes are two cells wide)
 24  PIPE_TOP_R   copper pipe, rim, right half
 25  PIPE_L       copper pipe, body, left half
 26  PIPE_R       copper pipe, body, right half
 27  ROCK_TOP     cave rock with a mossy crust: the walking surface of rock
 28  BEAM         mine timber, horizontal beam (scenery)
 29  BEAM_POST    mine timber, upright post (scenery)
 30  BEAM_JOINT   mine timber, post carrying the beam (scenery)
 31  ROCK_SHADOW  rock in shadow behind the play: the inside of a tunnel (scenery)
 41  BACK_WALL    citadel wall far behind the play (scenery)
 42  BACK_WINDOW  arched lit window in the back wall (scenery)
 43  BANNER       banner hanging on the back wall (scenery)
 44  BATTLEMENT   crenellated top of the back wall (scenery)
 45  TORCH        torch on the back wall (scenery)
 46  CAVE_EDGE_SHADED  underside of rock over a tunnel: stalactites on rock in shadow
 57  GRASS_TUFT   tall grass in front of the ground (scenery)
 66  STAR         a bright star (night sky)
 67  STARS        a few small stars (night sky)
 68, 69 / 84, 85  moon, 2 x 2 cells (upper left, upper right / lower left, lower right)
 70, 71 / 86, 87 / 102, 103  tree, 2 x 3 cells (crown top, crown bottom, trunk; left, right)
 72  WATER_TOP    water surface with ripples (scenery: water does not hold anyone up)
 73  WATER        water below the surface (scenery)
Every other picture is empty (key colour).
"""

import random

from gfx import Canvas

GRASS_L, GRASS, GRASS_R, DIRT, DIRT_L, DIRT_R, STONE, BRICK = range(8)
COIN_BLOCK, POWER_BLOCK, PLANK_L, PLANK, PLANK_R, CRATE = range(8, 14)
COLUMN_CAP_L, COLUMN_CAP_R, USED_BLOCK, COLUMN_L, COLUMN_R, CAVE_ROCK, CAVE_EDGE = range(16, 23)
CLOUD_TOP = (32, 33, 34)
CLOUD_BOTTOM = (48, 49, 50)
BUSH = (35, 36, 37)
HILL_TOP = (38, 39, 40)
HILL_BOTTOM = (54, 55, 56)
FLOWERS, FENCE, ARROW_SIGN = 51, 52, 53
CRYSTAL, LANTERN = 64, 65
MASONRY_TOP, MASONRY = 14, 15
PIPE_TOP_L, PIPE_TOP_R, PIPE_L, PIPE_R, ROCK_TOP, BEAM, BEAM_POST, BEAM_JOINT, ROCK_SHADOW = range(23, 32)
BACK_WALL, BACK_WINDOW, BANNER, BATTLEMENT, TORCH, CAVE_EDGE_SHADED = range(41, 47)
GRASS_TUFT = 57
STAR, STARS = 66, 67
MOON = ((68, 69), (84, 85))
TREE = ((70, 71), (86, 87), (102, 103))
WATER_TOP, WATER = 72, 73


def _dirt(c, seed):
    rnd = random.Random(seed)
    c.rect(0, 0, 32, 32, "e2")
    for _ in range(14):
        x, y = rnd.randrange(32), rnd.randrange(32)
        c.set(x, y, "e1")
        c.set(x + 1, y, "e1")
    for _ in range(3):
        x, y = rnd.randrange(3, 28), rnd.randrange(3, 28)
        c.ellipse(x, y, 2.2, 1.6, "e3", shade="e1")
    for _ in range(5):
        x, y = rnd.randrange(32), rnd.randrange(32)
        c.set(x, y, "e3")


def _grass_top(c, seed):
    _dirt(c, seed)
    rnd = random.Random(seed + 7)
    for x in range(32):
        depth = 7 + (1 if (x // 4) % 2 else 0) + rnd.choice((0, 0, 1))
        c.vline(x, 0, depth, "g2")
        c.set(x, depth + 1, "g0")
        c.set(x, depth, "g1")
    for x in range(0, 32, 3):
        c.set(x, 1 + rnd.randrange(3), "g3")
    c.hline(0, 31, 0, "g3")


def ground_tiles():
    tiles = {}
    t = Canvas(32, 32)
    _grass_top(t, 1)
    tiles[GRASS] = t
    t = Canvas(32, 32)
    _grass_top(t, 1)
    for y in range(32):
        for x in range(5):
            if (x - 5) ** 2 + max(0, 5 - y) ** 2 > 25 and y < 5:
                t.set(x, y, None)
    t.vline(0, 5, 31, "ink")
    t.vline(1, 9, 31, "e1")
    tiles[GRASS_L] = t
    tiles[GRASS_R] = t.flipped()
    t = Canvas(32, 32)
    _dirt(t, 3)
    tiles[DIRT] = t
    t = Canvas(32, 32)
    _dirt(t, 3)
    t.vline(0, 0, 31, "ink")
    t.vline(1, 0, 31, "e1")
    tiles[DIRT_L] = t
    tiles[DIRT_R] = t.flipped()
    return tiles


def _bevel(c, base, light, shade, dark="ink", inset=0):
    c.rect(inset, inset, 32 - 2 * inset, 32 - 2 * inset, base)
    c.hline(inset, 31 - inset, inset, light)
    c.vline(inset, inset, 31 - inset, light)
    c.hline(inset + 1, 31 - inset, 31 - inset, shade)
    c.vline(31 - inset, inset + 1, 31 - inset, shade)
    if dark:
        c.hline(inset, 31 - inset, 31 - inset, dark)
        c.vline(31 - inset, inset, 31 - inset, dark)


def stone():
    c = Canvas(32, 32)
    _bevel(c, "s1", "s3", "s0")
    c.rect(2, 2, 28, 2, "s2")
    c.rect(2, 2, 2, 28, "s2")
    # a carved diamond in the middle
    for k in range(7):
        c.hline(16 - k, 16 + k, 9 + k, "s0" if k == 6 else "s1")
        c.hline(16 - k, 16 + k, 22 - k, "s1")
    for k in range(7):
        c.set(16 - k, 9 + k, "s0")
        c.set(16 + k, 9 + k, "s2")
        c.set(16 - k, 22 - k, "s0")
        c.set(16 + k, 22 - k, "s2")
    return c


def brick():
    c = Canvas(32, 32)
    c.rect(0, 0, 32, 32, "b0")
    for row in range(4):
        y = row * 8
        off = 0 if row % 2 == 0 else 8
        for bx in range(-16, 32, 16):
            x = bx + off
            c.rect(x + 1, y + 1, 14, 6, "b1")
            c.hline(x + 1, x + 14, y + 1, "b3")
            c.hline(x + 2, x + 14, y + 6, "b0")
            c.set(x + 3, y + 3, "b2")
            c.set(x + 11, y + 4, "b2")
    c.hline(0, 31, 0, "b2")
    return c


def _riveted(c, base, light, shade):
    _bevel(c, base, light, shade)
    for (x, y) in ((3, 3), (27, 3), (3, 27), (27, 27)):
        c.rect(x, y, 2, 2, shade)
        c.set(x, y, light)


def coin_block():
    c = Canvas(32, 32)
    _riveted(c, "o1", "o3", "o0")
    # emblem: an upright coin
    c.ellipse(16, 16, 5.5, 8.5, "o2", shade="o0", light="o3")
    c.ellipse(16, 16, 3, 6, "o1", light="o3")
    c.vline(16, 12, 20, "o3")
    c.set(22, 8, "white")
    return c


def power_block():
    c = Canvas(32, 32)
    _riveted(c, "t1", "t3", "t0")
    # emblem: a four-pointed sparkle
    for k in range(8):
        w = (8 - k) // 3
        c.hline(16 - w, 16 + w, 8 + k, "t3")
        c.hline(16 - w, 16 + w, 24 - k, "t3")
        c.vline(8 + k, 16 - w, 16 + w, "t3")
        c.vline(24 - k, 16 - w, 16 + w, "t3")
    c.rect(15, 15, 3, 3, "white")
    return c


def used_block():
    c = Canvas(32, 32)
    _riveted(c, "e1", "e2", "e0")
    c.rect(8, 14, 16, 4, "e0")
    c.hline(8, 23, 14, "ink")
    return c


def planks():
    out = {}
    base = Canvas(32, 32)
    base.rect(0, 0, 32, 32, "e2")
    for y in (0, 10, 21):
        base.hline(0, 31, y, "e3")
        base.hline(0, 31, y + 9, "e0")
        for x in (5, 19, 27):
            base.set((x + y) % 32, y + 4, "e1")
            base.set((x + y + 1) % 32, y + 4, "e1")
    for y in (4, 15, 26):
        base.set(8, y, "s2")
        base.set(24, y, "s2")
    out[PLANK] = base
    left = base.crop(0, 0, 32, 32)
    left.vline(0, 0, 31, "ink")
    left.vline(1, 0, 31, "e1")
    out[PLANK_L] = left
    out[PLANK_R] = left.flipped()
    return out


def crate():
    c = Canvas(32, 32)
    _bevel(c, "e2", "e3", "e0")
    c.rect(2, 2, 28, 4, "e1")
    c.rect(2, 26, 28, 4, "e1")
    c.rect(2, 2, 4, 28, "e1")
    c.rect(26, 2, 4, 28, "e1")
    for k in range(20):
        c.rect(6 + k, 6 + k, 2, 1, "e1")
        c.set(6 + k, 7 + k, "e0")
    return c


def column():
    """A 64 x 64 column capital and shaft: cut into pictures 16, 17, 19, 20."""
    cap = Canvas(64, 32)
    cap.rect(0, 2, 64, 14, "s2")
    cap.hline(0, 63, 2, "s3")
    cap.hline(0, 63, 15, "s0")
    cap.rect(0, 6, 64, 3, "o1")
    cap.hline(0, 63, 6, "o2")
    cap.rect(4, 16, 56, 16, "s1")
    cap.rect(4, 16, 56, 3, "s0")
    for x in (8, 56):
        cap.ellipse(x, 11, 4, 3.5, "s3", shade="s1")
        cap.set(x, 11, "s0")
    cap.hline(0, 63, 1, "ink")
    cap.vline(0, 1, 15, "ink")
    cap.vline(63, 1, 15, "ink")
    cap.hline(0, 63, 16, "ink")
    cap.vline(3, 16, 31, "ink")
    cap.vline(60, 16, 31, "ink")
    cap.hline(1, 62, 0, None)
    shaft = Canvas(64, 32)
    shaft.rect(4, 0, 56, 32, "s1")
    for x in range(8, 57, 8):
        shaft.vline(x, 0, 31, "s0")
        shaft.vline(x + 1, 0, 31, "s2")
    shaft.rect(5, 0, 3, 32, "s2")
    shaft.rect(52, 0, 7, 32, "s0")
    shaft.vline(3, 0, 31, "ink")
    shaft.vline(60, 0, 31, "ink")
    return {COLUMN_CAP_L: cap.crop(0, 0, 32, 32), COLUMN_CAP_R: cap.crop(32, 0, 32, 32),
            COLUMN_L: shaft.crop(0, 0, 32, 32), COLUMN_R: shaft.crop(32, 0, 32, 32)}


def cave():
    rock = Canvas(32, 32)
    rnd = random.Random(11)
    rock.rect(0, 0, 32, 32, "s1")
    for _ in range(6):
        x, y = rnd.randrange(2, 30), rnd.randrange(2, 30)
        rock.ellipse(x, y, rnd.uniform(3, 6), rnd.uniform(2, 4), "s2", shade="s0", light="s3")
    for _ in range(10):
        rock.set(rnd.randrange(32), rnd.randrange(32), "s0")
    edge = rock.crop(0, 0, 32, 32)
    for x in range(32):
        edge.vline(x, 20, 31, None)
    for (x, n) in ((4, 8), (14, 5), (23, 10)):
        for k in range(n):
            w = max(0, (n - k) // 3)
            edge.hline(x - w, x + w, 20 + k, "s2" if k < n - 2 else "s3")
    edge.hline(0, 31, 19, "s0")
    for y in range(20, 32):
        for x in range(32):
            if edge.px[y][x] is None and edge.get(x, y - 1) not in (None, "ink"):
                edge.px[y][x] = "ink"
    # the same stones, dim and flat: rock seen in the dark of a tunnel
    shadow = rock.crop(0, 0, 32, 32)
    shadow.recolour({"s1": "s0", "s2": "s1", "s3": "s1", "s0": "ink"})
    shaded = shadow.crop(0, 0, 32, 32)
    shaded.blit(edge, 0, 0)
    return {CAVE_ROCK: rock, CAVE_EDGE: edge, ROCK_SHADOW: shadow, CAVE_EDGE_SHADED: shaded}


def cloud():
    c = Canvas(96, 64)
    for (x, y, rx, ry) in ((22, 40, 16, 13), (48, 28, 20, 18), (74, 40, 16, 13), (48, 46, 40, 12)):
        c.ellipse(x, y, rx, ry, "white", shade="c1", cut=0.3)
    for y in range(48, 60):
        for x in range(96):
            if c.px[y][x] == "white" and y > 52:
                c.px[y][x] = "c1"
    c.outline("c0")
    out = {}
    for i in range(3):
        out[CLOUD_TOP[i]] = c.crop(i * 32, 0, 32, 32)
        out[CLOUD_BOTTOM[i]] = c.crop(i * 32, 32, 32, 32)
    return out


def bush():
    c = Canvas(96, 32)
    for (x, y, r) in ((14, 22, 11), (34, 16, 15), (60, 14, 16), (82, 22, 12)):
        c.ellipse(x, y, r, r, "g2", shade="g1", light="g3")
    c.rect(4, 24, 88, 8, "g1")
    rnd = random.Random(5)
    for _ in range(24):
        x, y = rnd.randrange(8, 88), rnd.randrange(6, 26)
        if c.px[y][x] == "g2":
            c.set(x, y, "g3")
        elif c.px[y][x] == "g1":
            c.set(x, y, "g0")
    c.outline("g0")
    return {BUSH[i]: c.crop(i * 32, 0, 32, 32) for i in range(3)}


def hill():
    c = Canvas(96, 64)
    for y in range(64):
        for x in range(96):
            dx = (x + 0.5 - 48) / 47.0
            dy = (y + 0.5 - 70) / 62.0
            if dx * dx + dy * dy <= 1.0:
                c.px[y][x] = "h1" if x < 58 else "h0"
    rnd = random.Random(9)
    for _ in range(14):
        x, y = rnd.randrange(10, 86), rnd.randrange(16, 62)
        if c.px[y][x] is not None:
            c.rect(x, y, 2, 2, "h2" if c.px[y][x] == "h1" else "h1")
    c.outline("h0")
    return {**{HILL_TOP[i]: c.crop(i * 32, 0, 32, 32) for i in range(3)},
            **{HILL_BOTTOM[i]: c.crop(i * 32, 32, 32, 32) for i in range(3)}}


def decorations():
    out = {}
    f = Canvas(32, 32)
    for (x, col) in ((5, "p2"), (13, "o2"), (21, "white"), (27, "p2")):
        h = 22 + (x % 3) * 2
        f.vline(x, h, 31, "g1")
        f.ellipse(x + 0.5, h - 1.5, 2.2, 2.2, col)
        f.set(x, h - 2, "o3" if col != "o2" else "r1")
    f.set(9, 28, "g2"), f.set(8, 29, "g2"), f.set(24, 29, "g2")
    f.outline()
    out[FLOWERS] = f
    fence = Canvas(32, 32)
    for x in (4, 20):
        fence.rect(x, 12, 6, 20, "e3")
        fence.vline(x + 5, 12, 31, "e1")
        fence.hline(x + 1, x + 4, 11, "e3")
        fence.hline(x + 2, x + 3, 10, "e3")
    fence.rect(0, 16, 32, 4, "e2")
    fence.rect(0, 25, 32, 4, "e2")
    fence.hline(0, 31, 19, "e1")
    fence.hline(0, 31, 28, "e1")
    fence.outline()
    out[FENCE] = fence
    sign = Canvas(32, 32)
    sign.rect(14, 14, 4, 18, "e1")
    sign.rect(3, 5, 22, 11, "e3")
    for k in range(6):
        sign.vline(25 + k, 5 + k, 15 - k, "e3")
    sign.hline(3, 25, 15, "e1")
    sign.rect(8, 9, 10, 3, "r1")
    for k in range(4):
        sign.vline(18 + k, 7 + k, 13 - k, "r1")
    sign.outline()
    out[ARROW_SIGN] = sign
    cr = Canvas(32, 32)
    for (x, h, col) in ((10, 14, "t2"), (16, 22, "t3"), (22, 12, "t2"), (13, 9, "p2")):
        for k in range(h):
            w = min(k // 2, 2)
            cr.hline(x - w, x + w, 31 - h + k, col if k % 5 else "white")
    cr.outline()
    out[CRYSTAL] = cr
    lan = Canvas(32, 32)
    lan.vline(16, 0, 9, "s1")
    lan.rect(11, 10, 11, 3, "s0")
    lan.ellipse(16.5, 19, 5, 6.5, "o2", light="o3", shade="o1")
    lan.rect(11, 25, 11, 3, "s0")
    lan.vline(16, 14, 23, "white")
    lan.outline()
    out[LANTERN] = lan
    return out


def masonry():
    """Sandstone: paving slabs on top, ashlar courses below (citadel ground)."""
    fill = Canvas(32, 32)
    fill.rect(0, 0, 32, 32, "d1")
    for row in range(2):
        y = row * 16
        off = 0 if row == 0 else 16
        for bx in (-32, 0, 32):
            x = bx + off
            fill.rect(x + 1, y + 1, 30, 14, "d2")
            fill.hline(x + 1, x + 30, y + 1, "d3")
            fill.vline(x + 1, y + 1, y + 14, "d3")
            fill.hline(x + 1, x + 30, y + 14, "d1")
            fill.set(x + 8, y + 6, "d1"), fill.set(x + 21, y + 10, "d1"), fill.set(x + 14, y + 4, "d3")
        fill.hline(0, 31, y + 15, "d0")
        fill.vline(off % 32 if off else 0, y, y + 15, "d0")
    top = fill.crop(0, 0, 32, 32)
    top.rect(0, 0, 32, 9, "d3")
    top.hline(0, 31, 0, "white")
    top.hline(0, 31, 7, "d2")
    top.hline(0, 31, 8, "d0")
    for x in (0, 16):
        top.vline(x, 1, 7, "d1")
    top.set(6, 3, "d2"), top.set(24, 4, "d2"), top.set(11, 5, "d2")
    return {MASONRY_TOP: top, MASONRY: fill}


def pipe():
    """A 64-wide copper pipe with a flared rim: cut into pictures 23 to 26."""
    shades = [(0, "t0"), (4, "t1"), (10, "t2"), (14, "t3"), (18, "t2"), (28, "t1"), (44, "t0")]

    def band(c, x0, x1, y0, y1):
        w = x1 - x0
        for x in range(x0, x1):
            k = (x - x0) * 64 // w
            col = "t0"
            for start, name in shades:
                if k >= start:
                    col = name
            c.vline(x, y0, y1, col)
        c.vline(x0, y0, y1, "ink")
        c.vline(x1 - 1, y0, y1, "ink")

    rim = Canvas(64, 32)
    band(rim, 0, 64, 1, 15)
    rim.hline(0, 63, 0, "ink")
    rim.hline(0, 63, 15, "ink")
    rim.hline(1, 62, 1, "t3")
    for x in (6, 57):
        rim.rect(x, 6, 2, 2, "o2")
        rim.set(x, 6, "o3")
    band(rim, 4, 60, 16, 31)
    rim.hline(5, 58, 16, "t0")
    body = Canvas(64, 32)
    band(body, 4, 60, 0, 31)
    # a riveted collar every cell, so tall pipes read as pieces joined together
    body.hline(4, 59, 24, "t0")
    body.hline(4, 59, 25, "ink")
    for x in (12, 30, 50):
        body.set(x, 27, "o2")
    return {PIPE_TOP_L: rim.crop(0, 0, 32, 32), PIPE_TOP_R: rim.crop(32, 0, 32, 32),
            PIPE_L: body.crop(0, 0, 32, 32), PIPE_R: body.crop(32, 0, 32, 32)}


def rock_top(rock):
    """Cave rock with a pale, mossy crust to walk on: its edge reads in the dark."""
    c = rock.crop(0, 0, 32, 32)
    rnd = random.Random(17)
    c.rect(0, 0, 32, 6, "s2")
    c.hline(0, 31, 0, "s3")
    c.hline(0, 31, 1, "s3")
    for x in range(32):
        depth = 5 + rnd.choice((0, 1, 1, 2))
        c.set(x, depth, "s1")
        c.set(x, depth + 1, "s0")
        if rnd.random() < 0.3:
            c.set(x, 0, "g3")
            c.set(x, 1, "g2")
    for x in range(2, 30, 7):
        c.hline(x, x + 2, 3, "s3")
    return c


def timbers():
    beam = Canvas(32, 32)
    beam.rect(0, 2, 32, 9, "e2")
    beam.hline(0, 31, 2, "e3")
    beam.hline(0, 31, 10, "e0")
    beam.hline(0, 31, 1, "ink")
    beam.hline(0, 31, 11, "ink")
    for x in (6, 19, 27):
        beam.hline(x, x + 3, 6, "e1")
    post = Canvas(32, 32)
    post.rect(11, 0, 10, 32, "e2")
    post.vline(11, 0, 31, "e3")
    post.vline(20, 0, 31, "e0")
    post.vline(10, 0, 31, "ink")
    post.vline(21, 0, 31, "ink")
    for y in (5, 17, 26):
        post.vline(15, y, y + 3, "e1")
    joint = post.crop(0, 0, 32, 32)
    joint.blit(beam, 0, 0)
    joint.rect(8, 11, 16, 4, "e1")
    joint.hline(8, 23, 15, "ink")
    joint.set(10, 7, "s2"), joint.set(21, 7, "s2")
    return {BEAM: beam, BEAM_POST: post, BEAM_JOINT: joint}


def back_wall():
    """The citadel's far wall: hazy slate, flat, no outline, so it reads as
    distant and apart from the warm sandstone the runner stands on."""
    wall = Canvas(32, 32)
    wall.rect(0, 0, 32, 32, "s1")
    for row in range(4):
        y = row * 8
        off = 0 if row % 2 == 0 else 8
        wall.hline(0, 31, y + 7, "s0")
        for x in range(off, 32, 16):
            wall.vline(x, y, y + 6, "s0")
        wall.set((off + 5) % 32, y + 3, "s2")
    window = wall.crop(0, 0, 32, 32)
    window.rect(9, 9, 14, 23, "ink")
    window.ellipse(16, 10, 7, 6, "ink")
    window.rect(11, 11, 10, 21, "o1")
    window.ellipse(16, 11, 5, 4.5, "o1")
    window.vline(16, 7, 31, "ink")
    window.hline(10, 21, 20, "ink")
    window.rect(12, 12, 3, 7, "o2")
    banner = wall.crop(0, 0, 32, 32)
    banner.hline(6, 25, 1, "e1")
    banner.rect(8, 2, 16, 24, "r0")
    banner.rect(9, 2, 14, 23, "r1")
    for k in range(5):
        banner.hline(8 + k, 23 - k, 26 + k, "r0" if k < 4 else "ink")
    banner.ellipse(16, 12, 4, 4, "o2", light="o3", shade="o1")
    banner.rect(15, 17, 2, 5, "o2")
    battlement = Canvas(32, 32)
    battlement.blit(wall.crop(0, 0, 32, 20), 0, 12)
    for x in (0, 16):
        battlement.blit(wall.crop(0, 0, 10, 12), x + 3, 0)
    torch = wall.crop(0, 0, 32, 32)
    torch.rect(14, 16, 4, 12, "e1")
    torch.rect(12, 14, 8, 3, "s1")
    torch.ellipse(16, 9, 4, 6, "r1")
    torch.ellipse(16, 10, 2.5, 4, "r2")
    torch.ellipse(16, 11, 1.2, 2.2, "o3")
    return {BACK_WALL: wall, BACK_WINDOW: window, BANNER: banner, BATTLEMENT: battlement, TORCH: torch}


def grass_tuft():
    c = Canvas(32, 32)
    rnd = random.Random(23)
    for x in range(3, 29, 3):
        h = rnd.randrange(8, 15)
        lean = rnd.choice((-1, 0, 1))
        for k in range(h):
            c.set(x + (lean if k > h // 2 else 0), 31 - k, "g2" if k < h - 3 else "g3")
        c.set(x + 1, 31, "g1")
    c.outline("g0")
    return c


def night_sky():
    out = {}
    star = Canvas(32, 32)
    star.hline(10, 22, 16, "o3")
    star.vline(16, 10, 22, "o3")
    star.rect(15, 15, 3, 3, "white")
    star.set(13, 13, "c1"), star.set(19, 19, "c1"), star.set(19, 13, "c1"), star.set(13, 19, "c1")
    out[STAR] = star
    stars = Canvas(32, 32)
    for (x, y, col) in ((5, 7, "white"), (22, 4, "c1"), (14, 19, "o3"), (27, 25, "white"), (7, 27, "c1")):
        stars.set(x, y, col)
        if col == "white":
            stars.set(x + 1, y, "c0"), stars.set(x - 1, y, "c0"), stars.set(x, y + 1, "c0"), stars.set(x, y - 1, "c0")
    out[STARS] = stars
    moon = Canvas(64, 64)
    moon.ellipse(32, 32, 26, 26, "o3", shade="c1", cut=0.55)
    for (x, y, r) in ((22, 24, 5), (38, 40, 7), (40, 20, 3.5), (24, 44, 3)):
        moon.ellipse(x, y, r, r, "c1", shade="c0")
    moon.outline("c0")
    for i in range(2):
        for j in range(2):
            out[MOON[j][i]] = moon.crop(i * 32, j * 32, 32, 32)
    return out


def tree():
    """A round broadleaf tree, 2 x 3 cells, standing on the ground behind the play."""
    c = Canvas(64, 96)
    c.rect(27, 56, 10, 40, "e1")
    c.vline(27, 56, 95, "e2")
    c.vline(36, 56, 95, "e0")
    c.rect(22, 92, 20, 4, "e1")
    for (x, y, r) in ((20, 46, 16), (44, 46, 16), (32, 26, 22), (18, 30, 12), (46, 30, 12), (32, 52, 14)):
        c.ellipse(x, y, r, r * 0.9, "g2", shade="g1", light="g3")
    rnd = random.Random(31)
    for _ in range(30):
        x, y = rnd.randrange(6, 58), rnd.randrange(6, 64)
        if c.px[y][x] == "g2":
            c.set(x, y, "g3")
        elif c.px[y][x] == "g1":
            c.set(x, y, "g0")
    c.outline()
    return {TREE[j][i]: c.crop(i * 32, j * 32, 32, 32) for j in range(3) for i in range(2)}


def water():
    body = Canvas(32, 32)
    body.rect(0, 0, 32, 32, "t1")
    rnd = random.Random(41)
    for _ in range(6):
        x, y = rnd.randrange(0, 28), rnd.randrange(2, 30)
        body.hline(x, x + 4, y, "t2")
    for _ in range(4):
        x, y = rnd.randrange(0, 30), rnd.randrange(4, 30)
        body.hline(x, x + 2, y, "t0")
    top = Canvas(32, 32)
    top.blit(body.crop(0, 0, 32, 24), 0, 8)
    for x in range(32):
        crest = 8 + (2 if (x // 4) % 4 in (1, 2) else 0) - (1 if (x // 4) % 4 == 0 else 0)
        top.vline(x, crest, 9 + (1 if x % 8 < 4 else 0), "t2")
        top.set(x, crest, "c1")
    for x in (3, 19):
        top.hline(x, x + 3, 14, "white")
    return {WATER_TOP: top, WATER: body}


def tile_sheet():
    pictures = {}
    pictures.update(ground_tiles())
    pictures[STONE] = stone()
    pictures[BRICK] = brick()
    pictures[COIN_BLOCK] = coin_block()
    pictures[POWER_BLOCK] = power_block()
    pictures[USED_BLOCK] = used_block()
    pictures.update(planks())
    pictures[CRATE] = crate()
    pictures.update(column())
    pictures.update(cave())
    pictures.update(cloud())
    pictures.update(bush())
    pictures.update(hill())
    pictures.update(decorations())
    pictures.update(masonry())
    pictures.update(pipe())
    pictures[ROCK_TOP] = rock_top(pictures[CAVE_ROCK])
    pictures.update(timbers())
    pictures.update(back_wall())
    pictures[GRASS_TUFT] = grass_tuft()
    pictures.update(night_sky())
    pictures.update(tree())
    pictures.update(water())
    sheet = Canvas(512, 256)
    for p, pic in pictures.items():
        sheet.blit(pic, (p % 16) * 32, (p // 16) * 32)
    return sheet
