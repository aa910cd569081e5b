// The progress window's message handlers and frame, without a display: the
// handlers work on the window's members, and frames are composed into an
// off-screen surface.
#include <gtest/gtest.h>

#include <atomic>
#include <malloc.h>
#include <string>
#include <thread>

#include "resource.h"
#include "sdl_front.h"
#include "tovarin_dlg.h"

#if defined(__SANITIZE_ADDRESS__)
#define TG_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TG_ADDRESS_SANITIZER 1
#endif
#endif
#if defined(TG_ADDRESS_SANITIZER)
// The sanitizer runtime's count (its allocator replaces malloc's).
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace {

LPARAM Text(const wchar_t* text)
{
    return reinterpret_cast<LPARAM>(new std::wstring(text));
}

// Colour of an image's pixel as 0xRRGGBB.
unsigned PixelAt(SDL_Surface* frame, int x, int y)
{
    const auto* row = static_cast<const Uint8*>(frame->pixels) + y * frame->pitch;
    Uint32 value = reinterpret_cast<const Uint32*>(row)[x];
    Uint8 r, g, b;
    SDL_GetRGB(value, frame->format, &r, &g, &b);
    return (unsigned(r) << 16) | (unsigned(g) << 8) | b;
}

class WindowHandlers : public ::testing::Test {
protected:
    void SetUp() override { dlg.LoadImages(); }

    unsigned CellsDrawn() const
    {
        unsigned cells = 0;
        for (const SKIN_PIECE* piece : dlg.BarPiecesToDraw()) {
            cells += piece == &dlg.m_barCell;
        }
        return cells;
    }
    bool RightCapDrawn() const
    {
        for (const SKIN_PIECE* piece : dlg.BarPiecesToDraw()) {
            if (piece == &dlg.m_barRight) {
                return true;
            }
        }
        return false;
    }

    CTovarinDlg dlg;
};

TEST_F(WindowHandlers, ImagesAndLayoutComeFromTheResources)
{
    EXPECT_EQ(dlg.m_pSkin.nWidth, 566);
    EXPECT_EQ(dlg.m_pSkin.nHeight, 73);
    EXPECT_EQ(dlg.m_rcSkin.right, 566);
    EXPECT_EQ(dlg.m_rcDrag.bottom, 73);
    for (const SKIN_PIECE* piece : {&dlg.m_barLeft, &dlg.m_barCell, &dlg.m_barRight}) {
        EXPECT_EQ(piece->cx, 8);
        EXPECT_EQ(piece->cy, 18);
        EXPECT_EQ(piece->y, 29);
    }
    EXPECT_EQ(dlg.m_barLeft.x, 18);
    EXPECT_EQ(dlg.m_barCell.x, 26);
    EXPECT_EQ(dlg.m_barRight.x, 538);
    EXPECT_TRUE(dlg.InDragArea(0, 0));
    EXPECT_TRUE(dlg.InDragArea(565, 72));
    EXPECT_FALSE(dlg.InDragArea(566, 10));
    EXPECT_FALSE(dlg.m_hIcon.IsEmpty());
}

TEST_F(WindowHandlers, StatusStepSetsTheBarCappedAt65)
{
    struct Case {
        WPARAM step;
        unsigned progress;
    } cases[] = {{0, 0}, {1, 1}, {3, 3}, {64, 64}, {65, 65}, {66, 65}, {1000, 65}, {~WPARAM(0), 65}};
    for (const Case& c : cases) {
        EXPECT_EQ(dlg.OnUpdateStatus(c.step, Text(L"x")), TRUE);
        EXPECT_EQ(dlg.m_nProgress, c.progress) << c.step;
        EXPECT_EQ(CellsDrawn(), c.progress) << c.step;
        EXPECT_FALSE(RightCapDrawn()) << c.step;
        // The left cap is always first.
        EXPECT_EQ(dlg.BarPiecesToDraw().front(), &dlg.m_barLeft);
    }
    EXPECT_EQ(dlg.GetResult(), 0);
}

TEST_F(WindowHandlers, StatusTextIsShownAndANullTextClearsTheLine)
{
    EXPECT_TRUE(dlg.m_lblStatus.GetText().empty()) << "no template text";
    dlg.OnUpdateStatus(0, Text(L"正在检查新的版本..."));
    EXPECT_EQ(dlg.m_lblStatus.GetText(), L"正在检查新的版本...");
    dlg.OnUpdateStatus(12, 0);
    EXPECT_EQ(dlg.m_lblStatus.GetText(), L"");
    EXPECT_EQ(dlg.m_nProgress, 12u);
}

TEST_F(WindowHandlers, ByteLineFormatsAndClears)
{
    EXPECT_TRUE(dlg.m_lblBytes.GetText().empty()) << "no template text";
    struct Case {
        WPARAM received;
        LPARAM expected;
        const wchar_t* line;
    } cases[] = {
        {1024, 2048, L"1024 Byte/ 2048 Byte"},
        {0, 5, L"0 Byte/ 5 Byte"},
        {77, 0, L""},
        {4294967295u, 4294967295, L"4294967295 Byte/ 4294967295 Byte"},
        {(WPARAM(1) << 32) + 7, (LPARAM(1) << 32) + 9, L"7 Byte/ 9 Byte"},  // shown as 32-bit numbers
    };
    for (const Case& c : cases) {
        EXPECT_EQ(dlg.OnUpdateBytes(c.received, c.expected), TRUE);
        EXPECT_EQ(dlg.m_lblBytes.GetText(), c.line);
    }
    EXPECT_EQ(dlg.GetResult(), 0);
}

TEST_F(WindowHandlers, CloseEndsWithCancelAndLeavesTheBar)
{
    dlg.OnUpdateStatus(40, 0);
    EXPECT_EQ(dlg.OnUpdateClose(0, 0), TRUE);
    EXPECT_EQ(dlg.GetResult(), IDCANCEL);
    EXPECT_EQ(dlg.m_nProgress, 40u);
    EXPECT_FALSE(RightCapDrawn());
}

TEST_F(WindowHandlers, DoneFillsTheBarAndEndsWithOk)
{
    dlg.OnUpdateStatus(65, 0);
    EXPECT_EQ(dlg.OnUpdateDone(0, 0), TRUE);
    EXPECT_EQ(dlg.GetResult(), IDOK);
    EXPECT_EQ(dlg.m_nProgress, 66u);
    EXPECT_EQ(CellsDrawn(), 65u);
    EXPECT_TRUE(RightCapDrawn());
    EXPECT_TRUE(dlg.NeedsPaint()) << "the full bar is still to be drawn";
}

TEST_F(WindowHandlers, PostedMessagesRunInOrderAndStopAtTheFinalOne)
{
    EXPECT_TRUE(dlg.PostNotify(WM_UPDATE_STATUS, 3, Text(L"a")));
    EXPECT_TRUE(dlg.PostNotify(WM_UPDATE_BYTES, 10, 100));
    EXPECT_TRUE(dlg.PostNotify(WM_UPDATE_BYTES, 20, 100));
    EXPECT_TRUE(dlg.PostNotify(WM_UPDATE_CLOSE, 0, 0));
    // After the final message nothing else is handled; its string is freed.
    EXPECT_TRUE(dlg.PostNotify(WM_UPDATE_STATUS, 9, Text(L"late")));
    EXPECT_FALSE(dlg.PostNotify(WM_USER + 9, 0, 0));
    dlg.DispatchPending();
    EXPECT_EQ(dlg.m_lblStatus.GetText(), L"a");
    EXPECT_EQ(dlg.m_lblBytes.GetText(), L"20 Byte/ 100 Byte");
    EXPECT_EQ(dlg.m_nProgress, 3u);
    EXPECT_EQ(dlg.GetResult(), IDCANCEL);
}

// Bytes the allocator has handed out and not taken back.
std::size_t HeapInUse()
{
#if defined(TG_ADDRESS_SANITIZER)
    return __sanitizer_get_current_allocated_bytes();
#else
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
#endif
}

// A status text posted to a window that never handles it (here: one that is
// never shown) is freed with the window: a text of 4 MiB is held while the
// window lives and is gone after it.
TEST_F(WindowHandlers, UnhandledPostsAreFreedWithTheWindow)
{
    constexpr std::size_t kTextBytes = 1u << 22;
    const std::size_t before = HeapInUse();
    {
        CTovarinDlg other;
        auto* text = new std::wstring(kTextBytes / sizeof(wchar_t), L'x');
        ASSERT_TRUE(other.PostNotify(WM_UPDATE_STATUS, 1, reinterpret_cast<LPARAM>(text)));
        ASSERT_GE(HeapInUse(), before + kTextBytes) << "the measure sees the text";
    }
    EXPECT_LT(HeapInUse(), before + kTextBytes / 4);
}

// A worker that floods byte counts never waits for the window, and the
// window sees the final count and the final message.
TEST_F(WindowHandlers, AFloodOfByteCountsEndsAtItsLatestValue)
{
    constexpr unsigned total = 300000;
    std::thread worker([&] {
        dlg.PostNotify(WM_UPDATE_STATUS, 3, Text(L"正在下载"));
        for (unsigned i = 1; i <= total; ++i) {
            dlg.PostNotify(WM_UPDATE_BYTES, i, total);
        }
        dlg.PostNotify(WM_UPDATE_DONE, 0, 0);
    });
    while (dlg.GetResult() == 0) {
        dlg.DispatchPending();
        std::this_thread::yield();
    }
    worker.join();
    EXPECT_EQ(dlg.m_lblBytes.GetText(), L"300000 Byte/ 300000 Byte");
    EXPECT_EQ(dlg.GetResult(), IDOK);
}

// An image converted to ARGB for comparing pixels.
SDL_Surface* Argb(FRONT_IMAGE* image)
{
    if (!image) {
        return nullptr;
    }
    SDL_Surface* converted = SDL_ConvertSurfaceFormat(image->surface, SDL_PIXELFORMAT_ARGB8888, 0);
    FreeFrontImage(image);
    return converted;
}

TEST_F(WindowHandlers, FrameDrawsOneCellPerStepAndTheRightCapOnlyWhenFull)
{
    FRONT_IMAGE* frame = CreateFrontImage(566, 73);
    ASSERT_NE(frame, nullptr);
    SDL_Surface* skin32 = Argb(LoadImageFromResource(IDR_SKIN));
    SDL_Surface* cell32 = Argb(LoadImageFromResource(IDB_BAR_CELL));
    SDL_Surface* cap32 = Argb(LoadImageFromResource(IDB_BAR_RIGHT));
    ASSERT_NE(skin32, nullptr);
    ASSERT_NE(cell32, nullptr);
    ASSERT_NE(cap32, nullptr);
    const unsigned gold = PixelAt(cell32, 4, 9);

    for (unsigned step : {0u, 1u, 30u, 65u}) {
        dlg.OnUpdateStatus(step, 0);
        dlg.PaintFrame(frame);
        for (unsigned i = 0; i < 65; ++i) {
            const int x = 26 + 8 * int(i) + 4;
            const unsigned expected = i < step ? gold : PixelAt(skin32, x, 38);
            EXPECT_EQ(PixelAt(frame->surface, x, 38), expected) << "step " << step << " cell " << i;
        }
        // The 65th cell lies where the right cap goes; the cap's rounded
        // corner shows the trough colour, a cell's top row is gold.
        if (step < 65) {
            EXPECT_EQ(PixelAt(frame->surface, 542, 38), PixelAt(skin32, 542, 38));
        } else {
            EXPECT_EQ(PixelAt(frame->surface, 545, 29), PixelAt(cell32, 7, 0)) << "a cell, no right cap before the end";
        }
        EXPECT_EQ(PixelAt(frame->surface, 2, 2), PixelAt(skin32, 2, 2));
    }
    dlg.OnUpdateDone(0, 0);
    dlg.PaintFrame(frame);
    // The whole right cap, rounded corners included, over the last cell.
    int differing = 0;
    for (int y = 0; y < 18; ++y) {
        for (int x = 0; x < 8; ++x) {
            differing += PixelAt(frame->surface, 538 + x, 29 + y) != PixelAt(cap32, x, y);
        }
    }
    EXPECT_EQ(differing, 0) << "right cap";
    EXPECT_NE(PixelAt(frame->surface, 545, 29), PixelAt(cell32, 7, 0)) << "right cap's rounded corner";
    SDL_FreeSurface(cap32);
    SDL_FreeSurface(cell32);
    SDL_FreeSurface(skin32);
    FreeFrontImage(frame);
}

TEST(Resources, StringAndImagesAreEmbedded)
{
    EXPECT_STREQ(LoadResourceString(IDS_SOCKET_INIT_FAILED), "Windows 套接字初始化失败。");
    EXPECT_STREQ(LoadResourceString(999), "");
    EXPECT_EQ(FindResourceData(999).pData, nullptr);
    for (int id : {IDR_MAINFRAME, IDR_SKIN, IDB_BAR_LEFT, IDB_BAR_CELL, IDB_BAR_RIGHT}) {
        FRONT_IMAGE* image = LoadImageFromResource(id);
        ASSERT_NE(image, nullptr) << id;
        EXPECT_EQ(image->surface->format->BitsPerPixel, 24) << id;
        FreeFrontImage(image);
    }
}

}  // namespace
