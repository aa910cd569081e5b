#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "launch_options.h"
#include "text.h"
#include "tovarin_app.h"

namespace {

using Tokens = std::vector<std::wstring>;

TEST(SplitLaunchTokens, SpacesQuotesAndNothingElseSeparate)
{
    const struct {
        const wchar_t* text;
        Tokens tokens;
    } cases[] = {
        {L"", {}},
        {L"    ", {}},
        {L"a b", {L"a", L"b"}},
        {L"  a   b  ", {L"a", L"b"}},
        {L"\"a b\" c", {L"a b", L"c"}},
        {L"\"abc\"def", {L"abc", L"def"}},
        {L"x\"abc\"", {L"x\"abc\""}},
        {L"\"\"", {L""}},
        {L"\"\"\"\"", {L"", L""}},
        {L"a \"\" b", {L"a", L"", L"b"}},
        {L"\"", {}},
        {L"a \"", {L"a"}},
        {L"\"abc", {L"abc"}},
        {L"\"a  b ", {L"a  b "}},
        {L"a\"b c", {L"a\"b", L"c"}},
        {L"a\tb", {L"a\tb"}},
        {L"\ta\t \n", {L"\ta\t", L"\n"}},
        {L"\"a\\\" b\"", {L"a\\", L"b\""}},
        {L"C:\\dir\\ x", {L"C:\\dir\\", L"x"}},
        {L"中文 \"下 载\"", {L"中文", L"下 载"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SplitLaunchTokens(c.text), c.tokens) << "text: [" << testing::PrintToString(std::wstring(c.text)) << "]";
    EXPECT_EQ(SplitLaunchTokens(nullptr), Tokens{});
}

struct Record {
    int nHasValue;
    std::wstring strName;
    std::wstring strValue;
    bool operator==(const Record&) const = default;
};

std::vector<Record> Parse(const wchar_t* text)
{
    LAUNCH_OPTION_LIST options;
    ParseLaunchOptions(options, LAUNCH_OPTION_TABLE, text);
    std::vector<Record> records;
    for (const auto& o : options)
        records.push_back({o->nHasValue, o->strName, o->strValue});
    return records;
}

void PrintTo(const Record& r, std::ostream* os)
{
    *os << "{" << r.nHasValue << ", " << testing::PrintToString(r.strName) << ", "
        << testing::PrintToString(r.strValue) << "}";
}

TEST(ParseLaunchOptions, RecordsAndStoppingRules)
{
    const struct {
        const wchar_t* text;
        std::vector<Record> records;
    } cases[] = {
        {L"", {}},
        {L"-name App", {{1, L"-name", L"App"}}},
        {L"/NAME App /Number 3 -rEbOoT", {{1, L"-name", L"App"}, {1, L"-number", L"3"}, {0, L"-reboot", L""}}},
        {L"-reboot -http URL", {{0, L"-reboot", L""}, {1, L"-http", L"URL"}}},
        {L"-name -number -prog P", {{1, L"-name", L"-number"}, {1, L"-prog", L"P"}}},
        {L"-prog /Opt/App -down -X", {{1, L"-prog", L"/Opt/App"}, {1, L"-down", L"-X"}}},
        {L"-name", {}},
        {L"-reboot -name", {{0, L"-reboot", L""}}},
        {L"-name a --number 1", {{1, L"-name", L"a"}}},
        {L"-name a -/number 1", {{1, L"-name", L"a"}}},
        {L"-name a number 1", {{1, L"-name", L"a"}}},
        {L"-name a - 1", {{1, L"-name", L"a"}}},
        {L"-name a -names b", {{1, L"-name", L"a"}}},
        {L"-name a -nam b", {{1, L"-name", L"a"}}},
        {L"-name a \"\" -number 1", {{1, L"-name", L"a"}}},
        {L"-name\ta -number 1", {}},
        {L"-name a\t-number 1", {{1, L"-name", L"a\t-number"}}},
        {L"\"-name\" a", {{1, L"-name", L"a"}}},
        {L"\"-name a\" b", {}},
        {L"-ｎａｍｅ a", {}},  // only A-Z fold; other letters stay as they are
        {L"-NAMe 中文 -down \"C:\\My Files\\\"", {{1, L"-name", L"中文"}, {1, L"-down", L"C:\\My Files\\"}}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Parse(c.text), c.records) << testing::PrintToString(std::wstring(c.text));
}

TEST(ParseLaunchOptions, AppendsToTheListAndUsesTheGivenTable)
{
    const LAUNCH_OPTION_DEF table[] = {{L"-x", 0}, {L"-y", 1}};
    LAUNCH_OPTION_LIST options;
    options.push_back(nullptr);
    ParseLaunchOptions(options, table, L"/X -y 1 -name a");
    ASSERT_EQ(options.size(), 3u);
    EXPECT_EQ(options[0], nullptr);
    EXPECT_EQ(options[1]->strName, L"-x");
    EXPECT_EQ(options[2]->strValue, L"1");
    ParseLaunchOptions(options, {}, L"-x");
    EXPECT_EQ(options.size(), 3u);
    ParseLaunchOptions(options, table, nullptr);
    EXPECT_EQ(options.size(), 3u);
}

TEST(FindLaunchOption, FirstRecordByNameWithoutRegardToCase)
{
    LAUNCH_OPTION_LIST options;
    options.push_back(nullptr);
    ParseLaunchOptions(options, LAUNCH_OPTION_TABLE, L"-name first -reboot /NAME second");
    options.push_back(nullptr);
    std::wstring value = L"untouched";
    EXPECT_EQ(FindLaunchOption(options, L"-number", value), FALSE);
    EXPECT_EQ(value, L"untouched");
    EXPECT_EQ(FindLaunchOption(options, nullptr, value), FALSE);
    EXPECT_EQ(FindLaunchOption(options, L"name", value), FALSE);
    EXPECT_EQ(FindLaunchOption(options, L"-NaMe", value), TRUE);
    EXPECT_EQ(value, L"first");
    EXPECT_EQ(FindLaunchOption(options, L"-reboot", value), TRUE);
    EXPECT_EQ(value, L"");
    EXPECT_EQ(FindLaunchOption(LAUNCH_OPTION_LIST{}, L"-name", value), FALSE);
}

struct Settings {
    BOOL ok;
    const wchar_t* name;
    const wchar_t* number;
    const wchar_t* prog;
    const wchar_t* http;
    const wchar_t* down;
    BOOL reboot;
};

void ExpectSettings(const std::wstring& cmdLine, const Settings& want)
{
    SCOPED_TRACE(testing::PrintToString(cmdLine));
    CTovarinApp app;
    app.m_strCmdLine = cmdLine;
    EXPECT_EQ(app.ReadLaunchOptions(), want.ok);
    EXPECT_EQ(app.m_strName, want.name);
    EXPECT_EQ(app.m_strNumber, want.number);
    EXPECT_EQ(app.m_strProgDir, want.prog);
    EXPECT_EQ(app.m_strHttpUrl, want.http);
    EXPECT_EQ(app.m_strDownDir, want.down);
    EXPECT_EQ(app.m_bReboot, want.reboot);
    EXPECT_EQ(app.m_pWorker, nullptr);
}

TEST(ReadLaunchOptions, SettingsFromCommandLines)
{
    const std::wstring all = L"-name App -number 1.2 -prog /opt/app -http http://h/u -down /tmp/d";
    const struct {
        std::wstring cmdLine;
        Settings want;
    } cases[] = {
        {L"", {FALSE, L"", L"", L"", L"", L"", FALSE}},
        {all, {TRUE, L"App", L"1.2", L"/opt/app", L"http://h/u", L"/tmp/d", FALSE}},
        {L"-down \"C:\\My Down\" -http H -prog P -number 7 -name N",
            {TRUE, L"N", L"7", L"P", L"H", L"C:\\My Down", FALSE}},
        {L"/NAME a /Number b -PROG c -hTTp d /down e", {TRUE, L"a", L"b", L"c", L"d", L"e", FALSE}},
        {L"-reboot " + all, {TRUE, L"App", L"1.2", L"/opt/app", L"http://h/u", L"/tmp/d", TRUE}},
        {all + L" -reboot", {TRUE, L"App", L"1.2", L"/opt/app", L"http://h/u", L"/tmp/d", TRUE}},
        {all + L" /REBOOT extra", {TRUE, L"App", L"1.2", L"/opt/app", L"http://h/u", L"/tmp/d", TRUE}},
        {L"-name \"\" -number \"\" -prog \"\" -http \"\" -down \"\"", {TRUE, L"", L"", L"", L"", L"", FALSE}},
        {all + L" -name Other", {TRUE, L"App", L"1.2", L"/opt/app", L"http://h/u", L"/tmp/d", FALSE}},
        {L"-name -number -number 5 -prog p -http h -down d", {TRUE, L"-number", L"5", L"p", L"h", L"d", FALSE}},
        // Matching stops at the unknown option: what follows counts as missing.
        {L"-name a -number 1 --prog p -http h -down d", {FALSE, L"a", L"1", L"", L"", L"", FALSE}},
        {L"-name a -number 1 -prog p -verbose -http h -down d", {FALSE, L"a", L"1", L"p", L"", L"", FALSE}},
        {L"-name a -number 1 -prog p -http h stray -down d", {FALSE, L"a", L"1", L"p", L"h", L"", FALSE}},
        {L"-name a -number 1 -prog p -http h -reboot -down", {FALSE, L"a", L"1", L"p", L"h", L"", FALSE}},
        // Lookups run name, number, prog, http, down and stop at the first miss.
        {L"-name a -number 1 -http h -down d", {FALSE, L"a", L"1", L"", L"", L"", FALSE}},
        {L"-number 1 -prog p -http h -down d", {FALSE, L"", L"", L"", L"", L"", FALSE}},
        {L"-name a -number 1 -prog p -down d -reboot", {FALSE, L"a", L"1", L"p", L"", L"", FALSE}},
        {L"-name\ta -number 1 -prog p -http h -down d", {FALSE, L"", L"", L"", L"", L"", FALSE}},
    };
    for (const auto& c : cases)
        ExpectSettings(c.cmdLine, c.want);
}

// -key is optional; a -key on the line that the parser did not take is no
// reason to run an update that checks nothing.
TEST(ReadLaunchOptions, KeyMakesASignedUpdate)
{
    const std::wstring all = L"-name App -number 1.2 -prog /opt/app -http http://h/u -down /tmp/d";
    const struct {
        std::wstring cmdLine;
        BOOL ok;
        BOOL isSigned;
        const wchar_t* key;
    } cases[] = {
        {all, TRUE, FALSE, L""},
        {all + L" -key RWQabc", TRUE, TRUE, L"RWQabc"},
        {L"/KEY RWQabc " + all, TRUE, TRUE, L"RWQabc"},
        {all + L" -key \"\"", TRUE, TRUE, L""},
        {all + L" -key -reboot", TRUE, TRUE, L"-reboot"},
        {all + L" -key first -key second", TRUE, TRUE, L"first"},
        {L"-name -key " + all.substr(10), TRUE, FALSE, L""},  // "-key" is the value of -name
        {all + L" -key", FALSE, FALSE, L""},
        {all + L" -reboot /Key", FALSE, FALSE, L""},
        {all + L" -verbose -key RWQabc", FALSE, FALSE, L""},
        {all + L" stray -KEY RWQabc", FALSE, FALSE, L""},
        {all + L" --key RWQabc", TRUE, FALSE, L""},  // two hyphens: not the option
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.cmdLine));
        CTovarinApp app;
        app.m_strCmdLine = c.cmdLine;
        EXPECT_EQ(app.ReadLaunchOptions(), c.ok);
        EXPECT_EQ(app.m_bSigned, c.isSigned);
        EXPECT_EQ(app.m_strKey, c.key);
    }
}

TEST(ReadLaunchOptions, AbsentRebootLeavesTheFlag)
{
    CTovarinApp app;
    app.m_bReboot = TRUE;
    app.m_strCmdLine = L"-name a -number 1 -prog p -http h -down d";
    EXPECT_EQ(app.ReadLaunchOptions(), TRUE);
    EXPECT_EQ(app.m_bReboot, TRUE);
}

std::wstring Build(std::vector<const char*> args)
{
    std::vector<char*> argv;
    for (const char* a : args)
        argv.push_back(const_cast<char*>(a));
    argv.push_back(nullptr);
    return BuildCommandLineText(static_cast<int>(args.size()), argv.data());
}

TEST(BuildCommandLineText, JoinsArgumentsAsTheOneTextWouldRead)
{
    const struct {
        std::vector<const char*> args;
        std::wstring text;
    } cases[] = {
        {{}, L""},
        {{"tovarin"}, L""},
        {{"/path with space/tovarin", "-name", "a"}, L"-name a"},
        {{"t", "-down", "/tmp/my dir"}, L"-down \"/tmp/my dir\""},
        {{"t", "-name", ""}, L"-name \"\""},
        {{"t", "-name\tx"}, L"-name\tx"},
        {{"t", " "}, L"\" \""},
        {{"t", "a\"b"}, L"a\"b"},
        {{"t", "-name", "中文"}, L"-name 中文"},
        {{"t", "bad\xff"}, L"bad\uFFFD"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Build(c.args), c.text);
    EXPECT_EQ(BuildCommandLineText(3, nullptr), L"");
}

// Arguments as a shell hands them over come out of the parser as typed.
TEST(BuildCommandLineText, ShellArgumentsReachTheSettings)
{
    CTovarinApp app;
    app.m_strCmdLine = Build({"tovarin", "-name", "", "-number", "2.0", "-prog", "/opt/my app", "-http",
        "http://h/u", "-down", "/tmp/下 载", "-reboot"});
    EXPECT_EQ(app.ReadLaunchOptions(), TRUE);
    EXPECT_EQ(app.m_strName, L"");
    EXPECT_EQ(app.m_strProgDir, L"/opt/my app");
    EXPECT_EQ(app.m_strDownDir, L"/tmp/下 载");
    EXPECT_EQ(app.m_bReboot, TRUE);

    CTovarinApp tabbed;
    tabbed.m_strCmdLine = Build({"tovarin", "-name\tApp", "-number", "1", "-prog", "p", "-http", "h", "-down", "d"});
    EXPECT_EQ(tabbed.ReadLaunchOptions(), FALSE);
    EXPECT_EQ(tabbed.m_strName, L"");

    const std::vector<const char*> args = {"t", "", "a b", "x", "  ", "-\t-", "中 文"};
    Tokens expected;
    for (size_t i = 1; i < args.size(); ++i)
        expected.push_back(AnsiToWide(args[i]));
    EXPECT_EQ(SplitLaunchTokens(Build(args).c_str()), expected);
}

}  // namespace
