// The worker-to-front-end queue and the terminal front end.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>

#include "notify_queue.h"
#include "terminal_front.h"
#include "tovarin_dlg.h"

namespace {

LPARAM Text(const wchar_t* text)
{
    return reinterpret_cast<LPARAM>(new std::wstring(text));
}

TEST(NotifyQueue, ByteCountsCoalesceOnlyWithTheLastWaitingMessage)
{
    int wakes = 0;
    CNotifyQueue queue([&] { ++wakes; });
    EXPECT_TRUE(queue.PostNotify(WM_UPDATE_BYTES, 1, 10));
    EXPECT_TRUE(queue.PostNotify(WM_UPDATE_BYTES, 2, 10));
    EXPECT_TRUE(queue.PostNotify(WM_UPDATE_STATUS, 4, 0));
    EXPECT_TRUE(queue.PostNotify(WM_UPDATE_BYTES, 0, 20));
    EXPECT_TRUE(queue.PostNotify(WM_UPDATE_BYTES, 7, 20));
    EXPECT_TRUE(queue.PostNotify(WM_UPDATE_DONE, 0, 0));
    EXPECT_EQ(wakes, 1) << "one wake per empty-to-waiting turn";
    auto taken = queue.TakeAll();
    ASSERT_EQ(taken.size(), 4u);
    EXPECT_EQ(taken[0].message, WM_UPDATE_BYTES);
    EXPECT_EQ(taken[0].wParam, 2u);
    EXPECT_EQ(taken[1].message, WM_UPDATE_STATUS);
    EXPECT_EQ(taken[2].wParam, 7u);
    EXPECT_EQ(taken[3].message, WM_UPDATE_DONE);
    EXPECT_TRUE(queue.PostNotify(WM_UPDATE_CLOSE, 0, 0));
    EXPECT_EQ(wakes, 2);
}

TEST(NotifyQueue, RefusesAfterCloseAndFreesWhatWasNotTaken)
{
    CNotifyQueue queue;
    EXPECT_TRUE(queue.PostNotify(WM_UPDATE_STATUS, 1, Text(L"left behind")));
    queue.Close();
    const LPARAM refused = Text(L"refused");
    EXPECT_FALSE(queue.PostNotify(WM_UPDATE_STATUS, 1, refused));
    delete reinterpret_cast<std::wstring*>(refused);  // still the sender's
    EXPECT_FALSE(queue.PostNotify(WM_USER, 0, 0));
}

// A worker that floods byte counts never waits for the window, and the
// window sees the final count and the final message.
TEST(NotifyQueue, AFloodOfByteCountsReachesTheWindowAsItsLatestValue)
{
    CTovarinDlg dlg;
    constexpr unsigned total = 300000;
    std::atomic<bool> finished{false};
    std::thread worker([&] {
        dlg.PostNotify(WM_UPDATE_STATUS, 3, Text(L"正在下载"));
        for (unsigned i = 1; i <= total; ++i) {
            dlg.PostNotify(WM_UPDATE_BYTES, i, total);
        }
        dlg.PostNotify(WM_UPDATE_DONE, 0, 0);
        finished = true;
    });
    while (dlg.GetResult() == 0) {
        dlg.DispatchPending();
        std::this_thread::yield();
    }
    worker.join();
    EXPECT_EQ(dlg.m_lblBytes.GetText(), L"300000 Byte/ 300000 Byte");
    EXPECT_EQ(dlg.GetResult(), IDOK);
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

std::string RunTerminal(bool tty, const std::function<void(CTerminalFront&)>& work, int& result)
{
    std::FILE* out = std::tmpfile();
    std::string text;
    {
        CTerminalFront front(out, tty, 60);
        std::thread worker([&] { work(front); });
        result = front.Run();
        worker.join();
    }
    std::rewind(out);
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, out)) > 0) {
        text.append(buf, n);
    }
    std::fclose(out);
    return text;
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
    std::string text = RunTerminal(false, [](CTerminalFront& f) {
        f.PostNotify(WM_UPDATE_STATUS, 0, Text(L"正在检查新的版本..."));
        f.PostNotify(WM_UPDATE_STATUS, 3, Text(L"剩余0个文件需要下载/正在下载:a.txt"));
        for (unsigned i = 1; i <= 200000; ++i) {
            f.PostNotify(WM_UPDATE_BYTES, i, 200000);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        f.PostNotify(WM_UPDATE_STATUS, 65, Text(L"正在安装更新包"));
        f.PostNotify(WM_UPDATE_BYTES, 0, 0);
        f.PostNotify(WM_UPDATE_DONE, 0, 0);
    }, result);
    EXPECT_EQ(result, IDOK);
    EXPECT_NE(text.find("正在检查新的版本...\n"), std::string::npos) << text;
    EXPECT_NE(text.find("  3/66 剩余0个文件需要下载/正在下载:a.txt\n"), std::string::npos) << text;
    EXPECT_NE(text.find("  200000 Byte/ 200000 Byte\n"), std::string::npos) << text;
    EXPECT_LE(Count(text, " Byte/ "), 6u) << text;
    EXPECT_NE(text.find("] 66/66"), std::string::npos) << text;
    EXPECT_EQ(text.find('\r'), std::string::npos);
}

TEST(TerminalFront, TerminalOutputRewritesOneLineAndCloseCancels)
{
    int result = 0;
    std::string text = RunTerminal(true, [](CTerminalFront& f) {
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
