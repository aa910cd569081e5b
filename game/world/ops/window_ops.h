// What the game's main loop needs of the windowing system: one window, a
// queue of the events the loop reacts to, the program's folder and an error
// text for start-up failures. Implemented by the platform layer (SDL2; the
// null platform's event queue is fed by its callers). All operations are for
// the game's one thread.
#pragma once

// Events, in the order the window system delivers them.
enum WindowEventType {
    WEV_ACTIVATE = 1,  // value: 1 = the application gained the focus, 0 = lost it
    WEV_MOVING,        // the user started dragging the window
    WEV_MOVED,         // the window has come to rest at a new place
    WEV_KEYDOWN,       // value: a system key code (SYSKEY_*), repeats included
    WEV_CLOSE,         // close box, Alt+F4, or the session asking the program to end
    WEV_MUSIC_END,     // value: the token of the play that reached its end (mixer_ops.h)
};

// Key codes of the system keys, the values of the virtual keys they stand
// for, so that other keys can be passed through as any other number. A game
// controller's Start button arrives as the Pause key.
enum SystemKey {
    SYSKEY_PAUSE = 0x13,
    SYSKEY_ESCAPE = 0x1B,
    SYSKEY_M = 0x4D,  // mutes and unmutes the music
    SYSKEY_F4 = 0x73,
    SYSKEY_F5 = 0x74,
};

struct WindowEvent {
    int type = 0;
    int value = 0;
};

// Creates and shows the game window with a 640 x 480 client area. False when
// there is no display (PlatformError says why).
bool OpenGameWindow(const char* title);
// Hides the window for good; the loop ends soon after.
void CloseGameWindow();
// Takes the next waiting event; false when none waits.
bool PollWindowEvent(WindowEvent& event);
// Sleeps until an event waits, without taking it.
void WaitWindowEvent();
// Makes the executable's folder the current directory; failures are ignored.
void MakeProgramFolderCurrent();
// Ends the platform layer after the loop (audio, video).
void ShutdownPlatform();
// The last failure of the platform layer, for the start-up message.
const char* PlatformError();
