// Shared set-up of the play tests: a temporary data folder, level files drawn
// as text rows, the game started on them through the simulator, frames run
// with keys, and the actors looked up.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "display.h"
#include "enemies.h"
#include "game_files.h"
#include "gameflow.h"
#include "input.h"
#include "items.h"
#include "null_platform.h"
#include "player.h"
#include "simulator.h"
#include "sprite.h"
#include "tilemap.h"

constexpr float kStep = 0.016f;
constexpr std::uint8_t R = KEY_RIGHT;
constexpr std::uint8_t L = KEY_LEFT;
constexpr std::uint8_t A = KEY_ACTION;
constexpr std::uint8_t J = KEY_JUMP;
constexpr std::uint8_t NONE = 0;

// y of a 32-px-tall actor standing on the ground row 13 (its feet 2 px into
// the cell, where the sweep stops a fall).
constexpr float kStandY = 386.0f;

// 13 empty rows over ground (row 13) and earth (row 14), cols wide.
inline std::vector<std::string> Flat(int cols)
{
    return {std::string(cols, '#'), std::string(cols, '=')};
}

class PlayTest : public ::testing::Test {
protected:
    void SetUp() override { SimReset(); }
    void TearDown() override { SimReset(); }

    // Writes rows as level 1 and starts the game on it; the player then
    // settles on the ground (it starts 3 px above where a fall stops).
    void Start(const std::vector<std::string>& rows, int level = 1)
    {
        dir.Write("level/level" + std::to_string(level) + ".dat", LevelFromRows(rows));
        ASSERT_TRUE(SimStart(0));
        Settle();
    }
    // Runs frames without keys until the player stands still on the ground.
    void Settle()
    {
        RunUntil([] { return g_player.onGround == 1 && g_player.vy == 0.0f; }, 30);
        ASSERT_EQ(g_player.onGround, 1);
    }
    void Run(int frames, std::uint8_t keys = NONE, float dt = kStep)
    {
        for (int i = 0; i < frames; ++i)
            SimFrame(dt, keys);
    }
    // Runs frames until done() holds after one; the frames run, or -1 when
    // it never held within maxFrames.
    int RunUntil(const std::function<bool()>& done, int maxFrames, std::uint8_t keys = NONE, float dt = kStep)
    {
        for (int i = 1; i <= maxFrames; ++i) {
            SimFrame(dt, keys);
            if (done())
                return i;
        }
        return -1;
    }
    static std::vector<CSprite*> Actors(int kind)
    {
        std::vector<CSprite*> found;
        for (CSprite* s = g_sprites.head; s != nullptr; s = s->next)
            if (s->kind == kind)
                found.push_back(s);
        return found;
    }
    static int CountActors()
    {
        int n = 0;
        for (CSprite* s = g_sprites.head; s != nullptr; s = s->next)
            ++n;
        return n;
    }
    static bool InList(const CSprite* actor)
    {
        for (CSprite* s = g_sprites.head; s != nullptr; s = s->next)
            if (s == actor)
                return true;
        return false;
    }
    static std::uint8_t KindAt(int col, int row) { return g_map.kinds[g_map.Index(col, row)]; }
    static int PictureAt(int col, int row) { return g_map.pictures[g_map.Index(col, row)]; }
    // Puts the player just above e's box, falling, so that its next step
    // lands on e.
    static void DropOnto(CSprite& e)
    {
        RectF box{};
        e.GetRect(&box);
        g_player.x = e.x;
        g_player.y = box.top - static_cast<float>(g_player.height) + 1.0f;
        g_player.vy = 300.0f;
        g_player.ay = GRAVITY;
        g_player.onGround = 0;
        g_player.SetAction(ACT_JUMP, -1);
    }

    TempFolder dir;
};
