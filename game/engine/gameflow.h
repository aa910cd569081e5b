// The game around the engine: set-up, level loading, the world update at the
// start of every frame, and the world's part of the picture.
#pragma once

extern int g_level;      // number of the current level file; 0 at program start
extern int g_darkLevel;  // the current level's dark flag: non-zero selects the dark palette and music

// Keyboard, player and first level; false when no level file could be read.
bool InitGame();
// Loads level g_level, falling back to level 1 when that file cannot be
// read. reset starts the level afresh for a small player; false keeps the
// player's size and fire power. False when neither file could be read: the
// actors are gone, the map and the player stay as they were.
bool LoadLevel(bool reset);
// The first thing in every frame: keys, player, actors, death and level end.
void UpdateWorld(float dt);
// Tile map, actors, then the player over them, at the map's camera.
void DrawWorld();

// The level file name for a level number: "level/level%d.dat".
void FormatLevelPath(int level, char* buffer, int size);
