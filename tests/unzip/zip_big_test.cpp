// Entries over 2 GiB and over 4 GiB, in archives written during the test by
// Info-ZIP's zip from standard input and by Python's zipfile with
// force_zip64: the reader must report their sizes whole and write every
// byte, with the length and CRC-32 the worker checks. Zeros keep the
// archives small; the unpacked files are written for real and removed.
#include "zip_reader.h"

#include <cstdint>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "process.h"
#include "temp_folder.h"
#include "text.h"

namespace fs = std::filesystem;
using namespace test;

namespace {

// Prints the first entry's CRC-32 as a decimal number.
const char kPrintCrc[] = "python3 -c \"import zipfile; print(zipfile.ZipFile('big.bin.zip').infolist()[0].CRC)\"";

TEST(ZipBig, EntriesOver2And4GiBExtractWhole)
{
    struct {
        const char* what;
        uint64_t size;
        std::string command;  // writes big.bin.zip holding `size` zeros
    } cases[] = {
        {"over 2 GiB, zip from standard input", 2200000000ull,
         "head -c 2200000000 /dev/zero | zip -q -1 big.bin.zip -"},
        {"over 4 GiB, Python's zipfile", 4400000000ull,
         "python3 -c \"import zipfile; z=zipfile.ZipFile('big.bin.zip','w',zipfile.ZIP_DEFLATED,compresslevel=1); "
         "o=z.open('big.bin','w',force_zip64=True); b=bytes(1<<26); n=4400000000\n"
         "while n: k=min(n,len(b)); o.write(b[:k]); n-=k\n"
         "o.close(); z.close()\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder tmp;
        PROCESS_OPTIONS quiet;
        const std::string cd = "cd '" + tmp.Path().string() + "' && ";
        const PROCESS_RESULT made = RunShell(cd + c.command, quiet, std::chrono::minutes(5));
        ASSERT_EQ(made.status, 0) << made.output;
        const PROCESS_RESULT crc = RunShell(cd + kPrintCrc);
        ASSERT_EQ(crc.status, 0) << crc.output;
        const std::wstring archive = AnsiToWide((tmp / "big.bin.zip").string());

        ZIP_READER* reader = OpenZipArchive(archive);
        ASSERT_NE(reader, nullptr);
        ZIP_ENTRY_RECORD record{};
        EXPECT_EQ(GetFirstZipEntryRecord(reader, &record), UNPACK_OK);
        CloseZipArchive(reader);
        EXPECT_EQ(record.uncompressedSize, static_cast<int64_t>(c.size));

        // One byte less than the entry is refused before anything is written.
        ZIP_WRITTEN written{};
        EXPECT_FALSE(ExtractFileBeside(archive, c.size - 1, &written));
        EXPECT_FALSE(fs::exists(tmp / "big.bin"));

        ASSERT_TRUE(ExtractFileBeside(archive, c.size, &written));
        EXPECT_EQ(written.length, c.size);
        EXPECT_EQ(written.crc, static_cast<uint32_t>(std::stoul(crc.output)));
        EXPECT_EQ(fs::file_size(tmp / "big.bin"), c.size);
        fs::remove(tmp / "big.bin");
    }
}

}  // namespace
