// The CRC-32 and the file digest record: text format, the mended empty-file
// case, missing files, record reuse and unpacking through the record.
#include "file_digest.h"

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include "temp_folder.h"
#include "../unzip/zip_builder.h"
#include "text.h"

namespace fs = std::filesystem;

using namespace test;

namespace {

// The definition, a byte at a time with the usual table.
uint32_t ReferenceCrc32(const unsigned char* data, size_t length)
{
    static uint32_t table[256];
    if (table[1] == 0) {
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            table[n] = c;
        }
    }
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < length; ++i)
        crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

uint32_t Crc(const std::string& s)
{
    return CalcCrc32(static_cast<uint32_t>(s.size()), reinterpret_cast<const unsigned char*>(s.data()));
}

std::wstring Wide(const fs::path& path)
{
    return AnsiToWide(path.string());
}

TEST(CalcCrc32Test, KnownValues)
{
    EXPECT_EQ(CalcCrc32(0, nullptr), 0u);
    EXPECT_EQ(Crc("abc"), 0x352441C2u);
    EXPECT_EQ(Crc("123456789"), 0xCBF43926u);
    EXPECT_EQ(Crc(std::string(1, '\0')), 0xD202EF8Du);
}

TEST(CalcCrc32Test, MatchesTheBytewiseDefinitionAtEveryLengthAndAlignment)
{
    std::vector<unsigned char> data(70000);
    uint32_t x = 99;
    for (unsigned char& b : data) {
        x = x * 1103515245u + 12345u;
        b = static_cast<unsigned char>(x >> 23);
    }
    for (size_t offset = 0; offset < 16; ++offset) {
        for (size_t length : {1, 2, 3, 7, 8, 15, 16, 17, 31, 63, 64, 65, 127, 255, 256, 1000, 4096, 65536 + 11}) {
            ASSERT_EQ(CalcCrc32(static_cast<uint32_t>(length), data.data() + offset),
                      ReferenceCrc32(data.data() + offset, length))
                << offset << " " << length;
        }
    }
}

class FileDigestTest : public ::testing::Test {
protected:
    TempFolder tmp;
};

TEST_F(FileDigestTest, DigestTextIsUpperCaseHexWithoutLeadingZeros)
{
    struct Case {
        std::string contents;
        const wchar_t* text;
    };
    const Case cases[] = {
        {"abc", L"352441C2"},
        {std::string("\x24\x08\x00\x00", 4), L"7B6CD"},  // CRC 0x0007B6CD
        {"123456789", L"CBF43926"},
    };
    for (const Case& c : cases) {
        WriteFile(tmp / "f", c.contents);
        CFileDigest digest;
        EXPECT_EQ(digest.Compute(Wide(tmp / "f")), TRUE);
        EXPECT_EQ(digest.m_dwSize, c.contents.size());
        EXPECT_STREQ(digest.m_szCrc, c.text);
        EXPECT_EQ(digest.m_strPath, Wide(tmp / "f"));
    }
}

TEST_F(FileDigestTest, MissingAndEmptyFilesDiffer)
{
    CFileDigest digest;
    EXPECT_EQ(digest.m_dwSize, 0u);
    EXPECT_STREQ(digest.m_szCrc, L"");

    const std::wstring missing = Wide(tmp / "missing.zip");
    EXPECT_EQ(digest.Compute(missing), FALSE);
    EXPECT_EQ(digest.m_dwSize, 0u);
    EXPECT_STREQ(digest.m_szCrc, L"");
    EXPECT_EQ(digest.m_strPath, missing);

    // An empty file is readable and has the CRC 0, so an entry listed as
    // empty can be confirmed.
    WriteFile(tmp / "empty", "");
    EXPECT_EQ(digest.Compute(Wide(tmp / "empty")), TRUE);
    EXPECT_EQ(digest.m_dwSize, 0u);
    EXPECT_STREQ(digest.m_szCrc, L"0");

    EXPECT_EQ(digest.Compute(Wide(tmp.Path())), FALSE);  // a folder is no file
    EXPECT_STREQ(digest.m_szCrc, L"");
    ASSERT_EQ(mkfifo((tmp / "pipe").c_str(), 0600), 0);
    EXPECT_EQ(digest.Compute(Wide(tmp / "pipe")), FALSE);  // refused, not waited on
}

TEST_F(FileDigestTest, SecondComputeReplacesEveryField)
{
    std::string big(300000, 'q');
    big[12345] = 'z';
    WriteFile(tmp / "big", big);
    WriteFile(tmp / "abc", "abc");
    CFileDigest digest;
    ASSERT_EQ(digest.Compute(Wide(tmp / "big")), TRUE);
    EXPECT_EQ(digest.m_dwSize, big.size());
    EXPECT_EQ(std::wcstoul(digest.m_szCrc, nullptr, 16), ReferenceCrc32(reinterpret_cast<const unsigned char*>(big.data()), big.size()));

    ASSERT_EQ(digest.Compute(Wide(tmp / "abc")), TRUE);
    EXPECT_EQ(digest.m_dwSize, 3u);
    EXPECT_STREQ(digest.m_szCrc, L"352441C2");
    EXPECT_EQ(digest.m_strPath, Wide(tmp / "abc"));
    for (size_t i = std::wcslen(digest.m_szCrc); i < 33; ++i)
        EXPECT_EQ(digest.m_szCrc[i], L'\0') << i;  // no tail of the longer text

    ASSERT_EQ(digest.Compute(Wide(tmp / "gone")), FALSE);
    EXPECT_EQ(digest.m_dwSize, 0u);
    EXPECT_STREQ(digest.m_szCrc, L"");
    EXPECT_EQ(digest.m_strPath, Wide(tmp / "gone"));
}

// The CRC-32 of length zero bytes followed by tail, from zlib's combination
// of CRCs, without touching length bytes.
uint32_t CrcOfZerosThen(uint64_t length, const std::string& tail)
{
    const std::vector<unsigned char> block(1 << 20, 0);
    uLong unit = crc32(0, block.data(), static_cast<uInt>(block.size()));
    uLong zeros = 0;
    uint64_t unitLength = block.size();
    for (uint64_t rest = length / block.size(); rest; rest >>= 1) {
        if (rest & 1)
            zeros = crc32_combine(zeros, unit, static_cast<z_off_t>(unitLength));
        unit = crc32_combine(unit, unit, static_cast<z_off_t>(unitLength));
        unitLength *= 2;
    }
    const uLong rest = crc32(0, block.data(), static_cast<uInt>(length % block.size()));
    zeros = crc32_combine(zeros, rest, static_cast<z_off_t>(length % block.size()));
    const uLong end = crc32(0, reinterpret_cast<const Bytef*>(tail.data()), static_cast<uInt>(tail.size()));
    return static_cast<uint32_t>(crc32_combine(zeros, end, static_cast<z_off_t>(tail.size())));
}

// A sparse file of 4 GiB and three bytes: the size is not cut to 32 bits and
// the CRC covers every byte.
TEST_F(FileDigestTest, FilesOver4GiBKeepTheirWholeSize)
{
    const uint64_t hole = (4ull << 30) + 5;
    const fs::path path = tmp / "huge";
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(pwrite(fd, "abc", 3, static_cast<off_t>(hole)), 3);
    close(fd);
    CFileDigest digest;
    ASSERT_EQ(digest.Compute(Wide(path)), TRUE);
    EXPECT_EQ(digest.m_dwSize, hole + 3);
    EXPECT_EQ(std::wcstoul(digest.m_szCrc, nullptr, 16), CrcOfZerosThen(hole, "abc"));
}

TEST_F(FileDigestTest, BackslashesSeparateFolders)
{
    fs::create_directory(tmp / "sub");
    WriteFile(tmp / "sub" / "abc", "abc");
    CFileDigest digest;
    EXPECT_EQ(digest.Compute(Wide(tmp.Path()) + L"\\sub\\abc"), TRUE);
    EXPECT_STREQ(digest.m_szCrc, L"352441C2");
}

TEST_F(FileDigestTest, UnpackExtractsTheArchiveLastDigested)
{
    ZipEntryPlan plan;
    plan.data = "program bytes";
    WriteFile(tmp / "tool.exe.zip", BuildZip(plan).bytes);
    CFileDigest digest;
    ASSERT_EQ(digest.Compute(Wide(tmp / "tool.exe.zip")), TRUE);
    EXPECT_EQ(digest.Unpack(), TRUE);
    EXPECT_EQ(ReadFile(tmp / "tool.exe"), plan.data);

    // A missing archive still leaves its path for Unpack, which then fails.
    EXPECT_EQ(digest.Compute(Wide(tmp / "other.zip")), FALSE);
    EXPECT_EQ(digest.Unpack(), FALSE);
    EXPECT_FALSE(fs::exists(tmp / "other"));
}

}  // namespace
