// Whole updates against a real nginx on loopback serving trees made by the
// publisher: the messages, the files left in both folders, and what was
// requested (nginx's access log).
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <set>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "http_fetch.h"
#include "update_fixture.h"
#include "text.h"
#include "tovarin_thread.h"
#include "update_fs.h"
#include "update_list.h"
#include "zip_reader.h"

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

// A download folder that holds the program folder keeps working and is not
// deleted after the install; one that is the program folder or lies inside
// it is refused before anything is fetched or written.
TEST_F(UpdateTest, DownloadFolderHoldingTheProgramSurvives)
{
    const std::string outer = dir / "outer", app = dir / "outer/app";
    WriteFile(app + "/readme.txt", "version 1\n");
    const HEADLESS_RESULT result = RunUpdate(nginx.Url(), app, outer, "2.0");
    EXPECT_EQ(result.nOutcome, UPDATE_OUTCOME_INSTALLED);
    EXPECT_EQ(ReadTree(app), ReadTree(src));
    EXPECT_TRUE(Exists(outer));

    const std::size_t requests = nginx.Requests().size();
    for (const std::string& downDir : {app, app + "/", app + "/dl", (dir / "outer/../outer/app").string()}) {
        MakeFolders(downDir);
        const HEADLESS_RESULT refused = RunUpdate(nginx.Url(), app, downDir, "2.1");
        EXPECT_EQ(refused.nOutcome, UPDATE_OUTCOME_REFUSED) << downDir;
        EXPECT_EQ(Finals(refused), 1);
    }
    EXPECT_EQ(nginx.Requests().size(), requests);
    fs::remove_all(app + "/dl");
    EXPECT_EQ(ReadTree(app), ReadTree(src));
}

// A successful update removes what it put in the download folder and the
// folders it made, but nothing of the user's: the folder stays while
// something of theirs is left in it.
TEST_F(UpdateTest, OnlyTheUpdatesOwnFilesLeaveTheDownloadFolder)
{
    WriteFile(down + "/mine.txt", "the user's");
    WriteFile(down + "/data/notes.txt", "the user's too");
    MakeFolders(down + "/empty-of-mine");
    EXPECT_EQ(Run().nOutcome, UPDATE_OUTCOME_INSTALLED);
    EXPECT_EQ(ReadTree(prog), ReadTree(src));
    const std::map<std::string, std::string> left = {{"mine.txt", "the user's"}, {"data/notes.txt", "the user's too"}};
    EXPECT_EQ(ReadTree(down), left);
    EXPECT_FALSE(Exists(down + "/data/sub")) << "a folder the update made";
    EXPECT_FALSE(Exists(down + "/bin"));
    EXPECT_TRUE(Exists(down + "/empty-of-mine"));
}

// Backslashes in the folder settings are folder separators, as in FilePath.
TEST_F(UpdateTest, BackslashesInTheFoldersSeparateFolders)
{
    std::string backDown = down, backProg = prog;
    for (std::string* path : {&backDown, &backProg})
        for (char& c : *path)
            if (c == '/')
                c = '\\';
    const HEADLESS_RESULT result = RunUpdate(nginx.Url(), backProg, backDown + "\\", "2.0");
    EXPECT_EQ(result.nOutcome, UPDATE_OUTCOME_INSTALLED);
    EXPECT_EQ(ReadTree(prog), ReadTree(src));
    EXPECT_FALSE(Exists(down));
}

// Permission bits from the archives never let others write an installed
// file, and never carry set-id or sticky bits.
TEST_F(UpdateTest, InstalledModesDropOtherWriteAndSpecialBits)
{
    const std::pair<const char*, unsigned> cases[] = {
        {"bin/open", 0777}, {"bin/setuid", 04755}, {"bin/setgid", 02775}, {"bin/sticky", 01777}, {"bin/plain", 0640}};
    for (const auto& [name, mode] : cases) {
        WriteFile(src + "/" + name, name);
        ASSERT_EQ(::chmod((src + "/" + name).c_str(), mode), 0);
    }
    Publish(src, srv, "2.0");
    ASSERT_EQ(Run().nOutcome, UPDATE_OUTCOME_INSTALLED);
    for (const auto& [name, mode] : cases) {
        struct stat info{};
        ASSERT_EQ(::stat((prog + "/" + name).c_str(), &info), 0) << name;
        EXPECT_EQ(info.st_mode & 07777, mode & 0775) << name;
    }
}

// A resumed update examines the files it fetched before: one changed or lost
// since is fetched again, and the install gets the listed files.
TEST_F(UpdateTest, ResumedUpdateFetchesAgainWhatNoLongerMatches)
{
    // What an interrupted run leaves: every archive fetched and unpacked,
    // and a log naming each entry fetched.
    fs::copy(srv, down, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    ASSERT_TRUE(ExtractArchiveBeside(Wide(down + "/UpdateList.xml.zip")));
    CUpdateList log;
    ASSERT_TRUE(log.Load(Wide(down + "/UpdateList.xml")));
    for (CUpdateFile* entry = log.GetFirstFile(); entry; entry = log.GetNextFile()) {
        entry->m_nStatus = UPDATE_FILE_FETCHED;
        const std::string path = std::string(entry->m_szFilePath[0] ? entry->m_szFilePath + std::string("/") : "") +
                                 entry->m_szFileName;
        std::string local = path;
        std::replace(local.begin(), local.end(), '\\', '/');
        WriteFile(down + "/" + local, ReadFile(src + "/" + local));
    }
    ASSERT_TRUE(log.Save(Wide(down + "/UpdateLog.xml")));
    WriteFile(down + "/readme.txt", "version X\n");  // same length, other CRC
    fs::remove(down + "/bin/tool");

    EXPECT_EQ(RunUpdate(nginx.Url(), prog, down, "2.0").nOutcome, UPDATE_OUTCOME_INSTALLED);
    EXPECT_EQ(ReadTree(prog), ReadTree(src));
    EXPECT_EQ(Fetches("readme.txt"), 1);
    EXPECT_EQ(Fetches("bin/tool"), 1);
    EXPECT_EQ(Fetches("prog"), 0);
    EXPECT_EQ(nginx.Requests().size(), 2u);
}

// Symbolic links in the folders: the download folder is written without
// following one, and the install never writes through one to a folder
// outside the program folder. Each case fails the update and leaves the
// outside untouched.
TEST_F(UpdateTest, SymbolicLinksAreNeverWrittenThrough)
{
    const std::string outside = dir / "outside";
    const struct {
        const char* what;
        std::function<void()> plant;
        int outcome;
    } cases[] = {
        {"log linked to a file outside",
         [&] { fs::create_symlink(outside + "/victim", down + "/UpdateLog.xml"); }, UPDATE_OUTCOME_REFUSED},
        {"list archive linked to a file outside",
         [&] { fs::create_symlink(outside + "/victim", down + "/UpdateList.xml.zip"); }, UPDATE_OUTCOME_NO_LIST},
        {"archive linked to a file outside",
         [&] { fs::create_symlink(outside + "/victim", down + "/readme.txt.zip"); }, UPDATE_OUTCOME_DOWNLOAD_FAILED},
        {"download subfolder linked outside",
         [&] { fs::create_directory_symlink(outside, down + "/data"); }, UPDATE_OUTCOME_DOWNLOAD_FAILED},
        {"program subfolder linked outside",
         [&] {
             fs::remove_all(prog + "/data");
             fs::create_directory_symlink(outside, prog + "/data");
         },
         UPDATE_OUTCOME_INSTALL_FAILED},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(down);
        fs::remove_all(outside);
        MakeFolders(down);
        WriteFile(outside + "/victim", "keep me");
        c.plant();
        const auto before = ReadTree(outside);
        const HEADLESS_RESULT result = RunUpdate(nginx.Url(), prog, down, "2.0");
        EXPECT_EQ(result.nOutcome, c.outcome);
        EXPECT_EQ(ReadTree(outside), before);
        EXPECT_FALSE(Exists(outside + "/sub"));
        if (fs::is_symlink(prog + "/data"))
            fs::remove(prog + "/data");
        WriteFile(prog + "/data/level1.bin", ReadFile(src + "/data/level1.bin"));
    }
}

// A download folder that belongs to another user, or that others may write
// to, is refused before anything is written into it.
TEST_F(UpdateTest, ADownloadFolderNotTheUsersOwnIsRefused)
{
    for (bool otherOwner : {false, true}) {
        if (otherOwner && ::geteuid() != 0) {
            std::printf("skipped: giving a folder to another user needs root\n");
            continue;
        }
        fs::remove_all(down);
        MakeFolders(down);
        if (otherOwner)
            ASSERT_EQ(::chown(down.c_str(), 65534, 65534), 0);
        else
            ASSERT_EQ(::chmod(down.c_str(), 0777), 0);
        const HEADLESS_RESULT result = RunUpdate(nginx.Url(), prog, down, "2.0");
        EXPECT_EQ(result.nOutcome, UPDATE_OUTCOME_REFUSED) << otherOwner;
        EXPECT_TRUE(ReadTree(down).empty());
        EXPECT_TRUE(nginx.Requests().empty());
    }
}

// While another update holds the program or the download folder, an update
// is refused at once with a status saying so, and touches nothing; once
// the lock is gone it installs.
TEST_F(UpdateTest, AFolderLockedByAnotherUpdateIsRefused)
{
    for (const std::string& held : {prog, down}) {
        int handle = -1;
        ASSERT_EQ(Tovarin::TryLockFolder(Wide(held), handle), Tovarin::FOLDER_LOCK_RESULT::Locked);
        const HEADLESS_RESULT result = Run();
        Tovarin::ReleaseFolderLock(handle);
        ASSERT_TRUE(result.bFinished);
        EXPECT_EQ(result.nOutcome, UPDATE_OUTCOME_BUSY) << held;
        ASSERT_EQ(result.messages.size(), 2u);
        EXPECT_EQ(result.messages[0].strText, L"另一个更新正在使用这些文件夹,更新已取消");
        EXPECT_EQ(result.messages[1].nMessage, static_cast<unsigned>(WM_UPDATE_CLOSE));
        EXPECT_TRUE(ReadTree(down).empty());
        EXPECT_TRUE(nginx.Requests().empty());
    }
    EXPECT_EQ(Run().nOutcome, UPDATE_OUTCOME_INSTALLED);
    EXPECT_EQ(ReadTree(prog), ReadTree(src));
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

// A small file system mounted for the test (root only), unmounted again
// however the test ends.
class CScopedMount {
public:
    bool Mount(const std::string& folder, const std::string& options)
    {
        MakeFolders(folder);
        const PROCESS_RESULT r = RunShell("mount -t tmpfs -o " + options + " tmpfs '" + folder + "'");
        if (r.status == 0)
            m_folder = folder;
        return r.status == 0;
    }
    bool Remount(const std::string& options)
    {
        return RunShell("mount -o remount," + options + " '" + m_folder + "'").status == 0;
    }
    ~CScopedMount()
    {
        if (!m_folder.empty())
            RunShell("umount -l '" + m_folder + "'");
    }

private:
    std::string m_folder;
};

// An install that cannot write a new file (the program's disk full, or a
// read-only subfolder) fails, leaves every file its old or its new
// version with no temporary file beside them, keeps the log, and the next
// run, with the fault gone, completes the tree.
TEST_F(UpdateTest, AFailedCopyNeverLeavesTheProgramWithoutItsFile)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "skipped: mounting a small file system needs root";
    WriteFile(src + "/big.bin", RandomBytes(600000, 5));
    Publish(src, srv, "2.0");
    const auto fresh = ReadTree(src);
    const struct {
        const char* what;
        std::string mountAt, options, fix;
    } cases[] = {
        {"disk full", "", "size=512k", "size=8m"},
        {"read-only subfolder", "/bin", "ro,size=1m", "rw"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string app = dir / (std::string("app-") + (c.mountAt.empty() ? "full" : "ro"));
        CScopedMount mount;
        ASSERT_TRUE(mount.Mount(app + c.mountAt, c.options));
        WriteFile(app + "/readme.txt", "version 1\n");
        WriteFile(app + "/data/level1.bin", RandomBytes(20000, 1));
        const auto old = ReadTree(app);
        fs::remove_all(down);
        MakeFolders(down);
        const HEADLESS_RESULT failed = RunUpdate(nginx.Url(), app, down, "2.0");
        EXPECT_EQ(failed.nOutcome, UPDATE_OUTCOME_INSTALL_FAILED);
        EXPECT_TRUE(Exists(down + "/UpdateLog.xml"));
        for (const auto& [name, contents] : ReadTree(app)) {
            const bool isOld = old.count(name) && old.at(name) == contents;
            const bool isNew = fresh.count(name) && fresh.at(name) == contents;
            EXPECT_TRUE(isOld || isNew) << name;
        }
        for (const auto& [name, contents] : old)
            EXPECT_TRUE(Exists(app + "/" + name)) << name;

        ASSERT_TRUE(mount.Remount(c.fix));
        EXPECT_EQ(RunUpdate(nginx.Url(), app, down, "2.0").nOutcome, UPDATE_OUTCOME_INSTALLED);
        EXPECT_EQ(ReadTree(app), fresh);
    }
}

// An https base URL is fetched over TLS, with certificate checks.
TEST(Https, UpdateOverTls)
{
    TempFolder dir;
    const std::string cert = dir / "cert.pem", key = dir / "key.pem";
    const PROCESS_RESULT made = MakeLoopbackCertificate(cert, key);
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
