// The updater killed at random moments of a large update and run again with
// the same options each time: no installed file is ever torn (each is the
// old or the new content), and in the end the program folder equals the
// published tree.
#include <chrono>
#include <random>
#include <thread>

#include <gtest/gtest.h>

#include "tovarin_thread.h"
#include "update_fixture.h"

using namespace test;

namespace {

// Runs the headless updater to its end; its exit status.
int RunUpdater(const std::vector<std::string>& args)
{
    PROCESS_OPTIONS quiet;
    quiet.discardOutput = true;
    return RunProcess(TOVARIN_HEADLESS, args, quiet).status;
}

TEST(Crash, KilledUpdatesNeverTearFilesAndFinallyMatch)
{
    TempFolder dir;
    const std::string prog = dir / "prog", down = dir / "down", src = dir / "src", srv = dir / "srv";
    std::map<std::string, std::string> oldFiles;
    for (int i = 0; i < 100; ++i) {
        const std::string name = "folder" + std::to_string(i % 7) + "/file" + std::to_string(i) + ".bin";
        const std::size_t size = 20000 + (i * 7919) % 180000;
        WriteFile(src + "/" + name, RandomBytes(size, 1000 + i));
        if (i % 5 != 0) {  // a fifth of the files are new
            oldFiles[name] = RandomBytes(size / 2 + 1, 5000 + i);
            WriteFile(prog + "/" + name, oldFiles[name]);
        }
    }
    for (int i = 0; i < 2; ++i)
        WriteFile(src + "/big" + std::to_string(i) + ".bin", RandomBytes(2 << 20, 77 + i));
    Publish(src, srv, "3.0");
    const auto newFiles = ReadTree(src);
    Nginx nginx;
    ASSERT_TRUE(nginx.Start(srv));
    const std::vector<std::string> args = {"-name", "prog", "-number", "3.0", "-prog", prog, "-down", down, "-http", nginx.Url()};

    // How long one whole update takes here, measured on a copy.
    const std::string probe = dir / "probe";
    MakeFolders(probe + "/down");
    MakeFolders(probe + "/prog");
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(RunUpdater({"-name", "prog", "-number", "3.0", "-prog", probe + "/prog", "-down", probe + "/down",
                          "-http", nginx.Url()}), 0);
    const auto whole = std::chrono::steady_clock::now() - start;
    const long wholeMicros = std::chrono::duration_cast<std::chrono::microseconds>(whole).count();

    const unsigned seed = std::random_device{}();
    std::mt19937 random(seed);
    SCOPED_TRACE("seed " + std::to_string(seed));
    for (int kill = 0; kill < 20; ++kill) {
        MakeFolders(down);
        Process updater;
        PROCESS_OPTIONS quiet;
        quiet.discardOutput = true;
        ASSERT_TRUE(updater.Start(TOVARIN_HEADLESS, args, quiet));
        // A random moment of the update, not a wait for anything.
        std::this_thread::sleep_for(std::chrono::microseconds(random() % (wholeMicros + 1)));
        updater.Kill();

        for (const auto& [name, contents] : ReadTree(prog)) {
            if (name.find(".tovarin-new") != std::string::npos)
                continue;  // a copy in progress, never an installed file
            const auto old = oldFiles.find(name);
            const bool isOld = old != oldFiles.end() && old->second == contents;
            const auto fresh = newFiles.find(name);
            const bool isNew = fresh != newFiles.end() && fresh->second == contents;
            EXPECT_TRUE(isOld || isNew) << "torn or foreign: " << name << " after kill " << kill;
        }
    }
    int status = -1;
    for (int run = 0; run < 3 && status != 0 && status != 1; ++run) {
        MakeFolders(down);
        status = RunUpdater(args);
    }
    EXPECT_TRUE(status == 0 || status == 1) << status;
    EXPECT_TRUE(ReadTree(prog) == newFiles);
}

// Two updaters started at once on the same folders, round after round:
// both end normally (never a crash), exactly one of any two that overlap
// gets the folders while the other is refused, and every round ends with
// the exact tree and no temporary file. The outcome line of the headless
// updater tells a refusal from a failure.
TEST(Crash, TwoUpdatersAtOnceNeverLoseAFile)
{
    TempFolder dir;
    const std::string prog = dir / "prog", down = dir / "down", src = dir / "src", srv = dir / "srv";
    for (int i = 0; i < 40; ++i)
        WriteFile(src + "/f" + std::to_string(i % 4) + "/file" + std::to_string(i), RandomBytes(30000 + i * 911, 300 + i));
    Publish(src, srv, "2.0");
    const auto newFiles = ReadTree(src);
    Nginx nginx;
    ASSERT_TRUE(nginx.Start(srv));
    const std::vector<std::string> args = {"-name", "prog", "-number", "2.0", "-prog", prog, "-down", down, "-http", nginx.Url()};
    const std::string busy = "outcome " + std::to_string(UPDATE_OUTCOME_BUSY);
    int refusals = 0;
    for (int round = 0; round < 8; ++round) {
        std::filesystem::remove_all(prog);
        std::filesystem::remove_all(down);
        for (int i = 0; i < 40; i += 3)
            WriteFile(prog + "/f" + std::to_string(i % 4) + "/file" + std::to_string(i), "old " + std::to_string(i));
        MakeFolders(down);
        Process first, second;
        ASSERT_TRUE(first.Start(TOVARIN_HEADLESS, args));
        ASSERT_TRUE(second.Start(TOVARIN_HEADLESS, args));
        const int statuses[] = {first.Wait(std::chrono::seconds(120)), second.Wait(std::chrono::seconds(120))};
        const std::string outputs[] = {first.Output(), second.Output()};
        int installed = 0;
        for (int i = 0; i < 2; ++i) {
            // 0 installed, 1 nothing left to do, 2 refused or (when the
            // other had already finished and removed the download folder)
            // no list: never a signal.
            EXPECT_TRUE(statuses[i] >= 0 && statuses[i] <= 2) << statuses[i] << " " << outputs[i];
            installed += statuses[i] == 0;
            refusals += outputs[i].find(busy) != std::string::npos;
        }
        EXPECT_GE(installed, 1) << outputs[0] << outputs[1];
        EXPECT_TRUE(ReadTree(prog) == newFiles) << "round " << round;
    }
    std::printf("%d of 8 rounds overlapped and refused the second updater\n", refusals);
}

} // namespace
