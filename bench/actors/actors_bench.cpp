// The actor pass with many plain colliding actors on a 200-column map: time
// per frame for 50, 200 and 800 actors, and how it grows with their number
// (every actor sweeps against the map and against every actor of the list).
#include <benchmark/benchmark.h>

#include <cstdint>

#include "player.h"
#include "sprite.h"

namespace {

constexpr int MAP_COLS = 200;
constexpr int MAP_ROWS = 15;
constexpr int REGION_FIRST_COL = 45;   // walled-in stretch the actors live in
constexpr int REGION_LAST_COL = 95;

// Walks, turns at walls and at other actors, lands, falls off ledges.
class Walker : public CSprite {
public:
    Walker(float x0, float y0, float speed)
    {
        Init(KIND_GHOST, x0, y0, 32, 32, 2, nullptr);
        AddFrame(ACT_WALK, FACE_LEFT);
        AddFrame(ACT_WALK, FACE_RIGHT);
        SetAction(ACT_WALK, speed < 0.0f ? FACE_LEFT : FACE_RIGHT);
        vx = speed;
        onGround = 0;
        ay = GRAVITY;
    }

    void Update(float dt) override
    {
        const float x0 = x;
        const float y0 = y;
        MoveStep(dt);
        SweepHit hit{};
        CSprite* other = MoveAndCollide(*this, x0, y0, &Others, nullptr, hit);
        if (hit.t <= 1.0f) {
            if (hit.side == 1 || other != nullptr) {
                vx = -vx;
                TurnAround();
            } else if (vy > 0.0f) {
                vy = 0.0f;
                ay = 0.0f;
                onGround = 1;
            } else {
                vy = 0.0f;
            }
        }
        CheckSupport();
    }

    static bool Others(const CSprite& mover, const CSprite& candidate) { return &mover != &candidate; }
};

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

void Populate(int count)
{
    g_sprites.RemoveAll();
    const int span = (REGION_LAST_COL - REGION_FIRST_COL) * 32;
    for (int i = 0; i < count; ++i) {
        const float x = static_cast<float>(REGION_FIRST_COL * 32 + (i * 37) % span);
        const float y = static_cast<float>(40 + (i % 3) * 128);
        const float speed = (i % 2 == 0 ? 1.0f : -1.0f) * static_cast<float>(40 + i % 50);
        g_sprites.Add(new Walker(x, y, speed));
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
    BuildMap();
    g_player.Init(PLAYER_SMALL, 2300, 383, 32, 32, 1, nullptr);
    Populate(count);
    for (int i = 0; i < 120; ++i)  // let them land and spread out
        g_sprites.UpdateAll(1.0f / 60.0f, g_player.x);
    for (auto _ : state)
        g_sprites.UpdateAll(1.0f / 60.0f, g_player.x);
    state.counters["actors"] = CountActors();
    state.SetComplexityN(count);
    g_sprites.RemoveAll();
}

BENCHMARK(BM_UpdateAll)->Arg(50)->Arg(200)->Arg(800)->Unit(benchmark::kMicrosecond)->Complexity();

}  // namespace

BENCHMARK_MAIN();
