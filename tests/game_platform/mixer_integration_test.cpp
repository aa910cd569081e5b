// The MIDI player of the platform layer on the real SDL2_mixer (built-in
// Timidity with freepats, SDL's dummy audio and video drivers): end notices
// arrive on the game's thread, on time, and only for the play that asked;
// halting, replacing and pausing a piece are never taken for its end.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "mainloop.h"
#include "temp_folder.h"
#include "mixer_ops.h"
#include "music.h"
#include "window_ops.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr double kPieceSeconds = 0.25;

// A type-0 MIDI file: one C an eighth note long (0.25 s at 120 beats per
// minute, 96 ticks a quarter).
std::string ShortPiece()
{
    const unsigned char track[] = {
        0x00, 0xC0, 0x00,        // piano
        0x00, 0x90, 60, 100,     // note on
        0x30, 0x80, 60, 0,       // 48 ticks later: note off
        0x00, 0xFF, 0x2F, 0x00,  // end of track
    };
    const unsigned char header[] = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96,
                                    'M', 'T', 'r', 'k', 0, 0, 0, sizeof track};
    std::string s(reinterpret_cast<const char*>(header), sizeof header);
    s.append(reinterpret_cast<const char*>(track), sizeof track);
    return s;
}

class RealMixer : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
    }
    void SetUp() override
    {
        dir = folder.Path();
        fs::create_directories(dir);
        piece = (dir / "piece.mid").string();
        std::ofstream(piece, std::ios::binary) << ShortPiece();
        ASSERT_TRUE(OpenGameWindow("mixer test")) << PlatformError();
        if (!MixerLoad(piece.c_str()))
            GTEST_SKIP() << "no MIDI synthesiser (freepats) or audio device";
    }
    void TearDown() override
    {
        CloseMusic();
        ShutdownPlatform();
    }
    // Collects the music-end tokens seen within seconds, with their times
    // (seconds from the call).
    std::vector<std::pair<int, double>> EndsWithin(double seconds, bool answer = false)
    {
        std::vector<std::pair<int, double>> ends;
        auto start = Clock::now();
        while (std::chrono::duration<double>(Clock::now() - start).count() < seconds) {
            WindowEvent e;
            if (!PollWindowEvent(e)) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                continue;
            }
            if (e.type != WEV_MUSIC_END)
                continue;
            ends.emplace_back(e.value, std::chrono::duration<double>(Clock::now() - start).count());
            if (answer)
                WindowProc(e);
        }
        return ends;
    }
    test::TempFolder folder;
    fs::path dir;
    std::string piece;
};

TEST_F(RealMixer, EndOfARequestedPlayArrivesOnTime)
{
    ASSERT_TRUE(MixerPlay(true, 7));
    auto ends = EndsWithin(2.0);
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].first, 7);
    EXPECT_GT(ends[0].second, kPieceSeconds * 0.8);
    EXPECT_LT(ends[0].second, kPieceSeconds + 0.5);
}

TEST_F(RealMixer, PlayWithoutTokenEndsSilently)
{
    ASSERT_TRUE(MixerPlay(true, 0));
    EXPECT_TRUE(EndsWithin(1.5).empty());
}

TEST_F(RealMixer, HaltingAndReplacingAreNotEnds)
{
    ASSERT_TRUE(MixerPlay(true, 9));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    MixerUnload();
    EXPECT_TRUE(EndsWithin(1.0).empty());

    ASSERT_TRUE(MixerLoad(piece.c_str()));
    ASSERT_TRUE(MixerPlay(true, 11));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(MixerPlay(true, 12));
    auto ends = EndsWithin(1.5);
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].first, 12);
}

TEST_F(RealMixer, PauseKeepsThePositionAndResumeAtTheEndReportsAtOnce)
{
    ASSERT_TRUE(MixerPlay(true, 13));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_TRUE(MixerPause());
    EXPECT_TRUE(EndsWithin(0.6).empty());
    ASSERT_TRUE(MixerPlay(false, 14));
    auto ends = EndsWithin(1.0);
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].first, 14);
    EXPECT_LT(ends[0].second, kPieceSeconds);  // only the rest of the piece

    ASSERT_TRUE(MixerPlay(false, 15));
    ends = EndsWithin(0.5);
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].first, 15);
    EXPECT_LT(ends[0].second, 0.1);
}

TEST_F(RealMixer, AfterAPauseThePieceLoopsWithShortGaps)
{
    ASSERT_TRUE(PlayMusic(piece.c_str()));
    StopMusic();
    ResumeMusic();
    auto ends = EndsWithin(kPieceSeconds * 4 + 0.6, true);
    ASSERT_GE(ends.size(), 3u);
    for (std::size_t i = 1; i < ends.size(); ++i) {
        double between = ends[i].second - ends[i - 1].second;
        EXPECT_LT(between - kPieceSeconds, 0.5) << i;
    }
}

// SDL's disk audio driver writes what the mixer plays to a file, in real
// time: what a player would hear. The music is muted before the device
// opens, so the setting is applied when it does.
class HeardMixer : public RealMixer {
protected:
    void SetUp() override
    {
        heard = (fs::temp_directory_path() / ("gorbo-heard-" + std::to_string(std::random_device()()))).string();
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", heard.c_str(), 1);
        MixerSetMuted(true);
        RealMixer::SetUp();
    }
    void TearDown() override
    {
        RealMixer::TearDown();
        MixerSetMuted(false);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        std::remove(heard.c_str());
    }
    // The samples written so far, and whether any from sample first on is
    // not silence.
    std::size_t Written() const { return fs::file_size(heard) / 2; }
    bool SoundFrom(std::size_t first) const
    {
        std::ifstream in(heard, std::ios::binary);
        in.seekg(static_cast<std::streamoff>(first * 2));
        std::int16_t sample = 0;
        while (in.read(reinterpret_cast<char*>(&sample), sizeof sample)) {
            if (sample != 0)
                return true;
        }
        return false;
    }
    std::string heard;
};

TEST_F(HeardMixer, MutedPiecesPlayUnheardAndEndOnTimeUnmutedOnesAreHeard)
{
    ASSERT_TRUE(MixerPlay(true, 21));
    auto ends = EndsWithin(kPieceSeconds + 0.8);
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].first, 21);
    EXPECT_GT(ends[0].second, kPieceSeconds * 0.8);
    EXPECT_LT(ends[0].second, kPieceSeconds + 0.5);
    // The setting holds for a piece loaded later.
    ASSERT_TRUE(MixerLoad(piece.c_str()));
    ASSERT_TRUE(MixerPlay(true, 22));
    ASSERT_EQ(EndsWithin(kPieceSeconds + 0.8).size(), 1u);
    std::size_t mutedPart = Written();
    ASSERT_GT(mutedPart, 44100u * 2 / 4);  // written in real time: at least half a second of stereo
    EXPECT_FALSE(SoundFrom(0)) << "heard while muted";

    MixerSetMuted(false);
    ASSERT_TRUE(MixerPlay(true, 23));
    ends = EndsWithin(kPieceSeconds + 0.8);
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].first, 23);
    EXPECT_TRUE(SoundFrom(mutedPart)) << "silent after unmuting";
}

// A machine without a MIDI synthesiser: the mixer's Timidity told to read a
// configuration that does not exist.
TEST(NoSynthesiser, PiecesLoadNothingAndPlayNothingMuteIsHarmless)
{
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    setenv("TIMIDITY_CFG", "/nonexistent/timidity.cfg", 1);
    fs::path piece = fs::temp_directory_path() / ("gorbo-nosynth-" + std::to_string(std::random_device()()) + ".mid");
    std::ofstream(piece, std::ios::binary) << ShortPiece();
    ASSERT_TRUE(OpenGameWindow("no synthesiser"));
    EXPECT_FALSE(PlayMusic(piece.string().c_str()));
    EXPECT_TRUE(ToggleMusicMute());
    EXPECT_FALSE(ResumeMusic());
    EXPECT_FALSE(ToggleMusicMute());
    EXPECT_FALSE(LoopMusic());
    CloseMusic();
    ShutdownPlatform();
    unsetenv("TIMIDITY_CFG");
    fs::remove(piece);
}

TEST_F(RealMixer, MissingFileLoadsNothing)
{
    EXPECT_FALSE(MixerLoad((dir / "absent.mid").string().c_str()));
    EXPECT_FALSE(MixerPlay(true, 1));
}

}  // namespace
