// The frame loop: the time step, the frame-rate meter, pause, activation and
// dragging, the system keys, start-up and shutdown. Frames run against the
// recording display with an injected clock.
#include <gtest/gtest.h>

#include <algorithm>

#include "fakes.h"
#include "gameflow.h"
#include "input.h"
#include "mainloop.h"
#include "music.h"
#include "tilemap.h"

namespace {

class LoopTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetFakes();
        dir.Write("level/level1.dat", MakeLevel(0, 40, 15));
        dir.Write("bright.pal", MakePalette("RIFF", "PAL ", "data", 0x0300, 256, 256));
        dir.Write("darken.pal", MakePalette("RIFF", "PAL ", "data", 0x0300, 256, 100));
    }
    // Start-up as the program does it, without the loop.
    void Start()
    {
        g_fakeClock.now = 1000;
        ASSERT_TRUE(InitApplication());
        g_frameClock.Mark();
    }
    void FrameAt(std::uint32_t ms)
    {
        g_fakeClock.now = ms;
        GameFrame();
    }
    bool Running() const { return g_active && !g_paused; }
    std::vector<std::string> FrameLog(std::uint32_t ms)
    {
        g_fakeDisplay.log.clear();
        FrameAt(ms);
        return g_fakeDisplay.log;
    }
    TempFolder dir;
};

TEST(TimerTest, DifferenceAcrossTheClockWrap)
{
    CTimer earlier;
    CTimer later;
    earlier.m_ms = 0xFFFFFFF0u;
    later.m_ms = 0x00000010u;
    EXPECT_FLOAT_EQ(later.SecondsSince(earlier), 0.032f);
    earlier.m_ms = 1000;
    later.m_ms = 1250;
    EXPECT_FLOAT_EQ(later.SecondsSince(earlier), 0.25f);
}

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
    EXPECT_EQ(g_fakeDisplay.Count("text 10 10 FPS: 0.00"), 0);
    std::vector<std::string> log = FrameLog(1010);
    EXPECT_TRUE(std::none_of(log.begin(), log.end(), [](const std::string& s) { return s.rfind("text", 0) == 0; }));
    OnKeyDown(SYSKEY_F5);
    EXPECT_EQ(g_showFps, 1);
    OnKeyDown(SYSKEY_F5);
    EXPECT_EQ(g_showFps, 0);
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
    EXPECT_TRUE(g_fakeMixer.paused);
    g_fakeClock.now = 60000;
    OnKeyDown(SYSKEY_PAUSE);
    EXPECT_TRUE(Running());
    EXPECT_FALSE(g_fakeMixer.paused);
    FrameAt(60010);
    EXPECT_FLOAT_EQ(g_frameStep, 0.01f);
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
    g_fakeKeyboard.held[GKEY_RIGHT] = true;
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
    g_fakeDisplay.onPresent = [&] {
        ++frames;
        g_fakeClock.now += 16;
        if (frames == 3 || frames == 6)
            g_fakeWindow.queue.push_back(WindowEvent{WEV_KEYDOWN, SYSKEY_PAUSE});
        if (frames > 50)
            g_fakeWindow.queue.push_back(WindowEvent{WEV_CLOSE, 0});
    };
    // While paused the loop sleeps; the wake-up unpauses, three more frames
    // run, then the loop waits again and the fake closes the window.
    g_fakeWindow.afterWait.push_back(WindowEvent{WEV_KEYDOWN, SYSKEY_PAUSE});
    int code = RunMessageLoop();
    EXPECT_EQ(code, 0);
    EXPECT_EQ(frames, 6);
    EXPECT_EQ(g_fakeWindow.waits, 2);
    EXPECT_EQ(g_fakeDisplay.log.back(), "release");
}

TEST_F(LoopTest, EscapeClosesMusicAndWindowAndEndsTheLoopWithZero)
{
    Start();
    ASSERT_FALSE(g_fakeMixer.loaded.empty());
    g_fakeWindow.queue.push_back(WindowEvent{WEV_KEYDOWN, SYSKEY_ESCAPE});
    g_fakeDisplay.onPresent = [] { FAIL() << "a frame ran after Esc"; };
    EXPECT_EQ(RunMessageLoop(), 0);
    EXPECT_TRUE(QuitPosted());
    EXPECT_TRUE(g_fakeWindow.closed);
    EXPECT_TRUE(g_fakeMixer.loaded.empty());
    EXPECT_EQ(g_fakeDisplay.log.back(), "release");
}

TEST_F(LoopTest, F4RebuildsTheDisplayInTheOtherModeWithTheLevelsPalette)
{
    Start();
    g_fakeDisplay.log.clear();
    g_fakeClock.now = 5000;
    OnKeyDown(SYSKEY_F4);
    EXPECT_EQ(g_fullscreen, 1);
    EXPECT_EQ(g_frameClock.m_ms, 5000u);
    ASSERT_EQ(g_fakeDisplay.log, (std::vector<std::string>{"release", "init full", "palette"}));
    EXPECT_EQ(g_fakeDisplay.lastPalette[200].red, 200);  // bright.pal

    g_fakeDisplay.log.clear();
    OnKeyDown(SYSKEY_F4);
    EXPECT_EQ(g_fullscreen, 0);
    EXPECT_EQ(g_fakeDisplay.log, (std::vector<std::string>{"release", "init window"}));

    // A dark level shows the dark palette each time full screen is entered.
    g_darkLevel = 1;
    OnKeyDown(SYSKEY_F4);
    EXPECT_EQ(g_fakeDisplay.lastPalette[50].red, 50);    // darken.pal's entries
    EXPECT_EQ(g_fakeDisplay.lastPalette[200].red, 218);  // beyond its end: default palette
}

TEST_F(LoopTest, FailedDisplayAfterF4KeepsTheGameRunningAndF4TriesAgain)
{
    Start();
    g_fakeDisplay.initResult = false;
    OnKeyDown(SYSKEY_F4);
    EXPECT_TRUE(Running());
    float scroll = 0;
    g_fakeKeyboard.held[GKEY_RIGHT] = true;
    FrameAt(1050);
    FrameAt(1100);
    scroll = static_cast<float>(g_map.scrollX);
    EXPECT_GT(scroll, 0.0f);  // the world goes on
    g_fakeDisplay.initResult = true;
    g_fakeDisplay.log.clear();
    OnKeyDown(SYSKEY_F4);
    EXPECT_EQ(g_fakeDisplay.log.front(), "release");
    EXPECT_EQ(g_fakeDisplay.log[1], "init window");
    EXPECT_EQ(g_fullscreen, 0);
}

TEST_F(LoopTest, StartUpOrderAndTheFirstPieceIsPlayedOnce)
{
    g_fakeWindow.afterWait.clear();
    g_fakeDisplay.onPresent = [] { g_fakeWindow.queue.push_back(WindowEvent{WEV_CLOSE, 0}); };
    EXPECT_EQ(GameMain(), 0);
    EXPECT_EQ(g_fakeWindow.log.front(), "open");
    EXPECT_EQ(g_fakeWindow.log.back(), "shutdown");
    EXPECT_EQ(g_fakeDisplay.log.front(), "init window");
    EXPECT_EQ(g_fakeDisplay.Count("present"), 1);
    // The start-up activation found no piece to resume; the level's piece
    // was then started without an end report, and the close unloaded it.
    EXPECT_EQ(g_fakeMixer.log,
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
        ResetFakes();
        g_fakeWindow.openResult = c.window;
        g_fakeDisplay.initResult = c.display;
        if (!c.level)
            std::remove("level/level1.dat");
        testing::internal::CaptureStderr();
        EXPECT_EQ(GameMain(), 1) << c.what;
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find(c.message), std::string::npos) << c.what << ": " << err;
        if (c.window) {
            EXPECT_EQ(g_fakeDisplay.log.back(), "release") << c.what;
        }
        EXPECT_EQ(g_fakeDisplay.Count("present"), 0) << c.what;
    }
}

TEST(WindowTitle, NameAndDomainWithinThirtyTwoBytes)
{
    std::string title = GAME_WINDOW_TITLE;
    EXPECT_EQ(title.rfind("Gorbo\xEF\xBC\x88", 0), 0u);
    EXPECT_EQ(title.substr(title.size() - 3), "\xEF\xBC\x89");
    // UTF-8 here; in GBK each full-width parenthesis takes 2 bytes, not 3.
    EXPECT_LE(title.size(), 32u);
    EXPECT_LE(title.size() - 2, 32u);
    EXPECT_NE(title.find('.'), std::string::npos);
}

}  // namespace
