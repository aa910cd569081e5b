// The zip reader over archives built byte by byte: the end record search,
// header checks, names, attributes, times, decryption, data limits and the
// target paths. Real files in a temporary folder per test.
#include "zip_reader.h"

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include "temp_folder.h"
#include "text.h"
#include "zip_builder.h"

namespace fs = std::filesystem;

using namespace test;

namespace {

std::wstring Wide(const fs::path& path)
{
    return AnsiToWide(path.string());
}

std::string SampleText(size_t size)
{
    std::string s;
    unsigned x = 12345;
    while (s.size() < size) {
        x = x * 1103515245u + 12345u;
        s += "line " + std::to_string(x % 1000) + (x & 0x100 ? " alpha\n" : " beta gamma\n");
    }
    s.resize(size);
    return s;
}

struct Extraction {
    bool opened = false;
    uint32_t result = 0xFFFFFFFF;
};

Extraction Extract(const fs::path& archive, const std::wstring& target)
{
    Extraction x;
    ZIP_READER* reader = OpenZipArchive(Wide(archive));
    x.opened = reader != nullptr;
    if (reader) {
        x.result = ExtractFirstZipEntry(reader, target);
        CloseZipArchive(reader);
    }
    return x;
}

bool Opens(const fs::path& archive)
{
    ZIP_READER* reader = OpenZipArchive(Wide(archive));
    CloseZipArchive(reader);
    return reader != nullptr;
}

uint32_t RecordOf(const fs::path& archive, ZIP_ENTRY_RECORD* record)
{
    ZIP_READER* reader = OpenZipArchive(Wide(archive));
    if (!reader)
        return 0xFFFFFFFF;
    const uint32_t result = GetFirstZipEntryRecord(reader, record);
    CloseZipArchive(reader);
    return result;
}

uint64_t FileTimeOfUnix(int64_t seconds)
{
    return static_cast<uint64_t>(seconds + 11644473600LL) * 10000000ULL;
}

uint32_t DosDateTime(int year, int month, int day, int hour, int minute, int second)
{
    return (static_cast<uint32_t>(year - 1980) << 25) | (static_cast<uint32_t>(month) << 21) |
           (static_cast<uint32_t>(day) << 16) | (static_cast<uint32_t>(hour) << 11) |
           (static_cast<uint32_t>(minute) << 5) | static_cast<uint32_t>(second / 2);
}

// The local time (this process's zone) as Unix seconds.
int64_t LocalToUnix(int year, int month, int day, int hour, int minute, int second)
{
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = -1;
    return static_cast<int64_t>(std::mktime(&t));
}

std::string ExtendedTimeBlock(unsigned flags, const std::vector<int32_t>& times, int declaredSize = -1)
{
    std::string block;
    Append16(block, 0x5455);
    Append16(block, static_cast<uint16_t>(declaredSize >= 0 ? declaredSize : 1 + 4 * static_cast<int>(times.size())));
    block.push_back(static_cast<char>(flags));
    for (int32_t t : times)
        Append32(block, static_cast<uint32_t>(t));
    return block;
}

class ZipReaderTest : public ::testing::Test {
protected:
    fs::path Write(const std::string& name, const std::string& bytes)
    {
        const fs::path path = tmp / name;
        WriteFile(path, bytes);
        return path;
    }

    TempFolder tmp;
};

// ---- contents -----------------------------------------------------------

struct ContentCase {
    const char* what;
    uint16_t method;
    bool dataDescriptor;
    bool encrypt;
    size_t size;
};

TEST_F(ZipReaderTest, ExtractsStoredDeflatedEncryptedAndEmptyEntries)
{
    const ContentCase cases[] = {
        {"stored", 0, false, false, 40000},
        {"deflated", 8, false, false, 100000},
        {"stored, descriptor", 0, true, false, 20000},
        {"deflated, descriptor", 8, true, false, 70000},
        {"stored, empty password", 0, false, true, 33000},
        {"deflated, empty password", 8, false, true, 50000},
        {"deflated, empty password, descriptor (check byte from the time)", 8, true, true, 50000},
        {"empty stored", 0, false, false, 0},
        {"empty deflated", 8, false, false, 0},
        {"empty, empty password", 0, false, true, 0},
        {"one byte", 8, false, false, 1},
    };
    for (const ContentCase& c : cases) {
        SCOPED_TRACE(c.what);
        ZipEntryPlan plan;
        plan.method = c.method;
        plan.dataDescriptor = c.dataDescriptor;
        plan.encrypt = c.encrypt;
        plan.data = SampleText(c.size);
        const fs::path archive = Write("a.zip", BuildZip(plan).bytes);
        const fs::path target = tmp / "out.bin";
        WriteFile(target, std::string(200000, 'x'));  // replaced, not overwritten in place
        const Extraction x = Extract(archive, Wide(target));
        ASSERT_TRUE(x.opened);
        EXPECT_EQ(x.result, UNPACK_OK);
        EXPECT_EQ(ReadFile(target), plan.data);
    }
}

TEST_F(ZipReaderTest, WrongCheckByteIsAPasswordMismatch)
{
    for (bool descriptor : {false, true}) {
        ZipEntryPlan plan;
        plan.encrypt = true;
        plan.dataDescriptor = descriptor;
        plan.data = SampleText(5000);
        BuiltZip z = BuildZip(plan);
        z.bytes[z.dataStart + 11] ^= 0x5A;
        const fs::path archive = Write("a.zip", z.bytes);
        EXPECT_EQ(Extract(archive, Wide(tmp / "out")).result, UNPACK_PASSWORD) << descriptor;
    }
}

TEST_F(ZipReaderTest, OutputStopsAtTheDeclaredSize)
{
    // 16 MiB of zeros deflate to about 16 KiB; the entry claims 1000 bytes.
    ZipEntryPlan plan;
    plan.data = std::string(16 << 20, '\0');
    BuiltZip z = BuildZip(plan);
    Put32(z.bytes, z.localHeader + kLocalUncompressed, 1000);
    Put32(z.bytes, z.centralHeader + kCentralUncompressed, 1000);
    const fs::path archive = Write("bomb.zip", z.bytes);
    EXPECT_EQ(Extract(archive, Wide(tmp / "out")).result, UNPACK_OK);
    EXPECT_EQ(fs::file_size(tmp / "out"), 1000u);

    // Stored data longer than declared is cut the same way.
    plan.method = 0;
    plan.data = SampleText(5000);
    z = BuildZip(plan);
    Put32(z.bytes, z.localHeader + kLocalUncompressed, 10);
    Put32(z.bytes, z.centralHeader + kCentralUncompressed, 10);
    Write("cut.zip", z.bytes);
    EXPECT_EQ(Extract(tmp / "cut.zip", Wide(tmp / "cut")).result, UNPACK_OK);
    EXPECT_EQ(ReadFile(tmp / "cut"), plan.data.substr(0, 10));
}

// ---- Zip64 ----------------------------------------------------------------

// Every combination of the Zip64 forms: sizes in the local header's extra
// field, sizes and offset in the central record's, and the Zip64 end record,
// also behind bytes in front of the archive.
TEST_F(ZipReaderTest, Zip64FormsExtract)
{
    for (int forms = 0; forms < 8; ++forms) {
        for (bool prefixed : {false, true}) {
            for (uint16_t method : {uint16_t{0}, uint16_t{8}}) {
                Zip64Plan zip64;
                zip64.local = forms & 1;
                zip64.central = forms & 2;
                zip64.endRecord = forms & 4;
                zip64.prefix = prefixed ? std::string(777, 'P') : std::string();
                ZipEntryPlan plan;
                plan.method = method;
                plan.data = SampleText(50000);
                SCOPED_TRACE(testing::Message() << "forms " << forms << " prefixed " << prefixed << " method " << method);
                fs::remove(tmp / "out");
                const Extraction x = Extract(Write("z.zip", BuildZip64(plan, zip64)), Wide(tmp / "out"));
                ASSERT_TRUE(x.opened);
                EXPECT_EQ(x.result, UNPACK_OK);
                EXPECT_EQ(ReadFile(tmp / "out"), plan.data);
                ZIP_ENTRY_RECORD record{};
                EXPECT_EQ(RecordOf(tmp / "z.zip", &record), UNPACK_OK);
                EXPECT_EQ(record.uncompressedSize, 50000);
            }
        }
    }
}

// Sizes beyond 32 bits are carried whole: the record reports them, and an
// entry that claims more than its stored data holds fails in the reading.
TEST_F(ZipReaderTest, Zip64SizesBeyond32BitsAreKept)
{
    ZipEntryPlan plan;
    plan.method = 0;
    plan.data = SampleText(3000);
    std::string bytes = BuildZip64(plan, Zip64Plan{});
    // The central record's Zip64 block: uncompressed and compressed size.
    const size_t block = bytes.find(std::string("\x01\x00\x18\x00", 4));
    ASSERT_NE(block, std::string::npos);
    const uint64_t huge = (5ull << 32) + 3000;
    for (int i = 0; i < 8; ++i)
        bytes[block + 4 + i] = static_cast<char>(huge >> (8 * i));
    // The local header must agree.
    const size_t local = bytes.find(std::string("\x01\x00\x10\x00", 4));
    ASSERT_NE(local, std::string::npos);
    for (int i = 0; i < 8; ++i)
        bytes[local + 4 + i] = static_cast<char>(huge >> (8 * i));
    ZIP_ENTRY_RECORD record{};
    EXPECT_EQ(RecordOf(Write("huge.zip", bytes), &record), UNPACK_OK);
    EXPECT_EQ(record.uncompressedSize, static_cast<int64_t>(huge));
    EXPECT_EQ(record.compressedSize, 3000);
    // Stored data: fewer compressed bytes than the size claimed.
    EXPECT_EQ(Extract(tmp / "huge.zip", Wide(tmp / "out")).result, UNPACK_INFLATE);
}

TEST_F(ZipReaderTest, DamagedZip64RecordsAreRefused)
{
    ZipEntryPlan plan;
    plan.data = SampleText(2000);
    const std::string good = BuildZip64(plan, Zip64Plan{});
    const size_t record = Zip64EndRecordAt(good), locator = record + 56;
    struct { const char* what; size_t at; char value; bool opens; uint32_t expected; } cases[] = {
        {"locator names another disk", locator + 4, 1, false, 0},
        {"locator counts two disks", locator + 16, 2, false, 0},
        {"end record signature", record, 'X', false, 0},
        {"end record on another disk", record + 16, 1, false, 0},
        {"entry counts differ", record + 24, 2, false, 0},
        {"directory offset beyond the record", record + 48 + 3, 1, false, 0},
        {"central Zip64 block missing (id changed)", good.find(std::string("\x01\x00\x18\x00", 4)), 9, true,
         UNPACK_CORRUPT},
        {"local Zip64 block missing (id changed)", good.find(std::string("\x01\x00\x10\x00", 4)), 9, true,
         UNPACK_CORRUPT},
        {"central Zip64 block too short", good.find(std::string("\x01\x00\x18\x00", 4)) + 2, 8, true,
         UNPACK_CORRUPT},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string bytes = good;
        bytes[c.at] = c.value;
        fs::remove(tmp / "out");
        const Extraction x = Extract(Write("bad.zip", bytes), Wide(tmp / "out"));
        EXPECT_EQ(x.opened, c.opens);
        if (c.opens) {
            EXPECT_EQ(x.result, c.expected);
            EXPECT_FALSE(fs::exists(tmp / "out"));
        }
    }
}

// ---- extraction for the update worker ----------------------------------------

TEST_F(ZipReaderTest, ExtractFileBesideCountsWhatItWritesAndKeepsToTheLength)
{
    const std::string data = SampleText(70000);
    ZipEntryPlan plan;
    plan.data = data;
    Write("f.bin.zip", BuildZip(plan).bytes);
    struct { const char* what; uint64_t limit; bool ok; } cases[] = {
        {"no limit", UINT64_MAX, true},
        {"exactly the length", data.size(), true},
        {"one byte short", data.size() - 1, false},
        {"nothing allowed", 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(tmp / "f.bin");
        ZIP_WRITTEN written{1, 1};
        EXPECT_EQ(ExtractFileBeside(Wide(tmp / "f.bin.zip"), c.limit, &written), c.ok ? TRUE : FALSE);
        if (c.ok) {
            EXPECT_EQ(ReadFile(tmp / "f.bin"), data);
            EXPECT_EQ(written.length, data.size());
            EXPECT_EQ(written.crc, Crc32Of(data));
        } else {
            // Refused before the file is created.
            EXPECT_FALSE(fs::exists(tmp / "f.bin"));
            EXPECT_EQ(written.length, 0u);
        }
    }
    // An empty entry: length 0, CRC 0, also with a limit of 0.
    plan.data.clear();
    Write("e.zip", BuildZip(plan).bytes);
    ZIP_WRITTEN written{1, 1};
    EXPECT_TRUE(ExtractFileBeside(Wide(tmp / "e.zip"), 0, &written));
    EXPECT_EQ(written.length, 0u);
    EXPECT_EQ(written.crc, 0u);
    EXPECT_EQ(ReadFile(tmp / "e"), "");
}

// A folder entry would leave a folder where the file must go: it is refused
// and nothing is created. The plain extraction still makes the folder.
TEST_F(ZipReaderTest, ExtractFileBesideRefusesAFolderEntry)
{
    ZipEntryPlan plan;
    plan.name = "dir/";
    plan.method = 0;
    plan.versionMadeBy = (3 << 8) | 20;
    plan.externalAttributes = (040755u << 16) | 0x10;
    Write("dir.zip", BuildZip(plan).bytes);
    ZIP_WRITTEN written{};
    EXPECT_FALSE(ExtractFileBeside(Wide(tmp / "dir.zip"), UINT64_MAX, &written));
    EXPECT_FALSE(fs::exists(tmp / "dir"));
    EXPECT_TRUE(ExtractArchiveBeside(Wide(tmp / "dir.zip")));
    EXPECT_TRUE(fs::is_directory(tmp / "dir"));
}

TEST_F(ZipReaderTest, DataThatEndsEarlyOrIsDamagedFailsAndLeavesThePartialFile)
{
    for (uint16_t method : {uint16_t{0}, uint16_t{8}}) {
        SCOPED_TRACE(method);
        ZipEntryPlan plan;
        plan.method = method;
        plan.data = SampleText(200000);
        BuiltZip z = BuildZip(plan);
        // Fewer compressed bytes than the stream needs.
        const uint32_t half = static_cast<uint32_t>(z.compressedSize / 2);
        Put32(z.bytes, z.localHeader + kLocalCompressed, half);
        Put32(z.bytes, z.centralHeader + kCentralCompressed, half);
        Write("short.zip", z.bytes);
        EXPECT_EQ(Extract(tmp / "short.zip", Wide(tmp / "short")).result, UNPACK_INFLATE);
        EXPECT_TRUE(fs::exists(tmp / "short"));
        EXPECT_GT(fs::file_size(tmp / "short"), 0u);

        // The archive cut inside the data, its directory moved up to match.
        z = BuildZip(plan);
        std::string cut = z.bytes.substr(0, z.dataStart + z.compressedSize / 2) + z.bytes.substr(z.centralHeader);
        const size_t removed = z.bytes.size() - cut.size();
        Put32(cut, z.endRecord - removed + kEndDirectoryOffset, static_cast<uint32_t>(z.centralHeader - removed));
        Write("cut.zip", cut);
        EXPECT_EQ(Extract(tmp / "cut.zip", Wide(tmp / "cut")).result, UNPACK_INFLATE);
        EXPECT_TRUE(fs::exists(tmp / "cut"));
    }
    // An encryption header cut short.
    ZipEntryPlan plan;
    plan.encrypt = true;
    plan.data = "secret";
    BuiltZip z = BuildZip(plan);
    Put32(z.bytes, z.localHeader + kLocalCompressed, 5);
    Put32(z.bytes, z.centralHeader + kCentralCompressed, 5);
    Write("header.zip", z.bytes);
    EXPECT_EQ(Extract(tmp / "header.zip", Wide(tmp / "header")).result, UNPACK_INFLATE);

    plan = ZipEntryPlan();
    plan.data = SampleText(50000);
    z = BuildZip(plan);
    for (size_t i = 0; i < 64; ++i)
        z.bytes[z.dataStart + 100 + i] = static_cast<char>(0xFF);
    Write("bad.zip", z.bytes);
    EXPECT_EQ(Extract(tmp / "bad.zip", Wide(tmp / "bad")).result, UNPACK_INFLATE);
}

// ---- finding and checking the directory -----------------------------------

TEST_F(ZipReaderTest, EndRecordIsFoundBehindCommentsOfEveryLengthUpTo65513)
{
    ZipEntryPlan plan;
    plan.method = 0;
    plan.data = SampleText(4000);  // long enough that no piece is cut at the file's start
    // Every length across the first pieces puts the signature on every
    // offset, including across the overlap between two pieces.
    for (size_t length = 0; length <= 2100; ++length) {
        const fs::path archive = Write("c.zip", BuildZip(plan, std::string(length, 'c')).bytes);
        ASSERT_TRUE(Opens(archive)) << length;
    }
    const fs::path longest = Write("long.zip", BuildZip(plan, std::string(65513, 'c')).bytes);
    EXPECT_EQ(Extract(longest, Wide(tmp / "out")).result, UNPACK_OK);
    EXPECT_EQ(ReadFile(tmp / "out"), plan.data);
    EXPECT_FALSE(Opens(Write("toolong.zip", BuildZip(plan, std::string(65514, 'c')).bytes)));
}

TEST_F(ZipReaderTest, SignatureNearestTheEndIsTaken)
{
    ZipEntryPlan plan;
    plan.data = "payload";
    // A comment that holds a second end record, one of a multi-disk archive.
    std::string fake;
    Append32(fake, 0x06054B50);
    Append16(fake, 1);
    Append16(fake, 1);
    fake.append(14, '\0');
    EXPECT_FALSE(Opens(Write("a.zip", BuildZip(plan, "xx" + fake + "yy").bytes)));
    EXPECT_TRUE(Opens(Write("b.zip", BuildZip(plan, "xx" + fake.substr(0, 3) + "yy").bytes)));
}

TEST_F(ZipReaderTest, DataInFrontOfTheArchiveShiftsItsOffsets)
{
    ZipEntryPlan plan;
    plan.data = SampleText(30000);
    // The prefix carries header signatures of its own, as a program stub might.
    std::string prefix = "PK\x03\x04 PK\x01\x02 stub ";
    prefix += SampleText(70000);
    const fs::path archive = Write("sfx.zip", BuildZip(plan, "comment", prefix).bytes);
    EXPECT_EQ(Extract(archive, Wide(tmp / "out")).result, UNPACK_OK);
    EXPECT_EQ(ReadFile(tmp / "out"), plan.data);
}

TEST_F(ZipReaderTest, InvalidEndRecordsFailToOpen)
{
    ZipEntryPlan plan;
    plan.data = "payload";
    const BuiltZip good = BuildZip(plan);
    struct Case {
        const char* what;
        std::string bytes;
    };
    auto patched16 = [&](size_t field, uint16_t value) {
        std::string s = good.bytes;
        Put16(s, good.endRecord + field, value);
        return s;
    };
    auto patched32 = [&](size_t field, uint32_t value) {
        std::string s = good.bytes;
        Put32(s, good.endRecord + field, value);
        return s;
    };
    const Case cases[] = {
        {"empty file", ""},
        {"four bytes", "PK\x05\x06"},
        {"five bytes", std::string("PK\x05\x06\x00", 5)},
        {"no signature", SampleText(3000)},
        {"record cut short", good.bytes.substr(0, good.bytes.size() - 4)},
        {"second disk", patched16(kEndThisDisk, 1)},
        {"directory on another disk", patched16(kEndDirectoryDisk, 2)},
        {"entry counts differ", patched16(kEndEntriesHere, 2)},
        {"directory beyond the record", patched32(kEndDirectoryOffset, 0x1000)},
    };
    for (const Case& c : cases)
        EXPECT_FALSE(Opens(Write("bad.zip", c.bytes))) << c.what;
    EXPECT_FALSE(Opens(tmp / "missing.zip"));
    EXPECT_FALSE(Opens(tmp.Path()));  // a folder is no archive
}

TEST_F(ZipReaderTest, ArchiveWithoutEntriesOpensButHasNothingToExtract)
{
    std::string empty;
    Append32(empty, 0x06054B50);
    empty.append(18, '\0');
    const Extraction x = Extract(Write("empty.zip", empty), Wide(tmp / "out"));
    EXPECT_TRUE(x.opened);
    EXPECT_EQ(x.result, UNPACK_ARGS);
    EXPECT_FALSE(fs::exists(tmp / "out"));
    EXPECT_EQ(ExtractFirstZipEntry(nullptr, Wide(tmp / "out")), UNPACK_ARGS);
    EXPECT_EQ(CloseZipArchive(nullptr), 0);
}

TEST_F(ZipReaderTest, HeaderDisagreementsAreReportedBeforeAnyFileIsCreated)
{
    ZipEntryPlan plan;
    plan.data = SampleText(3000);
    const BuiltZip good = BuildZip(plan);
    struct Case {
        const char* what;
        size_t at;
        uint32_t value;
        int width;
        uint32_t expected;
    };
    const size_t local = good.localHeader, central = good.centralHeader;
    const Case cases[] = {
        {"local signature", local, 0x04034B51, 4, UNPACK_CORRUPT},
        {"central signature", central, 0x02014B51, 4, UNPACK_CORRUPT},
        {"local method differs", local + kLocalMethod, 0, 2, UNPACK_CORRUPT},
        {"local name length differs", local + kLocalNameLength, 7, 2, UNPACK_CORRUPT},
        {"local crc differs", local + kLocalCrc, 1, 4, UNPACK_CORRUPT},
        {"local compressed size differs", local + kLocalCompressed, 1, 4, UNPACK_CORRUPT},
        {"local uncompressed size differs", local + kLocalUncompressed, 1, 4, UNPACK_CORRUPT},
        {"local header out of the file", central + 42, 0x7FFFFFF0, 4, UNPACK_CORRUPT},
        {"extra field longer than the file", local + kLocalExtraLength, 0xFFFF, 2, UNPACK_READ},
        {"crc differs under flag bit 3", local + kLocalFlags, 8, 2, UNPACK_OK},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string bytes = good.bytes;
        if (c.width == 2)
            Put16(bytes, c.at, static_cast<uint16_t>(c.value));
        else
            Put32(bytes, c.at, c.value);
        if (c.expected == UNPACK_OK)
            Put32(bytes, local + kLocalCrc, 1);
        fs::remove(tmp / "out");
        EXPECT_EQ(Extract(Write("bad.zip", bytes), Wide(tmp / "out")).result, c.expected);
        EXPECT_EQ(fs::exists(tmp / "out"), c.expected == UNPACK_OK);
    }
    for (uint16_t method : {uint16_t{1}, uint16_t{9}, uint16_t{12}, uint16_t{14}}) {
        ZipEntryPlan other = plan;
        other.method = method;
        EXPECT_EQ(Extract(Write("m.zip", BuildZip(other).bytes), Wide(tmp / "m")).result, UNPACK_CORRUPT) << method;
    }
}

// ---- the entry record -------------------------------------------------------

TEST_F(ZipReaderTest, NamesAreDecodedAsUtf8AndStripped)
{
    struct Case {
        std::string stored;
        std::wstring expected;
    };
    const Case cases[] = {
        {"plain.txt", L"plain.txt"},
        {"dir/sub/file.txt", L"dir/sub/file.txt"},
        {"C:\\Windows\\evil.dll", L"Windows\\evil.dll"},
        {"/etc/passwd", L"etc/passwd"},
        {"\\\\server\\share\\f", L"server\\share\\f"},
        {"a/b/../../c", L"../c"},
        {"x\\..\\y", L"y"},
        {"x\\../y", L"y"},
        {"x/..\\y", L"y"},
        {"C:/../D:/..\\f", L"f"},
        {"\xe6\x95\xb0\xe6\x8d\xae.xml", L"\u6570\u636e.xml"},
        {std::string(300, 'n'), std::wstring(259, L'n')},
    };
    for (const Case& c : cases) {
        ZipEntryPlan plan;
        plan.name = c.stored;
        plan.data = "x";
        ZIP_ENTRY_RECORD record{};
        ASSERT_EQ(RecordOf(Write("n.zip", BuildZip(plan).bytes), &record), UNPACK_OK) << c.stored;
        EXPECT_EQ(std::wstring(record.name), c.expected) << c.stored;
        EXPECT_EQ(record.index, 0);
    }
}

TEST_F(ZipReaderTest, AttributesFollowTheHostSystem)
{
    struct Case {
        const char* what;
        uint16_t madeBy;
        uint32_t external;
        uint32_t attributes;
        uint32_t unixMode;
    };
    const Case cases[] = {
        {"dos read-only archive", 0x0014, 0x21, ZIP_ATTR_READONLY | ZIP_ATTR_ARCHIVE, 0},
        {"dos hidden system folder", 0x0014, 0x16, ZIP_ATTR_HIDDEN | ZIP_ATTR_SYSTEM | ZIP_ATTR_FOLDER, 0},
        {"ntfs plain", 0x0B14, 0x00, 0, 0},
        {"vfat read-only", 0x0E14, 0x01, ZIP_ATTR_READONLY, 0},
        {"unix 0644", 0x031E, 0100644u << 16, ZIP_ATTR_ARCHIVE, 0644},
        {"unix 0755", 0x031E, 0100755u << 16, ZIP_ATTR_ARCHIVE, 0755},
        {"unix 0444", 0x031E, 0100444u << 16, ZIP_ATTR_ARCHIVE | ZIP_ATTR_READONLY, 0444},
        {"unix set-id bits dropped", 0x031E, 0106755u << 16, ZIP_ATTR_ARCHIVE, 0755},
        {"unix folder", 0x031E, (040755u << 16) | 0x10, ZIP_ATTR_ARCHIVE | ZIP_ATTR_FOLDER, 0755},
        {"unix without mode", 0x031E, 0, ZIP_ATTR_ARCHIVE | ZIP_ATTR_READONLY, 0},
        {"macintosh", 0x071E, 0x01, ZIP_ATTR_READONLY, 0},
        {"os/2 hpfs (not dos)", 0x0614, 0100644u << 16, ZIP_ATTR_ARCHIVE, 0},
    };
    for (const Case& c : cases) {
        ZipEntryPlan plan;
        plan.versionMadeBy = c.madeBy;
        plan.externalAttributes = c.external;
        plan.data = "x";
        ZIP_ENTRY_RECORD record{};
        ASSERT_EQ(RecordOf(Write("a.zip", BuildZip(plan).bytes), &record), UNPACK_OK) << c.what;
        EXPECT_EQ(record.attributes, c.attributes) << c.what;
        EXPECT_EQ(record.unixMode, c.unixMode) << c.what;
    }
}

TEST_F(ZipReaderTest, DosTimesAreLocalTimesAndInvalidOnesGetTheFixedTime)
{
    // A zone without daylight saving, five hours behind UTC.
    const char* oldZone = std::getenv("TZ");
    const std::string savedZone = oldZone ? oldZone : "";
    ASSERT_EQ(setenv("TZ", "EST5", 1), 0);
    tzset();
    struct Case {
        const char* what;
        uint32_t dos;
        int64_t expectedUnix;
    };
    const int64_t epoch1980 = LocalToUnix(1980, 1, 1, 0, 0, 0);
    const Case cases[] = {
        {"summer afternoon", DosDateTime(2020, 6, 15, 13, 45, 30), 1592228730 + 5 * 3600},
        {"first valid", DosDateTime(1980, 1, 1, 0, 0, 0), 315532800 + 5 * 3600},
        {"leap day", DosDateTime(2024, 2, 29, 23, 59, 58), LocalToUnix(2024, 2, 29, 23, 59, 58)},
        {"all zero (month 0, day 0)", 0, epoch1980},
        {"month 13", DosDateTime(2020, 13, 1, 0, 0, 0), epoch1980},
        {"february 30", DosDateTime(2021, 2, 30, 0, 0, 0), epoch1980},
        {"february 29 of a common year", DosDateTime(2023, 2, 29, 0, 0, 0), epoch1980},
        {"hour 24", DosDateTime(2020, 1, 1, 24, 0, 0), epoch1980},
        {"minute 60", DosDateTime(2020, 1, 1, 0, 60, 0), epoch1980},
        {"second 60", DosDateTime(2020, 1, 1, 0, 0, 60), epoch1980},
        {"all ones", 0xFFFFFFFF, epoch1980},
    };
    EXPECT_EQ(epoch1980, 315532800 + 5 * 3600);
    for (const Case& c : cases) {
        ZipEntryPlan plan;
        plan.dosDateTime = c.dos;
        plan.data = "x";
        ZIP_ENTRY_RECORD record{};
        ASSERT_EQ(RecordOf(Write("t.zip", BuildZip(plan).bytes), &record), UNPACK_OK) << c.what;
        EXPECT_EQ(record.modificationTime, FileTimeOfUnix(c.expectedUnix)) << c.what;
        EXPECT_EQ(record.accessTime, record.modificationTime) << c.what;
        EXPECT_EQ(record.creationTime, record.modificationTime) << c.what;
    }
    if (oldZone)
        setenv("TZ", savedZone.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}

TEST_F(ZipReaderTest, ExtendedTimeStampReplacesTheTimesItCarries)
{
    const uint32_t dos = DosDateTime(2020, 6, 15, 13, 45, 30);
    ZipEntryPlan base;
    base.dosDateTime = dos;
    base.data = "x";
    ZIP_ENTRY_RECORD plain{};
    ASSERT_EQ(RecordOf(Write("p.zip", BuildZip(base).bytes), &plain), UNPACK_OK);
    const uint64_t d = plain.modificationTime;
    std::string other;  // an unrelated block first, to be skipped
    Append16(other, 0x7875);
    Append16(other, 3);
    other += "abc";
    struct Case {
        const char* what;
        std::string extra;
        uint64_t modification, access, creation;
    };
    const Case cases[] = {
        {"modification only", ExtendedTimeBlock(1, {1600000000}), FileTimeOfUnix(1600000000), d, d},
        {"all three", ExtendedTimeBlock(7, {1600000000, 1600000100, 1500000000}), FileTimeOfUnix(1600000000),
         FileTimeOfUnix(1600000100), FileTimeOfUnix(1500000000)},
        {"access and creation", ExtendedTimeBlock(6, {1600000100, 1500000000}), d, FileTimeOfUnix(1600000100),
         FileTimeOfUnix(1500000000)},
        {"after another block", other + ExtendedTimeBlock(1, {1600000000}), FileTimeOfUnix(1600000000), d, d},
        {"flags promise more than the field holds", ExtendedTimeBlock(7, {1600000000}), FileTimeOfUnix(1600000000),
         d, d},
        {"before 1970", ExtendedTimeBlock(1, {-86400}), FileTimeOfUnix(-86400), d, d},
        {"flags only", ExtendedTimeBlock(1, {}), d, d, d},
        {"truncated block header", std::string("UT\x05", 3), d, d, d},
    };
    for (const Case& c : cases) {
        ZipEntryPlan plan = base;
        plan.localExtra = c.extra;
        ZIP_ENTRY_RECORD record{};
        ASSERT_EQ(RecordOf(Write("t.zip", BuildZip(plan).bytes), &record), UNPACK_OK) << c.what;
        EXPECT_EQ(record.modificationTime, c.modification) << c.what;
        EXPECT_EQ(record.accessTime, c.access) << c.what;
        EXPECT_EQ(record.creationTime, c.creation) << c.what;
    }
}

// ---- writing the target -----------------------------------------------------

struct stat StatOf(const fs::path& path)
{
    struct stat st {};
    stat(path.c_str(), &st);
    return st;
}

TEST_F(ZipReaderTest, ExtractedFileGetsTheStoredTimesAndPermissions)
{
    ZipEntryPlan plan;
    plan.data = "#!/bin/sh\necho ok\n";
    plan.versionMadeBy = 0x031E;
    plan.externalAttributes = 0100750u << 16;
    plan.localExtra = ExtendedTimeBlock(3, {1600000000, 1600000500});
    EXPECT_EQ(Extract(Write("x.zip", BuildZip(plan).bytes), Wide(tmp / "run.sh")).result, UNPACK_OK);
    struct stat st = StatOf(tmp / "run.sh");
    EXPECT_EQ(st.st_mode & 07777, 0750u);
    EXPECT_EQ(st.st_mtim.tv_sec, 1600000000);
    EXPECT_EQ(st.st_atim.tv_sec, 1600000500);

    plan.versionMadeBy = 0x0014;
    plan.externalAttributes = 0x21;  // read-only
    EXPECT_EQ(Extract(Write("r.zip", BuildZip(plan).bytes), Wide(tmp / "ro.txt")).result, UNPACK_OK);
    EXPECT_EQ(StatOf(tmp / "ro.txt").st_mode & 0222, 0u);
    EXPECT_EQ(ReadFile(tmp / "ro.txt"), plan.data);
}

TEST_F(ZipReaderTest, TargetsGetTheirMissingFoldersOneLevelAtATime)
{
    ZipEntryPlan plan;
    plan.data = "content";
    const fs::path archive = Write("a.zip", BuildZip(plan).bytes);
    const fs::path saved = fs::current_path();
    fs::current_path(tmp.Path());
    struct Case {
        std::wstring target;
        fs::path expected;
    };
    const Case cases[] = {
        {Wide(tmp / "abs" / "one" / "two" / "f.bin"), tmp / "abs/one/two/f.bin"},
        {L"rel/deep/f.bin", tmp / "rel/deep/f.bin"},
        {L"back\\slash\\f.bin", tmp / "back/slash/f.bin"},
        {L"plain.bin", tmp / "plain.bin"},
        {Wide(tmp.Path()) + L"\\mixed/sep\\f.bin", tmp / "mixed/sep/f.bin"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Extract(archive, c.target).result, UNPACK_OK) << c.expected;
        EXPECT_EQ(ReadFile(c.expected), "content") << c.expected;
    }
    fs::current_path(saved);
}

TEST_F(ZipReaderTest, FolderEntriesCreateFolders)
{
    ZipEntryPlan plan;
    plan.name = "dir/";
    plan.method = 0;
    plan.externalAttributes = 0x10;
    const fs::path archive = Write("d.zip", BuildZip(plan).bytes);
    EXPECT_EQ(Extract(archive, Wide(tmp / "made" / "here")).result, UNPACK_OK);
    EXPECT_TRUE(fs::is_directory(tmp / "made" / "here"));
    EXPECT_EQ(Extract(archive, Wide(tmp / "made")).result, UNPACK_OK);  // already there
}

TEST_F(ZipReaderTest, TargetsThatCannotBeCreatedAreRefused)
{
    ZipEntryPlan plan;
    plan.data = "content";
    const fs::path archive = Write("a.zip", BuildZip(plan).bytes);
    fs::create_directory(tmp / "folder");
    WriteFile(tmp / "file", "x");
    const std::wstring longName = Wide(tmp.Path()) + L"/" + std::wstring(260, L'n');
    const std::wstring targets[] = {
        Wide(tmp / "folder"),                       // an existing folder
        Wide(tmp / "file" / "below"),               // a file where a folder should be
        longName,                                   // beyond the path limit
        Wide(tmp.Path()) + L"/" + std::wstring(250 - Wide(tmp.Path()).size(), L'n') + L"/abcdefghijkl",
    };
    for (const std::wstring& target : targets)
        EXPECT_EQ(Extract(archive, target).result, UNPACK_NOFILE) << target.size();
}

TEST_F(ZipReaderTest, FifosAreRefusedWithoutWaiting)
{
    ZipEntryPlan plan;
    plan.data = "content";
    const fs::path archive = Write("a.zip", BuildZip(plan).bytes);
    ASSERT_EQ(mkfifo((tmp / "pipe").c_str(), 0600), 0);
    EXPECT_EQ(Extract(archive, Wide(tmp / "pipe")).result, UNPACK_NOFILE);
    EXPECT_FALSE(Opens(tmp / "pipe"));
}

TEST_F(ZipReaderTest, FailedWritesAreReported)
{
    // A file size limit makes the write fail for real (EFBIG).
    ZipEntryPlan plan;
    plan.data = SampleText(100000);
    const fs::path archive = Write("a.zip", BuildZip(plan).bytes);
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 20000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const uint32_t result = Extract(archive, Wide(tmp / "out")).result;
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(result, UNPACK_WRITE);
}

TEST_F(ZipReaderTest, ExtractArchiveBesideDropsTheLastExtension)
{
    ZipEntryPlan plan;
    plan.data = "<UpdateConfig/>";
    const std::string bytes = BuildZip(plan).bytes;
    Write("UpdateList.xml.zip", bytes);
    EXPECT_TRUE(ExtractArchiveBeside(Wide(tmp / "UpdateList.xml.zip")));
    EXPECT_EQ(ReadFile(tmp / "UpdateList.xml"), plan.data);

    // A dot in a folder counts when the file name has none.
    fs::create_directory(tmp / "v1.5");
    Write("v1.5/archive", bytes);
    EXPECT_TRUE(ExtractArchiveBeside(Wide(tmp / "v1.5" / "archive")));
    EXPECT_EQ(ReadFile(tmp / "v1"), plan.data);

    EXPECT_FALSE(ExtractArchiveBeside(L""));
    EXPECT_FALSE(ExtractArchiveBeside(L"noextension"));
    EXPECT_FALSE(ExtractArchiveBeside(L".zip"));
    EXPECT_FALSE(ExtractArchiveBeside(Wide(tmp / "missing.zip")));
    EXPECT_FALSE(fs::exists(tmp / "missing"));
    Write("bad.zip", "not an archive");
    EXPECT_FALSE(ExtractArchiveBeside(Wide(tmp / "bad.zip")));
}

TEST_F(ZipReaderTest, EnsureFolderPathBuildsBelowTheRoot)
{
    const std::wstring root = Wide(tmp / "root") + L"/";
    EnsureFolderPath(root.c_str(), L"a/b\\c");
    EXPECT_TRUE(fs::is_directory(tmp / "root/a/b/c"));
    EnsureFolderPath(nullptr, Wide(tmp / "abs" / "x" / "y"));
    EXPECT_TRUE(fs::is_directory(tmp / "abs/x/y"));
    EnsureFolderPath(root.c_str(), L"");
    EnsureFolderPath(root.c_str(), std::wstring(300, L'z'));  // refused, no overrun
    std::error_code ec;
    EXPECT_FALSE(fs::exists(tmp / "root" / std::string(300, 'z'), ec));
}

}  // namespace
