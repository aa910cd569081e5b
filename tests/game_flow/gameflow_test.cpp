// Level loading: the level sequence, the look and sound of a level, and a
// load that finds no file.
#include <gtest/gtest.h>

#include "game_files.h"
#include "game_reset.h"

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

}  // namespace
