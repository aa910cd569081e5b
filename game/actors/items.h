// The actors the player's actions make: the coin out of a coin block, the
// mushroom and the fire flower out of a power block, the four pieces of a
// broken brick, the player's bullets and the explosions they leave. Each
// spawn adds its actor at the head of g_sprites; an actor that cannot be
// allocated is simply not made.
#pragma once

#include "sprite.h"

class CCoin : public CSprite {
public:
    // Rises, and disappears as it starts to fall; meets nothing.
    void Update(float dt) override;
};

class CMushroom : public CSprite {
public:
    // Hops out of its block, slides, turns at walls, falls off ledges; the
    // player is the only actor it meets, in any state, and it makes the
    // player big.
    void Update(float dt) override;
};

class CBullet : public CSprite {
public:
    // Bounces along the ground; explodes at a wall or at the enemy it knocks
    // off. Squashed ghosts, items and the player are passed through.
    void Update(float dt) override;
};

class CExplode : public CSprite {
public:
    // One cell per frame whatever the step; gone at its third update.
    void Update(float dt) override;
};

// col and row are the cell of the block that was hit.
void SpawnCoin(int col, int row);
void SpawnMushroom(int col, int row);
void SpawnFlower(int col, int row);
// Four pieces from the centre of the broken cell, each pushed at the head.
void SpawnDebris(int col, int row);
// A bullet with its top-left at (x, y), flying at vx.
void SpawnBullet(float x, float y, float vx);
void SpawnExplosion(float x, float y);
