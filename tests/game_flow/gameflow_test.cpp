// Level loading: the level sequence, the look and sound of a level, the
// world update with the player walking the camera along.
#include <gtest/gtest.h>

#include <algorithm>

#include "game_files.h"
#include "game_reset.h"
#include "player.h"

namespace {

class FlowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetGame();
        dir.Write("bright.pal", MakePalette("RIFF", "PAL ", "data", 0x0300, 256, 256));
        std::string dark = MakePalette("RIFF", "PAL ", "data", 0x0300, 256, 256);
        dark[24] = 77;  // entry 0's red tells the dark palette apart
        dir.Write("darken.pal", dark);
    }
    TempFolder dir;
};

TEST_F(FlowTest, FirstLoadFallsBackFromLevelZeroToLevelOne)
{
    dir.Write("level/level1.dat", MakeLevel(0, 30, 15));
    EXPECT_TRUE(InitGame());
    EXPECT_EQ(g_level, 1);
    EXPECT_EQ(g_map.cols, 30);
    EXPECT_EQ(NullPlatform().piece, "sound/back1.mid");
    EXPECT_EQ(NullPlatform().palette[0].red, 0);
}

TEST_F(FlowTest, LevelZeroIsUsedWhenPresentAndTheSequenceWrapsToOne)
{
    dir.Write("level/level0.dat", MakeLevel(0, 21, 15));
    dir.Write("level/level1.dat", MakeLevel(0, 22, 15));
    dir.Write("level/level2.dat", MakeLevel(0, 23, 15));
    EXPECT_TRUE(InitGame());
    EXPECT_EQ(g_map.cols, 21);
    const int expected[][2] = {{1, 22}, {2, 23}, {1, 22}};
    for (const auto& e : expected) {
        ++g_level;
        EXPECT_TRUE(LoadLevel(false));
        EXPECT_EQ(g_level, e[0]);
        EXPECT_EQ(g_map.cols, e[1]);
    }
}

TEST_F(FlowTest, DarkFlagSelectsTheDarkPaletteAndSecondPiece)
{
    dir.Write("level/level1.dat", MakeLevel(2, 25, 15));
    EXPECT_TRUE(InitGame());
    EXPECT_EQ(g_darkLevel, 2);
    EXPECT_EQ(NullPlatform().palette[0].red, 77);
    EXPECT_EQ(NullPlatform().piece, "sound/back2.mid");
}

TEST_F(FlowTest, NoLevelFileFailsAndKeepsTheMap)
{
    EXPECT_FALSE(InitGame());
    dir.Write("level/level1.dat", MakeLevel(0, 24, 15));
    EXPECT_TRUE(LoadLevel(true));
    std::remove("level/level1.dat");
    g_level = 5;
    EXPECT_FALSE(LoadLevel(true));
    EXPECT_EQ(g_map.cols, 24);
    EXPECT_EQ(g_level, 1);
}

TEST_F(FlowTest, TheWalkingPlayerPushesTheCameraUpToTheLastScreen)
{
    dir.Write("level/level1.dat", MakeLevel(0, 30, 15));
    ASSERT_TRUE(InitGame());
    NullPlatform().held[GKEY_RIGHT] = true;
    int lastScroll = 0;
    for (int i = 0; i < 200 && g_level == 1 && g_player.x < 900.0f; ++i) {
        UpdateWorld(0.02f);
        const int ahead = TruncToInt(g_player.x) - g_map.scrollX;
        if (g_map.scrollX < 320) {
            EXPECT_EQ(ahead, std::min(TruncToInt(g_player.x), 288)) << i;
        }
        EXPECT_GE(g_map.scrollX, lastScroll) << i;
        lastScroll = g_map.scrollX;
    }
    EXPECT_EQ(g_map.scrollX, 320);  // (30 - 20) x 32: the last screen
    EXPECT_GT(g_player.x, 900.0f);
}

}  // namespace
