#include "gameflow.h"

#include <cstdint>
#include <cstdio>

#include "display.h"
#include "input.h"
#include "music.h"
#include "player.h"
#include "sprite.h"
#include "tilemap.h"

int g_level = 0;
int g_darkLevel = 0;

namespace {

constexpr int MAP_TILE_SIZE = 32;  // px, a map cell's side

// Until the player walks, the right arrow moves the camera at this speed
// (px/s) so that the whole level can be looked at.
constexpr float CAMERA_PUSH_SPEED = 320.0f;
float s_cameraCarry = 0.0f;

bool ReadLevel(int level, int& darkFlag, LevelEnemies& enemies)
{
    char path[64];
    FormatLevelPath(level, path, sizeof path);
    return LoadLevelFile(path, darkFlag, g_map, &g_imgTile, enemies);
}

void ApplyLevelLook()
{
    PaletteEntry entries[256];
    LoadPaletteFile(g_darkLevel ? "darken.pal" : "bright.pal", entries);
    ApplyPalette(entries);
    PlayMusic(g_darkLevel ? "sound/back2.mid" : "sound/back1.mid");
}

void PushCamera(float dt, std::uint8_t keys)
{
    if (!(keys & KEY_RIGHT))
        return;
    s_cameraCarry += CAMERA_PUSH_SPEED * dt;
    int dx = static_cast<int>(s_cameraCarry);
    s_cameraCarry -= static_cast<float>(dx);
    if (dx > 0)
        g_map.ScrollBy(dx);
}

}  // namespace

void FormatLevelPath(int level, char* buffer, int size)
{
    std::snprintf(buffer, static_cast<std::size_t>(size), "level/level%d.dat", level);
}

bool InitGame()
{
    g_input.Init();
    return LoadLevel(true);
}

bool LoadLevel(bool reset)
{
    (void)reset;
    g_sprites.RemoveAll();
    int darkFlag = 0;
    LevelEnemies enemies;
    if (!ReadLevel(g_level, darkFlag, enemies)) {
        g_level = 1;
        if (!ReadLevel(g_level, darkFlag, enemies))
            return false;
    }
    g_darkLevel = darkFlag;
    s_cameraCarry = 0.0f;
    ApplyLevelLook();
    return true;
}

void UpdateWorld(float dt)
{
    std::uint8_t keys = 0;
    g_input.Read(keys);
    PushCamera(dt, keys);
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
