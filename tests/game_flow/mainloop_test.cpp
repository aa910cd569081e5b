// The frame loop: the time step, the frame-rate meter, pause, activation and
// dragging, the system keys, start-up and shutdown. Frames run on the null
// platform: its recording display, its settable clock, its event queue.
#include <gtest/gtest.h>

#include <algorithm>

#include "game_files.h"
#include "game_reset.h"
#include "player.h"

namespace {

class LoopTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetGame();
        dir.Write("level/level1.dat", MakeLevel(0, 40, 15));
        dir.Write("bright.pal", MakePalette("RIFF", "PAL ", "data", 0x0300, 256, 256));
        dir.Write("darken.pal", MakePalette("RIFF", "PAL ", "data", 0x0300, 256, 100));
    }
    // Start-up as the program does it, without the loop.
    void Start()
    {
        NullPlatform().ticks = 1000;
        ASSERT_TRUE(InitApplication());
        g_frameClock.Mark();
    }
    void FrameAt(std::uint32_t ms)
    {
        NullPlatform().ticks = ms;
        GameFrame();
    }
    bool Running() const { return g_active && !g_paused; }
    // The display operations of a mode switch, as recorded.
    static std::vector<std::string> ModeSwitches()
    {
        return DescribedDraws({NullDraw::Close, NullDraw::Open, NullDraw::Palette});
    }
    std::vector<std::string> FrameLog(std::uint32_t ms)
    {
        NullPlatform().draws.clear();
        FrameAt(ms);
        return DescribedDraws();
    }
    TempFolder dir;
};

TEST_F(LoopTest, StepIsTheMeasuredTimeCappedAtFiftyMilliseconds)
{
    Start();
    struct Case {
        std::uint32_t at;
        float step;
    };
    const Case cases[] = {
        {1016, 0.016f},  {1016, 0.0f},  {1066, 0.05f},   {1117, 0.05f},
        {9117, 0.05f},   {9147, 0.03f}, {9147, 0.0f},
    };
    for (const auto& c : cases) {
        FrameAt(c.at);
        EXPECT_FLOAT_EQ(g_frameStep, c.step) << c.at;
        EXPECT_EQ(g_frameClock.m_ms, c.at);
    }
    // The clock wrapping between two frames gives the true step.
    g_frameClock.m_ms = 0xFFFFFFF8u;
    FrameAt(0x0000000Cu);
    EXPECT_FLOAT_EQ(g_frameStep, 0.02f);
}

TEST_F(LoopTest, FrameComposesWorldThenFrameRateThenPresents)
{
    Start();
    OnKeyDown(SYSKEY_F5);
    std::vector<std::string> log = FrameLog(1020);
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ(log.front(), "clear");
    EXPECT_EQ(log.back(), "present");
    EXPECT_EQ(log[log.size() - 2].rfind("text 10 10 FPS: ", 0), 0u) << log[log.size() - 2];
    // The ground row of the 40-column level: 21 columns, the last of width 0
    // at scroll 0 is still handed over cut to nothing or left out.
    long blits = std::count_if(log.begin(), log.end(), [](const std::string& s) { return s.rfind("blt ", 0) == 0; });
    EXPECT_GE(blits, 20);
    EXPECT_NE(std::find(log.begin(), log.end(), "blt 0 448 32 32"), log.end());
}

TEST_F(LoopTest, FrameRateLineToggledByF5)
{
    Start();
    auto textsIn = [this](std::uint32_t ms) {
        std::vector<std::string> log = FrameLog(ms);
        return std::count_if(log.begin(), log.end(), [](const std::string& s) { return s.rfind("text", 0) == 0; });
    };
    EXPECT_EQ(textsIn(1010), 0);
    OnKeyDown(SYSKEY_F5);
    EXPECT_EQ(textsIn(1020), 1);
    OnKeyDown(SYSKEY_F5);
    EXPECT_EQ(textsIn(1030), 0);
}

TEST_F(LoopTest, FrameRateIsFramesOfTheLastWindowOverItsLength)
{
    Start();
    g_showFps = 1;
    // The meter's window starts at clock 0: the first frame closes it at once.
    std::vector<std::string> log = FrameLog(2000);
    EXPECT_NE(std::find(log.begin(), log.end(), "text 10 10 FPS: 0.50"), log.end());
    EXPECT_EQ(g_fpsFrames, 0);
    // 41 more frames, 25 ms apart: at exactly 1 s the window stays open; the
    // 41st frame closes it after 1.025 s.
    std::uint32_t t = 2000;
    for (int i = 0; i < 41; ++i) {
        t += 25;
        log = FrameLog(t);
        if (i < 41 - 1) {
            EXPECT_NE(std::find(log.begin(), log.end(), "text 10 10 FPS: 0.50"), log.end()) << i;
        }
    }
    EXPECT_FLOAT_EQ(g_fps, 41.0f / 1.025f);
    EXPECT_NE(std::find(log.begin(), log.end(), "text 10 10 FPS: 40.00"), log.end());
}

TEST_F(LoopTest, PauseStopsFramesAndMusicAndResumesWithoutCountingThePause)
{
    Start();
    ASSERT_TRUE(Running());
    OnKeyDown(SYSKEY_PAUSE);
    EXPECT_EQ(g_paused, 1);
    EXPECT_TRUE(NullPlatform().paused);
    NullPlatform().ticks = 60000;
    OnKeyDown(SYSKEY_PAUSE);
    EXPECT_TRUE(Running());
    EXPECT_FALSE(NullPlatform().paused);
    FrameAt(60010);
    EXPECT_FLOAT_EQ(g_frameStep, 0.01f);
}

TEST_F(LoopTest, PauseKeyAndActivationLoopTheMusicFromItsNextEnd)
{
    const struct {
        const char* what;
        WindowEvent away;
        WindowEvent back;
    } cases[] = {
        {"pause key", {WEV_KEYDOWN, SYSKEY_PAUSE}, {WEV_KEYDOWN, SYSKEY_PAUSE}},
        {"switching away and back", {WEV_ACTIVATE, 0}, {WEV_ACTIVATE, 1}},
    };
    for (const auto& c : cases) {
        ResetGame();
        PlayMusic("sound/back1.mid");
        WindowProc(c.away);
        EXPECT_TRUE(NullPlatform().paused) << c.what;
        WindowProc(c.back);
        EXPECT_EQ(NullPlatform().mixerCalls.back(), "play resume 1") << c.what;
        FinishNullPiece();
        DeliverEvents();
        EXPECT_TRUE(NullPlatform().playing) << c.what;
        EXPECT_EQ(NullPlatform().mixerCalls.back(), "play start 1") << c.what;
    }
}

TEST_F(LoopTest, MMutesAndUnmutesTheMusicWhichPlaysOnAsUnmuted)
{
    Start();
    NullPlatform().mixerCalls.clear();
    OnKeyDown(SYSKEY_M);
    EXPECT_TRUE(NullPlatform().muted);
    EXPECT_EQ(NullPlatform().mixerCalls, (std::vector<std::string>{"mute"}));
    // The music's rules go on unheard: pause and resume, the loop from the
    // piece's next end, a new level's piece, all with the volume off.
    TogglePause();
    TogglePause();
    FinishNullPiece();
    DeliverEvents();
    EXPECT_EQ(NullPlatform().mixerCalls,
              (std::vector<std::string>{"mute", "pause", "play resume 1", "play start 1"}));
    ASSERT_TRUE(LoadLevel(true));
    EXPECT_TRUE(NullPlatform().playing);
    EXPECT_TRUE(NullPlatform().muted);
    OnKeyDown(SYSKEY_M);
    EXPECT_FALSE(NullPlatform().muted);
    EXPECT_EQ(NullPlatform().mixerCalls.back(), "unmute");
}

TEST_F(LoopTest, ActivationStateMachine)
{
    Start();
    struct Step {
        const char* what;
        WindowEvent event;
        int active;
        int paused;
    };
    const Step steps[] = {
        {"pause key", {WEV_KEYDOWN, SYSKEY_PAUSE}, 1, 1},
        {"switch away", {WEV_ACTIVATE, 0}, 0, 1},
        {"switch back: running, not paused", {WEV_ACTIVATE, 1}, 1, 0},
        {"drag starts", {WEV_MOVING, 0}, 0, 0},
        {"drag ends", {WEV_MOVED, 0}, 1, 0},
        {"pause key", {WEV_KEYDOWN, SYSKEY_PAUSE}, 1, 1},
        {"drag while paused", {WEV_MOVING, 0}, 0, 1},
        {"drag ends, still paused", {WEV_MOVED, 0}, 1, 1},
        {"unpause", {WEV_KEYDOWN, SYSKEY_PAUSE}, 1, 0},
        {"switch away while running", {WEV_ACTIVATE, 0}, 0, 1},
        {"pause key while away", {WEV_KEYDOWN, SYSKEY_PAUSE}, 0, 0},
        {"switch back", {WEV_ACTIVATE, 1}, 1, 0},
    };
    for (const auto& s : steps) {
        WindowProc(s.event);
        EXPECT_EQ(g_active, s.active) << s.what;
        EXPECT_EQ(g_paused, s.paused) << s.what;
    }
}

TEST_F(LoopTest, KeysAreNotReadWhileSwitchedAway)
{
    Start();
    NullPlatform().held[GKEY_RIGHT] = true;
    WindowProc(WindowEvent{WEV_ACTIVATE, 0});
    std::uint8_t flags = 0xFF;
    EXPECT_FALSE(g_input.Read(flags));
    EXPECT_EQ(flags, 0);
    WindowProc(WindowEvent{WEV_ACTIVATE, 1});
    EXPECT_TRUE(g_input.Read(flags));
    EXPECT_EQ(flags, KEY_RIGHT);
}

TEST_F(LoopTest, LoopRunsFramesOnlyWhileRunning)
{
    Start();
    int frames = 0;
    NullPlatform().onPresent = [&] {
        ++frames;
        NullPlatform().ticks += 16;
        if (frames == 3 || frames == 6)
            NullPlatform().events.push_back(WindowEvent{WEV_KEYDOWN, SYSKEY_PAUSE});
        if (frames > 50)
            NullPlatform().events.push_back(WindowEvent{WEV_CLOSE, 0});
    };
    // While paused the loop sleeps; the wake-up unpauses, three more frames
    // run, then the loop waits again, and with nothing left to wake it the
    // null platform closes the window.
    NullPlatform().wakeUps.push_back(WindowEvent{WEV_KEYDOWN, SYSKEY_PAUSE});
    int code = RunMessageLoop();
    EXPECT_EQ(code, 0);
    EXPECT_EQ(frames, 6);
    EXPECT_EQ(NullPlatform().waits, 2);
    EXPECT_EQ(DescribedDraws().back(), "close");
}

TEST_F(LoopTest, EscapeClosesMusicAndWindowAndEndsTheLoopWithZero)
{
    Start();
    ASSERT_FALSE(NullPlatform().piece.empty());
    NullPlatform().events.push_back(WindowEvent{WEV_KEYDOWN, SYSKEY_ESCAPE});
    NullPlatform().onPresent = [] { FAIL() << "a frame ran after Esc"; };
    EXPECT_EQ(RunMessageLoop(), 0);
    EXPECT_EQ(NullPlatform().windowCalls.back(), "close");
    EXPECT_TRUE(NullPlatform().piece.empty());
    EXPECT_EQ(DescribedDraws().back(), "close");
}

TEST_F(LoopTest, F4RebuildsTheDisplayInTheOtherModeWithTheLevelsPalette)
{
    Start();
    NullPlatform().draws.clear();
    NullPlatform().ticks = 5000;
    OnKeyDown(SYSKEY_F4);
    EXPECT_EQ(g_fullscreen, 1);
    EXPECT_EQ(g_frameClock.m_ms, 5000u);
    ASSERT_EQ(ModeSwitches(), (std::vector<std::string>{"close", "open full", "palette"}));
    EXPECT_EQ(NullPlatform().palette[200].red, 200);  // bright.pal

    NullPlatform().draws.clear();
    OnKeyDown(SYSKEY_F4);
    EXPECT_EQ(g_fullscreen, 0);
    EXPECT_EQ(ModeSwitches(), (std::vector<std::string>{"close", "open window", "palette"}));

    // A dark level shows the dark palette each time a mode is entered.
    g_darkLevel = 1;
    for (int fullscreen : {1, 0}) {
        OnKeyDown(SYSKEY_F4);
        EXPECT_EQ(g_fullscreen, fullscreen);
        EXPECT_EQ(NullPlatform().palette[50].red, 50) << fullscreen;    // darken.pal's entries
        EXPECT_EQ(NullPlatform().palette[200].red, 218) << fullscreen;  // beyond its end: default palette
    }
}

TEST_F(LoopTest, FailedDisplayAfterF4KeepsTheGameRunningAndF4TriesAgain)
{
    Start();
    NullPlatform().displayAvailable = false;
    OnKeyDown(SYSKEY_F4);
    EXPECT_TRUE(Running());
    NullPlatform().held[GKEY_RIGHT] = true;
    for (std::uint32_t ms = 1050; ms <= 1200; ms += 50)
        FrameAt(ms);
    EXPECT_GT(g_player.x, 64.0f);  // the world goes on
    NullPlatform().displayAvailable = true;
    NullPlatform().draws.clear();
    OnKeyDown(SYSKEY_F4);
    EXPECT_EQ(ModeSwitches(), (std::vector<std::string>{"close", "open window", "palette"}));
    EXPECT_EQ(g_fullscreen, 0);
}

TEST_F(LoopTest, StartUpOrderAndTheFirstPieceIsPlayedOnce)
{
    NullPlatform().wakeUps.clear();
    NullPlatform().onPresent = [] { NullPlatform().events.push_back(WindowEvent{WEV_CLOSE, 0}); };
    EXPECT_EQ(GameMain(), 0);
    EXPECT_EQ(NullPlatform().windowCalls.front(), "open");
    EXPECT_EQ(NullPlatform().windowCalls.back(), "shutdown");
    EXPECT_EQ(DescribedDraws().front(), "open window");
    EXPECT_EQ(NullPlatform().presents, 1);
    // The start-up activation found no piece to resume; the level's piece
    // was then started without an end report, and the close unloaded it.
    EXPECT_EQ(NullPlatform().mixerCalls,
              (std::vector<std::string>{"load sound/back1.mid", "play start 0", "unload"}));
}

TEST_F(LoopTest, StartUpFailuresEndWithStatusOne)
{
    struct Case {
        const char* what;
        bool window;
        bool display;
        bool level;
        const char* message;
    };
    const Case cases[] = {
        {"no window", false, true, true, "cannot open the game window"},
        {"no display", true, false, true, "cannot set up the display"},
        {"no level", true, true, false, "no level file"},
    };
    for (const auto& c : cases) {
        ResetGame();
        NullPlatform().windowAvailable = c.window;
        NullPlatform().displayAvailable = c.display;
        if (!c.level)
            std::remove("level/level1.dat");
        testing::internal::CaptureStderr();
        EXPECT_EQ(GameMain(), 1) << c.what;
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find(c.message), std::string::npos) << c.what << ": " << err;
        if (c.window) {
            EXPECT_EQ(DescribedDraws().back(), "close") << c.what;
        }
        EXPECT_EQ(NullPlatform().presents, 0) << c.what;
    }
}

TEST(WindowTitle, NameAndDomainWithinThirtyTwoBytes)
{
    std::string title = GAME_WINDOW_TITLE;
    EXPECT_EQ(title.rfind("Gorbo\xEF\xBC\x88", 0), 0u);
    EXPECT_EQ(title.substr(title.size() - 3), "\xEF\xBC\x89");
    EXPECT_NE(title.find('.'), std::string::npos);
    // In UTF-8 each full-width parenthesis takes 3 bytes, in GBK 2: a title
    // within 32 bytes here is within 32 bytes in GBK as well.
    EXPECT_LE(title.size(), 32u);
}

}  // namespace
