#include "actor_grid.h"

#include <algorithm>
#include <cmath>

#include "sprite.h"

namespace {

constexpr float CELL_WIDTH = 32.0f;
// Beyond this the rounding of the sweep's arithmetic is no longer far below
// a pixel; such queries walk the list.
constexpr float LARGEST_COORDINATE = 1048576.0f;   // 2^20
// Room for that rounding in the range of candidates.
constexpr float MARGIN = 2.0f;
// The sweep's inset of the mover's box (SweptBoxTest).
constexpr float INSET_X = 5.0f;
constexpr float INSET_Y = 3.0f;

}  // namespace

int CActorGrid::CellOf(float x) const
{
    const int last = static_cast<int>(m_cells.size()) - 1;
    if (!(x > 0.0f))   // also NaN
        return 0;
    const float cell = std::floor(x / CELL_WIDTH);
    return cell >= static_cast<float>(last) ? last : static_cast<int>(cell);
}

CActorGrid::Entry CActorGrid::EntryOf(CSprite* s)
{
    return Entry{s, s->x, s->y, s->x + static_cast<float>(s->width), s->y + static_cast<float>(s->height)};
}

void CActorGrid::Build(CSprite* head, int cols)
{
    // A column past each end holds the actors outside the map.
    m_cells.resize(static_cast<std::size_t>(std::max(cols, 0)) + 2);
    for (std::vector<Entry>& cell : m_cells)
        cell.clear();
    m_maxWidth = 0;
    m_ready = true;
    for (CSprite* s = head; s != nullptr; s = s->next)
        Insert(s);
}

void CActorGrid::Insert(CSprite* s)
{
    const int cell = CellOf(s->x);
    std::vector<Entry>& entries = m_cells[static_cast<std::size_t>(cell)];
    s->gridCell = cell;
    s->gridSlot = static_cast<int>(entries.size());
    entries.push_back(EntryOf(s));
    m_maxWidth = std::max(m_maxWidth, s->width);
}

void CActorGrid::Erase(CSprite* s)
{
    if (s->gridCell < 0)
        return;
    std::vector<Entry>& entries = m_cells[static_cast<std::size_t>(s->gridCell)];
    const auto slot = static_cast<std::size_t>(s->gridSlot);
    entries[slot] = entries.back();
    entries[slot].actor->gridSlot = s->gridSlot;
    entries.pop_back();
    s->gridCell = -1;
    s->gridSlot = -1;
}

void CActorGrid::Refile(CSprite* s)
{
    if (CellOf(s->x) != s->gridCell) {
        Erase(s);
        Insert(s);
        return;
    }
    m_cells[static_cast<std::size_t>(s->gridCell)][static_cast<std::size_t>(s->gridSlot)] = EntryOf(s);
    m_maxWidth = std::max(m_maxWidth, s->width);
}

namespace {

// The mover's path from (x0, y0) to (x1, y1) with its box w x h, and the
// test of one filed box against it: could an edge of that box, crossed in the
// direction of motion, lie on the path? (The sweep insets the mover's box by
// INSET_X and INSET_Y; MARGIN covers rounding.)
struct Path {
    float x0, y0, x1, y1, w, h;
    bool movesX, movesY;

    bool MightMeet(float left, float top, float right, float bottom) const
    {
        if (movesX && MightMeetSide(left, top, right, bottom))
            return true;
        return movesY && MightMeetTopOrBottom(left, top, right, bottom);
    }
    // The left edge (moving right) or the right edge (moving left) between
    // the start and the end, at a height the box covers.
    bool MightMeetSide(float left, float top, float right, float bottom) const
    {
        const bool across = x1 > x0 ? left >= x0 + w - INSET_X - MARGIN && left <= x1 + w - INSET_X + MARGIN
                                    : right >= x1 + INSET_X - MARGIN && right <= x0 + INSET_X + MARGIN;
        return across && top <= std::max(y0, y1) + h - INSET_Y + MARGIN &&
               bottom >= std::min(y0, y1) + INSET_Y - MARGIN;
    }
    // The top edge (moving down) or the bottom edge (moving up) between the
    // start and the end, at a place the box covers.
    bool MightMeetTopOrBottom(float left, float top, float right, float bottom) const
    {
        const bool across = y1 > y0 ? top <= y1 + h - INSET_Y + MARGIN && bottom >= y0 + h - INSET_Y - MARGIN
                                    : bottom >= y1 + INSET_Y - MARGIN && top <= y0 + INSET_Y + MARGIN;
        return across && left <= std::max(x0, x1) + w - INSET_X + MARGIN &&
               right >= std::min(x0, x1) + INSET_X - MARGIN;
    }
};

}  // namespace

bool CActorGrid::Consider(CSprite& mover, float x0, float y0, SpriteFilter filter, CSprite* s, SweepHit& hit,
                          const CSprite*& best)
{
    if (filter != nullptr && !filter(mover, *s))
        return false;
    SweepHit contact{};
    contact.t = 2.0f;
    if (!mover.SweepAgainst(x0, y0, s, contact))
        return false;
    const bool earlier = contact.t < hit.t;
    const bool tieNearerHead = contact.t == hit.t && best != nullptr && s->listStamp > best->listStamp;
    if (!earlier && !tieNearerHead)
        return false;
    hit.t = contact.t;
    hit.side = contact.side;
    hit.x = contact.x;
    hit.y = contact.y;
    best = s;
    return true;
}

bool CActorGrid::Collide(CSprite& mover, float x0, float y0, SpriteFilter filter, SweepHit& hit,
                         CSprite*& hitActor) const
{
    if (!m_ready)
        return false;
    const Path path{x0, y0, mover.x, mover.y, static_cast<float>(mover.width), static_cast<float>(mover.height),
                    mover.x != x0, mover.y != y0};
    const float largest = std::max({std::fabs(x0), std::fabs(path.x1), std::fabs(y0), std::fabs(path.y1)});
    if (!(largest < LARGEST_COORDINATE))
        return false;
    hitActor = nullptr;
    if (!path.movesX && !path.movesY)
        return true;   // a move of length 0 meets nothing

    // The columns the left edges of the candidates can be in.
    const float maxWidth = static_cast<float>(m_maxWidth);
    float from = std::min(x0, path.x1) + INSET_X - MARGIN - maxWidth;
    float to = std::max(x0, path.x1) + path.w - INSET_X + MARGIN;
    if (!path.movesY && path.x1 > x0)
        from = x0 + path.w - INSET_X - MARGIN;
    else if (!path.movesY)
        to = x0 + INSET_X + MARGIN;
    const int first = CellOf(from);
    const int last = CellOf(to);

    const CSprite* best = nullptr;
    for (int c = first; c <= last; ++c) {
        for (const Entry& e : m_cells[static_cast<std::size_t>(c)]) {
            // The mover's own entry is from before its move: it is tested
            // below, exactly.
            if (e.actor != &mover && path.MightMeet(e.left, e.top, e.right, e.bottom) &&
                Consider(mover, x0, y0, filter, e.actor, hit, best))
                hitActor = e.actor;
        }
    }
    if (mover.gridCell >= 0 && Consider(mover, x0, y0, filter, &mover, hit, best))
        hitActor = &mover;
    return true;
}
