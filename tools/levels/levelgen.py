#!/usr/bin/env python3
"""Gorbo's level files, built from text grids a person can read and edit.

    python3 tools/levels/levelgen.py                 # check every level, write game/data/level
    python3 tools/levels/levelgen.py --out DIR       # write DIR/levelN.dat instead
    python3 tools/levels/levelgen.py --check         # only check, write nothing

A level source is tools/levels/levelN.txt and becomes levelN.dat. It holds:

  ; comment lines (the level's theme, design and route are described here)
  title: a name for people
  theme: meadow | night | cave | citadel   (what the ground character draws)
  dark: 0 or 1          (1: the dark palette and the second piece of music)

  == section name ==
  15 grid rows, one character per cell (legend.txt), all of one width

Sections follow each other from left to right; together they make the map
(15 rows; 150 to 300 columns). Row 13 is the usual ground top: the runner
starts at x 64, y 383 (column 2) and falls the 3 px onto it. Comment lines
(';') and blank lines may stand anywhere outside the 15 rows of a section.

Every level is checked before it is written (check_level): the start stands
on ground, every enemy stands on ground where its box is free, every picture
is one the material allows, and the right end can be reached by a small
runner from the start over the terrain alone (jump arcs simulated with the
runner's physics), with at least two power blocks on the way. A level that
fails is not written; the problems name the column.

Python 3.11 standard library only.
"""

import argparse
import math
import os
import re
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(REPO, "tools", "game_art"))

import tiles as T  # noqa: E402

ROWS = 15
MIN_COLS, MAX_COLS = 150, 300
START_COL = 2            # the runner starts at x 64
FIRST_ENEMY_COL = 22     # enemies stand beyond the first screen (x >= 704)

# collision values as the file stores them (kind + 1, TILE_EMPTY as 0)
EMPTY, SOLID, BRICK, COIN, POWER = 0, 1, 2, 3, 4

THEME_GROUND = {"meadow": "grass", "night": "grass", "cave": "rock", "citadel": "masonry"}
DARK_THEMES = {"night", "cave"}


class LevelError(Exception):
    """A source that cannot be turned into a level; the text says where."""


# ---------------------------------------------------------------- materials
#
# A material turns one grid cell into (picture or None, collision value). It
# sees the whole grid, so it can pick its picture from its neighbours.

class Grid:
    def __init__(self, rows):
        self.rows = rows
        self.cols = len(rows[0])

    def at(self, c, r, outside=None):
        """The character at (c, r); cells outside the map are `outside`."""
        if 0 <= c < self.cols and 0 <= r < ROWS:
            return self.rows[r][c]
        return outside


def run_index(grid, c, r, ch):
    """How many cells of ch lie directly left of (c, r) in an unbroken run."""
    n = 0
    while grid.at(c - n - 1, r) == ch:
        n += 1
    return n


def stack_index(grid, c, r, ch):
    """How many cells of ch lie directly above (c, r) in an unbroken stack."""
    n = 0
    while grid.at(c, r - n - 1) == ch:
        n += 1
    return n


def fixed(picture, kind=EMPTY):
    return lambda grid, c, r, ch, theme: (picture, kind)


def solid_at(grid, c, r):
    """Whether the cell holds something solid; outside the map counts as solid,
    so ground runs on past the map's edges without an end drawn."""
    ch = grid.at(c, r)
    return ch is None or MATERIAL_OF.get(ch) in SOLID_MATERIALS


def grass(grid, c, r, ch, theme):
    left, right = solid_at(grid, c - 1, r), solid_at(grid, c + 1, r)
    if not solid_at(grid, c, r - 1):
        if left == right:
            return T.GRASS, SOLID
        return (T.GRASS_L if right else T.GRASS_R), SOLID
    if left == right:
        return T.DIRT, SOLID
    return (T.DIRT_L if right else T.DIRT_R), SOLID


def rock(grid, c, r, ch, theme):
    if not solid_at(grid, c, r - 1):
        return T.ROCK_TOP, SOLID
    if not solid_at(grid, c, r + 1):
        shaded = MATERIAL_OF.get(grid.at(c, r + 1)) == "shadow"
        return (T.CAVE_EDGE_SHADED if shaded else T.CAVE_EDGE), SOLID
    return T.CAVE_ROCK, SOLID


def masonry(grid, c, r, ch, theme):
    return (T.MASONRY if solid_at(grid, c, r - 1) else T.MASONRY_TOP), SOLID


def ground(grid, c, r, ch, theme):
    return MATERIALS[THEME_GROUND[theme]](grid, c, r, ch, theme)


def plank(grid, c, r, ch, theme):
    left, right = grid.at(c - 1, r) == ch, grid.at(c + 1, r) == ch
    if left == right:
        return T.PLANK, SOLID
    return (T.PLANK_L if right else T.PLANK_R), SOLID


def two_wide(cap, body):
    """A piece two cells wide: (left, right) pictures, the cap on the top cell."""
    def material(grid, c, r, ch, theme):
        half = run_index(grid, c, r, ch) % 2
        top = grid.at(c, r - 1) != ch
        return (cap if top else body)[half], SOLID
    return material


def scenery_block(pictures):
    """Scenery drawn by a block of cells; pictures[row][col] of one copy."""
    height, width = len(pictures), len(pictures[0])

    def material(grid, c, r, ch, theme):
        return pictures[stack_index(grid, c, r, ch) % height][run_index(grid, c, r, ch) % width], EMPTY
    material.size = (width, height)
    return material


def water(grid, c, r, ch, theme):
    return (T.WATER_TOP if grid.at(c, r - 1) != ch else T.WATER), EMPTY


def beam(grid, c, r, ch, theme):
    below = grid.at(c, r + 1)
    return (T.BEAM_JOINT if below is not None and MATERIAL_OF.get(below) == "post" else T.BEAM), EMPTY


def enemy(group):
    """An enemy's start cell: empty, drawn as the backdrop to its left (an
    enemy standing in front of the citadel's far wall leaves no hole in it)."""
    def material(grid, c, r, ch, theme):
        left = grid.at(c - 1, r)
        if MATERIAL_OF.get(left) in BACKDROPS:
            return MATERIALS[MATERIAL_OF[left]](grid, c - 1, r, left, theme)
        return None, EMPTY
    material.enemy = group
    return material


MATERIALS = {
    "ground": ground,
    "grass": grass,
    "rock": rock,
    "masonry": masonry,
    "stone": fixed(T.STONE, SOLID),
    "brick": fixed(T.BRICK, BRICK),
    "coin": fixed(T.COIN_BLOCK, COIN),
    "power": fixed(T.POWER_BLOCK, POWER),
    "used": fixed(T.USED_BLOCK, SOLID),
    "crate": fixed(T.CRATE, SOLID),
    "plank": plank,
    "column": two_wide((T.COLUMN_CAP_L, T.COLUMN_CAP_R), (T.COLUMN_L, T.COLUMN_R)),
    "pipe": two_wide((T.PIPE_TOP_L, T.PIPE_TOP_R), (T.PIPE_L, T.PIPE_R)),
    "sky": fixed(None),
    "cloud": scenery_block((T.CLOUD_TOP, T.CLOUD_BOTTOM)),
    "hill": scenery_block((T.HILL_TOP, T.HILL_BOTTOM)),
    "bush": scenery_block((T.BUSH,)),
    "tree": scenery_block(T.TREE),
    "moon": scenery_block(T.MOON),
    "star": fixed(T.STAR),
    "stars": fixed(T.STARS),
    "flowers": fixed(T.FLOWERS),
    "tuft": fixed(T.GRASS_TUFT),
    "fence": fixed(T.FENCE),
    "sign": fixed(T.ARROW_SIGN),
    "crystal": fixed(T.CRYSTAL),
    "lantern": fixed(T.LANTERN),
    "water": water,
    "beam": beam,
    "post": fixed(T.BEAM_POST),
    "shadow": fixed(T.ROCK_SHADOW),
    "wall": fixed(T.BACK_WALL),
    "window": fixed(T.BACK_WINDOW),
    "banner": fixed(T.BANNER),
    "battlement": fixed(T.BATTLEMENT),
    "torch": fixed(T.TORCH),
    "ghost": enemy("ghosts"),
    "turtle": enemy("turtles"),
    "winged": enemy("flyers"),
}

BACKDROPS = {"wall", "shadow"}   # scenery that an enemy's start cell continues
SOLID_MATERIALS = {"ground", "grass", "rock", "masonry", "stone", "brick", "coin", "power", "used", "crate",
                   "plank", "column", "pipe"}

# pictures each kind of block must show (the game relies on them)
BLOCK_PICTURES = {BRICK: T.BRICK, COIN: T.COIN_BLOCK, POWER: T.POWER_BLOCK}


def read_legend(path=os.path.join(HERE, "legend.txt")):
    """Character -> material name, from legend.txt."""
    legend = {}
    with open(path, encoding="utf-8") as f:
        for n, line in enumerate(f, 1):
            if not line.strip() or line.startswith(";"):
                continue
            parts = line.split()
            if len(parts) < 2 or len(parts[0]) != 1:
                raise LevelError("legend.txt:%d: expected a character and a material" % n)
            ch, name = parts[0], parts[1]
            if name not in MATERIALS:
                raise LevelError("legend.txt:%d: unknown material %r" % (n, name))
            if ch in legend:
                raise LevelError("legend.txt:%d: %r is given twice" % (n, ch))
            legend[ch] = name
    return legend


MATERIAL_OF = read_legend()


# ---------------------------------------------------------------- sources

class Source:
    """A parsed level source: header, sections and the joined grid."""

    def __init__(self, name, title, theme, dark, sections):
        self.name, self.title, self.theme, self.dark = name, title, theme, dark
        self.sections = sections            # [(section name, first column, width)]
        self.grid = None


def parse_source(text, name="level"):
    header, sections, rows_of = {}, [], []
    lines = text.splitlines()
    i = 0
    while i < len(lines):
        line = lines[i].rstrip("\n")
        i += 1
        if not line.strip() or line.startswith(";"):
            continue
        m = re.match(r"^==\s*(.*?)\s*==\s*$", line)
        if m:
            rows, first = [], i
            while len(rows) < ROWS and i < len(lines):
                row = lines[i].rstrip()
                i += 1
                if not row or row.startswith(";"):
                    continue
                rows.append(row)
            if len(rows) < ROWS:
                raise LevelError("%s:%d: section %r has %d rows, not %d" % (name, first, m.group(1), len(rows), ROWS))
            widths = {len(r) for r in rows}
            if len(widths) != 1:
                raise LevelError("%s:%d: section %r has rows of widths %s" % (name, first, m.group(1), sorted(widths)))
            sections.append(m.group(1))
            rows_of.append(rows)
            continue
        m = re.match(r"^(\w+)\s*:\s*(.*?)\s*$", line)
        if not m or sections:
            raise LevelError("%s:%d: expected 'key: value' before the first section, or '== name =='" % (name, i))
        header[m.group(1)] = m.group(2)
    for key in ("title", "theme", "dark"):
        if key not in header:
            raise LevelError("%s: the header has no %r" % (name, key))
    theme = header["theme"]
    if theme not in THEME_GROUND:
        raise LevelError("%s: unknown theme %r (one of %s)" % (name, theme, ", ".join(THEME_GROUND)))
    if not re.match(r"^\d+$", header["dark"]):
        raise LevelError("%s: dark must be a number" % name)
    dark = int(header["dark"])
    if bool(dark) != (theme in DARK_THEMES):
        raise LevelError("%s: a %s level is %s" % (name, theme, "dark" if theme in DARK_THEMES else "not dark"))
    if not sections:
        raise LevelError("%s: no sections" % name)
    src = Source(name, header["title"], theme, dark, [])
    col = 0
    for sec, rows in zip(sections, rows_of):
        src.sections.append((sec, col, len(rows[0])))
        col += len(rows[0])
    src.grid = Grid(["".join(rows[r] for rows in rows_of) for r in range(ROWS)])
    return src


def read_source(path):
    with open(path, encoding="utf-8") as f:
        return parse_source(f.read(), os.path.basename(path))


# ---------------------------------------------------------------- levels

class Level:
    """The two layers and three enemy lists of one level file."""

    def __init__(self, cols, dark):
        self.cols, self.dark = cols, dark
        self.pic = [[None] * cols for _ in range(ROWS)]
        self.kind = [[EMPTY] * cols for _ in range(ROWS)]
        self.ghosts, self.turtles, self.flyers = [], [], []
        self.enemy_cells = []               # (group, col, row) in the grid

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


def enemy_position(group, col, row):
    """Top-left pixel of an enemy standing in cell (col, row): its feet rest on
    the top of row + 1 the way a landing leaves them (2 px into the ground
    box, 1 px above the ground's edge once the 3 px inset is counted)."""
    height = 32 if group == "ghosts" else 48
    return col * 32, (row + 1) * 32 - height + 2


def build(src):
    grid = src.grid
    if not MIN_COLS <= grid.cols <= MAX_COLS:
        raise LevelError("%s: %d columns, not %d to %d" % (src.name, grid.cols, MIN_COLS, MAX_COLS))
    level = Level(grid.cols, src.dark)
    for r in range(ROWS):
        for c in range(grid.cols):
            ch = grid.at(c, r)
            name = MATERIAL_OF.get(ch)
            if name is None:
                raise LevelError("%s: column %d row %d: %r is not in the legend" % (src.name, c, r, ch))
            material = MATERIALS[name]
            level.pic[r][c], level.kind[r][c] = material(grid, c, r, ch, src.theme)
            assert (level.kind[r][c] != EMPTY) == (name in SOLID_MATERIALS), name
            group = getattr(material, "enemy", None)
            if group:
                getattr(level, group).append(enemy_position(group, c, r))
                level.enemy_cells.append((group, c, r))
    check_shapes(src)
    return level


def check_shapes(src):
    """Pieces wider or taller than a cell must come whole."""
    grid = src.grid
    for r in range(ROWS):
        for c in range(grid.cols):
            ch = grid.at(c, r)
            name = MATERIAL_OF[ch]
            material = MATERIALS[name]
            size = getattr(material, "size", None)
            if name in ("column", "pipe"):
                size = (2, None)
            if size is None:
                continue
            width, height = size
            if grid.at(c + 1, r) != ch and (run_index(grid, c, r, ch) + 1) % width:
                raise LevelError("%s: column %d row %d: a %s must be %d cells wide"
                                 % (src.name, c, r, name, width))
            if height and grid.at(c, r + 1) != ch and (stack_index(grid, c, r, ch) + 1) % height:
                raise LevelError("%s: column %d row %d: a %s must be %d cells high"
                                 % (src.name, c, r, name, height))


# ---------------------------------------------------------------- checks
#
# The reach test simulates a small runner's jumps over the terrain. Enemies
# and items are left out: they can be waited for, stomped or jumped, and a
# level must be finishable without a power-up. The arcs are a careful
# player's, not a perfect one's, so that what they reach a person reaches
# with room to spare: a standing jump's height (600 px/s up, about 145 px at
# 60 frames a second) even when running, and at most 200 px/s through the
# air where the runner could do 250. Otherwise they follow the runner's
# rules: 500 px/s2 of steering in the air, gravity 1200 (2450 once the jump
# key is let go while rising), a head-butt sends the runner down at a third
# of its speed with half its sideways speed, and the boxes are the collision
# insets of the map sweep (x + 5 to x + 27, y + 3 to y + 29). So a wall of
# four cells can be climbed and one of five cannot; a gap of six cells can
# be jumped on the level and one of seven cannot.

DT = 1.0 / 60
AIR_LIMIT = 200.0
GRAVITY, CUT_GRAVITY = 1200.0, 2450.0
FRAMES = 120                 # two seconds in the air is more than any arc needs


PAD = 3                      # empty cells around the map in the terrain grid


class Terrain:
    """Which cells are solid, padded with empty cells all round (the runner
    may jump above the screen and falls out below it)."""

    def __init__(self, level):
        self.cols = level.cols
        self.width = level.cols + 2 * PAD
        self.solid = bytearray(self.width * (ROWS + 2 * PAD))
        for r in range(ROWS):
            for c in range(level.cols):
                if level.kind[r][c] != EMPTY:
                    self.solid[(r + PAD) * self.width + c + PAD] = 1

    def is_solid(self, c, r):
        return 0 <= c < self.cols and 0 <= r < ROWS and self.solid[(r + PAD) * self.width + c + PAD] == 1

    def box_hits(self, x, y):
        """Whether the runner's collision box at (x, y) overlaps a solid cell."""
        c0, c1 = int((x + 5) // 32), int((x + 26.999) // 32)
        r0, r1 = int((y + 3) // 32), int((y + 28.999) // 32)
        if r1 < -PAD or r0 >= ROWS + PAD:
            return False
        solid, w = self.solid, self.width
        for r in (r0, r1) if r0 != r1 else (r0,):
            row = (r + PAD) * w + PAD
            if solid[row + c0] or solid[row + c1]:
                return True
        return False

    def floor(self, c, r):
        """A cell a small runner can stand in: free, with solid ground below."""
        return 0 <= c < self.cols and 0 <= r < ROWS - 1 and not self.is_solid(c, r) and self.is_solid(c, r + 1)

    def supported(self, x, r):
        """Whether a runner standing in row r at x has ground under its box."""
        c0, c1 = int((x + 5) // 32), int((x + 26.999) // 32)
        return any(self.is_solid(c, r + 1) for c in range(c0, c1 + 1))


def fly(terrain, x, y, vx, vy, steer, cut_at):
    """One flight from (x, y): holds the direction `steer` (-1, 0, 1) in the
    air and lets go of the jump key at frame `cut_at` (None: held). Returns
    ("land", x, row) where the runner lands, ("end",) when it leaves the
    map's right end, or None when it falls out of the world."""
    g = GRAVITY
    ax = 500.0 * steer * DT
    hits = terrain.box_hits
    right_end = terrain.cols * 32
    for frame in range(FRAMES):
        if frame == cut_at and vy < 0:
            g = CUT_GRAVITY
        vx += ax
        if vx > AIR_LIMIT:
            vx = AIR_LIMIT
        elif vx < -AIR_LIMIT:
            vx = -AIR_LIMIT
        vy += g * DT
        nx = x + vx * DT
        if nx < 0.0:
            nx = 0.0
        if vx and hits(nx, y):
            # stop 1 px short of the wall, as the sweep does
            if vx > 0:
                nx = ((nx + 27) // 32) * 32 - 28
            else:
                nx = ((nx + 5) // 32 + 1) * 32 - 4
            vx = 0.0
        x = nx
        if x > right_end:
            return ("end",)
        ny = y + vy * DT
        if hits(x, ny):
            if vy > 0:
                return ("land", x, int((ny + 29) // 32) - 1)
            y = ((ny + 3) // 32 + 1) * 32 - 2
            vy, vx = -vy / 3, vx * 0.5
            continue
        y = ny
        if y > 480:
            return None
    return None


# (take-off speed, steering held in the air); mirrored for the left
ARCS = [(200, 1), (200, -1), (100, 0), (100, 1), (0, 1), (50, 0)]
JUMPS = [(-600.0, None), (-600.0, 6), (-600.0, 12)]


def takeoffs(terrain, c, r):
    """x positions a runner standing in cell (c, r) may jump from: the middle
    and, at an edge or a wall, as far out as the ground or the wall allows."""
    xs = [c * 32.0]
    if not terrain.floor(c + 1, r):
        xs.append(c * 32.0 + 26 if not terrain.is_solid(c + 1, r) else c * 32.0 + 4)
    if not terrain.floor(c - 1, r):
        xs.append(c * 32.0 - 26 if not terrain.is_solid(c - 1, r) else c * 32.0 - 4)
    return [x for x in xs if x >= 0 and terrain.supported(x, r) and not terrain.box_hits(x, r * 32.0 + 2)]


def run_up_speed(terrain, c, r, sign):
    """The speed a runner can gather on the floor behind cell (c, r) when
    running the way of sign: 500 px/s2 over the run, at most the air limit."""
    count = 1
    while terrain.floor(c - sign * count, r) and count < 3:
        count += 1
    return min(AIR_LIMIT, math.sqrt(2 * 500.0 * count * 32))


def landing_cell(terrain, x, row):
    """The floor cell a runner standing at x on row `row` belongs to."""
    c = int((x + 16) // 32)
    for cc in (c, c - 1, c + 1):
        if terrain.floor(cc, row) and terrain.supported(x, row):
            return cc
    return None


def reach(level):
    """Floor cells a small runner reaches from the start, and whether it gets
    off the right end."""
    terrain = Terrain(level)
    start = (START_COL, 12)
    seen, todo, done = {start}, [start], False
    while todo:
        c, r = todo.pop()
        nexts = []
        for dc in (-1, 1):
            if terrain.floor(c + dc, r):
                nexts.append((c + dc, r))
        if c == terrain.cols - 1:
            done = True
        caps = {sign: run_up_speed(terrain, c, r, sign) for sign in (1, -1)}
        for x in takeoffs(terrain, c, r):
            y = r * 32.0 + 2
            for speed, steer in ARCS:
                for sign in (1, -1):
                    vx = sign * min(speed, caps[sign])
                    for vy, cut in JUMPS:
                        nexts.append(fly(terrain, x, y, vx, vy, sign * steer, cut))
                    if not terrain.floor(c + sign, r):
                        # walking off the edge: no jump, gravity from rest
                        nexts.append(fly(terrain, x + sign * 8, y, vx, 0.0, sign * steer, None))
        for n in nexts:
            if n is None:
                continue
            if n[0] == "end":
                done = True
                continue
            if n[0] == "land":
                cc = landing_cell(terrain, n[1], n[2])
                if cc is None:
                    continue
                n = (cc, n[2])
            if n not in seen:
                seen.add(n)
                todo.append(n)
    return seen, done, terrain


def butted_blocks(level, seen, terrain):
    """Blocks (col, row) a runner standing in a reached cell can jump into
    from below: at most four cells above its head, nothing in between."""
    out = set()
    for c, r in seen:
        for k in range(1, 5):
            rr = r - k
            if rr < 0:
                break
            if terrain.is_solid(c, rr):
                out.add((c, rr))
                break
    return out


def check_level(src, level):
    """Problems that make a level unfair or wrong; an empty list when fine."""
    problems = []
    terrain = Terrain(level)
    # the start: ground under the runner, room for a big runner above
    for c in range(START_COL - 1, START_COL + 3):
        if not terrain.is_solid(c, 13) or level.pic[13][c] is None:
            problems.append("the start needs ground on row 13 at column %d" % c)
    for c in (START_COL, START_COL + 1):
        for r in (10, 11, 12):
            if terrain.is_solid(c, r):
                problems.append("the start needs room at column %d row %d" % (c, r))
    # enemies: beyond the first screen, standing on ground, their box free
    for group, c, r in level.enemy_cells:
        what = "%s at column %d row %d" % (group[:-1], c, r)
        if c < FIRST_ENEMY_COL:
            problems.append("%s stands on the first screen" % what)
        if not terrain.is_solid(c, r + 1):
            problems.append("%s has no ground below it" % what)
        if group != "ghosts" and (r == 0 or terrain.is_solid(c, r - 1)):
            problems.append("%s has no room for its 48 px" % what)
    # blocks show their pictures; a power block's item comes out into the cell above
    for r in range(ROWS):
        for c in range(level.cols):
            k = level.kind[r][c]
            if k in BLOCK_PICTURES and level.pic[r][c] != BLOCK_PICTURES[k]:
                problems.append("block at column %d row %d does not look like its kind" % (c, r))
            if k == POWER and (r == 0 or terrain.is_solid(c, r - 1)):
                problems.append("power block at column %d row %d has no room above for its item" % (c, r))
    if problems:
        return problems
    seen, done, terrain = reach(level)
    if not done:
        far = max(c for c, _ in seen)
        problems.append("a small runner cannot get past column %d (gap too wide, wall too high or a pit to cross)"
                        % far)
    power = [b for b in butted_blocks(level, seen, terrain) if level.kind[b[1]][b[0]] == POWER]
    if len(power) < 2:
        problems.append("only %d power block(s) can be reached; a level needs two" % len(power))
    return problems


# ---------------------------------------------------------------- output

def source_paths(folder=HERE):
    """levelN.txt sources in level order."""
    names = [f for f in os.listdir(folder) if re.match(r"^level\d+\.txt$", f)]
    return [os.path.join(folder, f) for f in sorted(names, key=lambda f: int(re.findall(r"\d+", f)[0]))]


def all_levels(folder=HERE, check=True):
    """{"levelN.dat": (source, level)}; raises LevelError naming every problem."""
    out, problems = {}, []
    for path in source_paths(folder):
        src = read_source(path)
        level = build(src)
        if check:
            problems += ["%s: %s" % (src.name, p) for p in check_level(src, level)]
        out[os.path.basename(path).replace(".txt", ".dat")] = (src, level)
    if problems:
        raise LevelError("\n".join(problems))
    return out


def main():
    parser = argparse.ArgumentParser(description="Check and write Gorbo's level files.")
    parser.add_argument("--out", default=os.path.join(REPO, "game", "data", "level"),
                        help="folder for levelN.dat (default: game/data/level)")
    parser.add_argument("--check", action="store_true", help="check only, write nothing")
    args = parser.parse_args()
    try:
        levels = all_levels()
    except LevelError as e:
        print(e, file=sys.stderr)
        return 1
    for name, (src, level) in levels.items():
        print("%s  %-24s %-8s %3d columns%s" % (name, src.title, src.theme, level.cols, "  dark" if src.dark else ""))
        if not args.check:
            os.makedirs(args.out, exist_ok=True)
            with open(os.path.join(args.out, name), "w", encoding="ascii", newline="\n") as f:
                f.write(level.text())
    return 0


if __name__ == "__main__":
    sys.exit(main())
