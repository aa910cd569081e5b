// The gorbo-sim tool: its files byte for byte, its summary line, the frames
// it runs, bad input refused with status 2 and nothing written, and the
// program itself with its default data folder and a script on standard
// input.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "game_files.h"
#include "process.h"
#include "simulator.h"
#include "tilemap.h"

namespace fs = std::filesystem;

namespace {

struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
    // The last line of standard output.
    std::string Summary() const
    {
        std::string s = out;
        if (!s.empty() && s.back() == '\n')
            s.pop_back();
        return s.substr(s.rfind('\n') == std::string::npos ? 0 : s.rfind('\n') + 1);
    }
};

std::string ReadAll(std::FILE* f)
{
    std::string s;
    std::rewind(f);
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        s.append(buffer, n);
    std::fclose(f);
    return s;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::stringstream s(text);
    for (std::string line; std::getline(s, line);)
        lines.push_back(line);
    return lines;
}

class SimTool : public ::testing::Test {
protected:
    void SetUp() override
    {
        SimReset();
        fs::create_directories(dir.Path("data/level"));
        data = dir.Path("data");
    }
    void TearDown() override { SimReset(); }
    void WriteLevel(int n, const std::vector<std::string>& rows, int dark = 0)
    {
        dir.Write("data/level/level" + std::to_string(n) + ".dat", LevelFromRows(rows, dark));
    }
    ToolRun Run(std::vector<std::string> args)
    {
        std::vector<const char*> argv = {"gorbo-sim"};
        for (const std::string& a : args)
            argv.push_back(a.c_str());
        std::FILE* out = std::tmpfile();
        std::FILE* err = std::tmpfile();
        ToolRun r;
        r.status = RunSimulator(static_cast<int>(argv.size()), argv.data(), data, out, err);
        r.out = ReadAll(out);
        r.err = ReadAll(err);
        return r;
    }
    TempFolder dir;
    std::string data;
};

const std::vector<std::string> kFlat = {std::string(30, '#'), std::string(30, '=')};

TEST_F(SimTool, TraceRowsAfterEachFrameWithExactFloats)
{
    WriteLevel(1, kFlat);
    const ToolRun r = Run({"--frames", "3", "--trace", "trace.csv"});
    ASSERT_EQ(r.status, 0) << r.err;
    // Frame 1: the player standing 3 px above the ground loses its support;
    // frame 2: it falls at 1200 px/s^2 in 0.016 s steps.
    EXPECT_EQ(ReadFile("trace.csv"),
              "frame,level,x,y,vx,vy,ax,ay,action,kind,facing,onGround,firePower,blinking,scrollX,actors\n"
              "1,1,64,383,0,0,0,1200,1,0,1,0,0,0,0,0\n"
              "2,1,64,383.30719,0,19.2000008,0,1200,1,0,1,0,0,0,0,0\n"
              "3,1,64,383.9216,0,38.4000015,0,1200,1,0,1,0,0,0,0,0\n");
    EXPECT_EQ(r.Summary(), "frames 3, level 1, x 64, y 383.9216, action 1");
    EXPECT_EQ(r.err, "");
}

TEST_F(SimTool, ActorRowsInListOrderEveryFrame)
{
    WriteLevel(1, {"......g..................t" + std::string(4, '.'), kFlat[0], kFlat[1]});
    const ToolRun r = Run({"--frames", "2", "--actors", "actors.csv"});
    ASSERT_EQ(r.status, 0) << r.err;
    // The turtle (spawned last) first, waiting more than 640 px right of the
    // player; the ghost is awake, walks, and from its second frame falls the
    // 2 px to the ground.
    EXPECT_EQ(ReadFile("actors.csv"),
              "frame,index,kind,action,facing,active,x,y,vx,vy\n"
              "1,0,1,2,0,0,800,368,-80,0\n"
              "1,1,0,2,0,1,190.800003,384,-75,0\n"
              "2,0,1,2,0,0,800,368,-80,0\n"
              "2,1,0,2,0,1,189.600006,384.30719,-75,19.2000008\n");
}

TEST_F(SimTool, MapOutIsALoadableLevelWithTheButtedBlocks)
{
    std::vector<std::string> rows(13, std::string(30, '.'));
    rows[9][2] = 'C';
    rows[9][8] = 'P';
    rows[3][5] = 'B';
    rows[12][20] = 'g';
    rows.push_back(kFlat[0]);
    rows.push_back(kFlat[1]);
    WriteLevel(1, rows, 3);
    dir.Write("script.keys", "# jump into the coin block\n40 J\n");
    const ToolRun r = Run({"--keys", "script.keys", "--map-out", "map.dat"});
    ASSERT_EQ(r.status, 0) << r.err;
    int dark = 0;
    CTileMap map;
    LevelEnemies enemies;
    ASSERT_TRUE(LoadLevelFile("map.dat", dark, map, nullptr, enemies));
    EXPECT_EQ(dark, 3);
    EXPECT_EQ(map.cols, 30);
    EXPECT_EQ(map.rows, 15);
    EXPECT_TRUE(enemies.ghosts.empty());
    CTileMap original;
    LevelEnemies fileEnemies;
    ASSERT_TRUE(LoadLevelFile("data/level/level1.dat", dark, original, nullptr, fileEnemies));
    ASSERT_EQ(fileEnemies.ghosts.size(), 1u);
    for (int i = 0; i < 30 * 15; ++i) {
        const bool butted = i == original.Index(2, 9);
        EXPECT_EQ(map.kinds[i], butted ? TILE_SOLID : original.kinds[i]) << i;
        EXPECT_EQ(map.pictures[i], butted ? PIC_USED_BLOCK : original.pictures[i]) << i;
    }
}

TEST_F(SimTool, FramesComeFromTheScriptOr600AndScriptStepsReplaceTheDefault)
{
    WriteLevel(1, std::vector<std::string>{std::string(200, '#'), std::string(200, '=')});
    dir.Write("walk.keys", "10 R\n5 RA 0.05\n\n# then nothing\n3 -\n");
    const struct {
        std::vector<std::string> args;
        const char* framesWord;
    } cases[] = {
        {{}, "frames 600,"},
        {{"--keys", "walk.keys"}, "frames 18,"},
        {{"--keys", "walk.keys", "--frames", "4"}, "frames 4,"},
        {{"--keys", "walk.keys", "--frames", "25"}, "frames 25,"},
        {{"--frames", "0"}, "frames 0,"},
    };
    for (const auto& c : cases) {
        const ToolRun r = Run(c.args);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.Summary().rfind(c.framesWord, 0), 0u) << r.Summary();
    }
    // The same play in the library, frame by frame.
    ASSERT_TRUE(fs::exists("data/level/level1.dat"));
    const ToolRun scripted = Run({"--keys", "walk.keys", "--dt", "0.02"});
    fs::current_path("data");
    ASSERT_TRUE(SimStart(0));
    for (int i = 0; i < 10; ++i)
        SimFrame(0.02f, 0x01);
    for (int i = 0; i < 5; ++i)
        SimFrame(0.05f, 0x11);
    for (int i = 0; i < 3; ++i)
        SimFrame(0.02f, 0);
    fs::current_path("..");
    EXPECT_EQ(scripted.Summary(), SimSummary());
}

TEST_F(SimTool, LevelOptionAsksForThatLevelFirst)
{
    WriteLevel(1, kFlat);
    WriteLevel(2, kFlat);
    EXPECT_EQ(Run({"--frames", "1", "--level", "2"}).Summary().rfind("frames 1, level 2,", 0), 0u);
    EXPECT_EQ(Run({"--frames", "1", "--level", "7"}).Summary().rfind("frames 1, level 1,", 0), 0u);
}

TEST_F(SimTool, BadInputIsRefusedWithStatusTwoAndNothingWritten)
{
    WriteLevel(1, kFlat);
    dir.Write("bad.keys", "10 R\n# fine\n3 RQ\n");
    fs::create_directories(dir.Path("empty"));
    const struct {
        std::vector<std::string> args;
        const char* message;
    } cases[] = {
        {{"--bogus"}, "unknown option \"--bogus\""},
        {{"--dt", "0.06"}, "--dt wants a step of 0 to 0.05 seconds, got \"0.06\""},
        {{"--dt", "-0.001"}, "--dt wants a step"},
        {{"--dt", "fast"}, "--dt wants a step"},
        {{"--frames", "-3"}, "--frames wants a whole number"},
        {{"--frames", "12x"}, "--frames wants a whole number"},
        {{"--level", "two"}, "--level wants a whole number"},
        {{"--keys"}, "--keys needs a value"},
        {{"--keys", "--frames", "3"}, "--keys needs a value"},
        {{"--keys", "missing.keys"}, "cannot read the key script \"missing.keys\""},
        {{"--keys", "bad.keys"}, "key script \"bad.keys\": line 3: the keys \"RQ\""},
        {{"--data", "nowhere"}, "cannot enter the data folder \"nowhere\""},
        {{"--data", "empty"}, "no level file could be read"},
        {{"--trace", "no/such/folder/trace.csv"}, "cannot write"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"--actors", "actors.csv", "--map-out", "map.dat"};
        if (c.args.front() != "--trace") {
            args.emplace_back("--trace");
            args.emplace_back("trace.csv");
        }
        args.insert(args.end(), c.args.begin(), c.args.end());
        const ToolRun r = Run(args);
        EXPECT_EQ(r.status, 2) << c.message;
        EXPECT_EQ(r.err.rfind(std::string("gorbo-sim: ") + c.message, 0), 0u) << r.err;
        EXPECT_EQ(r.out, "");
        for (const char* file : {"trace.csv", "actors.csv", "map.dat"})
            EXPECT_FALSE(fs::exists(file)) << c.message << ": " << file;
    }
}

TEST_F(SimTool, HelpPrintsTheUsageOptionsAndExitStatuses)
{
    const ToolRun r = Run({"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("usage: gorbo-sim [--data DIR] [--level N] [--dt SECONDS] [--frames N] [--keys FILE]", 0),
              0u);
    for (const char* option : {"--data", "--level", "--dt", "--frames", "--keys", "--trace", "--actors", "--map-out"})
        EXPECT_NE(r.out.find(std::string("  ") + option + " "), std::string::npos) << option;
    EXPECT_NE(r.out.find("exit status: 0"), std::string::npos);
    EXPECT_NE(r.out.find("2 bad input"), std::string::npos);
}

// The program beside the game: its default data folder is the game's, and
// a script can come on standard input.
TEST(SimProgram, RunsTheShippedFirstLevelAndReadsAScriptFromStandardInput)
{
    const fs::path exe = GORBO_SIM_EXE;
    ASSERT_TRUE(fs::exists(exe.parent_path() / "level" / "level1.dat"));
    TempFolder dir;
    const test::PROCESS_RESULT r = test::RunShell("printf '30 R\\n20 RJ\\n' | '" + exe.string() + "' --keys -");
    EXPECT_EQ(r.status, 0) << r.output;
    const std::vector<std::string> lines = Lines(r.output);
    ASSERT_EQ(lines.size(), 1u) << r.output;   // nothing but the summary
    EXPECT_TRUE(std::regex_match(lines.back(), std::regex(R"(frames 50, level 1, x [0-9.]+, y [0-9.]+, action \d+)")))
        << lines.back();
}

}  // namespace
