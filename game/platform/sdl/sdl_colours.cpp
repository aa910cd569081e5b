#include "sdl_colours.h"

namespace {

Uint32 Packed(const PaletteEntry& e)
{
    return (static_cast<Uint32>(e.red) << 16) | (static_cast<Uint32>(e.green) << 8) | e.blue;
}

Uint32 Packed(const SDL_Color& c)
{
    return (static_cast<Uint32>(c.r) << 16) | (static_cast<Uint32>(c.g) << 8) | c.b;
}

}  // namespace

CColourTranslation::~CColourTranslation()
{
    SetReference(nullptr);
}

void CColourTranslation::ForgetShown()
{
    for (Cached& c : m_cache)
        c.own = 0xFFFFFFFFu;
}

void CColourTranslation::SetReference(const PaletteEntry entries[256])
{
    if (m_reference) {
        SDL_FreeFormat(m_reference);  // also lets go of its palette
        m_reference = nullptr;
    }
    m_identity = true;
    for (bool& changed : m_changed)
        changed = false;
    ForgetShown();
    if (!entries)
        return;
    SDL_Palette* palette = SDL_AllocPalette(256);
    m_reference = SDL_AllocFormat(SDL_PIXELFORMAT_INDEX8);
    if (palette && m_reference) {
        SDL_Color colours[256];
        for (int i = 0; i < 256; ++i)
            colours[i] = SDL_Color{entries[i].red, entries[i].green, entries[i].blue, 255};
        SDL_SetPaletteColors(palette, colours, 0, 256);
        SDL_SetPixelFormatPalette(m_reference, palette);
    } else if (m_reference) {
        SDL_FreeFormat(m_reference);
        m_reference = nullptr;
    }
    if (palette)
        SDL_FreePalette(palette);  // the format keeps its own reference
    for (int i = 0; i < 256; ++i)
        m_applied[i] = Packed(entries[i]);
}

void CColourTranslation::Apply(const PaletteEntry entries[256])
{
    ForgetShown();
    m_identity = true;
    if (!m_reference)
        return;
    for (int i = 0; i < 256; ++i) {
        m_applied[i] = Packed(entries[i]);
        m_changed[i] = m_applied[i] != Packed(m_reference->palette->colors[i]);
        m_identity = m_identity && !m_changed[i];
    }
}

Uint32 CColourTranslation::Shown(Uint32 own)
{
    own &= 0x00FFFFFFu;
    if (m_identity)
        return own;
    Cached& slot = m_cache[(own ^ (own >> 12)) & 4095u];
    if (slot.own == own)
        return slot.shown;
    Uint32 index = SDL_MapRGB(m_reference, static_cast<Uint8>(own >> 16), static_cast<Uint8>(own >> 8),
                              static_cast<Uint8>(own));
    slot.own = own;
    slot.shown = m_changed[index] ? m_applied[index] : own;
    return slot.shown;
}
