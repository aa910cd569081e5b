// The camera under the right arrow. The player has no steering of its own:
// holding the right arrow scrolls the map at a fixed speed instead, so that a
// whole level can be looked at.
#pragma once

#include <cstdint>

// Scrolls g_map by CAMERA_PUSH_SPEED * dt while keys holds KEY_RIGHT; the
// parts of a pixel left over carry into the next call.
void PushCamera(float dt, std::uint8_t keys);
// Drops the carried part of a pixel, as a level load does.
void ResetCameraPush();

constexpr float CAMERA_PUSH_SPEED = 320.0f;  // px/s
