// The SDL platform's state and its lifetime: video, audio and the game
// controllers start and end, the game window, the error text, the program's
// folder and the clock.
#include "sdl_platform.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "clock_ops.h"
#include "window_ops.h"

namespace {

bool StartVideo()
{
    SdlPlatform& sdl = Sdl();
    if (sdl.videoUp)
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
    sdl.videoUp = true;
    return true;
}

void RegisterMusicEvent()
{
    SdlPlatform& sdl = Sdl();
    if (sdl.musicEventType != 0)
        return;
    Uint32 type = SDL_RegisterEvents(1);
    if (type != static_cast<Uint32>(-1))
        sdl.musicEventType = type;
}

void SetIcon(SDL_Window* window)
{
    SDL_Surface* icon = SDL_LoadBMP("gorbo.bmp");
    if (!icon)
        return;
    SDL_SetColorKey(icon, SDL_TRUE, SDL_MapRGB(icon->format, 255, 60, 174));
    SDL_SetWindowIcon(window, icon);
    SDL_FreeSurface(icon);
}

void CloseAudio()
{
    SdlAudioState& audio = Sdl().audio;
    FreeMusic();
    if (audio.device == SdlAudioState::Device::Open) {
        Mix_CloseAudio();
        Mix_Quit();
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
    audio.device = SdlAudioState::Device::Untried;
}

void CloseControllers()
{
    SdlInputState& input = Sdl().input;
    for (SDL_GameController* c : input.controllers)
        SDL_GameControllerClose(c);
    input.controllers.clear();
    if (input.controllersUp)
        SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
    input.controllersUp = false;
}

}  // namespace

SdlPlatform g_sdlPlatform;

void SetPlatformError(const char* text)
{
    std::snprintf(Sdl().error, sizeof Sdl().error, "%s", text ? text : "unknown error");
}

const char* PlatformError()
{
    return Sdl().error;
}

std::uint32_t GetTickMilliseconds()
{
    return SDL_GetTicks();
}

// Debian's mixer prefers FluidSynth when a General MIDI sound font is
// installed; it holds a piece about 3 s past its end, far too long a gap
// before a loop. The built-in Timidity (with freepats) ends on time.
bool OpenAudio(void (*finished)())
{
    SdlAudioState& audio = Sdl().audio;
    if (audio.device != SdlAudioState::Device::Untried)
        return audio.device == SdlAudioState::Device::Open;
    audio.device = SdlAudioState::Device::Failed;
    SDL_SetHint("SDL_MIXER_DISABLE_FLUIDSYNTH", "1");
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
        return false;
    Mix_Init(MIX_INIT_MID);
    if (Mix_OpenAudio(44100, MIX_DEFAULT_FORMAT, 2, 2048) != 0) {
        Mix_Quit();
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    Mix_HookMusicFinished(finished);
    Mix_VolumeMusic(audio.muted ? 0 : MIX_MAX_VOLUME);
    audio.device = SdlAudioState::Device::Open;
    return true;
}

// The hook also runs inside Mix_HaltMusic: clearing the token first makes
// it report nothing.
void SilenceMusic()
{
    SDL_AtomicSet(&Sdl().audio.endToken, 0);
    Mix_HaltMusic();
}

void FreeMusic()
{
    SdlAudioState& audio = Sdl().audio;
    if (!audio.music)
        return;
    SilenceMusic();
    Mix_FreeMusic(audio.music);
    audio.music = nullptr;
}

bool StartControllers()
{
    SdlInputState& input = Sdl().input;
    if (!input.controllersUp)
        input.controllersUp = SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) == 0;
    return input.controllersUp;
}

namespace {

std::vector<SDL_GameController*>::iterator FindController(SDL_JoystickID id)
{
    std::vector<SDL_GameController*>& open = Sdl().input.controllers;
    return std::find_if(open.begin(), open.end(), [id](SDL_GameController* c) {
        return SDL_JoystickInstanceID(SDL_GameControllerGetJoystick(c)) == id;
    });
}

}  // namespace

void ConnectController(int deviceIndex)
{
    SdlInputState& input = Sdl().input;
    if (!input.controllersUp || !SDL_IsGameController(deviceIndex))
        return;
    if (FindController(SDL_JoystickGetDeviceInstanceID(deviceIndex)) != input.controllers.end())
        return;
    SDL_GameController* c = SDL_GameControllerOpen(deviceIndex);
    if (c)
        input.controllers.push_back(c);
}

void DisconnectController(SDL_JoystickID id)
{
    auto it = FindController(id);
    if (it == Sdl().input.controllers.end())
        return;
    SDL_GameControllerClose(*it);
    Sdl().input.controllers.erase(it);
}

bool OpenGameWindow(const char* title)
{
    SdlPlatform& sdl = Sdl();
    if (!StartVideo())
        return false;
    RegisterMusicEvent();
    // The player may resize or maximise the window; the display scales the
    // picture to it, never below its own size.
    sdl.window = SDL_CreateWindow(title, SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, 640, 480,
                                  SDL_WINDOW_SHOWN | SDL_WINDOW_RESIZABLE);
    if (!sdl.window) {
        SetPlatformError(SDL_GetError());
        return false;
    }
    SDL_SetWindowMinimumSize(sdl.window, 640, 480);
    SetIcon(sdl.window);
    sdl.reportedActive = 1;
    return true;
}

void CloseGameWindow()
{
    if (Sdl().window)
        SDL_HideWindow(Sdl().window);
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
    SdlPlatform& sdl = Sdl();
    CloseAudio();
    CloseControllers();
    if (sdl.window) {
        SDL_DestroyWindow(sdl.window);
        sdl.window = nullptr;
    }
    if (sdl.videoUp) {
        SDL_Quit();
        sdl.videoUp = false;
    }
}
