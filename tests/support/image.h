// Pictures in tests: screenshots read back from the X server, small BMP
// files made from a colour function, and BMP files read.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace test {

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
};

// An 8-bit RGB picture, rows top to bottom.
struct Screenshot {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;

    Rgb At(int x, int y) const;
    // The same pixel as 0xRRGGBB.
    std::uint32_t Pixel(int x, int y) const;
    // True when both pictures agree on every pixel of [x0, x1) x [y0, y1).
    bool SameRegion(const Screenshot& other, int x0, int y0, int x1, int y1) const;
    // Binary PPM (P6, maxval 255).
    bool LoadPpm(const std::string& path);
    bool SavePpm(const std::string& path) const;
};

// A 24-bit bottom-up BMP file of the given size from a colour function.
std::string MakeBmp(int width, int height, Rgb (*colour)(int x, int y));
// A 24-bit uncompressed BMP file (bottom-up or top-down) as a picture, such
// as the game's sheets; false for anything else.
bool ReadBmp(const std::string& path, Screenshot& picture);

} // namespace test
