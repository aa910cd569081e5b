// The game's drawing surface as the portable code sees it: a 640 x 480 back
// buffer, ten colour-keyed images, palettes, text and present. The operations
// are implemented by the platform layer (game/platform, SDL2); tests link a
// recording fake instead.
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
    bool Load(const char* path);
    void Reload(const char* path);
    void Release();
    // Copies src (already clipped by the caller) to (x, y) of the back buffer;
    // key-coloured pixels are skipped. Does nothing when no surface is held.
    void BltTo(int x, int y, const BltRect& src) const;

    Surface* surface = nullptr;
};

extern CImage g_imgTile;
extern CImage g_imgPlayer;
extern CImage g_imgCoin;
extern CImage g_imgMushroom;
extern CImage g_imgDebris;
extern CImage g_imgGhost;
extern CImage g_imgTurtle;
extern CImage g_imgBullet;
extern CImage g_imgExplode;
extern CImage g_imgFlower;

extern int g_fullscreen;

bool InitDisplay();
void ReleaseDisplay();
void RestoreDisplay();
bool LoadImages();
void ReloadImages();
void ReleaseImages();
bool LoadPaletteFile(const char* fileName, PaletteEntry entries[256]);
void ApplyPalette(const PaletteEntry entries[256]);
void ClearBackBuffer();
void DrawTextAt(int x, int y, const char* text);
void Present();
void Trace(const char* text);
