// Images of the skinned window: decoded once from the embedded resources and
// kept for the life of the window.
#pragma once

#include "front_ops.h"

// An owned image with its pixel size; empty while pImage is null.
struct SKIN_IMAGE {
    FRONT_IMAGE* pImage = nullptr;
    int nWidth = 0;
    int nHeight = 0;

    SKIN_IMAGE() = default;
    SKIN_IMAGE(const SKIN_IMAGE&) = delete;
    SKIN_IMAGE& operator=(const SKIN_IMAGE&) = delete;
    ~SKIN_IMAGE() { Reset(); }

    bool IsEmpty() const { return pImage == nullptr; }
    // Takes ownership of image (may be null) and reads its size.
    void Wrap(FRONT_IMAGE* image);
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
