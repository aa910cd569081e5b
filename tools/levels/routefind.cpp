// gorbo-route: finds keys that take a small player from a level's start off
// its right end without a death, by a beam search over the real game logic
// (the simulator's library, frame for frame as gorbo-sim plays them).
//
// A candidate is a list of key choices, each held for a few frames. Every
// round, each candidate of the beam is extended by every choice and played
// from the level's start (the game keeps its state in globals, so a play is
// replayed rather than copied). Candidates that die are dropped; the rest are
// ranked by how far right the player got, keeping at most a few per map
// column and one per position and speed, so that slower candidates that wait
// for an enemy survive beside the fastest. The first candidate that reaches
// the next level is written as a key script.
//
// usage: gorbo-route --data DIR --level N [--dt S] [--chunk F] [--beam B]
//                    [--rounds R] [--prefix FILE] > levelN.keys
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
    int perColumn = 4;      // of them at most this many per map column
    int rounds = 600;
    std::string prefix;     // a key script played before the search
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

// Plays the prefix, then the choices, from the level's start.
Outcome Play(const Options& o, const std::vector<KeyRun>& prefix, const std::vector<std::uint8_t>& choices)
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
    for (std::uint8_t keys : choices)
        for (int i = 0; i < o.chunk; ++i) {
            SimFrame(o.dt, keys);
            if (frameDone())
                return out;
        }
    out.x = g_player.x;
    out.y = g_player.y;
    out.vx = g_player.vx;
    out.vy = g_player.vy;
    out.kind = g_player.kind;
    return out;
}

// The beam for the next round: the farthest first, at most perColumn per
// map column, one per (position, speed) cell.
std::vector<Candidate> Select(std::vector<Candidate> all, const Options& o)
{
    std::stable_sort(all.begin(), all.end(),
                     [](const Candidate& a, const Candidate& b) { return a.out.x > b.out.x; });
    std::map<int, int> perColumn;
    std::map<std::tuple<int, int, int, int, int>, bool> seen;
    std::vector<Candidate> kept;
    for (Candidate& c : all) {
        const Outcome& r = c.out;
        const auto key = std::make_tuple(static_cast<int>(r.x / 4), static_cast<int>(r.y / 8),
                                         static_cast<int>(r.vx / 60), static_cast<int>(r.vy / 150), r.kind);
        const int column = static_cast<int>(r.x / 32);
        if (seen[key] || perColumn[column] >= o.perColumn)
            continue;
        seen[key] = true;
        ++perColumn[column];
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
                     "                   [--per-column K] [--rounds R] [--prefix FILE]\n");
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
        if (round % 10 == 0 && !beam.empty())
            std::fprintf(stderr, "round %d: best x %.0f, %zu kept\n", round, static_cast<double>(beam[0].out.x),
                         beam.size());
    }
    std::fprintf(stderr, "gorbo-route: no way found\n");
    return 1;
}
