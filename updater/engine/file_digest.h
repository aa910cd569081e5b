// The length and CRC-32 of the file examined last, with its path. Used by the
// update worker's thread only; one record is reused for every file.
#pragma once

#include <cstdint>
#include <string>

#include "win_types.h"

// The standard CRC-32 of zip and zlib (reflected polynomial 0xEDB88320,
// initial value and final complement 0xFFFFFFFF). A length of 0 gives 0.
uint32_t CalcCrc32(uint32_t length, const unsigned char* data);

class CFileDigest {
public:
    CFileDigest();

    // Fills the record for the file at path, hashing it from a read-only
    // mapping. Returns FALSE (size 0, empty text) when the file cannot be
    // opened; an empty file gives TRUE, size 0 and the text "0". When the
    // contents cannot be mapped the result is TRUE with the size set and an
    // empty text, which never equals a listed CRC. The path is always recorded.
    BOOL Compute(const std::wstring& path);

    // Unpacks the archive at m_strPath beside itself (ExtractArchiveBeside).
    BOOL Unpack();

    uint64_t m_dwSize;       // file size in bytes, all 64 bits
    std::wstring m_strPath;  // path given to the last Compute
    wchar_t m_szCrc[33];     // CRC-32 as "%X" text, NUL-terminated; empty when unknown
};
