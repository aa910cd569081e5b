// The enemies as they play: meeting each other, shells, winged turtles,
// ceilings, the player from above the screen, activation and culling.
#include <algorithm>

#include "play_fixture.h"

namespace {

using Enemies = PlayTest;

// Ground over the whole level, with `row12` (enemies, blocks) standing on it.
std::vector<std::string> OnGround(const std::string& row12, int cols = 40)
{
    const std::string row = row12 + std::string(cols - row12.size(), '.');
    return {row, std::string(cols, '#'), std::string(cols, '=')};
}

// The actors of the list from left to right.
std::vector<CSprite*> LeftToRight()
{
    std::vector<CSprite*> all;
    for (CSprite* s = g_sprites.head; s != nullptr; s = s->next)
        all.push_back(s);
    std::sort(all.begin(), all.end(), [](const CSprite* a, const CSprite* b) { return a->x < b->x; });
    return all;
}

void MakeShell(CSprite* turtle)
{
    turtle->SetAction(ACT_DOWN, FACE_RIGHT);
    turtle->vx = 0.0f;
}

void WalkRight(CSprite* e)
{
    e->TurnAround();
    e->vx = -e->vx;
}

// Keeps the player out of the enemies' way at the level's start.
void PlayerAside()
{
    g_player.x = 64.0f;
    g_player.y = kStandY;
}

TEST_F(Enemies, MeetingEnemiesTurnAroundAndWalkersPassSquashedGhosts)
{
    const struct {
        const char* name;
        const char* row;
        void (*prepare)(CSprite* first, CSprite* second);
        float firstVx, secondVx;   // after the meeting
        bool passesThrough;
    } cases[] = {
        {"two ghosts", "........g...g", [](CSprite* a, CSprite*) { WalkRight(a); }, -75, 75, false},
        {"ghost into a resting shell", "........g...t",
         [](CSprite* a, CSprite* b) {
             WalkRight(a);
             MakeShell(b);
         },
         -75, 0, false},
        {"ghost and a squashed ghost", "........g...g",
         [](CSprite* a, CSprite* b) {
             WalkRight(a);
             b->SetAction(ACT_DOWN, FACE_RIGHT);
             b->vx = 0.0f;
         },
         75, 0, true},
        {"turtle and a ghost", "........t...g", [](CSprite* a, CSprite*) { WalkRight(a); }, -80, 75, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Start(OnGround(c.row));
        std::vector<CSprite*> e = LeftToRight();
        ASSERT_EQ(e.size(), 2u);
        c.prepare(e[0], e[1]);
        Run(150);  // 4 cells apart at 75 px/s: met, or passed, within 2.4 s
        EXPECT_EQ(e[0]->vx, c.firstVx);
        EXPECT_EQ(e[1]->vx, c.secondVx);
        EXPECT_EQ(e[0]->facing, c.firstVx > 0.0f ? FACE_RIGHT : FACE_LEFT);
        EXPECT_EQ(e[0]->x > e[1]->x, c.passesThrough);
        if (c.passesThrough) {
            EXPECT_EQ(e[1]->action, ACT_DOWN);
        }
    }
}

TEST_F(Enemies, AStompedWingedTurtleWalksOnWithoutWingsAndASecondStompShellsIt)
{
    Start(OnGround(std::string(14, '.') + 'w'));
    CSprite* turtle = g_sprites.head;
    NullPlatform().record = true;
    auto drawnRowTop = [this] {
        NullPlatform().draws.clear();
        Run(1);
        for (const NullDrawCall& d : NullPlatform().draws)
            if (d.image == &g_imgTurtle)
                return d.src.top;
        return -1;
    };
    EXPECT_EQ(drawnRowTop(), 48);
    DropOnto(*turtle);
    Run(1);
    ASSERT_EQ(turtle->kind, KIND_TURTLE);
    PlayerAside();
    Run(60);
    EXPECT_EQ(turtle->onGround, 1);
    EXPECT_EQ(turtle->action, ACT_WALK);
    EXPECT_EQ(turtle->vx, -50.0f);
    const float x = turtle->x;
    EXPECT_EQ(drawnRowTop(), 0);
    EXPECT_EQ(turtle->x, x - 50.0f * kStep);
    DropOnto(*turtle);
    Run(1);
    EXPECT_EQ(turtle->action, ACT_DOWN);
    EXPECT_EQ(turtle->vx, 0.0f);
    EXPECT_EQ(turtle->frame, 4);
}

TEST_F(Enemies, AWingedTurtleHopsAbout102pxAt50pxPerSecond)
{
    Start(OnGround(std::string(14, '.') + 'w'));
    CSprite* turtle = g_sprites.head;
    ASSERT_GT(RunUntil([turtle] { return turtle->onGround == 1; }, 3000, NONE, 0.001f), 0);
    const float ground = turtle->y;
    const float x = turtle->x;
    float top = ground;
    Run(1, NONE, 0.001f);
    ASSERT_EQ(turtle->onGround, 0);
    const int frames = RunUntil(
        [&] {
            top = std::min(top, turtle->y);
            return turtle->onGround == 1;
        },
        3000, NONE, 0.001f);
    ASSERT_GT(frames, 0);
    // 350^2 / 1200 with 1 ms steps, back on the ground after about 1.17 s.
    EXPECT_NEAR(ground - top, 101.9f, 0.1f);
    EXPECT_EQ(turtle->y, ground);
    EXPECT_NEAR(x - turtle->x, 50.0f * 0.001f * static_cast<float>(frames + 1), 0.1f);
}

TEST_F(Enemies, AWingedTurtleUnderACeilingFloatsThereTurningAtWalls)
{
    // A ceiling of blocks in row 8, 82 px over its head, and walls at
    // columns 9 and 19.
    std::vector<std::string> rows(13, std::string(30, '.'));
    for (int c = 9; c <= 19; ++c)
        rows[8][c] = 'X';
    for (int r = 8; r <= 12; ++r)
        rows[r][9] = rows[r][19] = 'X';
    rows[12][14] = 'w';
    rows.push_back(std::string(30, '#'));
    rows.push_back(std::string(30, '='));
    Start(rows);
    CSprite* turtle = g_sprites.head;
    ASSERT_GT(RunUntil([turtle] { return turtle->vy == 0.0f && turtle->onGround == 0 && turtle->ay == 0.0f; }, 200),
              0);
    const float y = turtle->y;
    EXPECT_EQ(y, 8.0f * 32 + 30);   // its inset top 1 px under the ceiling
    EXPECT_EQ(turtle->kind, KIND_FLY_TURTLE);
    bool turned = false;
    for (int i = 0; i < 400; ++i) {
        Run(1);
        EXPECT_EQ(turtle->y, y) << i;
        EXPECT_EQ(turtle->onGround, 0);
        turned = turned || turtle->vx > 0.0f;
    }
    EXPECT_TRUE(turned);
}

TEST_F(Enemies, AKickedShellBouncesOffAWallWithoutTurningAndHurtsItsKicker)
{
    std::string row = std::string(8, '.') + 't' + std::string(11, '.') + 'X';
    Start(OnGround(row));
    CSprite* shell = g_sprites.head;
    Run(2);
    MakeShell(shell);
    // The player walks in from the left and kicks it.
    const int kick = RunUntil([shell] { return shell->vx != 0.0f; }, 200, R);
    ASSERT_GT(kick, 0);
    EXPECT_EQ(shell->vx, 500.0f);
    const int facing = shell->facing;
    Run(1, NONE);
    ASSERT_GT(RunUntil([shell] { return shell->vx < 0.0f; }, 100), 0);
    EXPECT_EQ(shell->vx, -500.0f);
    EXPECT_EQ(shell->facing, facing);
    EXPECT_EQ(shell->x, 20.0f * 32 - 32 + 4);
    ASSERT_GT(RunUntil([] { return g_player.action == ACT_DOWN; }, 100), 0);
    EXPECT_EQ(g_player.kind, PLAYER_SMALL);
}

TEST_F(Enemies, ASlidingShellKnocksOffEveryEnemyItMeetsAndSlidesOn)
{
    const struct {
        const char* name;
        void (*prepare)(CSprite* target);
    } cases[] = {
        {"a resting shell", [](CSprite* t) { MakeShell(t); }},
        {"a walking turtle", [](CSprite*) {}},
        {"a squashed ghost",
         [](CSprite* t) {
             t->kind = KIND_GHOST;
             t->SetAction(ACT_DOWN, FACE_RIGHT);
             t->vx = 0.0f;
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Start(OnGround("........t.....t"));
        std::vector<CSprite*> e = LeftToRight();
        Run(2);
        MakeShell(e[0]);
        e[0]->vx = 500.0f;
        c.prepare(e[1]);
        const float targetVx = e[1]->vx;
        ASSERT_GT(RunUntil([&] { return e[1]->action == ACT_KNOCKED; }, 60), 0);
        EXPECT_EQ(e[0]->vx, 500.0f);
        EXPECT_EQ(e[0]->action, ACT_DOWN);
        EXPECT_EQ(e[0]->y, 13.0f * 32 - 48 + 2);   // no jump at the contact
        EXPECT_EQ(e[1]->vx, -targetVx);
        EXPECT_EQ(e[1]->vy, -200.0f);
        EXPECT_EQ(e[1]->ay, GRAVITY);
        // The knocked-off one falls through the ground and leaves the list.
        CSprite* target = e[1];
        ASSERT_GT(RunUntil([target] { return !InList(target); }, 200), 0);
        EXPECT_TRUE(InList(e[0]));
    }
}

TEST_F(Enemies, EnemiesHurtThePlayerTheyRunIntoUnlessItBlinksOrDies)
{
    const struct {
        const char* name;
        bool blinking;
        bool hurt;
    } cases[] = {
        {"standing", false, true},
        {"blinking", true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Start(OnGround(".....g"));
        if (c.blinking)
            g_player.StartBlink();
        CSprite* ghost = g_sprites.head;
        RunUntil([ghost] { return g_player.action == ACT_DOWN || ghost->x + 40.0f < g_player.x; }, 200);
        EXPECT_EQ(g_player.action == ACT_DOWN, c.hurt);
        if (!c.hurt) {   // it walked through the player
            EXPECT_EQ(ghost->vx, -75.0f);
        }
    }
}

TEST_F(Enemies, AGhostFallingOntoThePlayerHurtsOnlyWithAStopPointOnTheScreen)
{
    const struct {
        int platformRow;   // the player stands on it
        bool hurt;
    } cases[] = {{1, false}, {2, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.platformRow);
        std::vector<std::string> rows(15, std::string(30, '.'));
        for (int col = 0; col < 5; ++col)
            rows[c.platformRow][col] = 'X';
        rows[14] = std::string(30, '#');
        dir.Write("level/level1.dat", LevelFromRows(rows));
        ASSERT_TRUE(SimStart(0));
        g_player.y = static_cast<float>(c.platformRow * 32 - 32 + 2);
        SpawnGhost(g_player.x, -30.0f);
        CSprite* ghost = g_sprites.head;
        ghost->vx = 0.0f;
        ghost->onGround = 0;
        ghost->ay = GRAVITY;
        Run(20);
        EXPECT_EQ(g_player.action == ACT_DOWN, c.hurt);
    }
}

TEST_F(Enemies, EnemiesWakeWhenThePlayerComesWithin640pxAndAreCulledWhenLeftBehind)
{
    std::string row(60, '.');
    row[30] = 'g';
    Start(OnGround(row, 80));
    CSprite* ghost = g_sprites.head;
    const float x = ghost->x;
    ASSERT_EQ(ghost->active, 0);
    // Awake once the player's x + 640 passes the ghost's x (960).
    const int frames = RunUntil([ghost] { return ghost->active == 1; }, 300, R);
    ASSERT_GT(frames, 1);
    EXPECT_GT(g_player.x + 640.0f, x);
    EXPECT_LT(g_player.x - 250.0f * kStep + 640.0f, x);
    EXPECT_NE(ghost->x, x);
    // Jumped over and left far behind, it is culled.
    g_player.x = 1900.0f;
    g_map.scrollX = 1700;
    Run(2);
    EXPECT_FALSE(InList(ghost));
}

TEST_F(Enemies, AnInactiveEnemyStaysWhereItIsAndIsNeverCulled)
{
    Start(Flat(30));
    SpawnGhost(800.0f, 900.0f);  // below the screen, more than 640 px right of the player
    CSprite* ghost = g_sprites.head;
    Run(20);
    ASSERT_TRUE(InList(ghost));
    EXPECT_EQ(ghost->y, 900.0f);
    g_player.x = 170.0f;   // within 640 px: awake, falls, culled below the screen
    Run(1);
    EXPECT_FALSE(InList(ghost));
}

}  // namespace
