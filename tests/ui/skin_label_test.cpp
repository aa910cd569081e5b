// The skinned label and the face lookup, painted off-screen (no display).
#include <gtest/gtest.h>

#include "resource.h"
#include "sdl_front.h"
#include "skin_static.h"

namespace {

unsigned PixelAt(SDL_Surface* s, int x, int y)
{
    const auto* row = static_cast<const Uint8*>(s->pixels) + y * s->pitch;
    Uint8 r, g, b;
    SDL_GetRGB(reinterpret_cast<const Uint32*>(row)[x], s->format, &r, &g, &b);
    return (unsigned(r) << 16) | (unsigned(g) << 8) | b;
}

// Pixels inside the rectangle that differ from the skin beneath, and the
// bounding box of those pixels.
struct Diff {
    int count = 0;
    int left = 1 << 30, right = -1, top = 1 << 30, bottom = -1;
    int textColour = 0;  // changed pixels near the label colour
};

Diff Compare(SDL_Surface* frame, SDL_Surface* skin, SDL_Rect r)
{
    Diff d;
    for (int y = r.y; y < r.y + r.h; ++y) {
        for (int x = r.x; x < r.x + r.w; ++x) {
            const unsigned p = PixelAt(frame, x, y);
            if (p != PixelAt(skin, x, y)) {
                ++d.count;
                d.left = std::min(d.left, x);
                d.right = std::max(d.right, x);
                d.top = std::min(d.top, y);
                d.bottom = std::max(d.bottom, y);
            }
            // Anti-aliased ink: bright, with red and green above blue like
            // the text colour, where the skin beneath is dark.
            const unsigned red = p >> 16, green = (p >> 8) & 0xFF, blue = p & 0xFF;
            d.textColour += p != PixelAt(skin, x, y) && red >= 160 && green >= 160 && blue < red;
        }
    }
    return d;
}

class SkinLabel : public ::testing::Test {
protected:
    void SetUp() override
    {
        FRONT_IMAGE* raw = LoadImageFromResource(IDR_SKIN);
        ASSERT_NE(raw, nullptr);
        skin.Wrap(WrapFrontSurface(SDL_ConvertSurfaceFormat(raw->surface, SDL_PIXELFORMAT_ARGB8888, 0)));
        FreeFrontImage(raw);
        frame = CreateFrontImage(566, 73);
        font = FindFontFace("宋体", "zh-cn", 0x6B63, 12);
        ASSERT_FALSE(font.strFile.empty());
        ASSERT_TRUE(label.SetTextFont(font));
        label.SetTextColor(0xFFFFFF78);
        label.SetTextAlign(StringAlignmentNear, StringAlignmentCenter);
        label.SetSkin(&skin, 20, 0, 500, 28);
    }
    void TearDown() override { FreeFrontImage(frame); }

    // Paints the label over a frame that holds the skin.
    Diff PaintAndCompare(SDL_Rect area)
    {
        CopyFrontImage(skin.pImage, nullptr, frame, 0, 0);
        label.Paint(frame);
        return Compare(frame->surface, skin.pImage->surface, area);
    }

    SKIN_IMAGE skin;
    FRONT_IMAGE* frame = nullptr;
    SKIN_FONT font;
    CSkinStatic label;
};

TEST(FontLookup, FindsAFaceWithCjkGlyphsEvenWhenTheBestMatchHasNone)
{
    // Asked without a language, fontconfig prefers a Latin face for an
    // unknown family; the lookup still ends on a face that has the glyph.
    for (const char* lang : {"zh-cn", "en"}) {
        SKIN_FONT f = FindFontFace("宋体", lang, 0x6B63, 12);
        ASSERT_FALSE(f.strFile.empty()) << lang;
        FRONT_FONT* font = OpenFrontFont(f);
        ASSERT_NE(font, nullptr) << f.strFile;
        EXPECT_TRUE(TTF_GlyphIsProvided32(font->font, 0x6B63)) << f.strFile;
        CloseFrontFont(font);
    }
}

TEST_F(SkinLabel, EmptyTextPaintsOnlyTheSkin)
{
    Diff d = PaintAndCompare({0, 0, 566, 73});
    EXPECT_EQ(d.count, 0);
}

TEST_F(SkinLabel, TextIsDrawnInItsColourInsideTheLabelOnly)
{
    label.SetText(L"正在检查新的版本...");
    Diff inside = PaintAndCompare({20, 0, 500, 28});
    EXPECT_GT(inside.textColour, 40) << "glyph pixels in the text colour";
    EXPECT_GE(inside.left, 20);
    EXPECT_LT(inside.left, 24) << "left-aligned";
    // Vertically centred: the ink lies around the middle line of 28 pixels.
    EXPECT_LT(inside.top, 14);
    EXPECT_GT(inside.bottom, 14);
    EXPECT_LT(inside.bottom, 28);
    Diff outside = Compare(frame->surface, skin.pImage->surface, {0, 28, 566, 45});
    EXPECT_EQ(outside.count, 0);
}

TEST_F(SkinLabel, CentredTextAndOnlyTheLastTextIsShown)
{
    label.SetTextAlign(StringAlignmentCenter, StringAlignmentCenter);
    label.SetSkin(&skin, 0, 49, 566, 24);
    label.SetText(L"1 Byte/ 2 Byte and a much longer first text");
    label.SetText(L"1024 Byte/ 2048 Byte");
    Diff d = PaintAndCompare({0, 49, 566, 24});
    ASSERT_GT(d.count, 0);
    const int middle = (d.left + d.right) / 2;
    EXPECT_NEAR(middle, 283, 3);
    EXPECT_LT(d.right - d.left, 140) << "only the second, shorter text";
}

TEST_F(SkinLabel, LongTextStaysInsideTheLabel)
{
    std::wstring text;
    for (int i = 0; i < 40; ++i) {
        text += L"剩余9个文件需要下载/正在下载:";
    }
    label.SetText(text);
    PaintAndCompare({20, 0, 500, 28});
    Diff outside = Compare(frame->surface, skin.pImage->surface, {0, 28, 566, 45});
    EXPECT_EQ(outside.count, 0);
    Diff left = Compare(frame->surface, skin.pImage->surface, {0, 0, 20, 28});
    Diff right = Compare(frame->surface, skin.pImage->surface, {520, 0, 46, 28});
    EXPECT_EQ(left.count + right.count, 0);
}

}  // namespace
