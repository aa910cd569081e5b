// The publisher, checked with the real zip tools and the list model: the
// server tree it writes is what the worker requests, its archives are valid
// and keep Unix permissions, and its failures are clear.
#include <filesystem>

#include <gtest/gtest.h>

#include "minisign.h"
#include "update_fixture.h"
#include "update_list.h"
#include "zip_reader.h"

using namespace test;

namespace {

// Runs a shell command; what it wrote, and its exit status in `status`.
std::string Shell(const std::string& command, int& status)
{
    const PROCESS_RESULT result = RunShell(command);
    status = result.status;
    return result.output;
}

std::string Quote(const std::string& text)
{
    return "'" + text + "'";
}

TEST(Publisher, WritesTheListAndOneArchivePerFile)
{
    TempFolder dir;
    const std::string src = dir / "src", srv = dir / "srv";
    WriteFile(src + "/run", "#!/bin/sh\n", 0755);
    WriteFile(src + "/a b.txt", "spaced");
    WriteFile(src + "/empty", "");
    WriteFile(src + "/lib/x/deep.bin", RandomBytes(70000, 5));
    int status = 0;
    Shell(Quote(TOVARIN_PUBLISH) + " --quiet --version 9.9 --name prog " + Quote(src) + " " + Quote(srv), status);
    ASSERT_EQ(status, 0);

    // Every archive passes the zip tool's own test and unpacks to the file.
    for (const char* file : {"run", "a b.txt", "empty", "lib/x/deep.bin"}) {
        const std::string name = file;
        const std::string archive = srv + "/" + name + ".zip";
        Shell("unzip -tq " + Quote(archive) + " >/dev/null", status);
        EXPECT_EQ(status, 0) << name;
        EXPECT_EQ(Shell("unzip -p " + Quote(archive), status), ReadFile(src + "/" + name)) << name;
    }
    const std::string info = Shell("zipinfo " + Quote(srv + "/run.zip"), status);
    EXPECT_NE(info.find("-rwxr-xr-x"), std::string::npos) << info;
    EXPECT_NE(info.find(" unx "), std::string::npos) << info;

    // The list, as the worker reads it.
    TempFolder scratch;
    std::filesystem::copy_file(srv + "/UpdateList.xml.zip", scratch / "UpdateList.xml.zip");
    ASSERT_TRUE(ExtractArchiveBeside(Wide(scratch / "UpdateList.xml.zip")));
    CUpdateList list;
    ASSERT_TRUE(list.Load(Wide(scratch / "UpdateList.xml")));
    EXPECT_STREQ(list.m_szVersion, "9.9");
    EXPECT_STREQ(list.m_szName, "prog");
    int entries = 0;
    for (CUpdateFile* entry = list.GetFirstFile(); entry; entry = list.GetNextFile(), ++entries) {
        const std::string name = entry->m_szFileName;
        const std::string folder = entry->m_szFilePath;
        std::string slashed = folder;
        for (char& c : slashed)
            c = c == '\\' ? '/' : c;
        const std::string archive = srv + "/" + (slashed.empty() ? "" : slashed + "/") + name + ".zip";
        EXPECT_EQ(entry->m_nCompressLen, static_cast<std::int32_t>(std::filesystem::file_size(archive))) << name;
        EXPECT_EQ(std::string(entry->m_szCompressName), name + ".zip");
        EXPECT_EQ(entry->m_nCompressType, COMPRESS_ZIP);
        EXPECT_EQ(entry->m_nFileLen, static_cast<std::int32_t>(ReadFile(src + "/" + (slashed.empty() ? "" : slashed + "/") + name).size()));
        if (name == "deep.bin") {
            EXPECT_EQ(folder, "lib\\x");
        }
        if (name == "empty") {
            EXPECT_STREQ(entry->m_szFileCrc, "0");
        }
        for (const char* c = entry->m_szFileCrc; *c; ++c)
            EXPECT_TRUE((*c >= '0' && *c <= '9') || (*c >= 'A' && *c <= 'F')) << entry->m_szFileCrc;
        if (name != "empty") {
            EXPECT_NE(entry->m_szFileCrc[0], '0') << "no leading zeros: " << entry->m_szFileCrc;
        }
        // The archive's SHA-256 as the system's own tool computes it.
        EXPECT_EQ(Shell("sha256sum < " + Quote(archive) + " | cut -d' ' -f1", status),
                  std::string(entry->m_szCompressSha256) + "\n") << name;
    }
    EXPECT_EQ(entries, 4);
    EXPECT_FALSE(Exists(srv + "/UpdateList.xml.zip.minisig"));
}

// Signing with keys of the real minisign tool, checked by that tool: an
// unencrypted key, and an encrypted one whose password comes from standard
// input as minisign reads it when that is not a terminal.
class PublisherSigning : public ::testing::Test {
protected:
    void SetUp() override
    {
        WriteFile(src + "/a.txt", "signed");
        WriteFile(src + "/sub/b.bin", RandomBytes(5000, 8));
        int status = 0;
        Shell("minisign -G -W -p " + Quote(dir / "plain.pub") + " -s " + Quote(dir / "plain.key") + " >/dev/null", status);
        ASSERT_EQ(status, 0);
    }

    // An encrypted key (scrypt with minisign's limits takes seconds).
    void MakeLockedKey()
    {
        int status = 0;
        Shell("printf 'pass word\\npass word\\n' | minisign -G -p " + Quote(dir / "locked.pub") + " -s " +
                  Quote(dir / "locked.key") + " >/dev/null 2>&1",
              status);
        ASSERT_EQ(status, 0);
    }

    // Publishes with --sign; the output of the tool, its status in `status`.
    std::string PublishSigned(const std::string& key, const std::string& input, const std::string& server,
                              int& status, const std::string& version = "4.2")
    {
        return Shell("printf " + Quote(input) + " | " + Quote(TOVARIN_PUBLISH) + " --version " + Quote(version) +
                         " --sign " + Quote(key) + " " + Quote(src) + " " + Quote(server) + " 2>&1",
                     status);
    }

    // minisign -V over the server's list, with the public key file given.
    std::string MinisignVerify(const std::string& server, const std::string& pub, int& status)
    {
        return Shell("minisign -V -p " + Quote(pub) + " -m " + Quote(server + "/UpdateList.xml.zip") + " 2>&1", status);
    }

    TempFolder dir;
    const std::string src = dir / "src";
};

TEST_F(PublisherSigning, MinisignVerifiesWhatThePublisherSigned)
{
    MakeLockedKey();
    for (const char* name : {"plain", "locked"}) {
        SCOPED_TRACE(name);
        const std::string server = dir / (std::string("srv-") + name);
        int status = 0;
        const std::string output = PublishSigned(dir / (std::string(name) + ".key"), "pass word\n", server, status);
        ASSERT_EQ(status, 0) << output;
        // The updater's -key is the public key file's second line.
        const std::string pub = ReadFile(dir / (std::string(name) + ".pub"));
        const std::string line = pub.substr(pub.find('\n') + 1, 56);
        EXPECT_NE(output.find("-key is " + line), std::string::npos) << output;
        const std::string verified = MinisignVerify(server, dir / (std::string(name) + ".pub"), status);
        EXPECT_EQ(status, 0) << verified;
        EXPECT_NE(verified.find("Trusted comment: timestamp:"), std::string::npos) << verified;
        EXPECT_NE(verified.find("\tfile:UpdateList.xml.zip\tversion:4.2\n"), std::string::npos) << verified;
        // A signature of the other key does not pass.
        MinisignVerify(server, dir / (std::string(name) == "plain" ? "locked.pub" : "plain.pub"), status);
        EXPECT_NE(status, 0);
    }
}

TEST_F(PublisherSigning, RefusesBeforeWritingAnything)
{
    MakeLockedKey();
    WriteFile(dir / "garbage.key", "untrusted comment: x\nnot a key\n");
    const struct {
        const char* what;
        std::string key;
        std::string input;
        std::string version;
        const char* message;
    } cases[] = {
        {"wrong password", dir / "locked.key", "wrong\n", "4.2", "wrong password"},
        {"no password at all", dir / "locked.key", "", "4.2", "no password"},
        {"not a key", dir / "garbage.key", "", "4.2", "not a minisign secret key"},
        {"public key given", dir / "plain.pub", "", "4.2", "not a minisign secret key"},
        {"missing key", dir / "missing.key", "", "4.2", "cannot read"},
        {"no version", dir / "plain.key", "", "", "--version"},
        {"tab in the version", dir / "plain.key", "", "4\t2", "--version"},
    };
    for (const auto& c : cases) {
        const std::string server = dir / "srv";
        int status = 0;
        const std::string output = PublishSigned(c.key, c.input, server, status, c.version);
        EXPECT_EQ(status, 1) << c.what;
        EXPECT_NE(output.find(c.message), std::string::npos) << c.what << ": " << output;
        EXPECT_FALSE(Exists(server)) << c.what;
    }
}

// A list published again without signing loses the signature it had: it
// would not match the new list.
TEST_F(PublisherSigning, UnsignedPublishRemovesAnOldSignature)
{
    const std::string server = dir / "srv";
    int status = 0;
    PublishSigned(dir / "plain.key", "", server, status);
    ASSERT_EQ(status, 0);
    ASSERT_TRUE(Exists(server + "/UpdateList.xml.zip.minisig"));
    Shell(Quote(TOVARIN_PUBLISH) + " --quiet --version 4.3 " + Quote(src) + " " + Quote(server), status);
    ASSERT_EQ(status, 0);
    EXPECT_FALSE(Exists(server + "/UpdateList.xml.zip.minisig"));
}

// What the real minisign signs over a list archive, in both its forms,
// verifies with the updater's library; minisign's own default trusted
// comment carries no version.
TEST_F(PublisherSigning, TheUpdaterVerifiesWhatMinisignSigned)
{
    const std::string server = dir / "srv";
    Publish(src, server, "4.2");
    const std::string archive = server + "/UpdateList.xml.zip";
    const std::string pub = ReadFile(dir / "plain.pub");
    MINISIGN_PUBLIC_KEY key;
    ASSERT_TRUE(ParseMinisignPublicKeyFile(pub, key));
    for (const char* form : {"", "-l"}) {
        SCOPED_TRACE(form);
        int status = 0;
        Shell(std::string("minisign -S ") + form + " -s " + Quote(dir / "plain.key") + " -m " + Quote(archive) +
                  " -t 'version:4.2' >/dev/null",
              status);
        ASSERT_EQ(status, 0);
        MINISIGN_SIGNATURE signature;
        ASSERT_EQ(ReadMinisignSignature(archive + ".minisig", signature), MINISIGN_RESULT::Ok);
        EXPECT_EQ(signature.bPrehashed, std::string(form).empty());
        EXPECT_EQ(VerifyMinisignFile(key, signature, archive), MINISIGN_RESULT::Ok);
        std::string version;
        EXPECT_TRUE(FindTrustedCommentField(signature.strTrustedComment, "version", version));
        EXPECT_EQ(version, "4.2");
    }
    int status = 0;
    Shell("minisign -S -s " + Quote(dir / "plain.key") + " -m " + Quote(archive) + " >/dev/null", status);
    MINISIGN_SIGNATURE signature;
    ASSERT_EQ(ReadMinisignSignature(archive + ".minisig", signature), MINISIGN_RESULT::Ok);
    EXPECT_EQ(VerifyMinisignFile(key, signature, archive), MINISIGN_RESULT::Ok);
    std::string version;
    EXPECT_FALSE(FindTrustedCommentField(signature.strTrustedComment, "version", version));
}

TEST(Publisher, HelpAndFailures)
{
    TempFolder dir;
    int status = 0;
    const std::string help = Shell(Quote(TOVARIN_PUBLISH) + " --help", status);
    EXPECT_EQ(status, 0);
    EXPECT_NE(help.find("usage:"), std::string::npos);

    struct { std::string arguments; std::string message; } cases[] = {
        {Quote(dir / "missing") + " " + Quote(dir / "srv"), "not a folder"},
        {"", "usage:"},
        {"--bogus a b", "unknown option"},
        {"--version " + std::string(40, 'v') + " " + Quote(dir.Path()) + " " + Quote(dir / "srv"), "version longer"},
    };
    for (const auto& c : cases) {
        const std::string errors = Shell(Quote(TOVARIN_PUBLISH) + " " + c.arguments + " 2>&1 >/dev/null", status);
        EXPECT_NE(status, 0) << c.arguments;
        EXPECT_NE(errors.find(c.message), std::string::npos) << errors;
    }
    WriteFile(dir / "bad/a\\b", "x");
    const std::string errors = Shell(Quote(TOVARIN_PUBLISH) + " " + Quote(dir / "bad") + " " + Quote(dir / "srv2") + " 2>&1", status);
    EXPECT_NE(status, 0);
    EXPECT_NE(errors.find("backslash"), std::string::npos) << errors;
}

} // namespace
