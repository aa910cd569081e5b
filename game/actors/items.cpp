#include "items.h"

#include <new>

#include "display.h"
#include "enemies.h"
#include "player.h"

namespace {

constexpr int TILE = 32;

// A new item of class T at (x, y): its one-row sheet of `cells` cells of
// width x height, all of them the plain action facing right. Null when it
// cannot be allocated.
template <typename T>
T* NewItem(int kind, float x, float y, int width, int height, int cells, CImage* sheet)
{
    T* item = new (std::nothrow) T;
    if (item == nullptr)
        return nullptr;
    item->Init(kind, x, y, width, height, cells, sheet);
    for (int i = 0; i < cells; ++i)
        item->AddFrame(ACT_PLAIN, FACE_RIGHT);
    item->SetAction(ACT_PLAIN, FACE_RIGHT);
    return item;
}

void Launch(CSprite* item, float vx, float vy, float ay)
{
    if (item == nullptr)
        return;
    item->vx = vx;
    item->vy = vy;
    item->ay = ay;
    g_sprites.Add(item);
}

bool BulletMeets(const CSprite&, const CSprite& s)
{
    return IsObstacleEnemy(s);
}

// The top-left of an item that comes out of a block: 1 px above it.
float AboveBlock(int row)
{
    return static_cast<float>(row * TILE - 33);
}

}  // namespace

void SpawnCoin(int col, int row)
{
    const float x = static_cast<float>(col * TILE + 8);
    const float y = static_cast<float>(row * TILE - 20);
    Launch(NewItem<CCoin>(KIND_EFFECT, x, y, 16, 32, 3, &g_imgCoin), 0.0f, -500.0f, GRAVITY);
}

void SpawnMushroom(int col, int row)
{
    const float x = static_cast<float>(col * TILE);
    Launch(NewItem<CMushroom>(KIND_MUSHROOM, x, AboveBlock(row), 32, 32, 1, &g_imgMushroom), 85.0f, -100.0f,
           GRAVITY);
}

void SpawnFlower(int col, int row)
{
    const float x = static_cast<float>(col * TILE);
    Launch(NewItem<CSprite>(KIND_FLOWER, x, AboveBlock(row), 32, 32, 1, &g_imgFlower), 0.0f, 0.0f, 0.0f);
}

void SpawnDebris(int col, int row)
{
    struct Piece {
        float vx, vy;
    };
    constexpr Piece PIECES[4] = {{-100.0f, -500.0f}, {100.0f, -500.0f}, {-100.0f, -200.0f}, {100.0f, -200.0f}};
    const float x = static_cast<float>(col * TILE + 16);
    const float y = static_cast<float>(row * TILE + 16);
    for (const Piece& p : PIECES)
        Launch(NewItem<CSprite>(KIND_EFFECT, x, y, 16, 16, 4, &g_imgDebris), p.vx, p.vy, GRAVITY);
}

void SpawnBullet(float x, float y, float vx)
{
    Launch(NewItem<CBullet>(KIND_BULLET, x, y, 16, 16, 4, &g_imgBullet), vx, 200.0f, GRAVITY);
}

void SpawnExplosion(float x, float y)
{
    Launch(NewItem<CExplode>(KIND_EFFECT, x, y, 32, 32, 3, &g_imgExplode), 0.0f, 0.0f, 0.0f);
}

void CCoin::Update(float dt)
{
    MoveStep(dt);
    if (vy > 0.0f)
        g_sprites.Remove(this);
}

void CExplode::Update(float)
{
    NextFrame();
    if (frame == 0)
        g_sprites.Remove(this);
}

void CMushroom::Update(float dt)
{
    const float x0 = x;
    const float y0 = y;
    MoveStep(dt);
    SweepHit hit{};
    g_map.Sweep(width, height, x0, y0, x, y, hit);
    const bool metPlayer = SweepAgainst(x0, y0, &g_player, hit);
    if (hit.t <= 1.0f) {
        if (metPlayer) {
            g_player.Grow();
            g_sprites.Remove(this);
            return;
        }
        x = hit.x;
        y = hit.y;
        if (hit.side == 0) {
            onGround = 1;
            ay = 0.0f;
            vy = 0.0f;
        } else {
            vx = -vx;
        }
    }
    CheckSupport();
}

void CBullet::Update(float dt)
{
    const float x0 = x;
    const float y0 = y;
    MoveStep(dt);
    SweepHit hit{};
    CSprite* enemy = MoveAndCollide(*this, x0, y0, &BulletMeets, nullptr, hit);
    if (hit.t > 1.0f)
        return;
    if (enemy != nullptr) {
        KnockOff(*enemy);
    } else if (hit.side == 0) {
        vy = -vy;
        return;
    }
    SpawnExplosion(hit.x, hit.y);
    g_sprites.Remove(this);
}
