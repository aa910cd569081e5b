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
   start in and cross.
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
            subprocess.run([sys.executable, os.path.join(REPO, "tools/game_art/make_game_data.py"),
                            "--out", tmp], check=True, env=env)
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


class Levels(unittest.TestCase):
    def setUp(self):
        _, _, self.tile_rows = read_bmp(os.path.join(GAME, "data/graphics/tile.bmp"))

    def picture_painted(self, p):
        x, y = (p % 16) * 32, (p // 16) * 32
        return any(self.tile_rows[yy][xx] != KEY for yy in range(y, y + 32) for xx in range(x, x + 32))

    def test_levels_follow_the_file_layout_and_can_be_crossed(self):
        for n, want_dark in ((1, False), (2, True), (3, False)):
            with self.subTest(level=n):
                dark, cols, rows, pics, kinds, enemies = read_level(
                    os.path.join(GAME, "data/level/level%d.dat" % n))
                self.assertEqual(bool(dark), want_dark)
                self.assertEqual(rows, 15)
                self.assertTrue(100 <= cols <= 200)
                used = {v for row in pics for v in row}
                self.assertTrue(all(0 <= v <= 128 for v in used))
                for v in used - {0}:
                    self.assertTrue(self.picture_painted(v - 1), "picture %d is blank" % (v - 1))
                self.assertTrue({v for row in kinds for v in row} <= {0, 1, 2, 3, 4})
                # the runner starts standing at x 64, y 383 on row 13's ground
                for c in (2, 3):
                    self.assertEqual(kinds[12][c], 0)
                    self.assertEqual(kinds[11][c], 0)
                    self.assertNotEqual(kinds[13][c], 0)
                # pits are at most four cells wide; the last columns are ground
                gap = 0
                for c in range(cols):
                    gap = 0 if kinds[13][c] else gap + 1
                    self.assertLessEqual(gap, 4, "pit ending at column %d" % c)
                self.assertNotEqual(kinds[13][cols - 1], 0)
                # blocks that react to head-butts show the matching picture
                shows = {2: 7 + 1, 3: 8 + 1, 4: 9 + 1}
                for r in range(rows):
                    for c in range(cols):
                        if kinds[r][c] in shows:
                            self.assertEqual(pics[r][c], shows[kinds[r][c]], (r, c))
                self.assertTrue(enemies[0] and (enemies[1] or enemies[2]))
                for group in enemies:
                    for x, y in group:
                        self.assertTrue(640 <= x < cols * 32 and 0 <= y < 480, (x, y))


if __name__ == "__main__":
    unittest.main(verbosity=1)
