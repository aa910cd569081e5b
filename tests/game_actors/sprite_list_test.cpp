// The actor list: order, ownership, removal during the pass, activation,
// culling and drawing.
#include "actor_fixture.h"

namespace {

using SpriteList = ActorTest;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST_F(SpriteList, NewestFirstForUpdateAndDraw)
{
    ProbeActor* first = AddProbe(1);
    AddProbe(2);
    ProbeActor* third = AddProbe(3);
    EXPECT_EQ(g_sprites.head, third);
    EXPECT_THAT(ListIds(), ElementsAre(3, 2, 1));
    first->active = 0;
    first->x = 5000;  // far right of the player: stays inactive
    g_sprites.UpdateAll(0.02f);
    EXPECT_THAT(log.updated, ElementsAre(3, 2, 1));  // the inactive one too
    g_sprites.DrawAll(0);
    EXPECT_THAT(log.drawn, ElementsAre(3, 2, 1));
}

TEST_F(SpriteList, ActorsMayRemoveThemselvesOrTheNextOneDuringTheUpdate)
{
    AddProbe(1);
    ProbeActor* two = AddProbe(2);
    ProbeActor* three = AddProbe(3);
    AddProbe(4);
    two->onUpdate = [](ProbeActor& self) { g_sprites.Remove(&self); };
    three->onUpdate = [two](ProbeActor&) { g_sprites.Remove(two); };
    g_sprites.UpdateAll(0.02f);
    EXPECT_THAT(log.updated, ElementsAre(4, 3, 1));
    EXPECT_THAT(log.destroyed, ElementsAre(2));
    EXPECT_THAT(ListIds(), ElementsAre(4, 3, 1));

    ProbeActor* four = static_cast<ProbeActor*>(g_sprites.head);
    four->onUpdate = [](ProbeActor& self) { g_sprites.Remove(&self); };
    ProbeActor* one = static_cast<ProbeActor*>(three->next);
    one->onUpdate = [](ProbeActor& self) { g_sprites.Remove(&self); };
    log.updated.clear();
    g_sprites.UpdateAll(0.02f);
    EXPECT_THAT(log.updated, ElementsAre(4, 3, 1));
    EXPECT_THAT(ListIds(), ElementsAre(3));
}

TEST_F(SpriteList, ActorsSpawnedDuringThePassUpdateNextFrame)
{
    ProbeActor* spawner = AddProbe(1);
    spawner->onUpdate = [this](ProbeActor& self) {
        self.onUpdate = nullptr;
        AddProbe(2);
    };
    g_sprites.UpdateAll(0.02f);
    EXPECT_THAT(log.updated, ElementsAre(1));
    EXPECT_THAT(ListIds(), ElementsAre(2, 1));
    g_sprites.UpdateAll(0.02f);
    EXPECT_THAT(log.updated, ElementsAre(1, 2, 1));
}

TEST_F(SpriteList, RemoveIgnoresStrangersAndRemoveAllDestroysEverything)
{
    AddProbe(1);
    AddProbe(2);
    ProbeActor stranger(9, log);
    g_sprites.Remove(&stranger);
    g_sprites.Remove(nullptr);
    EXPECT_THAT(ListIds(), ElementsAre(2, 1));
    EXPECT_THAT(log.destroyed, IsEmpty());
    g_sprites.RemoveAll();
    EXPECT_EQ(g_sprites.head, nullptr);
    EXPECT_THAT(log.destroyed, ElementsAre(2, 1));
}

TEST_F(SpriteList, CullsActiveActorsThatLeaveTheNeighbourhoodOfTheScreen)
{
    struct {
        const char* name;
        int cols, scrollX;
        float x, y;
        int active;
        bool culled;
    } cases[] = {
        {"on the screen", 40, 0, 100, 100, 1, false},
        {"above the screen", 40, 0, 100, -32.5f, 1, true},
        {"just touching the top", 40, 0, 100, -32, 1, false},
        {"below the screen", 40, 0, 100, 480.5f, 1, true},
        {"at the bottom line", 40, 0, 100, 480, 1, false},
        {"left of the level", 40, 0, -0.5f, 100, 1, true},
        {"at the level's left edge", 40, 0, 0, 100, 1, false},
        {"far left of the camera", 100, 1000, 359, 100, 1, true},
        {"640 px left of the camera", 100, 1000, 360, 100, 1, false},
        {"far right of the camera", 100, 0, 1280.5f, 100, 1, true},
        {"1280 px right of the camera", 100, 0, 1280, 100, 1, false},
        {"beyond the level's end", 40, 320, 1280.5f, 100, 1, true},
        {"at the level's end", 40, 320, 1280, 100, 1, false},
        {"inactive is never culled", 40, 0, -50, 600, 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        g_sprites.RemoveAll();
        ResetMap(c.cols, 15);
        g_map.scrollX = c.scrollX;
        g_player.x = -1000;  // no activation
        ProbeActor* p = AddProbe(1, c.x, c.y);
        p->active = c.active;
        g_sprites.UpdateAll(0.02f);
        EXPECT_EQ(g_sprites.head == nullptr, c.culled);
    }
}

TEST_F(SpriteList, ActorMovingLeftPastZeroIsCulledInTheSameFrame)
{
    auto* s = new CSprite;
    s->Init(KIND_EFFECT, 1, 100, 16, 16, 1, &sheet);
    s->AddFrame(ACT_PLAIN, FACE_RIGHT);
    s->SetAction(ACT_PLAIN, FACE_RIGHT);
    s->vx = -100;
    g_sprites.Add(s);
    g_sprites.UpdateAll(0.02f);  // x = -1
    EXPECT_EQ(g_sprites.head, nullptr);
}

TEST_F(SpriteList, EnemiesWakeWhenThePlayerComesWithin640Pixels)
{
    ProbeActor* near = AddProbe(1, 739.5f, 100);
    ProbeActor* edge = AddProbe(2, 740, 100);
    near->active = 0;
    edge->active = 0;
    g_player.x = 100;
    g_sprites.UpdateAll(0.02f);
    EXPECT_EQ(near->active, 1);
    EXPECT_EQ(edge->active, 0);
    g_player.x = 100.5f;
    g_sprites.UpdateAll(0.02f);
    EXPECT_EQ(edge->active, 1);
    g_player.x = 0;  // once awake, an actor stays awake
    g_sprites.UpdateAll(0.02f);
    EXPECT_EQ(edge->active, 1);
}

}  // namespace
