// The operations the zip reader needs from the OS: reading a file at a
// position, creating and writing a file, folders, the current folder, and a
// file's times and permission bits.
//
// Paths are wide strings; '\' and '/' both separate folders ('\' becomes '/'
// on this platform). Every function reports failure through its result and
// never throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// An open file; ZIP_NO_FILE when none.
using ZipFileHandle = int;
constexpr ZipFileHandle ZIP_NO_FILE = -1;

// Opens an existing regular file for reading (others may read it too).
ZipFileHandle ZipOpenForReading(const std::wstring& path);

// Size of an open file; false when it cannot be told.
bool ZipFileLength(ZipFileHandle file, uint64_t* length);

// Reads up to size bytes at offset. Returns the number of bytes read (fewer
// only at the end of the file), or -1 when the file cannot be positioned or
// read there.
int64_t ZipReadAt(ZipFileHandle file, uint64_t offset, void* buffer, size_t size);

// Creates (or truncates) a file for writing. readOnly clears the write bits;
// unixMode, when not 0, gives the exact permission bits (0777 mask) instead.
ZipFileHandle ZipCreateForWriting(const std::wstring& path, bool readOnly, uint32_t unixMode);

// Writes all bytes; false when any could not be written.
bool ZipWriteAll(ZipFileHandle file, const void* data, size_t size);

// Sets access and modification times (FILETIME values: 100 ns steps since
// 1601-01-01 UTC). The creation time cannot be set on this platform.
bool ZipSetFileTimes(ZipFileHandle file, uint64_t accessTime, uint64_t modificationTime);

void ZipCloseFile(ZipFileHandle file);

// True when something (file or folder) exists at path.
bool ZipPathExists(const std::wstring& path);

// True when path itself is a folder (a symbolic link to one is not).
bool ZipIsRealFolder(const std::wstring& path);

// Creates one folder; an existing folder is no error.
bool ZipCreateFolder(const std::wstring& path);

// The process's current folder; false when it cannot be told.
bool ZipCurrentFolder(std::wstring* folder);
