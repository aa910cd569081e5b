// The swept box test, the map sweep, the camera, drawing and SetTile.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "null_platform.h"
#include "tilemap.h"

namespace {

// An empty map (no pictures, no solid cells) of the given size.
CTileMap EmptyMap(int cols, int rows)
{
    CTileMap map;
    map.cols = cols;
    map.rows = rows;
    map.pictures.assign(static_cast<std::size_t>(cols) * rows, static_cast<std::int8_t>(PIC_NONE));
    map.kinds.assign(static_cast<std::size_t>(cols) * rows, TILE_EMPTY);
    return map;
}

void Put(CTileMap& map, int col, int row, std::uint8_t kind, int picture = 0)
{
    map.kinds[map.Index(col, row)] = kind;
    map.pictures[map.Index(col, row)] = static_cast<std::int8_t>(picture);
}

struct Cell {
    int col;
    int row;
    std::uint8_t kind;
};

struct SweepCase {
    const char* name;
    std::vector<Cell> cells;
    int w, h;
    float x0, y0, x1, y1;
    bool hit;
    int side;
    float t, x, y;
    int col, row, kind;  // checked when hit
};

// Every expected value is exact: the sweep's float arithmetic is repeatable.
const SweepCase kSweepCases[] = {
    {"landing small", {{3, 12, 0}, {4, 12, 0}}, 32, 32, 100, 340, 100, 360, true, 0, 0.75f, 100, 354, 3, 12, 0},
    {"landing big", {{3, 12, 0}, {4, 12, 0}}, 32, 64, 100, 300, 100, 330, true, 0, 23.0f / 30.0f, 100, 322, 3, 12, 0},
    {"landing on a brick", {{3, 12, 1}}, 32, 32, 96, 340, 96, 360, true, 0, 0.75f, 96, 354, 3, 12, 1},
    {"wall to the right", {{10, 11, 0}}, 32, 32, 280, 352, 300, 352, true, 1, 13.0f / 20.0f, 292, 352, 10, 11, 0},
    {"wall to the left", {{5, 11, 0}}, 32, 32, 200, 352, 180, 352, true, 1, 13.0f / 20.0f, 188, 352, 5, 11, 0},
    {"underside of a coin block", {{6, 5, 2}}, 32, 32, 192, 200, 192, 180, true, 0, 11.0f / 20.0f, 192, 190, 6, 5, 2},
    {"underside, big mover", {{6, 5, 3}}, 32, 64, 192, 200, 192, 180, true, 0, 11.0f / 20.0f, 192, 190, 6, 5, 3},
    {"ends exactly on the edge", {{3, 12, 0}}, 32, 32, 100, 350, 100, 355, true, 0, 1.0f, 100, 354, 3, 12, 0},
    {"stops 1 px short of the edge", {{3, 12, 0}}, 32, 32, 100, 350, 100, 354, false, 0, 2.0f, 0, 0, 0, 0, 0},
    {"starts on the edge, moves toward it", {{3, 12, 0}}, 32, 32, 100, 355, 100, 360, true, 0, 0.0f, 100, 354, 3, 12, 0},
    {"starts on the edge, leaves it", {{3, 12, 0}}, 32, 32, 100, 355, 100, 340, false, 0, 2.0f, 0, 0, 0, 0, 0},
    {"inside a cell moves out freely", {{3, 12, 0}}, 32, 32, 100, 380, 100, 330, false, 0, 2.0f, 0, 0, 0, 0, 0},
    {"zero-length move inside a cell", {{3, 12, 0}}, 32, 32, 100, 370, 100, 370, false, 0, 2.0f, 0, 0, 0, 0, 0},
    {"kind 255 never stops", {{3, 12, 255}}, 32, 32, 100, 340, 100, 360, false, 0, 2.0f, 0, 0, 0, 0, 0},
    {"kind 200 is solid", {{3, 12, 200}}, 32, 32, 96, 340, 96, 360, true, 0, 0.75f, 96, 354, 3, 12, 200},
    {"lower row wins a tie", {{10, 10, 7}, {10, 11, 8}}, 32, 32, 280, 337, 300, 337, true, 1, 13.0f / 20.0f, 292, 337, 10, 10, 7},
    {"lower column wins a tie", {{4, 12, 9}, {3, 12, 8}}, 32, 32, 110, 340, 110, 360, true, 0, 0.75f, 110, 354, 3, 12, 8},
    {"nearer cell wins over a lower column", {{8, 11, 0}, {9, 11, 0}}, 32, 32, 330, 352, 270, 352, true, 1, 0.25f, 316, 352, 9, 11, 0},
    {"outside the map is never solid", {}, 32, 32, -100, 500, -50, 520, false, 0, 2.0f, 0, 0, 0, 0, 0},
};

void PrintTo(const SweepCase& c, std::ostream* os)
{
    *os << c.name;
}

class SweepTable : public ::testing::TestWithParam<SweepCase> {};

TEST_P(SweepTable, StopsWhereTheEdgeCaseSays)
{
    const SweepCase& c = GetParam();
    CTileMap map = EmptyMap(20, 15);
    for (const Cell& cell : c.cells)
        Put(map, cell.col, cell.row, cell.kind);
    SweepHit hit{};
    hit.t = 0.25f;  // the sweep must reset it
    EXPECT_EQ(map.Sweep(c.w, c.h, c.x0, c.y0, c.x1, c.y1, hit), c.hit);
    EXPECT_EQ(hit.t, c.t);
    if (!c.hit)
        return;
    EXPECT_EQ(hit.side, c.side);
    EXPECT_EQ(hit.x, c.x);
    EXPECT_EQ(hit.y, c.y);
    EXPECT_EQ(hit.col, c.col);
    EXPECT_EQ(hit.row, c.row);
    EXPECT_EQ(hit.kind, c.kind);
}

INSTANTIATE_TEST_SUITE_P(Map, SweepTable, ::testing::ValuesIn(kSweepCases),
                         [](const ::testing::TestParamInfo<SweepCase>& param) {
                             std::string name;
                             for (const char* p = param.param.name; *p != '\0'; ++p)
                                 name += (std::isalnum(static_cast<unsigned char>(*p)) != 0) ? *p : '_';
                             return name;
                         });

TEST(SweptBoxTest, CornerTieGoesToTheSideEdge)
{
    // Both edges of the grown box {0, 0, 100, 100} are reached at t = 0.5.
    SweepHit hit{};
    hit.t = 2.0f;
    ASSERT_TRUE(SweptBoxTest(-5, -3, 15, 9, RectF{0, 0, 100, 100}, hit));
    EXPECT_EQ(hit.side, 1);
    EXPECT_EQ(hit.t, 0.5f);
    EXPECT_EQ(hit.x, 4.0f);
    EXPECT_EQ(hit.y, 3.0f);
}

TEST(SweptBoxTest, DiagonalEntersThroughTheEdgeItReachesWithinRange)
{
    struct {
        float x0, y0, x1, y1;
        int side;
        float t, x, y;
    } cases[] = {
        // The top line is crossed first but left of the box: the side counts.
        {-5, 0, 15, 12, 1, 0.5f, 4, 6},
        // The side line is crossed first but above the box: the top counts.
        {0, -3, 20, 9, 0, 0.5f, 10, 2},
    };
    for (const auto& c : cases) {
        SweepHit hit{};
        hit.t = 2.0f;
        ASSERT_TRUE(SweptBoxTest(c.x0, c.y0, c.x1, c.y1, RectF{0, 0, 100, 100}, hit));
        EXPECT_EQ(hit.side, c.side);
        EXPECT_EQ(hit.t, c.t);
        EXPECT_EQ(hit.x, c.x);
        EXPECT_EQ(hit.y, c.y);
    }
}

TEST(SweptBoxTest, RecordsOnlyStrictlyEarlierContacts)
{
    SweepHit hit{7, 8, 9, 0, 0.5f, 11.0f, 12.0f};
    // The same contact at t = 0.5 does not replace the recorded one...
    EXPECT_FALSE(SweptBoxTest(-5, -3, 15, 9, RectF{0, 0, 100, 100}, hit));
    EXPECT_EQ(hit.t, 0.5f);
    EXPECT_EQ(hit.side, 0);
    EXPECT_EQ(hit.x, 11.0f);
    // ...an earlier one does, and leaves col, row and kind alone.
    EXPECT_TRUE(SweptBoxTest(0, 50, 20, 50, RectF{0, 0, 100, 100}, hit));
    EXPECT_EQ(hit.t, 0.25f);
    EXPECT_EQ(hit.side, 1);
    EXPECT_EQ(hit.x, 4.0f);
    EXPECT_EQ(hit.y, 50.0f);
    EXPECT_EQ(hit.col, 7);
    EXPECT_EQ(hit.row, 8);
    EXPECT_EQ(hit.kind, 9);
}

TEST(SweptBoxTest, TouchingTheEdgeRangeCounts)
{
    // Moving right, arriving with the inset box's top exactly at the bottom B.
    SweepHit hit{};
    hit.t = 2.0f;
    EXPECT_TRUE(SweptBoxTest(-10, 97, 10, 97, RectF{0, 0, 100, 100}, hit));
    EXPECT_EQ(hit.side, 1);
    hit.t = 2.0f;
    EXPECT_FALSE(SweptBoxTest(-10, 98, 10, 98, RectF{0, 0, 100, 100}, hit));
}

TEST(TileMapCamera, NeverPassesTheLastScreen)
{
    struct {
        int cols;
        std::vector<int> moves;
        int expected;
    } cases[] = {
        {30, {100}, 100},
        {30, {100, 300}, 320},
        {30, {1000}, 320},
        {20, {5}, 0},
        {10, {50}, 0},   // narrower than a screen: the camera stays at 0
        {200, {31, 1}, 32},
    };
    for (const auto& c : cases) {
        CTileMap map = EmptyMap(c.cols, 15);
        for (int dx : c.moves)
            map.ScrollBy(dx);
        EXPECT_EQ(map.scrollX, c.expected) << c.cols << " columns";
    }
}

class TileMapDraw : public ::testing::Test {
protected:
    void SetUp() override { ResetNullPlatform(NullRecord::On); }
    CImage sheet;
};

TEST_F(TileMapDraw, CutsTheFirstAndLastColumnsByTheOffset)
{
    CTileMap map = EmptyMap(30, 15);
    for (int c = 0; c < 30; ++c)
        Put(map, c, 0, TILE_EMPTY, 17);  // picture 17: left 32, top 32
    map.tileImage = &sheet;
    map.scrollX = 40;
    map.Draw();
    const auto& blts = RecordedDraws(NullDraw::Blt);
    ASSERT_EQ(blts.size(), 21u);
    EXPECT_EQ(blts[0].image, &sheet);
    EXPECT_EQ(blts[0].x, 0);
    EXPECT_EQ(blts[0].y, 0);
    EXPECT_EQ(blts[0].src.left, 40);
    EXPECT_EQ(blts[0].src.right - blts[0].src.left, 24);
    EXPECT_EQ(blts[1].x, 24);
    EXPECT_EQ(blts[1].src.left, 32);
    EXPECT_EQ(blts[1].src.right, 64);
    EXPECT_EQ(blts[20].x, 24 + 19 * 32);
    EXPECT_EQ(blts[20].src.left, 32);
    EXPECT_EQ(blts[20].src.right, 40);
    EXPECT_EQ(blts[20].src.top, 32);
    EXPECT_EQ(blts[20].src.bottom, 64);
}

TEST_F(TileMapDraw, PicturePositionsRowsAndEmptyCells)
{
    CTileMap map = EmptyMap(20, 16);
    Put(map, 0, 0, 0, 0);
    Put(map, 1, 0, 0, 127);
    Put(map, 2, 0, 0, -1);
    Put(map, 3, 14, 0, 33);
    Put(map, 4, 15, 0, 5);  // row 15 starts at y = 480: not drawn
    map.tileImage = &sheet;
    map.Draw();
    const auto& blts = RecordedDraws(NullDraw::Blt);
    ASSERT_EQ(blts.size(), 3u);
    EXPECT_EQ(blts[0].src.left, 0);
    EXPECT_EQ(blts[0].src.top, 0);
    EXPECT_EQ(blts[1].x, 32);
    EXPECT_EQ(blts[1].src.left, 15 * 32);
    EXPECT_EQ(blts[1].src.top, 7 * 32);
    EXPECT_EQ(blts[1].src.right, 16 * 32);
    EXPECT_EQ(blts[1].src.bottom, 8 * 32);
    EXPECT_EQ(blts[2].x, 96);
    EXPECT_EQ(blts[2].y, 448);
    EXPECT_EQ(blts[2].src.left, 32);
    EXPECT_EQ(blts[2].src.top, 64);
}

TEST_F(TileMapDraw, RightEndAndNarrowMapsReadNoColumnBeyondTheMap)
{
    struct {
        int cols;
        int scrollX;
        std::size_t blts;
        int lastX;
    } cases[] = {
        {30, 0, 20, 608},     // offset 0: the 21st column has no width
        {30, 320, 20, 608},   // last screen: column 30 does not exist
        {30, 319, 21, 609},   // the 21st column shows 31 px
        {12, 0, 12, 352},     // narrow map
    };
    for (const auto& c : cases) {
        ResetNullPlatform(NullRecord::On);
        CTileMap map = EmptyMap(c.cols, 1);
        for (int col = 0; col < c.cols; ++col)
            Put(map, col, 0, TILE_EMPTY, 1);
        map.tileImage = &sheet;
        map.scrollX = c.scrollX;
        map.Draw();
        ASSERT_EQ(RecordedDraws(NullDraw::Blt).size(), c.blts) << c.cols << " at " << c.scrollX;
        EXPECT_EQ(RecordedDraws(NullDraw::Blt).back().x, c.lastX);
    }
}

TEST_F(TileMapDraw, NothingWithoutATileSheetButCollisionsStillWork)
{
    CTileMap map = EmptyMap(20, 15);
    Put(map, 3, 12, TILE_SOLID, 4);
    map.Draw();
    EXPECT_TRUE(RecordedDraws(NullDraw::Blt).empty());
    SweepHit hit{};
    EXPECT_TRUE(map.Sweep(32, 32, 96, 340, 96, 360, hit));
}

TEST(TileMapSetTile, EmptyHidesSolidShowsTheUsedBlockOthersKeepThePicture)
{
    CTileMap map = EmptyMap(20, 15);
    Put(map, 2, 3, TILE_COIN_BLOCK, 7);
    Put(map, 4, 3, TILE_BRICK, 7);
    Put(map, 6, 3, TILE_SOLID, 7);
    map.SetTile(2, 3, TILE_SOLID);
    map.SetTile(4, 3, TILE_EMPTY);
    map.SetTile(6, 3, TILE_POWER_BLOCK);
    EXPECT_EQ(map.kinds[map.Index(2, 3)], TILE_SOLID);
    EXPECT_EQ(map.pictures[map.Index(2, 3)], PIC_USED_BLOCK);
    EXPECT_EQ(map.kinds[map.Index(4, 3)], TILE_EMPTY);
    EXPECT_EQ(map.pictures[map.Index(4, 3)], PIC_NONE);
    EXPECT_EQ(map.kinds[map.Index(6, 3)], TILE_POWER_BLOCK);
    EXPECT_EQ(map.pictures[map.Index(6, 3)], 7);
    // The broken brick no longer stops anything.
    SweepHit hit{};
    EXPECT_FALSE(map.Sweep(32, 32, 128, 80, 128, 130, hit));
}

TEST(TruncToInt, TruncatesTowardZeroAndSaturates)
{
    EXPECT_EQ(TruncToInt(-3.7f), -3);
    EXPECT_EQ(TruncToInt(3.7f), 3);
    EXPECT_EQ(TruncToInt(1e20f), 2147483647);
    EXPECT_EQ(TruncToInt(-1e20f), -2147483647 - 1);
    EXPECT_EQ(TruncToInt(0.0f / 0.0f), 0);
}

}  // namespace
