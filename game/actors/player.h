// The player: the one actor the keys steer. Its run and jump physics, the
// camera push, its contacts with tiles (head-butting blocks) and with other
// actors (power-ups, stomps, kicks, being hurt), shrinking, growing, blinking
// and dying. It is the global g_player and never in g_sprites; the world
// update calls its Step before the actor pass, so whatever it changes or
// creates is seen by the other actors in the same frame.
#pragma once

#include <cstdint>

#include "sprite.h"
#include "timer.h"

// The player's kind is its size.
constexpr int PLAYER_SMALL = 0;   // 32 x 32
constexpr int PLAYER_BIG = 1;     // 32 x 64

// Where every level starts the player: its feet on row 12's top either way.
constexpr float PLAYER_START_X = 64.0f;
constexpr float PLAYER_START_Y_SMALL = 383.0f;
constexpr float PLAYER_START_Y_BIG = 351.0f;

// The key flags the previous Step received (0 at program start). Only Step
// writes it, as its last act, and not while the player is dying: a key held
// through a landing, a death or a level load is not pressed again.
extern std::uint8_t g_prevKeys;

class CPlayer : public CSprite {
public:
    // Start-up: a small player at the start, the player sheet and the
    // 14-entry frame table. The action is set by the first Respawn.
    void Init();
    // Places the player at the start of a level, at rest on the ground,
    // facing right, not blinking. newGame (first level, after a death) also
    // makes it small without the fire power; a finished level keeps both.
    void Respawn(bool newGame);
    // The player's part of a frame: motion under the key flags, the jump and
    // the throw (on a key going down since g_prevKeys), collisions with the
    // map and the actors and their responses, the ground probe, the camera,
    // and the death by falling below the screen.
    void Step(float dt, std::uint8_t keys);
    // Draws the current cell of the player sheet (eight cells to a row, big
    // cells below the small ones). While blinking it is drawn every second
    // call, and the blinking ends on the first call more than 3 s after
    // blinkClock.
    void Draw(int scrollX) override;

    // A big player shrinks (and blinks); a small one dies: a hop up from 10 px
    // higher, then a fall through everything.
    void Hurt();
    // A small player becomes big (and stops blinking); a big one is unchanged.
    void Grow();
    void Shrink();
    void StartBlink();
    // Launches a bullet ahead of the player unless two are flying already.
    void FireBullet();

    int firePower = 0;   // 1: has the fire power
    int blinking = 0;    // 1: blinking since blinkClock
    int blinkPhase = 0;  // drawn when 1 while blinking
    CTimer blinkClock;   // marked when blinking starts

private:
    void Move(float dt, std::uint8_t keys);
    void ReactToKeys(std::uint8_t keys);
    void Collide(float x0, float y0);
    void SteerRight();
    void SteerLeft();
    void OnTileContact(const SweepHit& hit);
    void HeadButt(const SweepHit& hit);
    void OnActorContact(CSprite& e, const SweepHit& hit);
    void OnShellContact(CSprite& shell, const SweepHit& hit);
    void Stomp(CSprite& e);
};

extern CPlayer g_player;
