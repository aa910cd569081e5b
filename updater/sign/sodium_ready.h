// libsodium must be initialised once before use; any thread may ask.
#pragma once

#include <sodium.h>

// False only when libsodium cannot start (no usable random source), in
// which case nothing here can be trusted and every check fails.
inline bool SodiumReady()
{
    static const bool ready = sodium_init() >= 0;
    return ready;
}
