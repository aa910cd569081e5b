// Start-up decisions of the application object that need no display and no
// server: a missing option and a failed network start-up.
#include <gtest/gtest.h>

#include <cstdlib>

#include "tovarin_app.h"

namespace {

bool FailingNetwork()
{
    return false;
}

bool WorkingNetwork()
{
    return true;
}

class AppStartup : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Never a window or a message box here.
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
    }
};

TEST_F(AppStartup, AMissingRequiredOptionEndsSilentlyWithStatus2)
{
    const wchar_t* lines[] = {
        L"",
        L"-name a -number 1 -prog /p -down /d",
        L"-name a -number 1 -prog /p -http http://127.0.0.1:9 -reboot",
        L"-bogus -name a -number 1 -prog /p -down /d -http http://127.0.0.1:9",
    };
    for (const wchar_t* line : lines) {
        CTovarinApp app;
        app.m_pfnStartNetwork = WorkingNetwork;
        app.m_strCmdLine = line;
        ::testing::internal::CaptureStdout();
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(app.InitInstance(), FALSE);
        EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
        EXPECT_EQ(app.m_pWorker, nullptr) << "no worker";
        EXPECT_EQ(app.m_gdiplusToken, 0u) << "no window libraries";
        EXPECT_EQ(app.ExitInstance(), TOVARIN_EXIT_USAGE);
    }
}

// Folders that cannot be used are a command-line error too, said in one
// line on standard error; no worker, no window.
TEST_F(AppStartup, UnusableFoldersEndWithOneLineAndStatus2)
{
    const std::wstring rest = L" -name a -number 1 -http http://127.0.0.1:9";
    const struct {
        std::wstring folders;
        const char* line;
    } cases[] = {
        {L"-prog \"\" -down /d", "tovarin: -prog names no folder\n"},
        {L"-prog /p -down \"\"", "tovarin: -down names no folder\n"},
        {L"-prog p -down /d", "tovarin: -prog must be an absolute path\n"},
        {L"-prog /p -down d\\x", "tovarin: -down must be an absolute path\n"},
        {L"-prog /p -down C:\\Down", "tovarin: -down must be an absolute path\n"},
        {L"-prog /p -down /p", "tovarin: -down must not be the program folder\n"},
        {L"-prog /p/ -down \\p", "tovarin: -down must not be the program folder\n"},
        {L"-prog /p -down /p/x/../.", "tovarin: -down must not be the program folder\n"},
        {L"-prog /p -down /p/down", "tovarin: -down must not lie inside the program folder\n"},
        {L"-prog / -down /d", "tovarin: -down must not lie inside the program folder\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.folders));
        CTovarinApp app;
        app.m_pfnStartNetwork = WorkingNetwork;
        app.m_strCmdLine = c.folders + rest;
        ::testing::internal::CaptureStdout();
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(app.InitInstance(), FALSE);
        EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), c.line);
        EXPECT_EQ(app.m_pWorker, nullptr);
        EXPECT_EQ(app.m_gdiplusToken, 0u);
        EXPECT_EQ(app.ExitInstance(), TOVARIN_EXIT_USAGE);
    }
}

TEST_F(AppStartup, FailedNetworkStartupShowsString103AndEnds)
{
    CTovarinApp app;
    app.m_pfnStartNetwork = FailingNetwork;
    app.m_strAppName = "tovarin";
    app.m_strCmdLine = L"-name a -number 1 -prog /p -down /d -http http://127.0.0.1:9";
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(app.InitInstance(), FALSE);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "tovarin: Windows 套接字初始化失败。\n");
    EXPECT_EQ(app.m_pWorker, nullptr);
    EXPECT_TRUE(app.m_strName.empty()) << "options are read after the network start-up";
    EXPECT_EQ(app.ExitInstance(), TOVARIN_EXIT_FAILED);
}

}  // namespace
