// The terminal front end: its bar, its fitting of texts to the columns, and
// what it writes for an update, on a terminal and into a log.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>

#include "front_ops.h"
#include "temp_folder.h"
#include "terminal_front.h"
#include "wait.h"

using namespace test;

namespace {

LPARAM Text(const wchar_t* text)
{
    return reinterpret_cast<LPARAM>(new std::wstring(text));
}

TEST(TerminalFront, BarShowsCellsAndTheRightCapOnlyWhenFull)
{
    struct Case {
        unsigned step, cells;
        const char* bar;
    } cases[] = {
        {0, 5, "[.....   0/66"},
        {13, 5, "[#....  13/66"},
        {65, 5, "[#####  65/66"},
        {66, 5, "[#####] 66/66"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CTerminalFront::FormatBar(c.step, c.cells), c.bar);
    }
    EXPECT_EQ(CTerminalFront::FormatBar(30, 65), "[" + std::string(30, '#') + std::string(35, '.') + "  30/66");
}

TEST(TerminalFront, TextIsCutToTheColumnsItMayUse)
{
    struct Case {
        const wchar_t* text;
        unsigned columns;
        const char* fitted;
    } cases[] = {
        {L"abc", 10, "abc"},
        {L"abc", 2, "ab"},
        {L"正在安装更新包", 5, "正在"},
        {L"正在安装更新包", 0, ""},
        {L"a正b", 3, "a正"},
        {L"tab\there", 20, "tabhere"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CTerminalFront::FitColumns(c.text, c.columns), c.fitted);
    }
}

// Runs the front end on this thread while `work` posts from another; what it
// wrote. `work` may read what was written so far through `written`.
std::string RunTerminal(bool tty, const std::function<void(CTerminalFront&, const std::function<std::string()>&)>& work,
                        int& result)
{
    TempFolder dir;
    const auto path = dir / "out.txt";
    std::FILE* out = std::fopen(path.c_str(), "w");
    {
        CTerminalFront front(out, tty, 60);
        std::thread worker([&] { work(front, [&] { return ReadFile(path); }); });
        result = front.Run();
        worker.join();
    }
    std::fclose(out);
    return ReadFile(path);
}

size_t Count(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++n;
    }
    return n;
}

TEST(TerminalFront, PlainOutputHasALinePerStatusAndFewByteLines)
{
    int result = 0;
    std::chrono::milliseconds flood{0};
    std::string text = RunTerminal(false, [&](CTerminalFront& f, const std::function<std::string()>& written) {
        f.PostNotify(WM_UPDATE_STATUS, 0, Text(L"正在检查新的版本..."));
        f.PostNotify(WM_UPDATE_STATUS, 3, Text(L"剩余0个文件需要下载/正在下载:a.txt"));
        const auto start = std::chrono::steady_clock::now();
        for (unsigned i = 1; i <= 200000; ++i) {
            f.PostNotify(WM_UPDATE_BYTES, i, 200000);
        }
        // The last count, held back by the rate limit, comes out by itself.
        EXPECT_TRUE(WaitUntil([&] { return written().find("  200000 Byte/ 200000 Byte\n") != std::string::npos; }));
        flood = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
        f.PostNotify(WM_UPDATE_STATUS, 65, Text(L"正在安装更新包"));
        f.PostNotify(WM_UPDATE_BYTES, 0, 0);
        f.PostNotify(WM_UPDATE_DONE, 0, 0);
    }, result);
    EXPECT_EQ(result, IDOK);
    EXPECT_NE(text.find("正在检查新的版本...\n"), std::string::npos) << text;
    EXPECT_NE(text.find("  3/66 剩余0个文件需要下载/正在下载:a.txt\n"), std::string::npos) << text;
    EXPECT_NE(text.find("  200000 Byte/ 200000 Byte\n"), std::string::npos) << text;
    // The first byte line at once, then at most one per 250 ms until the
    // last count was out.
    EXPECT_LE(Count(text, " Byte/ "), static_cast<size_t>(flood.count() / 250 + 2)) << text;
    EXPECT_NE(text.find("] 66/66"), std::string::npos) << text;
    EXPECT_EQ(text.find('\r'), std::string::npos);
}

TEST(TerminalFront, TerminalOutputRewritesOneLineAndCloseCancels)
{
    int result = 0;
    std::string text = RunTerminal(true, [](CTerminalFront& f, const std::function<std::string()>&) {
        f.PostNotify(WM_UPDATE_STATUS, 1, Text(L"正在下载更新列表..."));
        f.PostNotify(WM_UPDATE_STATUS, 2, 0);
        f.PostNotify(WM_UPDATE_CLOSE, 0, 0);
        f.PostNotify(WM_UPDATE_STATUS, 9, Text(L"after the end"));
    }, result);
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(Count(text, "\n"), 1u) << "one line, ended once";
    EXPECT_GE(Count(text, "\r"), 1u);
    EXPECT_EQ(text.find("after the end"), std::string::npos);
    EXPECT_EQ(text.find("66/66"), std::string::npos);
}

}  // namespace
