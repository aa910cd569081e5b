#include "camera_push.h"

#include "input.h"
#include "tilemap.h"

namespace {

float s_carry = 0.0f;

}  // namespace

void PushCamera(float dt, std::uint8_t keys)
{
    if (!(keys & KEY_RIGHT))
        return;
    s_carry += CAMERA_PUSH_SPEED * dt;
    int dx = static_cast<int>(s_carry);
    s_carry -= static_cast<float>(dx);
    if (dx > 0)
        g_map.ScrollBy(dx);
}

void ResetCameraPush()
{
    s_carry = 0.0f;
}
