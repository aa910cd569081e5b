// Reading a whole file for the file digest: positioned reads into the
// caller's buffer, and a read-only mapping of a whole file (kept for the
// digest benchmark's comparison; the digest itself reads, because a mapped
// file that another process shrinks faults on the lost pages).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// An existing regular file opened for reading, with its size when opened.
struct FILE_READER {
    int fd = -1;
    uint64_t size = 0;
    int64_t changeSeconds = 0;  // the file's status-change time when opened
    int64_t changeNanoseconds = 0;
};

// Opens an existing regular file for reading without blocking (a FIFO or a
// device is refused) and records its size. False for a missing, unreadable
// or non-regular file, or a path that cannot be converted; '\' separates
// folders as in every path the updater composes.
bool OpenFileReader(const std::wstring& path, FILE_READER* file);

// Reads up to length bytes at offset, retrying interrupted calls. The count
// read (less than length only at the end of the file), or -1 on an error.
int64_t ReadFileAt(const FILE_READER* file, uint64_t offset, unsigned char* buffer, size_t length);

// True while the open file still has the size and status-change time
// recorded by OpenFileReader and is still linked into a folder: false once
// it was written, truncated, extended, removed or replaced by a rename since
// the open.
bool FileReaderUnchanged(const FILE_READER* file);

// Closes a reader filled by OpenFileReader (an unopened one is ignored).
void CloseFileReader(FILE_READER* file);

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
