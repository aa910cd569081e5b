#include "skin_static.h"

#include "text.h"

namespace {

// Offset that places an extent of `size` inside `room` with the alignment.
int AlignOffset(StringAlignment align, int room, int size)
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

}  // namespace

CSkinStatic::~CSkinStatic()
{
    CloseFrontFont(m_pFont);
}

bool CSkinStatic::SetTextFont(const SKIN_FONT& font)
{
    CloseFrontFont(m_pFont);
    m_pFont = OpenFrontFont(font);
    return m_pFont != nullptr;
}

void CSkinStatic::SetTextColor(std::uint32_t argb)
{
    m_argb = argb;
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

void CSkinStatic::Paint(FRONT_IMAGE* target) const
{
    if (!m_bVisible || m_cx <= 0 || m_cy <= 0 || !target) {
        return;
    }
    FRONT_IMAGE* buffer = CreateFrontImage(m_cx, m_cy);
    if (!buffer) {
        return;
    }
    if (m_pBack && m_pBack->pImage) {
        const FRONT_RECT covered{m_nBackX, m_nBackY, m_cx, m_cy};
        CopyFrontImage(m_pBack->pImage, &covered, buffer, 0, 0);
    }
    // An empty text paints only the background piece. Lines wrap at the
    // label's width, as a layout rectangle would wrap them; the buffer clips
    // whatever the lines make beyond its height.
    FRONT_IMAGE* text = nullptr;
    if (m_pFont && !m_strText.empty()) {
        text = RenderFrontText(m_pFont, WideToAnsiLossy(m_strText), m_argb, m_cx, m_alignH);
    }
    if (text) {
        const FRONT_SIZE size = GetFrontImageSize(text);
        BlendFrontImage(text, buffer, AlignOffset(m_alignH, m_cx, size.cx), AlignOffset(m_alignV, m_cy, size.cy));
        FreeFrontImage(text);
    }
    CopyFrontImage(buffer, nullptr, target, m_x, m_y);
    FreeFrontImage(buffer);
}
