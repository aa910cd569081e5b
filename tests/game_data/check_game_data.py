#!/usr/bin/env python3
"""Checks the game's committed data files.

    check_game_data.py REPO_ROOT

1. Regenerates everything with tools/game_art into a temporary folder and
   compares it byte for byte with game/data and game/res (no file missing,
   none extra).
2. Reads each committed file the way the game does and checks its format:
   24-bit bottom-up BI_RGB bitmaps of the sheet sizes, every pixel a colour of
   bright.pal, every used cell painted; RIFF palettes; standard MIDI files of
   30 to 90 seconds; level files of the documented layout that a runner can
   start in, with every enemy standing on ground.
3. Runs the level generator's checks (tools/levels/levelgen.py) on every
   level source, and shows on small broken sources that the checks refuse a
   gap too wide, a wall too high, a start off the ground and the like.
Exits 0 when all checks pass; prints each failure and exits 1 otherwise.
"""

import os
import struct
import subprocess
import sys
import tempfile
import unittest

REPO = os.path.abspath(sys.argv.pop(1) if len(sys.argv) > 1 else ".")
GAME = os.path.join(REPO, "game")
KEY = (255, 60, 174)
SKY = (107, 136, 255)

# name: (width, height, cell width, cell height, cells that must be painted)
SHEETS = {
    "tile.bmp": (512, 256, 32, 32, [0, 1, 2, 3, 6, 7, 8, 9, 18]),
    "player.bmp": (256, 192, None, None, None),
    "ghost.bmp": (192, 32, 32, 32, range(6)),
    "turtle.bmp": (192, 96, 32, 48, range(12)),
    "coin.bmp": (48, 32, 16, 32, range(3)),
    "mushroom.bmp": (32, 32, 32, 32, [0]),
    "flower.bmp": (32, 32, 32, 32, [0]),
    "debris.bmp": (64, 16, 16, 16, range(4)),
    "bullet.bmp": (64, 16, 16, 16, range(4)),
    "explode.bmp": (96, 32, 32, 32, range(3)),
}


def read_bmp(path):
    """(width, height, rows top-down of (r, g, b)); fails the test on a bad header."""
    with open(path, "rb") as f:
        data = f.read()
    magic, size, _, _, offset = struct.unpack_from("<2sIHHI", data, 0)
    hsize, w, h, planes, bpp, comp, isize = struct.unpack_from("<IiiHHII", data, 14)
    assert magic == b"BM", path
    assert size == len(data), path
    assert hsize == 40 and planes == 1 and bpp == 24 and comp == 0, path
    assert h > 0, "%s must be bottom-up" % path
    stride = (w * 3 + 3) & ~3
    assert offset + stride * h == len(data), path
    rows = []
    for y in range(h):
        start = offset + (h - 1 - y) * stride
        row = data[start:start + w * 3]
        rows.append([(row[i + 2], row[i + 1], row[i]) for i in range(0, w * 3, 3)])
    return w, h, rows


def read_palette(path):
    with open(path, "rb") as f:
        data = f.read()
    assert data[0:4] == b"RIFF" and data[8:12] == b"PAL " and data[12:16] == b"data", path
    riff_size, = struct.unpack_from("<I", data, 4)
    data_size, version, count = struct.unpack_from("<IHH", data, 16)
    assert riff_size == len(data) - 8, path
    assert data_size == len(data) - 20 == 4 + 1024, path
    assert version == 0x0300 and count == 256, path
    entries = [tuple(data[24 + 4 * i:27 + 4 * i]) for i in range(256)]
    flags = [data[27 + 4 * i] for i in range(256)]
    assert not any(flags), path
    return entries


def vlq(data, pos):
    n = 0
    while True:
        b = data[pos]
        pos += 1
        n = (n << 7) | (b & 0x7F)
        if not b & 0x80:
            return n, pos


def read_midi(path):
    """Seconds of music, channels with notes, programs per channel."""
    with open(path, "rb") as f:
        data = f.read()
    assert data[:4] == b"MThd", path
    hlen, fmt, ntrks, division = struct.unpack_from(">IHHH", data, 4)
    assert hlen == 6 and fmt in (0, 1) and 0 < division < 0x8000, path
    pos, tracks = 14, []
    while pos < len(data):
        tag, length = data[pos:pos + 4], struct.unpack_from(">I", data, pos + 4)[0]
        assert tag == b"MTrk", path
        tracks.append(data[pos + 8:pos + 8 + length])
        pos += 8 + length
    assert pos == len(data) and len(tracks) == ntrks, path
    tempos, end, channels, programs = [], 0, set(), {}
    for tr in tracks:
        p, tick, status, open_notes, ended = 0, 0, None, {}, False
        while p < len(tr):
            delta, p = vlq(tr, p)
            tick += delta
            b = tr[p]
            if b == 0xFF:
                kind, ln = tr[p + 1], None
                ln, q = vlq(tr, p + 2)
                if kind == 0x51:
                    tempos.append((tick, int.from_bytes(tr[q:q + 3], "big")))
                if kind == 0x2F:
                    ended = True
                p = q + ln
                continue
            assert b != 0xF0 and b != 0xF7, path
            if b & 0x80:
                status, p = b, p + 1
            hi, ch = status & 0xF0, status & 0x0F
            size = 1 if hi in (0xC0, 0xD0) else 2
            args = tr[p:p + size]
            p += size
            if hi == 0xC0:
                programs[ch] = args[0]
            elif hi == 0x90 and args[1] > 0:
                channels.add(ch)
                open_notes[(ch, args[0])] = open_notes.get((ch, args[0]), 0) + 1
            elif hi == 0x80 or (hi == 0x90 and args[1] == 0):
                assert open_notes.get((ch, args[0]), 0) > 0, "%s: note off without on" % path
                open_notes[(ch, args[0])] -= 1
        assert ended and not any(open_notes.values()), "%s: unterminated track" % path
        end = max(end, tick)
    tempos.sort()
    seconds, last_tick, tempo = 0.0, 0, 500000
    for t, value in tempos:
        seconds += (t - last_tick) / division * tempo / 1e6
        last_tick, tempo = t, value
    seconds += (end - last_tick) / division * tempo / 1e6
    return seconds, channels, programs


def read_level(path):
    with open(path) as f:
        nums = [int(tok) for tok in f.read().split()]
    dark, cols, rows = nums[:3]
    n = cols * rows
    pics = nums[3:3 + n]
    kinds = nums[3 + n:3 + 2 * n]
    rest = nums[3 + 2 * n:]
    enemies = []
    for _ in range(3):
        count = rest[0]
        pairs = rest[1:1 + 2 * count]
        enemies.append(list(zip(pairs[0::2], pairs[1::2])))
        rest = rest[1 + 2 * count:]
    assert not rest, "%s: numbers left over" % path
    grid = lambda flat: [flat[r * cols:(r + 1) * cols] for r in range(rows)]  # noqa: E731
    return dark, cols, rows, grid(pics), grid(kinds), enemies


class GeneratedFilesMatch(unittest.TestCase):
    def test_committed_files_are_the_generators_output(self):
        with tempfile.TemporaryDirectory() as tmp:
            env = dict(os.environ, PYTHONDONTWRITEBYTECODE="1")  # leave the source tree alone
            # the levels' checks run in LevelChecks; here only the bytes matter
            subprocess.run([sys.executable, os.path.join(REPO, "tools/game_art/make_game_data.py"),
                            "--out", tmp, "--no-check"], check=True, env=env)
            made = {os.path.relpath(os.path.join(d, f), tmp)
                    for d, _, fs in os.walk(tmp) for f in fs}
            committed = {os.path.relpath(os.path.join(d, f), GAME)
                         for sub in ("data", "res")
                         for d, _, fs in os.walk(os.path.join(GAME, sub)) for f in fs}
            self.assertEqual(made, committed)
            for rel in sorted(made):
                with open(os.path.join(tmp, rel), "rb") as a, open(os.path.join(GAME, rel), "rb") as b:
                    self.assertTrue(a.read() == b.read(), "%s differs from its generator" % rel)


class Pictures(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.bright = read_palette(os.path.join(GAME, "data/bright.pal"))

    def check_colours(self, name, rows):
        allowed = set(self.bright)
        used = {px for row in rows for px in row}
        self.assertFalse(used - allowed, "%s uses colours outside bright.pal" % name)
        self.assertIn(KEY, used, "%s has no transparent background" % name)

    def painted(self, rows, x, y, w, h):
        return any(rows[yy][xx] != KEY for yy in range(y, y + h) for xx in range(x, x + w))

    def test_sheets_have_their_sizes_colours_and_cells(self):
        for name, (w, h, cw, ch, cells) in SHEETS.items():
            with self.subTest(sheet=name):
                bw, bh, rows = read_bmp(os.path.join(GAME, "data/graphics", name))
                self.assertEqual((bw, bh), (w, h))
                self.check_colours(name, rows)
                if cells is None:
                    continue
                per_row = w // cw
                for cell in cells:
                    x, y = (cell % per_row) * cw, (cell // per_row) * ch
                    self.assertTrue(self.painted(rows, x, y, cw, ch), "%s cell %d empty" % (name, cell))

    def test_player_sheet_has_every_frame_entry_in_both_sizes(self):
        _, _, rows = read_bmp(os.path.join(GAME, "data/graphics/player.bmp"))
        for entry in range(14):
            col, row = entry % 8, entry // 8
            with self.subTest(entry=entry):
                self.assertTrue(self.painted(rows, col * 32, row * 32, 32, 32), "small")
                self.assertTrue(self.painted(rows, col * 32, 64 + row * 64, 32, 64), "big")

    def test_icon(self):
        w, h, rows = read_bmp(os.path.join(GAME, "res/gorbo.bmp"))
        self.assertIn((w, h), ((32, 32), (64, 64)))
        self.check_colours("gorbo.bmp", rows)


class Palettes(unittest.TestCase):
    def test_bright_holds_the_fixed_colours_once_each(self):
        bright = read_palette(os.path.join(GAME, "data/bright.pal"))
        for rgb in (KEY, SKY, (255, 255, 0), (0, 0, 0), (255, 255, 255)):
            self.assertIn(rgb, bright)
        # every colour other than the black filler is a distinct entry, so the
        # 256-colour mode maps each picture colour to exactly one index
        named = [rgb for rgb in bright if rgb != (0, 0, 0)]
        self.assertEqual(len(named), len(set(named)))

    def test_darken_recolours_the_same_entries_darker(self):
        bright = read_palette(os.path.join(GAME, "data/bright.pal"))
        dark = read_palette(os.path.join(GAME, "data/darken.pal"))
        sky = bright.index(SKY)
        self.assertLess(sum(dark[sky]), sum(SKY) // 3)
        self.assertEqual(dark[bright.index(KEY)], KEY)
        darker = sum(1 for b, d in zip(bright, dark) if sum(d) < sum(b))
        self.assertGreater(darker, len(set(bright)) * 3 // 4)


class Music(unittest.TestCase):
    def test_pieces_are_standard_midi_of_the_right_length(self):
        for name in ("back1.mid", "back2.mid"):
            with self.subTest(piece=name):
                seconds, channels, programs = read_midi(os.path.join(GAME, "data/sound", name))
                self.assertTrue(30 <= seconds <= 90, "%s lasts %.1f s" % (name, seconds))
                self.assertIn(9, channels, "drums on channel 10")
                self.assertGreaterEqual(len(channels), 4)
                for ch in channels - {9}:
                    self.assertIn(ch, programs, "channel %d has no instrument" % ch)


def level_files():
    """{N: path} of the committed level files."""
    folder = os.path.join(GAME, "data/level")
    return {int(f[5:-4]): os.path.join(folder, f) for f in os.listdir(folder)
            if f.startswith("level") and f.endswith(".dat")}


class Levels(unittest.TestCase):
    """The committed level files, read the way the game reads them."""

    @classmethod
    def setUpClass(cls):
        _, _, cls.tile_rows = read_bmp(os.path.join(GAME, "data/graphics/tile.bmp"))
        cls.levels = {n: read_level(path) for n, path in level_files().items()}

    def picture_painted(self, p):
        x, y = (p % 16) * 32, (p // 16) * 32
        return any(self.tile_rows[yy][xx] != KEY for yy in range(y, y + 32) for xx in range(x, x + 32))

    def test_there_are_eight_levels_or_more_from_level_one_two_of_them_dark(self):
        numbers = sorted(self.levels)
        self.assertGreaterEqual(len(numbers), 8)
        self.assertEqual(numbers, list(range(1, len(numbers) + 1)), "level0 or a hole in the numbering")
        self.assertGreaterEqual(sum(1 for lv in self.levels.values() if lv[0]), 2)

    def test_levels_follow_the_file_layout(self):
        shows = {2: 7 + 1, 3: 8 + 1, 4: 9 + 1}    # kind -> picture + 1 of the blocks
        for n, (dark, cols, rows, pics, kinds, enemies) in sorted(self.levels.items()):
            with self.subTest(level=n):
                self.assertEqual(rows, 15)
                self.assertTrue(150 <= cols <= 300, cols)
                used = {v for row in pics for v in row}
                self.assertTrue(all(0 <= v <= 128 for v in used))
                for v in used - {0}:
                    self.assertTrue(self.picture_painted(v - 1), "picture %d is blank" % (v - 1))
                self.assertTrue({v for row in kinds for v in row} <= {0, 1, 2, 3, 4})
                for r in range(rows):
                    for c in range(cols):
                        if kinds[r][c] in shows:
                            self.assertEqual(pics[r][c], shows[kinds[r][c]], (r, c))
                        if kinds[r][c] == 0:
                            self.assertNotIn(pics[r][c], shows.values(), "a block that is not solid")

    def test_the_runner_starts_on_ground_with_room_above(self):
        # x 64, y 383 small (y 351 big): feet on row 13's ground, head room up to row 10
        for n, (dark, cols, rows, pics, kinds, enemies) in sorted(self.levels.items()):
            with self.subTest(level=n):
                for c in (2, 3):
                    self.assertNotEqual(kinds[13][c], 0)
                    for r in (10, 11, 12):
                        self.assertEqual(kinds[r][c], 0)

    def test_enemies_stand_on_ground_beyond_the_first_screen(self):
        for n, (dark, cols, rows, pics, kinds, enemies) in sorted(self.levels.items()):
            # ghosts from the first level on, turtles from the second, winged ones from the fourth
            self.assertTrue(enemies[0] and (n < 2 or enemies[1]) and (n < 4 or enemies[2]), "level %d" % n)
            for group, height in zip(enemies, (32, 48, 48)):
                for x, y in group:
                    with self.subTest(level=n, enemy=(x, y)):
                        self.assertTrue(704 <= x < cols * 32 and x % 32 == 0)
                        # feet 2 px into the ground cell, as a landing leaves them
                        self.assertEqual((y + height - 2) % 32, 0)
                        ground = (y + height - 2) // 32
                        self.assertNotEqual(kinds[ground][x // 32], 0, "nothing to stand on")
                        for r in range(y // 32, ground):
                            self.assertEqual(kinds[r][x // 32], 0, "stands inside something solid")


sys.path.insert(0, os.path.join(REPO, "tools", "levels"))
sys.dont_write_bytecode = True
import levelgen  # noqa: E402


def fixture(*overlays, cols=160, header="title: test\ntheme: meadow\ndark: 0\n", rows=15):
    """A level source: flat ground, power blocks at columns 30 and 40, then
    the overlays, each (column, row, lines drawn downward from there)."""
    grid = [["."] * cols for _ in range(15)]
    for r in (13, 14):
        grid[r] = ["#"] * cols
    grid[9][30] = grid[9][40] = "P"
    for col, row, lines in overlays:
        for i, line in enumerate(lines):
            for k, ch in enumerate(line):
                grid[row + i][col + k] = ch
    return header + "== all ==\n" + "\n".join("".join(r) for r in grid[:rows]) + "\n"


def problems(text):
    src = levelgen.parse_source(text, "fixture")
    return levelgen.check_level(src, levelgen.build(src))


def gap(col, width):
    return (col, 13, ["." * width] * 2)


def wall(col, height):
    return (col, 13 - height, ["#"] * height)


class LevelChecks(unittest.TestCase):
    """The generator refuses a level that is unfair or wrong, and the shipped
    levels pass its checks."""

    def test_every_level_source_passes_the_checks(self):
        for path in levelgen.source_paths():
            with self.subTest(source=os.path.basename(path)):
                src = levelgen.read_source(path)
                self.assertEqual(levelgen.check_level(src, levelgen.build(src)), [])

    def test_checks_refuse_what_a_small_runner_cannot_do(self):
        cases = [
            ("flat ground", [], None),
            ("a six-cell gap", [gap(60, 6)], None),
            ("a seven-cell gap", [gap(60, 7)], "cannot get past column"),
            ("a wall four cells high", [wall(60, 4)], None),
            ("a wall five cells high", [wall(60, 5)], "cannot get past column"),
            ("a gap under a ceiling one cell above the ground", [(50, 5, ["S" * 20] * 7), gap(60, 3)],
             "cannot get past column"),
            ("islands across a wide chasm", [gap(60, 20), (65, 11, ["###"]), (71, 10, ["###"])], None),
            ("the same chasm with its islands out of reach", [gap(60, 20), (65, 7, ["###"]), (71, 6, ["###"])],
             "cannot get past column"),
            ("a pit at the start", [gap(1, 4)], "the start needs ground"),
            ("a block where the runner starts", [(3, 11, ["S"])], "the start needs room"),
            ("a ghost in the air", [(50, 8, ["g"])], "has no ground below"),
            ("a turtle under a ceiling", [(50, 11, ["S", "t"])], "has no room for its 48 px"),
            ("a ghost on the first screen", [(10, 12, ["g"])], "stands on the first screen"),
            ("a power block under a stone", [(30, 8, ["S"])], "has no room above"),
            ("one power block", [(40, 9, ["."])], "only 1 power block"),
            ("a power block out of reach", [(40, 9, ["."]), (40, 3, ["P"])], "only 1 power block"),
        ]
        for name, overlays, expected in cases:
            with self.subTest(name):
                found = problems(fixture(*overlays))
                if expected is None:
                    self.assertEqual(found, [])
                else:
                    self.assertTrue(any(expected in p for p in found), found)

    def test_sources_that_cannot_be_read(self):
        cases = [
            ("a character outside the legend", fixture((50, 12, ["Z"])), "not in the legend"),
            ("a ragged section", fixture().replace("\n" + "." * 160 + "\n", "\n" + "." * 159 + "\n", 1),
             "rows of widths"),
            ("a section short of rows", fixture(rows=14), "has 14 rows"),
            ("a hill cut in half", fixture((50, 11, ["hh", "hh"])), "must be 3 cells wide"),
            ("a cloud one cell high", fixture((50, 2, ["ccc"])), "must be 2 cells high"),
            ("a pipe one cell wide", fixture((50, 11, ["H", "H"])), "must be 2 cells wide"),
            ("a header without its dark flag", fixture(header="title: t\ntheme: meadow\n"), "no 'dark'"),
            ("a cave that is not dark", fixture(header="title: t\ntheme: cave\ndark: 0\n"), "is dark"),
            ("a night that is", fixture(header="title: t\ntheme: meadow\ndark: 1\n"), "is not dark"),
            ("a level too short", fixture(cols=100), "100 columns"),
        ]
        for name, text, expected in cases:
            with self.subTest(name):
                with self.assertRaises(levelgen.LevelError) as e:
                    problems(text)
                self.assertIn(expected, str(e.exception))

    def test_materials_pick_their_pictures_from_their_neighbours(self):
        level = levelgen.build(levelgen.parse_source(fixture(
            (60, 11, ["###", "###"]), (70, 9, ["===="]), (80, 11, ["HH", "HH"]), (90, 10, ["%", "%"]),
            (95, 10, ["%"]), (100, 9, ["%", "%", "r"])), "fixture"))
        T = levelgen.T
        cases = [
            ((59, 13), T.GRASS), ((60, 11), T.GRASS_L), ((61, 11), T.GRASS), ((62, 11), T.GRASS_R),
            ((60, 12), T.DIRT_L), ((62, 12), T.DIRT_R), ((60, 13), T.DIRT),   # a step merges into the ground
            ((70, 9), T.PLANK_L), ((71, 9), T.PLANK), ((73, 9), T.PLANK_R),
            ((80, 11), T.PIPE_TOP_L), ((81, 11), T.PIPE_TOP_R), ((80, 12), T.PIPE_L), ((81, 12), T.PIPE_R),
            ((90, 10), T.ROCK_TOP), ((90, 11), T.CAVE_EDGE), ((95, 10), T.ROCK_TOP),
            ((100, 10), T.CAVE_EDGE_SHADED), ((100, 11), T.ROCK_SHADOW),      # rock over a tunnel
        ]
        for (c, r), picture in cases:
            with self.subTest(cell=(c, r)):
                self.assertEqual(level.pic[r][c], picture)


if __name__ == "__main__":
    unittest.main(verbosity=1)
