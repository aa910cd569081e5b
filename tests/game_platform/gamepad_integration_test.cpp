// Game controllers on the SDL platform layer, in this process under a private
// Xvfb (SDL hands controller input only to a program that has the focus):
// SDL's virtual joysticks stand in for real controllers, attached and
// detached while the game runs.
#include <gtest/gtest.h>

#include <SDL.h>

#include <cstdlib>
#include <memory>

#include "display.h"
#include "game_files.h"
#include "gameflow.h"
#include "input.h"
#include "mainloop.h"
#include "player.h"
#include "sdl_platform.h"
#include "tilemap.h"
#include "wait.h"
#include "window_ops.h"
#include "xvfb.h"

namespace {

// One virtual controller with every standard button and axis; SDL maps
// button i to SDL_GameControllerButton i and axis i to
// SDL_GameControllerAxis i.
class VirtualPad {
public:
    VirtualPad()
    {
        SDL_VirtualJoystickDesc desc{};
        desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
        desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
        desc.naxes = SDL_CONTROLLER_AXIS_MAX;
        desc.nbuttons = SDL_CONTROLLER_BUTTON_MAX;
        desc.name = "virtual pad";
        int index = SDL_JoystickAttachVirtualEx(&desc);
        if (index < 0)
            return;
        m_joystick = SDL_JoystickOpen(index);
        m_id = SDL_JoystickInstanceID(m_joystick);
    }
    ~VirtualPad() { Unplug(); }
    bool Ok() const { return m_joystick != nullptr; }
    void Button(SDL_GameControllerButton b, bool down) { SDL_JoystickSetVirtualButton(m_joystick, b, down ? 1 : 0); }
    void StickX(Sint16 x) { SDL_JoystickSetVirtualAxis(m_joystick, SDL_CONTROLLER_AXIS_LEFTX, x); }
    void Release()
    {
        for (int b = 0; b < SDL_CONTROLLER_BUTTON_MAX; ++b)
            Button(static_cast<SDL_GameControllerButton>(b), false);
        StickX(0);
    }
    void Unplug()
    {
        if (!m_joystick)
            return;
        SDL_JoystickClose(m_joystick);
        m_joystick = nullptr;
        for (int i = 0; i < SDL_NumJoysticks(); ++i) {
            if (SDL_JoystickGetDeviceInstanceID(i) == m_id)
                SDL_JoystickDetachVirtual(i);
        }
    }

private:
    SDL_Joystick* m_joystick = nullptr;
    SDL_JoystickID m_id = -1;
};

class Gamepad : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (!test::ToolAvailable("Xvfb") || !test::ToolAvailable("xdotool"))
            return;
        s_x = std::make_unique<test::Xvfb>();
        if (!s_x->Start(640, 480)) {
            s_x.reset();
            return;
        }
        s_x->Export();
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        unsetenv("SDL_VIDEODRIVER");
    }
    static void TearDownTestSuite() { s_x.reset(); }
    void SetUp() override
    {
        if (!s_x)
            GTEST_SKIP() << "no Xvfb or xdotool";
        ResetProgramState();
    }
    void TearDown() override
    {
        ResetProgramState();
        ShutdownPlatform();
    }
    // Opens the window and the reader and waits for the keyboard focus.
    void OpenWindowAndReader()
    {
        ASSERT_TRUE(OpenGameWindow("Gorbo gamepad test")) << PlatformError();
        ASSERT_TRUE(g_input.Init());
        ASSERT_TRUE(test::WaitUntil([] {
            Pump();
            return SDL_GetKeyboardFocus() == Sdl().window;
        })) << "the window never got the focus";
    }
    // Lets the platform see what happened (device events, new states),
    // returning the game's events on the way.
    static std::vector<WindowEvent> Pump()
    {
        std::vector<WindowEvent> events;
        WindowEvent e;
        while (PollWindowEvent(e))
            events.push_back(e);
        return events;
    }
    static std::uint8_t Flags()
    {
        Pump();
        std::uint8_t flags = 0xFF;
        g_input.Read(flags);
        return flags;
    }
    static std::unique_ptr<test::Xvfb> s_x;
};

std::unique_ptr<test::Xvfb> Gamepad::s_x;

TEST_F(Gamepad, ControlsFeedTheKeyFlags)
{
    OpenWindowAndReader();
    VirtualPad pad;
    ASSERT_TRUE(pad.Ok()) << SDL_GetError();
    struct Case {
        const char* what;
        std::initializer_list<SDL_GameControllerButton> buttons;
        Sint16 stick;
        std::uint8_t flags;
    };
    const Case cases[] = {
        {"nothing", {}, 0, 0},
        {"d-pad right", {SDL_CONTROLLER_BUTTON_DPAD_RIGHT}, 0, KEY_RIGHT},
        {"d-pad left", {SDL_CONTROLLER_BUTTON_DPAD_LEFT}, 0, KEY_LEFT},
        {"stick right", {}, 30000, KEY_RIGHT},
        {"stick left", {}, -30000, KEY_LEFT},
        {"stick barely pushed", {}, 12000, 0},
        {"stick half way", {}, 16384, KEY_RIGHT},
        {"stick left wins over d-pad right", {SDL_CONTROLLER_BUTTON_DPAD_RIGHT}, -30000, KEY_LEFT},
        {"south button jumps", {SDL_CONTROLLER_BUTTON_A}, 0, KEY_JUMP},
        {"west button runs", {SDL_CONTROLLER_BUTTON_X}, 0, KEY_ACTION},
        {"east and north do nothing", {SDL_CONTROLLER_BUTTON_B, SDL_CONTROLLER_BUTTON_Y}, 0, 0},
        {"run right and jump", {SDL_CONTROLLER_BUTTON_DPAD_RIGHT, SDL_CONTROLLER_BUTTON_X, SDL_CONTROLLER_BUTTON_A}, 0,
         KEY_RIGHT | KEY_ACTION | KEY_JUMP},
    };
    for (const Case& c : cases) {
        pad.Release();
        for (SDL_GameControllerButton b : c.buttons)
            pad.Button(b, true);
        pad.StickX(c.stick);
        EXPECT_EQ(Flags(), c.flags) << c.what;
    }
}

TEST_F(Gamepad, KeyboardAndControllerMergeWithLeftWinning)
{
    OpenWindowAndReader();
    VirtualPad pad;
    ASSERT_TRUE(pad.Ok());
    ASSERT_EQ(s_x->Run("xdotool keydown Left"), 0);
    pad.Button(SDL_CONTROLLER_BUTTON_DPAD_RIGHT, true);
    pad.Button(SDL_CONTROLLER_BUTTON_A, true);
    // The key press travels through the X server.
    EXPECT_TRUE(test::WaitUntil([] { return Flags() == (KEY_LEFT | KEY_JUMP); })) << int(Flags());
    s_x->Run("xdotool keyup Left");
}

TEST_F(Gamepad, ControllersPluggedInDuringPlayWorkAtOnceAndUnpluggedOnesStop)
{
    OpenWindowAndReader();
    EXPECT_EQ(Flags(), 0);
    auto first = std::make_unique<VirtualPad>();
    ASSERT_TRUE(first->Ok());
    first->Button(SDL_CONTROLLER_BUTTON_DPAD_RIGHT, true);
    EXPECT_EQ(Flags(), KEY_RIGHT);
    EXPECT_EQ(Sdl().input.controllers.size(), 1u);

    VirtualPad second;
    second.Button(SDL_CONTROLLER_BUTTON_A, true);
    EXPECT_EQ(Flags(), KEY_RIGHT | KEY_JUMP);

    first.reset();  // unplugged while held
    EXPECT_EQ(Flags(), KEY_JUMP);
    EXPECT_EQ(Sdl().input.controllers.size(), 1u);
    second.Unplug();
    EXPECT_EQ(Flags(), 0);
    EXPECT_TRUE(Sdl().input.controllers.empty());
}

TEST_F(Gamepad, StartIsThePauseKey)
{
    OpenWindowAndReader();
    VirtualPad pad;
    ASSERT_TRUE(pad.Ok());
    Pump();
    pad.Button(SDL_CONTROLLER_BUTTON_START, true);
    std::vector<WindowEvent> events = Pump();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].type, WEV_KEYDOWN);
    EXPECT_EQ(events[0].value, SYSKEY_PAUSE);
    pad.Button(SDL_CONTROLLER_BUTTON_START, false);
    pad.Button(SDL_CONTROLLER_BUTTON_A, true);
    EXPECT_TRUE(Pump().empty());  // a release and other buttons are no system keys
}

// The real game in this process: start-up, then the loop's work (events,
// and a frame whenever it may run) until a condition holds, the player
// steered by a controller only.
class GamepadInGame : public Gamepad {
protected:
    void SetUp() override
    {
        Gamepad::SetUp();
        if (IsSkipped())
            return;
        dir.Write("level/level1.dat", MakeLevel(0, 100, 15));
        ASSERT_TRUE(InitApplication()) << PlatformError();
        ASSERT_TRUE(LoopUntil([] { return SDL_GetKeyboardFocus() == Sdl().window; }));
        ASSERT_TRUE(LoopUntil([] { return g_player.onGround != 0; })) << "the player never landed";
    }
    template <typename Condition>
    static bool LoopUntil(Condition condition)
    {
        return test::WaitUntil([&] {
            for (const WindowEvent& e : Pump())
                WindowProc(e);
            if (g_active && !g_paused)
                GameFrame();
            return condition();
        });
    }
    TempFolder dir;
};

TEST_F(GamepadInGame, DPadAndStickSteerSouthJumpsWestRuns)
{
    VirtualPad pad;
    ASSERT_TRUE(pad.Ok());
    const float start = g_player.x;
    pad.Button(SDL_CONTROLLER_BUTTON_DPAD_RIGHT, true);
    EXPECT_TRUE(LoopUntil([&] { return g_player.x > start + 32.0f; })) << "the d-pad did not steer right";
    EXPECT_EQ(g_player.facing, FACE_RIGHT);

    pad.Button(SDL_CONTROLLER_BUTTON_DPAD_RIGHT, false);
    pad.StickX(-30000);
    const float turned = g_player.x;
    EXPECT_TRUE(LoopUntil([&] { return g_player.x < turned - 16.0f && g_player.facing == FACE_LEFT; }))
        << "the stick did not steer left";

    pad.StickX(0);
    EXPECT_TRUE(LoopUntil([] { return g_player.vx == 0.0f; })) << "the player did not come to rest";
    pad.Button(SDL_CONTROLLER_BUTTON_A, true);
    EXPECT_TRUE(LoopUntil([] { return g_player.onGround == 0 && g_player.vy < 0.0f; })) << "no jump";
    pad.Button(SDL_CONTROLLER_BUTTON_A, false);
    EXPECT_TRUE(LoopUntil([] { return g_player.onGround != 0; })) << "never landed again";

    pad.Button(SDL_CONTROLLER_BUTTON_X, true);
    pad.Button(SDL_CONTROLLER_BUTTON_DPAD_RIGHT, true);
    EXPECT_TRUE(LoopUntil([] { return g_frameKeys == (KEY_RIGHT | KEY_ACTION); }));
}

TEST_F(GamepadInGame, StartPausesAndResumes)
{
    VirtualPad pad;
    ASSERT_TRUE(pad.Ok());
    // Buttons held while the controller is being plugged in are not
    // pressed; the game has it open from the next frame on.
    ASSERT_TRUE(LoopUntil([] { return !Sdl().input.controllers.empty(); }));
    pad.Button(SDL_CONTROLLER_BUTTON_DPAD_RIGHT, true);
    pad.Button(SDL_CONTROLLER_BUTTON_START, true);
    EXPECT_TRUE(LoopUntil([] { return g_paused == 1; })) << "Start did not pause";
    const float paused = g_player.x;
    pad.Button(SDL_CONTROLLER_BUTTON_START, false);
    Pump();  // the release, seen before the next press
    pad.Button(SDL_CONTROLLER_BUTTON_START, true);
    EXPECT_TRUE(LoopUntil([] { return g_paused == 0; })) << "Start did not resume";
    EXPECT_EQ(g_player.x, paused) << "the player moved while paused";
    EXPECT_TRUE(LoopUntil([&] { return g_player.x > paused + 16.0f; })) << "no steering after the pause";
}

}  // namespace
