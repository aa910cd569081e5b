#!/usr/bin/env python3
"""Plays a level in a model of the game, for designing levels (not shipped).

    python3 tools/levels/playtest.py blind [N ...]      # blind runs on levels N (default: 2 and up)
    python3 tools/levels/playtest.py route N [-v] [--keys]   # play tools/levels/routes/levelN.route
    python3 tools/levels/playtest.py solve N            # search keys through level N: routes/levelN.keys
    python3 tools/levels/playtest.py keys N             # replay routes/levelN.keys

The model follows the game's rules for the runner, the enemies, the blocks,
the power-ups and the bullets at a fixed 60 frames a second; coins, brick
pieces and explosions are left out, since nothing collides with them. It
uses double precision where the game uses single, so a run that the model
finishes by a hair may end otherwise in the game: routes should keep a
margin.

A blind run holds right and run from the first frame and presses jump on a
fixed rhythm, without looking. A level after the first must stop every such
rhythm (the run dies or gets stuck); `blind` lists the rhythms that get
through, so that the level can be changed where they do.

A route file (routes/levelN.route) says how a careful small runner gets
through the level, one command a line (';' starts a comment):
    run COL          hold right and run until the runner's x reaches column COL
    walk COL         the same without run
    back COL         hold left until x is back at column COL
    to COL           walk to column COL and stand still there (to butt a block)
    jump N [K [K2]]  once the runner stands, press jump with keys K (default
                     R+A) for N frames, then hold K2 (default K) until it
                     stands again
    keys N K         hold keys K for N frames
    wait N           no keys for N frames
    stop             no keys until the runner stands still
    stomp [D [K]]    stand still until a walking enemy ahead is within D px
                     (default 70), then jump (holding K, default none) onto it
Keys are R right, L left, A run (action), J jump, joined by '+'; '-' is
none. After the last command the runner holds right and run. --keys prints
the keys of every frame as "FRAMES KEYS" runs: the route as a key script.
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


def read_route(path):
    """[(line number, command, arguments)] of a route file."""
    steps = []
    with open(path) as f:
        for n, line in enumerate(f, 1):
            line = line.split(";")[0].strip()
            if line:
                words = line.split()
                steps.append((n, words[0], words[1:]))
    return steps


class RouteEnd(Exception):
    pass


def run_route(level, steps, trace=None):
    """Plays a route; returns (outcome, world, keys of every frame)."""
    world = World(level)
    p = world.player
    played = []

    def frame(keys):
        played.append(keys)
        out = world.update(keys)
        if out:
            raise RouteEnd(out)

    def hold(keys, done, limit=1800):
        for _ in range(limit):
            if done():
                return
            frame(keys)
        raise RouteEnd("stuck")

    try:
        for n, op, args in steps:
            if op in ("run", "walk"):
                target = float(args[0]) * 32
                hold(KEY_RIGHT | (KEY_ACTION if op == "run" else 0), lambda: p.x >= target)
            elif op == "back":
                target = float(args[0]) * 32
                hold(KEY_LEFT, lambda: p.x <= target)
            elif op == "to":
                target = float(args[0]) * 32
                for _ in range(4):
                    way = KEY_RIGHT if p.x < target else KEY_LEFT
                    if abs(p.x - target) < 3:
                        break
                    # walk, then coast to a stop on the mark (braking at 500 px/s2)
                    hold(way, lambda: abs(p.x - target) <= p.vx * p.vx / 1000 + 2 or
                         (way == KEY_RIGHT) != (p.x < target))
                    hold(0, lambda: p.onGround and p.vx == 0)
            elif op == "jump":
                keys = parse_keys(args[1]) if len(args) > 1 else KEY_RIGHT | KEY_ACTION
                hold(keys & ~KEY_ACTION if not keys & KEY_ACTION else keys, lambda: p.onGround)
                for _ in range(int(args[0])):
                    frame(keys | KEY_JUMP)
                after = parse_keys(args[2]) if len(args) > 2 else keys
                hold(after, lambda: p.onGround)
            elif op == "stomp":
                # stand until a walking enemy ahead comes within reach, then
                # jump straight up and come down on it
                reach = float(args[0]) if args else 70.0
                keys = parse_keys(args[1]) if len(args) > 1 else 0
                hold(0, lambda: p.onGround and p.vx == 0)
                hold(0, lambda: any(e.active and e.kind in (GHOST, TURTLE, FLY) and e.action == WALK and
                                    0 <= e.x - p.x <= reach and abs(e.y + e.height - p.y - p.height) < 40
                                    for e in world.sprites), limit=900)
                for _ in range(30):
                    frame(keys | KEY_JUMP)
                hold(keys, lambda: p.onGround)
            elif op == "keys":
                for _ in range(int(args[0])):
                    frame(parse_keys(args[1]))
            elif op == "wait":
                for _ in range(int(args[0])):
                    frame(0)
            elif op == "stop":
                hold(0, lambda: p.onGround and p.vx == 0)
            else:
                raise ValueError("line %d: unknown command %r" % (n, op))
            if trace:
                trace(n, op, args, world)
        hold(KEY_RIGHT | KEY_ACTION, lambda: False, limit=3600)
    except RouteEnd as e:
        return str(e), world, played
    return "stuck", world, played


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


def solve(level, beam=120, per_bucket=4, max_seconds=150, report=None):
    """Searches for keys that take a small runner through the level without
    ever growing (so without the help of a power-up): a beam
    of futures, each step trying every move for MACRO frames, keeping the
    furthest right (a few per 32 px, so that waiting for an enemy survives).
    Returns (keys of every frame or None, furthest x reached)."""
    start = World(level)
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
                if out == "dead" or w.player.action == DOWN or w.player.kind:
                    continue                # dying, or grown: the proof stays small
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
            b = int(w.player.x // 32)
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


def levels_by_number():
    return {int(name[5:-4]): level for name, (src, level) in levelgen.all_levels(check=False).items()}


def main():
    args = sys.argv[1:]
    if args and args[0] == "solve":
        levels = levels_by_number()
        n = int(args[1])
        keys, x = solve(levels[n], report=lambda d, x: print("  %5.1f s  furthest column %.1f" % (
            d * MACRO * DT, x / 32), flush=True))
        if keys is None:
            print("level %d: no way found; furthest column %.1f" % (n, x / 32))
            return 1
        print("level %d: through in %.1f s" % (n, len(keys) * DT))
        path = os.path.join(HERE, "routes", "level%d.keys" % n)
        with open(path, "w") as f:
            f.write("; level %d, found by playtest.py solve: frames and keys, one run a line\n" % n)
            for count, k in run_length(keys):
                f.write("%d %s\n" % (count, key_text(k)))
        print("wrote " + path)
        return 0
    if args and args[0] == "keys":
        levels = levels_by_number()
        n = int(args[1])
        played = []
        with open(os.path.join(HERE, "routes", "level%d.keys" % n)) as f:
            for line in f:
                line = line.split(";")[0].split()
                if line:
                    played.extend([parse_keys(line[1])] * int(line[0]))
        out, frame, world = play(levels[n], lambda f, w: played[f] if f < len(played) else 0,
                                 len(played) + 60, stall=10 ** 9)
        p = world.player
        print("level %d: %s at %.1f s, column %.1f, %s" % (n, out, frame * DT, p.x / 32, "big" if p.kind else "small"))
        return 0 if out == "done" else 1
    if not args or args[0] not in ("blind", "route"):
        print(__doc__)
        return 2
    levels = levels_by_number()
    if args[0] == "blind":
        wanted = [int(a) for a in args[1:]] or [n for n in sorted(levels) if n >= 2]
        bad = 0
        for n in wanted:
            through, ends = blind(levels[n])
            bad += bool(through)
            print("level %d: %s" % (n, "no blind run gets through" if not through else
                                    "%d blind runs get through: %s" % (len(through), ", ".join(
                                        "%s (%.1f s)" % (name, f * DT) for name, f in through[:8]))))
            print("   ends: " + ", ".join("%s at %d: %d" % (o, c, k) for (o, c), k in sorted(
                ends.items(), key=lambda e: e[0][1])))
        return 1 if bad else 0
    n = int(args[1])
    steps = read_route(os.path.join(HERE, "routes", "level%d.route" % n))

    def trace(line, op, words, world):
        p = world.player
        if "-v" in args:
            print("  %3d %-5s %-12s frame %5d  x %6.1f (col %5.1f) y %5.1f  %s%s" % (
                line, op, " ".join(words), world.frame, p.x, p.x / 32, p.y, "big" if p.kind else "small",
                " fire" if p.firePower else ""))
            near = ["%s%.1f%s" % ("gtw"[e.kind], e.x / 32, {DOWN: "v", KNOCKED: "x"}.get(e.action, ""))
                    for e in world.sprites if e.kind in (GHOST, TURTLE, FLY) and abs(e.x - p.x) < 400]
            if near:
                print("                 near: " + " ".join(near))
    out, world, played = run_route(levels[n], steps, trace)
    p = world.player
    print("level %d: %s at frame %d (%.1f s), x %.0f (column %d), y %.0f, %s%s" % (
        n, out, world.frame, world.frame * DT, p.x, int(p.x // 32), p.y, "big" if p.kind else "small",
        ", fire" if p.firePower else ""))
    if out != "done":
        for e in world.sprites:
            if abs(e.x - p.x) < 200 and e.kind in (GHOST, TURTLE, FLY):
                print("   near: kind %d action %d x %.0f y %.0f vx %.0f" % (e.kind, e.action, e.x, e.y, e.vx))
    if "--keys" in args:
        for count, k in run_length(played):
            print("%d %s" % (count, key_text(k)))
    return 0 if out == "done" else 1


if __name__ == "__main__":
    sys.exit(main())
