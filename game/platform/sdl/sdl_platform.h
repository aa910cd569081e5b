// The SDL platform's one state: the window, the display's renderer, texture,
// surfaces and palette, the audio device and the loaded piece, and what the
// event pump tells the others. Only the files of this folder (and the tests
// of this platform) include this header.
//
// sdl_platform.cpp owns the state: it starts and ends video, audio and the
// game controllers, opens and closes controllers, and makes and destroys the
// window. The parts (sdl_events.cpp, sdl_display.cpp,
// sdl_keyboard.cpp, sdl_mixer.cpp) each implement one operation header of
// the world layer over this state and the functions below; no part calls
// another part.
#pragma once

#include <SDL.h>
#include <SDL_mixer.h>

#include <cstdint>
#include <vector>

#include "sdl_colours.h"

struct SdlDisplayState {
    SDL_Renderer* renderer = nullptr;
    SDL_Texture* texture = nullptr;
    SDL_Surface* back = nullptr;     // the back buffer
    SDL_Surface* stage = nullptr;    // full screen: the texture's pixel format (for the palette look-up)
    SDL_Palette* palette = nullptr;  // full screen only; shared by every 8-bit surface
    bool backInTexture = false;      // windowed: back is the locked texture's memory
    bool fullscreen = false;
    Uint32 skyColor = 0;   // in the back buffer's format
    Uint32 textColor = 0;  // in the back buffer's format
    // Windowed: how the images' own colours show through the applied
    // palette, and the generation of that palette (bumped by every
    // ApplyPalette); an image is recoloured when it is next drawn after a
    // change.
    CColourTranslation colours;
    unsigned paletteGeneration = 0;
    // Full screen: every pair of palette indices (two bytes as they lie in
    // the back buffer) as the two texture pixels they show (eight bytes as
    // they lie in the texture), and the palette version it was made from.
    std::vector<std::uint64_t> expandPairs;
    Uint32 expandVersion = 0;
    // The bars around the scaled picture, as last painted: output size and
    // colour. The software renderer keeps its output between presents, so it
    // paints them again only when these change or barsPainted is cleared
    // (the event pump clears it when the window's size changes).
    bool keepsOutput = false;  // the renderer is SDL's software one
    bool barsPainted = false;
    int barsWidth = 0;
    int barsHeight = 0;
    Uint32 barsColour = 0;
    // Set by the event pump when the renderer lost its textures or its
    // device; the next present restores instead of showing.
    bool lost = false;
};

struct SdlAudioState {
    enum class Device { Untried, Open, Failed };
    Device device = Device::Untried;
    Mix_Music* music = nullptr;  // the loaded piece
    bool muted = false;          // the music's volume is off; applied when the device opens
    // Token of the play in progress whose end is to be reported; 0: none.
    // Read by the mixer's hook on the audio thread.
    SDL_atomic_t endToken{};
};

struct SdlInputState {
    bool controllersUp = false;  // SDL's game-controller subsystem started
    // The open game controllers, in the order they were connected.
    std::vector<SDL_GameController*> controllers;
};

struct SdlPlatform {
    SDL_Window* window = nullptr;  // null until OpenGameWindow succeeds and after ShutdownPlatform
    bool videoUp = false;
    // The registered event type that carries the end of a music play from
    // the audio thread to the game's thread (code: the play's token). 0 until
    // registered.
    Uint32 musicEventType = 0;
    // The activation state last reported to the game: SDL repeats focus
    // events (and the window is reported active on creation), while the game
    // expects a notice only when the state changes.
    int reportedActive = -1;
    char error[256] = "no error";
    SdlDisplayState display;
    SdlAudioState audio;
    SdlInputState input;
};

// The one state, defined in sdl_platform.cpp.
extern SdlPlatform g_sdlPlatform;
inline SdlPlatform& Sdl()
{
    return g_sdlPlatform;
}

// Records the failure text that PlatformError reports.
void SetPlatformError(const char* text);

// Opens the audio device and the MIDI decoder on the first call, with
// finished as the mixer's "music finished" hook; later calls answer whether
// that worked.
bool OpenAudio(void (*finished)());
// Halts the loaded piece; the halt is never reported as its end.
void SilenceMusic();
// Halts and frees the loaded piece, if any.
void FreeMusic();

// Starts SDL's game controllers; those connected now and later arrive as
// device events, which the event pump answers with the two below. False
// when there are none to be had (the keyboard still works).
bool StartControllers();
// Opens the controller of a device-added event (its device index); one that
// cannot be opened, or is open already, is left as it is.
void ConnectController(int deviceIndex);
// Closes the controller of a device-removed event (its instance id).
void DisconnectController(SDL_JoystickID id);
