// The actor base: the actor record, frame-table animation, the plain motion
// step, the ground probe, actor-against-actor sweeps, the move-and-collide
// pattern and the actor list. Everything here runs on the game's one thread.
#pragma once

#include <cstdint>
#include <memory>

#include "actor_grid.h"
#include "display_ops.h"
#include "tilemap.h"

// Actor kinds.
constexpr int KIND_GHOST = 0;
constexpr int KIND_TURTLE = 1;
constexpr int KIND_FLY_TURTLE = 2;
constexpr int KIND_EFFECT = 3;
constexpr int KIND_MUSHROOM = 4;
constexpr int KIND_FLOWER = 5;
constexpr int KIND_BULLET = 6;

// Actions.
constexpr int ACT_PLAIN = 0;
constexpr int ACT_STAND = 1;
constexpr int ACT_WALK = 2;
constexpr int ACT_JUMP = 4;
constexpr int ACT_SKID = 5;
constexpr int ACT_DOWN = 7;
constexpr int ACT_KNOCKED = 8;

constexpr int FACE_LEFT = 0;
constexpr int FACE_RIGHT = 1;

// Gravity of an airborne actor, px/s^2.
constexpr float GRAVITY = 1200.0f;

// Entry i of a frame table describes sheet cell i.
struct SpriteFrame {
    int action;
    int facing;
};

class CSprite {
public:
    CSprite() = default;
    CSprite(const CSprite&) = delete;
    CSprite& operator=(const CSprite&) = delete;

    // Sets the actor up with an empty frame table of frameCapacity entries;
    // facing and action are left for the spawn's SetAction.
    void Init(int kind, float x, float y, int width, int height, int frameCapacity, CImage* sheet);
    // Appends one entry; ignored once the table is full.
    void AddFrame(int action, int facing);
    // Changes the action (and the facing unless facing is -1) and restarts
    // the animation at the action's first entry.
    void SetAction(int action, int facing);
    void TurnAround();
    // Selects the lowest entry equal to (action, facing); with no such entry
    // the current frame is kept.
    void FindFrame();
    // Next entry of the same (action, facing), wrapping to the first.
    void NextFrame();
    // Stepping by distance: one frame per animStep px travelled.
    void StepAnimation(float dt);
    // The plain motion step: velocity, position, then animation; no collision.
    void MoveStep(float dt);

    // The three virtual operations, in slot order; then the destructor,
    // virtual because the list destroys subclasses through CSprite pointers.
    // GetRect never reaches outside the box (x, y, width, height).
    virtual RectF* GetRect(RectF* out);
    virtual void Update(float dt);
    virtual void Draw(int scrollX);
    virtual ~CSprite() = default;

    // Draws cell `frame` of the sheet's row that starts at rowTop (cell i at
    // x = i * width), clipped to the screen; nothing when wholly off it.
    void DrawCell(int scrollX, int rowTop);
    // A standing actor with no tile 2 px below it starts to fall.
    void CheckSupport();
    // Tests this actor's move from (x0, y0) to (x, y) against other's box;
    // true only when the contact was recorded into hit (strictly earlier).
    bool SweepAgainst(float x0, float y0, CSprite* other, SweepHit& hit);

    int kind = 0;
    int active = 1;
    float x = 0.0f;
    float y = 0.0f;
    int width = 0;
    int height = 0;
    int onGround = 1;
    int frameCapacity = 0;
    int frameCount = 0;
    int frame = 0;
    std::unique_ptr<SpriteFrame[]> frames;   // owned frame table
    int facing = FACE_RIGHT;
    int action = ACT_PLAIN;
    float vx = 0.0f;
    float vy = 0.0f;
    float ax = 0.0f;
    float ay = 0.0f;
    float animDist = 0.0f;
    float animStep = 10.0f;
    CImage* sheet = nullptr;                 // not owned
    CSprite* next = nullptr;                 // next actor of g_sprites
    // Bookkeeping of g_sprites: the order of Add (a later actor is nearer
    // the head), and the grid column and place in it the actor is filed
    // under during the actor pass (-1: none).
    std::uint64_t listStamp = 0;
    int gridCell = -1;
    int gridSlot = -1;
};

// A world coordinate on the screen: v truncated toward zero minus scroll,
// held within +-2^24 so that wild positions cannot overflow the clipping.
int ToScreen(float v, int scroll);

// Clips a w x h cell drawn at (sx, sy) to the 640 x 480 screen by moving sx,
// sy and the source rectangle's edges; false when nothing of it remains (such
// a rectangle is never handed to the display).
bool ClipToScreen(int& sx, int& sy, int w, int h, BltRect& src);

// SpriteFilter (actor_grid.h) says which actors of g_sprites a moving actor
// collides with. A null filter accepts every actor. The mover itself is
// offered too.

// The actor half of a collision query, run after the map sweep has filled
// hit: every actor of g_sprites from the head that passes filter is tested
// with SweepAgainst from (x0, y0), each later contact having to be strictly
// earlier. Returns the actor whose contact was recorded last (the earliest,
// nearest the head on a tie), or null when hit still holds the tile contact
// or no contact. During the actor pass the candidates come from the pass's
// grid (when g_sprites.broadPhase is set), with the same result.
CSprite* CollideWithActors(CSprite& mover, float x0, float y0, SpriteFilter filter, SweepHit& hit);

// The collision half of the move-and-collide pattern, run after the mover has
// moved from (x0, y0) to its current (x, y):
//   the map sweep of its box into hit (hit.t starts at 2.0), then
//   CollideWithActors, then player unless it is null; each later contact
//   must be strictly earlier.
// When hit.t <= 1 the mover is placed at the stop point (hit.x, hit.y).
// Returns the actor hit first, or null for a tile contact or no contact
// (tell them apart by hit.t <= 1).
CSprite* MoveAndCollide(CSprite& mover, float x0, float y0, SpriteFilter filter, CSprite* player, SweepHit& hit);

// The list of every actor but the player; owns its actors.
class CSpriteList {
public:
    CSpriteList() = default;
    ~CSpriteList() { RemoveAll(); }
    CSpriteList(const CSpriteList&) = delete;
    CSpriteList& operator=(const CSpriteList&) = delete;

    // Pushes s at the head and returns it.
    CSprite* Add(CSprite* s);
    // Unlinks and destroys s; an actor not in the list is ignored.
    void Remove(CSprite* s);
    void RemoveAll();
    // The actor pass: an inactive actor wakes once g_player's x + 640 is
    // beyond its x; every actor's Update; culling of active actors that left
    // the neighbourhood of the screen. An actor may remove itself (or another
    // actor) from its Update; actors it adds get their first Update in the
    // next pass.
    void UpdateAll(float dt);
    // Draws every actor from the head to the tail.
    void DrawAll(int scrollX);
    // The pass's grid; ready only while UpdateAll runs with broadPhase.
    const CActorGrid& Grid() const { return m_grid; }

    CSprite* head = nullptr;
    // The actor pass finds each mover's candidates through a grid of map
    // columns (true, the default) or walks the whole list for each (false);
    // both give the same results, the walk in time growing with the square
    // of the actors.
    bool broadPhase = true;

private:
    CSprite* m_walkNext = nullptr;      // next actor of the running UpdateAll
    CSprite* m_walkCurrent = nullptr;   // actor whose Update is running
    bool m_currentRemoved = false;      // m_walkCurrent was destroyed
    std::uint64_t m_stamps = 0;         // stamps handed out by Add
    CActorGrid m_grid;
};

extern CSpriteList g_sprites;
