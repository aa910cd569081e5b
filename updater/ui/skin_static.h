// A text label that paints itself over the piece of its owner's skin that it
// covers, with its own font, colour and alignment. It draws only the text set
// through SetText, into an off-screen buffer of its own size, so a long text
// never reaches beyond the label.
//
// Used only on the thread that owns the window.
#pragma once

#include <cstdint>
#include <string>

#include "front_ops.h"
#include "skin_image.h"

class CSkinStatic {
public:
    CSkinStatic() = default;
    ~CSkinStatic();
    CSkinStatic(const CSkinStatic&) = delete;
    CSkinStatic& operator=(const CSkinStatic&) = delete;

    // Opens the label's own copy of the font. False when it cannot be
    // opened; the label then draws no text.
    bool SetTextFont(const SKIN_FONT& font);
    void SetTextColor(std::uint32_t argb);
    void SetTextAlign(StringAlignment horizontal, StringAlignment vertical);
    // back is borrowed and must outlive the label. Places the label at (x, y)
    // with size cx x cy and shows it.
    void SetSkin(const SKIN_IMAGE* back, int x, int y, int cx, int cy);
    // Replaces the text; the next paint of the owner shows it.
    void SetText(const std::wstring& text);

    const std::wstring& GetText() const { return m_strText; }

    // Builds the label in its off-screen buffer (the piece of the skin it
    // covers, then the text placed by the alignment) and copies it onto
    // target at the label's position. Nothing when the label is hidden or
    // empty-sized.
    void Paint(FRONT_IMAGE* target) const;

private:
    const SKIN_IMAGE* m_pBack = nullptr;  // the owner's skin, not owned
    int m_nBackX = 0;
    int m_nBackY = 0;
    int m_cx = 0;
    int m_cy = 0;
    int m_x = 0;  // position in the owner
    int m_y = 0;
    bool m_bVisible = false;
    std::wstring m_strText;
    FRONT_FONT* m_pFont = nullptr;  // owned
    std::uint32_t m_argb = 0xFF000000;
    StringAlignment m_alignH = StringAlignmentNear;
    StringAlignment m_alignV = StringAlignmentNear;
};
