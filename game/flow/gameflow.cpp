#include "gameflow.h"

#include <cstdint>
#include <cstdio>

#include "display.h"
#include "enemies.h"
#include "input.h"
#include "music.h"
#include "palette.h"
#include "player.h"
#include "sprite.h"
#include "tilemap.h"

int g_level = 0;
int g_darkLevel = 0;
std::uint8_t g_frameKeys = 0;

namespace {

constexpr int MAP_TILE_SIZE = 32;  // px, a map cell's side

// The level file name for a level number: "level/level%d.dat".
void FormatLevelPath(int level, char* buffer, std::size_t size)
{
    std::snprintf(buffer, size, "level/level%d.dat", level);
}

bool ReadLevel(int level, int& darkFlag, LevelEnemies& enemies)
{
    char path[64];
    FormatLevelPath(level, path, sizeof path);
    return LoadLevelFile(path, darkFlag, g_map, &g_imgTile, enemies);
}

// Each enemy goes to the front of the list, so the last of the file comes
// first, and the winged turtles are nearest the head.
void SpawnEnemies(const LevelEnemies& enemies)
{
    for (const EnemyPos& e : enemies.ghosts)
        SpawnGhost(static_cast<float>(e.x), static_cast<float>(e.y));
    for (const EnemyPos& e : enemies.walkTurtles)
        SpawnTurtle(KIND_TURTLE, static_cast<float>(e.x), static_cast<float>(e.y));
    for (const EnemyPos& e : enemies.flyTurtles)
        SpawnTurtle(KIND_FLY_TURTLE, static_cast<float>(e.x), static_cast<float>(e.y));
}

}  // namespace

void ApplyLevelPalette()
{
    PaletteEntry entries[256];
    LoadPaletteFile(g_darkLevel ? "darken.pal" : "bright.pal", entries);
    ApplyPalette(entries);
}

bool InitGame()
{
    g_input.Init();
    g_player.Init();
    return LoadLevel(true);
}

bool LoadLevel(bool reset)
{
    g_sprites.RemoveAll();
    int darkFlag = 0;
    LevelEnemies enemies;
    if (!ReadLevel(g_level, darkFlag, enemies)) {
        g_level = 1;
        if (!ReadLevel(g_level, darkFlag, enemies))
            return false;
    }
    g_darkLevel = darkFlag;
    SpawnEnemies(enemies);
    g_player.Respawn(reset);
    ApplyLevelPalette();
    PlayMusic(g_darkLevel ? "sound/back2.mid" : "sound/back1.mid");
    return true;
}

void UpdateWorld(float dt)
{
    std::uint8_t keys = 0;
    g_input.Read(keys);
    g_frameKeys = keys;
    g_player.Step(dt, keys);
    g_sprites.UpdateAll(dt);
    if (g_player.action == ACT_DOWN && g_player.y > 480.0f)
        LoadLevel(true);
    if (g_player.x > static_cast<float>(g_map.cols * MAP_TILE_SIZE)) {
        ++g_level;
        LoadLevel(false);
    }
}

void DrawWorld()
{
    g_map.Draw();
    int scrollX = g_map.scrollX;
    g_sprites.DrawAll(scrollX);
    g_player.Draw(scrollX);
}
