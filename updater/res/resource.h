// Tovarin's resources, embedded into the executable at build time from the
// files beside this header.
#pragma once

#include <cstddef>

constexpr int IDS_SOCKET_INIT_FAILED = 103;  // string: sockets could not start
constexpr int IDR_MAINFRAME = 128;           // icon.bmp (magenta is transparent)
constexpr int IDR_SKIN = 129;                // skin.bmp, 566 x 73
constexpr int IDB_BAR_LEFT = 130;            // bar_left.bmp, 8 x 18
constexpr int IDB_BAR_CELL = 131;            // bar_cell.bmp, 8 x 18
constexpr int IDB_BAR_RIGHT = 132;           // bar_right.bmp, 8 x 18

struct RESOURCE_DATA {
    const unsigned char* pData;  // null when the resource does not exist
    std::size_t nSize;
};

// The bytes of a file resource; {nullptr, 0} for an unknown id.
RESOURCE_DATA FindResourceData(int id);

// A string resource as UTF-8; empty for an unknown id.
const char* LoadResourceString(int id);
