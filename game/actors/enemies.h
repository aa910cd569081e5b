// The enemies: ghosts, turtles and winged turtles. They wait, inactive,
// until the player comes within 640 px, then walk, turn at walls and at each
// other, walk off ledges and hurt the player on contact. Stomped, a ghost is
// squashed, a turtle withdraws into its shell and a winged turtle loses its
// wings; a kicked shell slides and knocks off every enemy it meets.
#pragma once

#include "sprite.h"

// Speeds, px/s (negative: leftward or upward).
constexpr float GHOST_SPEED = -75.0f;
constexpr float TURTLE_SPEED = -80.0f;
constexpr float FLY_TURTLE_SPEED = -50.0f;
constexpr float FLY_TURTLE_GRAVITY = 600.0f;
constexpr float FLY_TURTLE_HOP = -350.0f;
constexpr float SHELL_SPEED = 500.0f;
constexpr float KNOCKED_HOP = -200.0f;

// A ghost; also the walking mode of both turtles. Others meet a turtle only
// with its lower 32 px (GetRect).
class CGhost : public CSprite {
public:
    RectF* GetRect(RectF* out) override;
    // Walks (or falls), turns at walls and at other enemies, hurts the
    // player it runs into, lands, and walks off ledges. A knocked-off enemy
    // only falls, through everything.
    void Update(float dt) override;
};

class CWalkTurtle : public CGhost {
public:
    // Walking: as a ghost. In its shell: slides, bounces off walls without
    // turning, knocks off every enemy it meets and hurts the player; only
    // the shell's lower 32 px meet the map.
    void Update(float dt) override;
};

// A winged turtle hops whenever it stands; without wings (kind KIND_TURTLE)
// it is a walking turtle.
class CFlyTurtle : public CWalkTurtle {
public:
    void Update(float dt) override;
    // The winged row of the turtle sheet (y = 48) while it has its wings.
    void Draw(int scrollX) override;
};

// Create an inactive enemy with its top-left at (x, y) at the head of
// g_sprites. kind 1 makes a walking turtle, any other a winged one.
void SpawnGhost(float x, float y);
void SpawnTurtle(int kind, float x, float y);

// An enemy hit by a shell or a bullet: it hops up and falls out of the world,
// meeting nothing.
void KnockOff(CSprite& e);

// The candidate filters of the collision queries. A walking enemy, a bullet
// and the player meet ghosts that are not squashed and turtles; a shell
// meets every enemy; none meets a knocked-off one.
bool IsObstacleEnemy(const CSprite& s);
bool IsAnyEnemy(const CSprite& s);
