// The game over the world and the actors: set-up, level loading, the world
// update at the start of every frame, and the world's part of the picture.
#pragma once

#include <cstdint>

extern int g_level;      // number of the current level file; 0 at program start
extern int g_darkLevel;  // the current level's dark flag: non-zero selects the dark palette and music
extern std::uint8_t g_frameKeys;  // the key flags the last UpdateWorld read

// Keyboard, player and first level; false when no level file could be read.
bool InitGame();
// Loads "level/level<g_level>.dat", falling back to level 1 when that file
// cannot be read: every actor of the previous level is destroyed, the map
// and its enemies are read, the player is placed at the start, and the
// level's palette and music follow its dark flag. reset starts afresh with a
// small player (first level, after a death); false keeps the player's size
// and fire power (the next level). False when neither file could be read:
// the actors are gone, the map, the camera and the player stay as they were.
bool LoadLevel(bool reset);
// The first thing in every frame: the key flags, the player's step, the actor
// pass, then a dying player below the screen restarts the level and a player
// past the map's right end starts the next one. A load replaces the world at
// once, so the same frame draws the new level.
void UpdateWorld(float dt);
// Tile map, actors, then the player over them, at the map's camera.
void DrawWorld();
// Reads the current level's palette file ("darken.pal" when g_darkLevel is
// set, else "bright.pal") and applies it.
void ApplyLevelPalette();
