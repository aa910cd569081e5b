// Shared set-up of the actor tests: a fresh map, an empty list, a player at
// the start, and an actor whose updates, draws and destruction are recorded.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "null_platform.h"
#include "player.h"
#include "sprite.h"

// Makes g_map an empty cols x rows map with the camera at 0.
inline void ResetMap(int cols, int rows)
{
    g_map = CTileMap();
    g_map.cols = cols;
    g_map.rows = rows;
    g_map.pictures.assign(static_cast<std::size_t>(cols) * rows, static_cast<std::int8_t>(PIC_NONE));
    g_map.kinds.assign(static_cast<std::size_t>(cols) * rows, TILE_EMPTY);
}

inline void PutSolidRow(int row, int firstCol, int lastCol)
{
    for (int c = firstCol; c <= lastCol; ++c) {
        g_map.kinds[g_map.Index(c, row)] = TILE_SOLID;
        g_map.pictures[g_map.Index(c, row)] = 1;
    }
}

struct ActorLog {
    std::vector<int> updated;
    std::vector<int> drawn;
    std::vector<int> destroyed;
};

class ProbeActor : public CSprite {
public:
    ProbeActor(int id_, ActorLog& log, float x0 = 100.0f, float y0 = 100.0f) : id(id_), m_log(log)
    {
        Init(KIND_EFFECT, x0, y0, 32, 32, 1, nullptr);
        AddFrame(ACT_PLAIN, FACE_RIGHT);
        SetAction(ACT_PLAIN, FACE_RIGHT);
    }
    ~ProbeActor() override { m_log.destroyed.push_back(id); }

    // Runs after the update is logged; may destroy this actor, so nothing
    // of it is touched afterwards.
    std::function<void(ProbeActor&)> onUpdate;
    int id;

    void Update(float dt) override
    {
        m_log.updated.push_back(id);
        CSprite::Update(dt);
        if (onUpdate)
            onUpdate(*this);
    }
    void Draw(int) override { m_log.drawn.push_back(id); }

private:
    ActorLog& m_log;
};

class ActorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetMap(40, 15);
        g_sprites.RemoveAll();
        g_player.Init();
        g_player.sheet = &playerSheet;
        g_player.Respawn(true);
        g_player.blinkPhase = 0;
        g_prevKeys = 0;
        ResetNullPlatform(NullRecord::On);
    }
    void TearDown() override { g_sprites.RemoveAll(); }

    ProbeActor* AddProbe(int id, float x0 = 100.0f, float y0 = 100.0f)
    {
        return static_cast<ProbeActor*>(g_sprites.Add(new ProbeActor(id, log, x0, y0)));
    }

    std::vector<int> ListIds() const
    {
        std::vector<int> ids;
        for (CSprite* s = g_sprites.head; s != nullptr; s = s->next)
            ids.push_back(static_cast<ProbeActor*>(s)->id);
        return ids;
    }

    ActorLog log;
    CImage playerSheet;
    CImage sheet;
};
