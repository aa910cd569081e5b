// What the opaque types of front_ops.h are on SDL. Only the SDL
// implementation and the tests that read its pixels include this header.
#pragma once

#include <SDL.h>
#include <SDL_ttf.h>

#include "front_ops.h"

struct FRONT_IMAGE {
    SDL_Surface* surface;  // owned
};

struct FRONT_FONT {
    TTF_Font* font;  // owned
};

struct FRONT_WINDOW {
    SDL_Window* window;  // owned
    FRONT_DRAG_TEST drag;
    const void* owner;
};

// Takes ownership of a surface (null gives null).
FRONT_IMAGE* WrapFrontSurface(SDL_Surface* surface);
