// The palette side of the display that needs no display: the RIFF palette
// reader and the default 3-3-2 palette. LoadPaletteFile itself is declared in
// display.h.
#pragma once

#include "display.h"

// Entry i: red ((i >> 5) & 7) * 255 / 7, green ((i >> 2) & 7) * 255 / 7,
// blue (i & 3) * 85, flags 0.
void BuildDefaultPalette(PaletteEntry entries[256]);
