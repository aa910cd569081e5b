// A writer of zip archives that hold one deflated entry, as the update
// server serves them.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

struct ZIP_ENTRY_SOURCE {
    std::string strEntryName;   // stored name, UTF-8
    std::uint32_t nMode = 0644; // Unix permission bits, kept in the external attributes
    std::time_t tModified = 0;  // stored as DOS local time
};

struct ZIP_WRITE_RESULT {
    std::uint32_t nCrc = 0;          // CRC-32 of the entry's data
    std::uint64_t nLength = 0;       // the entry's uncompressed length
    std::uint64_t nArchiveLength = 0;
};

// "<what> <path>: <the reason errno gives>", the form of every file error
// the publisher reports (for instance "cannot read a/b: Permission denied").
std::string FileErrorText(const std::string& what, const std::string& path);

// Writes `archivePath` holding one entry with the contents of the file
// `sourcePath`, streamed through raw deflate. The entry is marked as made on
// a Unix host. False with `error` set when a file cannot be read or written,
// or the entry is too large for a zip without 64-bit extensions.
bool WriteSingleEntryZip(const std::string& archivePath, const std::string& sourcePath, const ZIP_ENTRY_SOURCE& entry,
                         ZIP_WRITE_RESULT& result, std::string& error);
