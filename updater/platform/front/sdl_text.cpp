// Fonts and text of the front end on SDL2_ttf (the face lookup itself is in
// font_lookup.cpp).
#include <new>

#include "sdl_front.h"

FRONT_FONT* OpenFrontFont(const SKIN_FONT& font)
{
    // Labels are set up before and without a display (the tests paint them
    // off-screen), so the library starts with the first font.
    if (font.strFile.empty() || (!TTF_WasInit() && TTF_Init() != 0)) {
        return nullptr;
    }
    TTF_Font* ttf = TTF_OpenFontIndex(font.strFile.c_str(), font.nPixels, font.nIndex);
    if (!ttf) {
        return nullptr;
    }
    auto* opened = new (std::nothrow) FRONT_FONT{ttf};
    if (!opened) {
        TTF_CloseFont(ttf);
    }
    return opened;
}

void CloseFrontFont(FRONT_FONT* font)
{
    if (font) {
        TTF_CloseFont(font->font);
        delete font;
    }
}

FRONT_IMAGE* RenderFrontText(FRONT_FONT* font, const std::string& utf8, std::uint32_t argb, int wrapWidth,
                             StringAlignment align)
{
    if (!font || utf8.empty() || wrapWidth <= 0) {
        return nullptr;
    }
    static const int wrapAlign[] = {TTF_WRAPPED_ALIGN_LEFT, TTF_WRAPPED_ALIGN_CENTER, TTF_WRAPPED_ALIGN_RIGHT};
    TTF_SetFontWrappedAlign(font->font, wrapAlign[align]);
    const SDL_Color colour{Uint8(argb >> 16), Uint8(argb >> 8), Uint8(argb), Uint8(argb >> 24)};
    return WrapFrontSurface(
        TTF_RenderUTF8_Blended_Wrapped(font->font, utf8.c_str(), colour, static_cast<Uint32>(wrapWidth)));
}
