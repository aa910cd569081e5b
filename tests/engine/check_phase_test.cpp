// The check phase's comparison of the listed files with the installed tree:
// digested ahead on a pool of threads it must give exactly what the walk one
// file at a time gives, and files changing under it (truncated, replaced,
// removed while they are read) must never crash it.
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "file_digest.h"
#include "temp_folder.h"
#include "tovarin_thread.h"
#include "update_fixture.h"
#include "update_list.h"

using namespace test;

namespace {

struct LISTED {
    std::string name;  // FileName
    std::string path;  // FilePath, backslashes
    std::string contents;  // what the list says the file holds
};

std::string CrcText(const std::string& bytes)
{
    char text[16];
    std::snprintf(text, sizeof text, "%X",
                  CalcCrc32(static_cast<uint32_t>(bytes.size()), reinterpret_cast<const unsigned char*>(bytes.data())));
    return text;
}

void FillList(CUpdateList& list, const std::vector<LISTED>& listed)
{
    for (const LISTED& item : listed) {
        CUpdateFile* entry = list.AddFile();
        std::snprintf(entry->m_szFileName, sizeof entry->m_szFileName, "%s", item.name.c_str());
        std::snprintf(entry->m_szFilePath, sizeof entry->m_szFilePath, "%s", item.path.c_str());
        std::snprintf(entry->m_szFileCrc, sizeof entry->m_szFileCrc, "%s", CrcText(item.contents).c_str());
        entry->m_nFileLen = static_cast<std::int64_t>(item.contents.size());
        entry->m_nStatus = UPDATE_FILE_FETCHED;  // the check makes every remaining entry pending
    }
}

// What one comparison leaves: the remaining entries by name with their
// status, and whether the worker's digest record is that of the entry walked
// last (the one at the highest address), as a walk one file at a time
// leaves it.
struct OUTCOME {
    std::map<std::string, int> remaining;
    bool lastDigestKept = false;
};

OUTCOME Compare(const std::string& prog, const std::vector<LISTED>& listed, unsigned threads)
{
    CTovarinThread worker;
    worker.Init();
    worker.m_strProgDir = Wide(prog);
    worker.m_nDigestThreads = threads;
    worker.m_pUpdateList = new CUpdateList;
    FillList(*worker.m_pUpdateList, listed);
    CFileDigest last;
    if (!worker.m_pUpdateList->m_setFiles.empty()) {
        const CUpdateFile& entry = **worker.m_pUpdateList->m_setFiles.rbegin();
        std::string path = prog + "/";
        for (const char* p = entry.m_szFilePath; *p; ++p)
            path += *p == '\\' ? '/' : *p;
        last.Compute(Wide(entry.m_szFilePath[0] ? path + "/" + entry.m_szFileName : path + entry.m_szFileName));
    }
    worker.CompareInstalledFiles();
    OUTCOME outcome;
    for (CUpdateFile* entry = worker.m_pUpdateList->GetFirstFile(); entry; entry = worker.m_pUpdateList->GetNextFile())
        outcome.remaining[std::string(entry->m_szFilePath) + "|" + entry->m_szFileName] = entry->m_nStatus;
    outcome.lastDigestKept = worker.m_pDigest->m_strPath == last.m_strPath &&
                             worker.m_pDigest->m_dwSize == last.m_dwSize &&
                             std::wstring(worker.m_pDigest->m_szCrc) == last.m_szCrc;
    return outcome;
}

// A tree with unchanged, changed, missing, shrunk, grown, emptied files and a
// folder standing where a file is listed; the digest of the last entry
// walked and the remaining entries must not depend on the thread count.
TEST(CheckPhase, PooledDigestsGiveTheSequentialResult)
{
    TempFolder dir;
    const std::string prog = dir / "prog";
    std::vector<LISTED> listed;
    std::map<std::string, int> expected;
    for (int i = 0; i < 120; ++i) {
        const std::string name = "f" + std::to_string(i) + ".bin";
        const std::string folder = i % 3 == 0 ? "" : "d" + std::to_string(i % 4) + "\\s";
        // Sizes around the digest's block, and some of several blocks.
        const std::string contents = RandomBytes(i % 10 == 0 ? 700000 + i : 100 + i * 997, static_cast<unsigned>(i));
        listed.push_back({name, folder, contents});
        std::string local = prog + "/" + (folder.empty() ? "" : "d" + std::to_string(i % 4) + "/s/") + name;
        const int kind = i % 7;
        switch (kind) {
        case 0:
        case 1: WriteFile(local, contents); break;  // unchanged
        case 2: { std::string other = contents; other[other.size() / 2] ^= 1; WriteFile(local, other); break; }
        case 3: break;  // missing
        case 4: WriteFile(local, contents.substr(0, contents.size() - 1)); break;  // shrunk
        case 5: WriteFile(local, contents + "x"); break;  // grown
        case 6: if (i % 2) WriteFile(local, ""); else MakeFolders(local); break;
        }
        if (kind > 1)
            expected[folder + "|" + name] = UPDATE_FILE_PENDING;
    }
    const OUTCOME sequential = Compare(prog, listed, 1);
    EXPECT_EQ(sequential.remaining, expected);
    EXPECT_TRUE(sequential.lastDigestKept);
    for (unsigned threads : {2u, 3u, 8u, 200u}) {
        SCOPED_TRACE(threads);
        const OUTCOME pooled = Compare(prog, listed, threads);
        EXPECT_EQ(pooled.remaining, sequential.remaining);
        EXPECT_TRUE(pooled.lastDigestKept);
    }
    // One entry and an empty list take the sequential walk whatever is asked.
    EXPECT_TRUE(Compare(prog, {listed[0]}, 4).remaining.empty());
    EXPECT_TRUE(Compare(prog, {}, 4).remaining.empty());
}

// Files truncated, replaced and removed over and over while the pooled check
// reads them: every pass ends (a file mapped and then shrunk would end the
// process with SIGBUS), and once the tree is left alone every file is current.
TEST(CheckPhase, FilesChangingDuringTheCheckNeverCrashIt)
{
    TempFolder dir;
    const std::string prog = dir / "prog";
    std::vector<LISTED> listed;
    for (int i = 0; i < 24; ++i) {
        listed.push_back({"f" + std::to_string(i), "", RandomBytes(600000 + 4096 * i, static_cast<unsigned>(i))});
        WriteFile(prog + "/" + listed.back().name, listed.back().contents);
    }
    std::atomic<bool> stop{false};
    std::atomic<int> changes{0};
    std::thread changer([&] {
        for (unsigned round = 0; !stop.load(); ++round) {
            const LISTED& item = listed[round % listed.size()];
            const std::string path = prog + "/" + item.name;
            switch (round % 4) {
            case 0: truncate(path.c_str(), static_cast<off_t>(item.contents.size() / 3)); break;
            case 1: truncate(path.c_str(), 0); break;
            case 2: unlink(path.c_str()); break;
            case 3: break;
            }
            // Recreated in place or renamed over, alternately.
            if (round % 2) {
                WriteFile(path, item.contents);
            } else {
                WriteFile(path + ".new", item.contents);
                std::rename((path + ".new").c_str(), path.c_str());
            }
            ++changes;
        }
    });
    int passes = 0;
    while (passes < 30 || changes.load() < 200) {
        const OUTCOME outcome = Compare(prog, listed, 3);
        for (const auto& [name, status] : outcome.remaining)
            EXPECT_EQ(status, UPDATE_FILE_PENDING) << name;
        ++passes;
        if (passes > 2000)
            break;
    }
    stop.store(true);
    changer.join();
    EXPECT_GE(changes.load(), 200);
    for (const LISTED& item : listed)
        WriteFile(prog + "/" + item.name, item.contents);
    EXPECT_TRUE(Compare(prog, listed, 3).remaining.empty());
}

}  // namespace
