// The game window's events on SDL2: SDL's events turned into the game's.
// Renderer resets and size changes are noted for the display here, game
// controllers connected and disconnected are opened and closed, and none
// of these is passed on.
#include "sdl_platform.h"
#include "window_ops.h"

namespace {

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
    case SDLK_m:
        return SYSKEY_M;
    default:
        return 0;
    }
}

bool ActivationEvent(int active, WindowEvent& out)
{
    SdlPlatform& sdl = Sdl();
    if (active == sdl.reportedActive)
        return false;
    sdl.reportedActive = active;
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
    case SDL_WINDOWEVENT_SIZE_CHANGED:
        Sdl().display.barsPainted = false;  // a new output, its bars not yet painted
        return false;
    default:
        return false;
    }
}

// Turns one SDL event into the game's event; false for events the game does
// not see (those the platform handles itself included).
bool Translate(const SDL_Event& e, WindowEvent& out)
{
    const Uint32 musicEvent = Sdl().musicEventType;
    if (musicEvent != 0 && e.type == musicEvent) {
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
    case SDL_CONTROLLERDEVICEADDED:
        ConnectController(e.cdevice.which);
        return false;
    case SDL_CONTROLLERDEVICEREMOVED:
        DisconnectController(e.cdevice.which);
        return false;
    case SDL_CONTROLLERBUTTONDOWN:
        // Start is the controller's Pause key.
        if (e.cbutton.button != SDL_CONTROLLER_BUTTON_START)
            return false;
        out = WindowEvent{WEV_KEYDOWN, SYSKEY_PAUSE};
        return true;
    case SDL_RENDER_TARGETS_RESET:
    case SDL_RENDER_DEVICE_RESET:
        Sdl().display.lost = true;
        return false;
    default:
        return false;
    }
}

}  // namespace

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
