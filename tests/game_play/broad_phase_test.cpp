// The actor pass's grid against the walk of the whole list: random crowded
// scenes played with random keys and steps both ways must leave every actor
// and the player in the same state, bit for bit, after every frame.
#include <cstring>
#include <random>

#include "play_fixture.h"

namespace {

// Every field the play can change, floats as their bits.
std::vector<std::uint32_t> State(const CSprite& s)
{
    auto bits = [](float f) {
        std::uint32_t b = 0;
        std::memcpy(&b, &f, sizeof b);
        return b;
    };
    return {static_cast<std::uint32_t>(s.kind), static_cast<std::uint32_t>(s.action),
            static_cast<std::uint32_t>(s.facing), static_cast<std::uint32_t>(s.frame),
            static_cast<std::uint32_t>(s.active), static_cast<std::uint32_t>(s.onGround),
            static_cast<std::uint32_t>(s.width), static_cast<std::uint32_t>(s.height),
            bits(s.x), bits(s.y), bits(s.vx), bits(s.vy), bits(s.ax), bits(s.ay), bits(s.animDist)};
}

std::vector<std::uint32_t> WorldState()
{
    std::vector<std::uint32_t> all = State(g_player);
    all.push_back(static_cast<std::uint32_t>(g_level));
    all.push_back(static_cast<std::uint32_t>(g_map.scrollX));
    for (const CSprite* s = g_sprites.head; s != nullptr; s = s->next) {
        const std::vector<std::uint32_t> one = State(*s);
        all.insert(all.end(), one.begin(), one.end());
    }
    return all;
}

// A 60-column level: ground with gaps, blocks and platforms, and a crowd of
// enemies within the first screens.
std::vector<std::string> RandomRows(std::mt19937& rng)
{
    std::uniform_int_distribution<int> percent(0, 99);
    std::vector<std::string> rows(15, std::string(60, '.'));
    for (int c = 0; c < 60; ++c) {
        const bool gap = c > 4 && percent(rng) < 8;
        rows[13][c] = gap ? '.' : '#';
        rows[14][c] = gap ? '.' : '=';
        for (int r = 4; r <= 11; ++r) {
            const int roll = percent(rng);
            if (roll < 7)
                rows[r][c] = "XBCPX"[roll % 5];
            else if (c > 3 && c < 40 && roll < 22)
                rows[r][c] = "ggtw"[roll % 4];
        }
        if (c > 3 && c < 40 && percent(rng) < 40)
            rows[12][c] = "ggtw"[percent(rng) % 4];
    }
    return rows;
}

// Moving shells, squashed ghosts, bullets, power-ups and effects among them,
// and one actor so far out that its queries take the walk.
void AddExtras(std::mt19937& rng)
{
    std::uniform_real_distribution<float> x(100.0f, 1200.0f);
    std::uniform_real_distribution<float> y(60.0f, 380.0f);
    std::uniform_int_distribution<int> coin(0, 1);
    for (int i = 0; i < 12; ++i) {
        SpawnTurtle(KIND_TURTLE, x(rng), y(rng));
        g_sprites.head->SetAction(ACT_DOWN, FACE_RIGHT);
        g_sprites.head->vx = coin(rng) ? 500.0f : (coin(rng) ? -500.0f : 0.0f);
        SpawnGhost(x(rng), y(rng));
        g_sprites.head->SetAction(ACT_DOWN, FACE_RIGHT);
        g_sprites.head->vx = 0.0f;
        SpawnBullet(x(rng), y(rng), coin(rng) ? 500.0f : -500.0f);
    }
    for (int i = 0; i < 4; ++i) {
        SpawnMushroom(static_cast<int>(x(rng)) / 32, static_cast<int>(y(rng)) / 32);
        SpawnFlower(static_cast<int>(x(rng)) / 32, static_cast<int>(y(rng)) / 32);
        SpawnCoin(static_cast<int>(x(rng)) / 32, static_cast<int>(y(rng)) / 32);
        SpawnDebris(static_cast<int>(x(rng)) / 32, static_cast<int>(y(rng)) / 32);
    }
    SpawnGhost(5.0e6f, 200.0f);
    g_sprites.head->active = 1;
}

struct Frame {
    float dt;
    std::uint8_t keys;
};

class BroadPhase : public PlayTest {
protected:
    void TearDown() override
    {
        g_sprites.broadPhase = true;
        PlayTest::TearDown();
    }
    // Plays the scene of seed with the grid on or off: the world's state
    // after every frame.
    std::vector<std::vector<std::uint32_t>> Play(unsigned seed, bool grid, const std::vector<Frame>& frames)
    {
        std::mt19937 rng(seed);
        dir.Write("level/level1.dat", LevelFromRows(RandomRows(rng)));
        EXPECT_TRUE(SimStart(0));
        AddExtras(rng);
        g_sprites.broadPhase = grid;
        std::vector<std::vector<std::uint32_t>> states;
        for (const Frame& f : frames) {
            SimFrame(f.dt, f.keys);
            states.push_back(WorldState());
        }
        return states;
    }
};

TEST_F(BroadPhase, GivesTheSameWorldAsTheWalkOfTheWholeList)
{
    long long actorFrames = 0;
    long long reversals = 0;
    for (unsigned seed = 1; seed <= 12; ++seed) {
        std::mt19937 rng(seed * 7919u);
        std::uniform_real_distribution<float> step(0.0f, 0.05f);
        std::uniform_int_distribution<int> keys(0, 15);
        std::vector<Frame> frames(400);
        for (Frame& f : frames) {
            f.dt = step(rng);
            const int k = keys(rng);
            f.keys = static_cast<std::uint8_t>((k & 1 ? KEY_RIGHT : 0) | (k & 2 ? KEY_LEFT : 0) |
                                               (k & 4 ? KEY_ACTION : 0) | (k & 8 ? KEY_JUMP : 0));
        }
        const auto walked = Play(seed, false, frames);
        const auto gridded = Play(seed, true, frames);
        ASSERT_EQ(walked.size(), gridded.size());
        for (std::size_t i = 0; i < walked.size(); ++i)
            ASSERT_EQ(walked[i], gridded[i]) << "seed " << seed << ", frame " << i + 1;
        for (std::size_t i = 1; i < walked.size(); ++i)
            actorFrames += static_cast<long long>(walked[i].size() / 15);
        // Crowded enough to matter: enemies turn at each other all the time.
        for (CSprite* s = g_sprites.head; s != nullptr; s = s->next)
            reversals += s->vx > 0.0f ? 1 : 0;
    }
    EXPECT_GT(actorFrames, 100000);
    EXPECT_GT(reversals, 20);
}

}  // namespace
