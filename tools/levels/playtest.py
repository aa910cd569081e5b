#!/usr/bin/env python3
"""Plays a level in a model of the game, for designing levels (not shipped).

    python3 tools/levels/playtest.py blind [N ...]      # blind runs on levels N (default: 2 and up)
    python3 tools/levels/playtest.py sections [N ...]   # the same, started at each section
    python3 tools/levels/playtest.py solve N            # search keys through level N: routes/levelN.keys
    python3 tools/levels/playtest.py keys N             # replay routes/levelN.keys
    python3 tools/levels/playtest.py trace N            # what happens along routes/levelN.keys

The model follows the game's rules for the runner, the enemies, the blocks,
the power-ups and the bullets at a fixed 60 frames a second; coins, brick
pieces and explosions are left out, since nothing collides with them. It
uses double precision where the game uses single, so a run that the model
finishes by a hair may end otherwise in the game.

A blind run holds right and run from the first frame and presses jump on a
fixed rhythm, without looking. A level after the first must stop every such
rhythm (the run dies or gets stuck); `blind` lists the rhythms that get
through, so that the level can be changed where they do, and where the
others ended. `sections` starts the same runs at the start of each section
of the source: a level whose middle sections each stop every rhythm by
themselves does not lean on a single obstacle.

`solve` searches for keys that take a small runner from the start to the
right end without ever growing (so without the help of a power-up) and
writes them to routes/levelN.keys as "FRAMES KEYS" lines (keys R right,
L left, A run, J jump, joined by '+'; '-' for none). `trace` replays such a
file and tells where the runner jumps, lands, stomps and kicks: the raw
material of the route notes in ROUTES.md.
"""

import copy
import math
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import levelgen  # noqa: E402

DT = 1.0 / 60
KEY_RIGHT, KEY_LEFT, KEY_ACTION, KEY_JUMP = 0x01, 0x08, 0x10, 0x20
TILE_EMPTY, TILE_SOLID, TILE_BRICK, TILE_COIN, TILE_POWER = 255, 0, 1, 2, 3
GHOST, TURTLE, FLY, EFFECT, MUSHROOM, FLOWER, BULLET = range(7)
PLAIN, STAND, WALK, JUMP, SKID, DOWN, KNOCKED = 0, 1, 2, 4, 5, 7, 8
LEFT, RIGHT = 0, 1


class Hit:
    __slots__ = ("col", "row", "kind", "side", "t", "x", "y")

    def __init__(self):
        self.col = self.row = self.kind = self.side = 0
        self.t, self.x, self.y = 2.0, 0.0, 0.0


def swept_box_test(x0, y0, x1, y1, box, hit):
    left, top, right, bottom = box
    X0, Y0, X1, Y1 = x0 + 5, y0 + 3, x1 + 5, y1 + 3
    L, T, R, B = left + 10, top + 6, right, bottom
    recorded = False
    if X1 != X0:
        E = L if X1 > X0 else R
        u = (E - X0) / (X1 - X0)
        if 0 <= u <= 1:
            Yc = Y0 + u * (Y1 - Y0)
            if T <= Yc <= B and u < hit.t:
                hit.t, hit.side, hit.x, hit.y = u, 1, (E - 1 if X1 > X0 else E + 1), Yc
                recorded = True
    if Y1 != Y0:
        E = T if Y1 > Y0 else B
        v = (E - Y0) / (Y1 - Y0)
        if 0 <= v <= 1:
            Xc = X0 + v * (X1 - X0)
            if L <= Xc <= R and v < hit.t:
                hit.t, hit.side, hit.x, hit.y = v, 0, Xc, (E - 1 if Y1 > Y0 else E + 1)
                recorded = True
    if recorded:
        hit.x -= 5
        hit.y -= 3
    return recorded


def tdiv(a):
    """trunc(a) div 32, both toward zero."""
    return int(int(a) / 32)


class Map:
    def __init__(self, level):
        self.cols, self.rows = level.cols, levelgen.ROWS
        self.kinds = [[(k - 1) & 0xFF for k in row] for row in level.kind]
        self.scroll = 0

    def sweep(self, w, h, x0, y0, x1, y1, hit):
        hit.t = 2.0
        for col in range(tdiv(min(x0, x1)), tdiv(max(x0, x1) + w) + 1):
            if col < 0 or col >= self.cols:
                continue
            for row in range(tdiv(min(y0, y1)), tdiv(max(y0, y1) + h) + 1):
                if row < 0 or row >= self.rows:
                    continue
                k = self.kinds[row][col]
                if k == TILE_EMPTY:
                    continue
                if swept_box_test(x0, y0, x1, y1, (col * 32 - w, row * 32 - h, col * 32 + 32, row * 32 + 32), hit):
                    hit.col, hit.row, hit.kind = col, row, k
        return hit.t <= 1

    def set_tile(self, col, row, kind):
        self.kinds[row][col] = kind

    def scroll_by(self, dx):
        self.scroll = min(self.scroll + dx, (self.cols - 20) * 32)


class Sprite:
    def __init__(self, world, kind, x, y, w, h):
        self.world, self.kind, self.x, self.y, self.width, self.height = world, kind, x, y, w, h
        self.active, self.onGround = 1, 1
        self.vx = self.vy = self.ax = self.ay = 0.0
        self.facing, self.action = RIGHT, PLAIN
        self.alive = True

    def set_action(self, action, facing=-1):
        self.action = action
        if facing != -1:
            self.facing = facing

    def turn_around(self):
        self.facing = 1 - self.facing

    def rect(self):
        return (self.x, self.y, self.x + self.width, self.y + self.height)

    def plain_step(self, dt):
        self.vx += self.ax * dt
        self.vy += self.ay * dt
        self.x += self.vx * dt
        self.y += self.vy * dt

    def update(self, dt):
        self.plain_step(dt)

    def check_support(self):
        if self.onGround:
            if not self.world.map.sweep(self.width, self.height, self.x, self.y, self.x, self.y + 2, Hit()):
                self.onGround, self.ay, self.ax = 0, 1200.0, 0.0

    def sweep_against(self, x0, y0, other, hit):
        left, top, right, bottom = other.rect()
        return swept_box_test(x0, y0, self.x, self.y, (left - self.width, top - self.height, right, bottom), hit)


def is_enemy_target(s):
    """The candidate filter of walking enemies, the runner and bullets."""
    return s.action != KNOCKED and (s.kind in (TURTLE, FLY) or (s.kind == GHOST and s.action != DOWN))


def knock_off(e):
    e.set_action(KNOCKED, RIGHT)
    e.ay, e.vy, e.vx = 1200.0, -200.0, -e.vx


class Ghost(Sprite):
    def rect(self):
        top = self.y + 16 if self.kind in (TURTLE, FLY) else self.y
        return (self.x, top, self.x + self.width, self.y + self.height)

    def update(self, dt):
        if not self.active:
            return
        self.walk(dt)

    def walk(self, dt):
        w = self.world
        x0, y0 = self.x, self.y
        self.plain_step(dt)
        if self.action == KNOCKED:
            return
        hit, hit_actor = Hit(), None
        w.map.sweep(self.width, self.height, x0, y0, self.x, self.y, hit)
        for s in w.sprites:
            if s.alive and is_enemy_target(s) and self.sweep_against(x0, y0, s, hit):
                hit_actor = s
        p = w.player
        if p.action != DOWN and not p.blinking and self.sweep_against(x0, y0, p, hit):
            hit_actor = p
        if hit.t <= 1:
            self.x, self.y = hit.x, hit.y
            if hit_actor is p:
                if hit.side == 1 or hit.y >= 0:
                    p.hurt()
            elif hit_actor is not None or hit.side == 1:
                self.turn_around()
                self.vx = -self.vx
            else:
                if self.vy >= 0:
                    self.onGround = 1
                self.ay, self.vy = 0.0, 0.0
        self.check_support()


class WalkTurtle(Ghost):
    def update(self, dt):
        if not self.active:
            return
        self.turtle(dt)

    def turtle(self, dt):
        if self.action != DOWN:
            self.walk(dt)
            return
        w = self.world
        x0, y0 = self.x, self.y
        self.plain_step(dt)
        hit, hit_actor = Hit(), None
        w.map.sweep(self.width, 32, x0, y0 + 16, self.x, self.y + 16, hit)
        for s in w.sprites:
            if s.alive and s.action != KNOCKED and s.kind in (GHOST, TURTLE, FLY) and self.sweep_against(x0, y0, s, hit):
                hit_actor = s
        p = w.player
        if p.action != DOWN and not p.blinking and self.sweep_against(x0, y0, p, hit):
            hit_actor = p
        if hit.t <= 1:
            self.x, self.y = hit.x, hit.y - 16
            if hit_actor is p:
                p.hurt()
            elif hit_actor is not None:
                knock_off(hit_actor)
            elif hit.side == 0:
                self.ay, self.onGround, self.vy = 0.0, 1, 0.0
            else:
                self.vx = -self.vx
        self.check_support()


class FlyTurtle(WalkTurtle):
    def update(self, dt):
        if not self.active:
            return
        if self.kind == TURTLE:
            self.turtle(dt)
            return
        if self.onGround:
            self.onGround, self.vy, self.ay = 0, -350.0, 600.0
        self.walk(dt)


class Mushroom(Sprite):
    def update(self, dt):
        w = self.world
        x0, y0 = self.x, self.y
        self.plain_step(dt)
        hit = Hit()
        w.map.sweep(self.width, self.height, x0, y0, self.x, self.y, hit)
        got = self.sweep_against(x0, y0, w.player, hit)
        if hit.t <= 1:
            if got:
                w.player.grow()
                w.remove(self)
                return
            self.x, self.y = hit.x, hit.y
            if hit.side == 0:
                self.onGround, self.ay, self.vy = 1, 0.0, 0.0
            else:
                self.vx = -self.vx
        self.check_support()


class Bullet(Sprite):
    def update(self, dt):
        w = self.world
        x0, y0 = self.x, self.y
        self.plain_step(dt)
        hit, hit_actor = Hit(), None
        w.map.sweep(16, 16, x0, y0, self.x, self.y, hit)
        for s in w.sprites:
            if s.alive and is_enemy_target(s) and self.sweep_against(x0, y0, s, hit):
                hit_actor = s
        if hit.t > 1:
            return
        self.x, self.y = hit.x, hit.y
        if hit_actor is not None:
            knock_off(hit_actor)
            w.remove(self)
        elif hit.side == 0:
            self.vy = -self.vy
        else:
            w.remove(self)


class Player(Sprite):
    def __init__(self, world):
        super().__init__(world, 0, 64.0, 383.0, 32, 32)
        self.firePower = self.blinking = 0
        self.blink_left = 0.0
        self.prev = 0
        self.set_action(STAND, RIGHT)

    def hurt(self):
        if self.kind == 1:
            self.kind, self.height, self.firePower = 0, 32, 0
            self.y += 32
            self.blinking, self.blink_left = 1, 3.0
            return
        self.set_action(DOWN, RIGHT)
        self.vy, self.ay, self.vx, self.ax = -500.0, 1200.0, 0.0, 0.0
        self.y -= 10

    def grow(self):
        if self.kind == 0:
            self.kind, self.height, self.blinking = 1, 64, 0
            self.y -= 32

    def fire(self):
        w = self.world
        if sum(1 for s in w.sprites if s.alive and s.kind == BULLET) >= 2:
            return
        y = self.y + 10
        if self.facing == RIGHT:
            x, vx = self.x + self.width, 500.0
        else:
            x, vx = self.x - 16, -500.0
        b = Bullet(w, BULLET, x, y, 16, 16)
        b.vx, b.vy, b.ay = vx, 200.0, 1200.0
        w.add(b)

    def step(self, dt, keys):
        w, m = self.world, self.world.map
        if self.action == DOWN:
            self.plain_step(dt)
            return
        x0, y0, vx0 = self.x, self.y, self.vx
        run = keys & KEY_ACTION
        limit = 400.0 if run and self.onGround else 250.0
        self.vx += self.ax * dt
        self.vy += self.ay * dt
        self.vx = max(-limit, min(limit, self.vx))
        self.x += self.vx * dt
        self.y += self.vy * dt
        if self.x < m.scroll:
            self.x = float(m.scroll)
        if self.onGround and ((vx0 > 0 and self.vx < 0) or (vx0 < 0 and self.vx > 0)):
            self.vx, self.ax = 0.0, 0.0
            self.set_action(STAND)
        if keys & KEY_RIGHT:
            self.steer(RIGHT, 1)
        elif keys & KEY_LEFT:
            self.steer(LEFT, -1)
        if self.onGround and keys & KEY_JUMP and not self.prev & KEY_JUMP:
            self.onGround = 0
            self.set_action(JUMP)
            self.vy = -650.0 if run else -600.0
            self.ay, self.ax = 1200.0, 0.0
        if self.firePower and keys & KEY_ACTION and not self.prev & KEY_ACTION:
            self.fire()
        if self.onGround and not keys & (KEY_RIGHT | KEY_LEFT):
            if self.vx > 0:
                self.ax = -500.0
            elif self.vx < 0:
                self.ax = 500.0
        if self.action == JUMP and self.vy < 0 and not keys & KEY_JUMP and self.prev & KEY_JUMP:
            self.ay += 1250.0
        self.collide(x0, y0)
        self.check_support()
        d = int(self.x) - m.scroll
        if d > 288:
            m.scroll_by(d - 288)
        if self.y > 480:
            self.kind = 0
            self.hurt()
        self.prev = keys
        if self.blinking:
            self.blink_left -= dt
            if self.blink_left < 0:
                self.blinking = 0

    def steer(self, way, sign):
        if self.facing != way and self.onGround:
            self.turn_around()
            if self.action != STAND and self.vx * sign < 0:
                self.ax = 1000.0 * sign
                self.set_action(SKID)
        elif self.facing != way:
            self.ax = 500.0 * sign
        elif self.onGround and self.action != STAND:
            pass
        else:
            self.ax = 500.0 * sign
            if self.action == STAND:
                self.set_action(WALK)

    def collide(self, x0, y0):
        w, m = self.world, self.world.map
        hit, e = Hit(), None
        m.sweep(self.width, self.height, x0, y0, self.x, self.y, hit)
        for s in w.sprites:
            if not s.alive or s.action == KNOCKED:
                continue
            if s.kind in (TURTLE, FLY, MUSHROOM, FLOWER) or (s.kind == GHOST and s.action != DOWN):
                if self.sweep_against(x0, y0, s, hit):
                    e = s
        if hit.t > 1:
            return
        self.x, self.y = hit.x, hit.y
        if e is None:
            self.tile_response(hit)
        elif e.kind == MUSHROOM:
            w.remove(e)
            self.grow()
        elif e.kind == FLOWER:
            w.remove(e)
            if self.kind == 1:
                self.firePower = 1
            else:
                self.grow()
        elif e.action == DOWN:
            if e.vx != 0:
                if hit.side == 1:
                    self.hurt()
                else:
                    e.vx = 0.0
                    self.vy = -150.0
            else:
                if hit.side == 0:
                    self.y = hit.y + 3
                e.vx = 500.0 if e.x + e.width // 2 >= self.x + self.width // 2 else -500.0
        elif self.vy > 0:
            if not e.onGround:
                e.vy, e.ay = 150.0, 1200.0
            self.vy = -150.0
            if e.kind == FLY:
                e.kind = TURTLE
            else:
                e.set_action(DOWN, RIGHT)
                e.vx = 0.0
        elif not self.blinking:
            self.hurt()

    def tile_response(self, hit):
        w, m = self.world, self.world.map
        if hit.side == 1:
            self.vx, self.ax = 0.0, 0.0
            if self.action != JUMP:
                self.set_action(STAND)
        elif self.vy > 0:
            self.vy, self.onGround, self.ay = 0.0, 1, 0.0
            self.set_action(WALK if self.vx != 0 else STAND)
        else:
            self.vy = -self.vy / 3
            self.vx *= 0.5
            col, row = hit.col, hit.row
            if hit.kind == TILE_BRICK:
                if self.kind == 1:
                    m.set_tile(col, row, TILE_EMPTY)
            elif hit.kind == TILE_COIN:
                m.set_tile(col, row, TILE_SOLID)
            elif hit.kind == TILE_POWER:
                m.set_tile(col, row, TILE_SOLID)
                if self.kind == 0:
                    s = Mushroom(w, MUSHROOM, col * 32.0, row * 32.0 - 33, 32, 32)
                    s.vx, s.vy, s.ay = 85.0, -100.0, 1200.0
                else:
                    s = Sprite(w, FLOWER, col * 32.0, row * 32.0 - 33, 32, 32)
                w.add(s)


class World:
    """One level in play: map, runner and actors, as a fresh load makes them."""

    def __init__(self, level):
        self.level = level
        self.map = Map(level)
        self.sprites = []                   # head first
        self.player = Player(self)
        for x, y in level.ghosts:
            self.spawn(Ghost(self, GHOST, float(x), float(y), 32, 32), -75.0)
        for x, y in level.turtles:
            self.spawn(WalkTurtle(self, TURTLE, float(x), float(y), 32, 48), -80.0)
        for x, y in level.flyers:
            t = self.spawn(FlyTurtle(self, FLY, float(x), float(y), 32, 48), -50.0)
            t.onGround, t.ay = 0, 600.0
        self.frame = 0

    def spawn(self, s, vx):
        s.set_action(WALK, LEFT)
        s.vx, s.active = vx, 0
        return self.add(s)

    def add(self, s):
        self.sprites.insert(0, s)
        return s

    def remove(self, s):
        if s.alive:
            s.alive = False
            self.sprites.remove(s)

    def clone(self):
        """An independent copy of the world, to try one future without
        spoiling another."""
        other = World.__new__(World)
        other.level, other.frame = self.level, self.frame
        other.map = Map.__new__(Map)
        other.map.cols, other.map.rows, other.map.scroll = self.map.cols, self.map.rows, self.map.scroll
        other.map.kinds = [row[:] for row in self.map.kinds]
        other.sprites = []
        for s in self.sprites:
            c = copy.copy(s)
            c.world = other
            other.sprites.append(c)
        other.player = copy.copy(self.player)
        other.player.world = other
        return other

    def update(self, keys):
        """One frame; returns "dead", "done" or None."""
        p, m = self.player, self.map
        p.step(DT, keys)
        for s in list(self.sprites):
            if not s.alive:
                continue
            if not s.active and p.x + 640 > s.x:
                s.active = 1
            s.update(DT)
            if s.alive and s.active and (s.y + s.height < 0 or s.y > 480 or s.x < 0 or s.x < m.scroll - 640
                                         or s.x > m.scroll + 1280 or s.x > 32 * m.cols):
                self.remove(s)
        self.frame += 1
        if p.action == DOWN and p.y > 480:
            return "dead"
        if p.x > m.cols * 32:
            return "done"
        return None


def play(level, keys_of_frame, frames, stall=600):
    """Runs keys_of_frame(frame, world) for at most `frames` frames. Returns
    (outcome, frame, world): "dead", "done" or "stuck" (no progress to the
    right for `stall` frames, or out of frames)."""
    world = World(level)
    best, best_frame = world.player.x, 0
    for f in range(frames):
        out = world.update(keys_of_frame(f, world))
        if out:
            return out, f, world
        if world.player.x > best + 1:
            best, best_frame = world.player.x, f
        elif f - best_frame > stall:
            return "stuck", f, world
    return "stuck", frames, world


def blind_rhythms():
    """(name, keys function) of the blind runs: right and run held, jump on a
    fixed rhythm."""
    held = KEY_RIGHT | KEY_ACTION
    yield "no jump", lambda f, w: held
    yield "jump held", lambda f, w: held | KEY_JUMP
    for period in range(2, 91, 2):
        for press in sorted({1, max(1, period // 2), period - 1}):
            yield ("jump %d of every %d frames" % (press, period),
                   (lambda p, q: lambda f, w: held | (KEY_JUMP if f % p < q else 0))(period, press))


def blind(level, frames=60 * 90):
    """Blind runs that finish the level: [(name, frame)], and where the
    others ended: {(outcome, column): count}."""
    through, ends = [], {}
    for name, keys in blind_rhythms():
        out, frame, world = play(level, keys, frames)
        if out == "done":
            through.append((name, frame))
        else:
            where = (out, int(world.player.x // 32))
            ends[where] = ends.get(where, 0) + 1
    return through, ends


KEY_NAMES = {"R": KEY_RIGHT, "L": KEY_LEFT, "A": KEY_ACTION, "J": KEY_JUMP, "-": 0}


def parse_keys(text):
    flags = 0
    for k in text.split("+"):
        flags |= KEY_NAMES[k]
    return flags


def key_text(flags):
    names = [n for n, f in (("R", KEY_RIGHT), ("L", KEY_LEFT), ("A", KEY_ACTION), ("J", KEY_JUMP)) if flags & f]
    return "+".join(names) or "-"


def run_length(played):
    """The keys of every frame as (frames, keys) runs."""
    runs = []
    for k in played:
        if runs and runs[-1][1] == k:
            runs[-1][0] += 1
        else:
            runs.append([1, k])
    return runs


MACRO = 8                                   # frames per search step
MOVES = [KEY_RIGHT | KEY_ACTION, KEY_RIGHT, 0, KEY_LEFT, KEY_RIGHT | KEY_ACTION | KEY_JUMP,
         KEY_RIGHT | KEY_JUMP, KEY_JUMP, KEY_LEFT | KEY_JUMP]


def solve(level, beam=120, per_bucket=4, max_seconds=150, report=None, start=None):
    """Searches for keys that take a small runner through the level without
    ever growing (so without the help of a power-up): a beam
    of futures, each step trying every move for MACRO frames, keeping the
    furthest right (a few per 32 px standing and a few flying, so that
    waiting for an enemy survives).
    Returns (keys of every frame or None, furthest x reached)."""
    start = start or World(level)
    nodes = [(start, None)]                 # (world, (parent, move))
    best_x = 0.0
    for depth in range(int(max_seconds * 60 / MACRO)):
        children, seen = [], set()
        for world, trail in nodes:
            for move in MOVES:
                w = world.clone()
                out = None
                for _ in range(MACRO):
                    out = w.update(move)
                    if out:
                        break
                if out == "dead" or w.player.action == DOWN or w.player.kind or w.player.y > 392:
                    continue                # dying, grown (the proof stays small), or below
                                            # the ground line: falling out of the world
                if out == "done":
                    keys, t = [], (trail, move)
                    while t:
                        t, m = t
                        keys.extend([m] * MACRO)
                    keys.reverse()
                    return keys, w.player.x
                p = w.player
                near = tuple(sorted((int(e.x // 24), e.action) for e in w.sprites
                                    if e.active and e.kind in (GHOST, TURTLE, FLY) and abs(e.x - p.x) < 400))
                key = (int(p.x // 6), int(p.y // 6), int(p.vx // 50), int(p.vy // 80), p.kind, p.onGround,
                       p.prev & KEY_JUMP, near)
                if key in seen:
                    continue
                seen.add(key)
                score = p.x + 150 * p.kind + 60 * p.firePower
                children.append((score, w, (trail, move)))
        if not children:
            return None, best_x
        children.sort(key=lambda c: -c[0])
        kept, per = [], {}
        for score, w, trail in children:
            # a quota per column for standing and for flying runners, so that
            # jumps bound to fall short cannot crowd out those still standing
            b = (int(w.player.x // 32), w.player.onGround)
            if per.get(b, 0) >= per_bucket:
                continue
            per[b] = per.get(b, 0) + 1
            kept.append((w, trail))
            if len(kept) >= beam:
                break
        nodes = kept
        best_x = max(best_x, max(w.player.x for w, _ in nodes))
        if report and depth % 40 == 0:
            report(depth, best_x)
    return None, best_x


def read_keys(path):
    """The keys of every frame from a "FRAMES KEYS" file."""
    played = []
    with open(path) as f:
        for line in f:
            line = line.split(";")[0].split()
            if line:
                played.extend([parse_keys(line[1])] * int(line[0]))
    return played


def trace_events(level, played):
    """What happens along a replay, as lines a person can turn into route
    notes: jumps (where from, where to), stomps, kicks, knock-offs, growing,
    standing still, and the end."""
    w = World(level)
    p = w.player
    col = lambda x: x / 32  # noqa: E731
    states = {}
    out, still, jumped_from = [], 0, None
    for f, keys in enumerate(played + [0] * 60):
        was_ground, was_kind = p.onGround, p.kind
        before = {id(e): (e.kind, e.action, e.vx) for e in w.sprites}
        end = w.update(keys)
        t = "%5.1f s" % (f * DT)
        if was_ground and not p.onGround:
            jumped_from = ("jump" if p.vy < 0 else "walk off", p.x, p.y)
        if not was_ground and p.onGround and jumped_from is not None:
            how, x0, y0 = jumped_from
            if how == "jump" or abs(p.y - y0) > 8:
                out.append("%s  %s at column %.1f, land on column %.1f (on row %d)" % (
                    t, how, col(x0), col(p.x), int((p.y + p.height + 2) // 32)))
            jumped_from = None
        for e in w.sprites:
            k0 = before.get(id(e))
            if not k0:
                continue
            name = {GHOST: "ghost", TURTLE: "turtle", FLY: "winged turtle"}.get(k0[0])
            if not name:
                continue
            if k0[1] == WALK and e.action == DOWN:
                out.append("%s  stomp the %s at column %.1f" % (t, name, col(e.x)))
            elif k0[0] == FLY and e.kind == TURTLE:
                out.append("%s  stomp the winged turtle at column %.1f: its wings are gone" % (t, col(e.x)))
            elif k0[1] == DOWN and k0[2] == 0 and e.vx != 0:
                out.append("%s  kick the shell at column %.1f %s" % (t, col(e.x), "right" if e.vx > 0 else "left"))
            elif k0[1] != KNOCKED and e.action == KNOCKED:
                out.append("%s  the %s at column %.1f is knocked off" % (t, name, col(e.x)))
        if p.kind != was_kind:
            out.append("%s  %s at column %.1f" % (t, "grow" if p.kind else "shrink", col(p.x)))
        if p.onGround and p.vx == 0 and not keys:
            still += 1
        else:
            if still >= 20:
                out.append("%s  (stood still %.1f s at column %.1f)" % (t, still * DT, col(p.x)))
            still = 0
        if end:
            out.append("%s  %s" % (t, end))
            break
    return out


def levels_by_number():
    return {int(name[5:-4]): level for name, (src, level) in levelgen.all_levels(check=False).items()}


def place(world, col):
    """Puts the runner standing on the first floor from the top at column col."""
    terrain, p = levelgen.Terrain(world.level), world.player
    for r in range(1, levelgen.ROWS - 1):
        if terrain.floor(col, r):
            p.x, p.y = col * 32.0, r * 32.0 + 2
            world.map.scroll = max(0, min(int(p.x) - 288, (world.map.cols - 20) * 32))
            return True
    return False


def blind_from(level, col, frames=60 * 90):
    """How many blind runs started at column col finish, of how many."""
    through = total = 0
    for name, keys in blind_rhythms():
        world = World(level)
        if not place(world, col):
            return None
        total += 1
        p, best, best_frame = world.player, world.player.x, 0
        for f in range(frames):
            out = world.update(keys(f, world))
            if out:
                through += out == "done"
                break
            if p.x > best + 1:
                best, best_frame = p.x, f
            elif f - best_frame > 600:
                break
    return through, total


def main():
    args = sys.argv[1:]
    command = args[0] if args else None
    if command not in ("blind", "sections", "solve", "keys", "trace"):
        print(__doc__)
        return 2
    levels = levels_by_number()
    numbers = [int(a) for a in args[1:]] or [n for n in sorted(levels) if n >= 2]
    if command == "blind":
        bad = 0
        for n in numbers:
            through, ends = blind(levels[n])
            bad += bool(through)
            print("level %d: %s" % (n, "no blind run gets through" if not through else
                                    "%d blind runs get through: %s" % (len(through), ", ".join(
                                        "%s (%.1f s)" % (name, f * DT) for name, f in through[:8]))))
            print("   ends: " + ", ".join("%s at %d: %d" % (o, c, k) for (o, c), k in sorted(
                ends.items(), key=lambda e: e[0][1])))
        return 1 if bad else 0
    if command == "sections":
        for n in numbers:
            src = levelgen.read_source(os.path.join(HERE, "level%d.txt" % n))
            for name, first, width in src.sections[1:]:
                got = blind_from(levels[n], first) or blind_from(levels[n], first + 1)
                print("level %d from %-20s (column %3d): %s" % (
                    n, name, first, "no floor" if not got else "%d of %d blind runs get through" % got))
        return 0
    n = numbers[0]
    path = os.path.join(HERE, "routes", "level%d.keys" % n)
    if command == "solve":
        keys, x = solve(levels[n], report=lambda d, x: print("  %5.1f s  furthest column %.1f" % (
            d * MACRO * DT, x / 32), flush=True))
        if keys is None:
            print("level %d: no way found; furthest column %.1f" % (n, x / 32))
            return 1
        print("level %d: through in %.1f s" % (n, len(keys) * DT))
        with open(path, "w") as f:
            f.write("; level %d, found by playtest.py solve: frames and keys, one run a line\n" % n)
            for count, k in run_length(keys):
                f.write("%d %s\n" % (count, key_text(k)))
        print("wrote " + path)
        return 0
    played = read_keys(path)
    if command == "trace":
        for line in trace_events(levels[n], played):
            print(line)
        return 0
    out, frame, world = play(levels[n], lambda f, w: played[f] if f < len(played) else 0,
                             len(played) + 60, stall=10 ** 9)
    p = world.player
    print("level %d: %s at %.1f s, column %.1f, %s" % (n, out, frame * DT, p.x / 32, "big" if p.kind else "small"))
    return 0 if out == "done" else 1


if __name__ == "__main__":
    sys.exit(main())
