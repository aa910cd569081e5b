// Images of the skinned window: decoded once from the embedded resources and
// kept as SDL surfaces for the life of the window.
#pragma once

#include <SDL.h>

// An owned image with its pixel size; empty while pImage is null.
struct SKIN_IMAGE {
    SDL_Surface* pImage = nullptr;
    int nWidth = 0;
    int nHeight = 0;

    SKIN_IMAGE() = default;
    SKIN_IMAGE(const SKIN_IMAGE&) = delete;
    SKIN_IMAGE& operator=(const SKIN_IMAGE&) = delete;
    ~SKIN_IMAGE() { Reset(); }

    bool IsEmpty() const { return pImage == nullptr; }
    // Takes ownership of surface (may be null) and reads its size.
    void Wrap(SDL_Surface* surface);
    void Reset();
};

// An image placed in the window at (x, y), drawn at its own size.
struct SKIN_PIECE {
    SKIN_IMAGE image;
    int x = 0;
    int y = 0;
    int cx = 0;
    int cy = 0;

    void Place(int left, int top);
};

// Decodes the BMP resource with the given id; null when it is missing or
// cannot be decoded.
SDL_Surface* LoadImageFromResource(int id);
