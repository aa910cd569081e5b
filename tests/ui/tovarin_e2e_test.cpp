// The tovarin program end to end against a real nginx: the terminal front
// end, the window under Xvfb, and the exit statuses.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "nginx.h"
#include "process.h"
#include "temp_folder.h"
#include "wait.h"
#include "xvfb.h"

namespace fs = std::filesystem;
using namespace test;

namespace {

// Runs a program with environment changes (NAME=VALUE, or NAME= to remove)
// for at most `seconds`.
PROCESS_RESULT RunProgram(const std::string& path, const std::vector<std::string>& args,
                          const std::vector<std::string>& env, int seconds)
{
    PROCESS_OPTIONS options;
    options.env = env;
    return RunProcess(path, args, options, std::chrono::seconds(seconds));
}

// A program folder of version 2 published on nginx, and an installed copy of
// version 1 with one file changed and one missing.
class TovarinEndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = folder.Path();
        fs::create_directories(dir / "down");
        WriteFile(dir / "v2/sample", "#!/bin/sh\necho v2 > \"$(dirname \"$0\")/started.txt\"\n", 0755);
        WriteFile(dir / "v2/data/level1.dat", RandomBytes(bigFile, 7));
        WriteFile(dir / "v2/readme.txt", "same in both\n");
        WriteFile(dir / "prog/sample", "#!/bin/sh\necho v1\n", 0755);
        WriteFile(dir / "prog/readme.txt", "same in both\n");
    }
    void TearDown() override
    {
        server.Stop();
        display.Stop();
        unsetenv("DISPLAY");
    }

    void Publish()
    {
        PROCESS_RESULT r = RunProgram(TOVARIN_PUBLISH, {"--quiet", "--version", "2", "--name", "sample",
                                                        (dir / "v2").string(), (dir / "srv").string()},
                                      {}, 60);
        ASSERT_EQ(r.status, 0) << r.output;
    }
    void ShowDisplay(int width, int height)
    {
        ASSERT_TRUE(display.Start(width, height));
        display.Export();
    }
    void Serve(const std::string& rate = "")
    {
        fs::create_directories(dir / "srv");
        ASSERT_TRUE(server.Start((dir / "srv").string(), {"", "", rate}));
    }
    std::vector<std::string> Options(bool reboot = true) const
    {
        std::vector<std::string> args{"-name", "sample", "-number", "2", "-prog", (dir / "prog").string(),
                                      "-down", (dir / "down").string(), "-http", server.Url()};
        if (reboot) {
            args.push_back("-reboot");
        }
        return args;
    }
    // Waits for the detached program to leave its mark.
    bool Started() const
    {
        return WaitUntil([&] { return fs::exists(dir / "prog/started.txt"); });
    }

    size_t bigFile = 200000;
    TempFolder folder;
    fs::path dir;
    Nginx server;
    Xvfb display;
};

const std::vector<std::string> kNoDisplay{"DISPLAY=", "WAYLAND_DISPLAY="};

TEST_F(TovarinEndToEnd, TerminalFrontEndInstallsAndStartsTheProgram)
{
    Publish();
    Serve();
    PROCESS_RESULT r = RunProgram(TOVARIN, Options(), kNoDisplay, 120);
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(ReadFile(dir / "prog/data/level1.dat"), ReadFile(dir / "v2/data/level1.dat"));
    EXPECT_EQ(ReadFile(dir / "prog/sample"), ReadFile(dir / "v2/sample"));
    EXPECT_FALSE(fs::exists(dir / "down")) << "download folder removed after the install";
    EXPECT_TRUE(Started());
    // Plain lines (not a terminal): each status once, in order, then the full bar.
    const std::string& out = r.output;
    const size_t check = out.find("  0/66 正在检查新的版本...\n");
    const size_t list = out.find("  1/66 正在下载更新列表...\n");
    const size_t prepare = out.find("  2/66 正在准备更新包...\n");
    const size_t first = out.find("  3/66 剩余1个文件需要下载/正在下载:");
    const size_t install = out.find(" 65/66 正在安装更新包\n");
    const size_t done = out.find("] 66/66");
    ASSERT_NE(check, std::string::npos) << out;
    EXPECT_LT(check, list);
    EXPECT_LT(list, prepare);
    EXPECT_LT(prepare, first);
    EXPECT_LT(first, install);
    EXPECT_LT(install, done);
    EXPECT_NE(out.find(" Byte/ "), std::string::npos) << out;
    EXPECT_EQ(out.find('\r'), std::string::npos);
}

// A display named in the environment but not reachable: SDL would fall back
// to its invisible off-screen driver; the terminal front end runs instead.
TEST_F(TovarinEndToEnd, AnUnreachableDisplayFallsBackToTheTerminal)
{
    Publish();
    Serve();
    PROCESS_RESULT r = RunProgram(TOVARIN, Options(false), {"DISPLAY=:9999", "WAYLAND_DISPLAY="}, 120);
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("  0/66 正在检查新的版本...\n"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("] 66/66"), std::string::npos) << r.output;
}

TEST_F(TovarinEndToEnd, ExitStatuses)
{
    Publish();
    Serve();
    // Nothing to update once installed.
    ASSERT_EQ(RunProgram(TOVARIN, Options(false), kNoDisplay, 120).status, 0);
    fs::create_directories(dir / "down");
    PROCESS_RESULT current = RunProgram(TOVARIN, Options(false), kNoDisplay, 60);
    EXPECT_EQ(current.status, 0) << current.output;
    EXPECT_EQ(current.output.find("66/66"), std::string::npos);

    // A damaged archive on the server: the download fails.
    WriteFile(dir / "prog/readme.txt", "changed locally\n");
    WriteFile(dir / "srv/readme.txt.zip", "not a zip archive");
    PROCESS_RESULT failed = RunProgram(TOVARIN, Options(), kNoDisplay, 60);
    EXPECT_EQ(failed.status, 1) << failed.output;
    EXPECT_FALSE(fs::exists(dir / "prog/started.txt"));

    // No list on the server.
    fs::remove(dir / "srv/UpdateList.xml.zip");
    fs::remove_all(dir / "down");
    fs::create_directories(dir / "down");
    PROCESS_RESULT noList = RunProgram(TOVARIN, Options(), kNoDisplay, 60);
    EXPECT_EQ(noList.status, 1) << noList.output;
}

TEST_F(TovarinEndToEnd, AMissingRequiredOptionStartsNothing)
{
    Serve();
    ShowDisplay(640, 480);
    const std::vector<std::string> full = Options();
    // Each required option left out in turn (with its value), with and
    // without a display; and an empty command line.
    std::vector<std::vector<std::string>> lines{{}};
    for (size_t i = 0; i + 1 < full.size() - 1; i += 2) {
        std::vector<std::string> line = full;
        line.erase(line.begin() + static_cast<long>(i), line.begin() + static_cast<long>(i) + 2);
        lines.push_back(line);
    }
    for (const auto& line : lines) {
        for (bool withDisplay : {false, true}) {
            PROCESS_RESULT r = RunProgram(TOVARIN, line, withDisplay ? std::vector<std::string>{} : kNoDisplay, 30);
            EXPECT_EQ(r.status, 2) << line.size();
            EXPECT_EQ(r.output, "");
        }
    }
    EXPECT_TRUE(server.Requests().empty()) << "no connection";
    EXPECT_FALSE(fs::exists(dir / "prog/started.txt"));
}

// An empty program folder (which would install into the root), or a
// download folder inside the program folder, is a usage error: one line on
// standard error, no window, no connection, nothing written.
TEST_F(TovarinEndToEnd, UnusableFoldersStartNothing)
{
    Publish();
    Serve();
    ShowDisplay(640, 480);
    const auto before = ReadTree(dir / "prog");
    for (const std::string& prog : {std::string(), (dir / "prog").string()}) {
        std::vector<std::string> args = Options();
        args[5] = prog;
        if (!prog.empty())
            args[7] = (dir / "prog/down").string();
        const PROCESS_RESULT r = RunProgram(TOVARIN, args, {}, 30);
        EXPECT_EQ(r.status, 2) << r.output;
        EXPECT_EQ(std::count(r.output.begin(), r.output.end(), '\n'), 1) << r.output;
    }
    EXPECT_TRUE(server.Requests().empty());
    EXPECT_EQ(ReadTree(dir / "prog"), before);
}

// The program's window during a throttled update: centred, 566 x 73, status
// text and byte line drawn, the bar at the step of the file being fetched.
TEST_F(TovarinEndToEnd, WindowShowsTheUpdateAndEscapeEndsItEarly)
{
    bigFile = 2000000;
    SetUp();
    Publish();
    Serve("200k");
    ShowDisplay(1024, 768);
    std::atomic<bool> running{true};
    PROCESS_RESULT r;
    std::thread program([&] {
        r = RunProgram(TOVARIN, Options(), {}, 120);
        running = false;
    });
    const int x0 = (1024 - 566) / 2, y0 = (768 - 73) / 2;
    Screenshot shot;
    // The byte line is up: bright ink in the lower label, above the skin's
    // gold frame (its last three rows).
    const bool seen = WaitUntil(
        [&] {
            if (!running || !display.Take(shot)) {
                return false;
            }
            int ink = 0;
            for (int y = y0 + 49; y < y0 + 70; ++y) {
                for (int x = x0 + 150; x < x0 + 416; ++x) {
                    const unsigned p = shot.Pixel(x, y);
                    ink += (p >> 16) >= 160 && ((p >> 8) & 0xFF) >= 160 && (p & 0xFF) < (p >> 16);
                }
            }
            return ink > 40;
        },
        std::chrono::seconds(20), std::chrono::milliseconds(100));
    ASSERT_TRUE(seen) << "no window with a byte line";
    EXPECT_EQ(shot.Pixel(x0 - 1, y0 + 10), 0u);
    EXPECT_NE(shot.Pixel(x0, y0), 0u);
    EXPECT_NE(shot.Pixel(x0 + 565, y0 + 72), 0u);
    EXPECT_EQ(shot.Pixel(x0 + 566, y0 + 72), 0u);
    EXPECT_EQ(shot.Pixel(x0 + 565, y0 + 73), 0u);
    int statusInk = 0;
    for (int y = y0 + 3; y < y0 + 28; ++y) {
        for (int x = x0 + 20; x < x0 + 520; ++x) {
            const unsigned p = shot.Pixel(x, y);
            statusInk += (p >> 16) >= 160 && ((p >> 8) & 0xFF) >= 160 && (p & 0xFF) < (p >> 16);
        }
    }
    EXPECT_GT(statusInk, 60);
    // One pending file: its status carries step 3, so three cells.
    const unsigned cell = shot.Pixel(x0 + 26 + 4, y0 + 38);
    int cells = 0;
    for (int i = 0; i < 65; ++i) {
        cells += shot.Pixel(x0 + 26 + 8 * i + 4, y0 + 38) == cell;
    }
    EXPECT_EQ(cells, 3);
    if (cells != 3) {
        shot.SavePpm(::testing::TempDir() + "tovarin_e2e_failed.ppm");
    }

    // Escape ends the window before the worker is done: the update did not finish.
    const std::string press = "xdotool search --name '^Tovarin$' windowfocus --sync key Escape 2>/dev/null";
    WaitUntil([&] { return !running || (display.Run(press), !running); }, std::chrono::seconds(20),
              std::chrono::milliseconds(100));
    program.join();
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_FALSE(fs::exists(dir / "prog/started.txt"));
}

// -key: a list signed by the publisher installs; without its signature the
// update says it cannot be verified and ends with status 1, nothing
// installed or started; a -key left without its value is a usage error.
TEST_F(TovarinEndToEnd, SignedUpdateAndAnUnverifiableOne)
{
    const std::string secret = (dir / "key.key").string();
    ASSERT_EQ(RunProgram("minisign", {"-G", "-W", "-p", (dir / "key.pub").string(), "-s", secret}, {}, 30).status, 0);
    const std::string pub = ReadFile(dir / "key.pub");
    const std::string key = pub.substr(pub.find('\n') + 1, 56);
    const std::vector<std::string> publish = {"--quiet", "--version", "2", "--sign", secret, (dir / "v2").string(),
                                              (dir / "srv").string()};
    PROCESS_RESULT published = RunProgram(TOVARIN_PUBLISH, publish, {}, 60);
    ASSERT_EQ(published.status, 0) << published.output;
    Serve();
    std::vector<std::string> signedOptions = Options(false);
    signedOptions.insert(signedOptions.end(), {"-key", key});

    fs::remove(dir / "srv/UpdateList.xml.zip.minisig");
    PROCESS_RESULT refused = RunProgram(TOVARIN, signedOptions, kNoDisplay, 60);
    EXPECT_EQ(refused.status, 1) << refused.output;
    EXPECT_NE(refused.output.find("无法验证更新包,更新已取消\n"), std::string::npos) << refused.output;
    EXPECT_EQ(ReadFile(dir / "prog/sample"), "#!/bin/sh\necho v1\n");

    std::vector<std::string> dangling = Options(false);
    dangling.push_back("-key");
    PROCESS_RESULT usage = RunProgram(TOVARIN, dangling, kNoDisplay, 30);
    EXPECT_EQ(usage.status, 2) << usage.output;
    EXPECT_EQ(usage.output, "");

    published = RunProgram(TOVARIN_PUBLISH, publish, {}, 60);
    ASSERT_EQ(published.status, 0) << published.output;
    signedOptions.push_back("-reboot");
    PROCESS_RESULT installed = RunProgram(TOVARIN, signedOptions, kNoDisplay, 120);
    EXPECT_EQ(installed.status, 0) << installed.output;
    EXPECT_EQ(ReadFile(dir / "prog/sample"), ReadFile(dir / "v2/sample"));
    EXPECT_TRUE(Started());
}

TEST_F(TovarinEndToEnd, WindowRunsTheWholeUpdate)
{
    Publish();
    Serve();
    ShowDisplay(800, 600);
    PROCESS_RESULT r = RunProgram(TOVARIN, Options(), {}, 120);
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.output, "") << "the window writes nothing to the terminal";
    EXPECT_EQ(ReadFile(dir / "prog/data/level1.dat"), ReadFile(dir / "v2/data/level1.dat"));
    EXPECT_TRUE(Started());
}

}  // namespace
