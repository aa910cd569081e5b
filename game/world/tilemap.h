// The current level's cell grid, its camera, the level file reader and the
// swept-box collision primitive that every moving actor uses.
//
// All sweep arithmetic is done in 32-bit floats with every intermediate value
// stored as a float (the build forbids fused multiply-add), so the stop points
// are exact and repeatable.
#pragma once

#include <cstdint>
#include <vector>

#include "display_ops.h"

// Collision kinds of a cell. Every kind but TILE_EMPTY stops a sweep; kinds
// 4 to 254 are plain solid cells as well.
constexpr std::uint8_t TILE_EMPTY = 255;
constexpr std::uint8_t TILE_SOLID = 0;         // also an emptied block
constexpr std::uint8_t TILE_BRICK = 1;
constexpr std::uint8_t TILE_COIN_BLOCK = 2;
constexpr std::uint8_t TILE_POWER_BLOCK = 3;

// Tile-sheet pictures: 32 x 32 squares, 16 to a row.
constexpr int PIC_USED_BLOCK = 18;
constexpr int PIC_NONE = -1;

// Largest grid a level file may announce; bigger ones are refused.
constexpr long LEVEL_MAX_CELLS = 1000000;
// Largest count of one enemy list; bigger ones are refused.
constexpr int LEVEL_MAX_ENEMIES = 100000;

struct RectF {
    float left;
    float top;
    float right;
    float bottom;
};

// The answer of a sweep. col, row and kind are set by map sweeps only.
struct SweepHit {
    int col;
    int row;
    std::uint8_t kind;
    int side;   // 1: a left or right edge was hit; 0: a top or bottom edge
    float t;    // fraction of the move at the hit; 2.0 means no hit
    float x;    // mover's top-left x at which it must stop
    float y;    // mover's top-left y at which it must stop
};

// Tests the move of a point from (x0, y0) to (x1, y1) against box, a rectangle
// already grown by the mover's size to the left and top. The mover's own box is
// inset by 5 px left and right and 3 px top and bottom. Records into hit, and
// returns true, only when an edge crossed in the direction of motion is reached
// at a fraction strictly smaller than hit.t; otherwise hit is left unchanged.
bool SweptBoxTest(float x0, float y0, float x1, float y1, const RectF& box, SweepHit& hit);

// Converts toward zero like a C cast, but saturates values outside the int
// range (and NaN becomes 0) instead of being undefined.
int TruncToInt(float v);

// The grid of one level and its camera. A level file fills it through
// LoadLevelFile.
class CTileMap {
public:
    // Stores kind; kind 255 also removes the picture, kind 0 shows the
    // emptied block. Cells outside the map are ignored.
    void SetTile(int col, int row, std::uint8_t kind);
    // Moves the camera right by dx, never past the map's last screen (a map
    // narrower than one screen keeps the camera at 0).
    void ScrollBy(int dx);
    // Draws the visible cells onto the back buffer.
    void Draw() const;
    // Sweeps a w x h box from (x0, y0) to (x1, y1) against the solid cells.
    // Sets hit.t to 2.0 first; true when a cell was hit (hit.t <= 1).
    bool Sweep(int w, int h, float x0, float y0, float x1, float y1, SweepHit& hit) const;

    int Index(int col, int row) const { return row * cols + col; }

    int scrollX = 0;
    int cols = 0;
    int rows = 0;
    std::vector<std::int8_t> pictures;   // cols x rows, row after row; negative = nothing
    std::vector<std::uint8_t> kinds;     // same order
    CImage* tileImage = nullptr;         // not owned
};

extern CTileMap g_map;

// One enemy's start: map pixels of its top-left corner.
struct EnemyPos {
    int x;
    int y;
};

struct LevelEnemies {
    std::vector<EnemyPos> ghosts;
    std::vector<EnemyPos> walkTurtles;
    std::vector<EnemyPos> flyTurtles;
};

// Reads a whole level file: dark flag, cols, rows, both layers and the three
// enemy lists. The file is untrusted. Numbers missing at the end, or text that
// is not a number, leave the unread cells empty (picture -1, kind 255) and the
// unread enemies out. On success map holds the new level (camera at 0, tiles
// as its tile sheet), darkFlag and enemies are filled, and the result is
// true. A file that cannot be opened, a missing, zero or negative size, more
// than LEVEL_MAX_CELLS cells, or enemy counts larger than the rest of the file
// can hold give false and change none of the outputs.
bool LoadLevelFile(const char* path, int& darkFlag, CTileMap& map, CImage* tiles, LevelEnemies& enemies);
