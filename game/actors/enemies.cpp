#include "enemies.h"

#include <new>

#include "display.h"
#include "player.h"

namespace {

constexpr int ENEMY_FRAME_COUNT = 6;
constexpr SpriteFrame ENEMY_FRAMES[ENEMY_FRAME_COUNT] = {
    {ACT_WALK, FACE_RIGHT}, {ACT_WALK, FACE_RIGHT}, {ACT_WALK, FACE_LEFT},
    {ACT_WALK, FACE_LEFT},  {ACT_DOWN, FACE_RIGHT}, {ACT_KNOCKED, FACE_RIGHT},
};

constexpr float TURTLE_BODY_TOP = 16.0f;   // a turtle's upper 16 px meet nothing
constexpr int SHELL_HEIGHT = 32;
constexpr int WINGED_ROW_TOP = 48;         // of the turtle sheet

bool WalkerMeets(const CSprite&, const CSprite& s)
{
    return IsObstacleEnemy(s);
}

bool ShellMeets(const CSprite&, const CSprite& s)
{
    return IsAnyEnemy(s);
}

// Enemies leave a dying or blinking player alone.
CSprite* PlayerToTest()
{
    return g_player.action != ACT_DOWN && g_player.blinking == 0 ? &g_player : nullptr;
}

void SetUpEnemy(CSprite& e, int kind, float x, float y, int height, CImage* sheet)
{
    e.Init(kind, x, y, 32, height, ENEMY_FRAME_COUNT, sheet);
    for (const SpriteFrame& f : ENEMY_FRAMES)
        e.AddFrame(f.action, f.facing);
    e.SetAction(ACT_WALK, FACE_LEFT);
    e.active = 0;
}

}  // namespace

bool IsObstacleEnemy(const CSprite& s)
{
    if (s.action == ACT_KNOCKED)
        return false;
    return s.kind == KIND_TURTLE || s.kind == KIND_FLY_TURTLE || (s.kind == KIND_GHOST && s.action != ACT_DOWN);
}

bool IsAnyEnemy(const CSprite& s)
{
    return s.action != ACT_KNOCKED && (s.kind == KIND_GHOST || s.kind == KIND_TURTLE || s.kind == KIND_FLY_TURTLE);
}

void KnockOff(CSprite& e)
{
    e.SetAction(ACT_KNOCKED, FACE_RIGHT);
    e.ay = GRAVITY;
    e.vy = KNOCKED_HOP;
    e.vx = -e.vx;
}

void SpawnGhost(float x, float y)
{
    auto* ghost = new (std::nothrow) CGhost;
    if (ghost == nullptr)
        return;
    SetUpEnemy(*ghost, KIND_GHOST, x, y, 32, &g_imgGhost);
    ghost->vx = GHOST_SPEED;
    g_sprites.Add(ghost);
}

void SpawnTurtle(int kind, float x, float y)
{
    CSprite* turtle = kind == KIND_TURTLE ? static_cast<CSprite*>(new (std::nothrow) CWalkTurtle)
                                          : static_cast<CSprite*>(new (std::nothrow) CFlyTurtle);
    if (turtle == nullptr)
        return;
    SetUpEnemy(*turtle, kind, x, y, 48, &g_imgTurtle);
    if (kind == KIND_TURTLE) {
        turtle->vx = TURTLE_SPEED;
    } else {
        turtle->vx = FLY_TURTLE_SPEED;
        turtle->onGround = 0;
        turtle->ay = FLY_TURTLE_GRAVITY;
    }
    g_sprites.Add(turtle);
}

RectF* CGhost::GetRect(RectF* out)
{
    CSprite::GetRect(out);
    if (kind == KIND_TURTLE || kind == KIND_FLY_TURTLE)
        out->top = y + TURTLE_BODY_TOP;
    return out;
}

void CGhost::Update(float dt)
{
    if (active == 0)
        return;
    const float x0 = x;
    const float y0 = y;
    MoveStep(dt);
    if (action == ACT_KNOCKED)
        return;
    SweepHit hit{};
    CSprite* other = MoveAndCollide(*this, x0, y0, &WalkerMeets, PlayerToTest(), hit);
    if (hit.t <= 1.0f) {
        if (other == &g_player) {
            // A contact whose stop point lies above the screen does nothing.
            if (hit.side == 1 || hit.y >= 0.0f)
                g_player.Hurt();
        } else if (other != nullptr || hit.side == 1) {
            TurnAround();
            vx = -vx;
        } else {
            if (vy >= 0.0f)
                onGround = 1;
            ay = 0.0f;
            vy = 0.0f;
        }
    }
    CheckSupport();
}

// The shell's map sweep uses its lower 32 px, its actor tests its whole box;
// each contact places it at the stop point of the sweep that found it.
void CWalkTurtle::Update(float dt)
{
    if (active == 0)
        return;
    if (action != ACT_DOWN) {
        CGhost::Update(dt);
        return;
    }
    const float x0 = x;
    const float y0 = y;
    MoveStep(dt);
    SweepHit hit{};
    g_map.Sweep(width, SHELL_HEIGHT, x0, y0 + TURTLE_BODY_TOP, x, y + TURTLE_BODY_TOP, hit);
    CSprite* other = CollideWithActors(*this, x0, y0, &ShellMeets, hit);
    CSprite* player = PlayerToTest();
    if (player != nullptr && SweepAgainst(x0, y0, player, hit))
        other = player;
    if (hit.t <= 1.0f) {
        x = hit.x;
        y = other != nullptr ? hit.y : hit.y - TURTLE_BODY_TOP;
        if (other == &g_player) {
            g_player.Hurt();
        } else if (other != nullptr) {
            KnockOff(*other);
        } else if (hit.side == 0) {
            ay = 0.0f;
            onGround = 1;
            vy = 0.0f;
        } else {
            vx = -vx;
        }
    }
    CheckSupport();
}

void CFlyTurtle::Update(float dt)
{
    if (active == 0)
        return;
    if (kind == KIND_TURTLE) {
        CWalkTurtle::Update(dt);
        return;
    }
    if (onGround == 1) {
        onGround = 0;
        vy = FLY_TURTLE_HOP;
        ay = FLY_TURTLE_GRAVITY;
    }
    CGhost::Update(dt);
}

void CFlyTurtle::Draw(int scrollX)
{
    DrawCell(scrollX, kind != KIND_TURTLE ? WINGED_ROW_TOP : 0);
}
