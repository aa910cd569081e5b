// The music commands over the null platform's player, which models positions
// and end notices: a level's piece plays once; after a pause it loops from its
// next end; stopping or replacing a piece is never taken for its end.
#include <gtest/gtest.h>

#include "music.h"
#include "null_platform.h"
#include "window_ops.h"

namespace {

class MusicTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        CloseMusic();
        ResetNullPlatform(NullRecord::On);
    }
    static std::string LastCommand()
    {
        const auto& calls = NullPlatform().mixerCalls;
        return calls.empty() ? "" : calls.back();
    }
    static std::size_t Commands() { return NullPlatform().mixerCalls.size(); }
    // Answers every queued end notice as the window procedure does.
    static void DeliverEnds()
    {
        WindowEvent event;
        while (PollWindowEvent(event)) {
            if (event.type == WEV_MUSIC_END)
                OnMusicEnded(static_cast<unsigned>(event.value));
        }
    }
};

TEST_F(MusicTest, LevelPiecePlaysOnceFromTheStart)
{
    EXPECT_TRUE(PlayMusic("sound/back1.mid"));
    EXPECT_EQ(NullPlatform().piece, "sound/back1.mid");
    EXPECT_EQ(LastCommand(), "play start 0");
    FinishNullPiece();
    EXPECT_TRUE(NullPlatform().events.empty());
    DeliverEnds();
    EXPECT_FALSE(NullPlatform().playing);
}

TEST_F(MusicTest, AfterPauseThePieceResumesThenLoopsFromItsEnd)
{
    PlayMusic("sound/back1.mid");
    EXPECT_TRUE(StopMusic());
    EXPECT_TRUE(NullPlatform().paused);
    EXPECT_TRUE(ResumeMusic());
    EXPECT_EQ(LastCommand(), "play resume 1");
    EXPECT_FALSE(NullPlatform().paused);
    for (int loop = 0; loop < 3; ++loop) {
        FinishNullPiece();
        DeliverEnds();
        EXPECT_EQ(LastCommand(), "play start 1") << loop;
        EXPECT_TRUE(NullPlatform().playing) << loop;
    }
}

TEST_F(MusicTest, ResumingAPieceThatEndedRestartsIt)
{
    PlayMusic("sound/back1.mid");
    FinishNullPiece();  // silent now
    StopMusic();
    ResumeMusic();
    DeliverEnds();
    EXPECT_TRUE(NullPlatform().playing);
    EXPECT_EQ(LastCommand(), "play start 1");
}

TEST_F(MusicTest, StaleEndNoticesAreIgnored)
{
    // An end already on its way when the piece is replaced.
    PlayMusic("sound/back1.mid");
    StopMusic();
    ResumeMusic();
    FinishNullPiece();
    PlayMusic("sound/back2.mid");
    std::size_t before = Commands();
    DeliverEnds();
    EXPECT_EQ(Commands(), before);

    // An end on its way when the game pauses.
    StopMusic();
    ResumeMusic();
    FinishNullPiece();
    StopMusic();
    before = Commands();
    DeliverEnds();
    EXPECT_EQ(Commands(), before);

    // An end on its way when the window closes.
    ResumeMusic();
    FinishNullPiece();
    CloseMusic();
    DeliverEnds();
    EXPECT_TRUE(NullPlatform().piece.empty());
    EXPECT_EQ(LastCommand(), "unload");
}

TEST_F(MusicTest, ANewLevelPieceStartsOverAndPlaysOnce)
{
    PlayMusic("sound/back1.mid");
    StopMusic();
    ResumeMusic();
    // A death reloads the level: the piece starts again, without a report.
    PlayMusic("sound/back1.mid");
    EXPECT_EQ(LastCommand(), "play start 0");
    FinishNullPiece();
    EXPECT_TRUE(NullPlatform().events.empty());
}

TEST_F(MusicTest, NoPlayerMeansSilenceAndQuietFailures)
{
    NullPlatform().mixerAvailable = false;
    EXPECT_FALSE(PlayMusic("sound/back1.mid"));
    EXPECT_FALSE(StopMusic());
    EXPECT_FALSE(ResumeMusic());
    EXPECT_FALSE(LoopMusic());
    EXPECT_TRUE(CloseMusic());
    DeliverEnds();
}

TEST_F(MusicTest, ResumeBeforeAnyPieceDoesNothing)
{
    EXPECT_FALSE(ResumeMusic());
    EXPECT_TRUE(NullPlatform().mixerCalls.empty());
}

}  // namespace
