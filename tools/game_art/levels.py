"""The level files, built from short descriptions.

A level is 15 rows; row 13 is the grass top of the ground (its top edge at
y = 416, where the runner starts standing) and row 14 the earth below. Jump
reach, for placing things: a standing jump lifts the feet about 150 px (a
little over four cells), a running one about 176 px, and a running jump
clears five to six cells of gap; gaps here are at most four cells wide and no
wall rises more than three cells above the ground the runner takes off from.

Collision values in the file: 0 empty, 1 solid, 2 brick, 3 coin block,
4 power block; picture values are picture + 1 (0 for none).
"""

import tiles as T

ROWS = 15
GROUND = 13
EMPTY, SOLID, BRICK, COIN, POWER = 0, 1, 2, 3, 4


class Level:
    def __init__(self, cols, dark=0):
        self.cols, self.dark = cols, dark
        self.pic = [[None] * cols for _ in range(ROWS)]
        self.kind = [[EMPTY] * cols for _ in range(ROWS)]
        self.ghosts, self.turtles, self.flyers = [], [], []

    def put(self, col, row, pic, kind):
        if 0 <= col < self.cols and 0 <= row < ROWS:
            self.pic[row][col] = pic
            self.kind[row][col] = kind

    def deco(self, col, row, pic):
        """Scenery: drawn only where nothing solid or drawn is yet."""
        if 0 <= col < self.cols and 0 <= row < ROWS and self.pic[row][col] is None:
            self.pic[row][col] = pic

    # ---- terrain
    def ground(self, c0, c1, top=GROUND):
        """A run of ground from column c0 to c1 inclusive, its grass on row top."""
        for c in range(c0, c1 + 1):
            edge = 0 if c == c0 else 2 if c == c1 else 1
            self.put(c, top, (T.GRASS_L, T.GRASS, T.GRASS_R)[edge], SOLID)
            for r in range(top + 1, ROWS):
                # a raised run merges into the ground it stands on without a seam
                outside = c - 1 if edge == 0 else c + 1
                side = edge
                if edge != 1 and 0 <= outside < self.cols and self.kind[r][outside] == SOLID:
                    side = 1
                self.put(c, r, (T.DIRT_L, T.DIRT, T.DIRT_R)[side], SOLID)

    def blocks(self, row, c0, pattern):
        """A row of blocks from a string: b brick, c coin, p power, s stone, u used, x crate."""
        table = {"b": (T.BRICK, BRICK), "c": (T.COIN_BLOCK, COIN), "p": (T.POWER_BLOCK, POWER),
                 "s": (T.STONE, SOLID), "u": (T.USED_BLOCK, SOLID), "x": (T.CRATE, SOLID)}
        for i, ch in enumerate(pattern):
            if ch in table:
                self.put(c0 + i, row, *table[ch])

    def stairs(self, c0, height, down=False, base=GROUND - 1):
        for i in range(height):
            h = height - i if down else i + 1
            for k in range(h):
                self.put(c0 + i, base - k, T.STONE, SOLID)

    def column(self, c0, height, base=GROUND - 1):
        """A two-cell-wide stone column standing on the ground, height cells tall."""
        top = base - height + 1
        for r in range(top, base + 1):
            cap = r == top
            self.put(c0, r, T.COLUMN_CAP_L if cap else T.COLUMN_L, SOLID)
            self.put(c0 + 1, r, T.COLUMN_CAP_R if cap else T.COLUMN_R, SOLID)

    def bridge(self, row, c0, c1):
        for c in range(c0, c1 + 1):
            self.put(c, row, T.PLANK_L if c == c0 else T.PLANK_R if c == c1 else T.PLANK, SOLID)

    def cave_ceiling(self, c0, c1, depth=1):
        for c in range(c0, c1 + 1):
            for r in range(depth):
                self.put(c, r, T.CAVE_ROCK, SOLID)
            self.put(c, depth, T.CAVE_EDGE, SOLID)

    # ---- scenery
    def cloud(self, col, row):
        for i in range(3):
            self.deco(col + i, row, T.CLOUD_TOP[i])
            self.deco(col + i, row + 1, T.CLOUD_BOTTOM[i])

    def bush(self, col, base=GROUND - 1):
        for i in range(3):
            self.deco(col + i, base, T.BUSH[i])

    def hill(self, col, base=GROUND - 1):
        for i in range(3):
            self.deco(col + i, base - 1, T.HILL_TOP[i])
            self.deco(col + i, base, T.HILL_BOTTOM[i])

    def goal(self, col, base=GROUND - 1):
        """The way out: a signpost pointing off the right edge, behind a fence."""
        self.deco(col, base, T.ARROW_SIGN)
        for c in range(col + 1, col + 4):
            self.deco(c, base, T.FENCE)

    # ---- enemies (pixel positions of the top-left corner, standing on row top)
    def ghost(self, col, top=GROUND):
        self.ghosts.append((col * 32, top * 32 - 32 + 2))

    def turtle(self, col, top=GROUND):
        self.turtles.append((col * 32, top * 32 - 48 + 2))

    def flyer(self, col, y):
        self.flyers.append((col * 32, y))

    # ---- output
    def text(self):
        lines = [str(self.dark), str(self.cols), str(ROWS)]
        for row in self.pic:
            lines.append(" ".join("0" if p is None else str(p + 1) for p in row))
        for row in self.kind:
            lines.append(" ".join(str(k) for k in row))
        for group in (self.ghosts, self.turtles, self.flyers):
            lines.append(str(len(group)))
            lines.extend("%d %d" % xy for xy in group)
        return "\n".join(lines) + "\n"


def level1():
    """Meadow: a gentle first run with every kind of block and a few foes."""
    L = Level(160)
    L.ground(0, 35)
    L.ground(39, 70)
    L.ground(74, 110)
    L.ground(114, 159)
    for col, row in ((4, 2), (19, 4), (33, 1), (50, 3), (68, 2), (85, 4), (101, 1), (120, 3), (142, 2)):
        L.cloud(col, row)
    for col in (1, 40, 77, 117, 150):
        L.hill(col)
    for col in (9, 30, 58, 96, 128):
        L.bush(col)
    L.deco(6, 12, T.ARROW_SIGN)
    for col in (13, 52, 88, 133):
        L.deco(col, 12, T.FLOWERS)
    L.deco(64, 12, T.FENCE), L.deco(65, 12, T.FENCE)
    L.blocks(9, 12, "c")
    L.blocks(9, 16, "bcbpb")
    L.blocks(5, 18, "c")
    L.ghost(24)
    L.column(28, 2)
    L.blocks(12, 43, "s")
    L.ground(44, 51, top=10)
    L.bush(46, base=9)
    L.ghost(55), L.ghost(57)
    L.column(60, 3)
    L.blocks(9, 63, "bbcbbb")
    L.turtle(67)
    L.bridge(9, 78, 82)
    L.blocks(5, 80, "c")
    L.flyer(88, 300)
    L.column(92, 2)
    L.ghost(96)
    L.blocks(9, 97, "bpb")
    L.column(104, 3)
    L.turtle(108)
    L.blocks(9, 119, "cbc")
    L.ghost(124), L.turtle(131)
    L.column(137, 2)
    L.column(141, 3)
    L.ground(145, 149, top=10)
    L.blocks(6, 146, "bcb")
    L.goal(154)
    return L


def level2():
    """Hollow: the cave level. A rock ceiling, brick vaults and narrow pits."""
    L = Level(176, dark=1)
    L.cave_ceiling(0, 175)
    L.ground(0, 28)
    L.ground(32, 60)
    L.ground(63, 95)
    L.ground(99, 130)
    L.ground(134, 175)
    for col in (5, 21, 37, 55, 71, 90, 108, 126, 145, 163):
        L.deco(col, 2, T.LANTERN)
    for col in (11, 26, 45, 80, 115, 140, 158):
        L.deco(col, 12, T.CRYSTAL)
    L.blocks(9, 8, "bbcbb")
    L.blocks(5, 10, "p")
    L.ghost(20), L.ghost(21)
    L.stairs(23, 3)
    L.blocks(10, 26, "ss")
    L.blocks(9, 34, "bbbbbbbb")
    L.blocks(5, 36, "bcb")
    L.ghost(38), L.turtle(41)
    L.column(46, 3)
    L.blocks(9, 50, "cpc")
    L.ghost(54)
    L.blocks(7, 58, "ssss")
    L.turtle(66)
    L.blocks(9, 70, "bbbbb")
    L.blocks(5, 70, "bcbbcb")
    L.ghost(74), L.ghost(76)
    L.column(80, 2)
    L.column(86, 3)
    L.flyer(83, 280)
    L.stairs(91, 4)
    L.blocks(9, 100, "xx")
    L.blocks(7, 104, "bbpbb")
    L.ghost(106), L.turtle(110), L.ghost(114)
    L.blocks(10, 118, "sss")
    L.blocks(9, 118, "sss")
    L.blocks(8, 118, "s")
    L.flyer(124, 300)
    L.column(127, 2)
    L.blocks(9, 137, "bcbcb")
    L.turtle(142), L.ghost(146)
    L.column(149, 2)
    L.ground(153, 158, top=10)
    L.blocks(6, 154, "sbbs")
    L.ghost(162)
    L.goal(168)
    return L


def level3():
    """Heights: wider pits, bridges over the gaps and hopping winged turtles."""
    L = Level(192)
    L.ground(0, 24)
    L.ground(28, 50)
    L.ground(54, 74)
    L.ground(78, 79)
    L.ground(83, 112)
    L.ground(116, 141)
    L.ground(145, 191)
    for col, row in ((3, 3), (17, 1), (30, 4), (46, 2), (62, 3), (80, 1), (97, 4), (113, 2), (132, 3),
                     (150, 1), (168, 4), (182, 2)):
        L.cloud(col, row)
    for col in (2, 31, 86, 120, 160):
        L.hill(col)
    for col in (12, 40, 65, 100, 130, 175):
        L.bush(col)
    L.deco(6, 12, T.ARROW_SIGN)
    L.blocks(9, 10, "bpbcb")
    L.ghost(20), L.ghost(22)
    L.bridge(9, 24, 28)
    L.column(33, 2)
    L.turtle(37)
    L.column(42, 3)
    L.blocks(9, 45, "cc")
    L.flyer(48, 290)
    L.blocks(9, 57, "bbbb")
    L.blocks(5, 58, "cp")
    L.ghost(61), L.ghost(64), L.ghost(67)
    L.stairs(70, 3)
    L.blocks(9, 80, "x")
    L.flyer(90, 280)
    L.column(94, 2)
    L.turtle(98)
    L.column(102, 3)
    L.blocks(9, 105, "bcbcb")
    L.ghost(108)
    L.bridge(9, 112, 116)
    L.flyer(122, 300), L.flyer(127, 270)
    L.blocks(9, 130, "bbpbb")
    L.turtle(136), L.ghost(139)
    L.stairs(146, 3)
    L.blocks(7, 151, "ssss")
    L.ghost(154), L.turtle(158)
    L.column(162, 2)
    L.ghost(166), L.ghost(168)
    L.column(171, 2)
    L.ground(175, 180, top=10)
    L.column(183, 2)
    L.goal(186)
    return L


LEVELS = {"level1.dat": level1, "level2.dat": level2, "level3.dat": level3}
