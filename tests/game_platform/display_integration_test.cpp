// The SDL display of the platform layer in this process, on SDL's dummy
// video driver with the software renderer: what reaches the renderer's
// output in both modes, colour keys, palettes, lost textures, and bitmap
// files that are refused.
#include <gtest/gtest.h>

#include <SDL.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

#include "display.h"
#include "sdl_platform.h"
#include "window_ops.h"
#include "image.h"
#include "temp_folder.h"

namespace fs = std::filesystem;
using test::MakeBmp;
using test::Rgb;

namespace {

constexpr Rgb kSky{107, 136, 255};
constexpr Rgb kKey{255, 60, 174};
constexpr Rgb kRed{200, 40, 40};

Rgb Sheet(int x, int)
{
    return x < 16 ? kKey : kRed;
}

PaletteEntry Entry(Rgb c)
{
    return PaletteEntry{static_cast<std::uint8_t>(c.r), static_cast<std::uint8_t>(c.g),
                        static_cast<std::uint8_t>(c.b), 0};
}

class SdlDisplay : public ::testing::Test {
protected:
    static void SetUpTestSuite() { setenv("SDL_VIDEODRIVER", "dummy", 1); }
    void SetUp() override
    {
        dir = folder.Path();
        fs::create_directories(dir / "graphics");
        previous = fs::current_path();
        fs::current_path(dir);
        std::ofstream("graphics/tile.bmp", std::ios::binary) << MakeBmp(64, 32, Sheet);
        ASSERT_TRUE(OpenGameWindow("display test")) << PlatformError();
    }
    void TearDown() override
    {
        ReleaseDisplay();
        ShutdownPlatform();
        g_fullscreen = 0;
        fs::current_path(previous);
    }
    // The colour shown for back-buffer pixel (x, y), read from the renderer's
    // output (scaled in full screen).
    Rgb Shown(int x, int y)
    {
        SDL_Renderer* r = SDL_GetRenderer(Sdl().window);
        int w = 0;
        int h = 0;
        SDL_GetRendererOutputSize(r, &w, &h);
        SDL_RenderSetLogicalSize(r, 0, 0);
        float scale = std::min(static_cast<float>(w) / 640.0f, static_cast<float>(h) / 480.0f);
        int ox = static_cast<int>((static_cast<float>(w) - 640.0f * scale) / 2.0f);
        int oy = static_cast<int>((static_cast<float>(h) - 480.0f * scale) / 2.0f);
        SDL_Rect at{ox + static_cast<int>((static_cast<float>(x) + 0.5f) * scale),
                    oy + static_cast<int>((static_cast<float>(y) + 0.5f) * scale), 1, 1};
        Uint32 pixel = 0;
        SDL_RenderReadPixels(r, &at, SDL_PIXELFORMAT_RGB888, &pixel, 4);
        SDL_RenderSetLogicalSize(r, 640, 480);
        return Rgb{static_cast<int>((pixel >> 16) & 0xFF), static_cast<int>((pixel >> 8) & 0xFF),
                   static_cast<int>(pixel & 0xFF)};
    }
    // "bright.pal" with black, the sky, the key and the sheet's red.
    static void WriteExactPalette(PaletteEntry* out = nullptr)
    {
        PaletteEntry entries[256];
        for (auto& e : entries)
            e = PaletteEntry{0, 0, 0, 0};
        entries[1] = Entry(kSky);
        entries[2] = Entry(kKey);
        entries[3] = Entry(kRed);
        std::ofstream pal("bright.pal", std::ios::binary);
        pal.write("RIFF\x0c\x04\0\0PAL data\x04\x04\0\0\x00\x03\x00\x01", 24);
        pal.write(reinterpret_cast<const char*>(entries), sizeof entries);
        if (out)
            std::copy(entries, entries + 256, out);
    }
    void DrawFrame()
    {
        ClearBackBuffer();
        g_imgTile.BltTo(100, 100, BltRect{0, 0, 32, 32});
        Present();
    }
    test::TempFolder folder;
    fs::path dir;
    fs::path previous;
};

TEST_F(SdlDisplay, WindowedFrameShowsSkyAndKeyedImage)
{
    g_fullscreen = 0;
    ASSERT_TRUE(InitDisplay()) << PlatformError();
    DrawFrame();
    EXPECT_EQ(Shown(5, 5), kSky);
    EXPECT_EQ(Shown(108, 110), kSky);  // key-coloured half
    EXPECT_EQ(Shown(124, 110), kRed);
    EXPECT_EQ(Shown(140, 110), kSky);  // beyond the copied rectangle
}

TEST_F(SdlDisplay, CopiesAreClippedToTheImageAndTheBackBuffer)
{
    WriteExactPalette();
    for (int mode = 0; mode < 2; ++mode) {
        ReleaseDisplay();
        g_fullscreen = mode;
        ASSERT_TRUE(InitDisplay());
        ClearBackBuffer();
        g_imgTile.BltTo(-20, -5, BltRect{0, 0, 64, 32});      // off the top-left corner
        g_imgTile.BltTo(620, 470, BltRect{0, 0, 64, 32});     // off the bottom-right corner
        g_imgTile.BltTo(300, 300, BltRect{-8, -8, 900, 900});  // larger than the image
        g_imgTile.BltTo(700, 100, BltRect{0, 0, 32, 32});     // wholly outside
        g_imgTile.BltTo(200, 200, BltRect{32, 0, 16, 32});    // inverted: nothing
        Present();
        EXPECT_EQ(Shown(0, 0), kRed) << mode;     // image x 20 and beyond is red
        EXPECT_EQ(Shown(630, 479), kSky) << mode;  // image x 10: key
        EXPECT_EQ(Shown(639, 479), kRed) << mode;  // image x 19
        EXPECT_EQ(Shown(300 + 24, 310), kRed) << mode;
        EXPECT_EQ(Shown(300 + 8, 310), kSky) << mode;
        EXPECT_EQ(Shown(210, 210), kSky) << mode;
    }
}

TEST_F(SdlDisplay, FullScreenUsesTheSharedPaletteByIndex)
{
    PaletteEntry entries[256];
    WriteExactPalette(entries);
    g_fullscreen = 1;
    ASSERT_TRUE(InitDisplay()) << PlatformError();
    DrawFrame();
    EXPECT_EQ(Shown(5, 5), kSky);
    EXPECT_EQ(Shown(108, 110), kSky);
    EXPECT_EQ(Shown(124, 110), kRed);

    // Another palette recolours every index, images included.
    entries[1] = Entry(Rgb{0, 0, 90});
    entries[3] = Entry(Rgb{0, 200, 0});
    ApplyPalette(entries);
    DrawFrame();
    EXPECT_EQ(Shown(5, 5), (Rgb{0, 0, 90}));
    EXPECT_EQ(Shown(124, 110), (Rgb{0, 200, 0}));
}

TEST_F(SdlDisplay, PaletteChangesNothingWhenWindowed)
{
    ASSERT_TRUE(InitDisplay());
    PaletteEntry entries[256] = {};
    ApplyPalette(entries);
    DrawFrame();
    EXPECT_EQ(Shown(5, 5), kSky);
}

TEST_F(SdlDisplay, LostTexturesAreRestoredAndImagesReloaded)
{
    ASSERT_TRUE(InitDisplay());
    DrawFrame();
    SDL_Event reset{};
    reset.type = SDL_RENDER_TARGETS_RESET;
    SDL_PushEvent(&reset);
    WindowEvent event;
    while (PollWindowEvent(event)) {
    }
    // The sheet changes on disk while the display is lost: the reload shows it.
    std::ofstream("graphics/tile.bmp", std::ios::binary) << MakeBmp(64, 32, [](int, int) { return Rgb{10, 20, 30}; });
    DrawFrame();  // restores; this frame is not shown
    DrawFrame();
    EXPECT_EQ(Shown(108, 110), (Rgb{10, 20, 30}));
    EXPECT_EQ(Shown(5, 5), kSky);
}

TEST_F(SdlDisplay, MissingMalformedAndOversizedBitmapsLoadNothing)
{
    ASSERT_TRUE(InitDisplay());
    std::string huge = MakeBmp(2, 2, Sheet);
    huge[18] = 0;
    huge[19] = 0;
    huge[20] = 1;  // width 65536
    std::ofstream("graphics/huge.bmp", std::ios::binary) << huge;
    std::ofstream("graphics/cut.bmp", std::ios::binary) << MakeBmp(8, 8, Sheet).substr(0, 60);
    std::ofstream("graphics/text.bmp", std::ios::binary) << "not a bitmap at all";
    for (const char* path : {"graphics/none.bmp", "graphics/huge.bmp", "graphics/cut.bmp", "graphics/text.bmp"}) {
        CImage image;
        EXPECT_FALSE(image.Load(path)) << path;
        image.BltTo(0, 0, BltRect{0, 0, 32, 32});
        EXPECT_EQ(image.surface, nullptr) << path;
    }
}

TEST_F(SdlDisplay, NothingIsTouchedWithoutADisplay)
{
    // As after a failed F4: every operation does nothing.
    ReleaseDisplay();
    DrawFrame();
    DrawTextAt(10, 10, "FPS: 1.00");
    PaletteEntry entries[256] = {};
    ApplyPalette(entries);
    RestoreDisplay();
    ReloadImages();
    ASSERT_TRUE(InitDisplay());
    DrawFrame();
    EXPECT_EQ(Shown(5, 5), kSky);
}

}  // namespace
