// The music commands over a player that models positions and end notices:
// a level's piece plays once; after a pause or an activation it loops from
// its next end; stopping or replacing a piece is never taken for its end.
#include <gtest/gtest.h>

#include "fakes.h"
#include "mainloop.h"
#include "music.h"

namespace {

class MusicTest : public ::testing::Test {
protected:
    void SetUp() override { ResetFakes(); }
    std::string LastCommand() const { return g_fakeMixer.log.empty() ? "" : g_fakeMixer.log.back(); }
};

TEST_F(MusicTest, LevelPiecePlaysOnceFromTheStart)
{
    EXPECT_TRUE(PlayMusic("sound/back1.mid"));
    EXPECT_EQ(g_fakeMixer.loaded, "sound/back1.mid");
    EXPECT_EQ(LastCommand(), "play start 0");
    g_fakeMixer.FinishPiece();
    EXPECT_TRUE(g_fakeWindow.queue.empty());
    DeliverEvents();
    EXPECT_FALSE(g_fakeMixer.playing);
}

TEST_F(MusicTest, AfterPauseThePieceResumesThenLoopsFromItsEnd)
{
    PlayMusic("sound/back1.mid");
    EXPECT_TRUE(StopMusic());
    EXPECT_TRUE(g_fakeMixer.paused);
    EXPECT_TRUE(ResumeMusic());
    EXPECT_EQ(LastCommand(), "play resume 1");
    EXPECT_FALSE(g_fakeMixer.paused);
    for (int loop = 0; loop < 3; ++loop) {
        g_fakeMixer.FinishPiece();
        DeliverEvents();
        EXPECT_EQ(LastCommand(), "play start 1") << loop;
        EXPECT_TRUE(g_fakeMixer.playing) << loop;
    }
}

TEST_F(MusicTest, PauseKeyAndActivationDriveTheSameRules)
{
    PlayMusic("sound/back1.mid");
    OnKeyDown(SYSKEY_PAUSE);
    EXPECT_TRUE(g_fakeMixer.paused);
    OnKeyDown(SYSKEY_PAUSE);
    g_fakeMixer.FinishPiece();
    DeliverEvents();
    EXPECT_TRUE(g_fakeMixer.playing);

    PlayMusic("sound/back2.mid");
    WindowProc(WindowEvent{WEV_ACTIVATE, 0});
    EXPECT_TRUE(g_fakeMixer.paused);
    WindowProc(WindowEvent{WEV_ACTIVATE, 1});
    g_fakeMixer.FinishPiece();
    DeliverEvents();
    EXPECT_TRUE(g_fakeMixer.playing);
    EXPECT_EQ(LastCommand(), "play start 1");
}

TEST_F(MusicTest, ResumingAPieceThatEndedRestartsIt)
{
    PlayMusic("sound/back1.mid");
    g_fakeMixer.FinishPiece();  // silent now
    StopMusic();
    ResumeMusic();
    DeliverEvents();
    EXPECT_TRUE(g_fakeMixer.playing);
    EXPECT_EQ(LastCommand(), "play start 1");
}

TEST_F(MusicTest, StaleEndNoticesAreIgnored)
{
    // An end already on its way when the piece is replaced.
    PlayMusic("sound/back1.mid");
    StopMusic();
    ResumeMusic();
    g_fakeMixer.FinishPiece();
    PlayMusic("sound/back2.mid");
    std::size_t before = g_fakeMixer.log.size();
    DeliverEvents();
    EXPECT_EQ(g_fakeMixer.log.size(), before);

    // An end on its way when the game pauses.
    StopMusic();
    ResumeMusic();
    g_fakeMixer.FinishPiece();
    StopMusic();
    before = g_fakeMixer.log.size();
    DeliverEvents();
    EXPECT_EQ(g_fakeMixer.log.size(), before);

    // An end on its way when the window closes.
    ResumeMusic();
    g_fakeMixer.FinishPiece();
    CloseMusic();
    DeliverEvents();
    EXPECT_TRUE(g_fakeMixer.loaded.empty());
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
    g_fakeMixer.FinishPiece();
    EXPECT_TRUE(g_fakeWindow.queue.empty());
}

TEST_F(MusicTest, NoPlayerMeansSilenceAndQuietFailures)
{
    g_fakeMixer.available = false;
    EXPECT_FALSE(PlayMusic("sound/back1.mid"));
    EXPECT_FALSE(StopMusic());
    EXPECT_FALSE(ResumeMusic());
    EXPECT_FALSE(LoopMusic());
    EXPECT_TRUE(CloseMusic());
    DeliverEvents();
}

TEST_F(MusicTest, ResumeBeforeAnyPieceDoesNothing)
{
    EXPECT_FALSE(ResumeMusic());
    EXPECT_TRUE(g_fakeMixer.log.empty());
}

}  // namespace
