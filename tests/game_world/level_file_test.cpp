// Reading level files, good and broken. Each test writes its own files into a
// temporary folder of its own.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "null_platform.h"
#include "temp_folder.h"
#include "tilemap.h"

namespace {

namespace fs = std::filesystem;

class LevelFile : public ::testing::Test {
protected:

    std::string Write(const std::string& text)
    {
        const fs::path path = m_dir / ("level" + std::to_string(m_count++) + ".dat");
        std::ofstream(path, std::ios::binary) << text;
        return path.string();
    }

    bool Load(const std::string& text)
    {
        return LoadLevelFile(Write(text).c_str(), dark, map, &sheet, enemies);
    }

    int Picture(int col, int row) const { return map.pictures[map.Index(col, row)]; }
    int Kind(int col, int row) const { return map.kinds[map.Index(col, row)]; }

    test::TempFolder m_folder;
    const fs::path& m_dir = m_folder.Path();
    int m_count = 0;
    CImage sheet;
    int dark = -7;
    CTileMap map;
    LevelEnemies enemies;
};

// A w x h level: every picture value p and every collision value k, then the
// enemy lists given as text.
std::string Level(int darkFlag, int w, int h, int p, int k, const std::string& tail)
{
    std::ostringstream out;
    out << darkFlag << "\n" << w << " " << h << "\n";
    for (int layer = 0; layer < 2; ++layer) {
        for (int r = 0; r < h; ++r) {
            for (int c = 0; c < w; ++c)
                out << (layer == 0 ? p : k) << (c + 1 < w ? " " : "\n");
        }
    }
    out << tail;
    return out.str();
}

TEST_F(LevelFile, ReadsLayersAsValueMinusOneAndTheEnemyLists)
{
    std::string text = "2\n4 2\n"
                       "0 1 128 129\n"
                       "17 257 -1 0\n"
                       "0 1 2 3\n"
                       "4 5 256 0\n"
                       "2 100 200 300 383\n"
                       "1 500 335\n"
                       "0\n";
    ASSERT_TRUE(Load(text));
    EXPECT_EQ(dark, 2);
    EXPECT_EQ(map.cols, 4);
    EXPECT_EQ(map.rows, 2);
    EXPECT_EQ(map.scrollX, 0);
    EXPECT_EQ(map.tileImage, &sheet);
    const int pictures[] = {-1, 0, 127, -128, 16, 0, -2, -1};
    const int kinds[] = {255, 0, 1, 2, 3, 4, 255, 255};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(Picture(i % 4, i / 4), pictures[i]) << i;
        EXPECT_EQ(Kind(i % 4, i / 4), kinds[i]) << i;
    }
    ASSERT_EQ(enemies.ghosts.size(), 2u);
    EXPECT_EQ(enemies.ghosts[0].x, 100);
    EXPECT_EQ(enemies.ghosts[0].y, 200);
    EXPECT_EQ(enemies.ghosts[1].x, 300);
    EXPECT_EQ(enemies.ghosts[1].y, 383);
    ASSERT_EQ(enemies.walkTurtles.size(), 1u);
    EXPECT_EQ(enemies.walkTurtles[0].x, 500);
    EXPECT_EQ(enemies.walkTurtles[0].y, 335);
    EXPECT_TRUE(enemies.flyTurtles.empty());
}

TEST_F(LevelFile, AllZeroLevelIsSkyWithNothingSolid)
{
    ASSERT_TRUE(Load(Level(0, 20, 15, 0, 0, "0 0 0\n")));
    EXPECT_EQ(dark, 0);
    ResetNullPlatform(NullRecord::On);
    map.Draw();
    EXPECT_TRUE(RecordedDraws(NullDraw::Blt).empty());
    SweepHit hit{};
    EXPECT_FALSE(map.Sweep(32, 32, 0, 0, 600, 440, hit));
}

// Reading stops at the end of the numbers or at the first text that is not a
// number; what was not read is empty.
TEST_F(LevelFile, ShortOrBrokenFilesLeaveTheUnreadPartEmpty)
{
    struct {
        const char* name;
        std::string text;
        int picturesRead;  // cells of the picture layer read, row after row
        int kindsRead;
        std::size_t ghosts, walkers, flyers;
    } cases[] = {
        {"ends after the size", "0 3 2", 0, 0, 0, 0, 0},
        {"ends in the picture layer", "0 3 2  5 5 5 5", 4, 0, 0, 0, 0},
        {"ends in the collision layer", "0 3 2  5 5 5 5 5 5  2 2", 6, 2, 0, 0, 0},
        {"ends before the enemies", "0 3 2  5 5 5 5 5 5  2 2 2 2 2 2", 6, 6, 0, 0, 0},
        {"word in the picture layer", "0 3 2  5 5 x 5 5 5  2 2 2 2 2 2  1 10 20", 2, 0, 0, 0, 0},
        {"sign without digits", "0 3 2  5 5 5 5 5 5  2 - 2 2 2 2", 6, 1, 0, 0, 0},
        {"number out of range", "0 3 2  5 5 5 5 5 5  2 2 99999999999 2 2 2  1 1 1", 6, 2, 0, 0, 0},
        {"partial ghost list keeps whole pairs", "0 3 2  5 5 5 5 5 5  2 2 2 2 2 2  3 10 20 30 40 50", 6, 6, 2, 0, 0},
        {"word in the ghost list", "0 3 2  5 5 5 5 5 5  2 2 2 2 2 2  2 10 20 3O 40  1 7 7", 6, 6, 1, 0, 0},
        {"negative count is an empty list", "0 3 2  5 5 5 5 5 5  2 2 2 2 2 2  -4  1 1 2  1 3 4", 6, 6, 0, 1, 1},
        {"no flying turtles", "0 3 2  5 5 5 5 5 5  2 2 2 2 2 2  0 1 1 2", 6, 6, 0, 1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        enemies = LevelEnemies{};
        ASSERT_TRUE(Load(c.text));
        ASSERT_EQ(map.cols, 3);
        ASSERT_EQ(map.rows, 2);
        for (int i = 0; i < 6; ++i) {
            EXPECT_EQ(Picture(i % 3, i / 3), i < c.picturesRead ? 4 : PIC_NONE) << i;
            EXPECT_EQ(Kind(i % 3, i / 3), i < c.kindsRead ? 1 : TILE_EMPTY) << i;
        }
        EXPECT_EQ(enemies.ghosts.size(), c.ghosts);
        EXPECT_EQ(enemies.walkTurtles.size(), c.walkers);
        EXPECT_EQ(enemies.flyTurtles.size(), c.flyers);
    }
}

// Refused files leave the map, the dark flag and the enemy lists as they were.
TEST_F(LevelFile, RefusedFilesChangeNothing)
{
    const std::string cases[] = {
        "",
        "   \n",
        "0",
        "0 20",
        "zero 20 15",
        "0 0 15",
        "0 20 0",
        "0 -20 15",
        "0 20 -15",
        "0 1001 1000",                 // 1,001,000 cells
        "0 2000000000 2000000000",     // product beyond any int
        "0 99999999999 15",            // width out of range: missing
        "0 3 2  5 5 5 5 5 5  2 2 2 2 2 2  1000 1 2",        // 1000 ghosts in 6 bytes
        "0 3 2  5 5 5 5 5 5  2 2 2 2 2 2  0 2 1 2",         // 2 walkers, 4 bytes
        "0 3 2  5 5 5 5 5 5  2 2 2 2 2 2  0 0 2147483647",  // flyers
        "0 3 2  5 5 5 5 5 5  2 2 2 2 2 2  200000 ",         // over the fixed limit
    };
    ASSERT_TRUE(Load(Level(1, 25, 15, 3, 1, "1 64 64 0 0\n")));
    map.scrollX = 96;
    for (const auto& text : cases) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(Load(text));
        EXPECT_EQ(dark, 1);
        EXPECT_EQ(map.cols, 25);
        EXPECT_EQ(map.rows, 15);
        EXPECT_EQ(map.scrollX, 96);
        EXPECT_EQ(map.pictures.size(), 25u * 15u);
        EXPECT_EQ(Picture(24, 14), 2);
        EXPECT_EQ(Kind(24, 14), TILE_SOLID);
        EXPECT_EQ(enemies.ghosts.size(), 1u);
    }
}

TEST_F(LevelFile, CountsThatJustFitAreRead)
{
    ASSERT_TRUE(Load("0 3 2  5 5 5 5 5 5  2 2 2 2 2 2  0 0 1 7 8"));
    ASSERT_EQ(enemies.flyTurtles.size(), 1u);
    EXPECT_EQ(enemies.flyTurtles[0].x, 7);
    EXPECT_EQ(enemies.flyTurtles[0].y, 8);
    // The largest grid allowed.
    ASSERT_TRUE(Load("0 1000 1000"));
    EXPECT_EQ(map.kinds.size(), 1000000u);
}

TEST_F(LevelFile, MissingFileIsRefused)
{
    EXPECT_FALSE(LoadLevelFile((m_dir / "nothing.dat").string().c_str(), dark, map, &sheet, enemies));
    EXPECT_FALSE(LoadLevelFile(nullptr, dark, map, &sheet, enemies));
    EXPECT_EQ(dark, -7);
    EXPECT_EQ(map.cols, 0);
}

}  // namespace
