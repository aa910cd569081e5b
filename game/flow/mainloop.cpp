#include "mainloop.h"

#include <cstdio>

#include "display.h"
#include "gameflow.h"
#include "input.h"
#include "music.h"
#include "player.h"
#include "sprite.h"
#include "tilemap.h"

const char GAME_WINDOW_TITLE[] = "Gorbo\xEF\xBC\x88gorbo.example\xEF\xBC\x89";

int g_active = 0;
int g_paused = 0;
int g_showFps = 0;
CTimer g_frameClock;
CTimer g_fpsClock;
int g_fpsFrames = 0;
float g_fps = 0.0f;
float g_frameStep = 0.0f;
void (*g_frameObserver)(float step, std::uint8_t keys) = nullptr;

namespace {

bool s_quitPosted = false;
int s_exitCode = 0;
const char* s_startFailure = "";
bool s_failureFromPlatform = false;

void PostQuit(int code)
{
    s_quitPosted = true;
    s_exitCode = code;
}

// The window is closed: close the music, take the window down and let the
// loop end with status 0.
void OnClose()
{
    CloseMusic();
    CloseGameWindow();
    PostQuit(0);
}

// Deactivation always ends paused with the music stopped; activation always
// ends running with the music resumed and the frame clock reset, whatever
// the pause state was before.
void OnActivateApp(bool active)
{
    g_active = active ? 1 : 0;
    g_input.SetActive(active);
    g_paused = active ? 1 : 0;
    TogglePause();
}

// F4: rebuild the display in the other mode, showing the level's palette
// in both. A display that cannot be made leaves the game running without
// drawing (the display operations do nothing without their objects); the
// next F4 tries again.
void SwitchDisplayMode()
{
    ReleaseDisplay();
    g_fullscreen = !g_fullscreen;
    InitDisplay();
    ApplyLevelPalette();
    g_frameClock.Mark();
}

}  // namespace

void ResetMainLoop()
{
    s_quitPosted = false;
    s_exitCode = 0;
    g_active = 0;
    g_paused = 0;
    g_showFps = 0;
    g_fullscreen = 0;
    g_frameClock = CTimer();
    g_fpsClock = CTimer();
    g_fpsFrames = 0;
    g_fps = 0.0f;
    g_frameStep = 0.0f;
}

void ResetProgramState()
{
    CloseMusic();
    ResetMusicMute();
    ReleaseDisplay();
    ResetMainLoop();
    g_input.Release();
    g_level = 0;
    g_darkLevel = 0;
    g_frameKeys = 0;
    g_sprites.RemoveAll();
    g_map = CTileMap();
    g_prevKeys = 0;
    g_player.Init();
    g_player.Respawn(true);
    g_player.blinkPhase = 0;
    g_player.blinkClock = CTimer();
}

float FrameStep(const CTimer& now, const CTimer& previous)
{
    float step = now.SecondsSince(previous);
    if (step > MAX_FRAME_STEP)
        step = MAX_FRAME_STEP;
    return step;
}

void TogglePause()
{
    g_paused = !g_paused;
    if (g_paused) {
        StopMusic();
    } else {
        ResumeMusic();
        g_frameClock.Mark();
    }
}

void OnKeyDown(int key)
{
    switch (key) {
    case SYSKEY_PAUSE:
        TogglePause();
        break;
    case SYSKEY_ESCAPE:
        WindowProc(WindowEvent{WEV_CLOSE, 0});
        break;
    case SYSKEY_F4:
        SwitchDisplayMode();
        break;
    case SYSKEY_F5:
        g_showFps = !g_showFps;
        break;
    case SYSKEY_M:
        ToggleMusicMute();
        break;
    default:
        break;
    }
}

void WindowProc(const WindowEvent& event)
{
    switch (event.type) {
    case WEV_ACTIVATE:
        OnActivateApp(event.value != 0);
        break;
    case WEV_MOVING:
        g_active = 0;
        break;
    case WEV_MOVED:
        g_active = 1;
        break;
    case WEV_KEYDOWN:
        OnKeyDown(event.value);
        break;
    case WEV_CLOSE:
        if (!s_quitPosted)
            OnClose();
        break;
    case WEV_MUSIC_END:
        OnMusicEnded(static_cast<unsigned>(event.value));
        break;
    default:
        break;
    }
}

void DrawFrameRate()
{
    ++g_fpsFrames;
    CTimer now;
    now.Mark();
    float elapsed = now.SecondsSince(g_fpsClock);
    if (elapsed > 1.0f) {
        g_fps = static_cast<float>(g_fpsFrames) / elapsed;
        g_fpsClock = now;
        g_fpsFrames = 0;
    }
    if (g_showFps) {
        char text[64];
        std::snprintf(text, sizeof text, "FPS: %.2f", static_cast<double>(g_fps));
        DrawTextAt(10, 10, text);
    }
}

void GameFrame()
{
    CTimer now;
    now.Mark();
    float step = FrameStep(now, g_frameClock);
    g_frameClock = now;
    g_frameStep = step;
    UpdateWorld(step);
    if (g_frameObserver != nullptr)
        g_frameObserver(step, g_frameKeys);
    DrawFrame();
}

void DrawFrame()
{
    ClearBackBuffer();
    DrawWorld();
    DrawFrameRate();
    Present();
}

// Showing a window activates the application and places the window, so the
// loop starts active, unpaused, before the display and the game exist (the
// music has nothing to resume yet).
bool CreateGameWindow()
{
    if (!OpenGameWindow(GAME_WINDOW_TITLE))
        return false;
    WindowProc(WindowEvent{WEV_ACTIVATE, 1});
    WindowProc(WindowEvent{WEV_MOVED, 0});
    return true;
}

bool InitApplication()
{
    s_failureFromPlatform = true;
    if (!CreateGameWindow()) {
        s_startFailure = "cannot open the game window";
    } else if (!InitDisplay()) {
        s_startFailure = "cannot set up the display";
    } else if (!InitGame()) {
        s_startFailure = "no level file could be read (level/level0.dat, level/level1.dat)";
        s_failureFromPlatform = false;
    } else {
        return true;
    }
    ReleaseDisplay();
    return false;
}

int RunMessageLoop()
{
    g_frameClock.Mark();
    while (!s_quitPosted) {
        WindowEvent event;
        if (PollWindowEvent(event))
            WindowProc(event);
        else if (g_active && !g_paused)
            GameFrame();
        else
            WaitWindowEvent();
    }
    ReleaseDisplay();
    return s_exitCode;
}

int GameMain()
{
    g_showFps = 0;
    g_fullscreen = 0;
    MakeProgramFolderCurrent();
    if (!InitApplication()) {
        if (s_failureFromPlatform)
            std::fprintf(stderr, "gorbo: %s: %s\n", s_startFailure, PlatformError());
        else
            std::fprintf(stderr, "gorbo: %s\n", s_startFailure);
        CloseMusic();
        ShutdownPlatform();
        return 1;
    }
    int code = RunMessageLoop();
    ShutdownPlatform();
    return code;
}
