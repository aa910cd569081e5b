// Zip archive reader: opens an archive, reads the first entry of its central
// directory and writes that entry's data into a file, with the entry's
// attributes and time stamps. Only the first entry of an archive is ever read.
//
// A reader is used by one thread from open to close; readers share nothing.
// No function throws; failures are reported through the result codes below.
#pragma once

#include <cstdint>
#include <string>

#include "win_types.h"

// Results of ExtractFirstZipEntry (and of GetFirstZipEntryRecord).
constexpr uint32_t UNPACK_OK = 0;                // done
constexpr uint32_t UNPACK_NOFILE = 0x200;        // the target file cannot be created
constexpr uint32_t UNPACK_WRITE = 0x400;         // writing the target file failed
constexpr uint32_t UNPACK_CORRUPT = 0x700;       // directory record unreadable, or the local header disagrees with it
constexpr uint32_t UNPACK_READ = 0x800;          // the archive cannot be positioned, or the local extra field is short
constexpr uint32_t UNPACK_PASSWORD = 0x1000;     // an encrypted entry's check byte does not match
constexpr uint32_t UNPACK_ARGS = 0x10000;        // no reader, or the archive has no entries
constexpr uint32_t UNPACK_INFLATE = 0x5000000;   // reading or decompressing failed, or the data ended early

// Longest path, and longest entry name, in wide characters including the
// terminating zero.
constexpr int ZIP_MAX_PATH = 260;

// File attribute bits of ZIP_ENTRY_RECORD::attributes (the Win32 values).
constexpr uint32_t ZIP_ATTR_READONLY = 0x01;
constexpr uint32_t ZIP_ATTR_HIDDEN = 0x02;
constexpr uint32_t ZIP_ATTR_SYSTEM = 0x04;
constexpr uint32_t ZIP_ATTR_FOLDER = 0x10;
constexpr uint32_t ZIP_ATTR_ARCHIVE = 0x20;

// What the reader reports for an entry. Times are FILETIME values: 100 ns
// steps since 1601-01-01 00:00 UTC.
struct ZIP_ENTRY_RECORD {
    int index;                    // position in the central directory, 0 for the first
    wchar_t name[ZIP_MAX_PATH];   // stored name (UTF-8 decoded), drive and parent steps stripped
    uint32_t attributes;          // ZIP_ATTR_* mask
    uint64_t accessTime;
    uint64_t creationTime;
    uint64_t modificationTime;
    int64_t compressedSize;       // from the Zip64 extra field when the archive gives one
    int64_t uncompressedSize;
    uint32_t unixMode;            // permission bits (0777 mask) of an entry made on a Unix host, else 0
};

// One open archive; defined by the reader.
struct ZIP_READER;

// Opens the archive and reads its end record and first directory entry.
// Returns null when the file cannot be opened or is no valid archive (no end
// record in its last 65535 bytes, a multi-disk archive, inconsistent offsets),
// and for paths of 260 characters or more.
ZIP_READER* OpenZipArchive(const std::wstring& path);

// Writes the first entry into target ('\' and '/' both separate folders;
// relative targets resolve against the folder that was current at open).
// Missing folders of the target are created. Returns a UNPACK_* code.
uint32_t ExtractFirstZipEntry(ZIP_READER* reader, const std::wstring& target);

// Fills *record with the first entry's record (built once per reader).
// Returns UNPACK_OK or the failure code (UNPACK_ARGS, UNPACK_CORRUPT, UNPACK_READ).
uint32_t GetFirstZipEntryRecord(ZIP_READER* reader, ZIP_ENTRY_RECORD* record);

// Ends any open entry, closes the archive and frees the reader. Accepts null.
// Always returns 0.
int CloseZipArchive(ZIP_READER* reader);

// Unpacks the first entry of the archive into the same path without its last
// extension ("a/UpdateList.xml.zip" -> "a/UpdateList.xml"). FALSE, touching
// nothing, when the path is empty, has no '.', or its last '.' is its first
// character; otherwise TRUE exactly when the extraction gave UNPACK_OK.
BOOL ExtractArchiveBeside(const std::wstring& archivePath);

// What ExtractFileBeside wrote: the length and CRC-32 of the unpacked bytes,
// taken as they were written.
struct ZIP_WRITTEN {
    uint64_t length;
    uint32_t crc;
};

// ExtractArchiveBeside for the update worker, which knows what the file must
// be: a first entry that is a folder, or one whose stored length exceeds
// maxLength (when not 0), is refused before anything is created; otherwise
// the entry is written as ExtractArchiveBeside does, never beyond maxLength,
// and *written receives the length and CRC-32 of the bytes written, so the
// caller can judge the file without reading it again. TRUE exactly when the
// extraction gave UNPACK_OK.
BOOL ExtractFileBeside(const std::wstring& archivePath, uint64_t maxLength, ZIP_WRITTEN* written);

// Creates root (when given and missing) and then every folder of path below
// it, one level at a time. Failures are not reported: a missing folder shows
// up later as a failure to create a file in it. Composed paths of 260
// characters or more are refused.
void EnsureFolderPath(const wchar_t* root, const std::wstring& path);
