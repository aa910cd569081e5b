// Stand-ins for the game's platform layer, for tests of the portable engine:
// a settable clock, a recording display, a scripted window, a keyboard with
// settable keys and focus, and a MIDI player that models positions and the
// end-of-play notices.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "temp_folder.h"
#include "display.h"
#include "keyboard_ops.h"
#include "window_ops.h"

struct FakeClock {
    std::uint32_t now = 0;
};
extern FakeClock g_fakeClock;

struct FakeDisplay {
    std::vector<std::string> log;   // "init", "release", "clear", "blt x y w h", "text x y s", "present", "palette"
    bool initResult = true;
    PaletteEntry lastPalette[256] = {};
    int palettesApplied = 0;
    std::function<void()> onPresent;
    int Count(const std::string& entry) const;
};
extern FakeDisplay g_fakeDisplay;

struct FakeWindow {
    bool openResult = true;
    bool opened = false;
    bool closed = false;
    int waits = 0;
    std::deque<WindowEvent> queue;
    // Each wait moves the next of these into the queue; when none is left a
    // wait posts WEV_CLOSE so that a loop under test always ends.
    std::deque<WindowEvent> afterWait;
    std::vector<std::string> log;   // "open", "close", "wait", "shutdown"
};
extern FakeWindow g_fakeWindow;

struct FakeKeyboard {
    bool openResult = true;
    bool focus = true;
    bool held[GKEY_COUNT] = {};
};
extern FakeKeyboard g_fakeKeyboard;

struct FakeMixer {
    bool available = true;        // false: every load fails (no device, no file)
    std::string loaded;           // path of the loaded piece; empty when none
    bool playing = false;         // started and not at its end (paused included)
    bool paused = false;
    unsigned endToken = 0;        // reported at the end of the play in progress
    std::vector<std::string> log; // "load p", "unload", "play start t", "play resume t", "pause"
    // The piece reaches its end: a notice is queued to the window when the
    // play asked for one.
    void FinishPiece();
};
extern FakeMixer g_fakeMixer;

// Puts every fake and the engine's globals back to program start.
void ResetFakes();
// Hands every queued window event to WindowProc.
void DeliverEvents();

// A temporary folder (with a folder "level" in it) made current for the
// test's lifetime.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    std::string Path(const std::string& name) const;
    void Write(const std::string& name, const std::string& bytes) const;

private:
    test::TempFolder m_folder;
    std::string m_dir;
    std::string m_previous;
};

// A RIFF palette file's bytes: header fields as given, then `entries` entries
// whose colour i is (i, 255 - i, i / 2).
std::string MakePalette(const char* magic, const char* form, const char* chunk, unsigned version,
                        unsigned count, int entries);
// A level file: dark flag, cols x rows with a ground row, no enemies.
std::string MakeLevel(int dark, int cols, int rows);
