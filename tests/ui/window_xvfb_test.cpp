// The progress window on a real X server (Xvfb): placement, skin, labels, bar
// and the full bar before it closes, checked on screenshots. A fake worker
// posts the messages; the end-to-end runs of the program use the real one.
#include <gtest/gtest.h>

#include <SDL.h>
#include <SDL_syswm.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "resource.h"
#include "tovarin_dlg.h"
#include "xvfb_display.h"

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
int InkPixels(const RGB_SHOT& shot, SDL_Surface* skin, int x0, int y0, int w, int h)
{
    int ink = 0;
    for (int y = y0; y < y0 + h; ++y) {
        for (int x = x0; x < x0 + w; ++x) {
            const unsigned p = shot.At(WIN_X + x, WIN_Y + y);
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
        ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError();
        ASSERT_EQ(TTF_Init(), 0);
        SDL_Surface* raw = LoadImageFromResource(IDR_SKIN);
        skin = SDL_ConvertSurfaceFormat(raw, SDL_PIXELFORMAT_ARGB8888, 0);
        SDL_FreeSurface(raw);
        raw = LoadImageFromResource(IDB_BAR_CELL);
        cell = SDL_ConvertSurfaceFormat(raw, SDL_PIXELFORMAT_ARGB8888, 0);
        SDL_FreeSurface(raw);
        dir = ::testing::TempDir();
    }
    void TearDown() override
    {
        SDL_FreeSurface(skin);
        SDL_FreeSurface(cell);
        TTF_Quit();
        SDL_Quit();
        display.Stop();
    }

    CXvfbDisplay display;
    SDL_Surface* skin = nullptr;
    SDL_Surface* cell = nullptr;
    std::string dir;
};

TEST_F(WindowOnXvfb, ShowsTheSkinLabelsAndBarThenTheFullBarBeforeClosing)
{
    const std::string during = dir + "tovarin_during.rgb";
    const std::string after = dir + "tovarin_done.rgb";
    std::atomic<bool> shotDuring{false};
    bool shotAfter = false;
    SDL_Surface* composed = SDL_CreateRGBSurfaceWithFormat(0, 566, 73, 32, SDL_PIXELFORMAT_ARGB8888);

    CTovarinDlg dlg;
    dlg.m_onFramePresented = [&](unsigned progress) {
        if (progress == 30 && !dlg.m_lblBytes.GetText().empty() && !shotDuring) {
            dlg.PaintFrame(composed);
            ASSERT_TRUE(display.Screenshot(during));
            shotDuring = true;
        } else if (progress == 66 && !shotAfter) {
            ASSERT_TRUE(display.Screenshot(after));
            shotAfter = true;
        }
    };
    std::thread worker([&] {
        dlg.PostNotify(WM_UPDATE_STATUS, 0, Text(L"正在检查新的版本..."));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        dlg.PostNotify(WM_UPDATE_STATUS, 30, Text(L"剩余2个文件需要下载/正在下载:gorbo"));
        for (unsigned i = 0; i <= 1024; ++i) {
            dlg.PostNotify(WM_UPDATE_BYTES, i, 2048);
        }
        while (!shotDuring) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        dlg.PostNotify(WM_UPDATE_DONE, 0, 0);
    });
    const int result = dlg.DoModal();
    worker.join();
    EXPECT_EQ(result, IDOK);
    ASSERT_TRUE(shotDuring);
    ASSERT_TRUE(shotAfter);

    RGB_SHOT shot;
    ASSERT_TRUE(shot.Load(during, SCREEN_W, SCREEN_H));
    // Centred, 566 x 73, borderless: the skin's frame starts at the window's
    // corner and the black root shows right outside it.
    EXPECT_EQ(shot.At(WIN_X, WIN_Y), SurfacePixel(skin, 0, 0));
    EXPECT_EQ(shot.At(WIN_X + 565, WIN_Y + 72), SurfacePixel(skin, 565, 72));
    EXPECT_EQ(shot.At(WIN_X - 1, WIN_Y), 0u);
    EXPECT_EQ(shot.At(WIN_X + 566, WIN_Y + 72), 0u);
    EXPECT_EQ(shot.At(WIN_X, WIN_Y + 73), 0u);
    // The screen holds exactly the frame the window composed.
    int differing = 0;
    for (int y = 0; y < 73; ++y) {
        for (int x = 0; x < 566; ++x) {
            differing += shot.At(WIN_X + x, WIN_Y + y) != SurfacePixel(composed, x, y);
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
        cells += shot.At(WIN_X + 26 + 8 * i + 4, WIN_Y + 38) == gold;
    }
    EXPECT_EQ(cells, 30);

    RGB_SHOT done;
    ASSERT_TRUE(done.Load(after, SCREEN_W, SCREEN_H));
    cells = 0;
    for (int i = 0; i < 65; ++i) {
        cells += done.At(WIN_X + 26 + 8 * i + 4, WIN_Y + 38) == gold;
    }
    EXPECT_EQ(cells, 65);
    // The right cap's rounded corner replaces the last cell's square one.
    EXPECT_EQ(done.At(WIN_X + 541, WIN_Y + 38), gold);
    EXPECT_NE(done.At(WIN_X + 545, WIN_Y + 29), SurfacePixel(cell, 7, 0));
    SDL_FreeSurface(composed);
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
            ASSERT_TRUE(SDL_GetWindowWMInfo(dlg.GetWindow(), &info));
            const std::string command = "xdotool windowfocus --sync " + std::to_string(info.info.x11.window) +
                                        " key " + c.key + " 2>/dev/null";
            presser = std::thread([&, command] {
                // Repeated until the window ends; after 10 s the window is
                // closed another way so that the test fails instead of hanging.
                for (int i = 0; i < 100 && !ended; ++i) {
                    std::system(command.c_str());
                    std::this_thread::sleep_for(std::chrono::milliseconds(100));
                }
                if (!ended) {
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
