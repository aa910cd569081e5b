#include "skin_static.h"

#include "text.h"

CSkinStatic::~CSkinStatic()
{
    if (m_pFont) {
        TTF_CloseFont(m_pFont);
    }
}

bool CSkinStatic::SetTextFont(const SKIN_FONT& font)
{
    if (m_pFont) {
        TTF_CloseFont(m_pFont);
        m_pFont = nullptr;
    }
    if (font.strFile.empty()) {
        return false;
    }
    m_pFont = TTF_OpenFontIndex(font.strFile.c_str(), font.nPixels, font.nIndex);
    return m_pFont != nullptr;
}

void CSkinStatic::SetTextColor(std::uint32_t argb)
{
    m_color.a = static_cast<Uint8>(argb >> 24);
    m_color.r = static_cast<Uint8>(argb >> 16);
    m_color.g = static_cast<Uint8>(argb >> 8);
    m_color.b = static_cast<Uint8>(argb);
}

void CSkinStatic::SetTextAlign(StringAlignment horizontal, StringAlignment vertical)
{
    m_alignH = horizontal;
    m_alignV = vertical;
}

void CSkinStatic::SetSkin(const SKIN_IMAGE* back, int x, int y, int cx, int cy)
{
    m_pBack = back;
    m_nBackX = x;
    m_nBackY = y;
    m_x = x;
    m_y = y;
    m_cx = cx;
    m_cy = cy;
    m_bVisible = true;
}

void CSkinStatic::SetText(const std::wstring& text)
{
    m_strText = text;
}

// Offset that places an extent of `size` inside `room` with the alignment.
static int AlignOffset(StringAlignment align, int room, int size)
{
    switch (align) {
    case StringAlignmentCenter:
        return (room - size) / 2;
    case StringAlignmentFar:
        return room - size;
    default:
        return 0;
    }
}

SDL_Surface* CSkinStatic::RenderText() const
{
    if (!m_pFont || m_strText.empty()) {
        return nullptr;
    }
    static const int wrapAlign[] = {TTF_WRAPPED_ALIGN_LEFT, TTF_WRAPPED_ALIGN_CENTER, TTF_WRAPPED_ALIGN_RIGHT};
    TTF_SetFontWrappedAlign(m_pFont, wrapAlign[m_alignH]);
    const std::string utf8 = WideToAnsiLossy(m_strText);
    // Lines wrap at the label's width, as a layout rectangle would wrap them.
    return TTF_RenderUTF8_Blended_Wrapped(m_pFont, utf8.c_str(), m_color, static_cast<Uint32>(m_cx));
}

void CSkinStatic::Paint(SDL_Surface* target) const
{
    if (!m_bVisible || m_cx <= 0 || m_cy <= 0 || !target) {
        return;
    }
    SDL_Surface* buffer = SDL_CreateRGBSurfaceWithFormat(0, m_cx, m_cy, 32, SDL_PIXELFORMAT_ARGB8888);
    if (!buffer) {
        return;
    }
    if (m_pBack && m_pBack->pImage) {
        SDL_Rect from{m_nBackX, m_nBackY, m_cx, m_cy};
        SDL_Rect to{0, 0, m_cx, m_cy};
        SDL_SetSurfaceBlendMode(m_pBack->pImage, SDL_BLENDMODE_NONE);
        SDL_BlitSurface(m_pBack->pImage, &from, buffer, &to);
    }
    if (SDL_Surface* text = RenderText()) {
        SDL_Rect to{AlignOffset(m_alignH, m_cx, text->w), AlignOffset(m_alignV, m_cy, text->h), text->w, text->h};
        SDL_SetSurfaceBlendMode(text, SDL_BLENDMODE_BLEND);
        SDL_BlitSurface(text, nullptr, buffer, &to);
        SDL_FreeSurface(text);
    }
    SDL_Rect onto{m_x, m_y, m_cx, m_cy};
    SDL_SetSurfaceBlendMode(buffer, SDL_BLENDMODE_NONE);
    SDL_BlitSurface(buffer, nullptr, target, &onto);
    SDL_FreeSurface(buffer);
}
