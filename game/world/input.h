// The game's keyboard reader: once per frame, the seven game keys and the
// game controllers' controls boiled down to one byte of key flags for the
// world update. A controller's left and right are the arrows', its south
// button a jump key and its west button a Shift.
#pragma once

#include <cstdint>

constexpr std::uint8_t KEY_RIGHT = 0x01;   // right arrow, unless a left is held
constexpr std::uint8_t KEY_LEFT = 0x08;    // left arrow; wins over the right arrow
constexpr std::uint8_t KEY_ACTION = 0x10;  // either Shift
constexpr std::uint8_t KEY_JUMP = 0x20;    // either Ctrl or Space

class CInput {
public:
    // Opens the keyboard; false leaves the reader without a device, and then
    // every Read yields no keys.
    bool Init();
    // Follows the application's activation: the keys are read only while the
    // application is active.
    void SetActive(bool active);
    // Fills flags with this moment's key flags. False, with flags 0, when
    // there is no device, the application is inactive or the window does not
    // have the keyboard focus.
    bool Read(std::uint8_t& flags);
    void Release();

private:
    bool m_device = false;
    bool m_acquired = false;
};

extern CInput g_input;
