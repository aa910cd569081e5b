// The updater's worker: one object that carries the settings of one update
// and runs the whole update (check, download, install, finish) on its own
// thread, reporting to the front end only through posted messages.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "minisign.h"
#include "thread_base.h"
#include "update_messages.h"
#include "win_types.h"

class CUpdateList;
class CUpdateFile;
class CFileDigest;
class CFolderLocks;

// How the update ended, for the front end's exit status. Set before the
// final message is posted, so it can be read once that message arrived.
enum UPDATE_OUTCOME : int {
    UPDATE_OUTCOME_RUNNING = 0,       // no final message yet
    UPDATE_OUTCOME_INSTALLED = 1,     // WM_UPDATE_DONE
    UPDATE_OUTCOME_CURRENT = 2,       // nothing to update (WM_UPDATE_CLOSE)
    UPDATE_OUTCOME_NO_LIST = 3,       // the list was not obtained or was refused
    UPDATE_OUTCOME_DOWNLOAD_FAILED = 4,
    UPDATE_OUTCOME_INSTALL_FAILED = 5,
    UPDATE_OUTCOME_ABORTED = 6,       // something escaped the update procedure
    UPDATE_OUTCOME_UNVERIFIED = 7,    // signed update: a signature or digest did not check out
    UPDATE_OUTCOME_REFUSED = 8,       // a folder is unusable: see CheckUpdateFolders, or the
                                      // download folder is not the user's own
    UPDATE_OUTCOME_BUSY = 9,          // another update holds the program or download folder
};

class CTovarinThread : public Ostrel::IThread {
public:
    CTovarinThread();
    ~CTovarinThread() override;

    BOOL Init() override;
    void Uninit() override;
    void Run() override;

    BOOL CheckUpdate();
    BOOL DownloadUpdate();
    BOOL InstallUpdate();
    BOOL MakeSubFolders(const std::wstring& relativePath, const std::wstring& baseFolder);
    BOOL DeleteFolder(const std::wstring& folder);
    // The check phase's comparison of every listed file with the installed
    // copy (m_pUpdateList against m_strProgDir): current entries removed,
    // the others pending.
    void CompareInstalledFiles();
    // expectedSize drives the byte-count messages (0: none); a body longer
    // than maxSize fails the fetch.
    BOOL DownloadFile(const std::wstring& url, const std::wstring& localPath, std::uint64_t expectedSize,
                      std::uint64_t maxSize = kNoSizeLimit);

    static constexpr std::uint64_t kNoSizeLimit = ~static_cast<std::uint64_t>(0);
    // The list archive is not sized by anything; this bounds what a server
    // can make the check phase store.
    static constexpr std::uint64_t kListArchiveLimit = 64ull << 20;
    // A minisign signature file is a few hundred bytes.
    static constexpr std::uint64_t kSignatureLimit = 64ull << 10;

    int GetOutcome() const { return m_nOutcome.load(); }

    CNotifyTarget* m_pNotifyWnd = nullptr;  // not owned; set before Start
    CUpdateList* m_pUpdateList = nullptr;   // owned; created by CheckUpdate
    CFileDigest* m_pDigest = nullptr;       // owned; created by Init
    std::wstring m_strName;                 // program name without suffix
    std::wstring m_strNumber;               // version tag of this update
    std::wstring m_strProgDir;              // the program's folder
    std::wstring m_strDownDir;              // working folder, emptied of the update's files after install
    std::wstring m_strHttpUrl;              // base URL, no trailing '/'
    BOOL m_bRunning = FALSE;                // DownloadFile refuses while FALSE
    BOOL m_bReboot = FALSE;                 // start the program after install
    // Signed update (-key): the list archive must carry the publisher's
    // signature for m_strNumber, and every archive the SHA-256 the list gives.
    BOOL m_bSigned = FALSE;
    std::wstring m_strKey;                  // the publisher's public key, minisign's base64 line
    unsigned m_nDigestThreads = 0;          // threads digesting ahead in the check; 0: one per core
    std::mutex m_cs;                        // guards the three handles below
    void* m_hInternet = nullptr;            // the transfer in progress, else null
    void* m_hConnect = nullptr;             // always null: one handle per transfer here
    void* m_hRequest = nullptr;             // always null: one handle per transfer here
    std::atomic<int> m_nOutcome{UPDATE_OUTCOME_RUNNING};

private:
    void RunPhases();
    int PrepareFolders(CFolderLocks& locks);
    void RecheckFetched();
    BOOL StageEntry(const CUpdateFile& entry);
    BOOL CommitEntry(const CUpdateFile& entry);
    void RemoveDownloads();
    void Finish(unsigned message, int outcome);
    void PostStatus(int step, const std::wstring& text);
    void PostBytes(std::uint64_t received, std::uint64_t expected);
    BOOL FetchEntry(CUpdateFile& entry);
    BOOL UnpackedMatches(const CUpdateFile& entry, const std::wstring& archive);
    BOOL DigestMatches(const CUpdateFile& entry) const;
    BOOL ListIsSafe() const;
    BOOL FetchList();
    BOOL ListArchiveIsSigned();
    BOOL EveryEntryHasADigest() const;
    BOOL LogIsSigned();
    BOOL ArchiveIsSigned(const CUpdateFile& entry, const std::wstring& archive);
    BOOL Unverified();

    bool m_bUpToDate = false;     // CheckUpdate found every file current
    bool m_bFinished = false;     // the final message was posted
    bool m_bUnverified = false;   // a signed update failed its verification
    bool m_bDigestRefused = false;  // the last archive fetched had another SHA-256
    int m_nStep = 0;              // the step of the last status posted
    MINISIGN_PUBLIC_KEY m_key;    // m_strKey, read by CheckUpdate
    // The HTTP session of every transfer, opened by the first and kept, so
    // that one connection carries the whole update; closed by Uninit.
    void* m_pSession = nullptr;
};

// Entry texts used as paths: false for an empty name, an absolute path, a
// drive prefix or a ".." component (with either separator), a control
// character in either text, and for the files the updater keeps at the top
// of the download folder ("UpdateLog.xml", "UpdateList.xml" and the list's
// archive and signature, in any letter case). Exposed for tests.
bool IsSafeEntryPath(const char* fileName, const char* filePath);

// Entry text as it goes into a URL path: every byte but letters, digits,
// "-._~" and the separators '/' and '\' percent-encoded, so that a name
// holding '?', '#', '%' or a space names that file. Exposed for tests.
std::string UrlPathText(const char* text);

// The download step 3 + done * 62 / total (CompressProgressStep): exact for
// any 64-bit lengths and kept within 3..65 (3 when total is 0). Exposed for
// tests.
int DownloadStep(std::int64_t done, std::int64_t total);
