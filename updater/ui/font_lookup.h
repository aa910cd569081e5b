// Finds the installed face that stands in for a font family name.
#pragma once

#include "skin_static.h"

// Asks fontconfig for `family` in the language `lang` and returns the first
// matching face that can draw `sample` (a code point), so that a request for a
// CJK family never ends in a face without CJK glyphs. strFile is empty when no
// installed face has the character.
SKIN_FONT FindFontFace(const char* family, const char* lang, unsigned sample, int pixels);
