// The tovarin program end to end against a real nginx: the terminal front
// end, the window under Xvfb, and the exit statuses.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "nginx_server.h"
#include "xvfb_display.h"

namespace fs = std::filesystem;

namespace {

void WriteFile(const fs::path& path, const std::string& content, bool executable = false)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
    if (executable) {
        fs::permissions(path, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                  fs::perms::others_read | fs::perms::others_exec);
    }
}

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string RandomBytes(size_t n)
{
    std::mt19937 gen(7);
    std::string s(n, '\0');
    for (char& c : s) {
        c = static_cast<char>(gen());
    }
    return s;
}

// A program folder of version 2 published on nginx, and an installed copy of
// version 1 with one file changed and one missing.
class TovarinEndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        dir = fs::path(::testing::TempDir()) / ("tovarin_e2e_" + name + "_" + std::to_string(getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir / "down");
        WriteFile(dir / "v2/sample", "#!/bin/sh\necho v2 > \"$(dirname \"$0\")/started.txt\"\n", true);
        WriteFile(dir / "v2/data/level1.dat", RandomBytes(bigFile));
        WriteFile(dir / "v2/readme.txt", "same in both\n");
        WriteFile(dir / "prog/sample", "#!/bin/sh\necho v1\n", true);
        WriteFile(dir / "prog/readme.txt", "same in both\n");
    }
    void TearDown() override
    {
        server.Stop();
        display.Stop();
        fs::remove_all(dir);
    }

    void Publish()
    {
        RUN_RESULT r = RunProgram(TOVARIN_PUBLISH, {"--quiet", "--version", "2", "--name", "sample",
                                                    (dir / "v2").string(), (dir / "srv").string()},
                                  {}, 60);
        ASSERT_EQ(r.exitCode, 0) << r.output;
    }
    void Serve(const std::string& rate = "")
    {
        fs::create_directories(dir / "srv");
        fs::create_directories(dir / "nginx");
        ASSERT_TRUE(server.Start((dir / "nginx").string(), (dir / "srv").string(), rate));
    }
    std::vector<std::string> Options(bool reboot = true) const
    {
        std::vector<std::string> args{"-name", "sample", "-number", "2", "-prog", (dir / "prog").string(),
                                      "-down", (dir / "down").string(), "-http", server.BaseUrl()};
        if (reboot) {
            args.push_back("-reboot");
        }
        return args;
    }
    // Waits a little for the detached program to leave its mark.
    bool Started() const
    {
        for (int i = 0; i < 100; ++i) {
            if (fs::exists(dir / "prog/started.txt")) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }

    size_t bigFile = 200000;
    fs::path dir;
    CNginxServer server;
    CXvfbDisplay display;
};

const std::vector<std::string> kNoDisplay{"DISPLAY=", "WAYLAND_DISPLAY="};

TEST_F(TovarinEndToEnd, TerminalFrontEndInstallsAndStartsTheProgram)
{
    Publish();
    Serve();
    RUN_RESULT r = RunProgram(TOVARIN, Options(), kNoDisplay, 120);
    EXPECT_EQ(r.exitCode, 0) << r.output;
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
    RUN_RESULT r = RunProgram(TOVARIN, Options(false), {"DISPLAY=:9999", "WAYLAND_DISPLAY="}, 120);
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_NE(r.output.find("  0/66 正在检查新的版本...\n"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("] 66/66"), std::string::npos) << r.output;
}

TEST_F(TovarinEndToEnd, ExitStatuses)
{
    Publish();
    Serve();
    // Nothing to update once installed.
    ASSERT_EQ(RunProgram(TOVARIN, Options(false), kNoDisplay, 120).exitCode, 0);
    fs::create_directories(dir / "down");
    RUN_RESULT current = RunProgram(TOVARIN, Options(false), kNoDisplay, 60);
    EXPECT_EQ(current.exitCode, 0) << current.output;
    EXPECT_EQ(current.output.find("66/66"), std::string::npos);

    // A damaged archive on the server: the download fails.
    WriteFile(dir / "prog/readme.txt", "changed locally\n");
    WriteFile(dir / "srv/readme.txt.zip", "not a zip archive");
    RUN_RESULT failed = RunProgram(TOVARIN, Options(), kNoDisplay, 60);
    EXPECT_EQ(failed.exitCode, 1) << failed.output;
    EXPECT_FALSE(fs::exists(dir / "prog/started.txt"));

    // No list on the server.
    fs::remove(dir / "srv/UpdateList.xml.zip");
    fs::remove_all(dir / "down");
    fs::create_directories(dir / "down");
    RUN_RESULT noList = RunProgram(TOVARIN, Options(), kNoDisplay, 60);
    EXPECT_EQ(noList.exitCode, 1) << noList.output;
}

TEST_F(TovarinEndToEnd, AMissingRequiredOptionStartsNothing)
{
    Serve();
    ASSERT_TRUE(display.Start(640, 480));
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
            RUN_RESULT r = RunProgram(TOVARIN, line, withDisplay ? std::vector<std::string>{} : kNoDisplay, 30);
            EXPECT_EQ(r.exitCode, 2) << line.size();
            EXPECT_EQ(r.output, "");
        }
    }
    EXPECT_EQ(server.RequestCount(), 0) << "no connection";
    EXPECT_FALSE(fs::exists(dir / "prog/started.txt"));
}

// The program's window during a throttled update: centred, 566 x 73, status
// text and byte line drawn, the bar at the step of the file being fetched.
TEST_F(TovarinEndToEnd, WindowShowsTheUpdateAndEscapeEndsItEarly)
{
    bigFile = 2000000;
    SetUp();
    Publish();
    Serve("200k");
    ASSERT_TRUE(display.Start(1024, 768));
    std::atomic<bool> running{true};
    RUN_RESULT r;
    std::thread program([&] {
        r = RunProgram(TOVARIN, Options(), {}, 120);
        running = false;
    });
    const int x0 = (1024 - 566) / 2, y0 = (768 - 73) / 2;
    RGB_SHOT shot;
    bool seen = false;
    const std::string path = (dir / "shot.rgb").string();
    for (int i = 0; i < 100 && running && !seen; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (display.Screenshot(path) && shot.Load(path, 1024, 768)) {
            // The byte line is up: bright ink in the lower label, above the
            // skin's gold frame (its last three rows).
            int ink = 0;
            for (int y = y0 + 49; y < y0 + 70; ++y) {
                for (int x = x0 + 150; x < x0 + 416; ++x) {
                    const unsigned p = shot.At(x, y);
                    ink += (p >> 16) >= 160 && ((p >> 8) & 0xFF) >= 160 && (p & 0xFF) < (p >> 16);
                }
            }
            seen = ink > 40;
        }
    }
    ASSERT_TRUE(seen) << "no window with a byte line";
    EXPECT_EQ(shot.At(x0 - 1, y0 + 10), 0u);
    EXPECT_NE(shot.At(x0, y0), 0u);
    EXPECT_NE(shot.At(x0 + 565, y0 + 72), 0u);
    EXPECT_EQ(shot.At(x0 + 566, y0 + 72), 0u);
    EXPECT_EQ(shot.At(x0 + 565, y0 + 73), 0u);
    int statusInk = 0;
    for (int y = y0 + 3; y < y0 + 28; ++y) {
        for (int x = x0 + 20; x < x0 + 520; ++x) {
            const unsigned p = shot.At(x, y);
            statusInk += (p >> 16) >= 160 && ((p >> 8) & 0xFF) >= 160 && (p & 0xFF) < (p >> 16);
        }
    }
    EXPECT_GT(statusInk, 60);
    // One pending file: its status carries step 3, so three cells.
    const unsigned cell = shot.At(x0 + 26 + 4, y0 + 38);
    int cells = 0;
    for (int i = 0; i < 65; ++i) {
        cells += shot.At(x0 + 26 + 8 * i + 4, y0 + 38) == cell;
    }
    EXPECT_EQ(cells, 3);
    if (cells != 3) {
        fs::copy_file(path, fs::path(::testing::TempDir()) / "tovarin_e2e_failed.rgb", fs::copy_options::overwrite_existing);
    }

    // Escape ends the window before the worker is done: the update did not finish.
    const std::string press =
        "DISPLAY=" + display.Name() + " xdotool search --name '^Tovarin$' windowfocus --sync key Escape 2>/dev/null";
    for (int i = 0; i < 50 && running; ++i) {
        std::system(press.c_str());
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    program.join();
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_FALSE(fs::exists(dir / "prog/started.txt"));
}

// -key: a list signed by the publisher installs; without its signature the
// update says it cannot be verified and ends with status 1, nothing
// installed or started; a -key left without its value is a usage error.
TEST_F(TovarinEndToEnd, SignedUpdateAndAnUnverifiableOne)
{
    ASSERT_EQ(std::system(("minisign -G -W -p '" + (dir / "key.pub").string() + "' -s '" +
                           (dir / "key.key").string() + "' >/dev/null").c_str()),
              0);
    const std::string pub = ReadFile(dir / "key.pub");
    const std::string key = pub.substr(pub.find('\n') + 1, 56);
    RUN_RESULT published = RunProgram(TOVARIN_PUBLISH, {"--quiet", "--version", "2", "--sign", (dir / "key.key").string(),
                                                        (dir / "v2").string(), (dir / "srv").string()},
                                      {}, 60);
    ASSERT_EQ(published.exitCode, 0) << published.output;
    Serve();
    std::vector<std::string> signedOptions = Options(false);
    signedOptions.insert(signedOptions.end(), {"-key", key});

    fs::remove(dir / "srv/UpdateList.xml.zip.minisig");
    RUN_RESULT refused = RunProgram(TOVARIN, signedOptions, kNoDisplay, 60);
    EXPECT_EQ(refused.exitCode, 1) << refused.output;
    EXPECT_NE(refused.output.find("无法验证更新包,更新已取消\n"), std::string::npos) << refused.output;
    EXPECT_EQ(ReadFile(dir / "prog/sample"), "#!/bin/sh\necho v1\n");

    std::vector<std::string> dangling = Options(false);
    dangling.push_back("-key");
    RUN_RESULT usage = RunProgram(TOVARIN, dangling, kNoDisplay, 30);
    EXPECT_EQ(usage.exitCode, 2) << usage.output;
    EXPECT_EQ(usage.output, "");

    published = RunProgram(TOVARIN_PUBLISH, {"--quiet", "--version", "2", "--sign", (dir / "key.key").string(),
                                             (dir / "v2").string(), (dir / "srv").string()},
                           {}, 60);
    ASSERT_EQ(published.exitCode, 0) << published.output;
    signedOptions.push_back("-reboot");
    RUN_RESULT installed = RunProgram(TOVARIN, signedOptions, kNoDisplay, 120);
    EXPECT_EQ(installed.exitCode, 0) << installed.output;
    EXPECT_EQ(ReadFile(dir / "prog/sample"), ReadFile(dir / "v2/sample"));
    EXPECT_TRUE(Started());
}

TEST_F(TovarinEndToEnd, WindowRunsTheWholeUpdate)
{
    Publish();
    Serve();
    ASSERT_TRUE(display.Start(800, 600));
    RUN_RESULT r = RunProgram(TOVARIN, Options(), {}, 120);
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(r.output, "") << "the window writes nothing to the terminal";
    EXPECT_EQ(ReadFile(dir / "prog/data/level1.dat"), ReadFile(dir / "v2/data/level1.dat"));
    EXPECT_TRUE(Started());
}

}  // namespace
