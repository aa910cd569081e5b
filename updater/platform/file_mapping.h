// A read-only mapping of a whole file, for hashing its contents without
// copying them. Used by the file digest.
#pragma once

#include <cstdint>
#include <string>

enum class FileMapResult {
    OpenFailed,  // missing, not a regular file, or not readable
    Empty,       // opened; zero bytes, nothing mapped
    MapFailed,   // opened and sized, but the contents could not be mapped
    Mapped,      // data and size valid until UnmapWholeFile
};

struct FILE_MAPPING_VIEW {
    const unsigned char* data = nullptr;
    uint64_t size = 0;  // the file's size whenever it was opened
};

// Opens an existing file for reading and maps all of it. The file descriptor
// is closed before returning, whatever the result.
FileMapResult MapWholeFile(const std::wstring& path, FILE_MAPPING_VIEW* view);

// Lets the system drop the mapped pages of [offset, offset + length) from the
// process's resident memory once the caller has read them; the view stays
// valid and the pages come back from the page cache if read again.
void ReleaseMappedRange(const FILE_MAPPING_VIEW* view, uint64_t offset, uint64_t length);

// Unmaps a view filled by MapWholeFile (a view with no data is ignored).
void UnmapWholeFile(FILE_MAPPING_VIEW* view);
