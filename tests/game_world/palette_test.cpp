// The RIFF palette reader and the default 3-3-2 palette.
#include <gtest/gtest.h>

#include <cstring>

#include "game_files.h"
#include "palette.h"

namespace {

struct HeaderCase {
    const char* what;
    std::string bytes;
    bool accepted;
};

TEST(PaletteFile, HeaderChecksDecideBetweenFileAndDefault)
{
    const HeaderCase cases[] = {
        {"256 entries, version 0x0300", MakePalette("RIFF", "PAL ", "data", 0x0300, 256, 256), true},
        {"one entry announced, 256 present", MakePalette("RIFF", "PAL ", "data", 0x0300, 1, 256), true},
        {"zero entries", MakePalette("RIFF", "PAL ", "data", 0x0300, 0, 256), false},
        {"257 entries", MakePalette("RIFF", "PAL ", "data", 0x0300, 257, 256), false},
        {"version 0x0200", MakePalette("RIFF", "PAL ", "data", 0x0200, 256, 256), false},
        {"version byte-swapped", MakePalette("RIFF", "PAL ", "data", 0x0003, 256, 256), false},
        {"magic RIFX", MakePalette("RIFX", "PAL ", "data", 0x0300, 256, 256), false},
        {"form PAL without blank", MakePalette("RIFF", "PAL\0", "data", 0x0300, 256, 256), false},
        {"chunk DATA", MakePalette("RIFF", "PAL ", "DATA", 0x0300, 256, 256), false},
        {"header cut at 23 bytes", MakePalette("RIFF", "PAL ", "data", 0x0300, 256, 0).substr(0, 23), false},
        {"empty file", std::string(), false},
    };
    TempFolder dir;
    for (const auto& c : cases) {
        dir.Write("test.pal", c.bytes);
        PaletteEntry entries[256];
        std::memset(entries, 0xAB, sizeof entries);
        EXPECT_EQ(LoadPaletteFile("test.pal", entries), c.accepted) << c.what;
        PaletteEntry defaults[256];
        BuildDefaultPalette(defaults);
        if (c.accepted) {
            EXPECT_EQ(entries[200].red, 200) << c.what;
            EXPECT_EQ(entries[200].green, 55) << c.what;
            EXPECT_EQ(entries[200].blue, 100) << c.what;
        } else {
            EXPECT_EQ(std::memcmp(entries, defaults, sizeof defaults), 0) << c.what;
        }
    }
}

TEST(PaletteFile, MissingFileGivesDefaultPalette)
{
    TempFolder dir;
    PaletteEntry entries[256];
    PaletteEntry defaults[256];
    BuildDefaultPalette(defaults);
    EXPECT_FALSE(LoadPaletteFile("no-such.pal", entries));
    EXPECT_EQ(std::memcmp(entries, defaults, sizeof defaults), 0);
}

TEST(PaletteFile, ShortFileKeepsDefaultEntriesForTheRest)
{
    TempFolder dir;
    // 10 whole entries and 2 bytes of an 11th.
    std::string bytes = MakePalette("RIFF", "PAL ", "data", 0x0300, 256, 11);
    bytes.resize(bytes.size() - 2);
    dir.Write("short.pal", bytes);
    PaletteEntry entries[256];
    PaletteEntry defaults[256];
    BuildDefaultPalette(defaults);
    EXPECT_TRUE(LoadPaletteFile("short.pal", entries));
    EXPECT_EQ(entries[9].red, 9);
    EXPECT_EQ(entries[9].green, 246);
    for (int i = 10; i < 256; ++i) {
        EXPECT_EQ(entries[i].red, defaults[i].red) << i;
        EXPECT_EQ(entries[i].green, defaults[i].green) << i;
        EXPECT_EQ(entries[i].blue, defaults[i].blue) << i;
    }
}

TEST(PaletteFile, FlagsByteIsKept)
{
    TempFolder dir;
    std::string bytes = MakePalette("RIFF", "PAL ", "data", 0x0300, 256, 256);
    bytes[24 + 4 * 7 + 3] = 0x04;
    dir.Write("flags.pal", bytes);
    PaletteEntry entries[256];
    ASSERT_TRUE(LoadPaletteFile("flags.pal", entries));
    EXPECT_EQ(entries[7].flags, 0x04);
}

TEST(DefaultPalette, PrimaryEntries)
{
    struct Case {
        int index;
        int r, g, b;
    };
    const Case cases[] = {
        {0, 0, 0, 0}, {255, 255, 255, 255}, {0xE0, 255, 0, 0}, {0x1C, 0, 255, 0}, {3, 0, 0, 255},
        {0x24, 36, 36, 0}, {0x49, 72, 72, 85}, {0x92, 145, 145, 170},
    };
    PaletteEntry entries[256];
    BuildDefaultPalette(entries);
    for (const auto& c : cases) {
        EXPECT_EQ(entries[c.index].red, c.r) << c.index;
        EXPECT_EQ(entries[c.index].green, c.g) << c.index;
        EXPECT_EQ(entries[c.index].blue, c.b) << c.index;
        EXPECT_EQ(entries[c.index].flags, 0) << c.index;
    }
}

}  // namespace
