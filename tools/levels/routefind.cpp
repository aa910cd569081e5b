// gorbo-route: finds keys that take a small player from a level's start off
// its right end without a death, by a beam search over the real game logic
// (the simulator's library, frame for frame as gorbo-sim plays them).
//
// A candidate is a list of key choices, each held for a few frames. Every
// round, each candidate of the beam is extended by every choice and played
// from the level's start (the game keeps its state in globals, so a play is
// replayed rather than copied). Candidates that die are dropped; the rest are
// ranked by how far right the player got, keeping at most a few per map
// cell and one per position and speed, so that slower candidates that wait
// for an enemy survive beside the fastest. The first candidate that reaches
// the next level is written as a key script; when none does, the keys of
// the farthest play are written instead (exit status 1), a prefix for a
// finer search.
//
// With --jitter K every candidate must also survive K plays whose frames
// come at uneven steps, with its keys changing by the clock: a script meant
// to be pressed in real time by a key-pressing tool, not replayed frame for
// frame.
//
// usage: gorbo-route --data DIR --level N [--dt S] [--chunk F] [--beam B]
//                    [--per-column K] [--rounds R] [--prefix FILE]
//                    [--jitter K] > levelN.keys
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <system_error>
#include <tuple>
#include <vector>

#include "gameflow.h"
#include "input.h"
#include "player.h"
#include "replay.h"
#include "simulator.h"
#include "sprite.h"
#include "tilemap.h"

namespace {

struct Options {
    std::string data;
    int level = 1;
    float dt = 0.016f;
    int chunk = 8;          // frames a choice is held
    std::size_t beam = 30;  // candidates kept per round
    int perColumn = 4;      // of them at most this many per map cell
    int rounds = 600;
    std::string prefix;     // a key script played before the search
    int jitter = 0;         // uneven clocks each candidate must survive too
};

const std::uint8_t R = KEY_RIGHT;
const std::uint8_t L = KEY_LEFT;
const std::uint8_t A = KEY_ACTION;
const std::uint8_t J = KEY_JUMP;
const std::uint8_t CHOICES[] = {R | A, R | A | J, R, R | J, 0, J, L, L | A | J};

struct Outcome {
    bool dead = false;
    bool finished = false;
    long long finishFrame = 0;   // the frame that loaded the next level
    float x = 0, y = 0, vx = 0, vy = 0;
    int kind = 0;
};

struct Candidate {
    std::vector<std::uint8_t> choices;
    Outcome out;
};

// Plays the prefix, then the choices, from the level's start: with seed 0
// every frame at the step, each choice for chunk frames; otherwise with
// uneven steps drawn from the seed, each choice for chunk steps' time, as
// keys pressed by the clock reach a game whose frames come unevenly.
Outcome PlayOnce(const Options& o, const std::vector<KeyRun>& prefix, const std::vector<std::uint8_t>& choices,
                 std::uint32_t seed)
{
    Outcome out;
    if (!SimStart(o.level))
        return out;
    const int level = g_level;
    long long frame = 0;
    auto frameDone = [&]() {
        ++frame;
        if (g_level != level) {
            out.finished = g_level == level + 1 || g_level == 1;
            out.dead = !out.finished;
            out.finishFrame = frame;
            return true;
        }
        // A fall below the screen restarts the level within the frame.
        if (g_player.action == ACT_DOWN || (frame > 1 && g_player.x == 64.0f && g_player.vx == 0.0f &&
                                            (g_player.y == 383.0f || g_player.y == 351.0f))) {
            out.dead = true;
            return true;
        }
        return false;
    };
    for (const KeyRun& run : prefix)
        for (long long i = 0; i < run.count; ++i) {
            SimFrame(run.hasDt ? run.dt : o.dt, run.keys);
            if (frameDone())
                return out;
        }
    if (seed == 0) {
        for (std::uint8_t keys : choices)
            for (int i = 0; i < o.chunk; ++i) {
                SimFrame(o.dt, keys);
                if (frameDone())
                    return out;
            }
    } else {
        // Steps from 0.6 to 1.9 times the step, the keys by elapsed time.
        std::uint32_t state = seed;
        const double chunkTime = static_cast<double>(o.dt) * o.chunk;
        double elapsed = 0.0;
        for (;;) {
            const auto index = static_cast<std::size_t>(elapsed / chunkTime);
            if (index >= choices.size())
                break;
            state = state * 1664525u + 1013904223u;
            const float dt = o.dt * (0.6f + 1.3f * static_cast<float>(state >> 8) / 16777216.0f);
            SimFrame(dt, choices[index]);
            elapsed += static_cast<double>(dt);
            if (frameDone())
                return out;
        }
    }
    out.x = g_player.x;
    out.y = g_player.y;
    out.vx = g_player.vx;
    out.vy = g_player.vy;
    out.kind = g_player.kind;
    return out;
}

// The play at the step, and with --jitter K also under K uneven clocks: it
// dies when any of them dies, finishes when the even one finishes and none
// has died, and its progress is the least of theirs.
Outcome Play(const Options& o, const std::vector<KeyRun>& prefix, const std::vector<std::uint8_t>& choices)
{
    Outcome out = PlayOnce(o, prefix, choices, 0);
    for (int k = 1; k <= o.jitter && !out.dead; ++k) {
        const Outcome other = PlayOnce(o, prefix, choices, static_cast<std::uint32_t>(k) * 2654435761u);
        out.dead = other.dead;
        if (!other.finished && other.x < out.x)
            out.x = other.x;
    }
    return out;
}

// The beam for the next round: the farthest first, at most perColumn per
// map cell (so that a play up on a block is kept beside those on the
// ground below it), one per (position, speed) bucket.
std::vector<Candidate> Select(std::vector<Candidate> all, const Options& o)
{
    std::stable_sort(all.begin(), all.end(),
                     [](const Candidate& a, const Candidate& b) { return a.out.x > b.out.x; });
    std::map<std::pair<int, int>, int> perCell;
    std::map<std::tuple<int, int, int, int, int>, bool> seen;
    std::vector<Candidate> kept;
    for (Candidate& c : all) {
        const Outcome& r = c.out;
        const auto key = std::make_tuple(static_cast<int>(r.x / 4), static_cast<int>(r.y / 8),
                                         static_cast<int>(r.vx / 60), static_cast<int>(r.vy / 150), r.kind);
        const auto cell = std::make_pair(static_cast<int>(r.x / 32), static_cast<int>(r.y / 32));
        if (seen[key] || perCell[cell] >= o.perColumn)
            continue;
        seen[key] = true;
        ++perCell[cell];
        kept.push_back(std::move(c));
        if (kept.size() >= o.beam)
            break;
    }
    return kept;
}

// The prefix's runs, then the choices' frames up to the one that loaded the
// next level, merged into runs.
std::string Script(const Options& o, const std::vector<KeyRun>& prefix, const Candidate& c)
{
    std::vector<KeyRun> runs = prefix;
    long long frames = 0;
    for (const KeyRun& run : prefix)
        frames += run.count;
    for (std::uint8_t keys : c.choices)
        for (int i = 0; i < o.chunk && frames < c.out.finishFrame; ++i, ++frames) {
            if (!runs.empty() && runs.back().keys == keys && !runs.back().hasDt)
                ++runs.back().count;
            else
                runs.push_back(KeyRun{1, keys, false, 0.0f});
        }
    std::string s;
    for (const KeyRun& run : runs)
        s += FormatKeyRun(run);
    return s;
}

bool ParseOptions(int argc, char** argv, Options& o)
{
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        const char* value = argv[i + 1];
        if (name == "--data")
            o.data = value;
        else if (name == "--level")
            o.level = std::atoi(value);
        else if (name == "--dt")
            o.dt = std::strtof(value, nullptr);
        else if (name == "--chunk")
            o.chunk = std::atoi(value);
        else if (name == "--beam")
            o.beam = static_cast<std::size_t>(std::atoi(value));
        else if (name == "--per-column")
            o.perColumn = std::atoi(value);
        else if (name == "--rounds")
            o.rounds = std::atoi(value);
        else if (name == "--prefix")
            o.prefix = value;
        else if (name == "--jitter")
            o.jitter = std::atoi(value);
        else
            return false;
    }
    return argc % 2 == 1 && !o.data.empty() && o.chunk > 0 && o.beam > 0;
}

}  // namespace

int main(int argc, char** argv)
{
    Options o;
    if (!ParseOptions(argc, argv, o)) {
        std::fprintf(stderr,
                     "usage: gorbo-route --data DIR --level N [--dt S] [--chunk F] [--beam B]\n"
                     "                   [--per-column K] [--rounds R] [--prefix FILE] [--jitter K]\n");
        return 2;
    }
    std::vector<KeyRun> prefix;
    if (!o.prefix.empty()) {
        std::ifstream in(o.prefix);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::string error;
        if (!in || !ParseKeyScript(text, prefix, error)) {
            std::fprintf(stderr, "gorbo-route: %s: %s\n", o.prefix.c_str(), error.c_str());
            return 2;
        }
    }
    std::error_code ec;
    std::filesystem::current_path(o.data, ec);
    if (ec) {
        std::fprintf(stderr, "gorbo-route: %s: %s\n", o.data.c_str(), ec.message().c_str());
        return 2;
    }
    std::vector<Candidate> beam = {Candidate{{}, Play(o, prefix, {})}};
    if (beam[0].out.dead) {
        std::fprintf(stderr, "gorbo-route: the prefix dies\n");
        return 1;
    }
    Candidate best = beam[0];
    for (int round = 1; round <= o.rounds && !beam.empty(); ++round) {
        std::vector<Candidate> next;
        for (const Candidate& c : beam)
            for (std::uint8_t keys : CHOICES) {
                Candidate n{c.choices, {}};
                n.choices.push_back(keys);
                n.out = Play(o, prefix, n.choices);
                if (n.out.finished) {
                    std::fputs(Script(o, prefix, n).c_str(), stdout);
                    std::fprintf(stderr, "gorbo-route: level %d finished in round %d\n", o.level, round);
                    return 0;
                }
                if (!n.out.dead)
                    next.push_back(std::move(n));
            }
        beam = Select(std::move(next), o);
        if (!beam.empty() && beam[0].out.x > best.out.x)
            best = beam[0];
        if (round % 10 == 0 && !beam.empty())
            std::fprintf(stderr, "round %d: best x %.0f, %zu kept\n", round, static_cast<double>(beam[0].out.x),
                         beam.size());
    }
    // The farthest play, as a start for a search with other settings.
    best.out.finishFrame = KEY_RUN_MAX_COUNT;
    std::fputs(Script(o, prefix, best).c_str(), stdout);
    std::fprintf(stderr, "gorbo-route: no way found; the keys of the farthest play (x %.0f) written\n",
                 static_cast<double>(best.out.x));
    return 1;
}
