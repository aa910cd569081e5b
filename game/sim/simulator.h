// The game's logic without a window: start-up and frames exactly as the game
// runs them, over the null platform, on a virtual millisecond clock that
// advances by each frame's step. No window, no audio device; drawing goes to
// a display that draws nothing, so drawing-side state (the player's blink
// phase, the frame-rate meter) advances as in the game. Everything here runs
// on one thread and uses the game's globals: one simulation at a time.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// The game's state back to program start: nothing loaded, no actors, no keys
// held, the clock at 0, g_level 0.
void SimReset();
// SimReset, g_level = level, then the game's InitGame from the current
// folder (which holds level/, graphics/ and the palettes). False when no
// level file could be read.
bool SimStart(int level);
// One frame of the game: the clock moves on by dt, the keys (input.h's
// KEY_* flags) are held, UpdateWorld(dt), then the frame's drawing.
void SimFrame(float dt, std::uint8_t keys);
// Frames run since SimStart.
long long SimFrames();

// The header line and one row per frame of the trace CSV: the player and the
// camera after the frame ("frame,level,x,y,...,scrollX,actors").
extern const char SIM_TRACE_HEADER[];
std::string SimTraceRow(long long frame);
// The header and the rows of one frame of the actors CSV: every actor of
// g_sprites in list order, the head as index 0.
extern const char SIM_ACTORS_HEADER[];
std::string SimActorRows(long long frame);
// The summary line of the play so far (replay.h's FormatSummary).
std::string SimSummary();

// The current map as a loadable level file: dark flag, cols, rows, both
// layers in the file's encoding, then three empty enemy lists.
std::string FormatLevelFile(int darkFlag);

// The whole gorbo-sim tool: options, key script, the run, its files and
// its summary line on out. programFolder is where the tool lives (the
// default data folder). Returns the exit status: 0 done (or --help), 2 bad
// input (then nothing is written and err says why).
int RunSimulator(int argc, const char* const argv[], const std::string& programFolder, std::FILE* out,
                 std::FILE* err);
