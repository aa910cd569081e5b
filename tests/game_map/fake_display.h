// A recording stand-in for the display's copy operation and a settable
// millisecond clock, linked into the map and actor tests instead of SDL.
#pragma once

#include <cstdint>
#include <vector>

#include "display.h"

struct BltCall {
    const CImage* image;
    int x;
    int y;
    BltRect src;
};

// Every CImage::BltTo since the last ClearBlts, in call order.
std::vector<BltCall>& RecordedBlts();
void ClearBlts();

// The value GetTickMilliseconds returns.
void SetFakeTicks(std::uint32_t ms);
