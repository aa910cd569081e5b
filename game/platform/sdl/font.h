// The game's small built-in text face: 5 x 7 cells for the digits, the
// capital letters (small letters are drawn as capitals) and a few signs.
#pragma once

#include <cstdint>

constexpr int FONT_CELL_WIDTH = 5;
constexpr int FONT_CELL_HEIGHT = 7;

// Seven rows of the character's cell, bit 4 the leftmost pixel; all zero for
// characters the face does not have (they are drawn as blanks).
const std::uint8_t* FontGlyph(char c);
