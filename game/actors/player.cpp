#include "player.h"

#include "display.h"
#include "enemies.h"
#include "input.h"
#include "items.h"

CPlayer g_player;
std::uint8_t g_prevKeys = 0;

namespace {

constexpr int SHEET_COLUMNS = 8;     // cells to a row of the player sheet
constexpr int BIG_ROWS_TOP = 64;     // big cells start below the two small rows
constexpr float BLINK_SECONDS = 3.0f;
constexpr int ACT_UNUSED = 6;        // has a cell in the table; no rule selects it

// Entry i is cell (i mod 8, i div 8) of the sheet's small or big rows.
constexpr int PLAYER_FRAME_COUNT = 14;
constexpr SpriteFrame PLAYER_FRAMES[PLAYER_FRAME_COUNT] = {
    {ACT_STAND, FACE_RIGHT}, {ACT_WALK, FACE_RIGHT}, {ACT_WALK, FACE_RIGHT}, {ACT_WALK, FACE_RIGHT},
    {ACT_SKID, FACE_RIGHT},  {ACT_JUMP, FACE_RIGHT}, {ACT_DOWN, FACE_RIGHT}, {ACT_UNUSED, FACE_RIGHT},
    {ACT_STAND, FACE_LEFT},  {ACT_WALK, FACE_LEFT},  {ACT_WALK, FACE_LEFT},  {ACT_WALK, FACE_LEFT},
    {ACT_SKID, FACE_LEFT},   {ACT_JUMP, FACE_LEFT},
};

// The physics, px/s and px/s^2 (y grows downward).
constexpr float WALK_ACCEL = 500.0f;
constexpr float BRAKE_ACCEL = 500.0f;
constexpr float SKID_ACCEL = 1000.0f;
constexpr float WALK_LIMIT = 250.0f;
constexpr float RUN_LIMIT = 400.0f;        // on the ground with the action key
constexpr float JUMP_SPEED = -600.0f;
constexpr float RUN_JUMP_SPEED = -650.0f;
constexpr float SHORT_JUMP_GRAVITY = 1250.0f;  // added on releasing the jump key
constexpr float BOUNCE_SPEED = -150.0f;
constexpr float STOMPED_FALL = 150.0f;     // an enemy stomped in the air
constexpr float DEATH_HOP = -500.0f;
constexpr float DEATH_RISE = 10.0f;
constexpr float BULLET_SPEED = 500.0f;
constexpr float BULLET_DROP = 10.0f;       // below the player's top
constexpr int MAX_BULLETS = 2;
constexpr int CAMERA_RIGHT_LIMIT = 288;    // px from the screen's left edge

constexpr std::uint8_t STEER_KEYS = KEY_RIGHT | KEY_LEFT;

bool Pressed(std::uint8_t keys, std::uint8_t key)
{
    return (keys & key) != 0 && (g_prevKeys & key) == 0;
}

// The actors the player meets: every enemy but knocked-off ones and squashed
// ghosts, and the two power-ups.
bool PlayerMeets(const CSprite&, const CSprite& s)
{
    return IsObstacleEnemy(s) || s.kind == KIND_MUSHROOM || s.kind == KIND_FLOWER;
}

}  // namespace

void CPlayer::Init()
{
    CSprite::Init(PLAYER_SMALL, PLAYER_START_X, PLAYER_START_Y_SMALL, 32, 32, PLAYER_FRAME_COUNT, &g_imgPlayer);
    for (const SpriteFrame& f : PLAYER_FRAMES)
        AddFrame(f.action, f.facing);
}

void CPlayer::Respawn(bool newGame)
{
    if (newGame) {
        kind = PLAYER_SMALL;
        width = 32;
        height = 32;
        firePower = 0;
    }
    x = PLAYER_START_X;
    y = kind == PLAYER_BIG ? PLAYER_START_Y_BIG : PLAYER_START_Y_SMALL;
    vx = vy = ax = ay = 0.0f;
    onGround = 1;
    blinking = 0;
    SetAction(ACT_STAND, FACE_RIGHT);
}

void CPlayer::Step(float dt, std::uint8_t keys)
{
    if (action == ACT_DOWN) {   // dying: falls through everything
        MoveStep(dt);
        return;
    }
    const float x0 = x;
    const float y0 = y;
    Move(dt, keys);
    ReactToKeys(keys);
    Collide(x0, y0);
    const int ahead = TruncToInt(x) - g_map.scrollX;
    if (ahead > CAMERA_RIGHT_LIMIT)
        g_map.ScrollBy(ahead - CAMERA_RIGHT_LIMIT);
    if (y > 480.0f) {   // fallen out: dies whatever its size
        kind = PLAYER_SMALL;
        Hurt();
    }
    g_prevKeys = keys;
}

// The motion under the speed limit (400 px/s only running on the ground),
// held at the screen's left edge, then the animation.
void CPlayer::Move(float dt, std::uint8_t keys)
{
    const float vx0 = vx;
    const float limit = (keys & KEY_ACTION) != 0 && onGround == 1 ? RUN_LIMIT : WALK_LIMIT;
    vx = vx + ax * dt;
    vy = vy + ay * dt;
    if (vx > limit)
        vx = limit;
    else if (vx < -limit)
        vx = -limit;
    x = x + vx * dt;
    y = y + vy * dt;

    const float screenLeft = static_cast<float>(g_map.scrollX);
    if (x < screenLeft)
        x = screenLeft;
    // Braking or skidding on the ground ends at rest on the frame the speed
    // reaches or passes 0. (Were an exact 0 left out, the braking
    // acceleration would carry the player past it, and it would sway about 0
    // walking on the spot, or skid on into the new direction at the skid's
    // acceleration.)
    const bool reachedZero = (vx0 > 0.0f && vx <= 0.0f) || (vx0 < 0.0f && vx >= 0.0f);
    if (onGround == 1 && reachedZero) {
        vx = 0.0f;
        ax = 0.0f;
        SetAction(ACT_STAND, -1);
    }
    StepAnimation(dt);
}

// Steering, the jump and the throw (on a key going down), braking on the
// ground without a direction key, and the short jump when the jump key is
// let go while rising.
void CPlayer::ReactToKeys(std::uint8_t keys)
{
    const bool run = (keys & KEY_ACTION) != 0;
    if (keys & KEY_RIGHT)
        SteerRight();
    else if (keys & KEY_LEFT)
        SteerLeft();

    if (onGround == 1 && Pressed(keys, KEY_JUMP)) {
        onGround = 0;
        SetAction(ACT_JUMP, -1);
        vy = run ? RUN_JUMP_SPEED : JUMP_SPEED;
        ay = GRAVITY;
        ax = 0.0f;
    }
    if (firePower == 1 && Pressed(keys, KEY_ACTION))
        FireBullet();
    if (onGround == 1 && (keys & STEER_KEYS) == 0) {
        if (vx > 0.0f)
            ax = -BRAKE_ACCEL;
        else if (vx < 0.0f)
            ax = BRAKE_ACCEL;
    }
    if (action == ACT_JUMP && vy < 0.0f && (keys & KEY_JUMP) == 0 && (g_prevKeys & KEY_JUMP) != 0)
        ay = ay + SHORT_JUMP_GRAVITY;
}

// The move from (x0, y0) against the map and the actors the player meets,
// the response to what it met first, then the ground probe.
void CPlayer::Collide(float x0, float y0)
{
    SweepHit hit{};
    CSprite* other = MoveAndCollide(*this, x0, y0, &PlayerMeets, nullptr, hit);
    if (hit.t <= 1.0f) {
        if (other != nullptr)
            OnActorContact(*other, hit);
        else
            OnTileContact(hit);
    }
    CheckSupport();
}

// On the ground, turning towards the key skids while the player still moves
// the old way; a walking player already facing the key keeps its braking or
// walking acceleration. In the air the key only pushes.
void CPlayer::SteerRight()
{
    if (facing == FACE_LEFT && onGround == 1) {
        TurnAround();
        if (action != ACT_STAND && vx < 0.0f) {
            ax = SKID_ACCEL;
            SetAction(ACT_SKID, -1);
        }
    } else if (facing == FACE_LEFT) {
        ax = WALK_ACCEL;
    } else if (onGround == 1 && action != ACT_STAND) {
        // keeps ax
    } else {
        ax = WALK_ACCEL;
        if (action == ACT_STAND)
            SetAction(ACT_WALK, -1);
    }
}

void CPlayer::SteerLeft()
{
    if (facing == FACE_RIGHT && onGround == 1) {
        TurnAround();
        if (action != ACT_STAND && vx > 0.0f) {
            ax = -SKID_ACCEL;
            SetAction(ACT_SKID, -1);
        }
    } else if (facing == FACE_RIGHT) {
        ax = -WALK_ACCEL;
    } else if (onGround == 1 && action != ACT_STAND) {
        // keeps ax
    } else {
        ax = -WALK_ACCEL;
        if (action == ACT_STAND)
            SetAction(ACT_WALK, -1);
    }
}

void CPlayer::OnTileContact(const SweepHit& hit)
{
    if (hit.side == 1) {
        vx = 0.0f;
        ax = 0.0f;
        if (action != ACT_JUMP)
            SetAction(ACT_STAND, -1);
    } else if (vy > 0.0f) {
        vy = 0.0f;
        onGround = 1;
        ay = 0.0f;
        SetAction(vx != 0.0f ? ACT_WALK : ACT_STAND, -1);
    } else {
        HeadButt(hit);
    }
}

// The player bounces down at a third of its speed; a big player breaks a
// brick, and a coin or power block gives its item once and is emptied.
void CPlayer::HeadButt(const SweepHit& hit)
{
    vy = -vy / 3.0f;
    vx = vx * 0.5f;
    switch (hit.kind) {
    case TILE_BRICK:
        if (kind == PLAYER_BIG) {
            SpawnDebris(hit.col, hit.row);
            g_map.SetTile(hit.col, hit.row, TILE_EMPTY);
        }
        break;
    case TILE_COIN_BLOCK:
        g_map.SetTile(hit.col, hit.row, TILE_SOLID);
        SpawnCoin(hit.col, hit.row);
        break;
    case TILE_POWER_BLOCK:
        g_map.SetTile(hit.col, hit.row, TILE_SOLID);
        if (kind == PLAYER_SMALL)
            SpawnMushroom(hit.col, hit.row);
        else
            SpawnFlower(hit.col, hit.row);
        break;
    default:
        break;
    }
}

void CPlayer::OnActorContact(CSprite& e, const SweepHit& hit)
{
    if (e.kind == KIND_MUSHROOM) {
        g_sprites.Remove(&e);
        Grow();
    } else if (e.kind == KIND_FLOWER) {
        g_sprites.Remove(&e);
        if (kind == PLAYER_BIG)
            firePower = 1;
        else
            Grow();
    } else if (e.action == ACT_DOWN) {
        OnShellContact(e, hit);
    } else if (vy > 0.0f) {
        Stomp(e);
    } else if (blinking == 0) {
        Hurt();
    }
}

// A moving shell hurts from the side, even while blinking, and stops when
// landed on or butted; a resting shell is kicked away from the player's
// centre.
void CPlayer::OnShellContact(CSprite& shell, const SweepHit& hit)
{
    if (shell.vx != 0.0f) {
        if (hit.side == 1) {
            Hurt();
        } else {
            shell.vx = 0.0f;
            vy = BOUNCE_SPEED;
        }
        return;
    }
    if (hit.side == 0)
        y = hit.y + 3.0f;
    const float shellCentre = shell.x + static_cast<float>(shell.width / 2);
    const float centre = x + static_cast<float>(width / 2);
    shell.vx = shellCentre >= centre ? SHELL_SPEED : -SHELL_SPEED;
}

void CPlayer::Stomp(CSprite& e)
{
    if (e.onGround == 0) {
        e.vy = STOMPED_FALL;
        e.ay = GRAVITY;
    }
    vy = BOUNCE_SPEED;
    if (e.kind == KIND_FLY_TURTLE) {
        e.kind = KIND_TURTLE;
    } else {
        e.SetAction(ACT_DOWN, FACE_RIGHT);
        e.vx = 0.0f;
    }
}

void CPlayer::Hurt()
{
    if (kind == PLAYER_BIG) {
        Shrink();
        return;
    }
    SetAction(ACT_DOWN, FACE_RIGHT);
    vy = DEATH_HOP;
    ay = GRAVITY;
    vx = 0.0f;
    ax = 0.0f;
    y = y - DEATH_RISE;
}

void CPlayer::Shrink()
{
    kind = PLAYER_SMALL;
    y = y + 32.0f;
    height = 32;
    firePower = 0;
    StartBlink();
}

void CPlayer::StartBlink()
{
    blinking = 1;
    blinkPhase = 0;
    blinkClock.Mark();
}

void CPlayer::Grow()
{
    if (kind != PLAYER_SMALL)
        return;
    kind = PLAYER_BIG;
    y = y - 32.0f;
    height = 64;
    blinking = 0;
}

void CPlayer::FireBullet()
{
    int bullets = 0;
    for (CSprite* s = g_sprites.head; s != nullptr; s = s->next)
        bullets += s->kind == KIND_BULLET ? 1 : 0;
    if (bullets >= MAX_BULLETS)
        return;
    const float by = y + BULLET_DROP;
    if (facing == FACE_RIGHT)
        SpawnBullet(x + static_cast<float>(width), by, BULLET_SPEED);
    else
        SpawnBullet(x - 16.0f, by, -BULLET_SPEED);
}

void CPlayer::Draw(int scrollX)
{
    int sx = ToScreen(x, scrollX);
    int sy = ToScreen(y, 0);
    BltRect src{};
    src.left = (frame % SHEET_COLUMNS) * width;
    src.top = (frame / SHEET_COLUMNS) * height + (kind == PLAYER_BIG ? BIG_ROWS_TOP : 0);
    src.right = src.left + width;
    src.bottom = src.top + height;
    const bool visible = ClipToScreen(sx, sy, width, height, src);
    if ((blinking == 0 || blinkPhase == 1) && visible && sheet != nullptr)
        sheet->BltTo(sx, sy, src);
    if (blinking == 1) {
        blinkPhase = 1 - blinkPhase;
        CTimer now;
        now.Mark();
        if (now.SecondsSince(blinkClock) > BLINK_SECONDS)
            blinking = 0;
    }
}
