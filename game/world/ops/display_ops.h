// What the game's display needs of the platform: a 640 x 480 back buffer in
// one of two modes (32-bit windowed; 8-bit with one shared 256-entry palette
// in full screen), colour-keyed images, a colour fill, text, a present step,
// and a debug text sink. Implemented by the platform layer: game/platform/sdl
// on SDL2, game/platform/null drawing nothing. Called from the game's one
// thread only.
//
// Every operation tolerates a display that is not made, or only partly: it
// then does nothing, so a failed rebuild leaves the game running unseen.
#pragma once

#include <cstdint>

// A rectangle of surface pixels, right and bottom exclusive.
struct BltRect {
    int left;
    int top;
    int right;
    int bottom;
};

// One palette entry in the PALETTEENTRY layout: red, green, blue, flags.
struct PaletteEntry {
    std::uint8_t red;
    std::uint8_t green;
    std::uint8_t blue;
    std::uint8_t flags;
};

struct Surface;  // defined by the platform layer

// One bitmap held in a surface of the back buffer's format, with the colour key
// RGB(255, 60, 174).
class CImage {
public:
    // Reads the bitmap file into a new surface; false, holding nothing, when
    // the file is missing, malformed or too large.
    bool Load(const char* path);
    // Copies the file again into the surface already held; nothing without one.
    void Reload(const char* path);
    void Release();
    // Copies src (already clipped by the caller) to (x, y) of the back buffer;
    // key-coloured pixels are skipped. Does nothing when no surface is held.
    void BltTo(int x, int y, const BltRect& src) const;

    Surface* surface = nullptr;
};

// Makes the display objects for the mode. initial is the palette the images
// are matched against. In full screen the images load as its indices and the
// sky colour is fixed against it. Windowed, the images keep their own
// colours, which the picture shows for as long as initial is the palette
// applied; null: the picture always shows the images' own colours. False
// when the display cannot be made (PlatformError says why); what was made is
// then freed by CloseDisplay.
bool OpenDisplay(bool fullscreen, const PaletteEntry initial[256]);
// Frees what OpenDisplay made. Release the images first.
void CloseDisplay();
// Makes again what a lost display took; the images' pixels must then be
// copied again from their files (CImage::Reload).
void RestoreSurfaces();
// Shows the picture through the palette from the next frame on. Full
// screen: sets all 256 entries of the shared palette. Windowed: each colour
// shows as the entry of entries at its nearest entry of the initial palette
// when entries changed that entry, and as itself when not; so the initial
// palette shows the images' own colours, and another one what the full
// screen shows with it.
void ApplyPalette(const PaletteEntry entries[256]);
// Fills the back buffer with the sky colour RGB(107, 136, 255).
void ClearBackBuffer();
// Yellow text over the back buffer, its top-left at (x, y).
void DrawTextAt(int x, int y, const char* text);
// Shows the back buffer. False, showing nothing, when the display was lost
// since the last present: the caller restores it (RestoreSurfaces, then the
// images reloaded).
bool PresentBackBuffer();
// The debug text sink; it shows nothing in the delivered game.
void Trace(const char* text);
