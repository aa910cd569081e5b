// Arbitrary bytes as a level file: the reader must refuse or accept without
// crashing, overrunning or allocating wildly, a refused file must leave the
// previous level intact, and an accepted level must draw and sweep inside its
// bounds.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "null_platform.h"
#include "tilemap.h"

namespace {

constexpr int SHEET_WIDTH = 16 * 32;
constexpr int SHEET_HEIGHT = 8 * 32;

std::string g_path;

void RemoveTempFile()
{
    if (!g_path.empty())
        std::remove(g_path.c_str());
}

const std::string& TempPath()
{
    if (g_path.empty()) {
        std::string pattern = "/tmp/gorbo_level_fuzz_XXXXXX";
        const int fd = mkstemp(pattern.data());
        if (fd < 0)
            __builtin_trap();
        close(fd);
        g_path = pattern;
        std::atexit(RemoveTempFile);
    }
    return g_path;
}

void Check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

// The sheet's pictures are 0 to 127: every copy the map hands to the display
// must stay inside the sheet and start on the screen.
void CheckDrawnCopies()
{
    for (const NullDrawCall& call : NullPlatform().draws) {
        if (call.what != NullDraw::Blt)
            continue;
        const BltRect& src = call.src;
        Check(src.left >= 0 && src.top >= 0 && src.right <= SHEET_WIDTH && src.bottom <= SHEET_HEIGHT);
        Check(src.left < src.right && src.top < src.bottom);
        Check(call.x >= 0 && call.x < 640 && call.y >= 0 && call.y < 480);
        Check(call.x + (src.right - src.left) <= 640);
    }
    NullPlatform().draws.clear();
}

void Exercise(CTileMap& map)
{
    Check(map.cols > 0 && map.rows > 0);
    Check(map.pictures.size() == static_cast<std::size_t>(map.cols) * map.rows);
    Check(map.kinds.size() == map.pictures.size());
    map.Draw();
    CheckDrawnCopies();
    map.ScrollBy(100000);
    Check(map.scrollX >= 0 && map.scrollX <= (map.cols > 20 ? (map.cols - 20) * 32 : 0));
    map.Draw();
    CheckDrawnCopies();
    SweepHit hit{};
    const float moves[][4] = {
        {0, 0, 600, 470}, {-50, -50, 10, 10}, {1e30f, 0, -1e30f, 5}, {100, 300, 100, 1e9f}, {0, 0, 0, 0},
    };
    for (const auto& m : moves)
        map.Sweep(32, 64, m[0], m[1], m[2], m[3], hit);
    map.SetTile(map.cols - 1, map.rows - 1, TILE_SOLID);
    map.SetTile(map.cols, 0, TILE_EMPTY);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    NullPlatform().record = true;
    const std::string& path = TempPath();
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return 0;
    if (size > 0)
        std::fwrite(data, 1, size, file);
    std::fclose(file);

    static CImage sheet;
    CTileMap map;
    map.cols = 21;
    map.rows = 1;
    map.pictures.assign(21, 5);
    map.kinds.assign(21, TILE_SOLID);
    map.scrollX = 7;
    int dark = 12345;
    LevelEnemies enemies;
    enemies.ghosts.push_back(EnemyPos{1, 2});
    if (LoadLevelFile(path.c_str(), dark, map, &sheet, enemies)) {
        Check(map.scrollX == 0 && map.tileImage == &sheet);
        Exercise(map);
    } else {
        Check(dark == 12345 && map.cols == 21 && map.rows == 1 && map.scrollX == 7 && map.pictures.size() == 21);
        Check(map.tileImage == nullptr && enemies.ghosts.size() == 1);
    }
    return 0;
}
