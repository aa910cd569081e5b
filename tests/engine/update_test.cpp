// Whole updates against a real nginx on loopback serving trees made by the
// publisher: the messages, the files left in both folders, and what was
// requested (nginx's access log).
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <vector>

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "http_fetch.h"
#include "update_fixture.h"
#include "text.h"
#include "tovarin_thread.h"
#include "update_list.h"

using namespace test;
namespace fs = std::filesystem;

namespace {

class UpdateTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        MakeFolders(prog);
        MakeFolders(down);
        // The new version: nested folders, an empty file, an executable.
        WriteFile(src + "/prog", StartedProgram("version 2"), 0755);
        WriteFile(src + "/readme.txt", "version 2\n");
        WriteFile(src + "/empty.dat", "");
        WriteFile(src + "/data/level1.bin", RandomBytes(20000, 1));
        WriteFile(src + "/data/sub/deep.bin", RandomBytes(70000, 2));
        WriteFile(src + "/bin/tool", RandomBytes(3000, 3), 0755);
        Publish(src, srv, "2.0");
        // The installed old version: one file current, one outdated.
        WriteFile(prog + "/data/level1.bin", RandomBytes(20000, 1));
        WriteFile(prog + "/readme.txt", "version 1\n");
        ASSERT_TRUE(nginx.Start(srv));
    }

    HEADLESS_RESULT Run(const std::string& number = "2.0", bool reboot = false)
    {
        MakeFolders(down);
        return RunUpdate(nginx.Url(), prog, down, number, reboot);
    }

    // Archives requested, by their path on the server.
    int Fetches(const std::string& file) { return nginx.CountRequests("/" + file + ".zip"); }

    // A program that, when started, adds a line with its text to the marker.
    std::string StartedProgram(const std::string& text) const
    {
        return "#!/bin/sh\necho '" + text + "' >> '" + (dir / "marker").string() + "'\n";
    }

    TempFolder dir;
    const std::string prog = dir / "prog", down = dir / "down", src = dir / "src", srv = dir / "srv";
    Nginx nginx;
};

const std::set<std::string> kPending = {"prog", "readme.txt", "empty.dat", "deep.bin", "tool"};

int Finals(const HEADLESS_RESULT& result)
{
    int finals = 0;
    for (const UPDATE_MESSAGE& message : result.messages)
        finals += message.nMessage == WM_UPDATE_CLOSE || message.nMessage == WM_UPDATE_DONE;
    return finals;
}

// The whole message sequence of an update that fetches `pending` and
// installs.
void ExpectInstallMessages(const HEADLESS_RESULT& result, const std::set<std::string>& pending)
{
    const auto& m = result.messages;
    ASSERT_GE(m.size(), 6u);
    const std::pair<unsigned, const wchar_t*> opening[] = {
        {0, L"正在检查新的版本..."}, {1, L"正在下载更新列表..."}, {2, L"正在准备更新包..."}};
    for (unsigned i = 0; i < 3; ++i) {
        EXPECT_EQ(m[i].nMessage, static_cast<unsigned>(WM_UPDATE_STATUS));
        EXPECT_EQ(m[i].wParam, opening[i].first);
        EXPECT_EQ(m[i].strText, opening[i].second);
    }
    std::set<std::string> fetched;
    std::size_t i = 3;
    WPARAM lastStep = 3;
    int remaining = static_cast<int>(pending.size());
    while (i < m.size() && m[i].nMessage == WM_UPDATE_STATUS && m[i].wParam != 65) {
        --remaining;
        const std::wstring prefix = L"剩余" + std::to_wstring(remaining) + L"个文件需要下载/正在下载:";
        ASSERT_EQ(m[i].strText.compare(0, prefix.size(), prefix), 0) << WideToAnsiLossy(m[i].strText);
        fetched.insert(WideToAnsiLossy(m[i].strText.substr(prefix.size())));
        EXPECT_GE(m[i].wParam, lastStep);
        EXPECT_LE(m[i].wParam, 64u);
        lastStep = m[i].wParam;
        // (0, len), the running totals, and the final empty read.
        ++i;
        ASSERT_EQ(m[i].nMessage, static_cast<unsigned>(WM_UPDATE_BYTES));
        EXPECT_EQ(m[i].wParam, 0u);
        const LPARAM expected = m[i].lParam;
        EXPECT_GT(expected, 0);
        WPARAM previous = 0;
        std::size_t reads = 0;
        for (++i; i < m.size() && m[i].nMessage == WM_UPDATE_BYTES; ++i, ++reads) {
            EXPECT_EQ(m[i].lParam, expected);
            EXPECT_GE(m[i].wParam, previous);
            EXPECT_LE(m[i].wParam - previous, 5120u);
            previous = m[i].wParam;
        }
        EXPECT_GE(reads, 2u);
        EXPECT_EQ(previous, static_cast<WPARAM>(expected));
    }
    EXPECT_EQ(remaining, 0);
    EXPECT_EQ(fetched, pending);
    ASSERT_LE(i + 3, m.size());
    EXPECT_EQ(m[i].nMessage, static_cast<unsigned>(WM_UPDATE_STATUS));
    EXPECT_EQ(m[i].wParam, 65u);
    EXPECT_EQ(m[i].strText, L"正在安装更新包");
    EXPECT_EQ(m[i + 1].nMessage, static_cast<unsigned>(WM_UPDATE_BYTES));
    EXPECT_EQ(m[i + 1].wParam, 0u);
    EXPECT_EQ(m[i + 1].lParam, 0);
    EXPECT_EQ(m[i + 2].nMessage, static_cast<unsigned>(WM_UPDATE_DONE));
    EXPECT_EQ(i + 3, m.size());
}

TEST_F(UpdateTest, FullUpdateOfANestedTree)
{
    const HEADLESS_RESULT result = Run();
    ASSERT_TRUE(result.bFinished);
    EXPECT_EQ(result.nOutcome, UPDATE_OUTCOME_INSTALLED);
    ExpectInstallMessages(result, kPending);
    EXPECT_EQ(ReadTree(prog), ReadTree(src));
    EXPECT_FALSE(Exists(down));
    struct stat info{};
    ASSERT_EQ(::stat((prog + "/bin/tool").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0755u);
    EXPECT_EQ(Fetches("data/sub/deep.bin"), 1);
    EXPECT_EQ(Fetches("data/level1.bin"), 0);  // already current
    EXPECT_EQ(Fetches("empty.dat"), 1);

    // Installed, the empty file included, the tree is current.
    const HEADLESS_RESULT again = Run();
    EXPECT_EQ(again.nOutcome, UPDATE_OUTCOME_CURRENT);
}

TEST_F(UpdateTest, NothingToUpdateClosesWithoutALog)
{
    fs::remove_all(prog);
    fs::copy(src, prog, fs::copy_options::recursive);
    const HEADLESS_RESULT result = Run();
    ASSERT_TRUE(result.bFinished);
    EXPECT_EQ(result.nFinalMessage, static_cast<unsigned>(WM_UPDATE_CLOSE));
    EXPECT_EQ(result.nOutcome, UPDATE_OUTCOME_CURRENT);
    EXPECT_EQ(result.messages.size(), 4u);
    EXPECT_FALSE(Exists(down + "/UpdateLog.xml"));
    EXPECT_TRUE(Exists(down + "/UpdateList.xml.zip"));
    EXPECT_TRUE(Exists(down + "/UpdateList.xml"));
    EXPECT_EQ(nginx.Requests().size(), 1u);
}

// The entries of a log, by name, with their status.
std::map<std::string, int> LogStatuses(const std::string& path)
{
    std::map<std::string, int> statuses;
    CUpdateList log;
    if (log.Load(Wide(path)))
        for (CUpdateFile* entry = log.GetFirstFile(); entry; entry = log.GetNextFile())
            statuses[entry->m_szFileName] = entry->m_nStatus;
    return statuses;
}

const std::map<std::string, std::string> kServerPath = {
    {"prog", "prog"}, {"readme.txt", "readme.txt"}, {"empty.dat", "empty.dat"},
    {"deep.bin", "data/sub/deep.bin"}, {"tool", "bin/tool"}};

// A missing archive: two attempts, then CLOSE with the log saved; the same
// version resumes and fetches only what was not fetched yet.
TEST_F(UpdateTest, FailedDownloadIsResumedBySameNumber)
{
    fs::rename(srv + "/data/sub/deep.bin.zip", dir / "deep.bin.zip");
    const HEADLESS_RESULT first = Run();
    ASSERT_TRUE(first.bFinished);
    EXPECT_EQ(first.nOutcome, UPDATE_OUTCOME_DOWNLOAD_FAILED);
    EXPECT_EQ(Finals(first), 1);
    EXPECT_EQ(first.messages.back().nMessage, static_cast<unsigned>(WM_UPDATE_CLOSE));
    EXPECT_EQ(Fetches("data/sub/deep.bin"), 2);
    EXPECT_EQ(ReadFile(prog + "/readme.txt"), "version 1\n");
    const auto statuses = LogStatuses(down + "/UpdateLog.xml");
    ASSERT_EQ(statuses.size(), kPending.size());
    EXPECT_EQ(statuses.at("deep.bin"), UPDATE_FILE_PENDING);

    fs::rename(dir / "deep.bin.zip", srv + "/data/sub/deep.bin.zip");
    const HEADLESS_RESULT second = Run();
    EXPECT_EQ(second.nOutcome, UPDATE_OUTCOME_INSTALLED);
    EXPECT_EQ(nginx.CountRequests("/UpdateList.xml.zip"), 1);
    for (const auto& [name, status] : statuses) {
        // deep.bin: twice by the first run, once by the second. Every other
        // entry once: by the first run when it was fetched there, else by
        // the second.
        EXPECT_EQ(Fetches(kServerPath.at(name)), name == "deep.bin" ? 3 : 1) << name << " " << status;
    }
    EXPECT_EQ(ReadTree(prog), ReadTree(src));
}

TEST_F(UpdateTest, AnotherNumberStartsOver)
{
    fs::rename(srv + "/data/sub/deep.bin.zip", dir / "deep.bin.zip");
    EXPECT_EQ(Run().nOutcome, UPDATE_OUTCOME_DOWNLOAD_FAILED);
    const auto statuses = LogStatuses(down + "/UpdateLog.xml");
    fs::rename(dir / "deep.bin.zip", srv + "/data/sub/deep.bin.zip");
    EXPECT_EQ(Run("2.1").nOutcome, UPDATE_OUTCOME_INSTALLED);
    EXPECT_EQ(nginx.CountRequests("/UpdateList.xml.zip"), 2);
    for (const auto& [name, status] : statuses)
        EXPECT_EQ(Fetches(kServerPath.at(name)), name == "deep.bin" ? 3 : status == UPDATE_FILE_FETCHED ? 2 : 1) << name;
    EXPECT_EQ(ReadTree(prog), ReadTree(src));
}

// Archives that arrive but do not give the listed file: two attempts each,
// then CLOSE with the log saved and the program folder untouched.
TEST_F(UpdateTest, CorruptArchiveOrWrongCrcFailsAfterTwoAttempts)
{
    for (int variant = 0; variant < 2; ++variant) {
        if (variant == 0) {
            WriteFile(srv + "/readme.txt.zip", RandomBytes(fs::file_size(srv + "/readme.txt.zip"), 9));
        } else {
            Publish(src, srv, "2.0");
            EditServerList(srv, [](CUpdateList& list) {
                for (CUpdateFile* entry = list.GetFirstFile(); entry; entry = list.GetNextFile())
                    if (std::string(entry->m_szFileName) == "readme.txt")
                        std::snprintf(entry->m_szFileCrc, sizeof entry->m_szFileCrc, "DEADBEEF");
            });
        }
        const int before = Fetches("readme.txt");
        fs::remove_all(down);
        const HEADLESS_RESULT result = Run("2." + std::to_string(variant));
        ASSERT_TRUE(result.bFinished);
        EXPECT_EQ(result.nOutcome, UPDATE_OUTCOME_DOWNLOAD_FAILED) << variant;
        EXPECT_EQ(Finals(result), 1);
        EXPECT_EQ(Fetches("readme.txt") - before, 2) << variant;
        EXPECT_TRUE(Exists(down + "/UpdateLog.xml"));
        EXPECT_EQ(ReadFile(prog + "/readme.txt"), "version 1\n");
    }
}

// A target that cannot be overwritten (here a non-empty folder) is moved
// aside to ".bak"; when that fails as well, the install fails.
TEST_F(UpdateTest, UnreplaceableTargetGoesThroughBak)
{
    fs::remove(prog + "/readme.txt");
    WriteFile(prog + "/readme.txt/inner", "in the way");
    EXPECT_EQ(Run().nOutcome, UPDATE_OUTCOME_INSTALLED);
    EXPECT_EQ(ReadFile(prog + "/readme.txt"), "version 2\n");
    EXPECT_EQ(ReadFile(prog + "/readme.txt.bak/inner"), "in the way");

    fs::remove(prog + "/readme.txt");
    WriteFile(prog + "/readme.txt/inner", "in the way again");
    const HEADLESS_RESULT blocked = Run("2.1");
    EXPECT_EQ(blocked.nOutcome, UPDATE_OUTCOME_INSTALL_FAILED);
    EXPECT_EQ(Finals(blocked), 1);
    EXPECT_TRUE(Exists(down + "/UpdateLog.xml"));
    EXPECT_EQ(ReadFile(prog + "/readme.txt/inner"), "in the way again");
}

// Only an update with -reboot starts the program. An update without it is
// followed by one with it that installs a program of another text; a start
// by the first would have come a whole update before the second's, so once
// the second's line is there, the marker holds that line alone.
TEST_F(UpdateTest, RebootStartsTheUpdatedProgram)
{
    EXPECT_EQ(Run("2.0", false).nOutcome, UPDATE_OUTCOME_INSTALLED);

    WriteFile(src + "/prog", StartedProgram("version 3"), 0755);
    Publish(src, srv, "3.0");
    EXPECT_EQ(Run("3.0", true).nOutcome, UPDATE_OUTCOME_INSTALLED);
    EXPECT_TRUE(WaitUntil([&] { return ReadFile(dir / "marker").find("version 3") != std::string::npos; }));
    EXPECT_EQ(ReadFile(dir / "marker"), "version 3\n");
}

// A list whose entries would reach outside the folders is refused whole:
// nothing but the list is fetched, no log is written, nothing installed.
TEST_F(UpdateTest, UnsafeListIsRefusedBeforeAnyDownload)
{
    struct { const char* name; const char* path; } cases[] = {
        {"..\\..\\evil", ""}, {"evil", "data\\..\\..\\x"}, {"/tmp/evil", ""}, {"evil", "C:\\Windows"},
        {"evil", "/etc"}, {"evil", "../up"},
    };
    for (const auto& c : cases) {
        Publish(src, srv, "2.0");
        EditServerList(srv, [&](CUpdateList& list) {
            CUpdateFile* entry = list.GetFirstFile();
            std::snprintf(entry->m_szFileName, sizeof entry->m_szFileName, "%s", c.name);
            std::snprintf(entry->m_szFilePath, sizeof entry->m_szFilePath, "%s", c.path);
        });
        const std::size_t before = nginx.Requests().size();
        fs::remove_all(down);
        const HEADLESS_RESULT result = Run();
        EXPECT_EQ(result.nOutcome, UPDATE_OUTCOME_NO_LIST) << c.name << " " << c.path;
        EXPECT_EQ(nginx.Requests().size(), before + 1);
        EXPECT_FALSE(Exists(down + "/UpdateLog.xml"));
        EXPECT_EQ(ReadFile(prog + "/readme.txt"), "version 1\n");
    }
}

// A download folder that holds the program folder (or is it) is not deleted
// after the install.
TEST_F(UpdateTest, DownloadFolderHoldingTheProgramSurvives)
{
    const std::string outer = dir / "outer", app = dir / "outer/app";
    for (const std::string& downDir : {outer, app}) {
        WriteFile(app + "/readme.txt", "version 1\n");
        const HEADLESS_RESULT result = RunUpdate(nginx.Url(), app, downDir, "2.0-" + downDir);
        EXPECT_EQ(result.nOutcome, UPDATE_OUTCOME_INSTALLED) << downDir;
        EXPECT_EQ(ReadFile(app + "/readme.txt"), "version 2\n");
        EXPECT_EQ(ReadFile(app + "/data/sub/deep.bin"), ReadFile(src + "/data/sub/deep.bin"));
    }
}

TEST_F(UpdateTest, OverlongNumberStillUpdates)
{
    const HEADLESS_RESULT result = Run(std::string(40, '7'));
    EXPECT_EQ(result.nOutcome, UPDATE_OUTCOME_INSTALLED);
    EXPECT_EQ(ReadTree(prog), ReadTree(src));
}

// Names that mean something in a URL ('?', '#', '%', spaces, '+') name
// their files: each is fetched once, under its own name, and installed.
TEST_F(UpdateTest, NamesWithUrlCharactersAreFetched)
{
    const std::vector<std::string> names = {"a b.txt", "what?.txt", "no#1.txt", "100%.txt", "%41.txt",
                                            "sp ace/in+side.txt", "semi;colon&amp.txt", "\xE4\xB8\xAD.txt"};
    for (std::size_t i = 0; i < names.size(); ++i)
        WriteFile(src + "/" + names[i], "file " + std::to_string(i) + "\n");
    Publish(src, srv, "2.0");
    const HEADLESS_RESULT result = Run();
    EXPECT_EQ(result.nOutcome, UPDATE_OUTCOME_INSTALLED);
    EXPECT_EQ(ReadTree(prog), ReadTree(src));
    // nginx logs the path as it was sent: each name encoded exactly once.
    for (const std::string& name : names)
        EXPECT_EQ(Fetches(UrlPathText(name.c_str())), 1) << name;
    EXPECT_EQ(Fetches("sp%20ace/in%2Bside.txt"), 1);
}

// An archive whose first entry is a folder fails its tries without leaving
// a folder where the file goes; a folder already standing there (left by
// hand, or by an older updater) is cleared, so the next run installs.
TEST_F(UpdateTest, FolderEntriesAndFoldersInTheWayDoNotBlockLaterUpdates)
{
    const std::string archive = srv + "/readme.txt.zip", good = dir / "good.zip";
    fs::copy_file(archive, good);
    MakeFolders(dir / "folder/readme.txt");
    const PROCESS_RESULT zipped = RunShell("cd '" + (dir / "folder").string() + "' && rm -f '" + archive +
                                           "' && zip -q '" + archive + "' readme.txt/");
    ASSERT_EQ(zipped.status, 0) << zipped.output;
    const HEADLESS_RESULT failed = Run();
    EXPECT_EQ(failed.nOutcome, UPDATE_OUTCOME_DOWNLOAD_FAILED);
    EXPECT_FALSE(fs::is_directory(down + "/readme.txt"));
    EXPECT_EQ(Fetches("readme.txt"), 2);

    fs::copy_file(good, archive, fs::copy_options::overwrite_existing);
    fs::remove_all(down);
    MakeFolders(down + "/readme.txt/left");
    MakeFolders(down + "/readme.txt.zip");
    const HEADLESS_RESULT installed = Run("2.1");
    EXPECT_EQ(installed.nOutcome, UPDATE_OUTCOME_INSTALLED);
    EXPECT_EQ(ReadTree(prog), ReadTree(src));
}

// An archive longer than the list's CompressLen fails its tries; the bytes
// past that length are never written.
TEST_F(UpdateTest, ArchiveLongerThanItsCompressLenFails)
{
    EditServerList(srv, [&](CUpdateList& list) {
        for (CUpdateFile* entry = list.GetFirstFile(); entry; entry = list.GetNextFile())
            if (std::string(entry->m_szFileName) == "deep.bin")
                entry->m_nCompressLen -= 1;
    });
    const HEADLESS_RESULT result = Run();
    EXPECT_EQ(result.nOutcome, UPDATE_OUTCOME_DOWNLOAD_FAILED);
    EXPECT_EQ(Fetches("data/sub/deep.bin"), 2);
    const std::string local = down + "/data/sub/deep.bin.zip";
    if (Exists(local)) {
        EXPECT_LT(fs::file_size(local), fs::file_size(srv + "/data/sub/deep.bin.zip"));
    }
    EXPECT_FALSE(Exists(prog + "/data/sub/deep.bin"));
}

// An https base URL is fetched over TLS, with certificate checks.
TEST(Https, UpdateOverTls)
{
    TempFolder dir;
    const std::string cert = dir / "cert.pem", key = dir / "key.pem";
    const PROCESS_RESULT made = RunProcess("openssl", {"req", "-x509", "-newkey", "ec", "-pkeyopt",
                                                        "ec_paramgen_curve:prime256v1", "-nodes", "-days", "2", "-subj",
                                                        "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1",
                                                        "-keyout", key, "-out", cert});
    ASSERT_EQ(made.status, 0) << made.output;
    WriteFile(dir / "src/a.txt", "secure");
    WriteFile(dir / "src/sub/b.bin", RandomBytes(9000, 4));
    Publish(dir / "src", dir / "srv", "1.0");
    Nginx nginx;
    ASSERT_TRUE(nginx.Start(dir / "srv", {cert, key, ""}));
    ASSERT_EQ(nginx.Url().rfind("https://", 0), 0u);

    // Not trusted: the list is not obtained.
    MakeFolders(dir / "down");
    EXPECT_EQ(RunUpdate(nginx.Url(), dir / "prog", dir / "down").nOutcome, UPDATE_OUTCOME_NO_LIST);

    Tovarin::HttpSetCaFile(cert);
    MakeFolders(dir / "prog");
    const HEADLESS_RESULT result = RunUpdate(nginx.Url(), dir / "prog", dir / "down");
    Tovarin::HttpSetCaFile("");
    EXPECT_EQ(result.nOutcome, UPDATE_OUTCOME_INSTALLED);
    EXPECT_EQ(ReadTree(dir / "prog"), ReadTree(dir / "src"));
    EXPECT_EQ(nginx.CountRequests("/sub/b.bin.zip"), 1);
}

} // namespace
