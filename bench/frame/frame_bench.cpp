// Composing one frame of the game on the real SDL display (dummy video
// driver, software renderer: the present goes to an off-screen target) in
// both modes: clear, a full screen of tiles, 50 sprites, present. Measured
// against one full-screen 640 x 480 surface copy in the same run; the
// counter x_copy is a frame's time in such copies (goal: at most 4).
#include <benchmark/benchmark.h>

#include <SDL.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

#include "temp_folder.h"
#include "display.h"
#include "sprite.h"
#include "tilemap.h"
#include "window_ops.h"

namespace fs = std::filesystem;

namespace {

double s_copyNs = 0.0;

// A temporary folder with the game's sheets and palettes and a level whose
// every cell shows a picture.
bool PrepareData()
{
    static bool ready = false;
    if (ready)
        return true;
    static test::TempFolder folder;
    const fs::path dir = folder.Path();
    fs::create_directories(dir / "level");
    std::error_code ec;
    fs::copy(fs::path(GORBO_DATA_DIR) / "graphics", dir / "graphics", fs::copy_options::recursive, ec);
    fs::copy_file(fs::path(GORBO_DATA_DIR) / "bright.pal", dir / "bright.pal", ec);
    fs::current_path(dir);
    std::ofstream level("level/level1.dat");
    level << "0\n40 15\n";
    for (int layer = 0; layer < 2; ++layer)
        for (int i = 0; i < 40 * 15; ++i)
            level << (layer == 0 ? 1 + (i * 7) % 40 : 1) << ' ';
    level << "\n0 0 0\n";
    level.close();
    int dark = 0;
    LevelEnemies enemies;
    if (!LoadLevelFile("level/level1.dat", dark, g_map, &g_imgTile, enemies))
        return false;
    g_map.scrollX = 40;  // cut columns at both edges, as while scrolling
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    if (!OpenGameWindow("frame bench"))
        return false;
    ready = true;
    return true;
}

bool UseMode(int fullscreen)
{
    static int mode = -1;
    if (!PrepareData())
        return false;
    if (mode == fullscreen)
        return true;
    ReleaseDisplay();
    g_fullscreen = fullscreen;
    mode = InitDisplay() ? fullscreen : -1;
    return mode == fullscreen;
}

void AddSprites()
{
    g_sprites.RemoveAll();
    CImage* sheets[] = {&g_imgGhost, &g_imgCoin, &g_imgMushroom, &g_imgTurtle, &g_imgFlower};
    for (int i = 0; i < 50; ++i) {
        auto* s = new CSprite;
        float x = static_cast<float>(40 + (i * 97) % 620);
        float y = static_cast<float>((i * 53) % 440);
        s->Init(KIND_EFFECT, x, y, 32, 32, 1, sheets[i % 5]);
        s->AddFrame(ACT_PLAIN, FACE_RIGHT);
        s->SetAction(ACT_PLAIN, FACE_RIGHT);
        g_sprites.Add(s);
    }
}

void BM_SurfaceCopy(benchmark::State& state)
{
    SDL_Surface* src = SDL_CreateRGBSurfaceWithFormat(0, 640, 480, 32, SDL_PIXELFORMAT_RGB888);
    SDL_Surface* dst = SDL_CreateRGBSurfaceWithFormat(0, 640, 480, 32, SDL_PIXELFORMAT_RGB888);
    SDL_FillRect(src, nullptr, 0x336699);
    SDL_SetSurfaceBlendMode(src, SDL_BLENDMODE_NONE);
    auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        SDL_BlitSurface(src, nullptr, dst, nullptr);
        benchmark::DoNotOptimize(dst->pixels);
        benchmark::ClobberMemory();
    }
    auto ns = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count();
    s_copyNs = ns / static_cast<double>(state.iterations());
    SDL_FreeSurface(src);
    SDL_FreeSurface(dst);
}

void BM_Frame(benchmark::State& state)
{
    if (!UseMode(static_cast<int>(state.range(0)))) {
        state.SkipWithError("no display");
        return;
    }
    AddSprites();
    auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        ClearBackBuffer();
        g_map.Draw();
        g_sprites.DrawAll(g_map.scrollX);
        Present();
    }
    auto ns = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count();
    if (s_copyNs > 0.0)
        state.counters["x_copy"] = ns / static_cast<double>(state.iterations()) / s_copyNs;
}

}  // namespace

BENCHMARK(BM_SurfaceCopy)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Frame)->Arg(0)->ArgName("fullscreen")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Frame)->Arg(1)->ArgName("fullscreen")->Unit(benchmark::kMicrosecond);
// One part of the frame alone: 0 clear, 1 tiles, 2 sprites, 3 present.
void BM_FramePart(benchmark::State& state)
{
    UseMode(static_cast<int>(state.range(0)));
    AddSprites();
    int part = static_cast<int>(state.range(1));
    auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        if (part == 0)
            ClearBackBuffer();
        else if (part == 1)
            g_map.Draw();
        else if (part == 2)
            g_sprites.DrawAll(g_map.scrollX);
        else
            Present();
    }
    auto ns = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count();
    if (s_copyNs > 0.0)
        state.counters["x_copy"] = ns / static_cast<double>(state.iterations()) / s_copyNs;
}
BENCHMARK(BM_FramePart)
    ->ArgsProduct({{0, 1}, {0, 1, 2, 3}})
    ->ArgNames({"fullscreen", "part"})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
