// Millisecond time marks for the frame step, the frame-rate meter and the
// player's blinking.
#pragma once

#include <cstdint>

#include "clock_ops.h"

class CTimer {
public:
    // Stores the current value of the millisecond clock.
    void Mark() { m_ms = GetTickMilliseconds(); }
    // This mark minus an earlier one, in seconds. The difference is taken as an
    // unsigned 32-bit value, so a wrap of the clock between the two marks still
    // gives the true small difference.
    float SecondsSince(const CTimer& earlier) const
    {
        std::uint32_t diff = m_ms - earlier.m_ms;
        return static_cast<float>(diff) / 1000.0f;
    }

    std::uint32_t m_ms = 0;
};
