#include "palette.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr std::size_t kHeaderSize = 24;
constexpr std::size_t kEntryCount = 256;

unsigned ReadLe16(const unsigned char* p)
{
    return static_cast<unsigned>(p[0]) | (static_cast<unsigned>(p[1]) << 8);
}

// The checks of the RIFF palette header; the two chunk sizes are not used.
bool HeaderIsValid(const unsigned char header[kHeaderSize])
{
    if (std::memcmp(header, "RIFF", 4) != 0 || std::memcmp(header + 8, "PAL ", 4) != 0 ||
        std::memcmp(header + 12, "data", 4) != 0)
        return false;
    if (ReadLe16(header + 20) != 0x0300)
        return false;
    unsigned count = ReadLe16(header + 22);
    return count >= 1 && count <= kEntryCount;
}

// Reads up to 256 entries of 4 bytes over the default palette. The entry
// area is read whole whatever the header's count says; a file that ends early
// leaves the remaining entries (and a torn last entry) at their defaults.
void ReadEntries(std::FILE* file, PaletteEntry entries[256])
{
    unsigned char raw[kEntryCount * 4];
    std::size_t got = std::fread(raw, 1, sizeof raw, file);
    std::size_t whole = got / 4;
    for (std::size_t i = 0; i < whole; ++i) {
        entries[i].red = raw[i * 4];
        entries[i].green = raw[i * 4 + 1];
        entries[i].blue = raw[i * 4 + 2];
        entries[i].flags = raw[i * 4 + 3];
    }
}

}  // namespace

void BuildDefaultPalette(PaletteEntry entries[256])
{
    for (int i = 0; i < 256; ++i) {
        entries[i].red = static_cast<std::uint8_t>(((i >> 5) & 7) * 255 / 7);
        entries[i].green = static_cast<std::uint8_t>(((i >> 2) & 7) * 255 / 7);
        entries[i].blue = static_cast<std::uint8_t>((i & 3) * 85);
        entries[i].flags = 0;
    }
}

bool LoadPaletteFile(const char* fileName, PaletteEntry entries[256])
{
    std::FILE* file = std::fopen(fileName, "rb");
    unsigned char header[kHeaderSize];
    if (file && std::fread(header, 1, kHeaderSize, file) == kHeaderSize && HeaderIsValid(header)) {
        BuildDefaultPalette(entries);
        ReadEntries(file, entries);
        std::fclose(file);
        return true;
    }
    if (file)
        std::fclose(file);
    Trace("Can't open palette file, using default 332.");
    BuildDefaultPalette(entries);
    return false;
}
