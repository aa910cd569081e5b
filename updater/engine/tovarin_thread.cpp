#include "tovarin_thread.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <new>
#include <set>
#include <utility>
#include <vector>

#include "digest_pool.h"
#include "file_digest.h"
#include "http_fetch.h"
#include "sha256.h"
#include "text.h"
#include "update_folders.h"
#include "update_fs.h"
#include "update_list.h"
#include "zip_file_io.h"
#include "zip_reader.h"

namespace {

constexpr std::size_t kMaxPath = 259;  // characters of a path, without the terminator

const wchar_t kTextChecking[] = L"正在检查新的版本...";
const wchar_t kTextFetchingList[] = L"正在下载更新列表...";
const wchar_t kTextPreparing[] = L"正在准备更新包...";
const wchar_t kTextInstalling[] = L"正在安装更新包";
const wchar_t kTextUnverified[] = L"无法验证更新包,更新已取消";
const wchar_t kTextBadFolder[] = L"程序文件夹或下载文件夹不可用,更新已取消";
const wchar_t kTextBusy[] = L"另一个更新正在使用这些文件夹,更新已取消";

// What a run leaves in the download folder besides the entries' archives
// and unpacked files.
const wchar_t* const kListFiles[] = {L"UpdateList.xml.zip", L"UpdateList.xml", L"UpdateList.xml.zip.minisig"};

// Entry texts are folder-relative paths with '\' separators; locally they
// take the platform's '/'.
std::wstring LocalText(const char* text)
{
    std::wstring wide = AnsiToWide(text);
    for (wchar_t& c : wide)
        if (c == L'\\')
            c = L'/';
    return wide;
}

// "<folder>/<FilePath>" or "<folder>".
std::wstring EntryFolder(const std::wstring& folder, const CUpdateFile& entry)
{
    return entry.m_szFilePath[0] ? folder + L'/' + LocalText(entry.m_szFilePath) : folder;
}

// "<folder>/<FilePath>/<FileName>" or "<folder>/<FileName>".
std::wstring EntryPath(const std::wstring& folder, const CUpdateFile& entry)
{
    return EntryFolder(folder, entry) + L'/' + LocalText(entry.m_szFileName);
}

bool IsSeparator(char c)
{
    return c == '/' || c == '\\';
}

bool IsSafeText(const char* text)
{
    if (IsSeparator(text[0]))
        return false;
    const bool letter = (text[0] >= 'A' && text[0] <= 'Z') || (text[0] >= 'a' && text[0] <= 'z');
    if (letter && text[1] == ':')
        return false;
    const char* start = text;
    for (const char* p = text;; ++p) {
        if (*p == '\0' || IsSeparator(*p)) {
            if (p - start == 2 && start[0] == '.' && start[1] == '.')
                return false;
            if (*p == '\0')
                return true;
            start = p + 1;
        }
    }
}

// Receives one download into a local file that is created only once the
// server's answer is known to be good (at the first body byte, or at the end
// of an empty body), so that a refused answer leaves nothing behind. A body
// that grows beyond the limit is refused at the block that crosses it.
class CDownloadReceiver : public Tovarin::IHttpReceiver {
public:
    // The file is created below `root` (the download folder) without
    // following a symbolic link.
    CDownloadReceiver(CNotifyTarget* target, std::wstring path, std::wstring root, std::uint64_t expected,
                      std::uint64_t limit)
        : m_pTarget(target), m_strPath(std::move(path)), m_strRoot(std::move(root)), m_nExpected(expected),
          m_nLimit(limit) {}
    ~CDownloadReceiver() override { Close(); }

    bool OnStatus(long status) override { return status == 200 || status == 206; }

    bool OnBlock(const unsigned char* data, std::size_t length) override
    {
        if (length > m_nLimit - m_nTotal)
            return false;
        m_nTotal += length;
        PostBytes();
        return Open() && std::fwrite(data, 1, length, m_pFile) == length;
    }

    // The whole body arrived: the final empty read, then the file is closed.
    bool Complete()
    {
        PostBytes();
        return Open() && Close();
    }

    bool Close()
    {
        if (!m_pFile)
            return false;
        const bool ok = std::fclose(m_pFile) == 0;
        m_pFile = nullptr;
        return ok;
    }

private:
    bool Open()
    {
        if (!m_pFile && !m_bOpenFailed) {
            m_pFile = Tovarin::CreateFileNoFollow(m_strPath, m_strRoot);
            m_bOpenFailed = m_pFile == nullptr;
            if (m_pFile)
                std::setvbuf(m_pFile, nullptr, _IOFBF, kWriteBuffer);
        }
        return m_pFile != nullptr;
    }

    void PostBytes()
    {
        if (m_nExpected != 0 && m_pTarget)
            m_pTarget->PostNotify(WM_UPDATE_BYTES, static_cast<WPARAM>(m_nTotal), static_cast<LPARAM>(m_nExpected));
    }

    static constexpr std::size_t kWriteBuffer = 256 * 1024;

    CNotifyTarget* m_pTarget;
    std::wstring m_strPath;
    std::wstring m_strRoot;
    std::uint64_t m_nExpected;
    std::uint64_t m_nLimit;
    std::uint64_t m_nTotal = 0;
    std::FILE* m_pFile = nullptr;
    bool m_bOpenFailed = false;
};

// A folder standing where the updater must write a file (left by an archive
// whose entry was a folder, or made by hand) would fail every later try: it
// goes, with what it holds. Only the download folder's own paths come here.
void ClearFolderAt(const std::wstring& path, const std::wstring& keep)
{
    if (ZipIsRealFolder(path))
        Tovarin::DeleteFolderTree(path, keep);
}

std::wstring CrcText(std::uint32_t crc)
{
    wchar_t text[16];
    std::swprintf(text, sizeof text / sizeof text[0], L"%X", static_cast<unsigned>(crc));
    return text;
}

} // namespace

namespace {

// C0 controls, DEL, and the C1 controls U+0080 to U+009F in their UTF-8 form.
bool HasControlCharacter(const char* text)
{
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
        if (*p < 0x20 || *p == 0x7F)
            return true;
        if (*p == 0xC2 && p[1] >= 0x80 && p[1] <= 0x9F)
            return true;
    }
    return false;
}

bool EqualsIgnoringCase(const std::string& a, const char* b)
{
    if (a.size() != std::strlen(b))
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

// The files the updater keeps in the download folder itself. An entry that
// lands on one of them at the top level (FilePath empty or only "."
// components) would overwrite the list or the log while the update runs.
// Compared without regard to case, as on a case-insensitive file system.
bool NamesAReservedFile(const char* fileName, const char* filePath)
{
    std::vector<std::string> parts;
    for (const char* text : {filePath, fileName}) {
        std::string part;
        for (const char* p = text;; ++p) {
            if (*p == '\0' || IsSeparator(*p)) {
                if (!part.empty() && part != ".")
                    parts.push_back(part);
                part.clear();
                if (*p == '\0')
                    break;
            } else {
                part += *p;
            }
        }
    }
    if (parts.size() != 1)
        return false;
    for (const char* reserved : {"UpdateLog.xml", "UpdateList.xml", "UpdateList.xml.zip", "UpdateList.xml.zip.minisig"})
        if (EqualsIgnoringCase(parts[0], reserved))
            return true;
    return false;
}

}  // namespace

std::string UrlPathText(const char* text)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    for (const char* p = text; *p; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                           c == '.' || c == '_' || c == '~' || c == '/' || c == '\\';
        if (plain) {
            encoded += static_cast<char>(c);
        } else {
            encoded += '%';
            encoded += kHex[c >> 4];
            encoded += kHex[c & 15];
        }
    }
    return encoded;
}

bool IsSafeEntryPath(const char* fileName, const char* filePath)
{
    if (!fileName || !fileName[0] || !filePath)
        return false;
    if (HasControlCharacter(fileName) || HasControlCharacter(filePath))
        return false;
    return IsSafeText(fileName) && IsSafeText(filePath) && !NamesAReservedFile(fileName, filePath);
}

int DownloadStep(std::int64_t done, std::int64_t total)
{
    return CompressProgressStep(done, total);
}

CTovarinThread::CTovarinThread() = default;

// The process never deletes its worker; tests and headless runs do, after the
// thread has ended, and get the list and the digest freed with it.
CTovarinThread::~CTovarinThread()
{
    Tovarin::HttpCloseSession(m_pSession);
    delete m_pDigest;
    delete m_pUpdateList;
}

BOOL CTovarinThread::Init()
{
    m_pDigest = new (std::nothrow) CFileDigest;
    return TRUE;
}

void CTovarinThread::Uninit()
{
    Tovarin::HttpCloseSession(m_pSession);
    m_pSession = nullptr;
    delete m_pDigest;
    m_pDigest = nullptr;
    m_pNotifyWnd = nullptr;
}

void CTovarinThread::Run()
{
    try {
        RunPhases();
    } catch (...) {
        // Whatever escaped, the front end still gets its one final message;
        // the thread base then reports the escape to OnError.
        const int error = errno;
        if (!m_bFinished) {
            try {
                Finish(WM_UPDATE_CLOSE, UPDATE_OUTCOME_ABORTED);
            } catch (...) {
            }
        }
        errno = error;
        throw;
    }
}

// The advisory locks of one update on its folders, released when the update
// ends (and by the system when the process does).
class CFolderLocks {
public:
    CFolderLocks() = default;
    CFolderLocks(const CFolderLocks&) = delete;
    CFolderLocks& operator=(const CFolderLocks&) = delete;
    ~CFolderLocks()
    {
        for (int handle : m_handles)
            Tovarin::ReleaseFolderLock(handle);
    }

    // False when another update holds the folder. A folder that does not
    // exist has nothing to guard: the phases fail on it on their own.
    bool Take(const std::wstring& folder, bool& exists)
    {
        int handle = -1;
        const Tovarin::FOLDER_LOCK_RESULT result = Tovarin::TryLockFolder(folder, handle);
        exists = result != Tovarin::FOLDER_LOCK_RESULT::Missing;
        if (result == Tovarin::FOLDER_LOCK_RESULT::Locked)
            m_handles.push_back(handle);
        return result != Tovarin::FOLDER_LOCK_RESULT::Busy;
    }

private:
    std::vector<int> m_handles;
};

void CTovarinThread::RunPhases()
{
    CFolderLocks locks;
    if (const int refused = PrepareFolders(locks)) {
        Finish(WM_UPDATE_CLOSE, refused);
        return;
    }
    if (!CheckUpdate()) {
        Finish(WM_UPDATE_CLOSE, m_bUpToDate    ? UPDATE_OUTCOME_CURRENT
                                : m_bUnverified ? UPDATE_OUTCOME_UNVERIFIED
                                                : UPDATE_OUTCOME_NO_LIST);
        return;
    }
    RecheckFetched();
    if (!DownloadUpdate()) {
        m_pUpdateList->Save(m_strDownDir + L"/UpdateLog.xml");
        Finish(WM_UPDATE_CLOSE, m_bUnverified ? UPDATE_OUTCOME_UNVERIFIED : UPDATE_OUTCOME_DOWNLOAD_FAILED);
        return;
    }
    if (!InstallUpdate()) {
        Finish(WM_UPDATE_CLOSE, UPDATE_OUTCOME_INSTALL_FAILED);
        return;
    }
    if (m_bReboot) {
        const std::wstring program = m_strProgDir + L'/' + m_strName;
        Tovarin::DebugText(L"Tovarin ShellExecute!");
        Tovarin::DebugText(program);
        Tovarin::StartProgram(program);
    }
    Finish(WM_UPDATE_DONE, UPDATE_OUTCOME_INSTALLED);
}

// Before anything is read or written: the folders in their local form, both
// usable (CheckUpdateFolders), both locked against another update, and a
// download folder that is the user's own with no symbolic link where the
// log is written. 0 when the update may go on, else the outcome to end it
// with, its reason posted as the status.
int CTovarinThread::PrepareFolders(CFolderLocks& locks)
{
    m_strProgDir = LocalFolderPath(m_strProgDir);
    m_strDownDir = LocalFolderPath(m_strDownDir);
    if (CheckUpdateFolders(m_strProgDir, m_strDownDir) != FOLDER_PROBLEM::None) {
        PostStatus(0, kTextBadFolder);
        return UPDATE_OUTCOME_REFUSED;
    }
    bool progExists = false, downExists = false;
    if (!locks.Take(m_strProgDir, progExists) || !locks.Take(m_strDownDir, downExists)) {
        PostStatus(0, kTextBusy);
        return UPDATE_OUTCOME_BUSY;
    }
    if (downExists && (!Tovarin::IsOwnFolder(m_strDownDir) || Tovarin::IsSymbolicLink(m_strDownDir + L"/UpdateLog.xml"))) {
        PostStatus(0, kTextBadFolder);
        return UPDATE_OUTCOME_REFUSED;
    }
    return 0;
}

void CTovarinThread::Finish(unsigned message, int outcome)
{
    m_nOutcome.store(outcome);
    m_bFinished = true;
    if (m_pNotifyWnd)
        m_pNotifyWnd->PostNotify(message, 0, 0);
}

void CTovarinThread::PostStatus(int step, const std::wstring& text)
{
    m_nStep = step;
    if (!m_pNotifyWnd)
        return;
    auto posted = std::make_unique<std::wstring>(text);
    if (m_pNotifyWnd->PostNotify(WM_UPDATE_STATUS, static_cast<WPARAM>(step), reinterpret_cast<LPARAM>(posted.get())))
        posted.release();  // the receiver owns it now
}

void CTovarinThread::PostBytes(std::uint64_t received, std::uint64_t expected)
{
    if (m_pNotifyWnd)
        m_pNotifyWnd->PostNotify(WM_UPDATE_BYTES, static_cast<WPARAM>(received), static_cast<LPARAM>(expected));
}

BOOL CTovarinThread::DigestMatches(const CUpdateFile& entry) const
{
    return entry.m_nFileLen >= 0 && m_pDigest->m_dwSize == static_cast<std::uint64_t>(entry.m_nFileLen) &&
           m_pDigest->m_szCrc[0] != L'\0' &&
           AnsiToWide(entry.m_szFileCrc) == m_pDigest->m_szCrc;
}

BOOL CTovarinThread::ListIsSafe() const
{
    for (CUpdateFile* entry = m_pUpdateList->GetFirstFile(); entry; entry = m_pUpdateList->GetNextFile())
        if (!IsSafeEntryPath(entry->m_szFileName, entry->m_szFilePath))
            return FALSE;
    return TRUE;
}

BOOL CTovarinThread::CheckUpdate()
{
    if (!m_pUpdateList)
        m_pUpdateList = new CUpdateList;
    PostStatus(0, kTextChecking);
    if (!m_pDigest)
        return FALSE;
    if (m_bSigned && !ParseMinisignPublicKey(WideToAnsiLossy(m_strKey), m_key))
        return Unverified();

    const std::wstring log = m_strDownDir + L"/UpdateLog.xml";
    // A log that is not our own clean record (another version, or entries
    // that would reach outside the folders) is not resumed.
    if (m_pUpdateList->Load(log) && AnsiToWide(m_pUpdateList->m_szVersion) == m_strNumber && ListIsSafe()) {
        if (!m_bSigned || LogIsSigned())
            return TRUE;
        // A log that the signed list does not vouch for is dropped, and the
        // update starts over from the server.
        m_pUpdateList->Clear();
        Tovarin::RemoveOneFile(log);
    }

    if (!FetchList())
        return FALSE;

    PostStatus(2, kTextPreparing);
    CompareInstalledFiles();
    if (!m_pUpdateList->GetFirstFile()) {
        m_bUpToDate = true;
        return FALSE;
    }

    // A tag too long for the log's version field leaves the log unstamped: the
    // update proceeds, and a later run cannot resume from it.
    std::string number;
    if (!WideToAnsi(m_strNumber, number) || number.size() > sizeof m_pUpdateList->m_szVersion - 1)
        number.clear();
    m_pUpdateList->SetVersion(number.c_str());
    m_pUpdateList->Save(log);
    return TRUE;
}

// Every entry whose installed file is current (same length and CRC) leaves
// the list; every other entry becomes pending. The list is walked and edited
// in its order, one entry at a time; the files' digests are computed ahead
// of the walk on m_nDigestThreads threads.
void CTovarinThread::CompareInstalledFiles()
{
    const unsigned threads = m_nDigestThreads != 0 ? m_nDigestThreads : CDigestPool::DefaultThreads();
    if (threads <= 1 || m_pUpdateList->m_setFiles.size() < 2) {
        for (CUpdateFile* entry = m_pUpdateList->GetFirstFile(); entry; entry = m_pUpdateList->GetNextFile()) {
            if (m_pDigest->Compute(EntryPath(m_strProgDir, *entry)) && DigestMatches(*entry))
                m_pUpdateList->RemoveFile(entry);
            else
                entry->m_nStatus = UPDATE_FILE_PENDING;
        }
        return;
    }
    std::vector<std::wstring> paths;
    paths.reserve(m_pUpdateList->m_setFiles.size());
    for (CUpdateFile* entry = m_pUpdateList->GetFirstFile(); entry; entry = m_pUpdateList->GetNextFile())
        paths.push_back(EntryPath(m_strProgDir, *entry));
    CDigestPool pool(std::move(paths), threads);
    std::size_t index = 0;
    for (CUpdateFile* entry = m_pUpdateList->GetFirstFile(); entry; entry = m_pUpdateList->GetNextFile()) {
        if (pool.Take(index++, *m_pDigest) && DigestMatches(*entry))
            m_pUpdateList->RemoveFile(entry);
        else
            entry->m_nStatus = UPDATE_FILE_PENDING;
    }
}

// Fetches the server's list into the download folder and loads it; in a
// signed update, only once its archive's signature has been fetched and
// checked, and only when every entry gives its archive's digest.
BOOL CTovarinThread::FetchList()
{
    PostStatus(1, kTextFetchingList);
    const std::wstring archive = m_strDownDir + L"/UpdateList.xml.zip";
    ClearFolderAt(archive, m_strProgDir);
    ClearFolderAt(m_strDownDir + L"/UpdateList.xml", m_strProgDir);
    if (!DownloadFile(m_strHttpUrl + L"/UpdateList.xml.zip", archive, 0, kListArchiveLimit))
        return FALSE;
    if (m_bSigned &&
        (!DownloadFile(m_strHttpUrl + L"/UpdateList.xml.zip.minisig", archive + L".minisig", 0, kSignatureLimit) ||
         !ListArchiveIsSigned()))
        return Unverified();
    // The unpacked list is held to what the list loader accepts, so a small
    // archive cannot fill the disk.
    if (!ExtractFileBeside(archive, UPDATE_LIST_MAX_BYTES, nullptr))
        return FALSE;
    m_pUpdateList->Clear();
    if (!m_pUpdateList->Load(m_strDownDir + L"/UpdateList.xml"))
        return FALSE;
    // Entry names become paths below the program folder and the download
    // folder, which a successful install deletes: a list that would reach
    // outside them is refused whole, before anything is fetched or written.
    if (!ListIsSafe()) {
        m_pUpdateList->Clear();
        return FALSE;
    }
    if (m_bSigned && !EveryEntryHasADigest()) {
        m_pUpdateList->Clear();
        return Unverified();
    }
    return TRUE;
}

// The list archive in the download folder and its signature beside it: the
// signature must be the publisher's, over this archive, and its trusted
// comment must name the version being installed, so that an older signed
// list cannot be served in place of this one.
BOOL CTovarinThread::ListArchiveIsSigned()
{
    const std::string archive = WideToAnsiLossy(m_strDownDir + L"/UpdateList.xml.zip");
    MINISIGN_SIGNATURE signature;
    std::string version, number;
    return ReadMinisignSignature(archive + ".minisig", signature) == MINISIGN_RESULT::Ok &&
           VerifyMinisignFile(m_key, signature, archive) == MINISIGN_RESULT::Ok &&
           FindTrustedCommentField(signature.strTrustedComment, "version", version) &&
           WideToAnsi(m_strNumber, number) && version == number;
}

BOOL CTovarinThread::EveryEntryHasADigest() const
{
    for (CUpdateFile* entry = m_pUpdateList->GetFirstFile(); entry; entry = m_pUpdateList->GetNextFile())
        if (entry->m_szCompressSha256[0] == '\0')
            return FALSE;
    return TRUE;
}

// A resumed signed update: the list archive and its signature kept in the
// download folder are checked again, and every entry of the log must be an
// entry of that signed list with the same digests. An entry the log names as
// fetched keeps that state only while its archive in the download folder
// still has the signed digest (an earlier run without -key never checked
// it); otherwise it is fetched again.
BOOL CTovarinThread::LogIsSigned()
{
    const std::wstring archive = m_strDownDir + L"/UpdateList.xml.zip";
    if (!ListArchiveIsSigned() || !m_pDigest->Compute(archive) || !m_pDigest->Unpack())
        return FALSE;
    CUpdateList signedList;
    if (!signedList.Load(m_strDownDir + L"/UpdateList.xml"))
        return FALSE;
    std::map<std::pair<std::string, std::string>, const CUpdateFile*> byPath;
    for (CUpdateFile* entry = signedList.GetFirstFile(); entry; entry = signedList.GetNextFile())
        byPath[{entry->m_szFilePath, entry->m_szFileName}] = entry;
    for (CUpdateFile* entry = m_pUpdateList->GetFirstFile(); entry; entry = m_pUpdateList->GetNextFile()) {
        const auto found = byPath.find({entry->m_szFilePath, entry->m_szFileName});
        if (found == byPath.end())
            return FALSE;
        const CUpdateFile& listed = *found->second;
        if (listed.m_szCompressSha256[0] == '\0' || std::strcmp(listed.m_szCompressSha256, entry->m_szCompressSha256) != 0 ||
            std::strcmp(listed.m_szFileCrc, entry->m_szFileCrc) != 0 || listed.m_nFileLen != entry->m_nFileLen ||
            listed.m_nCompressLen != entry->m_nCompressLen)
            return FALSE;
    }
    for (CUpdateFile* entry = m_pUpdateList->GetFirstFile(); entry; entry = m_pUpdateList->GetNextFile())
        if (entry->m_nStatus == UPDATE_FILE_FETCHED && !ArchiveIsSigned(*entry, EntryPath(m_strDownDir, *entry) + L".zip"))
            entry->m_nStatus = UPDATE_FILE_PENDING;
    return TRUE;
}

// In a signed update, the archive must have the SHA-256 its entry gives
// before it is unpacked; always TRUE otherwise.
BOOL CTovarinThread::ArchiveIsSigned(const CUpdateFile& entry, const std::wstring& archive)
{
    if (!m_bSigned)
        return TRUE;
    SHA256_DIGEST digest{};
    m_bDigestRefused = !Sha256OfFile(WideToAnsiLossy(archive), digest) || Sha256Hex(digest) != entry.m_szCompressSha256;
    return m_bDigestRefused ? FALSE : TRUE;
}

// A signed update that cannot be verified ends here: the status line says
// so, and the update closes without installing.
BOOL CTovarinThread::Unverified()
{
    m_bUnverified = true;
    PostStatus(m_nStep, kTextUnverified);
    return FALSE;
}

BOOL CTovarinThread::DownloadUpdate()
{
    int remaining = 0;
    for (CUpdateFile* entry = m_pUpdateList->GetFirstFile(); entry; entry = m_pUpdateList->GetNextFile())
        ++remaining;
    const std::int64_t total = m_pUpdateList->GetTotalCompressLen();
    std::int64_t done = 0;

    for (CUpdateFile* entry = m_pUpdateList->GetFirstFile(); entry; entry = m_pUpdateList->GetNextFile()) {
        --remaining;
        if (entry->m_nStatus != UPDATE_FILE_PENDING) {
            done += entry->m_nCompressLen;
            continue;
        }
        PostStatus(DownloadStep(done, total), L"剩余" + std::to_wstring(remaining) + L"个文件需要下载/正在下载:" +
                                                  AnsiToWide(entry->m_szFileName));
        PostBytes(0, static_cast<std::uint64_t>(entry->m_nCompressLen));
        if (entry->m_szFilePath[0])
            MakeSubFolders(AnsiToWide(entry->m_szFilePath), m_strDownDir);

        BOOL fetched = FALSE;
        for (int attempt = 0; attempt < 2 && !fetched; ++attempt) {
            fetched = FetchEntry(*entry);
            if (!fetched)
                Tovarin::SleepMilliseconds(1);
        }
        if (!fetched)
            return m_bDigestRefused ? Unverified() : FALSE;
        done += entry->m_nCompressLen;
        entry->m_nStatus = UPDATE_FILE_FETCHED;
    }
    return TRUE;
}

// One attempt: fetch the entry's archive (no longer than its CompressLen,
// when the list gives one), check its SHA-256 in a signed update, unpack it
// beside itself, and confirm the unpacked file's length and CRC.
BOOL CTovarinThread::FetchEntry(CUpdateFile& entry)
{
    m_bDigestRefused = false;
    std::wstring url = m_strHttpUrl + L'/';
    if (entry.m_szFilePath[0])
        url += AnsiToWide(UrlPathText(entry.m_szFilePath)) + L'/';
    url += AnsiToWide(UrlPathText(entry.m_szFileName)) + L".zip";
    const std::wstring unpacked = EntryPath(m_strDownDir, entry);
    const std::wstring archive = unpacked + L".zip";
    ClearFolderAt(archive, m_strProgDir);
    ClearFolderAt(unpacked, m_strProgDir);

    const std::uint64_t compressed = entry.m_nCompressLen > 0 ? static_cast<std::uint64_t>(entry.m_nCompressLen) : 0;
    return DownloadFile(url, archive, compressed, compressed ? compressed : kNoSizeLimit) &&
           ArchiveIsSigned(entry, archive) && UnpackedMatches(entry, archive);
}

// Unpacks the entry's archive and judges the file by the bytes as they were
// written: never more than FileLen of them, and the length and CRC-32 the
// list gives.
BOOL CTovarinThread::UnpackedMatches(const CUpdateFile& entry, const std::wstring& archive)
{
    if (entry.m_nFileLen < 0)
        return FALSE;
    const std::uint64_t length = static_cast<std::uint64_t>(entry.m_nFileLen);
    ZIP_WRITTEN written{};
    return ExtractFileBeside(archive, length, &written) && written.length == length &&
           AnsiToWide(entry.m_szFileCrc) == CrcText(written.crc);
}

// A resumed update examines again every file an earlier run fetched: one
// that changed or went missing since is fetched again.
void CTovarinThread::RecheckFetched()
{
    for (CUpdateFile* entry = m_pUpdateList->GetFirstFile(); entry; entry = m_pUpdateList->GetNextFile())
        if (entry->m_nStatus == UPDATE_FILE_FETCHED &&
            !(m_pDigest->Compute(EntryPath(m_strDownDir, *entry)) && DigestMatches(*entry)))
            entry->m_nStatus = UPDATE_FILE_PENDING;
}

// Two passes, so that durability costs one file-system sync and one sync per
// folder instead of two per file: every new file is first staged beside its
// target, then all are synced at once and renamed over their targets. Each
// target is at every moment its old or its complete new file. A file that
// cannot be staged ends the install after the files staged before it are
// installed; the log stays, and the next run installs everything again.
BOOL CTovarinThread::InstallUpdate()
{
    PostStatus(65, kTextInstalling);
    PostBytes(0, 0);
    std::vector<const CUpdateFile*> staged;
    std::set<std::wstring> targets;
    BOOL complete = TRUE;
    for (CUpdateFile* entry = m_pUpdateList->GetFirstFile(); entry && complete; entry = m_pUpdateList->GetNextFile()) {
        complete = StageEntry(*entry);
        // A target listed twice is staged twice (the later entry wins, as
        // with two copies) and committed once.
        if (complete && targets.insert(EntryPath(m_strProgDir, *entry)).second)
            staged.push_back(entry);
    }
    if (!staged.empty())
        Tovarin::SyncFileSystemOf(m_strProgDir);
    std::set<std::wstring> folders;
    std::size_t committed = 0;
    for (; committed < staged.size() && CommitEntry(*staged[committed]); ++committed)
        folders.insert(EntryFolder(m_strProgDir, *staged[committed]));
    if (committed < staged.size()) {
        complete = FALSE;
        for (std::size_t i = committed; i < staged.size(); ++i)
            Tovarin::DiscardStaged(EntryPath(m_strProgDir, *staged[i]));
    }
    for (const std::wstring& folder : folders)
        Tovarin::SyncFolder(folder);
    if (!complete)
        return FALSE;
    RemoveDownloads();
    return TRUE;
}

// Puts the entry's new file beside its target. Never through a symbolic
// link that leads out of the program folder: the entry's folder must lie
// inside it before its missing levels are created.
BOOL CTovarinThread::StageEntry(const CUpdateFile& entry)
{
    const std::wstring folder = EntryFolder(m_strProgDir, entry);
    if (!Tovarin::IsInsideFolder(folder, m_strProgDir))
        return FALSE;
    if (entry.m_szFilePath[0])
        MakeSubFolders(AnsiToWide(entry.m_szFilePath), m_strProgDir);
    return Tovarin::StageCopy(EntryPath(m_strDownDir, entry), EntryPath(m_strProgDir, entry));
}

// Renames the staged file over its target; a target that cannot be replaced
// is moved aside to "<target>.bak" first, and put back when the new file
// still cannot take its place, so that the program never lacks the file.
BOOL CTovarinThread::CommitEntry(const CUpdateFile& entry)
{
    const std::wstring target = EntryPath(m_strProgDir, entry);
    if (Tovarin::CommitStaged(target))
        return TRUE;
    const std::wstring backup = target + L".bak";
    const bool movedAside = backup.size() <= kMaxPath && Tovarin::MoveFileReplace(target, backup);
    if (Tovarin::CommitStaged(target))
        return TRUE;
    if (movedAside)
        Tovarin::MoveFileReplace(backup, target);
    Tovarin::DiscardStaged(target);
    return FALSE;
}

// After a successful install: removes what the update put in the download
// folder (the log first: a removal cut short must not leave a log naming as
// fetched files already gone, which no later run could install), then the
// folders it made and the download folder itself, each only when nothing
// else is left in it. Whatever else the user keeps there stays.
void CTovarinThread::RemoveDownloads()
{
    Tovarin::RemoveOneFile(m_strDownDir + L"/UpdateLog.xml");
    // A download folder that holds the program folder may name an installed
    // file as an unpacked one: that one is left alone.
    const bool holdsProgram = Tovarin::IsInsideFolder(m_strProgDir, m_strDownDir);
    std::set<std::wstring> folders;
    for (CUpdateFile* entry = m_pUpdateList->GetFirstFile(); entry; entry = m_pUpdateList->GetNextFile()) {
        const std::wstring unpacked = EntryPath(m_strDownDir, *entry);
        if (holdsProgram && Tovarin::IsInsideFolder(unpacked, m_strProgDir))
            continue;
        Tovarin::RemoveOneFile(unpacked + L".zip");
        Tovarin::RemoveOneFile(unpacked);
        const std::wstring folder = EntryFolder(m_strDownDir, *entry);
        for (std::size_t end = folder.size(); end > m_strDownDir.size(); end = folder.rfind(L'/', end - 1))
            folders.insert(folder.substr(0, end));
    }
    for (const wchar_t* name : kListFiles)
        Tovarin::RemoveOneFile(m_strDownDir + L'/' + name);
    // Deepest first: a folder's name is longer than its parent's.
    std::vector<std::wstring> deepestFirst(folders.begin(), folders.end());
    std::sort(deepestFirst.begin(), deepestFirst.end(),
              [](const std::wstring& a, const std::wstring& b) { return a.size() > b.size(); });
    for (const std::wstring& folder : deepestFirst)
        Tovarin::RemoveEmptyFolder(folder);
    Tovarin::RemoveEmptyFolder(m_strDownDir);
}

// A level that is a symbolic link leading out of the base folder ends the
// creation there: no folder is ever made through it.
BOOL CTovarinThread::MakeSubFolders(const std::wstring& relativePath, const std::wstring& baseFolder)
{
    std::wstring text = baseFolder.substr(0, 260);
    if (text.size() + 1 > kMaxPath)
        return TRUE;
    const auto create = [&] {
        if (Tovarin::IsSymbolicLink(text) && !Tovarin::IsInsideFolder(text, baseFolder))
            return false;
        Tovarin::CreateOneFolder(text);
        return true;
    };
    text += L'/';
    for (wchar_t c : relativePath) {
        const bool separator = c == L'\\' || c == L'/';
        if (separator && !create())
            return TRUE;
        if (text.size() + 1 > kMaxPath)
            return TRUE;
        text += separator ? L'/' : c;
    }
    create();
    return TRUE;
}

BOOL CTovarinThread::DeleteFolder(const std::wstring& folder)
{
    if (folder.empty() || folder.size() > kMaxPath)
        return FALSE;
    return Tovarin::DeleteFolderTree(folder, m_strProgDir) ? TRUE : FALSE;
}

// The session is published in m_hInternet for the time of the transfer
// only; it stays open afterwards for the next transfer.
BOOL CTovarinThread::DownloadFile(const std::wstring& url, const std::wstring& localPath, std::uint64_t expectedSize,
                                  std::uint64_t maxSize)
{
    if (!m_bRunning)
        return FALSE;
    // Exactly one time query per request, formed anew for every call.
    const std::int32_t now = static_cast<std::int32_t>(static_cast<std::uint32_t>(std::time(nullptr)));
    const std::string request = WideToAnsiLossy(url) + "?a=" + std::to_string(now);

    if (!m_pSession)
        m_pSession = Tovarin::HttpOpenSession();
    if (!m_pSession)
        return FALSE;
    {
        std::lock_guard<std::mutex> guard(m_cs);
        m_hInternet = m_pSession;
        m_hConnect = nullptr;
        m_hRequest = nullptr;
    }
    BOOL result = FALSE;
    {
        CDownloadReceiver receiver(m_pNotifyWnd, localPath, m_strDownDir, expectedSize, maxSize);
        if (Tovarin::HttpGet(m_pSession, request, receiver, maxSize))
            result = receiver.Complete() ? TRUE : FALSE;
    }
    {
        std::lock_guard<std::mutex> guard(m_cs);
        m_hInternet = nullptr;
        m_hConnect = nullptr;
        m_hRequest = nullptr;
    }
    return result;
}
