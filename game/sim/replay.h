// The key-script format: a play as the steps and key flags of its frames,
// written by the game's --record and read by the simulator's --keys, and the
// one-line summary of a play's end that both print. Plain text and standard
// C++ only; the parser takes untrusted input.
//
// A script is lines of text. Blank lines and lines whose first non-blank
// character is '#' are ignored; every other line is "COUNT KEYS [DT]",
// separated by spaces or tabs: COUNT (1 to KEY_RUN_MAX_COUNT) frames with
// KEYS held, KEYS being "-" (none) or each of the letters R (right), L
// (left), A (action) and J (jump) at most once, in any order, and DT, when
// present, the step of those frames in seconds (0 to 0.05).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

constexpr long long KEY_RUN_MAX_COUNT = 100000000;
constexpr float KEY_RUN_MAX_STEP = 0.05f;

// COUNT frames with the key flags keys (input.h's KEY_* bits); dt only when
// hasDt.
struct KeyRun {
    long long count = 0;
    std::uint8_t keys = 0;
    bool hasDt = false;
    float dt = 0.0f;
};

// Parses a whole script. On the first malformed line: false, runs left as
// they were, and error says "line N: " and what is wrong.
bool ParseKeyScript(std::string_view text, std::vector<KeyRun>& runs, std::string& error);

// "R", "LAJ", "-": the letters of the flags in the order R L A J.
std::string KeyLetters(std::uint8_t keys);
// One script line with its newline; DT (when present) printed with "%.9g",
// which reads back as the same float.
std::string FormatKeyRun(const KeyRun& run);

// Parses a step: a decimal number from 0 to KEY_RUN_MAX_STEP, the whole of
// text. False for anything else.
bool ParseStep(std::string_view text, float& step);

// "frames N, level L, x X, y Y, action A", floats with "%.9g".
std::string FormatSummary(long long frames, int level, float x, float y, int action);

// Writes the frames of a play as they come, merging runs of equal frames
// (the same step and keys) into one line. The file is owned by the caller.
class KeyRecorder {
public:
    explicit KeyRecorder(std::FILE* file) : m_file(file) {}
    void Frame(float dt, std::uint8_t keys);
    // Writes the run in progress; later frames start a new one.
    void Flush();
    long long Frames() const { return m_frames; }

private:
    std::FILE* m_file;
    KeyRun m_run;
    long long m_frames = 0;
};
