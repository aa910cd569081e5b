// What the game's keyboard reader needs of the platform: whether each of the
// seven game keys is held at this moment, readable only while the game window
// has the keyboard focus. Implemented by the platform layer (SDL2 keyboard
// state, by scan code; the null platform's keys are set by its callers).
#pragma once

enum GameKey {
    GKEY_LEFT,
    GKEY_RIGHT,
    GKEY_LSHIFT,
    GKEY_RSHIFT,
    GKEY_LCTRL,
    GKEY_RCTRL,
    GKEY_SPACE,
    GKEY_COUNT
};

// Prepares the keyboard state; false when there is none.
bool OpenKeyboard();
// Fills held[] for the seven keys. False, with nothing held, when the game
// window does not have the keyboard focus.
bool ReadKeyboard(bool held[GKEY_COUNT]);
