// How the windowed display shows a level's palette. Windowed, the images
// and the back buffer hold 32-bit colours (the bitmaps' own); a palette
// reaches the picture through a translation of those colours:
//
//   a colour shows as the applied palette's entry at the colour's nearest
//   entry of the reference palette (the one the images are matched against,
//   "bright.pal") when the applied palette changed that entry, and as
//   itself when it did not.
//
// So with the reference palette applied every colour shows as itself (the
// bitmaps' own colours, exactly), and with another palette a colour of the
// reference palette shows as the full-screen mode shows its palette index.
// Used by the display part only; game thread only.
#pragma once

#include <SDL.h>

#include "display_ops.h"

class CColourTranslation {
public:
    CColourTranslation() = default;
    CColourTranslation(const CColourTranslation&) = delete;
    CColourTranslation& operator=(const CColourTranslation&) = delete;
    ~CColourTranslation();

    // Makes entries the reference palette and the applied one; null: no
    // reference, every colour then shows as itself whatever is applied.
    void SetReference(const PaletteEntry entries[256]);
    // The palette the picture is now shown through.
    void Apply(const PaletteEntry entries[256]);
    // Every colour shows as itself.
    bool Identity() const { return m_identity; }
    // The colour a pixel of own colour shows in; both 0x00RRGGBB.
    Uint32 Shown(Uint32 own);

private:
    void ForgetShown();

    SDL_PixelFormat* m_reference = nullptr;  // 8-bit, for nearest-entry look-ups
    Uint32 m_applied[256] = {};              // 0x00RRGGBB
    bool m_changed[256] = {};                // applied entry differs from the reference
    bool m_identity = true;
    // Direct-mapped cache of Shown, cleared when the palettes change.
    struct Cached {
        Uint32 own;  // 0xFFFFFFFF: empty (never a 24-bit colour)
        Uint32 shown;
    };
    Cached m_cache[4096] = {};
};
