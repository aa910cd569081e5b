// The actor pass's broad phase: while UpdateAll runs, every actor of
// g_sprites is filed under the map column its left edge is in, so that a
// mover's collision query visits only the actors near its swept box instead
// of the whole list, with exactly the results of the walk from the head.
//
// Why the results are the same: the swept test records a contact only where
// an edge of the other actor's box, crossed in the direction of motion, lies
// on the mover's path (give or take rounding far under a pixel); an actor
// whose edges cannot lie there is never recorded, so it need not be tested.
// For a mover walking level on the ground that leaves only the actors whose
// near edge is within its step. And the walk's rule that a contact must be
// strictly earlier than the ones before it makes its answer the earliest
// contact, the tile first and then the actor nearest the head on a tie: the
// grid takes the earliest contact over its candidates in any order and breaks
// ties by the order of Add (the list's order, newest first).
//
// What the grid needs: during the pass an actor's Update moves only itself
// (it is filed again, with its box, after its Update; an actor added during
// the pass stays where it was added until then), and GetRect keeps the
// actor's left edge x and right edge x + width, moving at most its top and
// bottom inward. Coordinates of 2^20 px or more make the query fall back to
// the walk.
#pragma once

#include <cstdint>
#include <vector>

#include "tilemap.h"

class CSprite;

using SpriteFilter = bool (*)(const CSprite& mover, const CSprite& candidate);

class CActorGrid {
public:
    // Files every actor of the list from head over a map of cols columns;
    // the grid is ready until Clear.
    void Build(CSprite* head, int cols);
    void Clear() { m_ready = false; }
    bool Ready() const { return m_ready; }

    void Insert(CSprite* s);
    void Erase(CSprite* s);
    // After s moved: its box noted again, under its new column.
    void Refile(CSprite* s);

    // The actor half of a collision query (see CollideWithActors). False
    // when the grid cannot answer it (not ready, or coordinates too large):
    // the caller then walks the list.
    bool Collide(CSprite& mover, float x0, float y0, SpriteFilter filter, SweepHit& hit, CSprite*& hitActor) const;

private:
    // An actor and its box when it was last filed.
    struct Entry {
        CSprite* actor;
        float left, top, right, bottom;
    };
    static Entry EntryOf(CSprite* s);
    int CellOf(float x) const;
    // Considers s as a candidate of the query: true when it became the
    // actor hit.
    static bool Consider(CSprite& mover, float x0, float y0, SpriteFilter filter, CSprite* s, SweepHit& hit,
                         const CSprite*& best);

    std::vector<std::vector<Entry>> m_cells;       // actors by the column of their left edge
    int m_maxWidth = 0;                            // of every actor filed since Build
    bool m_ready = false;
};
