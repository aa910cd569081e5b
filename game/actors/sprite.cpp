#include "sprite.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "player.h"

CSpriteList g_sprites;

namespace {

// How far outside the screen an active actor may go before it is culled.
constexpr float CULL_LEFT = 640.0f;
constexpr float CULL_RIGHT = 1280.0f;
// An inactive actor wakes up once the player is less than this far to its left.
constexpr float ACTIVATION_RANGE = 640.0f;

constexpr int SCREEN_WIDTH = 640;
constexpr int SCREEN_HEIGHT = 480;

}  // namespace

int ToScreen(float v, int scroll)
{
    constexpr long long FAR_AWAY = 1 << 24;   // keeps later sums far from overflow
    const long long screen = static_cast<long long>(TruncToInt(v)) - scroll;
    return static_cast<int>(std::clamp(screen, -FAR_AWAY, FAR_AWAY));
}

bool ClipToScreen(int& sx, int& sy, int w, int h, BltRect& src)
{
    if (sx < 0) {
        src.left -= sx;
        sx = 0;
    } else if (sx + w > SCREEN_WIDTH) {
        src.right -= sx + w - SCREEN_WIDTH;
    }
    if (sy < 0) {
        src.top -= sy;
        sy = 0;
    } else if (sy + h > SCREEN_HEIGHT) {
        src.bottom -= sy + h - SCREEN_HEIGHT;
    }
    return src.right > src.left && src.bottom > src.top;
}

namespace {

bool OutOfWorld(const CSprite& s)
{
    const float top = s.y + static_cast<float>(s.height);
    const float scroll = static_cast<float>(g_map.scrollX);
    const float mapRight = 32.0f * static_cast<float>(g_map.cols);
    return top < 0.0f || s.y > 480.0f || s.x < 0.0f || s.x < scroll - CULL_LEFT || s.x > scroll + CULL_RIGHT ||
           s.x > mapRight;
}

}  // namespace

void CSprite::Init(int kind_, float x_, float y_, int width_, int height_, int frameCapacity_, CImage* sheet_)
{
    kind = kind_;
    x = x_;
    y = y_;
    width = width_;
    height = height_;
    sheet = sheet_;
    active = 1;
    onGround = 1;
    vx = vy = ax = ay = 0.0f;
    animDist = 0.0f;
    animStep = 10.0f;
    frameCount = 0;
    frame = 0;
    next = nullptr;
    frameCapacity = frameCapacity_ > 0 ? frameCapacity_ : 0;
    frames.reset(frameCapacity > 0 ? new (std::nothrow) SpriteFrame[frameCapacity] : nullptr);
    if (!frames)
        frameCapacity = 0;
}

void CSprite::AddFrame(int action_, int facing_)
{
    if (frameCount >= frameCapacity)
        return;
    frames[frameCount] = SpriteFrame{action_, facing_};
    ++frameCount;
}

void CSprite::SetAction(int action_, int facing_)
{
    action = action_;
    if (facing_ != -1)
        facing = facing_;
    FindFrame();
}

void CSprite::TurnAround()
{
    facing = 1 - facing;
    FindFrame();
}

void CSprite::FindFrame()
{
    for (int i = 0; i < frameCount; ++i) {
        if (frames[i].action == action && frames[i].facing == facing) {
            frame = i;
            return;
        }
    }
}

void CSprite::NextFrame()
{
    const int n = frame + 1;
    if (n < frameCount && frames[n].action == action && frames[n].facing == facing)
        frame = n;
    else
        FindFrame();
}

void CSprite::StepAnimation(float dt)
{
    const float speed = vx != 0.0f ? std::fabs(vx) : std::fabs(vy);
    const float travelled = dt * speed;
    animDist = animDist + travelled;
    if (animDist >= animStep) {
        animDist = 0.0f;
        NextFrame();
    }
}

void CSprite::MoveStep(float dt)
{
    const float dvx = ax * dt;
    vx = vx + dvx;
    const float dvy = ay * dt;
    vy = vy + dvy;
    const float dx = vx * dt;
    x = x + dx;
    const float dy = vy * dt;
    y = y + dy;
    StepAnimation(dt);
}

RectF* CSprite::GetRect(RectF* out)
{
    out->left = x;
    out->top = y;
    out->right = x + static_cast<float>(width);
    out->bottom = y + static_cast<float>(height);
    return out;
}

void CSprite::Update(float dt)
{
    MoveStep(dt);
}

void CSprite::Draw(int scrollX)
{
    DrawCell(scrollX, 0);
}

void CSprite::DrawCell(int scrollX, int rowTop)
{
    int sx = ToScreen(x, scrollX);
    int sy = ToScreen(y, 0);
    if (sx + width < 0 || sx > SCREEN_WIDTH || sy + height < 0 || sy > SCREEN_HEIGHT)
        return;
    BltRect src{frame * width, rowTop, frame * width + width, rowTop + height};
    if (!ClipToScreen(sx, sy, width, height, src) || sheet == nullptr)
        return;
    sheet->BltTo(sx, sy, src);
}

void CSprite::CheckSupport()
{
    if (onGround != 1)
        return;
    SweepHit probe{};
    const float below = y + 2.0f;
    if (g_map.Sweep(width, height, x, y, x, below, probe))
        return;
    onGround = 0;
    ay = GRAVITY;
    ax = 0.0f;
}

bool CSprite::SweepAgainst(float x0, float y0, CSprite* other, SweepHit& hit)
{
    RectF box{};
    other->GetRect(&box);
    box.left = box.left - static_cast<float>(width);
    box.top = box.top - static_cast<float>(height);
    return SweptBoxTest(x0, y0, x, y, box, hit);
}

CSprite* CollideWithActors(CSprite& mover, float x0, float y0, SpriteFilter filter, SweepHit& hit)
{
    CSprite* hitActor = nullptr;
    if (g_sprites.Grid().Collide(mover, x0, y0, filter, hit, hitActor))
        return hitActor;
    for (CSprite* s = g_sprites.head; s != nullptr; s = s->next) {
        if (filter != nullptr && !filter(mover, *s))
            continue;
        if (mover.SweepAgainst(x0, y0, s, hit))
            hitActor = s;
    }
    return hitActor;
}

CSprite* MoveAndCollide(CSprite& mover, float x0, float y0, SpriteFilter filter, CSprite* player, SweepHit& hit)
{
    g_map.Sweep(mover.width, mover.height, x0, y0, mover.x, mover.y, hit);
    CSprite* hitActor = CollideWithActors(mover, x0, y0, filter, hit);
    if (player != nullptr && mover.SweepAgainst(x0, y0, player, hit))
        hitActor = player;
    if (hit.t <= 1.0f) {
        mover.x = hit.x;
        mover.y = hit.y;
    }
    return hitActor;
}

CSprite* CSpriteList::Add(CSprite* s)
{
    if (s == nullptr)
        return nullptr;
    s->next = head;
    head = s;
    s->listStamp = ++m_stamps;
    if (m_grid.Ready())
        m_grid.Insert(s);
    return s;
}

void CSpriteList::Remove(CSprite* s)
{
    CSprite* prev = nullptr;
    for (CSprite* cur = head; cur != nullptr; prev = cur, cur = cur->next) {
        if (cur != s)
            continue;
        (prev != nullptr ? prev->next : head) = cur->next;
        if (cur == m_walkNext)
            m_walkNext = cur->next;
        if (cur == m_walkCurrent)
            m_currentRemoved = true;
        if (m_grid.Ready())
            m_grid.Erase(cur);
        delete cur;
        return;
    }
}

void CSpriteList::RemoveAll()
{
    while (head != nullptr)
        Remove(head);
}

void CSpriteList::UpdateAll(float dt)
{
    if (broadPhase)
        m_grid.Build(head, g_map.cols);
    for (CSprite* s = head; s != nullptr; s = m_walkNext) {
        m_walkNext = s->next;
        m_walkCurrent = s;
        m_currentRemoved = false;
        if (s->active == 0 && g_player.x + ACTIVATION_RANGE > s->x)
            s->active = 1;
        s->Update(dt);
        if (m_currentRemoved)
            continue;
        if (m_grid.Ready())
            m_grid.Refile(s);
        if (s->active != 0 && OutOfWorld(*s))
            Remove(s);
    }
    m_grid.Clear();
    m_walkNext = nullptr;
    m_walkCurrent = nullptr;
    m_currentRemoved = false;
}

void CSpriteList::DrawAll(int scrollX)
{
    for (CSprite* s = head; s != nullptr; s = s->next)
        s->Draw(scrollX);
}
