// The palette files and the default 3-3-2 palette.
#pragma once

#include "display_ops.h"

// Reads a RIFF palette file ("RIFF", "PAL ", "data", version 0x0300, 1 to
// 256 entries announced) into entries: true when the header checks pass, the
// entry area then read over the default palette. Otherwise the default
// palette, a trace text, and false.
bool LoadPaletteFile(const char* fileName, PaletteEntry entries[256]);

// Entry i: red ((i >> 5) & 7) * 255 / 7, green ((i >> 2) & 7) * 255 / 7,
// blue (i & 3) * 85, flags 0.
void BuildDefaultPalette(PaletteEntry entries[256]);
