#include <cctype>
#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <tinyxml.h>

#include "temp_folder.h"
#include "update_list.h"

namespace fs = std::filesystem;

namespace {

// A folder of its own for each test, removed afterwards.
class UpdateListTest : public ::testing::Test {
protected:
    std::wstring PathOf(const char* name) const { return (dir_ / name).wstring(); }

    std::wstring WriteFile(const std::string& bytes, const char* name = "list.xml") const
    {
        std::ofstream(dir_ / name, std::ios::binary) << bytes;
        return PathOf(name);
    }

    static std::string ReadFile(const std::wstring& path)
    {
        std::ifstream in(fs::path(path), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    test::TempFolder folder_;
    const fs::path& dir_ = folder_.Path();
};

using Changes = std::initializer_list<std::pair<const char*, std::optional<std::string>>>;

// One File element: a complete valid entry with the given children replaced
// (nullopt drops the child, a text is inserted as raw XML), plus extra raw XML
// inside the element and attributes on it.
std::string Entry(Changes changes = {}, const std::string& attrs = "", const std::string& extra = "")
{
    std::vector<std::pair<std::string, std::optional<std::string>>> children = {
        {"FileName", "a.dll"}, {"FilePath", ""}, {"FileCrc", "1A2B"}, {"FileLen", "10"},
        {"CompressType", "zip"}, {"CompressName", "a.dll.zip"}, {"CompressPath", ""},
        {"CompressCrc", "3C4D"}, {"CompressLen", "5"}};
    for (const auto& [name, text] : changes) {
        bool found = false;
        for (auto& child : children) {
            if (child.first == name) {
                child.second = text;
                found = true;
            }
        }
        if (!found)
            children.emplace_back(name, text);
    }
    std::string xml = "<File" + attrs + ">";
    for (const auto& [name, text] : children) {
        if (text)
            xml += "<" + name + ">" + *text + "</" + name + ">";
    }
    return xml + extra + "</File>";
}

std::string Doc(const std::string& softwareBody, const std::string& softwareAttrs = "")
{
    return "<?xml version=\"1.0\" encoding=\"gbk\" standalone=\"yes\" ?>\n<UpdateConfig version=\"1.0\">"
           "<Software" + softwareAttrs + ">" + softwareBody + "</Software></UpdateConfig>\n";
}

struct LoadCase {
    const char* label;
    std::string bytes;
    bool ok;
    size_t entries;
};

TEST_F(UpdateListTest, LoadAcceptsOrRefusesDocuments)
{
    const std::string s260(260, 'n'), s261(261, 'n');
    const LoadCase cases[] = {
        {"no File child", Doc(""), true, 0},
        {"two entries", Doc(Entry() + Entry({{"FileName", "b.dll"}})), true, 2},
        {"root of any name", "<Other><Software>" + Entry() + "</Software></Other>", true, 1},
        {"no declaration", "<R><Software/></R>", true, 0},
        {"other element before first File", Doc("<Note>x</Note>" + Entry()), true, 1},
        {"other element after first File", Doc(Entry() + "<Note>x</Note>"), false, 0},
        {"first Software chosen", "<R><Software/><Software>" + Entry() + "</Software></R>", true, 0},
        {"empty file", "", false, 0},
        {"malformed", "<R><Software>" + Entry() + "</R>", false, 0},
        {"declaration only", "<?xml version=\"1.0\" ?>", false, 0},
        {"comment only", "<!-- x -->", false, 0},
        {"no Software", "<R><File/></R>", false, 0},
        {"Software not under root", "<Software/>", false, 0},
        {"missing FileName", Doc(Entry({{"FileName", std::nullopt}})), false, 0},
        {"empty FileName", Doc(Entry({{"FileName", ""}})), false, 0},
        {"blank FileName", Doc(Entry({{"FileName", "  \n "}})), false, 0},
        {"FileName starts with an element", Doc(Entry({{"FileName", "<b/>x"}})), false, 0},
        {"missing FileCrc", Doc(Entry({{"FileCrc", std::nullopt}})), false, 0},
        {"missing FileLen", Doc(Entry({{"FileLen", std::nullopt}})), false, 0},
        {"FileLen without text", Doc(Entry({{"FileLen", ""}})), false, 0},
        {"missing CompressType", Doc(Entry({{"CompressType", std::nullopt}})), false, 0},
        {"CompressType without text", Doc(Entry({{"CompressType", ""}})), true, 1},
        {"missing CompressName", Doc(Entry({{"CompressName", std::nullopt}})), false, 0},
        {"missing CompressCrc", Doc(Entry({{"CompressCrc", std::nullopt}})), false, 0},
        {"missing CompressLen", Doc(Entry({{"CompressLen", std::nullopt}})), false, 0},
        {"missing FilePath", Doc(Entry({{"FilePath", std::nullopt}})), true, 1},
        {"missing CompressPath", Doc(Entry({{"CompressPath", std::nullopt}})), true, 1},
        {"FileName 260 bytes", Doc(Entry({{"FileName", s260}})), true, 1},
        {"FileName 261 bytes", Doc(Entry({{"FileName", s261}})), false, 0},
        {"FilePath 260 bytes", Doc(Entry({{"FilePath", s260}})), true, 1},
        {"FilePath 261 bytes", Doc(Entry({{"FilePath", s261}})), false, 0},
        {"CompressName 261 bytes", Doc(Entry({{"CompressName", s261}})), false, 0},
        {"CompressPath 261 bytes", Doc(Entry({{"CompressPath", s261}})), false, 0},
        {"FileCrc 16 bytes", Doc(Entry({{"FileCrc", std::string(16, 'F')}})), true, 1},
        {"FileCrc 17 bytes", Doc(Entry({{"FileCrc", std::string(17, 'F')}})), false, 0},
        {"CompressCrc 17 bytes", Doc(Entry({{"CompressCrc", std::string(17, 'F')}})), false, 0},
        {"Command 500 bytes", Doc(Entry({{"Command", std::string(500, 'c')}})), true, 1},
        {"Command 501 bytes", Doc(Entry({{"Command", std::string(501, 'c')}})), false, 0},
        {"FileName 260 bytes of entity", Doc(Entry({{"FileName", std::string(259, 'n') + "&amp;"}})), true, 1},
        {"name 32 bytes", Doc("", " name=\"" + std::string(32, 'n') + "\""), true, 0},
        {"name 33 bytes", Doc("", " name=\"" + std::string(33, 'n') + "\""), false, 0},
        {"version 33 bytes", Doc("", " version=\"" + std::string(33, 'v') + "\""), false, 0},
        {"prog 260 bytes", Doc("", " prog=\"" + s260 + "\""), true, 0},
        {"prog 261 bytes", Doc("", " prog=\"" + s261 + "\""), false, 0},
        {"down 261 bytes", Doc("", " down=\"" + s261 + "\""), false, 0},
        {"url 500 bytes", Doc("", " url=\"" + std::string(500, 'u') + "\""), true, 0},
        {"url 501 bytes", Doc("", " url=\"" + std::string(501, 'u') + "\""), false, 0},
        {"binary garbage", std::string("\x00\xff\xfe<\x01", 5), false, 0},
    };
    for (const LoadCase& c : cases) {
        SCOPED_TRACE(c.label);
        CUpdateList list;
        EXPECT_EQ(list.Load(WriteFile(c.bytes)), c.ok);
        EXPECT_EQ(list.m_setFiles.size(), c.entries);
    }
}

TEST_F(UpdateListTest, LoadReadsEveryValue)
{
    const std::string xml = Doc(
        Entry({{"FileName", "中文 名字.dll"}, {"FilePath", "sub\\dir"}, {"FileCrc", "89ABCDEF"},
                  {"FileLen", "123456"}, {"CompressName", "c&amp;n"}, {"CompressPath", "cp"},
                  {"CompressCrc", "77"}, {"CompressLen", "9"}, {"Command", "run &lt;x&gt;"}},
            " status=\"1\""),
        " name=\"程序\" version=\"2.0\" prog=\"C:\\p\" down=\"D:\\d\" url=\"http://h/u?a=1&amp;b\" status=\"-4\"");
    CUpdateList list;
    ASSERT_TRUE(list.Load(WriteFile(xml)));
    EXPECT_EQ(list.m_nStatus, -4);
    EXPECT_STREQ(list.m_szName, "程序");
    EXPECT_STREQ(list.m_szVersion, "2.0");
    EXPECT_STREQ(list.m_szProg, "C:\\p");
    EXPECT_STREQ(list.m_szDown, "D:\\d");
    EXPECT_STREQ(list.m_szUrl, "http://h/u?a=1&b");
    ASSERT_EQ(list.m_setFiles.size(), 1u);
    const CUpdateFile* f = *list.m_setFiles.begin();
    EXPECT_EQ(f->m_pOwner, &list);
    EXPECT_EQ(f->m_nStatus, UPDATE_FILE_FETCHED);
    EXPECT_STREQ(f->m_szFileName, "中文 名字.dll");
    EXPECT_STREQ(f->m_szFilePath, "sub\\dir");
    EXPECT_STREQ(f->m_szFileCrc, "89ABCDEF");
    EXPECT_EQ(f->m_nFileLen, 123456);
    EXPECT_EQ(f->m_nCompressType, COMPRESS_ZIP);
    EXPECT_STREQ(f->m_szCompressName, "c&n");
    EXPECT_STREQ(f->m_szCompressPath, "cp");
    EXPECT_STREQ(f->m_szCompressCrc, "77");
    EXPECT_EQ(f->m_nCompressLen, 9);
    EXPECT_STREQ(f->m_szCommand, "run <x>");
}

TEST_F(UpdateListTest, StatusTextsUseStrtolRulesAndSaturate)
{
    const struct {
        const char* text;
        int value;
    } cases[] = {
        {"12abc", 12}, {"abc", 0}, {" -5", -5}, {"\t\n+7", 7}, {"007", 7}, {"0x1F", 0},
        {"2147483647", INT32_MAX}, {"2147483648", INT32_MAX}, {"99999999999999999999999", INT32_MAX},
        {"-2147483648", INT32_MIN}, {"-2147483649", INT32_MIN}, {"-99999999999999999999999", INT32_MIN},
        {"- 5", 0}, {"1e3", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        CUpdateList list;
        ASSERT_TRUE(list.Load(WriteFile(Doc(Entry({}, std::string(" status=\"") + c.text + "\""),
            std::string(" status=\"") + c.text + "\""))));
        ASSERT_EQ(list.m_setFiles.size(), 1u);
        const CUpdateFile* f = *list.m_setFiles.begin();
        EXPECT_EQ(f->m_nStatus, c.value);
        EXPECT_EQ(list.m_nStatus, c.value);
    }
}

// Lengths are byte counts of 64 bits: files over 2 GiB and 4 GiB read, save
// and read back exactly; a text that is not a count of bytes refuses the list.
TEST_F(UpdateListTest, LengthTextsAre64BitCountsOrRefuseTheList)
{
    const struct {
        const char* text;
        bool ok;
        long long value;
    } cases[] = {
        {"0", true, 0}, {"007", true, 7}, {"2147483648", true, 2147483648LL},
        {"4294967296", true, 4294967296LL}, {"4294967301", true, 4294967301LL},
        {"9223372036854775807", true, INT64_MAX}, {"\n 12 \t", true, 12},
        {"9223372036854775808", false, 0}, {"99999999999999999999999", false, 0},
        {"-5", false, 0}, {"-0", false, 0}, {"+7", false, 0}, {"12abc", false, 0}, {"abc", false, 0},
        {"0x1F", false, 0}, {"1e3", false, 0}, {"1 2", false, 0}, {"1.5", false, 0}, {" ", false, 0},
    };
    for (const char* field : {"FileLen", "CompressLen"}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(field) + " " + c.text);
            CUpdateList list;
            ASSERT_EQ(list.Load(WriteFile(Doc(Entry() + Entry({{"FileName", "b"}, {field, c.text}})))), c.ok);
            if (!c.ok) {
                EXPECT_TRUE(list.m_setFiles.empty());
                continue;
            }
            CUpdateFile* f = nullptr;
            for (CUpdateFile* e : list.m_setFiles)
                if (std::strcmp(e->m_szFileName, "b") == 0)
                    f = e;
            ASSERT_NE(f, nullptr);
            EXPECT_EQ(std::strcmp(field, "FileLen") == 0 ? f->m_nFileLen : f->m_nCompressLen, c.value);
            ASSERT_TRUE(list.Save(PathOf("saved.xml")));
            CUpdateList back;
            ASSERT_TRUE(back.Load(PathOf("saved.xml")));
            for (const CUpdateFile* e : back.m_setFiles) {
                if (std::strcmp(e->m_szFileName, "b") == 0) {
                    EXPECT_EQ(e->m_nFileLen, f->m_nFileLen);
                    EXPECT_EQ(e->m_nCompressLen, f->m_nCompressLen);
                }
            }
        }
    }
}

TEST_F(UpdateListTest, OptionalChildrenAndOverrides)
{
    const struct {
        const char* label;
        std::string entry;
        int status;
        int compressType;
        const char* filePath;
        const char* command;
    } cases[] = {
        {"status child overrides attribute", Entry({{"status", "1"}}, " status=\"7\""), 1, COMPRESS_ZIP, "", ""},
        {"status child without text keeps attribute", Entry({{"status", ""}}, " status=\"7\""), 7, COMPRESS_ZIP, "", ""},
        {"ZIP in capitals", Entry({{"CompressType", "ZIP"}}), 0, 0, "", ""},
        {"blanks around zip are dropped by the parser", Entry({{"CompressType", " zip "}}), 0, COMPRESS_ZIP, "", ""},
        {"other type", Entry({{"CompressType", "rar"}}), 0, 0, "", ""},
        {"empty FilePath", Entry({{"FilePath", ""}}), 0, COMPRESS_ZIP, "", ""},
        {"FilePath starting with an element", Entry({{"FilePath", "<x/>p"}}), 0, COMPRESS_ZIP, "", ""},
        {"Command", Entry({{"Command", "go"}}), 0, COMPRESS_ZIP, "", "go"},
        {"CDATA text", Entry({{"Command", "<![CDATA[a<b]]>"}}), 0, COMPRESS_ZIP, "", "a<b"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        CUpdateList list;
        ASSERT_TRUE(list.Load(WriteFile(Doc(c.entry))));
        ASSERT_EQ(list.m_setFiles.size(), 1u);
        const CUpdateFile* f = *list.m_setFiles.begin();
        EXPECT_EQ(f->m_nStatus, c.status);
        EXPECT_EQ(f->m_nCompressType, c.compressType);
        EXPECT_STREQ(f->m_szFilePath, c.filePath);
        EXPECT_STREQ(f->m_szCommand, c.command);
    }
}

// CompressSha256 is optional; when it has a text, that text is the digest in
// exactly the form the publisher writes, or the list is refused.
TEST_F(UpdateListTest, CompressSha256IsOptionalButStrict)
{
    const std::string digest = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";
    std::string upper = digest;
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const struct {
        const char* label;
        std::optional<std::string> text;
        bool ok;
        std::string value;
    } cases[] = {
        {"absent", std::nullopt, true, ""},
        {"empty", "", true, ""},
        {"64 lowercase digits", digest, true, digest},
        {"blanks around it are dropped by the parser", " " + digest + "\n", true, digest},
        {"upper case", upper, false, ""},
        {"63 digits", digest.substr(1), false, ""},
        {"65 digits", digest + "0", false, ""},
        {"not hex", digest.substr(0, 63) + "g", false, ""},
        {"inner blank", digest.substr(0, 30) + " " + digest.substr(31), false, ""},
        {"element inside", "<x/>", true, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        CUpdateList list;
        const std::string entry = c.text ? Entry({{"CompressSha256", *c.text}}) : Entry();
        ASSERT_EQ(list.Load(WriteFile(Doc(Entry({{"FileName", "other"}}) + entry))), c.ok);
        ASSERT_EQ(list.m_setFiles.size(), c.ok ? 2u : 0u);
        for (const CUpdateFile* f : list.m_setFiles) {
            if (std::string(f->m_szFileName) == "a.dll") {
                EXPECT_EQ(f->m_szCompressSha256, c.value);
            }
        }
    }
}

// Load adds to what the list holds; a failure before the entries leaves the
// list as it was, a failure among them empties it.
TEST_F(UpdateListTest, LoadMergesKeepsOrEmpties)
{
    auto prepare = [](CUpdateList& list) {
        list.Clear();
        std::strcpy(list.m_szName, "old");
        std::strcpy(list.m_szUrl, "old-url");
        list.SetVersion("1.0");
        list.m_nStatus = 9;
        std::strcpy(list.AddFile()->m_szFileName, "held.dll");
    };
    CUpdateList list;

    prepare(list);
    ASSERT_TRUE(list.Load(WriteFile(Doc(Entry(), " version=\"2.0\""))));
    EXPECT_STREQ(list.m_szName, "old");
    EXPECT_STREQ(list.m_szUrl, "old-url");
    EXPECT_STREQ(list.m_szVersion, "2.0");
    EXPECT_EQ(list.m_nStatus, 9);
    EXPECT_EQ(list.m_setFiles.size(), 2u);

    const std::string refusedBeforeEntries[] = {
        "", "<R>", "<R/>", Doc(Entry(), " name=\"" + std::string(33, 'x') + "\" version=\"3.0\""),
        Doc(Entry(), " version=\"3.0\" url=\"" + std::string(501, 'x') + "\""),
    };
    for (const std::string& bytes : refusedBeforeEntries) {
        SCOPED_TRACE(bytes.substr(0, 80));
        prepare(list);
        EXPECT_FALSE(list.Load(WriteFile(bytes)));
        EXPECT_STREQ(list.m_szName, "old");
        EXPECT_STREQ(list.m_szVersion, "1.0");
        EXPECT_EQ(list.m_nStatus, 9);
        ASSERT_EQ(list.m_setFiles.size(), 1u);
        EXPECT_STREQ((*list.m_setFiles.begin())->m_szFileName, "held.dll");
    }

    prepare(list);
    EXPECT_FALSE(list.Load(PathOf("missing.xml")));
    EXPECT_FALSE(list.Load(dir_.wstring()));  // a folder
    EXPECT_FALSE(list.Load(std::wstring(1, static_cast<wchar_t>(0xD800))));
    EXPECT_EQ(list.m_setFiles.size(), 1u);
    EXPECT_STREQ(list.m_szName, "old");

    prepare(list);
    EXPECT_FALSE(list.Load(WriteFile(Doc(Entry() + Entry({{"FileCrc", std::nullopt}}), " name=\"new\""))));
    EXPECT_TRUE(list.m_setFiles.empty());
    EXPECT_STREQ(list.m_szName, "");
    EXPECT_STREQ(list.m_szVersion, "");
    EXPECT_EQ(list.m_nStatus, 0);
    EXPECT_EQ(list.GetFirstFile(), nullptr);
}

TEST_F(UpdateListTest, SaveWritesTheExactShape)
{
    CUpdateList list;
    std::strcpy(list.m_szName, "Prog");
    list.SetVersion("2.1");
    std::strcpy(list.m_szProg, "C:\\p");
    std::strcpy(list.m_szDown, "D:\\d");
    std::strcpy(list.m_szUrl, "http://h/u?a=1&b=\"2\"");
    list.m_nStatus = 3;
    CUpdateFile* f = list.AddFile();
    f->m_nStatus = UPDATE_FILE_FETCHED;
    std::strcpy(f->m_szFileName, "中文<1>.dll");
    std::strcpy(f->m_szFileCrc, "1A2B");
    f->m_nFileLen = -12;
    f->m_nCompressType = 0;  // "zip" is written whatever the field holds
    std::strcpy(f->m_szCompressName, "n");
    std::strcpy(f->m_szCompressPath, "sub\\dir");
    std::strcpy(f->m_szCompressCrc, "FF");
    f->m_nCompressLen = INT32_MIN;
    std::strcpy(f->m_szCommand, "x & y");
    std::strcpy(f->m_szCompressSha256, std::string(64, 'e').c_str());
    ASSERT_TRUE(list.Save(PathOf("out.xml")));
    EXPECT_EQ(ReadFile(PathOf("out.xml")),
        "<?xml version=\"1.0\" encoding=\"gbk\" standalone=\"yes\" ?>\n"
        "<UpdateConfig version=\"1.0\">\n"
        "    <Software name=\"Prog\" version=\"2.1\" prog=\"C:\\p\" down=\"D:\\d\" "
        "url='http://h/u?a=1&amp;b=&quot;2&quot;' status=\"3\">\n"  // TinyXML's quoting
        "        <File status=\"1\">\n"
        "            <FileName>中文&lt;1&gt;.dll</FileName>\n"
        "            <FilePath></FilePath>\n"
        "            <FileCrc>1A2B</FileCrc>\n"
        "            <FileLen>-12</FileLen>\n"
        "            <CompressType>zip</CompressType>\n"
        "            <CompressName>n</CompressName>\n"
        "            <CompressPath>sub\\dir</CompressPath>\n"
        "            <CompressCrc>FF</CompressCrc>\n"
        "            <CompressLen>-2147483648</CompressLen>\n"
        "            <Command>x &amp; y</Command>\n"
        "            <CompressSha256>" + std::string(64, 'e') + "</CompressSha256>\n"
        "        </File>\n"
        "    </Software>\n"
        "</UpdateConfig>\n");
}

TEST_F(UpdateListTest, SaveOmitsEmptyValues)
{
    CUpdateList list;
    ASSERT_TRUE(list.Save(PathOf("empty.xml")));
    EXPECT_EQ(ReadFile(PathOf("empty.xml")),
        "<?xml version=\"1.0\" encoding=\"gbk\" standalone=\"yes\" ?>\n"
        "<UpdateConfig version=\"1.0\">\n"
        "    <Software />\n"
        "</UpdateConfig>\n");

    std::strcpy(list.m_szUrl, "u");
    list.AddFile();  // status 0, empty Command
    ASSERT_TRUE(list.Save(PathOf("one.xml")));
    const std::string text = ReadFile(PathOf("one.xml"));
    EXPECT_NE(text.find("<Software url=\"u\">"), std::string::npos);
    EXPECT_NE(text.find("<File>"), std::string::npos);
    EXPECT_EQ(text.find("status"), std::string::npos);
    EXPECT_EQ(text.find("Command"), std::string::npos);
    EXPECT_EQ(text.find("CompressSha256"), std::string::npos);
    EXPECT_NE(text.find("<CompressType>zip</CompressType>"), std::string::npos);
}

TEST_F(UpdateListTest, SaveReportsFilesThatCannotBeWritten)
{
    CUpdateList list;
    std::strcpy(list.AddFile()->m_szFileName, "a");
    EXPECT_FALSE(list.Save(dir_.wstring()));  // a folder
    EXPECT_FALSE(list.Save(PathOf("no/such/folder/x.xml")));
    EXPECT_FALSE(list.Save(std::wstring(L"bad") + static_cast<wchar_t>(0xDFFF)));
    // The device accepts the open and fails the flush, as a full disk does.
    if (fs::exists("/dev/full")) {
        EXPECT_FALSE(list.Save(L"/dev/full"));
    }
    EXPECT_EQ(list.m_setFiles.size(), 1u);
}

void ExpectSameEntry(const CUpdateFile& a, const CUpdateFile& b)
{
    EXPECT_EQ(a.m_nStatus, b.m_nStatus);
    EXPECT_EQ(a.m_nFileLen, b.m_nFileLen);
    EXPECT_STREQ(a.m_szFileCrc, b.m_szFileCrc);
    EXPECT_STREQ(a.m_szFilePath, b.m_szFilePath);
    EXPECT_EQ(b.m_nCompressType, COMPRESS_ZIP);
    EXPECT_EQ(a.m_nCompressLen, b.m_nCompressLen);
    EXPECT_STREQ(a.m_szCompressCrc, b.m_szCompressCrc);
    EXPECT_STREQ(a.m_szCompressName, b.m_szCompressName);
    EXPECT_STREQ(a.m_szCompressPath, b.m_szCompressPath);
    EXPECT_STREQ(a.m_szCommand, b.m_szCommand);
    EXPECT_STREQ(a.m_szCompressSha256, b.m_szCompressSha256);
}

TEST_F(UpdateListTest, SaveThenLoadRoundTrips)
{
    CUpdateList list;
    std::strcpy(list.m_szName, "更新程序 & <co>");
    ASSERT_TRUE(list.SetVersion(std::string(32, '9').c_str()));
    std::strcpy(list.m_szProg, std::string(260, 'p').c_str());
    std::strcpy(list.m_szDown, "D:\\下载\\'q'\"");
    std::strcpy(list.m_szUrl, std::string(500, 'u').c_str());
    list.m_nStatus = INT32_MIN;
    const char* names[] = {"中文名字.dll", "a&b<c>\"d\"'e'.txt", "&#x41;.txt", "tab\there", "x"};
    for (const char* name : names) {
        CUpdateFile* f = list.AddFile();
        std::strcpy(f->m_szFileName, name);
        std::strcpy(f->m_szFilePath, "子目录\\深");
        std::strcpy(f->m_szFileCrc, "FFFFFFFFFFFFFFFF");
        f->m_nFileLen = INT64_MAX;
        f->m_nCompressType = COMPRESS_ZIP;
        f->m_nCompressLen = 5000000000LL;
        f->m_nStatus = UPDATE_FILE_FETCHED;
        std::strcpy(f->m_szCompressCrc, "0");
        std::strcpy(f->m_szCompressName, std::string(260, 'c').c_str());
        std::strcpy(f->m_szCompressPath, "");
        std::strcpy(f->m_szCommand, std::string(500, 'm').c_str());
        std::strcpy(f->m_szCompressSha256, "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef");
    }
    CUpdateFile* plain = list.AddFile();
    std::strcpy(plain->m_szFileName, "plain");
    std::strcpy(plain->m_szFileCrc, "1");
    std::strcpy(plain->m_szCompressName, "plain.zip");
    std::strcpy(plain->m_szCompressCrc, "2");

    ASSERT_TRUE(list.Save(PathOf("rt.xml")));
    CUpdateList back;
    ASSERT_TRUE(back.Load(PathOf("rt.xml"))) << ReadFile(PathOf("rt.xml"));
    EXPECT_EQ(back.m_nStatus, list.m_nStatus);
    EXPECT_STREQ(back.m_szName, list.m_szName);
    EXPECT_STREQ(back.m_szVersion, list.m_szVersion);
    EXPECT_STREQ(back.m_szProg, list.m_szProg);
    EXPECT_STREQ(back.m_szDown, list.m_szDown);
    EXPECT_STREQ(back.m_szUrl, list.m_szUrl);
    std::map<std::string, const CUpdateFile*> byName;
    for (const CUpdateFile* f : back.m_setFiles)
        byName[f->m_szFileName] = f;
    ASSERT_EQ(byName.size(), list.m_setFiles.size());
    for (const CUpdateFile* f : list.m_setFiles) {
        SCOPED_TRACE(f->m_szFileName);
        ASSERT_EQ(byName.count(f->m_szFileName), 1u);
        ExpectSameEntry(*f, *byName[f->m_szFileName]);
    }

}

// The format requires texts for FileName, FileCrc, CompressName and
// CompressCrc: an entry made in memory without them is written, but the file
// is refused when read back.
TEST_F(UpdateListTest, EntryWithoutRequiredTextsDoesNotReadBack)
{
    CUpdateList list;
    list.AddFile();
    ASSERT_TRUE(list.Save(PathOf("blank.xml")));
    CUpdateList back;
    EXPECT_FALSE(back.Load(PathOf("blank.xml")));
    EXPECT_TRUE(back.m_setFiles.empty());
}

TEST_F(UpdateListTest, PathsAreUtf8OnDisk)
{
    const std::wstring path = dir_.wstring() + L"/更新 列表.xml";
    CUpdateList list;
    std::strcpy(list.m_szName, "n");
    ASSERT_TRUE(list.Save(path));
    EXPECT_TRUE(fs::exists(dir_ / "更新 列表.xml"));
    CUpdateList back;
    ASSERT_TRUE(back.Load(path));
    EXPECT_STREQ(back.m_szName, "n");
}

TEST_F(UpdateListTest, LoadsUtf8DeclaredDocumentsAlike)
{
    const std::string body = Entry({{"FileName", "中文.dll"}});
    const std::string docs[] = {
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><R><Software name=\"名\">" + body + "</Software></R>",
        "\xEF\xBB\xBF<R><Software name=\"名\">" + body + "</Software></R>",
        "<?xml version=\"1.0\" encoding=\"gbk\"?>\r\n<R>\r\n<Software name=\"名\">" + body + "</Software></R>",
    };
    for (const std::string& doc : docs) {
        CUpdateList list;
        ASSERT_TRUE(list.Load(WriteFile(doc)));
        EXPECT_STREQ(list.m_szName, "名");
        ASSERT_EQ(list.m_setFiles.size(), 1u);
        EXPECT_STREQ((*list.m_setFiles.begin())->m_szFileName, "中文.dll");
    }
}

TEST(UpdateListModel, SetVersionRefusesNullAndOverlongTexts)
{
    CUpdateList list;
    ASSERT_TRUE(list.SetVersion("1.2"));
    EXPECT_FALSE(list.SetVersion(nullptr));
    EXPECT_FALSE(list.SetVersion(std::string(33, 'v').c_str()));
    EXPECT_STREQ(list.m_szVersion, "1.2");
    EXPECT_TRUE(list.SetVersion(std::string(32, 'v').c_str()));
    EXPECT_EQ(std::string(list.m_szVersion), std::string(32, 'v'));
    EXPECT_TRUE(list.SetVersion(""));
    EXPECT_STREQ(list.m_szVersion, "");
}

TEST(UpdateListModel, IterationWhileRemovingVisitsEachEntryOnce)
{
    CUpdateList list;
    EXPECT_EQ(list.GetFirstFile(), nullptr);
    EXPECT_EQ(list.GetNextFile(), nullptr);
    std::set<CUpdateFile*> added;
    for (int i = 0; i < 6; ++i)
        added.insert(list.AddFile());
    std::set<CUpdateFile*> seen;
    for (CUpdateFile* f = list.GetFirstFile(); f; f = list.GetNextFile()) {
        EXPECT_TRUE(seen.insert(f).second);
        EXPECT_TRUE(list.RemoveFile(f));
    }
    EXPECT_EQ(seen, added);
    EXPECT_TRUE(list.m_setFiles.empty());
}

TEST(UpdateListModel, RemovingTheEntryAtTheCursorKeepsIterating)
{
    CUpdateList list;
    for (int i = 0; i < 4; ++i)
        list.AddFile();
    std::vector<CUpdateFile*> order(list.m_setFiles.begin(), list.m_setFiles.end());
    EXPECT_EQ(list.GetFirstFile(), order[0]);
    EXPECT_TRUE(list.RemoveFile(order[1]));  // the entry GetNextFile would return
    EXPECT_EQ(list.GetNextFile(), order[2]);
    EXPECT_TRUE(list.RemoveFile(order[3]));
    EXPECT_EQ(list.GetNextFile(), nullptr);

    list.GetFirstFile();
    list.Clear();
    EXPECT_EQ(list.GetNextFile(), nullptr);
}

TEST(UpdateListModel, RemoveFileRefusesForeignAndNullEntries)
{
    CUpdateList mine, other;
    CUpdateFile* own = mine.AddFile();
    CUpdateFile* foreign = other.AddFile();
    EXPECT_FALSE(mine.RemoveFile(foreign));
    EXPECT_FALSE(mine.RemoveFile(nullptr));
    CUpdateFile stray;  // owned by no list
    EXPECT_FALSE(mine.RemoveFile(&stray));
    EXPECT_EQ(mine.m_setFiles, std::set<CUpdateFile*>{own});
    EXPECT_EQ(other.m_setFiles, std::set<CUpdateFile*>{foreign});
    EXPECT_EQ(foreign->m_pOwner, &other);
    EXPECT_TRUE(other.RemoveFile(foreign));
    EXPECT_TRUE(other.m_setFiles.empty());
}

TEST(UpdateListModel, ResetClearsAllButTheOwner)
{
    CUpdateList list;
    CUpdateFile* f = list.AddFile();
    EXPECT_EQ(f->m_pOwner, &list);
    f->m_nStatus = f->m_nFileLen = f->m_nCompressType = f->m_nCompressLen = 7;
    char* texts[] = {f->m_szFileCrc, f->m_szFileName, f->m_szFilePath, f->m_szCompressCrc,
        f->m_szCompressName, f->m_szCompressPath, f->m_szCommand};
    for (char* text : texts)
        std::strcpy(text, "x");
    f->Reset();
    EXPECT_EQ(f->m_pOwner, &list);
    EXPECT_EQ(f->m_nStatus, 0);
    EXPECT_EQ(f->m_nFileLen, 0);
    EXPECT_EQ(f->m_nCompressType, 0);
    EXPECT_EQ(f->m_nCompressLen, 0);
    for (char* text : texts)
        EXPECT_STREQ(text, "");
}

TEST(UpdateListModel, TotalCompressLenSaturatesAndSkipsNegatives)
{
    const struct {
        std::vector<long long> lens;
        long long total;
    } cases[] = {
        {{}, 0},
        {{100, 200, 300}, 600},
        {{-100, 50}, 50},
        {{INT64_MIN, INT64_MIN}, 0},
        {{INT32_MAX, 1}, 2147483648LL},
        {{2000000000, 2000000000, -5}, 4000000000LL},
        {{3000000000LL, 3000000000LL}, 6000000000LL},
        {{INT64_MAX, 1}, INT64_MAX},
        {{INT64_MAX - 10, 10}, INT64_MAX},
        {{INT64_MAX - 10, 9}, INT64_MAX - 1},
        {{INT64_MAX / 2 + 1, INT64_MAX / 2 + 1, 5}, INT64_MAX},
    };
    for (const auto& c : cases) {
        CUpdateList list;
        int status = 0;
        for (long long len : c.lens) {
            CUpdateFile* f = list.AddFile();
            f->m_nCompressLen = len;
            f->m_nStatus = status++ % 2;  // counted whatever the status
        }
        EXPECT_EQ(list.GetTotalCompressLen(), c.total);
    }
}

TEST(UpdateListModel, ProgressStepStaysWithinRange)
{
    const struct {
        long long done;
        long long total;
        int step;
    } cases[] = {
        {0, 600, 3}, {100, 600, 13}, {300, 600, 34}, {600, 600, 65},
        {0, 0, 3}, {50, 0, 3}, {-100, 600, 3}, {700, 600, 65},
        {INT32_MAX, INT32_MAX, 65}, {3000000000LL, INT32_MAX, 65},
        {INT32_MAX / 2, INT32_MAX, 33}, {69273667, 69273667, 65},
        {3000000000LL, 6000000000LL, 34}, {5000000000LL, 6000000000LL, 54},
        {INT64_MAX / 2, INT64_MAX, 33}, {INT64_MAX - 1, INT64_MAX, 64}, {INT64_MAX, INT64_MAX, 65},
        {1, INT64_MAX, 3}, {0, -5, 3},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CompressProgressStep(c.done, c.total), c.step) << c.done << "/" << c.total;
}

// The XML operations of one entry, on elements built in memory.
TEST(UpdateFileXml, ReadAndWriteOneElement)
{
    CUpdateFile f;
    EXPECT_FALSE(f.ReadXml(nullptr));
    EXPECT_FALSE(f.WriteXml(nullptr));

    TiXmlDocument doc;
    doc.Parse(Entry({{"FileCrc", std::nullopt}}, " status=\"1\"").c_str());
    ASSERT_NE(doc.RootElement(), nullptr);
    EXPECT_FALSE(f.ReadXml(doc.RootElement()));
    EXPECT_EQ(f.m_nStatus, 1);  // fields read before the failure stay filled
    EXPECT_STREQ(f.m_szFileName, "a.dll");
    EXPECT_EQ(f.m_nFileLen, 0);

    TiXmlElement out("File");
    f.m_nStatus = 0;
    ASSERT_TRUE(f.WriteXml(&out));
    std::vector<std::string> names;
    for (const TiXmlElement* e = out.FirstChildElement(); e; e = e->NextSiblingElement()) {
        names.push_back(e->Value());
        ASSERT_NE(e->FirstChild(), nullptr);
        EXPECT_EQ(e->FirstChild(), e->LastChild());
        EXPECT_NE(e->FirstChild()->ToText(), nullptr);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"FileName", "FilePath", "FileCrc", "FileLen", "CompressType",
                         "CompressName", "CompressPath", "CompressCrc", "CompressLen"}));
    EXPECT_EQ(out.Attribute("status"), nullptr);
}

}  // namespace

// A hostile list nested far deeper than any real one must be refused, not
// parsed recursively into a stack overflow; ordinary lists still load.
TEST_F(UpdateListTest, DeeplyNestedDocumentIsRefused)
{
    std::string deep = "<UpdateConfig><Software>";
    for (int i = 0; i < 100000; ++i)
        deep += "<a>";
    deep += "</Software></UpdateConfig>";
    CUpdateList list;
    EXPECT_FALSE(list.Load(WriteFile(deep)));
    EXPECT_TRUE(list.Load(WriteFile(Doc(Entry(), ""))));
}

// Malformed or cut-off UTF-8 sends the parser past the end of its buffer; such
// a list is refused before parsing, and valid multibyte text still loads.
TEST_F(UpdateListTest, InvalidUtf8IsRefused)
{
    const std::string bad[] = {
        std::string("\xEF\xBB\xBF<\x82\x82\x82R>", 9),
        Doc(Entry(), " name=\"\xE4\xB8\""),
        Doc(Entry(), " name=\"\xC0\xAF\""),
        Doc(Entry(), " name=\"\xED\xA0\x80\""),
    };
    for (const auto& bytes : bad) {
        CUpdateList list;
        EXPECT_FALSE(list.Load(WriteFile(bytes)));
    }
    CUpdateList list;
    EXPECT_TRUE(list.Load(WriteFile(Doc(Entry(), " name=\"\xE4\xB8\xAD\""))));
}
