// The publisher, checked with the real zip tools and the list model: the
// server tree it writes is what the worker requests, its archives are valid
// and keep Unix permissions, and its failures are clear.
#include <filesystem>

#include <gtest/gtest.h>

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
    }
    EXPECT_EQ(entries, 4);
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
