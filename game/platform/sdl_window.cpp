// The game window, its events and the clock on SDL2.
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "sdl_platform.h"
#include "timer.h"
#include "window_ops.h"

SDL_Window* g_window = nullptr;

namespace {

char s_error[256] = "no error";
bool s_videoUp = false;
Uint32 s_musicEvent = 0;
// The activation state last reported to the game: SDL repeats focus events
// (and the window is reported active on creation), while the game expects a
// notice only when the state changes.
int s_reportedActive = -1;

bool StartVideo()
{
    if (s_videoUp)
        return true;
    SDL_SetMainReady();
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_TIMER | SDL_INIT_EVENTS) != 0) {
        SetPlatformError(SDL_GetError());
        return false;
    }
    // SDL falls back on its off-screen driver when no display answers; the
    // game then has nowhere to show itself. That driver counts only when it
    // was asked for by name.
    const char* driver = SDL_GetCurrentVideoDriver();
    const char* asked = SDL_getenv("SDL_VIDEODRIVER");
    bool headless = driver && (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0);
    if (headless && !(asked && std::strcmp(asked, driver) == 0)) {
        SDL_Quit();
        SetPlatformError("no display available (set DISPLAY or WAYLAND_DISPLAY)");
        return false;
    }
    s_videoUp = true;
    return true;
}

void SetIcon()
{
    SDL_Surface* icon = SDL_LoadBMP("gorbo.bmp");
    if (!icon)
        return;
    SDL_SetColorKey(icon, SDL_TRUE, SDL_MapRGB(icon->format, 255, 60, 174));
    SDL_SetWindowIcon(g_window, icon);
    SDL_FreeSurface(icon);
}

int SystemKeyOf(SDL_Keycode key)
{
    switch (key) {
    case SDLK_PAUSE:
        return SYSKEY_PAUSE;
    case SDLK_ESCAPE:
        return SYSKEY_ESCAPE;
    case SDLK_F4:
        return SYSKEY_F4;
    case SDLK_F5:
        return SYSKEY_F5;
    default:
        return 0;
    }
}

bool ActivationEvent(int active, WindowEvent& out)
{
    if (active == s_reportedActive)
        return false;
    s_reportedActive = active;
    out = WindowEvent{WEV_ACTIVATE, active};
    return true;
}

bool TranslateWindowEvent(const SDL_WindowEvent& e, WindowEvent& out)
{
    switch (e.event) {
    case SDL_WINDOWEVENT_FOCUS_GAINED:
        return ActivationEvent(1, out);
    case SDL_WINDOWEVENT_FOCUS_LOST:
        return ActivationEvent(0, out);
    case SDL_WINDOWEVENT_MOVED:
        out = WindowEvent{WEV_MOVED, 0};
        return true;
    case SDL_WINDOWEVENT_CLOSE:
        out = WindowEvent{WEV_CLOSE, 0};
        return true;
    default:
        return false;
    }
}

// Turns one SDL event into the game's event; false for events the game does
// not see (those the platform handles itself included).
bool Translate(const SDL_Event& e, WindowEvent& out)
{
    if (s_musicEvent != 0 && e.type == s_musicEvent) {
        out = WindowEvent{WEV_MUSIC_END, e.user.code};
        return true;
    }
    switch (e.type) {
    case SDL_QUIT:
        out = WindowEvent{WEV_CLOSE, 0};
        return true;
    case SDL_WINDOWEVENT:
        return TranslateWindowEvent(e.window, out);
    case SDL_KEYDOWN: {
        int key = SystemKeyOf(e.key.keysym.sym);
        if (key == 0)
            return false;
        out = WindowEvent{WEV_KEYDOWN, key};
        return true;
    }
    case SDL_RENDER_TARGETS_RESET:
    case SDL_RENDER_DEVICE_RESET:
        MarkDisplayLost();
        return false;
    default:
        return false;
    }
}

}  // namespace

void SetPlatformError(const char* text)
{
    std::snprintf(s_error, sizeof s_error, "%s", text ? text : "unknown error");
}

const char* PlatformError()
{
    return s_error;
}

Uint32 MusicEventType()
{
    return s_musicEvent;
}

std::uint32_t GetTickMilliseconds()
{
    return SDL_GetTicks();
}

bool OpenGameWindow(const char* title)
{
    if (!StartVideo())
        return false;
    if (s_musicEvent == 0) {
        Uint32 type = SDL_RegisterEvents(1);
        if (type != static_cast<Uint32>(-1))
            s_musicEvent = type;
    }
    g_window = SDL_CreateWindow(title, SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, 640, 480,
                                SDL_WINDOW_SHOWN);
    if (!g_window) {
        SetPlatformError(SDL_GetError());
        return false;
    }
    SetIcon();
    s_reportedActive = 1;
    return true;
}

void CloseGameWindow()
{
    if (g_window)
        SDL_HideWindow(g_window);
}

bool PollWindowEvent(WindowEvent& event)
{
    SDL_Event e;
    while (SDL_PollEvent(&e)) {
        if (Translate(e, event))
            return true;
    }
    return false;
}

void WaitWindowEvent()
{
    SDL_WaitEvent(nullptr);
}

void MakeProgramFolderCurrent()
{
    char* base = SDL_GetBasePath();
    if (!base)
        return;
    if (chdir(base) != 0) {
        // The data files are then looked for in the current folder.
    }
    SDL_free(base);
}

void ShutdownPlatform()
{
    ShutdownMixer();
    if (g_window) {
        SDL_DestroyWindow(g_window);
        g_window = nullptr;
    }
    if (s_videoUp) {
        SDL_Quit();
        s_videoUp = false;
    }
}
