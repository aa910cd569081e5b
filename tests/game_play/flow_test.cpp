// The game flow as it plays: the level sequence, the restart after a death,
// the carry-over at a level's end, loads that find no file, and what a load
// leaves of the level before.
#include <cstdio>

#include "play_fixture.h"

namespace {

class Flow : public PlayTest {
protected:
    // Level files: each a flat run of cols columns.
    void WriteLevels(std::initializer_list<int> numbers, int cols = 20)
    {
        for (int n : numbers)
            dir.Write("level/level" + std::to_string(n) + ".dat", LevelFromRows(Flat(cols)));
    }
    // Runs right until the level changes; the level reached.
    int WalkToTheNextLevel()
    {
        const int level = g_level;
        const float cols = static_cast<float>(g_map.cols);
        RunUntil([&] { return g_level != level || g_map.cols != cols; }, 2000, R | A);
        return g_level;
    }
};

TEST_F(Flow, LevelsFollowInTurnAndWrapToLevelOne)
{
    const struct {
        std::initializer_list<int> files;
        std::vector<int> sequence;   // from the start
    } cases[] = {
        {{1, 2, 3}, {1, 2, 3, 1, 2}},
        {{0, 1, 2}, {0, 1, 2, 1, 2}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sequence.front());
        SimReset();
        for (int n : {0, 1, 2, 3})
            std::remove(("level/level" + std::to_string(n) + ".dat").c_str());
        WriteLevels(c.files);
        ASSERT_TRUE(SimStart(0));
        std::vector<int> seen = {g_level};
        while (seen.size() < c.sequence.size())
            seen.push_back(WalkToTheNextLevel());
        EXPECT_EQ(seen, c.sequence);
    }
}

TEST_F(Flow, ABigPlayerWithFirePowerStartsTheNextLevelBigAtY351)
{
    WriteLevels({1, 2});
    ASSERT_TRUE(SimStart(0));
    Settle();
    g_player.Grow();
    g_player.firePower = 1;
    Settle();
    ASSERT_EQ(WalkToTheNextLevel(), 2);
    EXPECT_EQ(g_player.kind, PLAYER_BIG);
    EXPECT_EQ(g_player.firePower, 1);
    EXPECT_EQ(g_player.height, 64);
    EXPECT_EQ(g_player.x, 64.0f);
    EXPECT_EQ(g_player.y, 351.0f);
    EXPECT_EQ(g_player.vx, 0.0f);
    EXPECT_EQ(g_player.action, ACT_STAND);
    EXPECT_EQ(g_player.facing, FACE_RIGHT);
    EXPECT_EQ(g_map.scrollX, 0);
}

TEST_F(Flow, ADeathRestoresTheLevelAsTheFileHasIt)
{
    std::vector<std::string> rows(13, std::string(40, '.'));
    rows[9][2] = 'B';
    rows[9][4] = 'C';
    rows[12][12] = 'g';
    rows[12][25] = 't';
    rows.push_back(std::string(40, '#'));
    rows.push_back(std::string(40, '='));
    Start(rows);
    // A big player breaks the brick, then empties the coin block.
    g_player.Grow();
    g_player.firePower = 1;
    Settle();
    ASSERT_GT(RunUntil([] { return KindAt(2, 9) == TILE_EMPTY; }, 100, J), 0);
    RunUntil([] { return g_player.onGround == 1; }, 200);
    g_player.x = 4 * 32;
    Run(1);
    ASSERT_GT(RunUntil([] { return KindAt(4, 9) == TILE_SOLID; }, 100, J), 0);
    Run(60);   // the ghost wakes and walks
    // Then the player dies: hurt twice.
    g_player.Hurt();
    g_player.Hurt();
    ASSERT_EQ(g_player.action, ACT_DOWN);
    ASSERT_GT(RunUntil([] { return g_player.action != ACT_DOWN; }, 300), 0);
    EXPECT_EQ(g_level, 1);
    EXPECT_EQ(KindAt(2, 9), TILE_BRICK);
    EXPECT_EQ(PictureAt(2, 9), 7);
    EXPECT_EQ(KindAt(4, 9), TILE_COIN_BLOCK);
    EXPECT_EQ(PictureAt(4, 9), 8);
    // The enemies at their places in the file, not yet awake (the turtle,
    // spawned last, first).
    std::vector<std::pair<float, float>> places;
    for (CSprite* s = g_sprites.head; s != nullptr; s = s->next) {
        places.emplace_back(s->x, s->y);
        EXPECT_EQ(s->active, 0);
        EXPECT_EQ(s->action, ACT_WALK);
    }
    const std::vector<std::pair<float, float>> expected = {{25 * 32, 12 * 32 - 16}, {12 * 32, 12 * 32}};
    EXPECT_EQ(places, expected);
    EXPECT_EQ(g_player.kind, PLAYER_SMALL);
    EXPECT_EQ(g_player.firePower, 0);
    EXPECT_EQ(g_player.blinking, 0);
    EXPECT_EQ(g_player.y, 383.0f);
}

TEST_F(Flow, TheEnemiesOfTheFileAreSpawnedSoThatTheLastIsFirst)
{
    // Ghosts at columns 5 and 9, a turtle at 7, a winged turtle at 11: the
    // lists are spawned in turn, each to the front.
    dir.Write("level/level1.dat",
              LevelFromRows({"     g t g w" + std::string(28, '.'), std::string(40, '#'), std::string(40, '=')}));
    ASSERT_TRUE(SimStart(0));
    std::vector<std::pair<int, float>> list;
    for (CSprite* s = g_sprites.head; s != nullptr; s = s->next)
        list.emplace_back(s->kind, s->x);
    const std::vector<std::pair<int, float>> expected = {
        {KIND_FLY_TURTLE, 11 * 32}, {KIND_TURTLE, 7 * 32}, {KIND_GHOST, 9 * 32}, {KIND_GHOST, 5 * 32}};
    EXPECT_EQ(list, expected);
}

TEST_F(Flow, ItemsStillFlyingAtALoadAreGone)
{
    WriteLevels({1, 2});
    ASSERT_TRUE(SimStart(0));
    Settle();
    RunUntil([] { return g_player.x > 500.0f; }, 300, R | A);
    SpawnCoin(19, 10);
    SpawnDebris(19, 10);
    SpawnBullet(600.0f, 300.0f, 500.0f);
    SpawnFlower(19, 12);
    ASSERT_EQ(WalkToTheNextLevel(), 2);
    EXPECT_EQ(g_sprites.head, nullptr);
}

TEST_F(Flow, ALoadInsideTheUpdateIsDrawnInTheSameFrame)
{
    WriteLevels({1});
    dir.Write("level/level2.dat", LevelFromRows({"C" + std::string(29, '.'), std::string(30, '#'),
                                                 std::string(30, '=')}));
    ASSERT_TRUE(SimStart(0));
    Settle();
    RunUntil([] { return g_player.x > 600.0f; }, 300, R | A);
    NullPlatform().record = true;
    ASSERT_GT(RunUntil(
                  [] {
                      if (g_level == 2)
                          return true;
                      NullPlatform().draws.clear();
                      return false;
                  },
                  100, R | A),
              0);
    // The frame's picture: the new level's first column (its coin block at
    // 0, 384) and the player at its start.
    bool block = false;
    bool player = false;
    for (const NullDrawCall& d : NullPlatform().draws) {
        block = block || (d.image == &g_imgTile && d.x == 0 && d.y == 384 && d.src.left == 8 * 32);
        player = player || (d.image == &g_imgPlayer && d.x == 64 && d.y == 383);
    }
    EXPECT_TRUE(block);
    EXPECT_TRUE(player);
}

TEST_F(Flow, ALoadThatFindsNoFileKeepsTheWorldAndIsTriedAgainNextFrame)
{
    Start({"....C......g" + std::string(28, '.'), std::string(40, '#'), std::string(40, '=')});
    ASSERT_NE(g_sprites.head, nullptr);
    std::remove("level/level1.dat");
    g_player.Hurt();
    ASSERT_GT(RunUntil([] { return g_player.y > 480.0f; }, 300), 0);
    // The load failed: no actors, the same map and player, still dying.
    EXPECT_EQ(g_sprites.head, nullptr);
    EXPECT_EQ(g_map.cols, 40);
    EXPECT_EQ(g_player.action, ACT_DOWN);
    EXPECT_EQ(g_level, 1);
    Run(3);
    EXPECT_EQ(g_player.action, ACT_DOWN);
    // Once the file is back, the next frame's try succeeds.
    dir.Write("level/level1.dat", LevelFromRows(Flat(25)));
    Run(1);
    EXPECT_EQ(g_map.cols, 25);
    EXPECT_EQ(g_player.action, ACT_STAND);
    EXPECT_EQ(g_player.y, 383.0f);
}

TEST_F(Flow, ADarkFlagOfTwoCountsAsDark)
{
    dir.Write("level/level1.dat", LevelFromRows(Flat(20), 2));
    ASSERT_TRUE(SimStart(0));
    EXPECT_EQ(g_darkLevel, 2);
    EXPECT_EQ(NullPlatform().piece, "sound/back2.mid");
}

}  // namespace
