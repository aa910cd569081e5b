// The player as it plays: jumps, running and braking, skids, walls, the
// camera, head-butts of every block kind by either size, stomps, kicks,
// being hurt, blinking, and falling out.
#include <algorithm>
#include <cmath>

#include "play_fixture.h"

namespace {

using PlayerJump = PlayTest;

// The highest point of a jump made with jumpKeys held from the ground until
// it lands again: the rise above the start.
float JumpRise(PlayTest& t, std::uint8_t jumpKeys, float dt)
{
    const float start = g_player.y;
    float top = start;
    for (int i = 0; i < 5000; ++i) {
        SimFrame(dt, jumpKeys);
        top = std::min(top, g_player.y);
        if (i > 0 && g_player.onGround == 1)
            break;
    }
    (void)t;
    return start - top;
}

TEST_F(PlayerJump, StandingJumpRisesAbout150pxWithSmallStepsAnd135AtTheLimit)
{
    // sum of (600 - 1200 k dt) dt over the rising steps.
    const struct {
        float dt;
        float rise;
    } cases[] = {{0.001f, 149.7f}, {0.004f, 148.8f}, {0.016f, 145.2288f}, {0.05f, 135.0f}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.dt);
        Start(Flat(30));
        EXPECT_NEAR(JumpRise(*this, J, c.dt), c.rise, 0.02f);
        EXPECT_EQ(g_player.y, kStandY);  // landed where it started
        EXPECT_EQ(g_player.action, ACT_STAND);
    }
}

TEST_F(PlayerJump, RunningJumpRisesAbout176pxKeepingAtMost250pxPerSecond)
{
    Start(Flat(120));
    Run(1000, R | A, 0.001f);
    ASSERT_EQ(g_player.vx, 400.0f);
    const float start = g_player.y;
    float top = start;
    float fastestInTheAir = 0.0f;
    for (int i = 0; i < 3000; ++i) {
        SimFrame(0.001f, R | A | J);
        top = std::min(top, g_player.y);
        if (i > 0 && g_player.onGround == 1)
            break;
        if (i > 0)
            fastestInTheAir = std::max(fastestInTheAir, g_player.vx);
    }
    EXPECT_NEAR(start - top, 175.7f, 0.05f);  // 650^2 / 2400 with the 1 ms steps
    EXPECT_EQ(fastestInTheAir, 250.0f);
}

TEST_F(PlayerJump, ReleasingTheJumpKeyCutsTheRise)
{
    Start(Flat(30));
    const float start = g_player.y;
    Run(101, J, 0.001f);  // the press, then 0.1 s of rising at gravity 1200
    EXPECT_EQ(g_player.ay, GRAVITY);
    SimFrame(0.001f, NONE);
    EXPECT_EQ(g_player.ay, 2450.0f);
    float top = g_player.y;
    while (g_player.vy < 0.0f) {
        SimFrame(0.001f, NONE);
        top = std::min(top, g_player.y);
    }
    // 54 px at 1200, then 480^2 / 4900 = 47 px at 2450.
    EXPECT_NEAR(start - top, 101.0f, 0.5f);
}

TEST_F(PlayerJump, HoldingJumpThroughALandingDoesNotJumpAgain)
{
    Start(Flat(30));
    JumpRise(*this, J, kStep);
    ASSERT_EQ(g_player.onGround, 1);
    Run(30, J);
    EXPECT_EQ(g_player.onGround, 1);
    EXPECT_EQ(g_player.y, kStandY);
    Run(1, NONE);
    Run(1, J);
    EXPECT_EQ(g_player.onGround, 0);
    EXPECT_EQ(g_player.action, ACT_JUMP);
    EXPECT_EQ(g_player.vy, -600.0f);  // set after this step's motion
}

using PlayerRun = PlayTest;

TEST_F(PlayerRun, SpeedLimitIs250Walking400RunningOnTheGround)
{
    const struct {
        std::uint8_t keys;
        float limit;
    } cases[] = {{R, 250.0f}, {R | A, 400.0f}, {L, -250.0f}, {L | A, -400.0f}};
    for (const auto& c : cases) {
        Start(Flat(200));
        if (c.limit < 0.0f) {  // room to the left: start from the middle of the level
            g_player.x = 3000.0f;
            g_map.scrollX = 2900;
        }
        Run(150, c.keys);
        EXPECT_EQ(g_player.vx, c.limit) << int(c.keys);
    }
}

TEST_F(PlayerRun, BrakingStopsExactlyAtZeroOnTheFrameTheSpeedWouldChangeSign)
{
    // From 250 px/s braking at 500 px/s^2: the speed falls by 500 dt a frame
    // from the second frame after the key is let go (the first still moves
    // with the walking acceleration, at the limit). At 0.05 s and 0.02 s, and
    // from 400 at 0.016 s, it reaches 0 exactly; otherwise it would pass it.
    // Running, the action key stays down while braking: without it the
    // limit on the ground is 250 at once.
    const struct {
        float dt;
        std::uint8_t keys;
        std::uint8_t brakeKeys;
        float top;
        int framesToStop;
    } cases[] = {
        {0.016f, R, NONE, 250.0f, 33}, {0.05f, R, NONE, 250.0f, 11}, {0.02f, R, NONE, 250.0f, 26},
        {0.016f, R | A, A, 400.0f, 51}, {0.013f, R, NONE, 250.0f, 40}, {0.016f, R | A, NONE, 250.0f, 33},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.dt << " from " << c.top);
        Start(Flat(200));
        RunUntil([&] { return g_player.vx == c.top; }, 1000, c.keys, c.dt);
        int frames = 0;
        float previous = g_player.vx;
        while (g_player.vx > 0.0f && frames < 1000) {
            SimFrame(c.dt, c.brakeKeys);
            ++frames;
            if (frames == 1 && c.top == 250.0f) {
                EXPECT_EQ(g_player.vx, 250.0f);
            }
            if (g_player.vx > 0.0f) {
                EXPECT_EQ(g_player.ax, -500.0f);
                if (frames > 1) {
                    EXPECT_LT(g_player.vx, previous);
                }
            }
            previous = g_player.vx;
        }
        EXPECT_EQ(frames, c.framesToStop);
        EXPECT_EQ(g_player.vx, 0.0f);
        EXPECT_EQ(g_player.ax, 0.0f);
        EXPECT_EQ(g_player.action, ACT_STAND);
        const float x = g_player.x;
        Run(20, c.brakeKeys, c.dt);  // and it stays at rest
        EXPECT_EQ(g_player.x, x);
        EXPECT_EQ(g_player.vx, 0.0f);
        EXPECT_EQ(g_player.action, ACT_STAND);
    }
}

TEST_F(PlayerRun, PressingTheSameDirectionWhileBrakingDoesNotAccelerate)
{
    Start(Flat(200));
    Run(60, R);
    ASSERT_EQ(g_player.vx, 250.0f);
    Run(5, NONE);
    const float braking = g_player.vx;
    SimFrame(kStep, R);  // facing right, walking on the ground: ax is kept
    EXPECT_EQ(g_player.ax, -500.0f);
    EXPECT_LT(g_player.vx, braking);
    // It comes to a full stop; standing, the key then walks again at once.
    const int frames = RunUntil([] { return g_player.vx == 0.0f; }, 100, R);
    EXPECT_GT(frames, 0);
    EXPECT_EQ(g_player.ax, 500.0f);
    EXPECT_EQ(g_player.action, ACT_WALK);
    SimFrame(kStep, R);
    EXPECT_EQ(g_player.vx, 8.0f);
}

TEST_F(PlayerRun, InTheAirAReleasedKeyKeepsTheAcceleration)
{
    Start(Flat(200));
    Run(10, R);
    SimFrame(kStep, R | J);
    ASSERT_EQ(g_player.onGround, 0);
    SimFrame(kStep, R | J);
    EXPECT_EQ(g_player.ax, 500.0f);
    const float vx = g_player.vx;
    SimFrame(kStep, J);
    EXPECT_EQ(g_player.ax, 500.0f);
    EXPECT_GT(g_player.vx, vx);
}

TEST_F(PlayerRun, ReversingOnTheGroundSkidsThenWalksTheOtherWay)
{
    Start(Flat(200));
    Run(60, R);
    ASSERT_EQ(g_player.vx, 250.0f);
    SimFrame(kStep, L);
    EXPECT_EQ(g_player.facing, FACE_LEFT);
    EXPECT_EQ(g_player.action, ACT_SKID);
    EXPECT_EQ(g_player.ax, -1000.0f);
    EXPECT_EQ(g_player.frame, 12);  // the skid cell facing left
    // From the next frame 250 px/s are lost at 16 px/s a frame: the sign
    // would change in the 16th. Stopped, the player walks the new way at once.
    int frames = 1 + RunUntil([] { return g_player.vx <= 0.0f; }, 100, L);
    EXPECT_EQ(frames, 17);
    EXPECT_EQ(g_player.vx, 0.0f);
    EXPECT_EQ(g_player.action, ACT_WALK);
    EXPECT_EQ(g_player.ax, -500.0f);
    SimFrame(kStep, L);
    EXPECT_EQ(g_player.vx, -8.0f);
}

TEST_F(PlayerRun, TurningWhileStandingWalksFromTheNextFrame)
{
    Start(Flat(30));
    SimFrame(kStep, L);
    EXPECT_EQ(g_player.facing, FACE_LEFT);
    EXPECT_EQ(g_player.action, ACT_STAND);
    EXPECT_EQ(g_player.ax, 0.0f);
    SimFrame(kStep, L);
    EXPECT_EQ(g_player.action, ACT_WALK);
    EXPECT_EQ(g_player.ax, -500.0f);
}

TEST_F(PlayerRun, WallsStopThePlayerOneInsetShortOfTheCell)
{
    // A wall of two blocks at column 10 right of the player, and one at
    // column 1 left of it.
    std::vector<std::string> rows = {std::string(30, '.'), std::string(30, '.'), std::string(30, '#'),
                                     std::string(30, '=')};
    rows[0][10] = rows[1][10] = 'X';
    rows[1][1] = 'X';
    const struct {
        std::uint8_t keys;
        float stopX;
    } cases[] = {{R, 10 * 32 - 32 + 4}, {L, 1 * 32 + 28}};
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.keys));
        Start(rows);
        Run(150, c.keys);
        // Pushing on, the player creeps within the pixel it was stopped
        // short by, and is stopped at the same place each time it gets there.
        int stops = 0;
        for (int i = 0; i < 20; ++i) {
            SimFrame(kStep, c.keys);
            EXPECT_LT(std::fabs(g_player.x - c.stopX), 1.0f);
            if (g_player.x == c.stopX && g_player.vx == 0.0f && g_player.action == ACT_STAND)
                ++stops;
        }
        EXPECT_GE(stops, 4);
    }
    // Jumping against the wall keeps the jump.
    Start(rows);
    Run(150, R);
    SimFrame(kStep, NONE);
    SimFrame(kStep, R | J);
    ASSERT_EQ(g_player.action, ACT_JUMP);
    ASSERT_GT(RunUntil([] { return g_player.onGround == 0 && g_player.vx == 0.0f && g_player.ax == 0.0f; }, 100,
                       R | J),
              0);
    EXPECT_EQ(g_player.action, ACT_JUMP);
    EXPECT_EQ(g_player.x, 10 * 32 - 32 + 4);
}

TEST_F(PlayerRun, CameraKeepsThePlayerWithin288pxAndStopsAtTheLastScreen)
{
    Start(Flat(40));
    int previous = 0;
    for (int i = 0; i < 400 && g_player.x < 40 * 32 - 64; ++i) {
        SimFrame(kStep, R | A);
        const int ahead = TruncToInt(g_player.x) - g_map.scrollX;
        EXPECT_GE(g_map.scrollX, previous);
        previous = g_map.scrollX;
        if (g_map.scrollX < 640) {
            EXPECT_LE(ahead, 288);
        }
        if (g_map.scrollX > 0 && g_map.scrollX < 640) {
            EXPECT_EQ(ahead, 288);
        }
    }
    EXPECT_EQ(previous, (40 - 20) * 32);
}

TEST_F(PlayerRun, ThePlayerCannotGoBackPastTheScreensLeftEdge)
{
    Start(Flat(60));
    Run(200, R);
    Run(200, L);
    const int scroll = g_map.scrollX;
    ASSERT_GT(scroll, 0);
    for (int i = 0; i < 20; ++i) {
        SimFrame(kStep, L);
        EXPECT_EQ(g_player.x, static_cast<float>(scroll));
        EXPECT_EQ(g_map.scrollX, scroll);
        EXPECT_EQ(g_player.vx, -250.0f);  // the speed is not taken away
    }
}

using PlayerHeadButt = PlayTest;

// A level with one block glyph above the player's start (column 2, row 9).
std::vector<std::string> BlockOverStart(char glyph)
{
    std::vector<std::string> rows(13, std::string(30, '.'));
    rows[9][2] = glyph;
    rows.push_back(std::string(30, '#'));
    rows.push_back(std::string(30, '='));
    return rows;
}

TEST_F(PlayerHeadButt, EachBlockKindByEachSize)
{
    const struct {
        char glyph;
        bool big;
        std::uint8_t kindAfter;
        int pictureAfter;
        std::vector<int> spawned;  // kinds from the head
    } cases[] = {
        {'B', false, TILE_BRICK, 7, {}},
        {'B', true, TILE_EMPTY, PIC_NONE, {KIND_EFFECT, KIND_EFFECT, KIND_EFFECT, KIND_EFFECT}},
        {'C', false, TILE_SOLID, PIC_USED_BLOCK, {KIND_EFFECT}},
        {'C', true, TILE_SOLID, PIC_USED_BLOCK, {KIND_EFFECT}},
        {'P', false, TILE_SOLID, PIC_USED_BLOCK, {KIND_MUSHROOM}},
        {'P', true, TILE_SOLID, PIC_USED_BLOCK, {KIND_FLOWER}},
        {'X', false, TILE_SOLID, 6, {}},
        {'X', true, TILE_SOLID, 6, {}},
        {'U', true, TILE_SOLID, PIC_USED_BLOCK, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.glyph << (c.big ? " big" : " small"));
        Start(BlockOverStart(c.glyph));
        if (c.big) {
            g_player.Grow();
            Settle();
        }
        float vyBefore = 0.0f;
        const int frames = RunUntil(
            [&] {
                if (g_player.vy > 0.0f)
                    return true;
                vyBefore = g_player.vy;
                return false;
            },
            100, J);
        ASSERT_GT(frames, 1);
        // The butt: bounced down at a third of the speed it had in that step.
        const float vyAtButt = vyBefore + GRAVITY * kStep;
        EXPECT_EQ(g_player.vy, -vyAtButt / 3.0f);
        EXPECT_EQ(g_player.y, 9.0f * 32 + 30);
        EXPECT_EQ(KindAt(2, 9), c.kindAfter);
        EXPECT_EQ(PictureAt(2, 9), c.pictureAfter);
        std::vector<int> kinds;
        for (CSprite* s = g_sprites.head; s != nullptr; s = s->next)
            kinds.push_back(s->kind);
        EXPECT_EQ(kinds, c.spawned);
    }
}

TEST_F(PlayerHeadButt, ItemsComeOutOnceAtTheirPlaces)
{
    const struct {
        char glyph;
        bool big;
        float x, y;   // where the spawn put it, before its first update
        float vy;
        int width, height;
    } cases[] = {
        {'C', false, 2 * 32 + 8, 9 * 32 - 20, -500, 16, 32},
        {'P', false, 2 * 32, 9 * 32 - 33, -100, 32, 32},
        {'P', true, 2 * 32, 9 * 32 - 33, 0, 32, 32},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.glyph << (c.big ? " big" : " small"));
        Start(BlockOverStart(c.glyph));
        if (c.big) {
            g_player.Grow();
            Settle();
        }
        ASSERT_GT(RunUntil([] { return g_sprites.head != nullptr; }, 100, J), 0);
        CSprite* item = g_sprites.head;
        // Made in the player's step, it had its first update in the same frame.
        const float vy = c.vy + (c.vy != 0.0f ? GRAVITY * kStep : 0.0f);
        EXPECT_EQ(item->vy, vy);
        EXPECT_EQ(item->y, c.y + vy * kStep);
        EXPECT_EQ(item->width, c.width);
        EXPECT_EQ(item->height, c.height);
        EXPECT_EQ(item->x, c.x + item->vx * kStep);
        // A second butt gives nothing.
        RunUntil([] { return g_player.onGround == 1; }, 200, J);
        g_sprites.RemoveAll();
        Run(1, NONE);
        ASSERT_GT(RunUntil([] { return g_player.vy > 0.0f; }, 100, J), 0);
        EXPECT_EQ(g_sprites.head, nullptr);
    }
}

TEST_F(PlayerHeadButt, BrickPiecesStartAtTheCellsCentreInTheirOrder)
{
    Start(BlockOverStart('B'));
    g_player.Grow();
    Settle();
    ASSERT_GT(RunUntil([] { return g_sprites.head != nullptr; }, 100, J), 0);
    // Pushed one by one at the head: the last made is first.
    const float start[4][2] = {{100, -200}, {-100, -200}, {100, -500}, {-100, -500}};
    int i = 0;
    for (CSprite* s = g_sprites.head; s != nullptr; s = s->next, ++i) {
        ASSERT_LT(i, 4);
        const float vy = start[i][1] + GRAVITY * kStep;
        EXPECT_EQ(s->vx, start[i][0]);
        EXPECT_EQ(s->vy, vy);
        EXPECT_EQ(s->x, 2 * 32 + 16 + start[i][0] * kStep);
        EXPECT_EQ(s->y, 9 * 32 + 16 + vy * kStep);
    }
    EXPECT_EQ(i, 4);
}

using PlayerContact = PlayTest;

// A level with enemies standing on the ground at the given columns.
std::vector<std::string> WithEnemies(const std::string& row12, int cols = 40)
{
    std::string row = row12 + std::string(cols - row12.size(), '.');
    return {row, std::string(cols, '#'), std::string(cols, '=')};
}

TEST_F(PlayerContact, StompsSquashGhostsShellTurtlesAndTakeWings)
{
    const struct {
        char glyph;
        int kindAfter;
        int actionAfter;
        float vxAfter;
    } cases[] = {
        {'g', KIND_GHOST, ACT_DOWN, 0.0f},
        {'t', KIND_TURTLE, ACT_DOWN, 0.0f},
        {'w', KIND_TURTLE, ACT_WALK, -50.0f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.glyph);
        Start(WithEnemies(std::string(12, '.') + c.glyph));
        CSprite* e = g_sprites.head;
        Run(2);
        DropOnto(*e);
        Run(1);
        EXPECT_EQ(g_player.vy, -150.0f);
        EXPECT_EQ(e->kind, c.kindAfter);
        EXPECT_EQ(e->action, c.actionAfter);
        EXPECT_EQ(e->vx, c.vxAfter);
        EXPECT_EQ(g_player.action, ACT_JUMP);
    }
}

TEST_F(PlayerContact, AStompInTheAirGivesTheEnemyGravity)
{
    Start(WithEnemies(std::string(12, '.') + 'w'));
    CSprite* e = g_sprites.head;
    ASSERT_GT(RunUntil([e] { return e->onGround == 0 && e->vy < 0.0f; }, 20), 0);
    DropOnto(*e);
    Run(1);
    EXPECT_EQ(e->kind, KIND_TURTLE);
    EXPECT_EQ(e->ay, GRAVITY);  // its update of the same frame has moved it once
    EXPECT_EQ(e->vy, 150.0f + GRAVITY * kStep);
}

TEST_F(PlayerContact, RestingShellsAreKickedAwayFromThePlayersCentre)
{
    const struct {
        const char* name;
        float offset;   // player's x minus the shell's, before the contact
        std::uint8_t keys;
        bool fromAbove;
        float vx;
    } cases[] = {
        {"from the left", -28, R, false, 500},
        {"from the right", 28, L, false, -500},
        {"from exactly above", 0, NONE, true, 500},
        {"from above, right of centre", 1, NONE, true, -500},
        {"from above, left of centre", -1, NONE, true, 500},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Start(WithEnemies(std::string(12, '.') + 't'));
        CSprite* shell = g_sprites.head;
        Run(2);
        DropOnto(*shell);
        Run(1);
        ASSERT_EQ(shell->action, ACT_DOWN);
        ASSERT_EQ(shell->vx, 0.0f);
        g_player.Respawn(true);  // out of the way while the shell settles
        Run(60);
        ASSERT_EQ(shell->vx, 0.0f);
        if (c.fromAbove) {
            DropOnto(*shell);
            g_player.x = shell->x + c.offset;
        } else {
            g_player.x = shell->x + c.offset;
            g_player.y = kStandY;
            g_player.vx = c.keys == R ? 250.0f : -250.0f;
            g_player.onGround = 1;
            g_player.SetAction(ACT_WALK, c.keys == R ? FACE_RIGHT : FACE_LEFT);
        }
        const float y = g_player.y;
        Run(1, c.keys);
        EXPECT_EQ(shell->vx, c.vx);
        if (c.fromAbove) {
            EXPECT_GT(g_player.y, y);   // put 3 px below the stop point, still falling
            EXPECT_GT(g_player.vy, 0.0f);
        }
    }
}

TEST_F(PlayerContact, MovingShellsHurtFromTheSideEvenWhileBlinkingAndStopUnderFoot)
{
    const struct {
        const char* name;
        bool big;
        bool blinking;
        bool fromAbove;
        int actionAfter;
        int kindAfter;
        float shellVx;
    } cases[] = {
        {"side, small", false, false, false, ACT_DOWN, PLAYER_SMALL, -500},
        {"side, small, blinking", false, true, false, ACT_DOWN, PLAYER_SMALL, -500},
        {"side, big, blinking", true, true, false, ACT_WALK, PLAYER_SMALL, -500},
        {"landing on it", false, false, true, ACT_JUMP, PLAYER_SMALL, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Start(WithEnemies(std::string(16, '.') + 't'));
        CSprite* shell = g_sprites.head;
        Run(2);
        shell->SetAction(ACT_DOWN, FACE_RIGHT);
        shell->vx = -500.0f;
        if (c.big)
            g_player.Grow();
        if (c.blinking)
            g_player.StartBlink();
        if (c.fromAbove) {
            DropOnto(*shell);
        } else {
            // The player's own step reaches the shell's left side: x + 5
            // passes the shell's x - 22.
            g_player.x = shell->x - 28.0f;
            g_player.y = c.big ? kStandY - 32 : kStandY;
            g_player.vx = 250.0f;
            g_player.onGround = 1;
            g_player.SetAction(ACT_WALK, FACE_RIGHT);
        }
        Run(1, c.fromAbove ? NONE : R);
        EXPECT_EQ(g_player.action, c.actionAfter);
        EXPECT_EQ(g_player.kind, c.kindAfter);
        EXPECT_EQ(shell->vx, c.shellVx);
        if (c.fromAbove) {
            EXPECT_EQ(g_player.vy, -150.0f);
        }
    }
}

TEST_F(PlayerContact, WalkingIntoAGhostHurtsUnlessBlinkingAndAStompStillWorksThen)
{
    const struct {
        const char* name;
        bool big;
        bool blinking;
        int actionAfter;
        int kindAfter;
        int heightAfter;
        int blinkingAfter;
    } cases[] = {
        {"small dies", false, false, ACT_DOWN, PLAYER_SMALL, 32, 0},
        {"big shrinks and blinks", true, false, ACT_WALK, PLAYER_SMALL, 32, 1},
        {"blinking is not hurt", false, true, ACT_WALK, PLAYER_SMALL, 32, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Start(WithEnemies(std::string(12, '.') + 'g'));
        CSprite* ghost = g_sprites.head;
        Run(2);
        if (c.big) {
            g_player.Grow();
            g_player.firePower = 1;
        }
        if (c.blinking)
            g_player.StartBlink();
        g_player.x = ghost->x - 28.0f;
        g_player.y = c.big ? kStandY - 32 : kStandY;
        g_player.vx = 250.0f;
        g_player.onGround = 1;
        g_player.SetAction(ACT_WALK, FACE_RIGHT);
        const float y = g_player.y;
        Run(1, R);
        EXPECT_EQ(g_player.action, c.actionAfter);
        EXPECT_EQ(g_player.kind, c.kindAfter);
        EXPECT_EQ(g_player.height, c.heightAfter);
        EXPECT_EQ(g_player.blinking, c.blinkingAfter);
        EXPECT_EQ(g_player.firePower, 0);
        if (c.actionAfter == ACT_DOWN) {
            EXPECT_EQ(g_player.vy, -500.0f);
            EXPECT_EQ(g_player.y, y - 10.0f);
            EXPECT_EQ(g_player.vx, 0.0f);
        }
        if (c.big) {
            EXPECT_EQ(g_player.y, y + 32.0f);
        }
        if (c.blinking) {  // and a stomp still squashes it
            DropOnto(*ghost);
            Run(1);
            EXPECT_EQ(ghost->action, ACT_DOWN);
            EXPECT_EQ(g_player.vy, -150.0f);
        }
    }
}

TEST_F(PlayerContact, TheDyingPlayerFallsThroughEverythingUntilTheLevelRestarts)
{
    Start(WithEnemies(std::string(12, '.') + 'g'));
    SimFrame(kStep, R | J);  // the keys are down before the death
    g_player.Hurt();
    ASSERT_EQ(g_player.action, ACT_DOWN);
    EXPECT_EQ(g_player.frame, 6);
    float lowest = g_player.y;
    const int frames = RunUntil(
        [&] {
            if (g_player.action != ACT_DOWN)
                return true;
            lowest = std::max(lowest, g_player.y);
            return false;
        },
        200, R | J);
    ASSERT_GT(frames, 0);
    EXPECT_GT(lowest, 480.0f - 10.0f);  // it fell through the ground
    EXPECT_EQ(g_player.x, 64.0f);       // the level started again
    EXPECT_EQ(g_player.y, 383.0f);
    // The jump key held since before the death is not a new press.
    Run(10, R | J);
    EXPECT_NE(g_player.action, ACT_JUMP);
}

TEST_F(PlayerContact, ABigPlayerFallingOutDiesAtOnceWithItsBigHeight)
{
    std::vector<std::string> rows = Flat(40);
    for (int c = 6; c < 10; ++c)
        rows[0][c] = rows[1][c] = '.';
    Start(rows);
    g_player.Grow();
    g_player.firePower = 1;
    Run(4);
    ASSERT_GT(RunUntil([] { return g_player.y > 480.0f || g_player.action == ACT_DOWN; }, 300, R), 0);
    EXPECT_EQ(g_player.action, ACT_DOWN);
    EXPECT_EQ(g_player.kind, PLAYER_SMALL);
    EXPECT_EQ(g_player.height, 64);
    EXPECT_EQ(g_player.blinking, 0);
    EXPECT_EQ(g_player.vy, -500.0f);
    // Then the level restarts with a small player without the fire power.
    ASSERT_GT(RunUntil([] { return g_player.action != ACT_DOWN; }, 300), 0);
    EXPECT_EQ(g_player.height, 32);
    EXPECT_EQ(g_player.firePower, 0);
}

TEST_F(PlayerContact, BlinkingShowsEverySecondFrameAndEndsAfterThreeSeconds)
{
    Start(Flat(30));
    g_player.Grow();
    g_player.Hurt();
    ASSERT_EQ(g_player.blinking, 1);
    int drawn = 0;
    int frames = 0;
    NullPlatform().record = true;
    while (g_player.blinking == 1 && frames < 1000) {
        NullPlatform().draws.clear();
        Run(1);
        ++frames;
        for (const NullDrawCall& d : NullPlatform().draws)
            drawn += d.what == NullDraw::Blt && d.image == g_player.sheet ? 1 : 0;
    }
    // 16 ms frames: the first drawn more than 3 s after the hit is the 188th.
    EXPECT_EQ(frames, 188);
    EXPECT_EQ(drawn, 94);
}

TEST_F(PlayerContact, GrowingEndsTheBlinking)
{
    Start(Flat(30));
    g_player.Grow();
    g_player.Hurt();
    ASSERT_EQ(g_player.blinking, 1);
    g_player.Grow();
    EXPECT_EQ(g_player.blinking, 0);
    EXPECT_EQ(g_player.height, 64);
}

}  // namespace
