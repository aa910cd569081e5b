// The actor pass with many walking enemies (ghosts and turtles) on a
// 200-column map: time per frame for 50, 200 and 800 of them, each mover's
// candidates found by walking the whole list (grid:0, the baseline, every
// enemy testing every other) or through the pass's grid of map columns
// (grid:1). Both give the same world; the ratio between them, and how each
// grows with the count, is the figure of interest.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "enemies.h"
#include "player.h"
#include "sprite.h"

namespace {

constexpr int MAP_COLS = 200;
constexpr int MAP_ROWS = 15;
constexpr int REGION_FIRST_COL = 45;   // walled-in stretch the enemies live in
constexpr int REGION_LAST_COL = 95;

void BuildMap()
{
    g_map = CTileMap();
    g_map.cols = MAP_COLS;
    g_map.rows = MAP_ROWS;
    g_map.pictures.assign(MAP_COLS * MAP_ROWS, static_cast<std::int8_t>(PIC_NONE));
    g_map.kinds.assign(MAP_COLS * MAP_ROWS, TILE_EMPTY);
    auto solid = [](int c, int r) {
        g_map.kinds[g_map.Index(c, r)] = TILE_SOLID;
        g_map.pictures[g_map.Index(c, r)] = 1;
    };
    for (int c = 0; c < MAP_COLS; ++c) {
        solid(c, 13);
        solid(c, 14);
        if (c % 9 < 5)
            solid(c, 9);   // platforms with gaps
        if (c % 13 < 7)
            solid(c, 5);
    }
    for (int r = 0; r < MAP_ROWS; ++r) {
        solid(REGION_FIRST_COL - 1, r);
        solid(REGION_LAST_COL + 1, r);
    }
    for (int c = REGION_FIRST_COL + 6; c < REGION_LAST_COL; c += 11)
        solid(c, 12);  // low walls to turn at
    g_map.scrollX = 2000;
}

// Ghosts and walking turtles spread over the region on its three floors,
// half of them turned to walk right.
void Populate(int count)
{
    g_sprites.RemoveAll();
    const int span = (REGION_LAST_COL - REGION_FIRST_COL) * 32;
    for (int i = 0; i < count; ++i) {
        const float x = static_cast<float>(REGION_FIRST_COL * 32 + (i * 37) % span);
        const float y = static_cast<float>(40 + (i % 3) * 128);
        if (i % 2 == 0)
            SpawnGhost(x, y);
        else
            SpawnTurtle(KIND_TURTLE, x, y);
        if (i % 4 < 2) {
            g_sprites.head->TurnAround();
            g_sprites.head->vx = -g_sprites.head->vx;
        }
    }
}

int CountActors()
{
    int n = 0;
    for (CSprite* s = g_sprites.head; s != nullptr; s = s->next)
        ++n;
    return n;
}

void BM_UpdateAll(benchmark::State& state)
{
    const int count = static_cast<int>(state.range(0));
    g_sprites.broadPhase = state.range(1) != 0;
    BuildMap();
    g_player.Init();
    g_player.x = 2500;    // every enemy awake, none culled
    g_player.y = -1000;   // and none meets the player
    Populate(count);
    for (int i = 0; i < 120; ++i)  // let them land and spread out
        g_sprites.UpdateAll(1.0f / 60.0f);
    for (auto _ : state)
        g_sprites.UpdateAll(1.0f / 60.0f);
    state.counters["actors"] = CountActors();
    state.SetComplexityN(count);
    g_sprites.RemoveAll();
    g_sprites.broadPhase = true;
}

BENCHMARK(BM_UpdateAll)
    ->ArgNames({"enemies", "grid"})
    ->ArgsProduct({{50, 200, 800}, {0, 1}})
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
