// The display, the progress window and its events on SDL2.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "sdl_front.h"

namespace {

// The event type that wakes the window's thread; registered with the first
// window, read by posting threads afterwards.
std::atomic<Uint32> g_wakeEvent{static_cast<Uint32>(-1)};

bool HaveDisplay()
{
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
}

SDL_HitTestResult SDLCALL HitTest(SDL_Window*, const SDL_Point* point, void* data)
{
    const auto* window = static_cast<const FRONT_WINDOW*>(data);
    return window->drag(window->owner, point->x, point->y) ? SDL_HITTEST_DRAGGABLE : SDL_HITTEST_NORMAL;
}

FRONT_EVENT Translate(const SDL_Event& event)
{
    if (event.type == g_wakeEvent.load()) {
        return FRONT_EVENT_WAKE;
    }
    switch (event.type) {
    case SDL_QUIT:
        return FRONT_EVENT_CLOSE;
    case SDL_KEYDOWN:
        if (event.key.keysym.sym == SDLK_ESCAPE) {
            return FRONT_EVENT_ESCAPE;
        }
        if (event.key.keysym.sym == SDLK_RETURN || event.key.keysym.sym == SDLK_KP_ENTER) {
            return FRONT_EVENT_ENTER;
        }
        return FRONT_EVENT_OTHER;
    case SDL_WINDOWEVENT:
        switch (event.window.event) {
        case SDL_WINDOWEVENT_CLOSE:
            return FRONT_EVENT_CLOSE;
        case SDL_WINDOWEVENT_EXPOSED:
        case SDL_WINDOWEVENT_SHOWN:
        case SDL_WINDOWEVENT_RESTORED:
            return FRONT_EVENT_EXPOSED;
        default:
            return FRONT_EVENT_OTHER;
        }
    default:
        return FRONT_EVENT_OTHER;
    }
}

}  // namespace

// SDL falls back to its off-screen driver when the display named in the
// environment cannot be reached; a window nobody can see is no front end,
// unless that driver was asked for by name.
bool OpenFrontDisplay()
{
    if (!HaveDisplay() || SDL_Init(SDL_INIT_VIDEO) != 0) {
        return false;
    }
    const char* driver = SDL_GetCurrentVideoDriver();
    const char* wanted = std::getenv("SDL_VIDEODRIVER");
    const bool invisible = driver && (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0);
    if ((invisible && !(wanted && std::strcmp(wanted, driver) == 0)) || (!TTF_WasInit() && TTF_Init() != 0)) {
        SDL_Quit();
        return false;
    }
    return true;
}

void CloseFrontDisplay()
{
    TTF_Quit();
    SDL_Quit();
}

void ShowStartupMessage(const std::string& title, const char* text)
{
    if (SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_WARNING, title.c_str(), text, nullptr) != 0) {
        std::fprintf(stderr, "%s: %s\n", title.c_str(), text);
    }
}

FRONT_WINDOW* CreateFrontWindow(const char* title, int cx, int cy, FRONT_DRAG_TEST drag, const void* owner)
{
    // The window is painted through a plain window surface: an accelerated
    // one would bring up a GL stack, which costs far more than the blits.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    if (g_wakeEvent.load() == static_cast<Uint32>(-1)) {
        g_wakeEvent.store(SDL_RegisterEvents(1));
    }
    auto* window = new (std::nothrow) FRONT_WINDOW{nullptr, drag, owner};
    if (!window) {
        return nullptr;
    }
    window->window = SDL_CreateWindow(title, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, cx, cy,
                                      SDL_WINDOW_BORDERLESS | SDL_WINDOW_HIDDEN);
    if (!window->window) {
        delete window;
        return nullptr;
    }
    // Without a window manager that honours it (or under the dummy driver)
    // the window simply cannot be dragged.
    if (drag) {
        SDL_SetWindowHitTest(window->window, HitTest, window);
    }
    return window;
}

void DestroyFrontWindow(FRONT_WINDOW* window)
{
    if (window) {
        SDL_DestroyWindow(window->window);
        delete window;
    }
}

void SetFrontWindowIcon(FRONT_WINDOW* window, const FRONT_IMAGE* icon)
{
    if (window && icon) {
        SDL_SetWindowIcon(window->window, icon->surface);
    }
}

void PlaceFrontWindow(FRONT_WINDOW* window, int cx, int cy)
{
    SDL_SetWindowSize(window->window, cx, cy);
    SDL_SetWindowPosition(window->window, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED);
}

void ShowFrontWindow(FRONT_WINDOW* window)
{
    SDL_ShowWindow(window->window);
}

bool PresentFrontFrame(FRONT_WINDOW* window, const FRONT_IMAGE* frame)
{
    SDL_Surface* screen = SDL_GetWindowSurface(window->window);
    if (!screen || !frame) {
        return false;
    }
    SDL_SetSurfaceBlendMode(frame->surface, SDL_BLENDMODE_NONE);
    SDL_BlitSurface(frame->surface, nullptr, screen, nullptr);
    return SDL_UpdateWindowSurface(window->window) == 0;
}

FRONT_EVENT WaitFrontEvent(FRONT_WINDOW*, int timeoutMs)
{
    SDL_Event event;
    return SDL_WaitEventTimeout(&event, timeoutMs) ? Translate(event) : FRONT_EVENT_NONE;
}

FRONT_EVENT PollFrontEvent(FRONT_WINDOW*)
{
    SDL_Event event;
    return SDL_PollEvent(&event) ? Translate(event) : FRONT_EVENT_NONE;
}

void WakeFrontWindow(FRONT_WINDOW*)
{
    const Uint32 type = g_wakeEvent.load();
    if (type != static_cast<Uint32>(-1)) {
        SDL_Event wake{};
        wake.type = type;
        SDL_PushEvent(&wake);
    }
}

std::uint32_t FrontTicks()
{
    return SDL_GetTicks();
}
