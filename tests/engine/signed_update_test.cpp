// Signed updates (-key) against a real nginx serving a tree signed by the
// publisher with keys of the real minisign tool: what a signed update
// installs, and every forgery an attacker on the network path could serve
// (another key, a changed list, a swapped archive that the CRC check alone
// would take, no signature, another version's signature) ending with the
// update refused and nothing installed. Resumed updates re-check their log
// against the signed list kept in the download folder.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

#include <gtest/gtest.h>
#include <zlib.h>

#include "publisher.h"
#include "sha256.h"
#include "update_fixture.h"
#include "text.h"
#include "tovarin_thread.h"
#include "update_list.h"
#include "zip_reader.h"

using namespace test;
namespace fs = std::filesystem;

namespace {

const wchar_t kTextUnverified[] = L"无法验证更新包,更新已取消";

int Shell(const std::string& command)
{
    return RunShell(command).status;
}

std::string Quote(const std::string& text)
{
    return "'" + text + "'";
}

// An unencrypted key pair made by the real tool; the public key's base64
// line is what the updater is given.
struct TEST_KEY {
    std::string strSecretFile;
    std::string strPublicLine;
};

TEST_KEY MakeKey(const std::string& folder, const std::string& name)
{
    TEST_KEY key{folder + "/" + name + ".key", ""};
    const std::string pub = folder + "/" + name + ".pub";
    EXPECT_EQ(Shell("minisign -G -W -p " + Quote(pub) + " -s " + Quote(key.strSecretFile) + " >/dev/null"), 0);
    const std::string text = ReadFile(pub);
    key.strPublicLine = text.substr(text.find('\n') + 1, 56);
    return key;
}

void PublishSigned(const std::string& programDir, const std::string& serverDir, const std::string& version,
                   const TEST_KEY& key)
{
    PUBLISH_SETTINGS settings{programDir, serverDir, version, "prog", key.strSecretFile, {}};
    PUBLISH_REPORT report;
    std::string error;
    ASSERT_TRUE(PublishProgramFolder(settings, report, error)) << error;
}

// Signs the server's list archive again with the real tool, the trusted
// comment carrying `version`.
void ResignList(const std::string& serverDir, const TEST_KEY& key, const std::string& version)
{
    ASSERT_EQ(Shell("minisign -S -s " + Quote(key.strSecretFile) + " -m " + Quote(serverDir + "/UpdateList.xml.zip") +
                    " -t " + Quote("version:" + version) + " >/dev/null"),
              0);
}

// Chooses the four bytes at `at` so that the CRC-32 of `data` becomes
// `target`. The CRC is affine in the data's bits, so the effect of those 32
// bits is a linear map, solved here by elimination.
void ForceCrc(std::string& data, std::size_t at, std::uint32_t target)
{
    auto crcOf = [&] { return static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size()))); };
    for (int i = 0; i < 4; ++i)
        data[at + i] = 0;
    const std::uint32_t base = crcOf();
    std::uint32_t column[32];
    for (int bit = 0; bit < 32; ++bit) {
        data[at + bit / 8] = static_cast<char>(1 << (bit % 8));
        column[bit] = crcOf() ^ base;
        data[at + bit / 8] = 0;
    }
    // Solve sum(x_bit * column[bit]) = target ^ base over GF(2).
    std::uint32_t rows[32];   // row r: the columns' bit r, as a mask over the unknowns
    std::uint32_t rhs = target ^ base;
    for (int r = 0; r < 32; ++r) {
        rows[r] = 0;
        for (int bit = 0; bit < 32; ++bit)
            rows[r] |= ((column[bit] >> r) & 1u) << bit;
    }
    std::uint32_t solution = 0;
    int pivotOf[32];
    for (int col = 0, r = 0; col < 32; ++col) {
        int pivot = -1;
        for (int k = r; k < 32 && pivot < 0; ++k)
            if ((rows[k] >> col) & 1u)
                pivot = k;
        ASSERT_GE(pivot, 0) << "the four bytes do not control the CRC";
        std::swap(rows[r], rows[pivot]);
        const std::uint32_t bitR = (rhs >> r) & 1u, bitP = (rhs >> pivot) & 1u;
        rhs = (rhs & ~((1u << r) | (1u << pivot))) | (bitP << r) | (bitR << pivot);
        for (int k = 0; k < 32; ++k) {
            if (k != r && ((rows[k] >> col) & 1u)) {
                rows[k] ^= rows[r];
                rhs ^= ((rhs >> r) & 1u) << k;
            }
        }
        pivotOf[col] = r++;
    }
    for (int col = 0; col < 32; ++col)
        solution |= ((rhs >> pivotOf[col]) & 1u) << col;
    for (int i = 0; i < 4; ++i)
        data[at + i] = static_cast<char>(solution >> (8 * i));
    ASSERT_EQ(crcOf(), target);
}

std::uint32_t CrcOf(const std::string& data)
{
    return static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

class SignedUpdate : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        keys = new TempFolder;
        genuine = new TEST_KEY(MakeKey(keys->Path(), "genuine"));
        other = new TEST_KEY(MakeKey(keys->Path(), "other"));
    }
    static void TearDownTestSuite()
    {
        delete genuine;
        delete other;
        delete keys;
    }

    void SetUp() override
    {
        WriteFile(src + "/prog", "#!/bin/sh\necho version 2\n", 0755);
        WriteFile(src + "/readme.txt", "version 2\n");
        // Random bytes do not compress: the archive holds them as they are.
        WriteFile(src + "/data/sub/deep.bin", RandomBytes(70000, 2));
        WriteFile(src + "/data/level.bin", RandomBytes(9000, 3));
        PublishSigned(src, srv, "2.0", *genuine);
        WriteFile(prog + "/readme.txt", "version 1\n");
        WriteFile(prog + "/data/level.bin", RandomBytes(9000, 3));  // already current
        installed = ReadTree(prog);
        ASSERT_TRUE(nginx.Start(srv));
    }

    HEADLESS_RESULT Run(const std::string& number = "2.0", const std::string& key = "")
    {
        MakeFolders(down);
        HEADLESS_SETTINGS settings{L"prog", Wide(number), Wide(prog), Wide(down), Wide(nginx.Url()), false, true,
                                   Wide(key.empty() ? genuine->strPublicLine : key)};
        HEADLESS_OPTIONS options;
        options.timeout = std::chrono::seconds(120);
        return RunHeadlessUpdate(settings, options);
    }

    // The installed old version, as before any update.
    void RestoreProgram()
    {
        fs::remove_all(prog);
        for (const auto& [path, contents] : installed)
            WriteFile(prog + "/" + path, contents);
    }

    // A refused update: the text that says so, then CLOSE; nothing installed.
    void ExpectRefused(const HEADLESS_RESULT& result, const char* what)
    {
        ASSERT_TRUE(result.bFinished) << what;
        EXPECT_EQ(result.nOutcome, UPDATE_OUTCOME_UNVERIFIED) << what;
        const auto& m = result.messages;
        ASSERT_GE(m.size(), 2u) << what;
        EXPECT_EQ(m[m.size() - 2].nMessage, static_cast<unsigned>(WM_UPDATE_STATUS)) << what;
        EXPECT_EQ(m[m.size() - 2].strText, kTextUnverified) << what;
        EXPECT_EQ(m.back().nMessage, static_cast<unsigned>(WM_UPDATE_CLOSE)) << what;
        EXPECT_EQ(ReadTree(prog), installed) << what;
    }

    // The archive of deep.bin with 100 bytes of its content replaced and
    // four more chosen so that the unpacked file keeps its CRC-32 and
    // length. The archive stores the bytes as they are, so it keeps its own
    // length and (the CRC being affine) its own CRC-32 as well.
    void SwapDeepArchive()
    {
        const std::string archivePath = srv + "/data/sub/deep.bin.zip";
        const std::string original = ReadFile(archivePath);
        std::string file = ReadFile(src + "/data/sub/deep.bin");
        const std::size_t start = original.find(file.substr(0, 64));
        ASSERT_NE(start, std::string::npos);
        std::string forged = file;
        forged.replace(1000, 100, std::string(100, 'X'));
        ForceCrc(forged, 1100, CrcOf(file));
        std::string archive = original;
        archive.replace(start + 1000, 104, forged.substr(1000, 104));
        ASSERT_EQ(archive.size(), original.size());
        ASSERT_EQ(CrcOf(archive), CrcOf(original));
        WriteFile(archivePath, archive);
        // It unpacks to the forged file, which the CRC check alone accepts.
        TempFolder scratch;
        WriteFile(scratch / "deep.bin.zip", archive);
        ASSERT_TRUE(ExtractArchiveBeside(Wide(scratch / "deep.bin.zip")));
        ASSERT_EQ(ReadFile(scratch / "deep.bin"), forged);
    }

    static TempFolder* keys;
    static TEST_KEY* genuine;
    static TEST_KEY* other;
    TempFolder dir;
    const std::string prog = dir / "prog", down = dir / "down", src = dir / "src", srv = dir / "srv";
    std::map<std::string, std::string> installed;
    Nginx nginx;
};

TempFolder* SignedUpdate::keys = nullptr;
TEST_KEY* SignedUpdate::genuine = nullptr;
TEST_KEY* SignedUpdate::other = nullptr;

TEST_F(SignedUpdate, SignedUpdateInstalls)
{
    const HEADLESS_RESULT result = Run();
    ASSERT_TRUE(result.bFinished);
    EXPECT_EQ(result.nOutcome, UPDATE_OUTCOME_INSTALLED);
    EXPECT_EQ(ReadTree(prog), ReadTree(src));
    EXPECT_EQ(nginx.CountRequests("/UpdateList.xml.zip.minisig"), 1);
    for (const UPDATE_MESSAGE& message : result.messages)
        EXPECT_NE(message.strText, kTextUnverified);
    // Without -key nothing about the signature is even asked for.
    WriteFile(prog + "/readme.txt", "version 1\n");
    MakeFolders(down);
    EXPECT_EQ(RunUpdate(nginx.Url(), prog, down, "2.1").nOutcome, UPDATE_OUTCOME_INSTALLED);
    EXPECT_EQ(nginx.CountRequests("/UpdateList.xml.zip.minisig"), 1);
}

// The control for the swapped archive: an update without -key takes it,
// which is what signing is for.
TEST_F(SignedUpdate, WithoutKeyTheSwappedArchiveIsInstalled)
{
    SwapDeepArchive();
    MakeFolders(down);
    EXPECT_EQ(RunUpdate(nginx.Url(), prog, down, "2.0").nOutcome, UPDATE_OUTCOME_INSTALLED);
    EXPECT_NE(ReadFile(prog + "/data/sub/deep.bin"), ReadFile(src + "/data/sub/deep.bin"));
    EXPECT_EQ(CrcOf(ReadFile(prog + "/data/sub/deep.bin")), CrcOf(ReadFile(src + "/data/sub/deep.bin")));
}

TEST_F(SignedUpdate, EveryForgeryIsRefusedWithNothingInstalled)
{
    const struct {
        const char* what;
        std::function<void()> forge;
        std::string number;
        bool key;  // false: -key is not a public key line
    } cases[] = {
        {"list re-signed with another key", [&] { ResignList(srv, *other, "2.0"); }, "2.0", true},
        {"list archive changed after signing",
         [&] {
             EditServerList(srv, [](CUpdateList& list) {
                 for (CUpdateFile* entry = list.GetFirstFile(); entry; entry = list.GetNextFile())
                     if (std::string(entry->m_szFileName) == "readme.txt")
                         entry->m_nFileLen += 1;
             });
         },
         "2.0", true},
        {"one byte appended to the list archive",
         [&] { WriteFile(srv + "/UpdateList.xml.zip", ReadFile(srv + "/UpdateList.xml.zip") + "x"); },
         "2.0", true},
        {"file archive swapped, same CRC-32 and length", [&] { SwapDeepArchive(); }, "2.0", true},
        {"signature missing", [&] { fs::remove(srv + "/UpdateList.xml.zip.minisig"); }, "2.0", true},
        {"signature truncated",
         [&] {
             const std::string signature = ReadFile(srv + "/UpdateList.xml.zip.minisig");
             WriteFile(srv + "/UpdateList.xml.zip.minisig", signature.substr(0, signature.size() / 2));
         },
         "2.0", true},
        {"signature of another version (an old list replayed)", [] {}, "2.1", true},
        {"trusted comment without a version",
         [&] {
             ASSERT_EQ(Shell("minisign -S -s " + Quote(genuine->strSecretFile) + " -m " +
                             Quote(srv + "/UpdateList.xml.zip") + " >/dev/null"),
                       0);
         },
         "2.0", true},
        // The entry of a file already current, which is never fetched.
        {"an entry without CompressSha256, the list signed",
         [&] {
             EditServerList(srv, [](CUpdateList& list) {
                 for (CUpdateFile* entry = list.GetFirstFile(); entry; entry = list.GetNextFile())
                     if (std::string(entry->m_szFileName) == "level.bin")
                         entry->m_szCompressSha256[0] = '\0';
             });
             ResignList(srv, *genuine, "2.0");
         },
         "2.0", true},
        {"an entry with another archive's digest, the list signed",
         [&] {
             EditServerList(srv, [](CUpdateList& list) {
                 for (CUpdateFile* entry = list.GetFirstFile(); entry; entry = list.GetNextFile())
                     std::snprintf(entry->m_szCompressSha256, sizeof entry->m_szCompressSha256, "%064d", 0);
             });
             ResignList(srv, *genuine, "2.0");
         },
         "2.0", true},
        {"-key that is no public key", [] {}, "2.0", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        PublishSigned(src, srv, "2.0", *genuine);
        c.forge();
        fs::remove_all(down);
        RestoreProgram();
        const HEADLESS_RESULT result = Run(c.number, c.key ? "" : "RWQ-not-a-key");
        ExpectRefused(result, c.what);
    }
}

// The list is unpacked only once its signature checked out; the archives
// only once their digests did.
TEST_F(SignedUpdate, NothingUnverifiedIsUnpacked)
{
    WriteFile(srv + "/UpdateList.xml.zip", ReadFile(srv + "/UpdateList.xml.zip") + "x");
    ExpectRefused(Run(), "changed list");
    EXPECT_TRUE(Exists(down + "/UpdateList.xml.zip"));
    EXPECT_FALSE(Exists(down + "/UpdateList.xml"));

    PublishSigned(src, srv, "2.0", *genuine);
    SwapDeepArchive();
    fs::remove_all(down);
    const HEADLESS_RESULT result = Run();
    ExpectRefused(result, "swapped archive");
    EXPECT_EQ(nginx.CountRequests("/data/sub/deep.bin.zip"), 2);  // two attempts, as for any bad archive
    EXPECT_TRUE(Exists(down + "/data/sub/deep.bin.zip"));
    EXPECT_FALSE(Exists(down + "/data/sub/deep.bin"));
}

// A download that fails leaves the log, the signed list archive and its
// signature in the download folder; the same version resumes from them.
TEST_F(SignedUpdate, ResumedUpdateKeepsAndReverifiesTheSignedList)
{
    fs::rename(srv + "/prog.zip", dir / "prog.zip");
    EXPECT_EQ(Run().nOutcome, UPDATE_OUTCOME_DOWNLOAD_FAILED);
    EXPECT_TRUE(Exists(down + "/UpdateList.xml.zip.minisig"));
    EXPECT_TRUE(Exists(down + "/UpdateLog.xml"));
    fs::rename(dir / "prog.zip", srv + "/prog.zip");

    const HEADLESS_RESULT resumed = Run();
    EXPECT_EQ(resumed.nOutcome, UPDATE_OUTCOME_INSTALLED);
    EXPECT_EQ(nginx.CountRequests("/UpdateList.xml.zip"), 1);
    EXPECT_EQ(nginx.CountRequests("/data/sub/deep.bin.zip"), 1);
    EXPECT_EQ(ReadTree(prog), ReadTree(src));
}

// A log that the signed list kept beside it does not vouch for is
// discarded: the update starts over from the server's signed list, and what
// the log had added or changed is never fetched nor installed. Each forged
// entry is marked fetched, with its forged file in the download folder, so
// that trusting the log would install it.
TEST_F(SignedUpdate, TamperedLogIsDiscardedAndTheUpdateStartsOver)
{
    WriteFile(dir / "evil/readme.txt", "evil\n");
    Publish(dir / "evil", dir / "evilsrv", "2.0");
    const std::string evilArchive = ReadFile(dir / "evilsrv/readme.txt.zip");
    SHA256_DIGEST evilDigest{};
    ASSERT_TRUE(Sha256OfFile(dir / "evilsrv/readme.txt.zip", evilDigest));
    // The readme entry made to describe the evil archive and file.
    auto forge = [&](CUpdateFile& entry, const std::string& name) {
        std::snprintf(entry.m_szFileName, sizeof entry.m_szFileName, "%s", name.c_str());
        entry.m_szFilePath[0] = '\0';
        entry.m_nStatus = UPDATE_FILE_FETCHED;
        entry.m_nFileLen = 5;
        std::snprintf(entry.m_szFileCrc, sizeof entry.m_szFileCrc, "%X", CrcOf("evil\n"));
        entry.m_nCompressLen = static_cast<std::int32_t>(evilArchive.size());
        std::snprintf(entry.m_szCompressSha256, sizeof entry.m_szCompressSha256, "%s", Sha256Hex(evilDigest).c_str());
        WriteFile(down + "/" + name + ".zip", evilArchive);
        WriteFile(down + "/" + name, "evil\n");
    };
    const struct {
        const char* what;
        std::function<void(CUpdateList&)> tamper;
        std::function<void()> alsoInTheFolder;
    } cases[] = {
        {"an entry added", [&](CUpdateList& log) { forge(*log.AddFile(), "evil.sh"); }, {}},
        {"an entry's digests changed",
         [&](CUpdateList& log) {
             for (CUpdateFile* entry = log.GetFirstFile(); entry; entry = log.GetNextFile())
                 if (std::string(entry->m_szFileName) == "readme.txt")
                     forge(*entry, "readme.txt");
         },
         {}},
        {"the kept list archive changed", [](CUpdateList&) {},
         [&] { WriteFile(down + "/UpdateList.xml.zip", ReadFile(down + "/UpdateList.xml.zip") + "x"); }},
        {"the kept signature removed", [](CUpdateList&) {}, [&] { fs::remove(down + "/UpdateList.xml.zip.minisig"); }},
    };
    int listFetches = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(down);
        RestoreProgram();
        fs::rename(srv + "/prog.zip", dir / "prog.zip");
        ASSERT_EQ(Run().nOutcome, UPDATE_OUTCOME_DOWNLOAD_FAILED);
        fs::rename(dir / "prog.zip", srv + "/prog.zip");
        ++listFetches;
        CUpdateList log;
        ASSERT_TRUE(log.Load(Wide(down + "/UpdateLog.xml")));
        c.tamper(log);
        ASSERT_TRUE(log.Save(Wide(down + "/UpdateLog.xml")));
        if (c.alsoInTheFolder)
            c.alsoInTheFolder();
        WriteFile(srv + "/evil.sh.zip", evilArchive);

        const HEADLESS_RESULT result = Run();
        ++listFetches;
        EXPECT_EQ(result.nOutcome, UPDATE_OUTCOME_INSTALLED);
        EXPECT_EQ(nginx.CountRequests("/UpdateList.xml.zip"), listFetches);
        EXPECT_EQ(nginx.CountRequests("/evil.sh.zip"), 0);
        EXPECT_EQ(ReadTree(prog), ReadTree(src));
    }
}

// An archive the log names as fetched is trusted on resumption only while
// it still has its signed digest; otherwise it is fetched again. (A run
// without -key, resuming the same log, would have taken the forged archive
// by its CRC.)
TEST_F(SignedUpdate, FetchedArchiveWithAnotherDigestIsFetchedAgain)
{
    fs::rename(srv + "/prog.zip", dir / "prog.zip");
    ASSERT_EQ(Run().nOutcome, UPDATE_OUTCOME_DOWNLOAD_FAILED);
    fs::rename(dir / "prog.zip", srv + "/prog.zip");
    const int fetchedBefore = nginx.CountRequests("/data/sub/deep.bin.zip");
    // The forged archive and what it unpacks to in the download folder, and
    // the log naming them fetched.
    const std::string genuineArchive = ReadFile(srv + "/data/sub/deep.bin.zip");
    SwapDeepArchive();
    WriteFile(down + "/data/sub/deep.bin.zip", ReadFile(srv + "/data/sub/deep.bin.zip"));
    ASSERT_TRUE(ExtractArchiveBeside(Wide(down + "/data/sub/deep.bin.zip")));
    WriteFile(srv + "/data/sub/deep.bin.zip", genuineArchive);
    CUpdateList log;
    ASSERT_TRUE(log.Load(Wide(down + "/UpdateLog.xml")));
    for (CUpdateFile* entry = log.GetFirstFile(); entry; entry = log.GetNextFile())
        if (std::string(entry->m_szFileName) == "deep.bin")
            entry->m_nStatus = UPDATE_FILE_FETCHED;
    ASSERT_TRUE(log.Save(Wide(down + "/UpdateLog.xml")));

    EXPECT_EQ(Run().nOutcome, UPDATE_OUTCOME_INSTALLED);
    EXPECT_EQ(nginx.CountRequests("/UpdateList.xml.zip"), 1);  // the log was resumed
    EXPECT_EQ(nginx.CountRequests("/data/sub/deep.bin.zip"), fetchedBefore + 1);
    EXPECT_EQ(ReadTree(prog), ReadTree(src));
}

} // namespace
