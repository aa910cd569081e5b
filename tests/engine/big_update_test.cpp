// One program file over 4 GiB through a whole update against nginx: the
// list's 64-bit lengths, the Zip64 archive Python's zipfile writes, the
// length and CRC-32 confirmed as the file is unpacked, and the byte counts
// of the progress. Zeros keep the archive small; the file itself is written,
// installed and removed for real, so this runs in the normal build only.
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "update_fixture.h"
#include "tovarin_thread.h"
#include "update_list.h"

using namespace test;
namespace fs = std::filesystem;

namespace {

constexpr std::uint64_t kBigSize = 4400000000ull;

TEST(BigUpdate, FileOver4GiBIsFetchedUnpackedAndInstalled)
{
    TempFolder dir;
    const std::string src = dir / "src", srv = dir / "srv", prog = dir / "prog", down = dir / "down";
    WriteFile(src + "/big.bin", "placeholder");
    WriteFile(src + "/small.txt", "small\n");
    Publish(src, srv, "1.0");
    // The real archive, and its entry's CRC-32, replace the placeholder's.
    const PROCESS_RESULT made = RunShell(
        "cd '" + srv + "' && python3 -c \"import zipfile; "
        "z=zipfile.ZipFile('big.bin.zip','w',zipfile.ZIP_DEFLATED,compresslevel=1); "
        "o=z.open('big.bin','w',force_zip64=True); b=bytes(1<<26); n=" + std::to_string(kBigSize) + "\n"
        "while n: k=min(n,len(b)); o.write(b[:k]); n-=k\n"
        "o.close(); z.close(); print('%X' % zipfile.ZipFile('big.bin.zip').infolist()[0].CRC)\"",
        {}, std::chrono::minutes(5));
    ASSERT_EQ(made.status, 0) << made.output;
    const std::string crc = made.output.substr(0, made.output.find('\n'));
    const std::int64_t archiveSize = static_cast<std::int64_t>(fs::file_size(srv + "/big.bin.zip"));
    EditServerList(srv, [&](CUpdateList& list) {
        for (CUpdateFile* entry = list.GetFirstFile(); entry; entry = list.GetNextFile()) {
            if (std::string(entry->m_szFileName) != "big.bin")
                continue;
            entry->m_nFileLen = static_cast<std::int64_t>(kBigSize);
            entry->m_nCompressLen = archiveSize;
            std::snprintf(entry->m_szFileCrc, sizeof entry->m_szFileCrc, "%s", crc.c_str());
            entry->m_szCompressSha256[0] = '\0';
        }
    });
    Nginx nginx;
    ASSERT_TRUE(nginx.Start(srv));
    MakeFolders(prog);
    MakeFolders(down);

    const HEADLESS_RESULT result = RunUpdate(nginx.Url(), prog, down, "1.0");
    EXPECT_EQ(result.nOutcome, UPDATE_OUTCOME_INSTALLED);
    EXPECT_EQ(fs::file_size(prog + "/big.bin"), kBigSize);
    EXPECT_EQ(ReadFile(prog + "/small.txt"), "small\n");
    // The archive's byte counts run up to its whole length.
    WPARAM last = 0;
    for (const UPDATE_MESSAGE& message : result.messages)
        if (message.nMessage == WM_UPDATE_BYTES && message.lParam == archiveSize)
            last = message.wParam;
    EXPECT_EQ(last, static_cast<WPARAM>(archiveSize));
    fs::remove(prog + "/big.bin");
}

} // namespace
