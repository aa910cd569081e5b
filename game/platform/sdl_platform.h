// State the SDL implementations of the game's platform operations share.
// Only the platform layer includes this header.
#pragma once

#include <SDL.h>

// The game window; null until OpenGameWindow succeeds and after
// ShutdownPlatform.
extern SDL_Window* g_window;

// The registered event type that carries the end of a music play from the
// audio thread to the game's thread (code: the play's token). 0 until
// registered.
Uint32 MusicEventType();

// Called by the event pump when the renderer lost its textures or its
// device: the next Present restores the display and reloads the images.
void MarkDisplayLost();

// Closes the audio device and the mixer (part of ShutdownPlatform).
void ShutdownMixer();

// Records the failure text that PlatformError reports.
void SetPlatformError(const char* text);
