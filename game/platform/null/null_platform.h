// The null platform: the world layer's platform operations with no window,
// no picture and no sound, for running the game's logic without a display
// (the unit tests and a frame-by-frame simulator). Its clock, its event
// queue and its keys are set by its callers; what the game asked of it can
// be read back. Its state is one object, NullPlatform(), on the game's one
// thread.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "display_ops.h"
#include "keyboard_ops.h"
#include "window_ops.h"

// One display operation, as the null display received it.
enum class NullDraw {
    Open,     // OpenDisplay; fullscreen tells the mode
    Close,    // CloseDisplay
    Restore,  // RestoreSurfaces
    Palette,  // ApplyPalette
    Clear,    // ClearBackBuffer
    Blt,      // CImage::BltTo, held surface or not: image, x, y, src
    Text,     // DrawTextAt: x, y, text
    Present,  // PresentBackBuffer, lost or not
    Load,     // CImage::Load: image, text (the path)
    Reload,   // CImage::Reload: image, text (the path)
    Release,  // CImage::Release: image
};

struct NullDrawCall {
    NullDraw what;
    const CImage* image = nullptr;
    int x = 0;
    int y = 0;
    BltRect src{};
    std::string text;
    bool fullscreen = false;
};

struct NullPlatformState {
    // Set by callers.
    std::uint32_t ticks = 0;               // what GetTickMilliseconds returns
    std::deque<WindowEvent> events;        // taken by PollWindowEvent, front first
    // A wait moves the next of these into events. With none left it queues
    // WEV_CLOSE: nothing else could ever wake the loop, so it ends instead.
    std::deque<WindowEvent> wakeUps;
    bool held[GKEY_COUNT] = {};            // the game keys held now
    bool focus = true;                     // the window has the keyboard focus
    std::function<void()> onPresent;       // run after every present
    bool record = false;                   // keep draws, windowCalls and mixerCalls
    // False makes the operation fail as a machine without it would: no
    // window, no display mode, no keyboard, no MIDI player.
    bool windowAvailable = true;
    bool displayAvailable = true;
    bool keyboardAvailable = true;
    bool mixerAvailable = true;

    // Read by callers.
    std::vector<NullDrawCall> draws;       // with record
    std::vector<std::string> windowCalls;  // with record: "open", "close", "wait", "shutdown"
    // With record: "load <path>", "unload", "play start <0|1>", "play resume <0|1>"
    // (1: the end is to be reported), "pause", "mute", "unmute".
    std::vector<std::string> mixerCalls;
    int blts = 0;
    int presents = 0;
    int waits = 0;
    bool windowOpen = false;               // opened and not yet closed
    bool displayOpen = false;
    bool fullscreen = false;
    PaletteEntry palette[256] = {};        // shown now: OpenDisplay's initial one, then each one applied
    int palettesApplied = 0;
    // The MIDI player's model: the loaded piece (empty: none), whether a play
    // is under way (paused included), paused, and the token of the play
    // whose end is to be reported (0: none).
    std::string piece;
    bool playing = false;
    bool paused = false;
    unsigned endToken = 0;
    bool muted = false;                    // the volume is off
    bool displayLost = false;              // the next present reports the loss
    std::string error = "no error";        // PlatformError: the last refusal
};

NullPlatformState& NullPlatform();

enum class NullRecord { Off, On };
// Everything back to its start: nothing open, clock 0, no events, nothing
// recorded; record tells whether calls are recorded from now on.
void ResetNullPlatform(NullRecord record = NullRecord::Off);
// The clock moves on by ms.
void AdvanceNullClock(std::uint32_t ms);
// The piece reaches its end: WEV_MUSIC_END is queued when its play asked for
// a report. A paused piece, or none, does not end.
void FinishNullPiece();
// The display is lost, as when another program takes it.
void LoseNullDisplay();

// "blt 0 448 32 32" (x, y, width, height), "text 10 10 FPS: 1.00", "open
// full", "open window", "close", "restore", "palette", "clear", "present",
// "load <path>", "reload <path>", "release".
std::string Describe(const NullDrawCall& call);
// The recorded display operations of one kind.
std::vector<NullDrawCall> RecordedDraws(NullDraw kind);
// The recorded display operations of the given kinds (all when none is
// given), described.
std::vector<std::string> DescribedDraws(std::initializer_list<NullDraw> kinds = {});
