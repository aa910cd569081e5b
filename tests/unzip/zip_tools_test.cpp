// The zip reader over archives written during the test by real tools:
// Info-ZIP zip, bsdtar (libarchive), Python's zipfile and 7-Zip.
#include "zip_reader.h"

#include <filesystem>
#include <string>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "process.h"
#include "temp_folder.h"
#include "text.h"

namespace fs = std::filesystem;
using namespace test;

namespace {

constexpr uint32_t kNoArchive = 0xFFFFFFFF;

bool HaveTool(const std::string& tool)
{
    return ToolAvailable(tool);
}

std::string Quoted(const fs::path& path)
{
    return "'" + path.string() + "'";
}

// Extracts the first entry; kNoArchive when the archive does not open.
uint32_t Extract(const fs::path& archive, const fs::path& target)
{
    ZIP_READER* reader = OpenZipArchive(AnsiToWide(archive.string()));
    if (!reader)
        return kNoArchive;
    const uint32_t result = ExtractFirstZipEntry(reader, AnsiToWide(target.string()));
    CloseZipArchive(reader);
    return result;
}

// Text that deflates well, with incompressible stretches, over several
// 16 KiB blocks.
std::string SampleData()
{
    std::string s;
    unsigned x = 7;
    for (int i = 0; s.size() < 300000; ++i) {
        x = x * 1664525u + 1013904223u;
        if (i % 50 == 0) {
            for (int k = 0; k < 3000; ++k) {
                x = x * 1664525u + 1013904223u;
                s.push_back(static_cast<char>(x >> 24));
            }
        } else {
            s += "row " + std::to_string(i) + " value " + std::to_string(x % 977) + "\n";
        }
    }
    return s;
}

class ZipToolsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        WriteFile(tmp / "input.bin", SampleData());
        WriteFile(tmp / "empty.bin", "");
        WriteFile(tmp / "prefix.bin", "#!/bin/sh\nexec unzip \"$0\"\n" + std::string(5000, 'P'));
    }

    // Runs a shell command in the temporary folder; false on failure.
    bool Run(const std::string& command)
    {
        PROCESS_OPTIONS quiet;
        quiet.discardOutput = true;
        return RunShell("cd " + Quoted(tmp.Path()) + " && { " + command + "; }", quiet).status == 0;
    }

    TempFolder tmp;
};

struct ToolCase {
    const char* tool;
    const char* command;   // writes a.zip in the temporary folder
    uint32_t expected;
    const char* source;    // the file whose contents the entry holds
    unsigned flags = 0;    // general purpose flags the tool must have set (1 encrypted, 8 descriptor)
};

// The general purpose flags of the archive's first local header.
unsigned FirstLocalFlags(const fs::path& archive)
{
    const std::string bytes = ReadFile(archive);
    const size_t at = bytes.find("PK\x03\x04");
    if (at == std::string::npos || at + 8 > bytes.size())
        return 0;
    return static_cast<unsigned char>(bytes[at + 6]) | (static_cast<unsigned char>(bytes[at + 7]) << 8);
}

TEST_F(ZipToolsTest, ArchivesOfEveryToolExtract)
{
    const ToolCase cases[] = {
        {"zip", "zip -q a.zip input.bin", UNPACK_OK, "input.bin"},
        {"zip", "zip -q -0 a.zip input.bin", UNPACK_OK, "input.bin"},
        {"zip", "zip -q -9 -X a.zip input.bin", UNPACK_OK, "input.bin"},
        {"zip", "zip -q - input.bin | cat > a.zip", UNPACK_OK, "input.bin", 8},        // data descriptor
        {"zip", "cat input.bin | zip -q -fz- | cat > a.zip", UNPACK_OK, "input.bin"},  // from standard input
        {"zip", "zip -q a.zip empty.bin", UNPACK_OK, "empty.bin"},
        {"zip", "zip -q z.zip input.bin && cat prefix.bin z.zip > a.zip", UNPACK_OK, "input.bin"},
        {"zip", "zip -q -z a.zip input.bin < prefix.bin", UNPACK_OK, "input.bin"},     // with a comment
        {"zip", "zip -q -P secret a.zip input.bin", UNPACK_PASSWORD, nullptr, 1},
        {"zip", "zip -q -P secret - input.bin | cat > a.zip", UNPACK_PASSWORD, nullptr, 9},
        {"bsdtar", "bsdtar --format zip -cf a.zip input.bin", UNPACK_OK, "input.bin"},
        {"bsdtar", "bsdtar --format zip --options zip:compression=store -cf a.zip input.bin", UNPACK_OK, "input.bin"},
        {"bsdtar", "bsdtar --format zip -cf a.zip empty.bin", UNPACK_OK, "empty.bin"},
        {"bsdtar", "bsdtar --format zip --options zip:encryption=zipcrypt --passphrase secret -cf a.zip input.bin",
         UNPACK_PASSWORD, nullptr, 9},
        {"python3", "python3 -c \"import zipfile as z; f=z.ZipFile('a.zip','w',z.ZIP_DEFLATED); f.write('input.bin'); f.close()\"",
         UNPACK_OK, "input.bin"},
        {"python3", "python3 -c \"import zipfile as z; f=z.ZipFile('a.zip','w',z.ZIP_STORED); f.write('input.bin'); f.close()\"",
         UNPACK_OK, "input.bin"},
        {"7z", "7z a -tzip a.zip input.bin", UNPACK_OK, "input.bin"},
        {"7z", "7z a -tzip -mx=0 a.zip input.bin", UNPACK_OK, "input.bin"},
        {"7z", "printf '\\n\\n' | 7z a -tzip -p a.zip input.bin", UNPACK_OK, "input.bin", 1},  // empty password
        {"7z", "printf '\\n\\n' | 7z a -tzip -mx=0 -p a.zip input.bin", UNPACK_OK, "input.bin", 1},
        {"7z", "7z a -tzip -psecret a.zip input.bin", UNPACK_PASSWORD, nullptr, 1},
    };
    for (const ToolCase& c : cases) {
        SCOPED_TRACE(c.command);
        if (!HaveTool(c.tool)) {
            ADD_FAILURE() << c.tool << " is not installed";
            continue;
        }
        // A real password is told apart by one check byte only, so about one
        // archive in 256 passes the check with the empty password by chance
        // (and then fails later, in inflate). Each run of the tool draws a new
        // random header: a password case gets three archives to show it.
        uint32_t result = 0;
        for (int attempt = 0; attempt < (c.expected == UNPACK_PASSWORD ? 3 : 1); ++attempt) {
            fs::remove(tmp / "a.zip");
            fs::remove(tmp / "z.zip");
            fs::remove(tmp / "out.bin");
            ASSERT_TRUE(Run(c.command));
            EXPECT_EQ(FirstLocalFlags(tmp / "a.zip") & c.flags, c.flags);
            result = Extract(tmp / "a.zip", tmp / "out.bin");
            if (result == c.expected)
                break;
        }
        EXPECT_EQ(result, c.expected);
        if (c.source) {
            EXPECT_EQ(ReadFile(tmp / "out.bin"), ReadFile(tmp / c.source));
        }
    }
}

// True when the first local header gives its sizes as 0xFFFFFFFF, that is
// in a Zip64 extra field.
bool LocalSizesInZip64(const fs::path& archive)
{
    const std::string bytes = ReadFile(archive);
    const size_t at = bytes.find("PK\x03\x04");
    return at != std::string::npos && at + 26 <= bytes.size() &&
           bytes.compare(at + 18, 8, std::string(8, '\xFF')) == 0;
}

// What Info-ZIP's zip writes for standard input (it cannot know the size in
// advance: Zip64 local headers and a Zip64 end record), and Python's zipfile
// with force_zip64.
TEST_F(ZipToolsTest, Zip64ArchivesOfRealToolsExtract)
{
    const char* const writeZip64 =
        "python3 -c \"import zipfile as z,sys; f=z.ZipFile('a.zip','w',int(sys.argv[2])); "
        "o=f.open(sys.argv[1],'w',force_zip64=True); o.write(open(sys.argv[1],'rb').read()); o.close(); f.close()\" ";
    const ToolCase cases[] = {
        {"zip", "zip -q a.zip - < input.bin", UNPACK_OK, "input.bin"},
        {"zip", "zip -q -0 a.zip - < input.bin", UNPACK_OK, "input.bin"},
        {"zip", "zip -q a.zip - < empty.bin", UNPACK_OK, "empty.bin"},
        {"zip", "zip -q - - < input.bin | cat > a.zip", UNPACK_OK, "input.bin", 8},    // and a data descriptor
        {"zip", "zip -q z.zip - < input.bin && cat prefix.bin z.zip > a.zip", UNPACK_OK, "input.bin"},
        {"python3", "", UNPACK_OK, "input.bin"},
    };
    for (const ToolCase& c : cases) {
        for (int method : {8, 0}) {
            const std::string command = c.command[0] ? std::string(c.command)
                                                     : std::string(writeZip64) + "input.bin " + std::to_string(method);
            if (c.command[0] && method == 0)
                continue;
            SCOPED_TRACE(command);
            fs::remove(tmp / "a.zip");
            fs::remove(tmp / "out.bin");
            ASSERT_TRUE(Run(command));
            EXPECT_TRUE(LocalSizesInZip64(tmp / "a.zip"));
            EXPECT_EQ(FirstLocalFlags(tmp / "a.zip") & c.flags, c.flags);
            EXPECT_EQ(Extract(tmp / "a.zip", tmp / "out.bin"), c.expected);
            EXPECT_EQ(ReadFile(tmp / "out.bin"), ReadFile(tmp / c.source));
        }
    }
}

TEST_F(ZipToolsTest, PermissionsAndTimesSurviveTheRoundTrip)
{
    ASSERT_TRUE(Run("chmod 0750 input.bin && touch -d @1600000000 input.bin"));
    const ToolCase cases[] = {
        {"zip", "zip -q a.zip input.bin", UNPACK_OK, nullptr},      // extended time stamp
        {"bsdtar", "bsdtar --format zip -cf a.zip input.bin", UNPACK_OK, nullptr},
        {"python3", "python3 -c \"import zipfile as z; f=z.ZipFile('a.zip','w'); f.write('input.bin'); f.close()\"",
         UNPACK_OK, nullptr},                                       // DOS time only, in local time
        {"7z", "7z a -tzip a.zip input.bin", UNPACK_OK, nullptr},
    };
    for (const ToolCase& c : cases) {
        SCOPED_TRACE(c.command);
        fs::remove(tmp / "a.zip");
        ASSERT_TRUE(Run(c.command));
        EXPECT_EQ(Extract(tmp / "a.zip", tmp / "bin" / c.tool), UNPACK_OK);
        struct stat st {};
        ASSERT_EQ(stat((tmp / "bin" / c.tool).c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0750u);
        EXPECT_EQ(st.st_mtim.tv_sec, 1600000000);
    }
}

TEST_F(ZipToolsTest, DosHostAttributesAndFolderEntries)
{
    // An entry made on MS-DOS with the read-only attribute.
    ASSERT_TRUE(Run("python3 -c \"import zipfile as z; f=z.ZipFile('dos.zip','w'); i=z.ZipInfo('x.txt',(2021,3,4,5,6,8)); "
                    "i.create_system=0; i.external_attr=0x21; f.writestr(i, b'dos text'); f.close()\""));
    EXPECT_EQ(Extract(tmp / "dos.zip", tmp / "x.txt"), UNPACK_OK);
    struct stat st {};
    ASSERT_EQ(stat((tmp / "x.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0222, 0u);
    EXPECT_EQ(ReadFile(tmp / "x.txt"), "dos text");

    // A first entry that is a folder creates the target as a folder.
    ASSERT_TRUE(Run("mkdir -p tree/inner && cp input.bin tree/inner/ && zip -q -r tree.zip tree"));
    EXPECT_EQ(Extract(tmp / "tree.zip", tmp / "new" / "folder"), UNPACK_OK);
    EXPECT_TRUE(fs::is_directory(tmp / "new" / "folder"));
}

TEST_F(ZipToolsTest, LongestCommentStillOpens)
{
    const char* script =
        "python3 -c \"import zipfile as z,sys; f=z.ZipFile(sys.argv[1],'w'); f.write('input.bin'); "
        "f.comment=b'c'*int(sys.argv[2]); f.close()\" ";
    ASSERT_TRUE(Run(std::string(script) + "ok.zip 65513"));
    ASSERT_TRUE(Run(std::string(script) + "far.zip 65514"));
    EXPECT_EQ(Extract(tmp / "ok.zip", tmp / "ok.bin"), UNPACK_OK);
    EXPECT_EQ(ReadFile(tmp / "ok.bin"), ReadFile(tmp / "input.bin"));
    EXPECT_EQ(Extract(tmp / "far.zip", tmp / "far.bin"), kNoArchive);
}

TEST_F(ZipToolsTest, UpdateListArchiveUnpacksBesideItself)
{
    WriteFile(tmp / "UpdateList.xml", "<?xml version=\"1.0\" encoding=\"gbk\"?><UpdateConfig/>");
    ASSERT_TRUE(Run("zip -q UpdateList.xml.zip UpdateList.xml && mkdir down && mv UpdateList.xml.zip down/"));
    EXPECT_TRUE(ExtractArchiveBeside(AnsiToWide((tmp / "down" / "UpdateList.xml.zip").string())));
    EXPECT_EQ(ReadFile(tmp / "down" / "UpdateList.xml"), ReadFile(tmp / "UpdateList.xml"));
}

}  // namespace
