// The player: its fields, its drawing and its blinking. It is never in
// g_sprites.
#pragma once

#include "sprite.h"
#include "timer.h"

// The player's kind is its size.
constexpr int PLAYER_SMALL = 0;
constexpr int PLAYER_BIG = 1;

class CPlayer : public CSprite {
public:
    // Draws the current cell of the player sheet (eight cells to a row, big
    // cells below the small ones). While blinking it is drawn every second
    // call, and the blinking ends on the first call more than 3 s after
    // blinkClock.
    void Draw(int scrollX) override;

    int firePower = 0;   // 1: has the fire power
    int blinking = 0;    // 1: blinking since blinkClock
    int blinkPhase = 0;  // drawn when 1 while blinking
    CTimer blinkClock;   // marked when blinking starts
};

extern CPlayer g_player;
