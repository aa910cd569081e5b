// The actor record: frame table, motion step, drawing, the ground probe, the
// player's drawing and blinking, and the move-and-collide piece.
#include "actor_fixture.h"

namespace {

// Entries: 0 stand right; 1-3 walk right; 4-6 walk left.
void InitWalker(CSprite& s, CImage* sheet)
{
    s.Init(KIND_GHOST, 0, 0, 16, 24, 7, sheet);
    s.AddFrame(ACT_STAND, FACE_RIGHT);
    for (int i = 0; i < 3; ++i)
        s.AddFrame(ACT_WALK, FACE_RIGHT);
    for (int i = 0; i < 3; ++i)
        s.AddFrame(ACT_WALK, FACE_LEFT);
    s.SetAction(ACT_WALK, FACE_RIGHT);
}

using SpriteFrames = ActorTest;

TEST_F(SpriteFrames, InitSetsUpAnIdleActorWithAnEmptyTable)
{
    CSprite s;
    s.Init(KIND_BULLET, 12.5f, 30.0f, 16, 8, 3, &sheet);
    EXPECT_EQ(s.kind, KIND_BULLET);
    EXPECT_EQ(s.active, 1);
    EXPECT_EQ(s.onGround, 1);
    EXPECT_EQ(s.x, 12.5f);
    EXPECT_EQ(s.y, 30.0f);
    EXPECT_EQ(s.frameCapacity, 3);
    EXPECT_EQ(s.frameCount, 0);
    EXPECT_EQ(s.frame, 0);
    EXPECT_EQ(s.animStep, 10.0f);
    EXPECT_EQ(s.sheet, &sheet);
    EXPECT_EQ(s.next, nullptr);
    for (int i = 0; i < 5; ++i)
        s.AddFrame(ACT_PLAIN, FACE_RIGHT);
    EXPECT_EQ(s.frameCount, 3);  // a full table takes no more entries
}

TEST_F(SpriteFrames, AdvancesOneCellPerTenPixelsAndWraps)
{
    // 75 px/s in steps of 1/64 s: 1.171875 px a step, 10 px after 9 steps.
    struct {
        float vx, vy;
        std::vector<int> framesAfterStep9s;  // frame after steps 9, 18, 27
    } cases[] = {
        {75.0f, 0.0f, {2, 3, 1}},
        {-75.0f, 0.0f, {2, 3, 1}},
        {0.0f, 75.0f, {2, 3, 1}},
        {0.0f, 0.0f, {1, 1, 1}},
    };
    for (const auto& c : cases) {
        CSprite s;
        InitWalker(s, &sheet);
        s.vx = c.vx;
        s.vy = c.vy;
        for (int block = 0; block < 3; ++block) {
            for (int i = 0; i < 8; ++i)
                s.Update(1.0f / 64.0f);
            EXPECT_EQ(s.frame, block == 0 ? 1 : c.framesAfterStep9s[block - 1]) << c.vx << " " << c.vy;
            s.Update(1.0f / 64.0f);
            EXPECT_EQ(s.frame, c.framesAfterStep9s[block]) << c.vx << " " << c.vy;
        }
        EXPECT_EQ(s.animDist, 0.0f);  // reset by the last advance (or never moved)
    }
}

TEST_F(SpriteFrames, ExactlyTenPixelsIsEnough)
{
    CSprite s;
    InitWalker(s, &sheet);
    s.vx = 80.0f;  // 10 px in each step of 1/8 s
    const int expected[] = {2, 3, 1, 2};
    for (int frame : expected) {
        s.Update(0.125f);
        EXPECT_EQ(s.frame, frame);
    }
}

TEST_F(SpriteFrames, SetActionRestartsTurnAroundAndMissingEntries)
{
    CSprite s;
    InitWalker(s, &sheet);
    s.NextFrame();
    s.NextFrame();
    ASSERT_EQ(s.frame, 3);
    s.SetAction(ACT_WALK, -1);  // the same action restarts the cycle
    EXPECT_EQ(s.frame, 1);
    EXPECT_EQ(s.facing, FACE_RIGHT);
    s.SetAction(ACT_WALK, FACE_LEFT);
    EXPECT_EQ(s.frame, 4);
    s.NextFrame();
    s.NextFrame();
    s.NextFrame();
    EXPECT_EQ(s.frame, 4);  // wrapped within the left walk
    s.TurnAround();
    EXPECT_EQ(s.facing, FACE_RIGHT);
    EXPECT_EQ(s.frame, 1);
    s.SetAction(ACT_STAND, -1);
    EXPECT_EQ(s.frame, 0);
    s.TurnAround();  // no (stand, left) entry: the frame is kept
    EXPECT_EQ(s.facing, FACE_LEFT);
    EXPECT_EQ(s.frame, 0);
    s.SetAction(ACT_DOWN, FACE_RIGHT);
    EXPECT_EQ(s.action, ACT_DOWN);
    EXPECT_EQ(s.frame, 0);
}

TEST_F(SpriteFrames, MotionStepUsesTheNewVelocity)
{
    CSprite s;
    s.Init(KIND_EFFECT, 10, 20, 8, 8, 1, &sheet);
    s.AddFrame(ACT_PLAIN, FACE_RIGHT);
    s.SetAction(ACT_PLAIN, FACE_RIGHT);
    s.vx = 10;
    s.ax = 100;
    s.vy = -40;
    s.ay = 1200;
    s.Update(0.5f);
    EXPECT_EQ(s.vx, 60.0f);
    EXPECT_EQ(s.x, 40.0f);
    EXPECT_EQ(s.vy, 560.0f);
    EXPECT_EQ(s.y, 300.0f);
    RectF r{};
    EXPECT_EQ(s.GetRect(&r), &r);
    EXPECT_EQ(r.left, 40.0f);
    EXPECT_EQ(r.top, 300.0f);
    EXPECT_EQ(r.right, 48.0f);
    EXPECT_EQ(r.bottom, 308.0f);
}

using SpriteDraw = ActorTest;

// The draw handed exactly one copy to the display: image's src to (x, y).
void ExpectOnlyCopy(const CImage* image, int x, int y, const BltRect& src)
{
    const std::vector<NullDrawCall> blts = RecordedDraws(NullDraw::Blt);
    ASSERT_EQ(blts.size(), 1u);
    const NullDrawCall& b = blts[0];
    EXPECT_EQ(b.image, image);
    EXPECT_EQ(b.x, x);
    EXPECT_EQ(b.y, y);
    EXPECT_EQ(b.src.left, src.left);
    EXPECT_EQ(b.src.top, src.top);
    EXPECT_EQ(b.src.right, src.right);
    EXPECT_EQ(b.src.bottom, src.bottom);
}

TEST_F(SpriteDraw, ClipsToTheScreen)
{
    struct {
        float x, y;
        int scrollX;
        bool drawn;
        int sx, sy;
        BltRect src;
    } cases[] = {
        {100.9f, 50.5f, 0, true, 100, 50, {32, 0, 48, 24}},
        {100.0f, 50.0f, 40, true, 60, 50, {32, 0, 48, 24}},
        {-5.5f, 50.0f, 0, true, 0, 50, {37, 0, 48, 24}},
        {630.0f, 50.0f, 0, true, 630, 50, {32, 0, 42, 24}},
        {50.0f, -10.0f, 0, true, 50, 0, {32, 10, 48, 24}},
        {50.0f, 470.0f, 0, true, 50, 470, {32, 0, 48, 10}},
        {-17.0f, 50.0f, 0, false, 0, 0, {}},
        {641.0f, 50.0f, 0, false, 0, 0, {}},
        {700.0f, 50.0f, 40, false, 0, 0, {}},
        {50.0f, -25.0f, 0, false, 0, 0, {}},
        {50.0f, 481.0f, 0, false, 0, 0, {}},
        {-3e9f, 1e30f, 0, false, 0, 0, {}},
    };
    for (const auto& c : cases) {
        NullPlatform().draws.clear();
        CSprite s;
        InitWalker(s, &sheet);
        s.frame = 2;
        s.x = c.x;
        s.y = c.y;
        s.Draw(c.scrollX);
        SCOPED_TRACE(testing::Message() << c.x << ", " << c.y << " at " << c.scrollX);
        if (c.drawn)
            ExpectOnlyCopy(&sheet, c.sx, c.sy, c.src);
        else
            EXPECT_TRUE(RecordedDraws(NullDraw::Blt).empty());
    }
}

TEST_F(SpriteDraw, PlayerCellsComeFromEightColumnsWithBigRowsBelow)
{
    struct {
        int kind, height, frame;
        float x, y;
        int sx, sy;
        BltRect src;
    } cases[] = {
        {PLAYER_SMALL, 32, 9, 100, 383, 100, 383, {32, 32, 64, 64}},
        {PLAYER_BIG, 64, 6, 100, 351, 100, 351, {192, 64, 224, 128}},
        {PLAYER_BIG, 64, 13, 100, 351, 100, 351, {160, 128, 192, 192}},
        {PLAYER_SMALL, 64, 6, 100, 351, 100, 351, {192, 0, 224, 64}},   // dying big player
        {PLAYER_SMALL, 32, 0, -10, -4, 0, 0, {10, 4, 32, 32}},
        {PLAYER_SMALL, 32, 9, 5, -4, 5, 0, {32, 36, 64, 64}},   // cut within its own row
        {PLAYER_BIG, 64, 1, 620, 440, 620, 440, {32, 64, 52, 104}},
    };
    // Wholly off the screen: nothing is handed to the display, even for
    // positions far outside the int range.
    for (float far : {-1e12f, 1e12f, 700.0f}) {
        NullPlatform().draws.clear();
        g_player.x = far;
        g_player.y = far;
        g_player.Draw(0);
        EXPECT_TRUE(RecordedDraws(NullDraw::Blt).empty()) << far;
    }
    for (const auto& c : cases) {
        NullPlatform().draws.clear();
        g_player.kind = c.kind;
        g_player.height = c.height;
        g_player.frame = c.frame;
        g_player.x = c.x;
        g_player.y = c.y;
        g_player.Draw(0);
        SCOPED_TRACE(testing::Message() << "frame " << c.frame << " at " << c.x << ", " << c.y);
        ExpectOnlyCopy(&playerSheet, c.sx, c.sy, c.src);
    }
}

TEST_F(SpriteDraw, BlinkingPlayerShowsEverySecondFrameForThreeSeconds)
{
    g_player.blinking = 1;
    g_player.blinkPhase = 0;
    NullPlatform().ticks = 1000;
    g_player.blinkClock.Mark();
    const struct {
        std::uint32_t now;
        bool drawn;
        int blinkingAfter;
    } frames[] = {
        {1016, false, 1}, {1033, true, 1}, {2000, false, 1}, {4000, true, 1},
        {4001, false, 0}, {4017, true, 0}, {4033, true, 0},
    };
    for (const auto& f : frames) {
        NullPlatform().draws.clear();
        NullPlatform().ticks = f.now;
        g_player.Draw(0);
        EXPECT_EQ(RecordedDraws(NullDraw::Blt).size(), f.drawn ? 1u : 0u) << f.now;
        EXPECT_EQ(g_player.blinking, f.blinkingAfter) << f.now;
    }
}

TEST_F(SpriteDraw, BlinkSurvivesAClockWrap)
{
    g_player.blinking = 1;
    NullPlatform().ticks = 0xFFFFFF00u;
    g_player.blinkClock.Mark();
    NullPlatform().ticks = 100;  // 356 ms later
    g_player.Draw(0);
    EXPECT_EQ(g_player.blinking, 1);
}

// An actor that walks and lands like the enemies do: move, collide with the
// map and every other actor, land, then probe the ground.
class Walker : public CSprite {
public:
    Walker(float x0, float y0)
    {
        Init(KIND_GHOST, x0, y0, 32, 32, 1, nullptr);
        AddFrame(ACT_WALK, FACE_LEFT);
        SetAction(ACT_WALK, FACE_LEFT);
    }
    void Update(float dt) override
    {
        const float x0 = x;
        const float y0 = y;
        MoveStep(dt);
        SweepHit hit{};
        MoveAndCollide(*this, x0, y0, &NotSelf, nullptr, hit);
        if (hit.t <= 1.0f && hit.side == 0 && vy > 0.0f) {
            vy = 0.0f;
            ay = 0.0f;
            onGround = 1;
        }
        CheckSupport();
    }
    static bool NotSelf(const CSprite& mover, const CSprite& candidate) { return &mover != &candidate; }
};

using SpriteSupport = ActorTest;

TEST_F(SpriteSupport, StandingActorFallsFromTheStepAfterItsGroundIsRemoved)
{
    PutSolidRow(12, 0, 39);
    auto* w = static_cast<Walker*>(g_sprites.Add(new Walker(100, 354)));  // standing on row 12
    g_sprites.UpdateAll(0.05f);
    EXPECT_EQ(w->onGround, 1);
    EXPECT_EQ(w->y, 354.0f);

    g_map.SetTile(3, 12, TILE_EMPTY);
    g_map.SetTile(4, 12, TILE_EMPTY);
    g_sprites.UpdateAll(0.05f);  // support lost in this update; no motion yet
    EXPECT_EQ(w->onGround, 0);
    EXPECT_EQ(w->ay, GRAVITY);
    EXPECT_EQ(w->ax, 0.0f);
    EXPECT_EQ(w->vy, 0.0f);
    EXPECT_EQ(w->y, 354.0f);

    g_sprites.UpdateAll(0.05f);  // falls from the next step on
    EXPECT_EQ(w->vy, 60.0f);
    EXPECT_EQ(w->y, 357.0f);
}

TEST_F(SpriteSupport, FallingActorLandsOnTheCellAndStaysThere)
{
    PutSolidRow(12, 0, 39);
    auto* w = static_cast<Walker*>(g_sprites.Add(new Walker(100, 300)));
    w->onGround = 0;
    w->ay = GRAVITY;
    for (int i = 0; i < 40; ++i)
        g_sprites.UpdateAll(0.05f);
    EXPECT_EQ(w->onGround, 1);
    EXPECT_EQ(w->y, 12.0f * 32 - 32 + 2);
    EXPECT_EQ(w->vy, 0.0f);
}

using MoveAndCollideTest = ActorTest;

CSprite* AddBox(float x, float y, int kind = KIND_GHOST)
{
    auto* s = new CSprite;
    s->Init(kind, x, y, 32, 32, 1, nullptr);
    return g_sprites.Add(s);
}

TEST_F(MoveAndCollideTest, TileWinsATieWithAnActor)
{
    PutSolidRow(12, 0, 39);
    AddBox(120, 384);  // its top is level with the cells' tops
    CSprite mover;
    mover.Init(KIND_GHOST, 100, 360, 32, 32, 1, nullptr);
    SweepHit hit{};
    EXPECT_EQ(MoveAndCollide(mover, 100, 340, nullptr, nullptr, hit), nullptr);
    EXPECT_EQ(hit.t, 0.75f);
    EXPECT_EQ(hit.side, 0);
    EXPECT_EQ(hit.row, 12);
    EXPECT_EQ(mover.y, 354.0f);
}

TEST_F(MoveAndCollideTest, NearerTheHeadWinsATieAndThePlayerComesLast)
{
    CSprite* older = AddBox(120, 200);
    CSprite* newer = AddBox(80, 200);
    CSprite mover;
    mover.Init(KIND_GHOST, 100, 180, 32, 32, 1, nullptr);
    SweepHit hit{};
    EXPECT_EQ(MoveAndCollide(mover, 100, 160, nullptr, nullptr, hit), newer);
    EXPECT_EQ(mover.y, 170.0f);

    // A filter that passes only the older one.
    mover.y = 180;
    auto onlyOlder = [](const CSprite&, const CSprite& c) { return c.x == 120.0f; };
    EXPECT_EQ(MoveAndCollide(mover, 100, 160, onlyOlder, nullptr, hit), older);

    // The player at the same height loses the tie, but wins when nearer.
    mover.y = 180;
    g_player.x = 100;
    g_player.y = 200;
    EXPECT_EQ(MoveAndCollide(mover, 100, 160, nullptr, &g_player, hit), newer);
    mover.y = 180;
    g_player.y = 190;
    EXPECT_EQ(MoveAndCollide(mover, 100, 160, nullptr, &g_player, hit), &g_player);
    EXPECT_EQ(mover.y, 160.0f);
    mover.y = 180;
    EXPECT_EQ(MoveAndCollide(mover, 100, 160, nullptr, nullptr, hit), newer);  // the player is left out
}

TEST_F(MoveAndCollideTest, InsideTheActorPassTiesComeOutAsInTheWalk)
{
    // A mover of the list falls 20 px onto two boxes level with each other
    // (the newer, nearer the head, wins), and then also onto a row of cells
    // level with them (the cells win).
    for (bool cells : {false, true}) {
        for (bool grid : {false, true}) {
            SCOPED_TRACE(testing::Message() << (cells ? "with cells" : "boxes only") << (grid ? ", grid" : ", walk"));
            g_sprites.RemoveAll();
            ResetMap(40, 15);
            if (cells)
                PutSolidRow(12, 0, 39);
            g_sprites.broadPhase = grid;
            ProbeActor* mover = AddProbe(1, 100, 340);
            CSprite* older = AddBox(120, 384);
            CSprite* newer = AddBox(80, 384);
            CSprite* result = older;
            SweepHit hit{};
            mover->onUpdate = [&](ProbeActor& self) {
                self.x = 100;
                self.y = 360;
                result = MoveAndCollide(self, 100, 340, nullptr, nullptr, hit);
            };
            g_sprites.UpdateAll(0.0f);
            EXPECT_EQ(result, cells ? nullptr : newer);
            EXPECT_EQ(hit.t, 0.75f);
            EXPECT_EQ(mover->y, 354.0f);
        }
    }
    g_sprites.broadPhase = true;
}

TEST_F(MoveAndCollideTest, AFallOf29PixelsMeetsItsOwnBox)
{
    struct {
        float fall;
        bool self;
    } cases[] = {{28.0f, false}, {29.0f, true}, {40.0f, true}};
    for (const auto& c : cases) {
        g_sprites.RemoveAll();
        CSprite* s = AddBox(100, 100 + c.fall);
        SweepHit hit{};
        CSprite* hitActor = MoveAndCollide(*s, 100, 100, nullptr, nullptr, hit);
        EXPECT_EQ(hitActor, c.self ? s : nullptr) << c.fall;
        if (c.self) {
            EXPECT_EQ(s->y, 100 + c.fall - 32 + 2) << c.fall;
        }
    }
}

TEST_F(MoveAndCollideTest, SweepAgainstUsesTheOthersRectAndRecordsOnlyEarlier)
{
    CSprite* other = AddBox(200, 100);
    CSprite mover;
    mover.Init(KIND_GHOST, 180, 100, 32, 32, 1, nullptr);
    SweepHit hit{};
    hit.t = 2.0f;
    // Walking right from 150: stops with its inset box 1 px short of other.
    ASSERT_TRUE(mover.SweepAgainst(150, 100, other, hit));
    EXPECT_EQ(hit.side, 1);
    EXPECT_EQ(hit.x, 200.0f - 32 + 4);
    EXPECT_FALSE(mover.SweepAgainst(150, 100, other, hit));  // not strictly earlier
}

}  // namespace
