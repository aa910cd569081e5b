// The real program on the SDL platform layer under a private Xvfb: what is
// on the screen, the system keys, and how the program ends.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>

#include "process.h"
#include "temp_folder.h"
#include "wait.h"
#include "xvfb.h"

namespace fs = std::filesystem;
using namespace test;

namespace {

constexpr Rgb kSky{107, 136, 255};
constexpr Rgb kYellow{255, 255, 0};
constexpr Rgb kKey{255, 60, 174};
constexpr Rgb kBlack{0, 0, 0};  // the X screen around the window
// Not in the test palette: full screen (8-bit) shows its nearest entry.
constexpr Rgb kTileWindowed{201, 41, 41};
constexpr Rgb kTileFullScreen{200, 40, 40};

// A palette file whose first entries are the given colours, the 3-3-2
// palette's after them.
std::string Palette(std::initializer_list<Rgb> named)
{
    std::string s = "RIFF";
    auto le = [&s](unsigned v, int n) {
        for (int i = 0; i < n; ++i)
            s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    };
    le(4 + 8 + 4 + 1024, 4);
    s += "PAL data";
    le(4 + 1024, 4);
    le(0x0300, 2);
    le(256, 2);
    for (int i = 0; i < 256; ++i) {
        Rgb c{((i >> 5) & 7) * 255 / 7, ((i >> 2) & 7) * 255 / 7, (i & 3) * 85};
        if (i < static_cast<int>(named.size()))
            c = named.begin()[i];
        s.push_back(static_cast<char>(c.r));
        s.push_back(static_cast<char>(c.g));
        s.push_back(static_cast<char>(c.b));
        s.push_back(0);
    }
    return s;
}

std::string Palette()
{
    return Palette({{0, 0, 0}, kSky, kKey, kYellow, kTileFullScreen});
}

// Tile picture 0: its left half is the key colour, its right half red.
Rgb TileSheet(int x, int y)
{
    if (x < 32 && y < 32)
        return x < 16 ? kKey : kTileWindowed;
    return Rgb{0, 0, 0};
}

// A level of cols x 15 cells; with ground, picture 0 along the bottom row.
std::string Level(bool ground, int cols = 20, int dark = 0)
{
    std::string s = std::to_string(dark) + "\n" + std::to_string(cols) + " 15\n";
    for (int layer = 0; layer < 2; ++layer)
        for (int r = 0; r < 15; ++r)
            for (int c = 0; c < cols; ++c)
                s += (ground && r == 14) ? "1 " : "0 ";
    return s + "\n0 0 0\n";
}

// Every cell of the player sheet in one colour.
constexpr Rgb kPlayer{0, 200, 0};
Rgb PlayerSheet(int, int)
{
    return kPlayer;
}
// The player stands on the bottom row from x 64 to 96, y 418 to 450: this
// pixel is inside it until it has moved right by 7 px.
constexpr int kPlayerX = 70;
constexpr int kPlayerY = 430;

class GameUnderXvfb : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!ToolAvailable("Xvfb") || !ToolAvailable("xdotool") || !ToolAvailable("import"))
            GTEST_SKIP() << "Xvfb, xdotool or ImageMagick missing";
        dir = folder.Path();
        fs::create_directories(dir / "level");
        fs::copy_file(GORBO_EXE, dir / "gorbo");
    }
    void Write(const std::string& name, const std::string& bytes)
    {
        fs::create_directories((dir / name).parent_path());
        std::ofstream(dir / name, std::ios::binary) << bytes;
    }
    // A level with a ground row of tile picture 0, the sheet and the palette.
    void WriteGroundLevel()
    {
        Write("level/level1.dat", Level(true));
        Write("bright.pal", Palette());
        Write("graphics/tile.bmp", MakeBmp(512, 256, TileSheet));
    }
    // A program started with only these variables in its environment (and
    // the sanitizers' options).
    std::unique_ptr<Process> Launch(const std::string& program, std::vector<std::string> env,
                                    const std::vector<std::string>& args = {})
    {
        for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"})
            if (const char* value = std::getenv(name))
                env.push_back(std::string(name) + "=" + value);
        PROCESS_OPTIONS options;
        options.env = env;
        options.clearEnvironment = true;
        auto child = std::make_unique<Process>();
        EXPECT_TRUE(child->Start(program, args, options)) << program;
        return child;
    }
    std::unique_ptr<Process> Start(const Xvfb& x)
    {
        auto child = Launch((dir / "gorbo").string(), {"DISPLAY=" + x.Display(), "SDL_AUDIODRIVER=dummy",
                                                        "HOME=" + dir.string()});
        // Polled rather than --sync: windows that SDL makes and drops while it
        // probes the GL driver make xdotool's own wait fail.
        EXPECT_TRUE(WaitUntil([&] { return x.Run("xdotool search --onlyvisible --name Gorbo >/dev/null 2>&1") == 0; },
                              std::chrono::seconds(20), std::chrono::milliseconds(100)));
        EXPECT_EQ(x.Run("xdotool search --name Gorbo windowfocus --sync >/dev/null 2>&1"), 0);
        return child;
    }
    // A long level with ground everywhere, the tile sheet and a player one
    // colour.
    void WriteWalkingLevel()
    {
        Write("level/level1.dat", Level(true, 60));
        Write("graphics/tile.bmp", MakeBmp(512, 256, TileSheet));
        Write("graphics/player.bmp", MakeBmp(256, 192, PlayerSheet));
    }
    // Takes screenshots until pixel (x, y) has the colour; the last one stays in shot.
    bool WaitFor(const Xvfb& x, int px, int py, Rgb colour, Screenshot& shot)
    {
        return WaitUntil([&] { return x.Take(shot) && shot.At(px, py) == colour; }, std::chrono::seconds(20),
                         std::chrono::milliseconds(100));
    }
    TempFolder folder;
    fs::path dir;
};

TEST_F(GameUnderXvfb, SkyFillsAnEmptyLevelWithoutAnyOtherDataFile)
{
    Write("level/level1.dat", Level(false));
    Xvfb x;
    ASSERT_TRUE(x.Start(640, 480));
    auto game = Start(x);
    Screenshot shot;
    ASSERT_TRUE(WaitFor(x, 320, 240, kSky, shot));
    for (int py = 0; py < 480; py += 7)
        for (int px = 0; px < 640; px += 7)
            ASSERT_EQ(shot.At(px, py), kSky) << px << "," << py;
    x.Run("xdotool key Escape");
    EXPECT_EQ(game->Wait(std::chrono::seconds(10)), 0) << game->Output();
}

TEST_F(GameUnderXvfb, KeyColourIsTransparentAndF5ShowsTheFrameRateAt10_10)
{
    WriteGroundLevel();
    Xvfb x;
    ASSERT_TRUE(x.Start(640, 480));
    auto game = Start(x);
    Screenshot shot;
    ASSERT_TRUE(WaitFor(x, 24, 470, kTileWindowed, shot));
    EXPECT_EQ(shot.At(8, 470), kSky);  // key-coloured half of the tile
    EXPECT_EQ(shot.At(10, 10), kSky);

    x.Run("xdotool key F5");
    ASSERT_TRUE(WaitFor(x, 10, 10, kYellow, shot)) << "no frame-rate line";
    EXPECT_EQ(shot.At(9, 10), kSky);
    EXPECT_EQ(shot.At(10, 9), kSky);
    int yellowBelowLine = 0;
    for (int py = 40; py < 448; ++py)
        for (int px = 0; px < 640; ++px)
            yellowBelowLine += shot.At(px, py) == kYellow;
    EXPECT_EQ(yellowBelowLine, 0);

    x.Run("xdotool key F5");
    EXPECT_TRUE(WaitFor(x, 10, 10, kSky, shot));
    x.Run("xdotool key Escape");
    EXPECT_EQ(game->Wait(std::chrono::seconds(10)), 0) << game->Output();
}

TEST_F(GameUnderXvfb, F4SwitchesToEightBitFullScreenAndBackWithThePictureIntact)
{
    WriteGroundLevel();
    Xvfb x;
    ASSERT_TRUE(x.Start(640, 480));
    auto game = Start(x);
    Screenshot before;
    ASSERT_TRUE(WaitFor(x, 24, 470, kTileWindowed, before));

    x.Run("xdotool key F4");
    Screenshot full;
    ASSERT_TRUE(WaitFor(x, 24, 470, kTileFullScreen, full)) << "no 8-bit picture";
    EXPECT_EQ(full.At(8, 470), kSky);
    EXPECT_EQ(full.At(320, 200), kSky);

    x.Run("xdotool key F4");
    Screenshot after;
    ASSERT_TRUE(WaitFor(x, 24, 470, kTileWindowed, after));
    EXPECT_TRUE(after.SameRegion(before, 0, 0, 640, 480));

    x.Run("xdotool key F4");
    ASSERT_TRUE(WaitFor(x, 24, 470, kTileFullScreen, full)) << "second switch to full screen";
    x.Run("xdotool key Escape");
    EXPECT_EQ(game->Wait(std::chrono::seconds(10)), 0) << game->Output();
}

TEST_F(GameUnderXvfb, AResizedWindowShowsThePictureAtTheLargestWholeFactorOnSkyBars)
{
    WriteGroundLevel();
    Xvfb x;
    ASSERT_TRUE(x.Start(1400, 1100));
    auto game = Start(x);
    ASSERT_EQ(x.Run("xdotool search --name Gorbo windowmove --sync 0 0"), 0);
    Screenshot shot;
    ASSERT_TRUE(WaitFor(x, 24, 470, kTileWindowed, shot)) << "not shown as it is at first";
    EXPECT_EQ(shot.At(15, 470), kSky);
    EXPECT_EQ(shot.At(16, 470), kTileWindowed);
    EXPECT_EQ(shot.At(700, 470), kBlack) << "the window grew by itself";

    struct Case {
        int width, height;
        int left, top;  // the picture's corner in the window: the bars' size
    };
    const Case cases[] = {{1280, 960, 0, 0}, {1301, 1001, 10, 20}, {1000, 700, 180, 110}};
    for (const Case& c : cases) {
        const std::string what = std::to_string(c.width) + "x" + std::to_string(c.height);
        ASSERT_EQ(x.Run("xdotool search --name Gorbo windowsize --sync " + std::to_string(c.width) + " " +
                        std::to_string(c.height)),
                  0);
        const int factor = std::min(c.width / 640, c.height / 480);
        // The first tile's red half starts at picture (16, 448): each
        // picture pixel is factor x factor.
        const int redX = c.left + 16 * factor;
        const int redY = c.top + 448 * factor;
        // Frames of the old size may still be on the screen for a moment:
        // the new one shows the tile's edge where the old one did not.
        const int lastX = c.left + 640 * factor - 1;
        const int lastY = c.top + 480 * factor - 1;
        EXPECT_TRUE(WaitUntil([&] {
            return x.Take(shot) && shot.At(redX, redY) == kTileWindowed && shot.At(redX - 1, redY) == kSky &&
                   shot.At(lastX, lastY) == kTileWindowed && (lastX + 1 == c.width || shot.At(lastX + 1, lastY) == kSky);
        })) << what;
        for (int d = 0; d < factor; ++d) {
            EXPECT_EQ(shot.At(redX - 1 - d, redY), kSky) << what;  // the key half
            EXPECT_EQ(shot.At(redX + d, redY - 1), kSky) << what;  // above the ground row
            EXPECT_EQ(shot.At(redX + d, redY + d), kTileWindowed) << what;
        }
        // The bars: sky all around the picture, inside the window only.
        int notSky = 0;
        for (int py = 0; py < c.height; py += 3)
            for (int px = 0; px < c.width; px += 3)
                if (px < c.left || py < c.top || px >= c.left + 640 * factor || py >= c.top + 480 * factor)
                    notSky += !(shot.At(px, py) == kSky);
        EXPECT_EQ(notSky, 0) << what;
        if (c.width < 1400) {
            EXPECT_EQ(shot.At(c.width, 0), kBlack) << what;
        }
    }
    x.Run("xdotool key Escape");
    EXPECT_EQ(game->Wait(std::chrono::seconds(10)), 0) << game->Output();
}

TEST_F(GameUnderXvfb, ADarkLevelLooksDarkInTheWindowAndABrightOneShowsTheBitmapsColours)
{
    constexpr Rgb kNight{10, 10, 60};
    constexpr Rgb kDarkRed{90, 20, 20};
    Write("bright.pal", Palette());
    Write("darken.pal", Palette({{0, 0, 0}, kNight, kKey, kYellow, kDarkRed}));
    Write("graphics/tile.bmp", MakeBmp(512, 256, TileSheet));
    struct Case {
        int dark;
        Rgb sky, tile;
    };
    // The sheet's red is not in the palettes: the bright palette shows it as
    // it is, the dark one as the dark entry of its nearest bright entry.
    for (const Case& c : {Case{0, kSky, kTileWindowed}, Case{1, kNight, kDarkRed}}) {
        Write("level/level1.dat", Level(true, 20, c.dark));
        Xvfb x;
        ASSERT_TRUE(x.Start(640, 480));
        auto game = Start(x);
        Screenshot shot;
        ASSERT_TRUE(WaitFor(x, 24, 470, c.tile, shot)) << c.dark;
        EXPECT_EQ(shot.At(8, 470), c.sky) << c.dark;
        EXPECT_EQ(shot.At(320, 200), c.sky) << c.dark;
        // Full screen shows the same colours, and so does the window again.
        x.Run("xdotool key F4");
        if (c.dark) {
            EXPECT_TRUE(WaitFor(x, 24, 470, kDarkRed, shot)) << "full screen";
        }
        // The frame-rate line, asked for after the switch, marks a frame of
        // the window.
        x.Run("xdotool key F4 key F5");
        ASSERT_TRUE(WaitFor(x, 10, 10, kYellow, shot)) << c.dark;
        EXPECT_EQ(shot.At(24, 470), c.tile) << c.dark;
        EXPECT_EQ(shot.At(320, 200), c.sky) << c.dark;
        x.Run("xdotool key Escape");
        EXPECT_EQ(game->Wait(std::chrono::seconds(10)), 0) << game->Output();
    }
}

TEST_F(GameUnderXvfb, ArrowKeysAreReadByScanCodeKeypadArrowsDoNotCount)
{
    WriteWalkingLevel();
    Xvfb x;
    ASSERT_TRUE(x.Start(640, 480));
    auto game = Start(x);
    Screenshot shot;
    ASSERT_TRUE(WaitFor(x, kPlayerX, kPlayerY, kPlayer, shot));
    x.Run("xdotool keydown KP_Right sleep 0.5 keyup KP_Right");
    x.Run("xdotool keydown KP_6 sleep 0.5 keyup KP_6");
    ASSERT_TRUE(x.Take(shot));
    EXPECT_EQ(shot.At(kPlayerX, kPlayerY), kPlayer) << "the player moved";
    x.Run("xdotool keydown Right sleep 0.5 keyup Right");
    ASSERT_TRUE(x.Take(shot));
    EXPECT_EQ(shot.At(kPlayerX, kPlayerY), kSky) << "the player did not move";
    x.Run("xdotool key Escape");
    EXPECT_EQ(game->Wait(std::chrono::seconds(10)), 0) << game->Output();
}

TEST_F(GameUnderXvfb, PauseFreezesTheWorldUntilPressedAgain)
{
    WriteWalkingLevel();
    Xvfb x;
    ASSERT_TRUE(x.Start(640, 480));
    auto game = Start(x);
    Screenshot shot;
    ASSERT_TRUE(WaitFor(x, kPlayerX, kPlayerY, kPlayer, shot));
    x.Run("xdotool key Pause");
    x.Run("xdotool keydown Right sleep 0.5 keyup Right");
    ASSERT_TRUE(x.Take(shot));
    EXPECT_EQ(shot.At(kPlayerX, kPlayerY), kPlayer) << "the world moved while paused";
    x.Run("xdotool key Pause");
    x.Run("xdotool keydown Right sleep 0.5 keyup Right");
    ASSERT_TRUE(x.Take(shot));
    EXPECT_EQ(shot.At(kPlayerX, kPlayerY), kSky) << "the world did not go on";
    x.Run("xdotool key Escape");
    EXPECT_EQ(game->Wait(std::chrono::seconds(10)), 0) << game->Output();
}

TEST_F(GameUnderXvfb, SwitchingAwayPausesAndSwitchingBackRunsEvenAfterThePauseKey)
{
    if (!ToolAvailable("xmessage"))
        GTEST_SKIP() << "no second X client (xmessage) to switch to";
    WriteWalkingLevel();
    Xvfb x;
    ASSERT_TRUE(x.Start(640, 480));
    auto game = Start(x);
    Screenshot shot;
    ASSERT_TRUE(WaitFor(x, kPlayerX, kPlayerY, kPlayer, shot));
    auto other = Launch("/usr/bin/xmessage", {"DISPLAY=" + x.Display(), "HOME=" + dir.string()},
                        {"-name", "otherapp", "another application"});
    ASSERT_TRUE(WaitUntil([&] { return x.Run("xdotool search --onlyvisible --classname otherapp >/dev/null 2>&1") == 0; },
                          std::chrono::seconds(20), std::chrono::milliseconds(100)));

    x.Run("xdotool key Pause");
    x.Run("xdotool search --onlyvisible --classname otherapp windowfocus --sync");
    x.Run("xdotool search --name Gorbo windowfocus --sync");
    x.Run("xdotool keydown Right sleep 0.5 keyup Right");
    ASSERT_TRUE(x.Take(shot));
    EXPECT_EQ(shot.At(kPlayerX, kPlayerY), kSky) << "paused after switching back";
    x.Run("xdotool key Escape");
    EXPECT_EQ(game->Wait(std::chrono::seconds(10)), 0) << game->Output();
}

TEST_F(GameUnderXvfb, WithoutADisplayTheProgramSaysSoAndEndsWithStatusOne)
{
    Write("level/level1.dat", Level(true));
    auto game = Launch((dir / "gorbo").string(), {"HOME=" + dir.string()});
    EXPECT_EQ(game->Wait(std::chrono::seconds(10)), 1);
    EXPECT_NE(game->Output().find("gorbo: cannot open the game window"), std::string::npos) << game->Output();
}

}  // namespace
