// The game over the world and the actors: set-up, level loading, the world
// update at the start of every frame, and the world's part of the picture.
#pragma once

extern int g_level;      // number of the current level file; 0 at program start
extern int g_darkLevel;  // the current level's dark flag: non-zero selects the dark palette and music

// Keyboard and first level; false when no level file could be read.
bool InitGame();
// Loads "level/level<g_level>.dat", falling back to level 1 when that file
// cannot be read, then applies the level's palette and starts its music.
// reset tells a restart (true) from the next level (false); both load the
// same way. False when neither file could be read: the actors are gone, the
// map and the player stay as they were.
bool LoadLevel(bool reset);
// The first thing in every frame: keys, the camera push, the actor pass, and
// the checks for the player's death and the level's end.
void UpdateWorld(float dt);
// Tile map, actors, then the player over them, at the map's camera.
void DrawWorld();
// Reads the current level's palette file ("darken.pal" when g_darkLevel is
// set, else "bright.pal") and applies it.
void ApplyLevelPalette();
