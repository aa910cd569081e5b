#include "input.h"

#include "keyboard_ops.h"

CInput g_input;

namespace {

// The flags for a set of held keys (indexed by GameKey).
std::uint8_t KeyFlagsFromHeld(const bool held[GKEY_COUNT])
{
    std::uint8_t flags = 0;
    if (held[GKEY_LEFT] || held[GKEY_PAD_LEFT])
        flags |= KEY_LEFT;
    else if (held[GKEY_RIGHT] || held[GKEY_PAD_RIGHT])
        flags |= KEY_RIGHT;
    if (held[GKEY_LSHIFT] || held[GKEY_RSHIFT] || held[GKEY_PAD_WEST])
        flags |= KEY_ACTION;
    if (held[GKEY_LCTRL] || held[GKEY_RCTRL] || held[GKEY_SPACE] || held[GKEY_PAD_SOUTH])
        flags |= KEY_JUMP;
    return flags;
}

}  // namespace

bool CInput::Init()
{
    m_device = OpenKeyboard();
    m_acquired = m_device;
    return m_device;
}

void CInput::SetActive(bool active)
{
    if (m_device)
        m_acquired = active;
}

bool CInput::Read(std::uint8_t& flags)
{
    flags = 0;
    if (!m_device || !m_acquired)
        return false;
    bool held[GKEY_COUNT] = {};
    if (!ReadKeyboard(held))
        return false;
    flags = KeyFlagsFromHeld(held);
    return true;
}

void CInput::Release()
{
    m_device = false;
    m_acquired = false;
}
