// What the game's timers need of the platform: a millisecond clock.
// Implemented by the platform layer (SDL_GetTicks; the null platform's clock
// is set by its callers).
#pragma once

#include <cstdint>

// Milliseconds since some fixed moment: 32 bits, wraps after about 49.7 days.
std::uint32_t GetTickMilliseconds();
