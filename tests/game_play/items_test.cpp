// Items and effects as they play: bullets, mushrooms and flowers, coins,
// brick pieces and explosions.
#include <algorithm>

#include "play_fixture.h"

namespace {

using Items = PlayTest;

std::vector<std::string> OnGround(const std::string& row12, int cols = 40)
{
    const std::string row = row12 + std::string(cols - row12.size(), '.');
    return {row, std::string(cols, '#'), std::string(cols, '=')};
}

// A big player with the fire power, standing.
void Armed(PlayTest& t)
{
    g_player.Grow();
    g_player.firePower = 1;
    (void)t;
}

int Count(int kind)
{
    int n = 0;
    for (CSprite* s = g_sprites.head; s != nullptr; s = s->next)
        n += s->kind == kind ? 1 : 0;
    return n;
}

TEST_F(Items, AtMostTwoBulletsFlyAndTheNextPressFiresWhenOneIsGone)
{
    std::string row(40, '.');
    row[30] = 'X';   // a wall 21 columns ahead, too high to bounce over
    Start({row, row, std::string(40, '#'), std::string(40, '=')});
    Armed(*this);
    Settle();
    SimFrame(kStep, A);
    ASSERT_EQ(Count(KIND_BULLET), 1);
    CSprite* first = g_sprites.head;
    EXPECT_EQ(first->vx, 500.0f);
    EXPECT_EQ(first->x, g_player.x + 32.0f + 500.0f * kStep);
    EXPECT_EQ(first->vy, 200.0f + GRAVITY * kStep);
    EXPECT_EQ(first->y, g_player.y + 10.0f + first->vy * kStep);
    SimFrame(kStep, A);   // held: no new press
    EXPECT_EQ(Count(KIND_BULLET), 1);
    Run(1, NONE);
    Run(1, A);
    EXPECT_EQ(Count(KIND_BULLET), 2);
    Run(1, NONE);
    Run(1, A);
    EXPECT_EQ(Count(KIND_BULLET), 2);   // a third press fires nothing
    // The first reaches the wall and explodes; the next press fires again.
    ASSERT_GT(RunUntil([] { return Count(KIND_BULLET) < 2; }, 200), 0);
    EXPECT_EQ(Count(KIND_EFFECT), 1);   // its explosion
    Run(1, A);
    EXPECT_EQ(Count(KIND_BULLET), 2);
}

TEST_F(Items, BulletsFlyLeftWhenThePlayerFacesLeft)
{
    Start(OnGround(""));
    Armed(*this);
    Settle();
    g_player.x = 300.0f;
    SimFrame(kStep, L);   // turns
    SimFrame(kStep, L | A);
    CSprite* bullet = g_sprites.head;
    ASSERT_NE(bullet, nullptr);
    EXPECT_EQ(bullet->vx, -500.0f);
    EXPECT_EQ(bullet->x, g_player.x - 16.0f - 500.0f * kStep);
}

TEST_F(Items, ABulletFiredAgainstAWallPassesItsNearEdge)
{
    // A one-column wall right in front of the player, open ground beyond.
    std::string row(40, '.');
    row[10] = 'X';
    std::vector<std::string> rows = {row, row, std::string(40, '#'), std::string(40, '=')};
    Start(rows);
    Armed(*this);
    Settle();
    Run(150, R);
    ASSERT_EQ(g_player.x, 10.0f * 32 - 32 + 4);
    Run(1, NONE);
    Run(1, R | A);
    CSprite* bullet = g_sprites.head;
    ASSERT_NE(bullet, nullptr);
    EXPECT_EQ(bullet->kind, KIND_BULLET);
    Run(20);
    EXPECT_TRUE(InList(bullet));
    EXPECT_GT(bullet->x, 11.0f * 32);   // through and beyond
    EXPECT_EQ(Count(KIND_EFFECT), 0);
}

TEST_F(Items, BulletsBounceAlongTheGround)
{
    Start(OnGround(""));
    Armed(*this);
    Settle();
    SimFrame(kStep, A);
    CSprite* bullet = g_sprites.head;
    float lowest = 0.0f;
    int bounces = 0;
    for (int i = 0; i < 60; ++i) {
        const float vy = bullet->vy;
        Run(1);
        lowest = std::max(lowest, bullet->y);
        bounces += vy > 0.0f && bullet->vy < 0.0f ? 1 : 0;
    }
    EXPECT_GE(bounces, 2);
    // Stopped on the ground each time: at most a pixel low, where its inset
    // box reaches the ground.
    EXPECT_GE(lowest, 13.0f * 32 - 16 + 2);
    EXPECT_LT(lowest, 13.0f * 32 - 16 + 3);
    EXPECT_EQ(bullet->vx, 500.0f);
}

TEST_F(Items, BulletsKnockOffEnemiesButPassSquashedGhosts)
{
    const struct {
        const char* name;
        char glyph;
        void (*prepare)(CSprite* e);
        bool knocked;
    } cases[] = {
        {"a walking ghost", 'g', [](CSprite*) {}, true},
        {"a resting shell", 't',
         [](CSprite* e) {
             e->SetAction(ACT_DOWN, FACE_RIGHT);
             e->vx = 0.0f;
         },
         true},
        {"a walking turtle", 't', [](CSprite*) {}, true},
        {"a squashed ghost", 'g',
         [](CSprite* e) {
             e->SetAction(ACT_DOWN, FACE_RIGHT);
             e->vx = 0.0f;
         },
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // Close enough to meet the bullet on its first fall (its bounces rise
        // over a ghost's head).
        Start(OnGround(std::string(5, '.') + c.glyph));
        CSprite* e = g_sprites.head;
        Armed(*this);
        Settle();
        c.prepare(e);
        e->active = 1;
        const float vx = e->vx;
        SimFrame(kStep, A);
        CSprite* bullet = g_sprites.head;
        ASSERT_EQ(bullet->kind, KIND_BULLET);
        const int frames = RunUntil([e] { return e->action == ACT_KNOCKED; }, 40);
        EXPECT_EQ(frames > 0, c.knocked);
        if (c.knocked) {
            EXPECT_FALSE(InList(bullet));
            EXPECT_EQ(Count(KIND_EFFECT), 1);   // the explosion where the bullet stopped
            EXPECT_EQ(e->vx, -vx);
            EXPECT_EQ(e->vy, -200.0f + GRAVITY * kStep);   // then its own update
        } else {
            EXPECT_TRUE(InList(bullet));
            EXPECT_GT(bullet->x, e->x + 32.0f);
        }
    }
}

TEST_F(Items, ExplosionsShowThreeCellsInThreeFramesWhateverTheStep)
{
    for (float dt : {0.001f, 0.016f, 0.05f}) {
        SCOPED_TRACE(dt);
        std::string row(40, '.');
        row[5] = 'X';
        Start(OnGround(row));
        Armed(*this);
        Settle();
        NullPlatform().record = true;
        SimFrame(dt, A);
        std::vector<int> cells;
        for (int i = 0; i < 400; ++i) {
            NullPlatform().draws.clear();
            SimFrame(dt, NONE);
            for (const NullDrawCall& d : NullPlatform().draws)
                if (d.image == &g_imgExplode)
                    cells.push_back(d.src.left / 32);
            if (!cells.empty() && Count(KIND_EFFECT) == 0)
                break;
        }
        EXPECT_EQ(cells, (std::vector<int>{0, 1, 2}));
    }
}

TEST_F(Items, MushroomsMakeThePlayerBigWhateverItsState)
{
    const struct {
        const char* name;
        bool blinking;
        bool dying;
    } cases[] = {{"standing", false, false}, {"blinking", true, false}, {"dying", false, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Start(OnGround(""));
        g_player.x = 200.0f;
        SpawnMushroom(5, 13);   // its own start, then put beside the player
        CSprite* mushroom = g_sprites.head;
        mushroom->x = g_player.x - 28.0f;
        mushroom->y = g_player.y;
        mushroom->vy = 0.0f;
        mushroom->ay = 0.0f;
        if (c.blinking)
            g_player.StartBlink();
        if (c.dying)
            g_player.Hurt();
        Run(1);
        EXPECT_FALSE(InList(mushroom));
        EXPECT_EQ(g_player.kind, PLAYER_BIG);
        EXPECT_EQ(g_player.height, 64);
        EXPECT_EQ(g_player.blinking, 0);
        EXPECT_EQ(g_player.action == ACT_DOWN, c.dying);
    }
}

TEST_F(Items, AMushroomHopsOutLandsOnItsBlockAndSlidesOrMeetsALowCeilingFirst)
{
    // It starts at 255 rising at 100 px/s under gravity: 3.39 px up in five
    // 16 ms steps. Under a ceiling at 256 its inset top (y + 3) reaches it in
    // the second step, and it stops 1 px below, at 254, with no speed.
    const struct {
        bool ceiling;
        float top;   // the highest point of its hop
    } cases[] = {{false, 255.0f - 3.392f}, {true, 255.0f - 1.2928f}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ceiling);
        std::vector<std::string> rows(13, std::string(30, '.'));
        rows[9][2] = 'P';
        if (c.ceiling)
            rows[7][2] = 'X';
        rows.push_back(std::string(30, '#'));
        rows.push_back(std::string(30, '='));
        Start(rows);
        ASSERT_GT(RunUntil([] { return g_sprites.head != nullptr; }, 100, J), 0);
        CSprite* mushroom = g_sprites.head;
        ASSERT_EQ(mushroom->kind, KIND_MUSHROOM);
        float top = mushroom->y;
        bool stoppedUnderCeiling = false;
        for (int i = 0; i < 15; ++i) {
            Run(1);
            top = std::min(top, mushroom->y);
            stoppedUnderCeiling = stoppedUnderCeiling || (mushroom->y == 254.0f && mushroom->vy == 0.0f);
        }
        EXPECT_NEAR(top, c.top, 0.001f);
        EXPECT_EQ(stoppedUnderCeiling, c.ceiling);
        EXPECT_EQ(mushroom->y, 9.0f * 32 - 32 + 2);   // standing on its block
        EXPECT_EQ(mushroom->vx, 85.0f);
        EXPECT_EQ(mushroom->onGround, 1);
    }
}

TEST_F(Items, AMushroomTurnsAtWallsAndFallsOffLedges)
{
    std::vector<std::string> rows = {std::string(30, '.'), std::string(30, '#'), std::string(30, '=')};
    rows[0][12] = 'X';
    for (int c = 4; c < 7; ++c)
        rows[1][c] = rows[2][c] = '.';
    Start(rows);
    SpawnMushroom(9, 13);   // on the ground between the gap and the wall
    CSprite* mushroom = g_sprites.head;
    ASSERT_GT(RunUntil([mushroom] { return mushroom->vx < 0.0f; }, 200), 0);
    EXPECT_EQ(mushroom->x, 12.0f * 32 - 32 + 4);
    ASSERT_GT(RunUntil([mushroom] { return mushroom->onGround == 0; }, 300), 0);
    EXPECT_LT(mushroom->x, 7.0f * 32);
    ASSERT_GT(RunUntil([mushroom] { return !InList(mushroom); }, 300), 0);   // culled below the screen
}

TEST_F(Items, PowerUpsTakenByThePlayer)
{
    const struct {
        const char* name;
        bool flower;
        bool big;
        int kindAfter;
        int firePowerAfter;
    } cases[] = {
        {"mushroom, small", false, false, PLAYER_BIG, 0},
        {"mushroom, big", false, true, PLAYER_BIG, 0},
        {"flower, small", true, false, PLAYER_BIG, 0},
        {"flower, big", true, true, PLAYER_BIG, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Start(OnGround(""));
        if (c.big) {
            g_player.Grow();
            Settle();
        }
        if (c.flower)
            SpawnFlower(6, 13);
        else
            SpawnMushroom(6, 13);
        CSprite* item = g_sprites.head;
        item->vx = 0.0f;   // waits for the player
        ASSERT_GT(RunUntil([item] { return !InList(item); }, 200, R), 0);
        EXPECT_EQ(g_player.kind, c.kindAfter);
        EXPECT_EQ(g_player.firePower, c.firePowerAfter);
    }
}

TEST_F(Items, ACoinRisesAbout104pxAndIsGoneAsItStartsToFall)
{
    std::vector<std::string> rows(13, std::string(30, '.'));
    rows[9][2] = 'C';
    rows.push_back(std::string(30, '#'));
    rows.push_back(std::string(30, '='));
    Start(rows);
    ASSERT_GT(RunUntil([] { return g_sprites.head != nullptr; }, 2000, J, 0.001f), 0);
    CSprite* coin = g_sprites.head;
    const float start = 9.0f * 32 - 20;
    float top = coin->y;
    int frames = 1;
    while (InList(coin) && frames < 1000) {
        top = std::min(top, coin->y);
        EXPECT_LT(coin->vy, 0.0f);
        Run(1, NONE, 0.001f);
        ++frames;
    }
    // 500^2 / 2400 with 1 ms steps; 500 / 1200 s to the top.
    EXPECT_NEAR(start - top, 103.9f, 0.1f);
    EXPECT_EQ(frames, 417);
    EXPECT_EQ(KindAt(2, 9), TILE_SOLID);
    EXPECT_EQ(PictureAt(2, 9), PIC_USED_BLOCK);
}

TEST_F(Items, BrickPiecesFallThroughTheMapAndLeaveTheListBelowTheScreen)
{
    std::vector<std::string> rows(13, std::string(30, '.'));
    rows[9][2] = 'B';
    rows.push_back(std::string(30, '#'));
    rows.push_back(std::string(30, '='));
    Start(rows);
    g_player.Grow();
    Settle();
    ASSERT_GT(RunUntil([] { return g_sprites.head != nullptr; }, 100, J), 0);
    ASSERT_EQ(Count(KIND_EFFECT), 4);
    float lowest = 0.0f;
    const int frames = RunUntil(
        [&] {
            for (CSprite* s = g_sprites.head; s != nullptr; s = s->next) {
                lowest = std::max(lowest, s->y);
                EXPECT_LE(s->y, 480.0f);
            }
            return g_sprites.head == nullptr;
        },
        300);
    ASSERT_GT(frames, 0);
    EXPECT_GT(lowest, 14.0f * 32);   // seen inside the ground on their way out
}

}  // namespace
