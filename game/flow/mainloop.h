// The program's start-up, the window's event handling, the loop that runs a
// frame whenever no event waits, and the frame itself. Everything runs on the
// game's one thread.
#pragma once

#include <cstdint>

#include "timer.h"
#include "window_ops.h"

// "Gorbo" and the publisher's web domain between full-width parentheses;
// 24 bytes in UTF-8, 22 in GBK, within the 32 bytes a title may take.
extern const char GAME_WINDOW_TITLE[];

// The largest step a frame hands to the world, in seconds.
constexpr float MAX_FRAME_STEP = 0.05f;

extern int g_active;     // frames may run: application active, window not dragged
extern int g_paused;     // frames suspended and music stopped
extern int g_showFps;    // the frame-rate line is drawn
extern CTimer g_frameClock;  // mark of the previous frame
extern CTimer g_fpsClock;    // start of the current frame-rate window
extern int g_fpsFrames;      // frames counted in that window
extern float g_fps;          // last computed frames per second
extern float g_frameStep;    // step handed to UpdateWorld by the last frame
// When set, called by every frame after its world update with the frame's
// step and the key flags that update read (the game's recording of a play).
extern void (*g_frameObserver)(float step, std::uint8_t keys);

// The program: makes the executable's folder current, sets up window,
// display and game, runs the loop. Returns the exit status: the quit code,
// or 1 after a start-up failure, which is described on standard error.
int GameMain();

bool InitApplication();
bool CreateGameWindow();
int RunMessageLoop();
void WindowProc(const WindowEvent& event);
void OnKeyDown(int key);
void TogglePause();
// One frame: the step from the clock, the world update, then DrawFrame.
void GameFrame();
// The frame's picture: clear, tile map, actors, player, frame-rate line,
// present.
void DrawFrame();
void DrawFrameRate();

// The step of a frame whose mark is now, after the previous mark: the
// unsigned millisecond difference in seconds, at most MAX_FRAME_STEP.
float FrameStep(const CTimer& now, const CTimer& previous);

// Puts the loop's state back as it is at program start (zeroed globals, no
// quit posted), so that one process can run the program's start more than
// once, as the tests do.
void ResetMainLoop();
// Puts the whole game back as it is at program start, for the same reason:
// the music closed and unmuted, the display released, the loop's and the flow's globals
// zeroed, no actors, an empty map, the player new and no keys remembered.
void ResetProgramState();
