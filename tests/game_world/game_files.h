// Files for the game's tests: a temporary folder made current, and the bytes
// of palette and level files.
#pragma once

#include <string>

#include "temp_folder.h"

// A temporary folder with a "level" folder in it, made current for the
// test's lifetime.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    std::string Path(const std::string& name) const;
    void Write(const std::string& name, const std::string& bytes) const;

private:
    test::TempFolder m_folder;
    std::string m_dir;
    std::string m_previous;
};

// A RIFF palette file's bytes: header fields as given, then `entries` entries
// whose colour i is (i, 255 - i, i / 2).
std::string MakePalette(const char* magic, const char* form, const char* chunk, unsigned version,
                        unsigned count, int entries);
// A level file: dark flag, cols x rows with a ground row, no enemies.
std::string MakeLevel(int dark, int cols, int rows);
