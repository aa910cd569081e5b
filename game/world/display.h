// The display as the game uses it: the mode flag, the ten image sheets and
// the steps that make, rebuild, restore and present the display over the
// platform's drawing operations (display_ops.h).
#pragma once

#include "display_ops.h"

// 1: full screen (8-bit, palettised); 0: windowed. F4 inverts it between a
// ReleaseDisplay and an InitDisplay.
extern int g_fullscreen;

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

// Makes the display for g_fullscreen against "bright.pal", then loads the
// ten sheets: they are always matched to it, and windowed the picture shows
// their own colours while "bright.pal" is the palette applied.
// False when the display cannot be made; no sheet is loaded then.
bool InitDisplay();
// The sheets, then the display objects; also safe on a partly made display.
void ReleaseDisplay();
// After the display was lost: its surfaces made again, the sheets re-read.
void RestoreDisplay();
// Present of the finished frame; a lost display is restored instead, and
// that frame is not shown.
void Present();

// The ten sheets from "graphics/<name>.bmp", always in the same order. A
// sheet that fails to load stays empty and draws nothing; LoadImages is
// therefore always true.
bool LoadImages();
void ReloadImages();
void ReleaseImages();
