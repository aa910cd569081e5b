// The one actor steered by the keyboard. It is never in g_sprites.
#pragma once

#include "sprite.h"
#include "timer.h"

class CPlayer : public CSprite {
public:
    // Draws the current cell of the player sheet (eight cells to a row, big
    // cells below the small ones) and runs the blinking after a hit.
    void Draw(int scrollX) override;

    int firePower = 0;   // can throw bullets
    int blinking = 0;    // the 3 s after shrinking
    int blinkPhase = 0;  // drawn when 1 while blinking
    CTimer blinkClock;   // marked when blinking starts
};

extern CPlayer g_player;
