// The display's steps over the platform's operations: the mode and the
// palette the sheets are matched to, the ten sheets, release, and a lost
// display restored at the present.
#include <gtest/gtest.h>

#include <filesystem>

#include "display.h"
#include "game_files.h"
#include "null_platform.h"

namespace {

class DisplaySteps : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetNullPlatform(NullRecord::On);
        g_fullscreen = 0;
        dir.Write("bright.pal", MakePalette("RIFF", "PAL ", "data", 0x0300, 256, 256));
    }
    void TearDown() override
    {
        ReleaseDisplay();
        g_fullscreen = 0;
    }
    static std::vector<std::string> Sheets(NullDraw kind)
    {
        return DescribedDraws({kind});
    }
    TempFolder dir;
};

const std::vector<std::string> kSheetLoads = {
    "load graphics/tile.bmp",   "load graphics/player.bmp", "load graphics/coin.bmp",
    "load graphics/mushroom.bmp", "load graphics/debris.bmp", "load graphics/ghost.bmp",
    "load graphics/turtle.bmp", "load graphics/bullet.bmp", "load graphics/explode.bmp",
    "load graphics/flower.bmp",
};

TEST_F(DisplaySteps, WindowedOpensThenLoadsTheTenSheetsInOrder)
{
    ASSERT_TRUE(InitDisplay());
    std::vector<std::string> log = DescribedDraws();
    ASSERT_EQ(log.size(), 11u);
    EXPECT_EQ(log.front(), "open window");
    EXPECT_EQ(std::vector<std::string>(log.begin() + 1, log.end()), kSheetLoads);
    EXPECT_EQ(NullPlatform().palettesApplied, 0);
}

TEST_F(DisplaySteps, BothModesAreMadeAgainstTheBrightPalette)
{
    for (int mode : {1, 0}) {
        ResetNullPlatform(NullRecord::On);
        g_fullscreen = mode;
        ASSERT_TRUE(InitDisplay());
        EXPECT_EQ(NullPlatform().fullscreen, mode == 1);
        EXPECT_EQ(DescribedDraws().front(), mode ? "open full" : "open window");
        EXPECT_EQ(NullPlatform().palette[200].red, 200) << mode;  // from bright.pal, not the default
        EXPECT_EQ(NullPlatform().palette[200].green, 55) << mode;
        ReleaseDisplay();
    }
}

TEST_F(DisplaySteps, ADisplayThatCannotBeMadeLoadsNoSheet)
{
    NullPlatform().displayAvailable = false;
    EXPECT_FALSE(InitDisplay());
    EXPECT_TRUE(Sheets(NullDraw::Load).empty());
}

TEST_F(DisplaySteps, ReleaseFreesTheSheetsBeforeTheDisplay)
{
    std::filesystem::create_directory(dir.Path("graphics"));
    dir.Write("graphics/tile.bmp", "held");  // the null display loads what opens
    ASSERT_TRUE(InitDisplay());
    ASSERT_NE(g_imgTile.surface, nullptr);
    EXPECT_EQ(g_imgPlayer.surface, nullptr);  // missing file: stays empty
    NullPlatform().draws.clear();
    ReleaseDisplay();
    std::vector<std::string> log = DescribedDraws();
    ASSERT_EQ(log.size(), 11u);
    EXPECT_EQ(log.back(), "close");
    EXPECT_EQ(g_imgTile.surface, nullptr);
}

TEST_F(DisplaySteps, ALostDisplayIsRestoredAndItsSheetsReReadInsteadOfShown)
{
    ASSERT_TRUE(InitDisplay());
    Present();
    EXPECT_EQ(NullPlatform().presents, 1);
    LoseNullDisplay();
    NullPlatform().draws.clear();
    Present();
    EXPECT_EQ(NullPlatform().presents, 1);  // the lost frame is not shown
    std::vector<std::string> log = DescribedDraws({NullDraw::Restore, NullDraw::Reload});
    ASSERT_EQ(log.size(), 11u);
    EXPECT_EQ(log.front(), "restore");
    EXPECT_EQ(log[1], "reload graphics/tile.bmp");
    EXPECT_EQ(log.back(), "reload graphics/flower.bmp");
    Present();
    EXPECT_EQ(NullPlatform().presents, 2);
}

}  // namespace
