"""The two background pieces as standard MIDI files (format 1, GM instruments).

back1.mid, "Meadow Step": C major, 136 beats a minute, 32 bars (about 57 s);
ocarina tune, finger bass, electric-piano off-beat chords, drums.
back2.mid, "Hollow Lament": A minor, 92 beats a minute, 24 bars (about 63 s);
clarinet tune, acoustic bass, string pad, harp arpeggios, soft drums.
Both tunes and their harmony are written out below note by note.
"""

import struct

PPQ = 480
NOTE = {"C": 0, "D": 2, "E": 4, "F": 5, "G": 7, "A": 9, "B": 11}
CHORDS = {  # root pitch class and intervals
    "C": (0, (0, 4, 7)), "Dm": (2, (0, 3, 7)), "Em": (4, (0, 3, 7)), "E": (4, (0, 4, 7)),
    "F": (5, (0, 4, 7)), "G": (7, (0, 4, 7)), "Am": (9, (0, 3, 7)),
}


def pitch(name):
    """'C5' -> 72, 'G#4' -> 68."""
    n = NOTE[name[0]]
    rest = name[1:]
    if rest.startswith("#"):
        n, rest = n + 1, rest[1:]
    elif rest.startswith("b"):
        n, rest = n - 1, rest[1:]
    return 12 * (int(rest) + 1) + n


def tune(text):
    """'E5:1 r:.5 ...' -> list of (pitch or None, beats)."""
    out = []
    for tok in text.split():
        name, beats = tok.split(":")
        out.append((None if name == "r" else pitch(name), float(beats)))
    return out


class Track:
    def __init__(self, name, channel, program=None, volume=88):
        self.name, self.channel = name, channel
        self.events = []  # (tick, order, bytes)
        if program is not None:
            self.events.append((0, 0, bytes((0xC0 | channel, program))))
        # channel volume below the maximum leaves headroom when all parts sound
        self.events.append((0, 0, bytes((0xB0 | channel, 7, volume))))

    def note(self, tick, key, beats, vel):
        length = max(1, int(beats * PPQ) - 12)
        self.events.append((int(tick), 2, bytes((0x90 | self.channel, key, vel))))
        self.events.append((int(tick) + length, 1, bytes((0x80 | self.channel, key, 0))))

    def chunk(self, end_tick):
        data = bytearray()
        name = self.name.encode("ascii")
        data += b"\x00\xff\x03" + _vlq(len(name)) + name
        last = 0
        for tick, _, ev in sorted(self.events, key=lambda e: (e[0], e[1])):
            data += _vlq(tick - last) + ev
            last = tick
        data += _vlq(max(0, end_tick - last)) + b"\xff\x2f\x00"
        return b"MTrk" + struct.pack(">I", len(data)) + bytes(data)


def _vlq(n):
    out = [n & 0x7F]
    n >>= 7
    while n:
        out.append(0x80 | (n & 0x7F))
        n >>= 7
    return bytes(reversed(out))


def midi_file(title, bpm, tracks, end_tick):
    tempo = int(round(60_000_000 / bpm))
    head = bytearray()
    t = title.encode("ascii")
    head += b"\x00\xff\x03" + _vlq(len(t)) + t
    head += b"\x00\xff\x51\x03" + tempo.to_bytes(3, "big")
    head += b"\x00\xff\x58\x04\x04\x02\x18\x08"
    head += _vlq(end_tick) + b"\xff\x2f\x00"
    conductor = b"MTrk" + struct.pack(">I", len(head)) + bytes(head)
    body = b"".join(tr.chunk(end_tick) for tr in tracks)
    return b"MThd" + struct.pack(">IHHH", 6, 1, 1 + len(tracks), PPQ) + conductor + body


def lay_tune(track, notes, start, vel):
    tick = start
    for key, beats in notes:
        if key is not None:
            track.note(tick, key, beats, vel)
        tick += beats * PPQ
    return tick


def _bars(notes, count):
    """The notes of the first count bars of 4/4."""
    out, beats = [], 0.0
    for key, b in notes:
        if beats >= count * 4:
            break
        out.append((key, b))
        beats += b
    return out


def chord_keys(name, octave):
    root, ivs = CHORDS[name]
    base = 12 * (octave + 1) + root
    return [base + i for i in ivs]


# ------------------------------------------------------------ back1: Meadow Step

MEADOW_A = """
E5:1 G5:.5 E5:.5 C5:1 D5:1     D5:.5 E5:.5 D5:.5 B4:.5 G4:2
A4:1 C5:.5 E5:.5 A5:1 G5:1     F5:1.5 E5:.5 C5:1 A4:1
G4:.5 C5:.5 E5:.5 G5:.5 C6:1 B5:.5 A5:.5
A5:1 F5:1 C5:1 A5:.5 G5:.5     G5:1 D5:.5 E5:.5 F5:1 B4:1     C5:2 r:1 G4:1
"""
MEADOW_A2_TAIL = """
F5:1 A5:.5 F5:.5 D5:1 F5:1     G5:.5 F5:.5 E5:.5 D5:.5 B4:2
E5:1 G5:1 C6:1.5 B5:.5         C6:3 r:1
"""
MEADOW_B = """
C5:.5 F5:.5 A5:1 G5:.5 F5:.5 E5:1     D5:.5 G5:.5 B5:1 A5:.5 G5:.5 F5:1
E5:1 G5:1 B5:1 G5:1                   A5:2 E5:1 C5:1
F5:.5 G5:.5 A5:.5 C6:.5 A5:1 F5:1     G5:.5 A5:.5 B5:.5 D6:.5 B5:1 G5:1
C6:1 B5:.5 A5:.5 E5:1 A5:1            G5:1 B4:1 D5:1 G5:1
"""
MEADOW_CHORDS = ("C G Am F C F G C  C G Am F Dm G C C  "
                 "F G Em Am F G Am G  C G Am F Dm G C C").split()


def meadow():
    bpm, bar = 136, 4 * PPQ
    a1 = tune(MEADOW_A)
    a2 = _bars(a1, 4) + tune(MEADOW_A2_TAIL)   # the same first four bars
    melody = a1 + a2 + tune(MEADOW_B) + a2
    lead = Track("Ocarina", 0, 79, volume=100)
    lay_tune(lead, melody, 0, 100)
    # a xylophone doubles the tune an octave down in the B section
    xylo = Track("Xylophone", 3, 13)
    lay_tune(xylo, [(k - 12 if k else None, b) for k, b in tune(MEADOW_B)], 16 * bar, 70)
    bass = Track("Bass", 1, 33)
    keys = Track("Keys", 2, 4)
    drums = Track("Drums", 9)
    n = len(MEADOW_CHORDS)
    for i, name in enumerate(MEADOW_CHORDS):
        t0 = i * bar
        root = chord_keys(name, 2)[0]
        last = i == n - 1
        if last:
            bass.note(t0, root, 4, 96)
        else:
            for off, step, beats in ((0, 0, 1), (1, 7, 1), (2, 12, .5), (2.5, 7, .5), (3, 0, 1)):
                bass.note(t0 + off * PPQ, root + step, beats, 96)
        for beat in ((0,) if last else (0.5, 1.5, 2.5, 3.5)):
            for k in chord_keys(name, 4):
                keys.note(t0 + beat * PPQ, k, 4 if last else .4, 64)
        if i % 8 == 0 or last:
            drums.note(t0, 49, 1, 90)            # crash at each section
        if last:
            drums.note(t0, 36, 1, 110)
            continue
        for beat in (0, 2):
            drums.note(t0 + beat * PPQ, 36, .5, 110)
        for beat in (1, 3):
            drums.note(t0 + beat * PPQ, 38, .5, 96)
        for e in range(8):
            drums.note(t0 + e * PPQ // 2, 42, .25, 70 if e % 2 else 84)
        if i % 8 == 7:
            for e in range(4):
                drums.note(t0 + (2 + e * .5) * PPQ, (50, 48, 45, 41)[e], .5, 90)
    end = n * bar
    return midi_file("Meadow Step", bpm, [lead, bass, keys, xylo, drums], end)


# ------------------------------------------------------------ back2: Hollow Lament

HOLLOW_A_HEAD = """
A4:1.5 B4:.5 C5:1 E5:1     F5:2 E5:1 C5:1
D5:1.5 E5:.5 F5:1 A5:1     G#5:2 E5:2
A5:1 G5:.5 F5:.5 E5:1 C5:1     D5:1 C5:.5 B4:.5 A4:2
"""
HOLLOW_A_TAIL = "B4:1 D5:1 G5:1 F5:1     E5:3 r:1"
HOLLOW_B = """
F5:1 E5:1 D5:1 A4:1        C5:1.5 B4:.5 A4:2
D5:1 F5:1 A5:1.5 G5:.5     G#5:1 B5:1 E5:2
A5:1 C6:1 A5:1 F5:1        G5:1 E5:1 C5:2
D5:1 F5:.5 E5:.5 D5:1 C5:1     B4:1 G#4:1 E4:1 r:1
"""
HOLLOW_END_TAIL = "B4:1 D5:1 G#5:1 B5:1     A5:4"
HOLLOW_CHORDS = ("Am F Dm E Am F G E  Dm Am Dm E F C Dm E  "
                 "Am F Dm E Am F E Am").split()


def hollow():
    bpm, bar = 92, 4 * PPQ
    melody = (tune(HOLLOW_A_HEAD + HOLLOW_A_TAIL) + tune(HOLLOW_B)
              + tune(HOLLOW_A_HEAD + HOLLOW_END_TAIL))
    lead = Track("Clarinet", 0, 71, volume=100)
    lay_tune(lead, melody, 0, 96)
    bass = Track("Bass", 1, 32)
    pad = Track("Strings", 2, 48)
    harp = Track("Harp", 3, 46)
    drums = Track("Drums", 9)
    n = len(HOLLOW_CHORDS)
    for i, name in enumerate(HOLLOW_CHORDS):
        t0 = i * bar
        last = i == n - 1
        root = chord_keys(name, 2)[0]
        if last:
            bass.note(t0, root, 4, 90)
        else:
            bass.note(t0, root, 2, 90)
            bass.note(t0 + 2 * PPQ, root + 7 if i % 2 == 0 else root + 12, 2, 84)
        for k in chord_keys(name, 3)[1:] + [chord_keys(name, 4)[0]]:
            pad.note(t0, k, 4, 52)
        low = chord_keys(name, 3)
        figure = [low[0], low[1], low[2], low[0] + 12, low[2] + 12, low[0] + 12, low[2], low[1]]
        for e, k in enumerate(figure[:1] if last else figure):
            harp.note(t0 + e * PPQ // 2, k, 2 if last else .5, 58 if e else 66)
        if last:
            drums.note(t0, 35, 1, 80)
            continue
        drums.note(t0, 35, .5, 84)
        if i >= 8:
            drums.note(t0 + 2.5 * PPQ, 35, .5, 70)
        drums.note(t0 + 2 * PPQ, 37, .5, 70)
        for beat in range(4):
            drums.note(t0 + beat * PPQ, 42, .25, 48)
        if i % 8 == 7:
            drums.note(t0 + 3 * PPQ, 47, .5, 70)
            drums.note(t0 + 3.5 * PPQ, 45, .5, 66)
    end = n * bar
    return midi_file("Hollow Lament", bpm, [lead, bass, pad, harp, drums], end)


PIECES = {"back1.mid": meadow, "back2.mid": hollow}
