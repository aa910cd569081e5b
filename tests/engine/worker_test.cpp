// The worker's pieces that need no server: progress steps, entry path
// checks, the thread base, folders, the guarded delete, the atomic copy, the
// message ownership rules and the install-only paths of a resumed update.
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "file_digest.h"
#include "minisign.h"
#include "publisher.h"
#include "update_fixture.h"
#include "tovarin_thread.h"
#include "update_folders.h"
#include "update_fs.h"
#include "update_list.h"
#include "zip_reader.h"

using namespace test;

namespace {

// A URL the HTTP layer refuses at once: every fetch fails without a
// connection being made.
const char kDeadUrl[] = "unreachable://127.0.0.1/";

TEST(DownloadStep, FollowsTheScaleAndStaysInRange)
{
    struct { std::int64_t done, total; int step; } cases[] = {
        {0, 600, 3}, {100, 600, 13}, {300, 600, 34},    // 100, 200, 300 in order
        {0, 0, 3}, {5, 0, 3},                           // no total: no division
        {INT32_MAX, INT32_MAX, 65},                      // product beyond 32 bits
        {69273667, 69273667 * 2LL, 34},
        {3LL * INT32_MAX, INT32_MAX, 65},               // a saturated total
        {-10, 100, 3},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DownloadStep(c.done, c.total), c.step) << c.done << " / " << c.total;
}

TEST(EntryPaths, RefusesWhatWouldLeaveTheFolders)
{
    struct { const char* name; const char* path; bool safe; } cases[] = {
        {"a.txt", "", true}, {"a.txt", "sub\\dir", true}, {"a..b", "x..y\\z", true}, {".hidden", "..a", true},
        {"", "", false}, {"/etc/passwd", "", false}, {"\\x", "", false}, {"a", "/abs", false},
        {"a", "\\abs", false}, {"a", "C:\\Windows", false}, {"c:x", "", false}, {"..", "", false},
        {"a", "..", false}, {"a", "sub\\..\\..", false}, {"a", "sub/../x", false}, {"..\\a", "", false},
        {"a", "sub\\..", false},
        // Control characters anywhere, C1 controls in their UTF-8 form too.
        {"a\tb", "", false}, {"a\nb", "", false}, {"a", "sub\rx", false}, {"a\x7f", "", false},
        {"a\x1b[2J", "", false}, {"a\xc2\x85", "", false}, {"a", "\xc2\x9f", false},
        {"\xc2\xa0x", "", true}, {"中文", "目录", true},
        // The download folder's own files, at the top level only.
        {"UpdateLog.xml", "", false}, {"UpdateList.xml", "", false}, {"updatelist.XML", "", false},
        {"UpdateList.xml.zip", "", false}, {"UpdateList.xml.zip.minisig", "", false},
        {"UpdateLog.xml", ".", false}, {"UpdateLog.xml", ".\\.\\", false}, {".\\UpdateLog.xml", "", false},
        {"UpdateLog.xml", "sub", true}, {"UpdateList.xml", "sub\\deeper", true}, {"UpdateLog.xml.bak", "", true},
        {"sub\\UpdateLog.xml", "", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsSafeEntryPath(c.name, c.path), c.safe) << c.name << " | " << c.path;
}

class CProbeThread : public Ostrel::IThread {
public:
    BOOL Init() override { ++inits; return initResult; }
    void Uninit() override { ++uninits; }
    void Run() override
    {
        ++runs;
        if (throwIt) {
            errno = ENOSPC;
            throw std::runtime_error("disk full");
        }
    }
    void OnError(std::uint32_t code) override { error = code; }
    void OnExit() override
    {
        std::lock_guard<std::mutex> guard(lock);
        exited = true;
        wake.notify_all();
    }
    void WaitExit()
    {
        std::unique_lock<std::mutex> guard(lock);
        wake.wait(guard, [this] { return exited; });
    }
    std::uintptr_t Handle() const { return m_hThread; }

    BOOL initResult = TRUE;
    bool throwIt = false;
    std::atomic<int> inits{0}, uninits{0}, runs{0};
    std::uint32_t error = 0;
    std::mutex lock;
    std::condition_variable wake;
    bool exited = false;
};

TEST(ThreadBase, StartsOnceAndReportsAnEscapeToOnError)
{
    CProbeThread thread;
    thread.throwIt = true;
    EXPECT_EQ(thread.Handle(), Ostrel::IThread::kNoThread);
    ASSERT_TRUE(thread.Start());
    EXPECT_TRUE(thread.Start());
    thread.WaitExit();
    EXPECT_EQ(thread.inits.load(), 1);
    EXPECT_EQ(thread.runs.load(), 1);
    EXPECT_EQ(thread.error, static_cast<std::uint32_t>(ENOSPC));
    EXPECT_NE(thread.Handle(), Ostrel::IThread::kNoThread);
}

TEST(ThreadBase, InitFailureStartsNothing)
{
    CProbeThread thread;
    thread.initResult = FALSE;
    EXPECT_FALSE(thread.Start());
    EXPECT_EQ(thread.uninits.load(), 0);
    EXPECT_EQ(thread.runs.load(), 0);
    EXPECT_EQ(thread.Handle(), Ostrel::IThread::kNoThread);
}

TEST(Folders, MakeSubFoldersCreatesEachLevelWithinTheLengthLimit)
{
    TempFolder dir;
    CTovarinThread worker;
    EXPECT_TRUE(worker.MakeSubFolders(L"sub\\dir\\deep", Wide(dir.Path())));
    EXPECT_TRUE(std::filesystem::is_directory(dir / "sub/dir/deep"));

    // Folders whose path would pass 259 characters are not created.
    const std::string longName(300, 'x');
    EXPECT_TRUE(worker.MakeSubFolders(Wide("ok\\" + longName), Wide(dir.Path())));
    EXPECT_TRUE(std::filesystem::is_directory(dir / "ok"));
    EXPECT_FALSE(Exists(dir / ("ok/" + longName)));
}

// Folder settings: separators made local, then both must be absolute, and
// the download folder neither the program folder nor inside it once links
// are resolved.
TEST(Folders, SettingsAreCheckedInTheirResolvedForm)
{
    const struct { const wchar_t* typed; const wchar_t* local; } forms[] = {
        {L"", L""}, {L"/", L"/"}, {L"\\", L"/"}, {L"/a/b/", L"/a/b"}, {L"C:\\My Down\\", L"C:/My Down"},
        {L"\\tmp\\\\x", L"/tmp/x"}, {L"//a//b", L"/a/b"}, {L"rel", L"rel"},
    };
    for (const auto& f : forms)
        EXPECT_EQ(LocalFolderPath(f.typed), f.local) << testing::PrintToString(std::wstring(f.typed));

    TempFolder dir;
    const std::string app = dir / "app";
    MakeFolders(app + "/sub");
    MakeFolders(dir / "other");
    std::filesystem::create_directory_symlink(app, dir / "appLink");
    const struct { std::string prog, down; FOLDER_PROBLEM problem; } cases[] = {
        {app, dir / "down", FOLDER_PROBLEM::None},
        {app, dir.Path().string(), FOLDER_PROBLEM::None},             // holds the program folder
        {app, dir / "app2", FOLDER_PROBLEM::None},                    // a longer name, not inside
        {app, app + "/../other", FOLDER_PROBLEM::None},
        {"", dir / "down", FOLDER_PROBLEM::ProgramEmpty},
        {app, "", FOLDER_PROBLEM::DownloadEmpty},
        {"app", dir / "down", FOLDER_PROBLEM::ProgramRelative},
        {app, "down", FOLDER_PROBLEM::DownloadRelative},
        {app, "C:/down", FOLDER_PROBLEM::DownloadRelative},
        {app, app, FOLDER_PROBLEM::DownloadIsProgram},
        {app, dir / "appLink", FOLDER_PROBLEM::DownloadIsProgram},
        {app, app + "/sub/..", FOLDER_PROBLEM::DownloadIsProgram},
        {app, app + "/sub", FOLDER_PROBLEM::DownloadInsideProgram},
        {app, dir / "appLink/new/deeper", FOLDER_PROBLEM::DownloadInsideProgram},
        {"/", dir / "down", FOLDER_PROBLEM::DownloadInsideProgram},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CheckUpdateFolders(Wide(c.prog), Wide(c.down)), c.problem) << c.prog << " | " << c.down;
}

// The delete never reaches the program folder, a folder holding it, the home
// folder or its parents, or a root, whatever it is asked.
TEST(Folders, DeleteFolderIsGuarded)
{
    TempFolder dir;
    const std::string home = dir / "home/user";
    const std::string prog = dir / "apps/prog";
    MakeFolders(home);
    WriteFile(prog + "/p.bin", "program");
    WriteFile(dir / "outside.txt", "outside");
    WriteFile(dir / "down/sub/file", "x");
    std::filesystem::create_symlink(dir / "outside.txt", dir / "down/sub/link");
    std::filesystem::create_directory_symlink(prog, dir / "down/progLink");

    const char* savedHome = std::getenv("HOME");
    const std::string saved = savedHome ? savedHome : "";
    ::setenv("HOME", home.c_str(), 1);
    CTovarinThread worker;
    worker.m_strProgDir = Wide(prog);
    for (const std::string& refused : std::initializer_list<std::string>{"/", home, dir / "home", prog, dir / "apps", prog + "/",
                                       dir / "apps/../apps/prog", dir / "down/progLink"})
        EXPECT_FALSE(worker.DeleteFolder(Wide(refused))) << refused;
    EXPECT_FALSE(worker.DeleteFolder(Wide("/" + std::string(300, 'x'))));
    EXPECT_TRUE(worker.DeleteFolder(Wide(dir / "down")));
    if (savedHome)
        ::setenv("HOME", saved.c_str(), 1);
    else
        ::unsetenv("HOME");

    EXPECT_FALSE(Exists(dir / "down"));
    EXPECT_EQ(ReadFile(dir / "outside.txt"), "outside");
    EXPECT_EQ(ReadFile(prog + "/p.bin"), "program");
    EXPECT_TRUE(Exists(home));
}

TEST(Copy, ReplacesAtomicallyAndKeepsTheModeBits)
{
    TempFolder dir;
    WriteFile(dir / "new", "new contents", 0755);
    WriteFile(dir / "target", "old", 0644);
    // A temporary file left by an interrupted copy is reused, not piled up.
    WriteFile(dir / ".target.tovarin-new", "torn");
    ASSERT_TRUE(Tovarin::CopyFileReplace(Wide(dir / "new"), Wide(dir / "target")));
    EXPECT_EQ(ReadFile(dir / "target"), "new contents");
    struct stat info{};
    ASSERT_EQ(::stat((dir / "target").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0755u);
    EXPECT_EQ(ReadTree(dir.Path()).size(), 2u);

    // A target that is a non-empty folder cannot be replaced; nothing is left.
    WriteFile(dir / "folder/inner", "x");
    EXPECT_FALSE(Tovarin::CopyFileReplace(Wide(dir / "new"), Wide(dir / "folder")));
    EXPECT_FALSE(Exists(dir / ".folder.tovarin-new"));
    EXPECT_FALSE(Tovarin::CopyFileReplace(Wide(dir / "missing"), Wide(dir / "target")));
    EXPECT_EQ(ReadFile(dir / "target"), "new contents");
}

// A status text whose post fails stays the worker's and is freed (the leak
// checker of the sanitizer build watches this); the update still ends.
TEST(Messages, RefusedPostsFreeTheirText)
{
    TempFolder dir;
    CNotifyQueue target;
    target.Close();
    CTovarinThread worker;
    worker.m_pNotifyWnd = &target;
    worker.m_strDownDir = Wide(dir.Path());
    worker.m_strHttpUrl = Wide(kDeadUrl);
    worker.m_bRunning = TRUE;
    ASSERT_TRUE(worker.Init());
    EXPECT_FALSE(worker.CheckUpdate());
    EXPECT_TRUE(target.TakeAll().empty());
}

// A front end whose post throws when the list fetch is announced.
class CThrowingTarget : public CNotifyQueue {
public:
    bool PostNotify(unsigned message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_UPDATE_STATUS && wParam == 1)
            throw std::runtime_error("queue broken");
        return CNotifyQueue::PostNotify(message, wParam, lParam);
    }
};

class CWatchedWorker : public CTovarinThread {
public:
    void OnError(std::uint32_t) override { errors++; }
    void OnExit() override
    {
        std::lock_guard<std::mutex> guard(lock);
        exited = true;
        wake.notify_all();
    }
    void WaitExit()
    {
        std::unique_lock<std::mutex> guard(lock);
        wake.wait(guard, [this] { return exited; });
    }
    std::atomic<int> errors{0};
    std::mutex lock;
    std::condition_variable wake;
    bool exited = false;
};

TEST(Messages, AnEscapeFromTheUpdateStillEndsWithOneClose)
{
    TempFolder dir;
    CThrowingTarget target;
    CWatchedWorker worker;
    worker.m_pNotifyWnd = &target;
    worker.m_strProgDir = Wide(dir / "prog");
    worker.m_strDownDir = Wide(dir.Path());
    worker.m_strHttpUrl = Wide(kDeadUrl);
    worker.m_bRunning = TRUE;
    ASSERT_TRUE(worker.Start());
    worker.WaitExit();
    std::vector<unsigned> finals;
    for (const UPDATE_MESSAGE& message : TakeUpdateMessages(target))
        if (message.nMessage == WM_UPDATE_CLOSE || message.nMessage == WM_UPDATE_DONE)
            finals.push_back(message.nMessage);
    EXPECT_EQ(finals, std::vector<unsigned>{WM_UPDATE_CLOSE});
    EXPECT_EQ(worker.GetOutcome(), UPDATE_OUTCOME_ABORTED);
    EXPECT_EQ(worker.errors.load(), 1);
}

void SaveLog(const std::string& downDir, const std::string& version,
             const std::vector<std::pair<std::string, std::string>>& fetched)
{
    MakeFolders(downDir);
    CUpdateList log;
    log.SetVersion(version.c_str());
    for (const auto& [name, contents] : fetched) {
        CUpdateFile* entry = log.AddFile();
        std::snprintf(entry->m_szFileName, sizeof entry->m_szFileName, "%s", name.c_str());
        std::snprintf(entry->m_szFileCrc, sizeof entry->m_szFileCrc, "%X",
                      CalcCrc32(static_cast<std::uint32_t>(contents.size()),
                                reinterpret_cast<const unsigned char*>(contents.data())));
        std::snprintf(entry->m_szCompressName, sizeof entry->m_szCompressName, "%s.zip", name.c_str());
        std::snprintf(entry->m_szCompressCrc, sizeof entry->m_szCompressCrc, "0");
        entry->m_nStatus = UPDATE_FILE_FETCHED;
        entry->m_nFileLen = static_cast<std::int32_t>(contents.size());
        WriteFile(downDir + "/" + name, contents);
    }
    ASSERT_TRUE(log.Save(Wide(downDir + "/UpdateLog.xml")));
}

// A log of the same version with every entry fetched installs at once, with
// no download step and without the server; an empty one installs nothing.
TEST(Resume, FetchedLogInstallsWithoutTheServer)
{
    for (bool empty : {false, true}) {
        TempFolder dir;
        const std::string down = dir / "down", prog = dir / "prog";
        MakeFolders(prog);
        SaveLog(down, "2.0", empty ? std::vector<std::pair<std::string, std::string>>{}
                                   : std::vector<std::pair<std::string, std::string>>{{"a.bin", "AAA"}, {"b.bin", "BB"}});
        const HEADLESS_RESULT result = RunUpdate(kDeadUrl, prog, down, "2.0");
        ASSERT_TRUE(result.bFinished);
        EXPECT_EQ(result.nFinalMessage, static_cast<unsigned>(WM_UPDATE_DONE));
        EXPECT_EQ(result.nOutcome, UPDATE_OUTCOME_INSTALLED);
        for (const UPDATE_MESSAGE& message : result.messages) {
            if (message.nMessage == WM_UPDATE_STATUS) {
                EXPECT_TRUE(message.wParam == 0 || message.wParam == 65) << message.wParam;
            }
        }
        EXPECT_FALSE(Exists(down));
        if (!empty) {
            EXPECT_EQ(ReadFile(prog + "/a.bin"), "AAA");
            EXPECT_EQ(ReadFile(prog + "/b.bin"), "BB");
        }
    }
}

// A log of another version, or one whose entries reach outside the folders,
// is not resumed: the server's list is asked for (and here not obtained).
TEST(Resume, ForeignOrUnsafeLogIsNotResumed)
{
    for (const char* name : {"fine.bin", "..\\escape.bin"}) {
        TempFolder dir;
        const std::string down = dir / "down", prog = dir / "prog";
        MakeFolders(prog);
        SaveLog(down, "1.0", {{"fine.bin", "x"}});
        if (std::string(name) != "fine.bin") {
            CUpdateList log;
            ASSERT_TRUE(log.Load(Wide(down + "/UpdateLog.xml")));
            std::snprintf(log.GetFirstFile()->m_szFileName, 261, "%s", name);
            ASSERT_TRUE(log.Save(Wide(down + "/UpdateLog.xml")));
        }
        const HEADLESS_RESULT result = RunUpdate(kDeadUrl, prog, down, std::string(name) == "fine.bin" ? "1.1" : "1.0");
        ASSERT_TRUE(result.bFinished);
        EXPECT_EQ(result.nOutcome, UPDATE_OUTCOME_NO_LIST);
        EXPECT_FALSE(Exists(prog + "/fine.bin"));
    }
}

// A signed update resumed with every entry fetched needs no server either:
// the signed list archive and its signature kept in the download folder
// vouch for the log, and the kept archives for what was fetched. (Signed with
// the test fixtures' published key.)
class SignedResume : public ::testing::Test {
protected:
    void SetUp() override { Prepare(); }

    // A fresh folder with what an interrupted signed run leaves.
    void Prepare()
    {
        dir = std::make_unique<TempFolder>();
        src = *dir / "src";
        srv = *dir / "srv";
        down = *dir / "down";
        prog = *dir / "prog";
        WriteFile(src + "/a.bin", "AAA");
        WriteFile(src + "/sub/b.bin", RandomBytes(3000, 4));
        PUBLISH_SETTINGS settings{src, srv, "2.0", "prog", std::string(SIGN_FIXTURES) + "/test-only-secret.key", {}};
        PUBLISH_REPORT report;
        std::string error;
        ASSERT_TRUE(PublishProgramFolder(settings, report, error)) << error;
        key = report.strPublicKey;
        // What an interrupted signed run leaves: the list archive, its
        // signature, every archive and unpacked file, the log.
        std::filesystem::copy(srv, down, std::filesystem::copy_options::recursive);
        for (const char* name : {"a.bin", "sub/b.bin"})
            WriteFile(down + "/" + name, ReadFile(src + "/" + name));
        ASSERT_TRUE(ExtractArchiveBeside(Wide(down + "/UpdateList.xml.zip")));
        CUpdateList log;
        ASSERT_TRUE(log.Load(Wide(down + "/UpdateList.xml")));
        for (CUpdateFile* entry = log.GetFirstFile(); entry; entry = log.GetNextFile())
            entry->m_nStatus = UPDATE_FILE_FETCHED;
        ASSERT_TRUE(log.Save(Wide(down + "/UpdateLog.xml")));
        MakeFolders(prog);
    }

    HEADLESS_RESULT Run()
    {
        HEADLESS_SETTINGS settings{L"prog", L"2.0", Wide(prog), Wide(down), Wide(kDeadUrl), false, true, Wide(key)};
        return RunHeadlessUpdate(settings);
    }

    void EditLog(const std::function<void(CUpdateFile&)>& edit)
    {
        CUpdateList log;
        ASSERT_TRUE(log.Load(Wide(down + "/UpdateLog.xml")));
        edit(*log.GetFirstFile());
        ASSERT_TRUE(log.Save(Wide(down + "/UpdateLog.xml")));
    }

    std::unique_ptr<TempFolder> dir;
    std::string src, srv, down, prog;
    std::string key;
};

TEST_F(SignedResume, VouchedLogInstallsWithoutTheServer)
{
    const HEADLESS_RESULT result = Run();
    EXPECT_EQ(result.nOutcome, UPDATE_OUTCOME_INSTALLED);
    EXPECT_EQ(ReadTree(prog), ReadTree(src));
}

// Each of these sends the update back to the server (here unreachable).
TEST_F(SignedResume, LogTheSignedListDoesNotVouchForIsDropped)
{
    const struct {
        const char* what;
        std::function<void()> change;
    } cases[] = {
        {"CRC changed", [&] { EditLog([](CUpdateFile& e) { e.m_szFileCrc[0] ^= 1; }); }},
        {"length changed", [&] { EditLog([](CUpdateFile& e) { e.m_nFileLen += 1; }); }},
        {"archive length changed", [&] { EditLog([](CUpdateFile& e) { e.m_nCompressLen += 1; }); }},
        {"digest changed", [&] { EditLog([](CUpdateFile& e) { char& c = e.m_szCompressSha256[5]; c = c == '0' ? '1' : '0'; }); }},
        {"digest dropped", [&] { EditLog([](CUpdateFile& e) { e.m_szCompressSha256[0] = '\0'; }); }},
        {"moved to another folder", [&] { EditLog([](CUpdateFile& e) { e.m_szFilePath[0] = 'x'; }); }},
        {"signature gone", [&] { std::filesystem::remove(down + "/UpdateList.xml.zip.minisig"); }},
        {"list archive gone", [&] { std::filesystem::remove(down + "/UpdateList.xml.zip"); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Prepare();
        c.change();
        const HEADLESS_RESULT result = Run();
        EXPECT_EQ(result.nOutcome, UPDATE_OUTCOME_NO_LIST);
        EXPECT_FALSE(Exists(down + "/UpdateLog.xml"));
        EXPECT_TRUE(ReadTree(prog).empty());
    }
}

// A fetched entry whose kept archive lost its signed digest is fetched
// again (here from a server that does not answer).
TEST_F(SignedResume, KeptArchiveWithAnotherDigestIsFetchedAgain)
{
    WriteFile(down + "/a.bin.zip", ReadFile(down + "/a.bin.zip") + "x");
    const HEADLESS_RESULT result = Run();
    EXPECT_EQ(result.nOutcome, UPDATE_OUTCOME_DOWNLOAD_FAILED);
    EXPECT_TRUE(ReadTree(prog).empty());
}

} // namespace
