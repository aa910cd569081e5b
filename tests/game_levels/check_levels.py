#!/usr/bin/env python3
"""Plays the shipped levels through the real gorbo-sim program.

    check_levels.py GORBO_SIM KEYS_DIR finish N
        levelN.keys from KEYS_DIR, from a fresh start of level N, leaves the
        level to the next one (level 1 after the last) without a death.
    check_levels.py GORBO_SIM KEYS_DIR blind N
        none of a few blind scripts (right and run held throughout, jump
        pressed in a fixed rhythm) finishes level N before its first death.
    check_levels.py GORBO_SIM KEYS_DIR replay FILE
        FILE, a play recorded by gorbo --record, replayed from the game's
        start ends exactly where the recording says the play ended (its
        closing "# end: ..." line, the summary gorbo-sim prints).

The simulator plays the game's data beside it. A death shows in its trace as
a frame that ends with the player dying (action 7) or put back at the
level's start (x 64, at rest, y 383 small or 351 big) within the same level
(a fall below the screen restarts the level within the frame).
Exits 0 when the check holds; prints what happened and exits 1 otherwise.
"""

import csv
import os
import subprocess
import sys
import tempfile

ACT_DOWN = 7
START_X = 64.0
START_YS = (383.0, 351.0)

# (frames between presses, frames the jump is held): short hops, long
# jumps, a fast rhythm and a slow one.
RHYTHMS = [(16, 8), (24, 12), (32, 4), (40, 20), (60, 30), (90, 16)]
BLIND_FRAMES = 4000   # far more than a run across the widest level takes


def play(sim, level, script):
    """Runs the simulator on level with the key script text; the trace rows."""
    with tempfile.TemporaryDirectory() as tmp:
        keys = os.path.join(tmp, "play.keys")
        trace = os.path.join(tmp, "trace.csv")
        with open(keys, "w") as f:
            f.write(script)
        args = [sim, "--level", str(level), "--keys", keys, "--trace", trace]
        done = subprocess.run(args + extra_frames(script), capture_output=True, text=True)
        if done.returncode != 0:
            sys.exit("gorbo-sim failed (%d): %s" % (done.returncode, done.stderr.strip()))
        with open(trace, newline="") as f:
            return list(csv.DictReader(f))


def extra_frames(script):
    """Blind scripts announce their length in their first line."""
    first = script.splitlines()[0]
    if first.startswith("# frames "):
        return ["--frames", first.split()[2]]
    return []


def first_event(rows, level):
    """('death', row), ('end', row) or ('none', last row): what ended the play of level."""
    before = True   # the play starts at the start
    for row in rows:
        if int(row["level"]) != level:
            return "end", row
        at_start = float(row["x"]) == START_X and float(row["vx"]) == 0.0 and float(row["y"]) in START_YS
        if int(row["action"]) == ACT_DOWN or (at_start and not before):
            return "death", row
        before = at_start
    return "none", rows[-1]


def next_level(sim, level):
    data = os.path.join(os.path.dirname(os.path.abspath(sim)), "level")
    return level + 1 if os.path.exists(os.path.join(data, "level%d.dat" % (level + 1))) else 1


def describe(event, row):
    return "%s at frame %s, level %s, x %s, y %s" % (event, row["frame"], row["level"], row["x"], row["y"])


def check_finish(sim, keys_dir, level):
    with open(os.path.join(keys_dir, "level%d.keys" % level)) as f:
        script = f.read()
    rows = play(sim, level, script)
    if int(rows[0]["level"]) != level:
        return ["level %d did not start (frame 1 is in level %s)" % (level, rows[0]["level"])]
    event, row = first_event(rows, level)
    if event != "end":
        return ["level%d.keys: %s" % (level, describe(event, row))]
    if int(row["level"]) != next_level(sim, level):
        return ["level%d.keys: %s, not the next level" % (level, describe(event, row))]
    print("level %d left at frame %s" % (level, row["frame"]))
    return []


def blind_script(period, hold):
    lines = ["# frames %d" % BLIND_FRAMES, "# right and run held, jump %d of every %d frames" % (hold, period)]
    for _ in range(BLIND_FRAMES // period + 1):
        lines.append("%d RAJ" % hold)
        lines.append("%d RA" % (period - hold))
    return "\n".join(lines) + "\n"


def check_blind(sim, level):
    failures = []
    for period, hold in RHYTHMS:
        rows = play(sim, level, blind_script(period, hold))
        event, row = first_event(rows, level)
        print("jump %2d of every %2d frames: %s" % (hold, period, describe(event, row)))
        if event == "end":
            failures.append("level %d finished blindly (jump %d of every %d frames)" % (level, hold, period))
    return failures


def check_replay(sim, path):
    with open(path) as f:
        ends = [line[len("# end: "):].strip() for line in f if line.startswith("# end: ")]
    if len(ends) != 1:
        return ["%s has no single \"# end: \" line" % path]
    done = subprocess.run([sim, "--keys", path], capture_output=True, text=True)
    summary = done.stdout.strip().splitlines()[-1] if done.stdout.strip() else ""
    print("recorded: %s\nreplayed: %s" % (ends[0], summary))
    if done.returncode != 0 or summary != ends[0]:
        return ["the replay of %s ends elsewhere (%d: %s)" % (path, done.returncode, done.stderr.strip())]
    return []


def main():
    if len(sys.argv) != 5 or sys.argv[3] not in ("finish", "blind", "replay"):
        sys.exit(__doc__)
    sim, keys_dir, mode, what = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4]
    if mode == "replay":
        failures = check_replay(sim, os.path.join(keys_dir, what))
    elif mode == "finish":
        failures = check_finish(sim, keys_dir, int(what))
    else:
        failures = check_blind(sim, int(what))
    for failure in failures:
        print("FAIL:", failure)
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
