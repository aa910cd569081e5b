// The SDL display of the platform layer in this process, on SDL's dummy
// video driver with the software renderer: what reaches the renderer's
// output in both modes, its scaling by whole factors on sky bars, colour
// keys, palettes (the window's colour translation too), frames of the
// game's sheets against SDL's own blits, lost textures, and bitmap files
// that are refused.
#include <gtest/gtest.h>

#include <SDL.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

#include "display.h"
#include "palette.h"
#include "sdl_platform.h"
#include "window_ops.h"
#include "image.h"
#include "temp_folder.h"

namespace fs = std::filesystem;
using test::MakeBmp;
using test::Rgb;
using test::Screenshot;

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
    // The renderer's output, whole.
    static Screenshot Output()
    {
        SDL_Renderer* r = SDL_GetRenderer(Sdl().window);
        Screenshot shot;
        SDL_GetRendererOutputSize(r, &shot.width, &shot.height);
        std::vector<Uint32> pixels(static_cast<std::size_t>(shot.width) * static_cast<std::size_t>(shot.height));
        SDL_RenderReadPixels(r, nullptr, SDL_PIXELFORMAT_RGB888, pixels.data(), shot.width * 4);
        for (Uint32 p : pixels) {
            shot.rgb.push_back(static_cast<std::uint8_t>(p >> 16));
            shot.rgb.push_back(static_cast<std::uint8_t>(p >> 8));
            shot.rgb.push_back(static_cast<std::uint8_t>(p));
        }
        return shot;
    }
    // The whole factor the picture is shown at, and its top-left corner.
    static void Layout(const Screenshot& out, int& factor, int& left, int& top)
    {
        factor = std::max(std::min(out.width / 640, out.height / 480), 1);
        left = (out.width - 640 * factor) / 2;
        top = (out.height - 480 * factor) / 2;
    }
    // The colour shown for back-buffer pixel (x, y).
    static Rgb Shown(int x, int y)
    {
        Screenshot out = Output();
        int factor = 1;
        int left = 0;
        int top = 0;
        Layout(out, factor, left, top);
        return out.At(left + x * factor, top + y * factor);
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

TEST_F(SdlDisplay, WindowedShowsTheAppliedPaletteAndTheBrightOneAsTheBitmapsOwnColours)
{
    constexpr Rgb kNearRed{201, 41, 41};  // not in the palette; its nearest entry is the red one
    PaletteEntry bright[256];
    WriteExactPalette(bright);
    std::ofstream("graphics/player.bmp", std::ios::binary) << MakeBmp(32, 32, [](int, int) { return kNearRed; });
    ASSERT_TRUE(InitDisplay());
    struct Case {
        const char* what;
        int changed;  // palette index given another colour; -1: the bright palette itself
        Rgb colour;
        Rgb sky, red, nearRed;
    };
    constexpr Rgb kNight{0, 0, 90};
    constexpr Rgb kGreen{0, 200, 0};
    const Case cases[] = {
        {"bright", -1, {}, kSky, kRed, kNearRed},
        {"sky changed", 1, kNight, kNight, kRed, kNearRed},
        {"red changed", 3, kGreen, kSky, kGreen, kGreen},
        {"red made the key colour stays drawn", 3, kKey, kSky, {255, 60, 175}, {255, 60, 175}},
        {"bright again", -1, {}, kSky, kRed, kNearRed},
    };
    for (const Case& c : cases) {
        PaletteEntry applied[256];
        std::copy(bright, bright + 256, applied);
        if (c.changed >= 0)
            applied[c.changed] = Entry(c.colour);
        ApplyPalette(applied);
        ClearBackBuffer();
        g_imgTile.BltTo(100, 100, BltRect{0, 0, 32, 32});
        g_imgPlayer.BltTo(200, 100, BltRect{0, 0, 32, 32});
        Present();
        EXPECT_EQ(Shown(5, 5), c.sky) << c.what;
        EXPECT_EQ(Shown(108, 110), c.sky) << c.what;  // key-coloured half
        EXPECT_EQ(Shown(124, 110), c.red) << c.what;
        EXPECT_EQ(Shown(210, 110), c.nearRed) << c.what;
    }
}

// The colour a pixel of the game's sheets shows through palette: the
// palette's entry at the pixel's colour in "bright.pal" (every colour of the
// sheets is one of its entries).
Rgb Through(const PaletteEntry bright[256], const PaletteEntry palette[256], Rgb c)
{
    for (int i = 0; i < 256; ++i) {
        if (bright[i].red == c.r && bright[i].green == c.g && bright[i].blue == c.b)
            return Rgb{palette[i].red, palette[i].green, palette[i].blue};
    }
    return Rgb{-1, -1, -1};
}

// A frame of the game's own sheets: rows of tiles and a few sprites
// overlapping them and the screen's edges.
void DrawGameFrame()
{
    ClearBackBuffer();
    for (int i = 0; i < 20 * 15; i += 3) {
        int p = 1 + (i * 7) % 60;
        g_imgTile.BltTo((i % 20) * 32, (i / 20) * 32, BltRect{(p % 16) * 32, (p / 16) * 32, (p % 16) * 32 + 32, (p / 16) * 32 + 32});
    }
    CImage* sheets[] = {&g_imgPlayer, &g_imgGhost, &g_imgTurtle, &g_imgCoin, &g_imgFlower};
    for (int i = 0; i < 25; ++i)
        sheets[i % 5]->BltTo((i * 97) % 640 - 10, (i * 53) % 480 - 10, BltRect{0, 0, 32, 32});
}

// The same frame composed by SDL's own colour-keyed blits, in the bitmaps'
// colours.
Screenshot ReferenceFrame()
{
    const char* files[] = {"player", "ghost", "turtle", "coin", "flower"};
    SDL_Surface* frame = SDL_CreateRGBSurfaceWithFormat(0, 640, 480, 32, SDL_PIXELFORMAT_RGB888);
    SDL_FillRect(frame, nullptr, SDL_MapRGB(frame->format, kSky.r, kSky.g, kSky.b));
    auto sheet = [frame](const std::string& name) {
        SDL_Surface* bmp = SDL_LoadBMP(("graphics/" + name + ".bmp").c_str());
        SDL_Surface* s = SDL_ConvertSurface(bmp, frame->format, 0);
        SDL_FreeSurface(bmp);
        SDL_SetColorKey(s, SDL_TRUE, SDL_MapRGB(s->format, kKey.r, kKey.g, kKey.b));
        return s;
    };
    SDL_Surface* tiles = sheet("tile");
    for (int i = 0; i < 20 * 15; i += 3) {
        int p = 1 + (i * 7) % 60;
        SDL_Rect from{(p % 16) * 32, (p / 16) * 32, 32, 32};
        SDL_Rect to{(i % 20) * 32, (i / 20) * 32, 0, 0};
        SDL_BlitSurface(tiles, &from, frame, &to);
    }
    SDL_FreeSurface(tiles);
    for (int i = 0; i < 25; ++i) {
        SDL_Surface* s = sheet(files[i % 5]);
        SDL_Rect from{0, 0, 32, 32};
        SDL_Rect to{(i * 97) % 640 - 10, (i * 53) % 480 - 10, 0, 0};
        SDL_BlitSurface(s, &from, frame, &to);
        SDL_FreeSurface(s);
    }
    Screenshot shot;
    shot.width = 640;
    shot.height = 480;
    for (int y = 0; y < 480; ++y) {
        for (int x = 0; x < 640; ++x) {
            Uint8 r, g, b;
            SDL_GetRGB(static_cast<Uint32*>(frame->pixels)[y * frame->pitch / 4 + x], frame->format, &r, &g, &b);
            shot.rgb.insert(shot.rgb.end(), {r, g, b});
        }
    }
    SDL_FreeSurface(frame);
    return shot;
}

TEST_F(SdlDisplay, ComposedFramesMatchAReferenceInBothModesThroughEitherPalette)
{
    for (const auto& file : fs::directory_iterator(fs::path(GORBO_DATA_DIR) / "graphics"))
        fs::copy_file(file.path(), fs::path("graphics") / file.path().filename(), fs::copy_options::overwrite_existing);
    for (const char* name : {"bright.pal", "darken.pal"})
        fs::copy_file(fs::path(GORBO_DATA_DIR) / name, name);
    PaletteEntry bright[256];
    PaletteEntry dark[256];
    ASSERT_TRUE(LoadPaletteFile("bright.pal", bright));
    ASSERT_TRUE(LoadPaletteFile("darken.pal", dark));
    const Screenshot reference = ReferenceFrame();
    for (int mode : {0, 1}) {
        ReleaseDisplay();
        g_fullscreen = mode;
        ASSERT_TRUE(InitDisplay());
        for (const PaletteEntry* palette : {bright, dark, bright}) {
            ApplyPalette(palette);
            DrawGameFrame();
            Present();
            Screenshot out = Output();
            int factor = 1;
            int left = 0;
            int top = 0;
            Layout(out, factor, left, top);
            int wrong = 0;
            for (int y = 0; y < 480; ++y) {
                for (int x = 0; x < 640; ++x) {
                    Rgb expected = Through(bright, palette, reference.At(x, y));
                    wrong += !(out.At(left + x * factor, top + y * factor) == expected);
                }
            }
            EXPECT_EQ(wrong, 0) << (mode ? "full screen, " : "windowed, ") << (palette == dark ? "dark" : "bright");
        }
    }
}

TEST_F(SdlDisplay, PictureIsScaledByTheLargestWholeFactorOnSkyBars)
{
    PaletteEntry bright[256];
    WriteExactPalette(bright);
    struct Case {
        int fullscreen;
        int width, height;  // windowed: the window's size
        int factor;
    };
    // SDL's dummy video driver has a 1024 x 768 desktop.
    const Case cases[] = {
        {0, 640, 480, 1}, {0, 1280, 960, 2}, {0, 1300, 1001, 2}, {0, 2000, 1000, 2},
        {0, 1920, 1440, 3}, {0, 700, 2000, 1}, {1, 0, 0, 1},
    };
    for (const Case& c : cases) {
        ReleaseDisplay();
        g_fullscreen = c.fullscreen;
        ASSERT_TRUE(InitDisplay());
        if (!c.fullscreen)
            SDL_SetWindowSize(Sdl().window, c.width, c.height);
        for (int frame = 0; frame < 2; ++frame)  // the second frame finds its bars painted
            DrawFrame();
        Screenshot out = Output();
        const std::string what = std::to_string(out.width) + "x" + std::to_string(out.height);
        if (!c.fullscreen) {
            ASSERT_EQ(out.width, c.width) << what;
            ASSERT_EQ(out.height, c.height) << what;
        }
        int left = (out.width - 640 * c.factor) / 2;
        int top = (out.height - 480 * c.factor) / 2;
        // The tile's red half is picture x 116 to 131; each picture pixel
        // is factor x factor output pixels.
        for (int dy = 0; dy < c.factor; ++dy) {
            for (int dx = 0; dx < c.factor; ++dx) {
                EXPECT_EQ(out.At(left + 116 * c.factor + dx, top + 100 * c.factor + dy), kRed) << what;
                EXPECT_EQ(out.At(left + 115 * c.factor + dx, top + 100 * c.factor + dy), kSky) << what;
            }
        }
        EXPECT_EQ(out.At(left + 132 * c.factor - 1, top + 131 * c.factor + c.factor - 1), kRed) << what;
        EXPECT_EQ(out.At(left + 132 * c.factor, top + 131 * c.factor), kSky) << what;
        // Bars: every output pixel outside the picture has the sky colour.
        int notSky = 0;
        for (int y = 0; y < out.height; ++y)
            for (int x = 0; x < out.width; ++x)
                if (x < left || y < top || x >= left + 640 * c.factor || y >= top + 480 * c.factor)
                    notSky += !(out.At(x, y) == kSky);
        EXPECT_EQ(notSky, 0) << what;
    }
    // The bars follow the palette.
    PaletteEntry night[256];
    std::copy(bright, bright + 256, night);
    night[1] = Entry(Rgb{0, 0, 90});
    ApplyPalette(night);
    DrawFrame();
    EXPECT_EQ(Output().At(0, 0), (Rgb{0, 0, 90}));
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
