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
    rock.rect(0, 0, 32, 32, "s0")
    for _ in range(6):
        x, y = rnd.randrange(2, 30), rnd.randrange(2, 30)
        rock.ellipse(x, y, rnd.uniform(3, 6), rnd.uniform(2, 4), "s1", shade="s0", light="s2")
    for _ in range(10):
        rock.set(rnd.randrange(32), rnd.randrange(32), "ink")
    edge = rock.crop(0, 0, 32, 32)
    for x in range(32):
        edge.vline(x, 20, 31, None)
    for (x, n) in ((4, 8), (14, 5), (23, 10)):
        for k in range(n):
            w = max(0, (n - k) // 3)
            edge.hline(x - w, x + w, 20 + k, "s1" if k < n - 2 else "s2")
    edge.hline(0, 31, 19, "s1")
    for y in range(20, 32):
        for x in range(32):
            if edge.px[y][x] is None and edge.get(x, y - 1) not in (None, "ink"):
                edge.px[y][x] = "ink"
    return {CAVE_ROCK: rock, CAVE_EDGE: edge}


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
    sheet = Canvas(512, 256)
    for p, pic in pictures.items():
        sheet.blit(pic, (p % 16) * 32, (p // 16) * 32)
    return sheet
