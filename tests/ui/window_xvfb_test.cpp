// The progress window on a real X server (Xvfb): placement, skin, labels, bar
// and the full bar before it closes, checked on screenshots. A fake worker
// posts the messages; the end-to-end runs of the program use the real one.
#include <gtest/gtest.h>

#include <SDL_syswm.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "process.h"
#include "resource.h"
#include "sdl_front.h"
#include "tovarin_dlg.h"
#include "wait.h"
#include "xvfb.h"

using namespace test;

namespace {

constexpr int SCREEN_W = 1024;
constexpr int SCREEN_H = 768;
constexpr int WIN_X = (SCREEN_W - 566) / 2;
constexpr int WIN_Y = (SCREEN_H - 73) / 2;

LPARAM Text(const wchar_t* text)
{
    return reinterpret_cast<LPARAM>(new std::wstring(text));
}

unsigned SurfacePixel(SDL_Surface* s, int x, int y)
{
    const auto* row = static_cast<const Uint8*>(s->pixels) + y * s->pitch;
    Uint8 r, g, b;
    SDL_GetRGB(reinterpret_cast<const Uint32*>(row)[x], s->format, &r, &g, &b);
    return (unsigned(r) << 16) | (unsigned(g) << 8) | b;
}

// Pixels of the screenshot that differ from the skin in the window rectangle
// (x, y, w, h) and look like the text's yellowish ink.
int InkPixels(const Screenshot& shot, SDL_Surface* skin, int x0, int y0, int w, int h)
{
    int ink = 0;
    for (int y = y0; y < y0 + h; ++y) {
        for (int x = x0; x < x0 + w; ++x) {
            const unsigned p = shot.Pixel(WIN_X + x, WIN_Y + y);
            const unsigned red = p >> 16, green = (p >> 8) & 0xFF, blue = p & 0xFF;
            ink += p != SurfacePixel(skin, x, y) && red >= 160 && green >= 160 && blue < red;
        }
    }
    return ink;
}

class WindowOnXvfb : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(display.Start(SCREEN_W, SCREEN_H));
        display.Export();
        ASSERT_TRUE(OpenFrontDisplay()) << SDL_GetError();
        skin = Argb(IDR_SKIN);
        cell = Argb(IDB_BAR_CELL);
        cap = Argb(IDB_BAR_RIGHT);
    }
    void TearDown() override
    {
        SDL_FreeSurface(skin);
        SDL_FreeSurface(cell);
        SDL_FreeSurface(cap);
        CloseFrontDisplay();
        display.Stop();
    }
    // A resource image in ARGB, for comparing pixels.
    static SDL_Surface* Argb(int id)
    {
        FRONT_IMAGE* raw = LoadImageFromResource(id);
        SDL_Surface* converted = raw ? SDL_ConvertSurfaceFormat(raw->surface, SDL_PIXELFORMAT_ARGB8888, 0) : nullptr;
        FreeFrontImage(raw);
        return converted;
    }

    Xvfb display;
    SDL_Surface* skin = nullptr;
    SDL_Surface* cell = nullptr;
    SDL_Surface* cap = nullptr;
};

TEST_F(WindowOnXvfb, ShowsTheSkinLabelsAndBarThenTheFullBarBeforeClosing)
{
    Screenshot shot;
    Screenshot done;
    std::atomic<bool> shotDuring{false};
    bool shotAfter = false;
    FRONT_IMAGE* frame = CreateFrontImage(566, 73);

    CTovarinDlg dlg;
    dlg.m_onFramePresented = [&](unsigned progress) {
        if (progress == 30 && !dlg.m_lblBytes.GetText().empty() && !shotDuring) {
            dlg.PaintFrame(frame);
            ASSERT_TRUE(display.Take(shot));
            shotDuring = true;
        } else if (progress == 66 && !shotAfter) {
            ASSERT_TRUE(display.Take(done));
            shotAfter = true;
        }
    };
    std::thread worker([&] {
        dlg.PostNotify(WM_UPDATE_STATUS, 0, Text(L"正在检查新的版本..."));
        dlg.PostNotify(WM_UPDATE_STATUS, 30, Text(L"剩余2个文件需要下载/正在下载:gorbo"));
        for (unsigned i = 0; i <= 1024; ++i) {
            dlg.PostNotify(WM_UPDATE_BYTES, i, 2048);
        }
        WaitUntil([&] { return shotDuring.load(); }, std::chrono::seconds(60));
        dlg.PostNotify(WM_UPDATE_DONE, 0, 0);
    });
    const int result = dlg.DoModal();
    worker.join();
    EXPECT_EQ(result, IDOK);
    ASSERT_TRUE(shotDuring);
    ASSERT_TRUE(shotAfter);
    SDL_Surface* composed = frame->surface;

    // Centred, 566 x 73, borderless: the skin's frame starts at the window's
    // corner and the black root shows right outside it.
    EXPECT_EQ(shot.Pixel(WIN_X, WIN_Y), SurfacePixel(skin, 0, 0));
    EXPECT_EQ(shot.Pixel(WIN_X + 565, WIN_Y + 72), SurfacePixel(skin, 565, 72));
    EXPECT_EQ(shot.Pixel(WIN_X - 1, WIN_Y), 0u);
    EXPECT_EQ(shot.Pixel(WIN_X + 566, WIN_Y + 72), 0u);
    EXPECT_EQ(shot.Pixel(WIN_X, WIN_Y + 73), 0u);
    // The screen holds exactly the frame the window composed.
    int differing = 0;
    for (int y = 0; y < 73; ++y) {
        for (int x = 0; x < 566; ++x) {
            differing += shot.Pixel(WIN_X + x, WIN_Y + y) != SurfacePixel(composed, x, y);
        }
    }
    EXPECT_EQ(differing, 0);
    // Status text in the status label, byte line in the byte label.
    EXPECT_GT(InkPixels(shot, skin, 20, 0, 500, 28), 60);
    EXPECT_GT(InkPixels(shot, skin, 0, 49, 566, 24), 40);
    EXPECT_EQ(InkPixels(shot, skin, 0, 28, 18, 21), 0);
    // One gold cell per step.
    const unsigned gold = SurfacePixel(cell, 4, 9);
    int cells = 0;
    for (int i = 0; i < 65; ++i) {
        cells += shot.Pixel(WIN_X + 26 + 8 * i + 4, WIN_Y + 38) == gold;
    }
    EXPECT_EQ(cells, 30);

    cells = 0;
    for (int i = 0; i < 65; ++i) {
        cells += done.Pixel(WIN_X + 26 + 8 * i + 4, WIN_Y + 38) == gold;
    }
    EXPECT_EQ(cells, 65);
    // The whole right cap, its rounded corners included, over the last cell.
    differing = 0;
    for (int y = 0; y < 18; ++y) {
        for (int x = 0; x < 8; ++x) {
            differing += done.Pixel(WIN_X + 538 + x, WIN_Y + 29 + y) != SurfacePixel(cap, x, y);
        }
    }
    EXPECT_EQ(differing, 0);
    EXPECT_NE(done.Pixel(WIN_X + 545, WIN_Y + 29), SurfacePixel(cell, 7, 0));
    FreeFrontImage(frame);
}

// A worker that posts byte counts as fast as it can neither blocks nor
// floods the screen: frames are coalesced to at most one per 16 ms, and the
// last count is the one shown.
TEST_F(WindowOnXvfb, AFloodOfByteCountsIsPaintedAtFrameRate)
{
    CTovarinDlg dlg;
    std::atomic<int> frames{0};
    dlg.m_onFramePresented = [&](unsigned) { ++frames; };
    std::atomic<unsigned> posted{0};
    std::thread worker([&] {
        dlg.PostNotify(WM_UPDATE_STATUS, 3, Text(L"剩余0个文件需要下载/正在下载:flood"));
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
        unsigned i = 0;
        while (std::chrono::steady_clock::now() < end) {
            dlg.PostNotify(WM_UPDATE_BYTES, ++i, 100000000);
        }
        posted = i;
        dlg.PostNotify(WM_UPDATE_CLOSE, 0, 0);
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    worker.join();
    EXPECT_GT(posted.load(), 20000u) << "posting never waited for the window";
    EXPECT_GE(frames.load(), 3);
    EXPECT_LE(frames.load(), static_cast<int>(ms.count() / 16) + 3);
    EXPECT_EQ(dlg.m_lblBytes.GetText(), std::to_wstring(posted.load()) + L" Byte/ 100000000 Byte");
}

// Keys reach the window through the X server (XTEST), as a user's would.
TEST_F(WindowOnXvfb, EscapeAndEnterEndTheWindow)
{
    struct Case {
        const char* key;
        int result;
    } cases[] = {{"Escape", IDCANCEL}, {"Return", IDOK}, {"KP_Enter", IDOK}};
    for (const Case& c : cases) {
        CTovarinDlg dlg;
        std::atomic<bool> ended{false};
        std::thread presser;
        dlg.m_onFramePresented = [&](unsigned) {
            if (presser.joinable()) {
                return;
            }
            SDL_SysWMinfo info;
            SDL_VERSION(&info.version);
            ASSERT_TRUE(SDL_GetWindowWMInfo(dlg.GetWindow()->window, &info));
            const std::string command = "xdotool windowfocus --sync " + std::to_string(info.info.x11.window) +
                                        " key " + c.key + " 2>/dev/null";
            presser = std::thread([&, command] {
                // Pressed until the window ends; after 20 s the window is
                // closed another way so that the test fails instead of hanging.
                const bool pressed = WaitUntil([&] { return ended.load() || (display.Run(command), ended.load()); },
                                               std::chrono::seconds(20), std::chrono::milliseconds(100));
                if (!pressed) {
                    dlg.PostNotify(WM_UPDATE_CLOSE, 0, 0);
                }
            });
        };
        const int result = dlg.DoModal();
        ended = true;
        if (presser.joinable()) {
            presser.join();
        }
        EXPECT_EQ(result, c.result) << c.key;
        EXPECT_FALSE(dlg.FinalMessageReceived()) << c.key;
    }
}

}  // namespace
