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
#include "input.h"
#include "mainloop.h"
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
        ResetMainLoop();
    }
    void TearDown() override
    {
        g_input.Release();
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
// and a frame whenever it may run), steered by a controller only.
TEST_F(Gamepad, SteersTheGameAndStartPausesIt)
{
    TempFolder dir;
    dir.Write("level/level1.dat", MakeLevel(0, 100, 15));
    ASSERT_TRUE(InitApplication()) << PlatformError();
    auto loopUntil = [](auto condition) {
        return test::WaitUntil([&] {
            for (const WindowEvent& e : Pump())
                WindowProc(e);
            if (g_active && !g_paused)
                GameFrame();
            return condition();
        });
    };
    ASSERT_TRUE(loopUntil([] { return SDL_GetKeyboardFocus() == Sdl().window; }));
    VirtualPad pad;
    ASSERT_TRUE(pad.Ok());
    const int start = g_map.scrollX;
    pad.Button(SDL_CONTROLLER_BUTTON_DPAD_RIGHT, true);
    EXPECT_TRUE(loopUntil([&] { return g_map.scrollX > start + 64; })) << "the d-pad did not steer";

    pad.Button(SDL_CONTROLLER_BUTTON_START, true);
    EXPECT_TRUE(loopUntil([] { return g_paused == 1; })) << "Start did not pause";
    pad.Button(SDL_CONTROLLER_BUTTON_START, false);
    Pump();  // the release, seen before the next press
    pad.Button(SDL_CONTROLLER_BUTTON_START, true);
    EXPECT_TRUE(loopUntil([] { return g_paused == 0; })) << "Start did not resume";
    const int resumed = g_map.scrollX;
    EXPECT_TRUE(loopUntil([&] { return g_map.scrollX > resumed; })) << "no steering after the pause";
    ReleaseDisplay();
}

}  // namespace
