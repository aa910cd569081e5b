// Files for the game's tests: a temporary folder made current, and the bytes
// of palette and level files.
#pragma once

#include <string>
#include <vector>

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

// A level file drawn as text rows, top row first, all of one width; fewer
// than 15 rows are padded with empty rows on top. Cells:
//   '.' or ' '  empty
//   '#'  ground top (solid, picture 1)     '='  earth (solid, picture 3)
//   'X'  plain solid block (picture 6)     'B'  brick (picture 7)
//   'C'  coin block (picture 8)            'P'  power block (picture 9)
//   'U'  emptied block (solid, picture 18)
// Enemies stand in their cell: 'g' a ghost at the cell's top-left, 't' a
// turtle and 'w' a winged turtle 16 px higher (48 px tall, feet at the
// cell's bottom); their cells are empty.
std::string LevelFromRows(const std::vector<std::string>& rows, int dark = 0);
