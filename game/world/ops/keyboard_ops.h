// What the game's keyboard reader needs of the platform: whether each of the
// seven game keys, and each game control of any game controller, is held at
// this moment, readable only while the game window has the keyboard focus.
// Implemented by the platform layer (SDL2 keyboard state by scan code, and
// SDL's game controllers; the null platform's keys are set by its callers).
#pragma once

enum GameKey {
    GKEY_LEFT,
    GKEY_RIGHT,
    GKEY_LSHIFT,
    GKEY_RSHIFT,
    GKEY_LCTRL,
    GKEY_RCTRL,
    GKEY_SPACE,
    // Any connected game controller: d-pad or left stick (pushed at least
    // half way) to the left or right, the south button, the west button.
    GKEY_PAD_LEFT,
    GKEY_PAD_RIGHT,
    GKEY_PAD_SOUTH,
    GKEY_PAD_WEST,
    GKEY_COUNT
};

// Prepares the keyboard state and the game controllers (those connected
// later count as soon as they are); false when there is no keyboard.
bool OpenKeyboard();
// Fills held[] for every GameKey. False, with nothing held, when the game
// window does not have the keyboard focus.
bool ReadKeyboard(bool held[GKEY_COUNT]);
