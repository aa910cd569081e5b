"""The actors' sheets: the runner Gorbo, the ghost, the tortoise and the items.

All characters face right when drawn; left-facing cells are mirror images.
Shapes are painted as shaded ellipses and small strokes, then ringed with the
common "ink" outline, which gives every sheet the same look.
"""

from gfx import Canvas

# ---------------------------------------------------------------- the runner
# Gorbo: a round little wanderer in a teal hood with two soft leaf-shaped
# tips, a wide pale face with big dark eyes, an orange scarf and orange boots.


def _hood(c, cx, cy, scale=1.0, eyes="open", look=1):
    r = scale
    # two leaf tips on the hood, the back one bent backwards
    for (tx, ty, bend) in ((-5, -6, -4), (4, -7, -2)):
        n = int(7 * r)
        for k in range(n):
            w = max(1, int((n - k) * 0.45 + 0.5))
            yy = int(cy + ty * r) - k
            xx = int(cx + tx * r + bend * k / n)
            c.hline(xx - w + 1, xx + w - 1, yy, "t2" if k > n - 3 else "t1")
    c.ellipse(cx, cy, 10.5 * r, 9.5 * r, "t1", shade="t0", light="t2")
    # face opening, pushed towards the way Gorbo looks
    fx = cx + 2.5 * r * look
    c.ellipse(fx, cy + 1.0 * r, 7.0 * r, 6.2 * r, "k1", shade="k0", light="k2", cut=0.6)
    # fringe of the hood over the brow
    c.hline(int(fx - 5 * r), int(fx + 5 * r), int(cy - 4.4 * r), "t0")
    ey = int(cy - 1 * r)
    e1, e2 = int(fx - 2.5 * r * look), int(fx + 2.5 * r * look)
    if look < 0:
        e1, e2 = e1 - 1, e2 - 1
    for ex in (e1, e2):
        if eyes == "open":
            c.rect(ex, ey, max(2, int(2 * r)), int(4 * r), "ink")
            c.set(ex, ey, "white")
        elif eyes == "x":
            for d in range(3):
                c.set(ex - 1 + d, ey + d, "ink")
                c.set(ex + 1 - d, ey + d, "ink")
        elif eyes == "happy":
            c.hline(ex - 1, ex + 1, ey + 1, "ink")
            c.set(ex - 1, ey + 2, "ink")
            c.set(ex + 1, ey + 2, "ink")
    # cheek
    c.set(int(fx + 4 * r * look), int(cy + 3 * r), "r2")
    if eyes == "x":
        c.hline(int(fx - 1), int(fx + 1), int(cy + 4 * r), "ink")


def _boot(c, x, y):
    c.ellipse(x + 0.5, y, 3.6, 2.4, "r1", shade="r0", light="r2")


def _arm(c, shoulder, hand, colour):
    sx, sy = shoulder
    hx, hy = hand
    for d in (0, 1):
        c.line(sx, sy + d, int(hx), int(hy) + d, colour)


def _dust(c, x, y):
    """A puff kicked up by a skid."""
    c.ellipse(x + 0.5, y + 0.5, 2.5, 2.2, "s3", shade="s2")
    c.ellipse(x + 3.0, y - 1.5, 1.6, 1.6, "s3")


def _hand(c, x, y):
    c.ellipse(x, y, 2.2, 2.2, "k1", shade="k0")


# Small-runner poses: body offset, boots (x, y), hands (x, y), scarf tail lift.
SMALL_POSES = {
    "stand": dict(bob=0, boots=[(11, 28), (19, 28)], hands=[(9, 22), (22, 22)], tail=0),
    "walk1": dict(bob=0, boots=[(8, 27), (21, 28)], hands=[(22, 21), (9, 23)], tail=1),
    "walk2": dict(bob=-1, boots=[(13, 28), (17, 26)], hands=[(21, 23), (10, 22)], tail=2),
    "walk3": dict(bob=0, boots=[(21, 27), (9, 28)], hands=[(9, 21), (22, 23)], tail=1),
    "skid": dict(bob=0, boots=[(8, 28), (22, 27)], hands=[(5, 17), (24, 17)], tail=3, lean=-1),
    "jump": dict(bob=-2, boots=[(9, 27), (20, 23)], hands=[(24, 6), (8, 20)], tail=3),
    "down": dict(bob=0, boots=[(9, 28), (21, 28)], hands=[(4, 10), (27, 10)], tail=0, eyes="x"),
    "cheer": dict(bob=-1, boots=[(11, 28), (19, 28)], hands=[(6, 8), (25, 8)], tail=1, eyes="happy"),
}

POSE_ORDER = ["stand", "walk1", "walk2", "walk3", "skid", "jump", "down", "cheer"]


def small_runner(pose):
    p = SMALL_POSES[pose]
    c = Canvas(32, 32)
    bob = p["bob"]
    for bx, by in p["boots"]:
        c.vline(bx, by - 3 + bob // 2, by, "t0")
        c.vline(bx + 1, by - 3 + bob // 2, by, "t0")
        _boot(c, bx, by + 1)
    # body (cloak)
    c.ellipse(15.5, 22.5 + bob, 6.5, 5.0, "t1", shade="t0", light="t2")
    # scarf and its tail, blowing back further the faster Gorbo goes
    c.rect(10, 17 + bob, 12, 2, "r1")
    c.hline(10, 21, 19 + bob, "r0")
    t = p["tail"]
    c.rect(7 - t, 18 + bob - t // 2, 4, 2, "r1")
    c.set(6 - t, 19 + bob - t // 2, "r0")
    hands = p["hands"]
    _arm(c, (12, 20 + bob), hands[1], "t0")
    _arm(c, (19, 20 + bob), hands[0], "t1")
    _hand(c, *hands[1])
    _hood(c, 15.5 + p.get("lean", 0), 10.5 + bob, 1.0, p.get("eyes", "open"))
    _hand(c, *hands[0])
    if pose == "skid":
        _dust(c, 27, 28)
    c.outline()
    return c


BIG_POSES = {
    "stand": dict(bob=0, feet=[(11, 60), (20, 60)], hands=[(8, 38), (24, 38)], tail=0),
    "walk1": dict(bob=0, feet=[(6, 59), (23, 60)], hands=[(25, 36), (7, 39)], tail=2),
    "walk2": dict(bob=-1, feet=[(13, 60), (18, 56)], hands=[(21, 38), (11, 39)], tail=3),
    "walk3": dict(bob=0, feet=[(23, 59), (7, 60)], hands=[(7, 36), (25, 39)], tail=2),
    "skid": dict(bob=0, feet=[(6, 60), (24, 59)], hands=[(4, 28), (27, 28)], tail=4, lean=-1),
    "jump": dict(bob=-2, feet=[(8, 58), (21, 50)], hands=[(25, 6), (7, 34)], tail=4),
    "down": dict(bob=0, feet=[(8, 60), (23, 60)], hands=[(3, 22), (28, 22)], tail=0, eyes="x"),
    "cheer": dict(bob=-1, feet=[(11, 60), (20, 60)], hands=[(5, 14), (26, 14)], tail=2, eyes="happy"),
}


def big_runner(pose):
    p = BIG_POSES[pose]
    c = Canvas(32, 64)
    bob = p["bob"]
    hip = 44 + bob
    for fx, fy in p["feet"]:
        # trouser leg from the hip to the boot, four pixels wide
        hx = 13 if fx < 16 else 18
        for d in range(4):
            c.line(hx + d - 1, hip, fx + d - 1, fy - 3, "e0" if d == 3 else "e1")
        _boot(c, fx, fy)
    # a poncho that flares from the shoulders to the hips
    for y in range(23, 46):
        half = 6 + (y - 23) * 4 // 22
        yy = y + bob
        for x in range(16 - half, 16 + half + 1):
            col = "t1"
            if x > 16 + half - 4 or y > 42:
                col = "t0"
            elif x < 16 - half + 3 and y < 36:
                col = "t2"
            c.set(x, yy, col)
    c.hline(9, 23, 44 + bob, "t0")
    c.rect(15, 30 + bob, 2, 2, "o2")           # clasp
    c.rect(9, 22 + bob, 15, 3, "r1")           # scarf
    c.hline(9, 23, 25 + bob, "r0")
    t = p["tail"]
    c.rect(5 - t, 23 + bob - t // 2, 5, 3, "r1")
    c.hline(4 - t, 8 - t, 26 + bob - t // 2, "r0")
    hands = p["hands"]
    _arm(c, (11, 27 + bob), hands[1], "t0")
    _arm(c, (21, 27 + bob), hands[0], "t1")
    _hand(c, *hands[1])
    _hood(c, 16 + p.get("lean", 0), 13 + bob, 1.05, p.get("eyes", "open"))
    _hand(c, *hands[0])
    if pose == "skid":
        _dust(c, 27, 60)
    c.outline()
    return c


def player_sheet():
    """8 cells a row: small rows at y 0 and 32, big rows at y 64 and 128."""
    sheet = Canvas(256, 192)
    for i, pose in enumerate(POSE_ORDER):
        small, big = small_runner(pose), big_runner(pose)
        sheet.blit(small, i * 32, 0)
        sheet.blit(big, i * 32, 64)
        if i < 6:                      # entries 8..13: the same poses facing left
            sheet.blit(small, i * 32, 32, flip=True)
            sheet.blit(big, i * 32, 128, flip=True)
    return sheet


def icon():
    c = Canvas(32, 32)
    _hood(c, 15.5, 17, 1.4)
    c.rect(9, 30, 14, 2, "r1")
    c.outline()
    return c


# ---------------------------------------------------------------- the ghost
# A violet wisp with one big red-irised eye, a curl of smoke on top and a
# scalloped hem that ripples as it drifts along.

def ghost_cell(phase, squashed=False):
    c = Canvas(32, 32)
    if squashed:
        c.ellipse(16, 25, 14, 6, "p1", shade="p0", light="p2")
        for x in range(4, 29, 6):
            c.ellipse(x + 0.5, 30, 2.0, 1.5, "p1")
        c.ellipse(19, 24, 4, 1.6, "white", shade="p3")    # the eye, squeezed shut
        c.hline(16, 22, 24, "ink")
        c.set(12, 20, "p3")
        c.outline()
        return c
    bob = -1 if phase else 0
    c.ellipse(16, 15 + bob, 11, 11, "p1", shade="p0", light="p2")
    c.rect(5, 15 + bob, 22, 11 - bob, "p1")
    c.rect(19, 16 + bob, 8, 10 - bob, "p0")
    # scalloped hem: four lobes, shifted by the walk phase
    for i in range(4):
        lx = 6 + i * 6 + (2 if phase else 0)
        c.ellipse(lx + 0.5, 27, 3.2, 3.0, "p0" if lx > 18 else "p1")
    # curl on top
    for k, (x, y) in enumerate(((16, 4), (17, 3), (18, 2), (19, 2), (20, 3), (20, 4), (19, 5))):
        c.set(x - phase, y + bob, "p2" if k < 4 else "p1")
    # one eye looking forward
    c.ellipse(19, 13 + bob, 5, 5, "white", shade="p3", cut=0.7)
    c.ellipse(21, 13 + bob, 2.6, 3.2, "eye")
    c.rect(21, 12 + bob, 2, 2, "ink")
    c.set(20, 11 + bob, "white")
    c.hline(14, 17, 6 + bob, "p0")             # a frowning brow
    c.set(22, 7 + bob, "p0")
    c.hline(18, 21, 8 + bob, "p0")
    # mouth with two tiny fangs
    c.hline(16, 24, 21 + bob, "ink")
    c.set(18, 22 + bob, "white")
    c.set(22, 22 + bob, "white")
    c.outline()
    return c


def ghost_sheet():
    sheet = Canvas(192, 32)
    w0, w1 = ghost_cell(0), ghost_cell(1)
    cells = [w0, w1, w0.flipped(), w1.flipped(), ghost_cell(0, squashed=True), w0.vflipped()]
    for i, cell in enumerate(cells):
        sheet.blit(cell, i * 32, 0)
    return sheet


# ---------------------------------------------------------------- the tortoise
# A long-necked tortoise on four stubby legs: a tall terracotta dome with gold
# rim plates, slate-blue skin, and a sleepy heavy-lidded eye.

def _shell(c, cx, cy, peek=False):
    c.ellipse(cx, cy, 12, 11, "b1", shade="b0", light="b2")
    # plates: a ring of lighter tiles on the dome
    for (px, py) in ((cx - 6, cy - 4), (cx, cy - 7), (cx + 6, cy - 4), (cx - 3, cy + 1), (cx + 4, cy + 1)):
        c.ellipse(px, py, 2.6, 2.2, "b2", light="b3")
        c.set(int(px + 1), int(py + 1), "b0")
    # gold rim at the base of the dome
    c.rect(int(cx - 12), int(cy + 5), 24, 3, "o1")
    c.hline(int(cx - 12), int(cx + 11), int(cy + 5), "o2")
    c.hline(int(cx - 12), int(cx + 11), int(cy + 7), "o0")
    for x in range(int(cx - 10), int(cx + 11), 5):
        c.set(x, int(cy + 6), "o3")
    if peek:
        c.rect(int(cx - 7), int(cy + 8), 14, 3, "ink")
        c.set(int(cx - 2), int(cy + 9), "white")
        c.set(int(cx + 3), int(cy + 9), "white")


def _leg(c, x, top, lift):
    c.rect(x, top, 4, 7 - lift, "s1")
    c.vline(x, top, top + 6 - lift, "s2")
    c.hline(x - 1, x + 4, top + 6 - lift, "s0")


def tortoise_cell(phase, winged=False, flap=0):
    c = Canvas(32, 48)
    # legs (back pair first)
    lifts = (0, 2) if phase == 0 else (2, 0)
    _leg(c, 6, 39, lifts[0])
    _leg(c, 20, 39, lifts[1])
    # tail
    c.hline(1, 3, 39, "s1")
    # neck rising forwards, then the head
    for k in range(8):
        c.rect(20 + k // 2, 31 - k * 2, 6, 3, "s1")
        c.set(20 + k // 2, 31 - k * 2, "s2")
        c.set(25 + k // 2, 32 - k * 2, "s0")
    c.ellipse(26, 14, 5.4, 4.6, "s1", shade="s0", light="s2")
    c.hline(27, 30, 16, "s0")                 # mouth line
    c.rect(26, 12, 3, 2, "white")
    c.rect(27, 12, 2, 2, "ink")
    c.hline(25, 29, 11, "s0")                 # heavy lid
    c.set(23, 10, "o2")                        # a gold stud on the brow
    c.set(24, 10, "o3")
    _shell(c, 13, 32)
    if winged:
        # a feathered wing on the shell, beating with the walk
        _wing(c, 9, 23, up=(flap == 0))
    c.outline()
    return c


def _wing(c, x, y, up):
    """Three stacked feathers fanning from (x, y), raised or lowered."""
    feathers = ((0, -4, 5.5, 2.4), (-3, -8, 5.0, 2.2), (-6, -12, 4.4, 2.0)) if up else \
               ((-3, -2, 5.5, 2.4), (-7, -4, 5.0, 2.2), (-10, -6, 4.4, 2.0))
    for i, (dx, dy, rx, ry) in enumerate(reversed(feathers)):
        c.ellipse(x + dx, y + dy, rx, ry, "white" if i % 2 else "c1", shade="c0", cut=0.5)


def shell_cell(winged=False):
    c = Canvas(32, 48)
    _shell(c, 16, 35, peek=True)
    if winged:
        _wing(c, 10, 27, up=False)
    c.outline()
    return c


def turtle_sheet():
    sheet = Canvas(192, 96)
    for row, winged in ((0, False), (48, True)):
        w0 = tortoise_cell(0, winged, flap=0)
        w1 = tortoise_cell(1, winged, flap=1)
        cells = [w0, w1, w0.flipped(), w1.flipped(), shell_cell(winged), w0.vflipped()]
        for i, cell in enumerate(cells):
            sheet.blit(cell, i * 32, row)
    return sheet


# ---------------------------------------------------------------- items

def coin_sheet():
    sheet = Canvas(48, 32)
    for i, rx in enumerate((5.6, 3.4, 1.2)):
        c = Canvas(16, 32)
        c.ellipse(8, 16, rx, 9.5, "o1", shade="o0", light="o3")
        if rx > 3:
            c.ellipse(8, 16, rx - 2.0, 7.0, "o2", light="o3")
            c.vline(8, 12, 20, "o1")           # an embossed notch
            c.set(int(8 - rx + 2.5), 11, "white")
        c.outline()
        sheet.blit(c, i * 16, 0)
    return sheet


def mushroom():
    # a squat teal bell cap with golden freckles on a short cream stem
    c = Canvas(32, 32)
    c.ellipse(16, 24, 6, 6.5, "k2", shade="k1")
    c.rect(11, 27, 10, 3, "k1")
    c.ellipse(16, 14, 13, 9, "t1", shade="t0", light="t2")
    c.rect(3, 15, 26, 4, "t1")
    c.hline(3, 28, 19, "t0")
    for (x, y, r) in ((9, 12, 2.0), (17, 8, 2.4), (24, 14, 1.8), (14, 16, 1.4)):
        c.ellipse(x, y, r, r, "o2", light="o3")
    c.outline()
    return c


def flower():
    # a flame tulip: three pointed petals curling like a flame, two leaves
    c = Canvas(32, 32)
    c.vline(15, 16, 30, "g1")
    c.vline(16, 16, 30, "g0")
    c.ellipse(10, 25, 5, 2.2, "g2", shade="g1")
    c.ellipse(22, 23, 5, 2.2, "g2", shade="g1")
    c.ellipse(16, 12, 8, 7, "r1", shade="r0", light="r2")
    for (tx, ty, bx) in ((9, 1, 10), (16, 0, 16), (23, 1, 22)):
        for k in range(9):
            w = max(0, (k + 1) // 3)
            c.hline(tx + (bx - tx) * k // 9 - w, tx + (bx - tx) * k // 9 + w, ty + k,
                    "r2" if k < 4 else "r1")
    c.ellipse(16, 12, 3, 3.5, "o2", light="o3")
    c.set(16, 10, "white")
    c.outline()
    return c


def debris_sheet():
    sheet = Canvas(64, 16)
    chunk = ["BBBBBB....",
             "BbbbbbB...",
             "BbbbbbbB..",
             "Bbbbbbbbb.",
             "MMMMMMMMMM",
             "bbbMbbbbb.",
             "bbbMbbbb..",
             ".bbMbb...."]
    cmap = {"b": "b1", "B": "b3", "M": "b0"}
    for i in range(4):
        c = Canvas(16, 16)
        c.stamp(chunk, cmap, 3, 4)
        rot = c
        for _ in range(i):
            r = Canvas(16, 16)
            for y in range(16):
                for x in range(16):
                    r.px[x][15 - y] = rot.px[y][x]
            rot = r
        rot.outline()
        sheet.blit(rot, i * 16, 0)
    return sheet


def bullet_sheet():
    sheet = Canvas(64, 16)
    import math
    for i in range(4):
        c = Canvas(16, 16)
        c.ellipse(8, 8, 5.0, 5.0, "r1", shade="r0")
        c.ellipse(8, 8, 3.2, 3.2, "r2")
        c.ellipse(8, 8, 1.6, 1.6, "o3")
        # a bright tongue of flame orbiting the ball
        for k in range(3):
            a = i * math.pi / 2 + k * 0.45
            x = int(round(8 + math.cos(a) * 5.5))
            y = int(round(8 - math.sin(a) * 5.5))
            c.set(x, y, "o2" if k else "white")
        c.outline()
        sheet.blit(c, i * 16, 0)
    return sheet


def explode_sheet():
    import math
    sheet = Canvas(96, 32)
    for i in range(3):
        c = Canvas(32, 32)
        if i == 0:
            c.ellipse(16, 16, 6, 6, "o2", light="o3")
            c.ellipse(16, 16, 3, 3, "white")
        elif i == 1:
            c.ellipse(16, 16, 11, 11, "r1", shade="r0", light="r2")
            c.ellipse(16, 16, 7, 7, "o2")
            c.ellipse(16, 16, 3.5, 3.5, "o3")
        else:
            for k in range(7):
                a = k * 2 * math.pi / 7 + 0.3
                c.ellipse(16 + math.cos(a) * 9, 16 + math.sin(a) * 9, 3.5, 3.5, "s3", shade="s2")
            c.ellipse(16, 16, 3, 3, "r2")
        # sparks
        for k in range(8):
            a = k * math.pi / 4 + i * 0.4
            rad = 8 + i * 5
            c.set(int(16 + math.cos(a) * rad), int(16 + math.sin(a) * rad), "o2" if i < 2 else "s2")
        c.outline()
        sheet.blit(c, i * 32, 0)
    return sheet
