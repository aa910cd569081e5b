// Zip archive reader: end record search, directory and local header checks,
// traditional decryption with the empty password, stored and deflated data.
#include "zip_reader.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <memory>
#include <new>
#include <vector>

#include <libdeflate.h>
#include <zlib.h>

#include "text.h"
#include "zip_file_io.h"

namespace {

constexpr size_t kBlockSize = 16384;            // compressed reads
constexpr size_t kOutputSize = 256 * 1024;      // unpacked writes: fewer, larger system calls
constexpr uint64_t kEndSearchRegion = 65535;    // the end record lies in the last 65535 bytes
constexpr uint64_t kEndSearchStep = 1024;
constexpr size_t kEndSearchPiece = kEndSearchStep + 4;  // pieces overlap by one signature
constexpr size_t kEndRecordSize = 22;
constexpr size_t kCentralHeaderSize = 46;
constexpr size_t kLocalHeaderSize = 30;
constexpr size_t kNameBufferSize = 260;         // stored names keep at most 259 bytes
constexpr int kEncryptionHeaderSize = 12;

constexpr size_t kZip64LocatorSize = 20;
constexpr size_t kZip64EndRecordSize = 56;      // without extensible data

constexpr uint32_t kCentralSignature = 0x02014B50;
constexpr uint32_t kZip64EndSignature = 0x06064B50;
constexpr uint32_t kZip64LocatorSignature = 0x07064B50;
constexpr uint16_t kZip64ExtraId = 0x0001;
constexpr uint32_t kZip64Marker = 0xFFFFFFFF;   // a 32-bit field whose value is in the Zip64 extra field
constexpr uint32_t kLocalSignature = 0x04034B50;
constexpr uint16_t kExtendedTimeId = 0x5455;    // "UT"

constexpr uint16_t kFlagEncrypted = 0x0001;
constexpr uint16_t kFlagDataDescriptor = 0x0008;
constexpr uint16_t kMethodStored = 0;
constexpr uint16_t kMethodDeflated = 8;

constexpr uint64_t kFileTimeTicksPerSecond = 10000000;
constexpr int64_t kSecondsFrom1601To1970 = 11644473600;

uint16_t Get16(const unsigned char* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t Get32(const unsigned char* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

uint64_t Get64(const unsigned char* p)
{
    return static_cast<uint64_t>(Get32(p)) | (static_cast<uint64_t>(Get32(p + 4)) << 32);
}

bool IsSeparator(wchar_t c)
{
    return c == L'\\' || c == L'/';
}

// One central directory entry's fields, with its DOS date-time broken down.
struct CENTRAL_ENTRY {
    uint16_t versionMadeBy;
    uint16_t versionNeeded;
    uint16_t flags;
    uint16_t method;
    uint32_t dosDateTime;       // time in the low 16 bits, date in the high 16 bits
    uint32_t crc;
    uint64_t compressedSize;    // the Zip64 extra field's value where the header says 0xFFFFFFFF
    uint64_t uncompressedSize;
    uint16_t nameLength;
    uint16_t extraLength;
    uint16_t commentLength;
    uint16_t startDisk;
    uint16_t internalAttributes;
    uint32_t externalAttributes;
    uint64_t localHeaderOffset;
    int seconds, minutes, hours, day, month, year;  // month 0 to 11
    char name[kNameBufferSize];
};

// Where an entry's local extra field and data lie, once its header is checked.
struct LOCAL_LAYOUT {
    uint64_t extraPosition;
    uint16_t extraLength;
    uint64_t dataPosition;
};

// The state of the entry whose data is being read.
struct ENTRY_READ_STATE {
    unsigned char input[kBlockSize];
    z_stream stream;
    bool streamReady;
    uint64_t nextPosition;          // archive position of the next compressed byte
    uint64_t remainingCompressed;
    uint64_t remainingUncompressed;
    uint16_t method;
    bool encrypted;
    uint32_t keys[3];
    int headerToSkip;               // encryption header bytes still to take
    unsigned char checkByte;
};

struct DIRECTORY_STATE {
    uint64_t entryCount;
    uint64_t bytesBefore;           // bytes in front of the zip data
    uint64_t endRecordPosition;     // the Zip64 end record's, when the archive has one
    uint64_t directorySize;
    uint64_t directoryOffset;
    uint64_t currentEntryPosition;
    bool currentEntryOk;
    CENTRAL_ENTRY current;
};

}  // namespace

struct ZIP_READER {
    ZipFileHandle file = ZIP_NO_FILE;
    uint64_t length = 0;
    DIRECTORY_STATE directory{};
    std::unique_ptr<ENTRY_READ_STATE> entry;
    int openEntryIndex = -1;
    ZIP_ENTRY_RECORD record{};
    int recordIndex = -1;
    std::unique_ptr<unsigned char[]> output;
    std::wstring root;
};

namespace {

// A failed positioning and a short read are the same failure to the reader.
bool ReadExactly(const ZIP_READER* reader, uint64_t position, void* buffer, size_t size)
{
    return ZipReadAt(reader->file, position, buffer, size) == static_cast<int64_t>(size);
}

// Scans the last min(65535, length) bytes backwards in overlapping pieces for
// the end record signature; the occurrence nearest the end wins.
bool FindEndRecord(ZIP_READER* reader, uint64_t* position)
{
    const uint64_t region = std::min(kEndSearchRegion, reader->length);
    if (region <= 4)
        return false;
    unsigned char piece[kEndSearchPiece];
    uint64_t back = 4;
    while (back < region) {
        back = std::min(back + kEndSearchStep, region);
        const uint64_t start = reader->length - back;
        const size_t size = static_cast<size_t>(std::min<uint64_t>(kEndSearchPiece, reader->length - start));
        if (!ReadExactly(reader, start, piece, size))
            return false;
        for (size_t i = size - 4 + 1; i-- > 0;) {
            if (piece[i] == 0x50 && piece[i + 1] == 0x4B && piece[i + 2] == 0x05 && piece[i + 3] == 0x06) {
                *position = start + i;
                return true;
            }
        }
    }
    return false;
}

// The values of an end record, 32-bit or Zip64, and where the record lies.
struct END_VALUES {
    uint64_t thisDisk, directoryDisk, entriesHere, entriesTotal, directorySize, directoryOffset;
    uint64_t position;
};

enum class Zip64End { Absent, Found, Invalid };

// A Zip64 end record whose signature and size agree with a locator that ends
// at locatorPosition: directly in front of the locator (the usual place, also
// in an archive with bytes in front of it), or at the offset the locator gives.
bool ReadZip64EndRecordAt(ZIP_READER* reader, uint64_t at, uint64_t locatorPosition, END_VALUES* v)
{
    unsigned char r[kZip64EndRecordSize];
    if (at > locatorPosition || locatorPosition - at < sizeof r || !ReadExactly(reader, at, r, sizeof r) ||
        Get32(r) != kZip64EndSignature || Get64(r + 4) != locatorPosition - at - 12)
        return false;
    v->thisDisk = Get32(r + 16);
    v->directoryDisk = Get32(r + 20);
    v->entriesHere = Get64(r + 24);
    v->entriesTotal = Get64(r + 32);
    v->directorySize = Get64(r + 40);
    v->directoryOffset = Get64(r + 48);
    v->position = at;
    return true;
}

// The Zip64 locator stands directly in front of the 32-bit end record; when
// it is there, the Zip64 end record it points to replaces the 32-bit values.
Zip64End ReadZip64End(ZIP_READER* reader, uint64_t endPosition, END_VALUES* v)
{
    if (endPosition < kZip64LocatorSize)
        return Zip64End::Absent;
    const uint64_t locatorPosition = endPosition - kZip64LocatorSize;
    unsigned char l[kZip64LocatorSize];
    if (!ReadExactly(reader, locatorPosition, l, sizeof l) || Get32(l) != kZip64LocatorSignature)
        return Zip64End::Absent;
    if (Get32(l + 4) != 0 || Get32(l + 16) > 1)
        return Zip64End::Invalid;
    const bool found = (locatorPosition >= kZip64EndRecordSize &&
                        ReadZip64EndRecordAt(reader, locatorPosition - kZip64EndRecordSize, locatorPosition, v)) ||
                       ReadZip64EndRecordAt(reader, Get64(l + 8), locatorPosition, v);
    return found ? Zip64End::Found : Zip64End::Invalid;
}

bool ReadEndRecord(ZIP_READER* reader, uint64_t position)
{
    unsigned char r[kEndRecordSize];
    if (!ReadExactly(reader, position, r, sizeof r))
        return false;
    END_VALUES v{Get16(r + 4), Get16(r + 6), Get16(r + 8), Get16(r + 10), Get32(r + 12), Get32(r + 16), position};
    const Zip64End zip64 = ReadZip64End(reader, position, &v);
    if (zip64 == Zip64End::Invalid)
        return false;
    if (v.thisDisk != 0 || v.directoryDisk != 0 || v.entriesHere != v.entriesTotal)
        return false;
    // The directory ends where the first end record (Zip64 or not) begins.
    if (v.directoryOffset > v.position || v.position - v.directoryOffset < v.directorySize)
        return false;
    DIRECTORY_STATE& d = reader->directory;
    d.directorySize = v.directorySize;
    d.directoryOffset = v.directoryOffset;
    d.entryCount = v.entriesTotal;
    d.endRecordPosition = v.position;
    d.bytesBefore = v.position - v.directoryOffset - v.directorySize;
    return true;
}

// Finds the block with the given id in an extra field; its data and size.
bool FindExtraBlock(const unsigned char* extra, size_t length, uint16_t id, const unsigned char** data, size_t* size)
{
    size_t offset = 0;
    while (offset + 4 <= length) {
        const size_t blockSize = Get16(extra + offset + 2);
        if (Get16(extra + offset) == id) {
            *data = extra + offset + 4;
            *size = std::min(blockSize, length - offset - 4);
            return true;
        }
        offset += 4 + blockSize;
    }
    return false;
}

// Replaces each 32-bit value given as 0xFFFFFFFF by the next 64-bit value of
// the Zip64 extra block, in the order of the fields list. False when the block
// is missing or too short for the values it must hold.
bool ApplyZip64Extra(const unsigned char* extra, size_t length, uint64_t* const* fields, int count)
{
    bool needed = false;
    for (int i = 0; i < count; ++i)
        needed = needed || *fields[i] == kZip64Marker;
    if (!needed)
        return true;
    const unsigned char* data = nullptr;
    size_t size = 0;
    if (!FindExtraBlock(extra, length, kZip64ExtraId, &data, &size))
        return false;
    size_t at = 0;
    for (int i = 0; i < count; ++i) {
        if (*fields[i] != kZip64Marker)
            continue;
        if (at + 8 > size)
            return false;
        *fields[i] = Get64(data + at);
        at += 8;
    }
    return true;
}

void BreakDownDosTime(CENTRAL_ENTRY* e)
{
    const uint32_t v = e->dosDateTime;
    e->seconds = static_cast<int>(v & 0x1F) * 2;
    e->minutes = static_cast<int>((v >> 5) & 0x3F);
    e->hours = static_cast<int>((v >> 11) & 0x1F);
    e->day = static_cast<int>((v >> 16) & 0x1F);
    e->month = static_cast<int>((v >> 21) & 0x0F) - 1;
    e->year = static_cast<int>(v >> 25) + 1980;
}

// Reads the first central directory entry into the directory state; an error
// marks the entry unreadable and does not fail the caller.
void ReadFirstCentralEntry(ZIP_READER* reader)
{
    DIRECTORY_STATE& d = reader->directory;
    d.currentEntryPosition = d.directoryOffset + d.bytesBefore;
    d.currentEntryOk = false;
    unsigned char h[kCentralHeaderSize];
    if (!ReadExactly(reader, d.currentEntryPosition, h, sizeof h) || Get32(h) != kCentralSignature)
        return;
    CENTRAL_ENTRY& e = d.current;
    e.versionMadeBy = Get16(h + 4);
    e.versionNeeded = Get16(h + 6);
    e.flags = Get16(h + 8);
    e.method = Get16(h + 10);
    e.dosDateTime = Get32(h + 12);
    e.crc = Get32(h + 16);
    e.compressedSize = Get32(h + 20);
    e.uncompressedSize = Get32(h + 24);
    e.nameLength = Get16(h + 28);
    e.extraLength = Get16(h + 30);
    e.commentLength = Get16(h + 32);
    e.startDisk = Get16(h + 34);
    e.internalAttributes = Get16(h + 36);
    e.externalAttributes = Get32(h + 38);
    e.localHeaderOffset = Get32(h + 42);
    BreakDownDosTime(&e);
    const size_t kept = std::min<size_t>(e.nameLength, kNameBufferSize - 1);
    std::memset(e.name, 0, sizeof e.name);
    if (kept > 0 && !ReadExactly(reader, d.currentEntryPosition + kCentralHeaderSize, e.name, kept))
        return;
    // Sizes and offset given as 0xFFFFFFFF are in the entry's Zip64 extra field.
    if (e.compressedSize == kZip64Marker || e.uncompressedSize == kZip64Marker || e.localHeaderOffset == kZip64Marker) {
        std::vector<unsigned char> extra(e.extraLength);
        uint64_t* const fields[] = {&e.uncompressedSize, &e.compressedSize, &e.localHeaderOffset};
        if (!ReadExactly(reader, d.currentEntryPosition + kCentralHeaderSize + e.nameLength, extra.data(), extra.size()) ||
            !ApplyZip64Extra(extra.data(), extra.size(), fields, 3))
            return;
    }
    d.currentEntryOk = true;
}

// The sizes of a local header, with those given as 0xFFFFFFFF taken from its
// Zip64 extra field (what writers that do not know the size in advance, such
// as zip reading standard input, put there).
bool LocalSizes(ZIP_READER* reader, const unsigned char* h, const LOCAL_LAYOUT& layout, uint64_t* compressed,
                uint64_t* uncompressed)
{
    *compressed = Get32(h + 18);
    *uncompressed = Get32(h + 22);
    if (*compressed != kZip64Marker && *uncompressed != kZip64Marker)
        return true;
    std::vector<unsigned char> extra(layout.extraLength);
    uint64_t* const fields[] = {uncompressed, compressed};
    return ReadExactly(reader, layout.extraPosition, extra.data(), extra.size()) &&
           ApplyZip64Extra(extra.data(), extra.size(), fields, 2);
}

// Compares the current entry's local header with its directory record.
bool CheckLocalHeader(ZIP_READER* reader, LOCAL_LAYOUT* layout)
{
    const DIRECTORY_STATE& d = reader->directory;
    const CENTRAL_ENTRY& e = d.current;
    const uint64_t position = e.localHeaderOffset + d.bytesBefore;
    unsigned char h[kLocalHeaderSize];
    if (!ReadExactly(reader, position, h, sizeof h) || Get32(h) != kLocalSignature)
        return false;
    const uint16_t flags = Get16(h + 6);
    const uint16_t method = Get16(h + 8);
    if (method != e.method || (e.method != kMethodStored && e.method != kMethodDeflated))
        return false;
    if (Get16(h + 26) != e.nameLength)
        return false;
    layout->extraLength = Get16(h + 28);
    layout->extraPosition = position + kLocalHeaderSize + e.nameLength;
    layout->dataPosition = layout->extraPosition + layout->extraLength;
    if (flags & kFlagDataDescriptor)
        return true;
    uint64_t compressed = 0, uncompressed = 0;
    return Get32(h + 14) == e.crc && LocalSizes(reader, h, *layout, &compressed, &uncompressed) &&
           compressed == e.compressedSize && uncompressed == e.uncompressedSize;
}

// One step of name stripping, in this order: a drive prefix, a leading
// separator, everything up to the first parent step of each form. False when
// none applies.
bool StripOnce(std::wstring* name)
{
    static const wchar_t* const kParentSteps[] = {L"\\..\\", L"\\../", L"/../", L"/..\\"};
    if (name->size() >= 2 && (*name)[1] == L':') {
        name->erase(0, 2);
        return true;
    }
    if (!name->empty() && IsSeparator((*name)[0])) {
        name->erase(0, 1);
        return true;
    }
    for (const wchar_t* step : kParentSteps) {
        const size_t at = name->find(step);
        if (at != std::wstring::npos) {
            name->erase(0, at + 4);
            return true;
        }
    }
    return false;
}

void StripEntryName(std::wstring* name)
{
    while (StripOnce(name)) {
    }
}

uint32_t AttributesOf(const CENTRAL_ENTRY& e, uint32_t* unixMode)
{
    const unsigned host = e.versionMadeBy >> 8;
    const uint32_t ext = e.externalAttributes;
    *unixMode = 0;
    if (host == 0 || host == 7 || host == 11 || host == 14) {
        uint32_t mask = 0;
        if (ext & 0x01) mask |= ZIP_ATTR_READONLY;
        if (ext & 0x02) mask |= ZIP_ATTR_HIDDEN;
        if (ext & 0x04) mask |= ZIP_ATTR_SYSTEM;
        if (ext & 0x10) mask |= ZIP_ATTR_FOLDER;
        if (ext & 0x20) mask |= ZIP_ATTR_ARCHIVE;
        return mask;
    }
    uint32_t mask = ZIP_ATTR_ARCHIVE;
    if (!(ext & (1u << 23)))
        mask |= ZIP_ATTR_READONLY;
    if (ext & (1u << 30))
        mask |= ZIP_ATTR_FOLDER;
    // Unix hosts keep the file's mode in the high half; restoring it keeps
    // programs executable. No permission bits at all means none were stored.
    if (host == 3)
        *unixMode = (ext >> 16) & 0777;
    return mask;
}

bool IsLeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

bool IsValidDosTime(const CENTRAL_ENTRY& e)
{
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (e.month < 0 || e.month > 11 || e.hours > 23 || e.minutes > 59 || e.seconds > 59)
        return false;
    const int days = kDays[e.month] + (e.month == 1 && IsLeapYear(e.year) ? 1 : 0);
    return e.day >= 1 && e.day <= days;
}

uint64_t UnixSecondsToFileTime(int64_t seconds)
{
    return static_cast<uint64_t>(seconds + kSecondsFrom1601To1970) * kFileTimeTicksPerSecond;
}

// The DOS date-time read as the process's local time, as a UTC FILETIME. A
// date-time that is no calendar time gives 1980-01-01 00:00 local time.
uint64_t DosTimeToFileTime(const CENTRAL_ENTRY& e)
{
    std::tm t{};
    t.tm_isdst = -1;
    if (IsValidDosTime(e)) {
        t.tm_year = e.year - 1900;
        t.tm_mon = e.month;
        t.tm_mday = e.day;
        t.tm_hour = e.hours;
        t.tm_min = e.minutes;
        t.tm_sec = e.seconds;
    } else {
        t.tm_year = 80;
        t.tm_mday = 1;
    }
    std::time_t local = std::mktime(&t);
    if (local == static_cast<std::time_t>(-1))
        local = 315532800;  // 1980-01-01 00:00 UTC
    return UnixSecondsToFileTime(static_cast<int64_t>(local));
}

// Applies an extended time stamp block ("UT") of the local extra field: each
// time it carries replaces the DOS-derived one. Only the first such block
// counts; times beyond the block or the field are not read.
void ApplyExtendedTimes(const std::vector<unsigned char>& extra, ZIP_ENTRY_RECORD* record)
{
    const size_t length = extra.size();
    size_t offset = 0;
    while (offset + 4 < length) {
        const uint16_t id = Get16(&extra[offset]);
        const size_t size = Get16(&extra[offset + 2]);
        if (id != kExtendedTimeId) {
            offset += 4 + size;
            continue;
        }
        const size_t end = std::min(length, offset + 4 + size);
        const unsigned flags = extra[offset + 4];
        size_t at = offset + 5;
        uint64_t* const targets[3] = {&record->modificationTime, &record->accessTime, &record->creationTime};
        for (int bit = 0; bit < 3; ++bit) {
            if (!(flags & (1u << bit)))
                continue;
            if (at + 4 > end)
                break;
            *targets[bit] = UnixSecondsToFileTime(static_cast<int32_t>(Get32(&extra[at])));
            at += 4;
        }
        return;
    }
}

uint32_t BuildFirstEntryRecord(ZIP_READER* reader)
{
    DIRECTORY_STATE& d = reader->directory;
    if (d.entryCount == 0)
        return UNPACK_ARGS;
    if (reader->recordIndex == 0)
        return UNPACK_OK;
    ReadFirstCentralEntry(reader);
    LOCAL_LAYOUT layout{};
    if (!d.currentEntryOk || !CheckLocalHeader(reader, &layout))
        return UNPACK_CORRUPT;
    std::vector<unsigned char> extra(layout.extraLength);
    if (!extra.empty() && !ReadExactly(reader, layout.extraPosition, extra.data(), extra.size()))
        return UNPACK_READ;

    const CENTRAL_ENTRY& e = d.current;
    ZIP_ENTRY_RECORD& r = reader->record;
    r = ZIP_ENTRY_RECORD{};
    r.index = 0;
    std::wstring name = AnsiToWide(std::string_view(e.name, std::strlen(e.name)));
    if (name.size() > ZIP_MAX_PATH - 1)
        name.resize(ZIP_MAX_PATH - 1);
    StripEntryName(&name);
    std::copy(name.begin(), name.end(), r.name);
    r.attributes = AttributesOf(e, &r.unixMode);
    r.accessTime = r.creationTime = r.modificationTime = DosTimeToFileTime(e);
    ApplyExtendedTimes(extra, &r);
    r.compressedSize = static_cast<int64_t>(std::min<uint64_t>(e.compressedSize, INT64_MAX));
    r.uncompressedSize = static_cast<int64_t>(std::min<uint64_t>(e.uncompressedSize, INT64_MAX));
    reader->recordIndex = 0;
    return UNPACK_OK;
}

// Traditional PKWARE decryption, one byte at a time.
void UpdateKeys(uint32_t keys[3], unsigned char plain, const z_crc_t* table)
{
    keys[0] = static_cast<uint32_t>(table[(keys[0] ^ plain) & 0xFF]) ^ (keys[0] >> 8);
    keys[1] = (keys[1] + (keys[0] & 0xFF)) * 134775813u + 1;
    const unsigned char high = static_cast<unsigned char>(keys[1] >> 24);
    keys[2] = static_cast<uint32_t>(table[(keys[2] ^ high) & 0xFF]) ^ (keys[2] >> 8);
}

void Decrypt(ENTRY_READ_STATE* s, unsigned char* data, size_t size)
{
    const z_crc_t* table = get_crc_table();
    for (size_t i = 0; i < size; ++i) {
        const uint32_t temp = (s->keys[2] & 0xFFFF) | 2;
        const unsigned char plain = static_cast<unsigned char>(data[i] ^ ((temp * (temp ^ 1)) >> 8));
        data[i] = plain;
        UpdateKeys(s->keys, plain, table);
    }
}

void CloseEntryData(ZIP_READER* reader)
{
    if (reader->entry && reader->entry->streamReady)
        inflateEnd(&reader->entry->stream);
    reader->entry.reset();
    reader->openEntryIndex = -1;
}

bool OpenEntryData(ZIP_READER* reader)
{
    CloseEntryData(reader);
    const DIRECTORY_STATE& d = reader->directory;
    LOCAL_LAYOUT layout{};
    if (!d.currentEntryOk || !CheckLocalHeader(reader, &layout))
        return false;
    std::unique_ptr<ENTRY_READ_STATE> s(new (std::nothrow) ENTRY_READ_STATE{});
    if (!s)
        return false;
    const CENTRAL_ENTRY& e = d.current;
    if (e.method == kMethodDeflated) {
        if (inflateInit2(&s->stream, -MAX_WBITS) != Z_OK)
            return false;
        s->streamReady = true;
    }
    s->method = e.method;
    s->nextPosition = layout.dataPosition;
    s->remainingCompressed = e.compressedSize;
    s->remainingUncompressed = e.uncompressedSize;
    s->encrypted = (e.flags & kFlagEncrypted) != 0;
    if (s->encrypted) {
        s->keys[0] = 305419896u;
        s->keys[1] = 591751049u;
        s->keys[2] = 878082192u;
        s->headerToSkip = kEncryptionHeaderSize;
        s->checkByte = static_cast<unsigned char>(
            (e.flags & kFlagDataDescriptor) ? (e.dosDateTime >> 8) : (e.crc >> 24));
    }
    reader->entry = std::move(s);
    reader->openEntryIndex = 0;
    return true;
}

constexpr int64_t kReadFailed = -1;
constexpr int64_t kReadWrongPassword = -2;

bool RefillInput(ZIP_READER* reader, ENTRY_READ_STATE* s)
{
    const size_t size = std::min<size_t>(kBlockSize, s->remainingCompressed);
    if (!ReadExactly(reader, s->nextPosition, s->input, size))
        return false;
    if (s->encrypted)
        Decrypt(s, s->input, size);
    s->nextPosition += size;
    s->remainingCompressed -= size;
    s->stream.next_in = s->input;
    s->stream.avail_in = static_cast<uInt>(size);
    return true;
}

// Takes the encryption header from the front of the input. Returns 1 when it
// is done, 0 when more input is needed, or a kRead* failure.
int64_t SkipEncryptionHeader(ENTRY_READ_STATE* s)
{
    while (s->headerToSkip > 0 && s->stream.avail_in > 0) {
        const unsigned char last = *s->stream.next_in++;
        --s->stream.avail_in;
        if (--s->headerToSkip == 0 && last != s->checkByte)
            return kReadWrongPassword;
    }
    if (s->headerToSkip == 0)
        return 1;
    return s->remainingCompressed > 0 ? 0 : kReadFailed;
}

enum class UnpackStep { Progress, Stalled, StreamEnd, Failed };

// Unpacks buffered input into out (space bytes at most), storing the count in
// *got. Stored data stalls when the input is used up with nothing left to
// read; deflated data fails then (inflate makes no progress).
UnpackStep UnpackBuffered(ENTRY_READ_STATE* s, unsigned char* out, uInt space, uInt* got)
{
    if (s->method == kMethodStored) {
        *got = std::min(space, s->stream.avail_in);
        if (*got == 0)
            return UnpackStep::Stalled;
        std::memcpy(out, s->stream.next_in, *got);
        s->stream.next_in += *got;
        s->stream.avail_in -= *got;
        return UnpackStep::Progress;
    }
    s->stream.next_out = out;
    s->stream.avail_out = space;
    const int result = inflate(&s->stream, Z_SYNC_FLUSH);
    *got = space - s->stream.avail_out;
    if (result == Z_STREAM_END)
        return UnpackStep::StreamEnd;
    return result == Z_OK ? UnpackStep::Progress : UnpackStep::Failed;
}

// Produces up to size bytes of the open entry's data, never more than its
// declared uncompressed size remains. Returns the bytes produced or a kRead*
// failure; *end tells that the entry's data is complete. Zero bytes without
// the end means the data stopped short.
int64_t ReadEntryData(ZIP_READER* reader, unsigned char* out, size_t size, bool* end)
{
    *end = false;
    ENTRY_READ_STATE* s = reader->entry.get();
    if (!s)
        return kReadFailed;
    size_t produced = 0;
    for (;;) {
        if (s->stream.avail_in == 0 && s->remainingCompressed > 0 && !RefillInput(reader, s))
            return kReadFailed;
        if (s->headerToSkip > 0) {
            const int64_t skipped = SkipEncryptionHeader(s);
            if (skipped < 0)
                return skipped;
            if (skipped == 0)
                continue;
        }
        if (s->remainingUncompressed == 0) {
            *end = true;
            return static_cast<int64_t>(produced);
        }
        if (produced == size)
            return static_cast<int64_t>(produced);
        const uInt space = static_cast<uInt>(std::min<size_t>(size - produced, s->remainingUncompressed));
        uInt got = 0;
        const UnpackStep step = UnpackBuffered(s, out + produced, space, &got);
        produced += got;
        s->remainingUncompressed -= got;
        if (step == UnpackStep::Failed)
            return kReadFailed;
        if (step == UnpackStep::StreamEnd) {
            *end = true;
            return static_cast<int64_t>(produced);
        }
        if (step == UnpackStep::Stalled)
            return static_cast<int64_t>(produced);
    }
}

bool IsAbsoluteTarget(const std::wstring& path)
{
    return (!path.empty() && IsSeparator(path[0])) || (path.size() >= 2 && path[1] == L':');
}

bool FitsPathLimit(const std::wstring& path)
{
    return path.size() < static_cast<size_t>(ZIP_MAX_PATH);
}

// What the update worker asks of an extraction beyond the plain one: file
// entries only, a longest length, and the written bytes' length and CRC-32.
struct EXTRACT_CHECKS {
    bool fileOnly;
    uint64_t maxLength;
    ZIP_WRITTEN* written;     // null: nothing is counted
};

constexpr EXTRACT_CHECKS kNoChecks{false, UINT64_MAX, nullptr};

// Writes the unpacked bytes gathered so far; counts them for the caller.
bool FlushOutput(ZIP_READER* reader, ZipFileHandle file, size_t filled, ZIP_WRITTEN* written)
{
    if (filled == 0)
        return true;
    if (!ZipWriteAll(file, reader->output.get(), filled))
        return false;
    if (written) {
        written->crc = libdeflate_crc32(written->crc, reader->output.get(), filled);
        written->length += filled;
    }
    return true;
}

// The entry is read in requests of one block and written in pieces of up to
// kOutputSize; what was read before a failing request is still written, so a
// damaged entry leaves the file as far as it could be unpacked.
uint32_t WriteEntryData(ZIP_READER* reader, ZipFileHandle file, ZIP_WRITTEN* written)
{
    const bool opened = OpenEntryData(reader);
    if (!reader->output) {
        reader->output.reset(new (std::nothrow) unsigned char[kOutputSize]);
        if (!reader->output)
            return UNPACK_INFLATE;
    }
    if (!opened)
        return UNPACK_INFLATE;
    size_t filled = 0;
    for (;;) {
        bool end = false;
        const int64_t got = ReadEntryData(reader, reader->output.get() + filled, kBlockSize, &end);
        if (got < 0) {
            FlushOutput(reader, file, filled, written);
            return got == kReadWrongPassword ? UNPACK_PASSWORD : UNPACK_INFLATE;
        }
        filled += static_cast<size_t>(got);
        if (end || got == 0 || filled + kBlockSize > kOutputSize) {
            if (!FlushOutput(reader, file, filled, written))
                return UNPACK_WRITE;
            filled = 0;
        }
        if (end) {
            ZipSetFileTimes(file, reader->record.accessTime, reader->record.modificationTime);
            return UNPACK_OK;
        }
        if (got == 0)
            return UNPACK_INFLATE;
    }
}

uint32_t ExtractFirstEntry(ZIP_READER* reader, const std::wstring& target, const EXTRACT_CHECKS& checks)
{
    CloseEntryData(reader);
    const uint32_t built = BuildFirstEntryRecord(reader);
    if (built != UNPACK_OK)
        return built;
    // The worker wants a file of a known length: a folder entry would leave a
    // folder where the file must go, and a longer entry is not the file. The
    // reader never produces more than the stored length, so refusing a longer
    // stored length bounds what is written.
    if (checks.fileOnly && (reader->record.attributes & ZIP_ATTR_FOLDER))
        return UNPACK_NOFILE;
    if (reader->directory.current.uncompressedSize > checks.maxLength)
        return UNPACK_WRITE;
    const bool absolute = IsAbsoluteTarget(target);
    const wchar_t* root = absolute ? nullptr : reader->root.c_str();
    if (reader->record.attributes & ZIP_ATTR_FOLDER) {
        EnsureFolderPath(root, target);
        return UNPACK_OK;
    }
    const size_t split = target.find_last_of(L"\\/");
    const std::wstring folder = split == std::wstring::npos ? std::wstring() : target.substr(0, split + 1);
    const std::wstring fileName = split == std::wstring::npos ? target : target.substr(split + 1);
    const std::wstring fullName = (absolute ? std::wstring() : reader->root) + folder + fileName;
    if (!FitsPathLimit(fullName))
        return UNPACK_NOFILE;
    EnsureFolderPath(root, folder);
    const ZIP_ENTRY_RECORD& r = reader->record;
    const ZipFileHandle file = ZipCreateForWriting(fullName, (r.attributes & ZIP_ATTR_READONLY) != 0, r.unixMode);
    if (file == ZIP_NO_FILE)
        return UNPACK_NOFILE;
    const uint32_t result = WriteEntryData(reader, file, checks.written);
    ZipCloseFile(file);
    CloseEntryData(reader);
    return result;
}

ZIP_READER* OpenArchive(const std::wstring& path)
{
    if (!FitsPathLimit(path))
        return nullptr;
    std::unique_ptr<ZIP_READER> reader(new (std::nothrow) ZIP_READER);
    if (!reader)
        return nullptr;
    // Relative targets resolve against the folder current at open; a folder
    // too long for the limit leaves them to the OS, which resolves the same.
    std::wstring current;
    if (ZipCurrentFolder(&current) && current.size() + 1 < static_cast<size_t>(ZIP_MAX_PATH)) {
        if (current.empty() || !IsSeparator(current.back()))
            current += L'/';
        reader->root = current;
    }
    reader->file = ZipOpenForReading(path);
    if (reader->file == ZIP_NO_FILE)
        return nullptr;
    uint64_t endRecord = 0;
    if (!ZipFileLength(reader->file, &reader->length) || !FindEndRecord(reader.get(), &endRecord) ||
        !ReadEndRecord(reader.get(), endRecord)) {
        ZipCloseFile(reader->file);
        return nullptr;
    }
    if (reader->directory.entryCount > 0)
        ReadFirstCentralEntry(reader.get());
    return reader.release();
}

}  // namespace

ZIP_READER* OpenZipArchive(const std::wstring& path)
{
    try {
        return OpenArchive(path);
    } catch (...) {
        return nullptr;
    }
}

uint32_t ExtractFirstZipEntry(ZIP_READER* reader, const std::wstring& target)
{
    if (!reader)
        return UNPACK_ARGS;
    try {
        return ExtractFirstEntry(reader, target, kNoChecks);
    } catch (...) {
        CloseEntryData(reader);
        return UNPACK_INFLATE;
    }
}

uint32_t GetFirstZipEntryRecord(ZIP_READER* reader, ZIP_ENTRY_RECORD* record)
{
    if (!reader || !record)
        return UNPACK_ARGS;
    try {
        const uint32_t result = BuildFirstEntryRecord(reader);
        if (result == UNPACK_OK)
            *record = reader->record;
        return result;
    } catch (...) {
        return UNPACK_READ;
    }
}

int CloseZipArchive(ZIP_READER* reader)
{
    if (!reader)
        return 0;
    CloseEntryData(reader);
    ZipCloseFile(reader->file);
    delete reader;
    return 0;
}

namespace {

BOOL ExtractBeside(const std::wstring& archivePath, const EXTRACT_CHECKS& checks)
{
    const size_t dot = archivePath.rfind(L'.');
    if (archivePath.empty() || dot == std::wstring::npos || dot == 0)
        return FALSE;
    ZIP_READER* reader = nullptr;
    try {
        const std::wstring target = archivePath.substr(0, dot);
        reader = OpenZipArchive(archivePath);
        if (!reader)
            return FALSE;
        const uint32_t result = ExtractFirstEntry(reader, target, checks);
        CloseZipArchive(reader);
        return result == UNPACK_OK ? TRUE : FALSE;
    } catch (...) {
        CloseZipArchive(reader);
        return FALSE;
    }
}

}  // namespace

BOOL ExtractArchiveBeside(const std::wstring& archivePath)
{
    return ExtractBeside(archivePath, kNoChecks);
}

BOOL ExtractFileBeside(const std::wstring& archivePath, uint64_t maxLength, ZIP_WRITTEN* written)
{
    ZIP_WRITTEN counted{0, 0};
    const BOOL result = ExtractBeside(archivePath, EXTRACT_CHECKS{true, maxLength, &counted});
    if (written)
        *written = counted;
    return result;
}

void EnsureFolderPath(const wchar_t* root, const std::wstring& path)
{
    try {
        const std::wstring base = root ? std::wstring(root) : std::wstring();
        if (!base.empty() && FitsPathLimit(base) && !ZipPathExists(base))
            ZipCreateFolder(base);
        if (path.empty())
            return;
        const size_t last = path.find_last_of(L"\\/");
        if (last != std::wstring::npos && last > 0)
            EnsureFolderPath(root, path.substr(0, last));
        const std::wstring full = base + path;
        if (FitsPathLimit(full) && !ZipPathExists(full))
            ZipCreateFolder(full);
    } catch (...) {
    }
}
