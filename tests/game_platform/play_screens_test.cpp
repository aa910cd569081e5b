// The game played under a private Xvfb with the shipped pictures, as a
// person sees it: the player on the first level's ground and walking, and a
// scripted play on a small level (a coin out of its emptied block, a brick
// broken into pieces by a big player), recorded with --record and replayed
// exactly by gorbo-sim. Each screenshot is kept in SCREENS_DIR.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>

#include "process.h"
#include "temp_folder.h"
#include "wait.h"
#include "xvfb.h"

namespace fs = std::filesystem;
using namespace test;

namespace {

constexpr Rgb kKey{255, 60, 174};

struct Cell {
    int left, top, width, height;
};

// The cell drawn at (sx, sy): every pixel of the cell that is not the key
// colour shows on the screen, and there are enough of them to tell.
bool CellShownAt(const Screenshot& shot, const Screenshot& sheet, Cell cell, int sx, int sy)
{
    int opaque = 0;
    for (int j = 0; j < cell.height; ++j) {
        for (int i = 0; i < cell.width; ++i) {
            const Rgb c = sheet.At(cell.left + i, cell.top + j);
            if (c == kKey)
                continue;
            const int x = sx + i;
            const int y = sy + j;
            if (x < 0 || y < 0 || x >= shot.width || y >= shot.height || !(shot.At(x, y) == c))
                return false;
            ++opaque;
        }
    }
    return opaque >= cell.width * cell.height / 8;
}

// Where one of the cells shows within the given ranges of positions.
std::optional<std::pair<int, int>> FindCell(const Screenshot& shot, const Screenshot& sheet,
                                            const std::vector<Cell>& cells, int x0, int x1, int y0, int y1)
{
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x)
            for (const Cell& c : cells)
                if (CellShownAt(shot, sheet, c, x, y))
                    return std::make_pair(x, y);
    return std::nullopt;
}

// The last line of a program's output run through the shell.
std::string LastLine(const std::string& text)
{
    std::string s = text;
    while (!s.empty() && s.back() == '\n')
        s.pop_back();
    const std::size_t nl = s.rfind('\n');
    return nl == std::string::npos ? s : s.substr(nl + 1);
}

const fs::path kGameFolder = fs::path(GORBO_EXE).parent_path();

class PlayScreens : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!ToolAvailable("Xvfb") || !ToolAvailable("xdotool") || !ToolAvailable("import") ||
            !ToolAvailable("convert"))
            GTEST_SKIP() << "Xvfb, xdotool or ImageMagick missing";
        dir = folder.Path();
        fs::create_directories(SCREENS_DIR);
        ASSERT_TRUE(ReadBmp((kGameFolder / "graphics/player.bmp").string(), playerSheet));
        ASSERT_TRUE(ReadBmp((kGameFolder / "graphics/tile.bmp").string(), tileSheet));
        ASSERT_TRUE(ReadBmp((kGameFolder / "graphics/coin.bmp").string(), coinSheet));
        ASSERT_TRUE(ReadBmp((kGameFolder / "graphics/debris.bmp").string(), debrisSheet));
    }
    // The game (or a copy of it), with only the variables it needs in its
    // environment (and the sanitizers' options), its window shown and
    // focused.
    std::unique_ptr<Process> Start(const Xvfb& x, const fs::path& exe, const std::vector<std::string>& args = {})
    {
        PROCESS_OPTIONS options;
        options.env = {"DISPLAY=" + x.Display(), "SDL_AUDIODRIVER=dummy", "HOME=" + dir.string()};
        for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"})
            if (const char* value = std::getenv(name))
                options.env.push_back(std::string(name) + "=" + value);
        options.clearEnvironment = true;
        auto child = std::make_unique<Process>();
        EXPECT_TRUE(child->Start(exe.string(), args, options)) << exe;
        EXPECT_TRUE(WaitUntil([&] { return x.Run("xdotool search --onlyvisible --name Gorbo >/dev/null 2>&1") == 0; },
                              std::chrono::seconds(20), std::chrono::milliseconds(100)));
        EXPECT_EQ(x.Run("xdotool search --name Gorbo windowfocus --sync >/dev/null 2>&1"), 0);
        return child;
    }
    // Screenshots until found() holds; the last one stays in shot.
    bool ShootUntil(const Xvfb& x, Screenshot& shot, const std::function<bool(const Screenshot&)>& found,
                    std::chrono::milliseconds limit = std::chrono::seconds(5))
    {
        return WaitUntil([&] { return x.Take(shot) && found(shot); }, limit, std::chrono::milliseconds(20));
    }
    void Keep(const Screenshot& shot, const std::string& name)
    {
        const fs::path png = fs::path(SCREENS_DIR) / name;
        const fs::path ppm = dir / (name + ".ppm");
        ASSERT_TRUE(shot.SavePpm(ppm.string()));
        EXPECT_EQ(RunProcess("convert", {ppm.string(), png.string()}).status, 0) << name;
    }
    // The summary line of gorbo-sim run with args.
    std::string Simulate(const std::vector<std::string>& args)
    {
        const PROCESS_RESULT r = RunProcess(GORBO_SIM_EXE, args);
        EXPECT_EQ(r.status, 0) << r.output;
        return LastLine(r.output);
    }
    // Cells of the player sheet: entry i of the frame table, small or big.
    Cell PlayerCell(int entry, bool big) const
    {
        const int h = big ? 64 : 32;
        return Cell{(entry % 8) * 32, (entry / 8) * h + (big ? 64 : 0), 32, h};
    }
    static Cell TileCell(int picture) { return Cell{(picture % 16) * 32, (picture / 16) * 32, 32, 32}; }

    TempFolder folder;
    fs::path dir;
    Screenshot playerSheet, tileSheet, coinSheet, debrisSheet;
};

TEST_F(PlayScreens, ThePlayerStandsOnTheFirstLevelsGroundAndWalksRightUnderTheRightArrow)
{
    // Where the player comes to rest on the shipped first level, as the
    // simulator has it.
    const std::string rest = Simulate({"--frames", "60"});
    float px = 0, py = 0;
    ASSERT_EQ(std::sscanf(rest.c_str(), "frames 60, level %*d, x %f, y %f", &px, &py), 2) << rest;
    const int sx = static_cast<int>(px);
    const int sy = static_cast<int>(py);

    Xvfb x;
    ASSERT_TRUE(x.Start(640, 480));
    auto game = Start(x, GORBO_EXE);
    Screenshot shot;
    ASSERT_TRUE(ShootUntil(x, shot, [&](const Screenshot& s) {
        return CellShownAt(s, playerSheet, PlayerCell(0, false), sx, sy);
    })) << "the player standing at " << sx << ", " << sy;
    Keep(shot, "level1_start.png");

    x.Run("xdotool keydown Right sleep 0.7");
    ASSERT_TRUE(x.Take(shot));
    x.Run("xdotool keyup Right");
    Keep(shot, "level1_walking.png");
    // Walking right, facing right: a walk cell (entries 1 to 3) right of where
    // it stood, on the same ground.
    const std::vector<Cell> walk = {PlayerCell(1, false), PlayerCell(2, false), PlayerCell(3, false)};
    const auto found = FindCell(shot, playerSheet, walk, 0, 600, sy - 2, sy + 2);
    ASSERT_TRUE(found.has_value()) << "no walking player";
    EXPECT_EQ(found->second, sy);
    EXPECT_GT(found->first, sx);
    x.Run("xdotool key Escape");
    EXPECT_EQ(game->Wait(std::chrono::seconds(10)), 0) << game->Output();
}

// Row 9: a coin block at column 0, a power block at 2 (over the start), a
// brick at 4; a wall of two blocks at column 5 turns the mushroom back to
// the player and stops the player under the brick.
std::string ScriptedLevel()
{
    std::vector<std::string> rows(15, std::string(30, '.'));
    rows[9][0] = 'C';
    rows[9][2] = 'P';
    rows[9][4] = 'B';
    rows[11][5] = rows[12][5] = 'X';
    rows[13] = std::string(30, '#');
    rows[14] = std::string(30, '=');
    const std::string legend = ".#=XBCP";
    const int pictures[] = {0, 2, 4, 7, 8, 9, 10};   // picture + 1
    const int kinds[] = {0, 1, 1, 1, 2, 3, 4};       // kind + 1
    std::string s = "0\n30 15\n";
    for (int layer = 0; layer < 2; ++layer)
        for (const std::string& row : rows) {
            for (char c : row) {
                const std::size_t i = legend.find(c);
                s += std::to_string(layer == 0 ? pictures[i] : kinds[i]) + " ";
            }
            s += "\n";
        }
    return s + "0\n0\n0\n";
}

TEST_F(PlayScreens, ACoinOverItsEmptiedBlockAndABrickInPiecesAndTheRecordReplaysExactly)
{
    fs::copy(kGameFolder / "graphics", dir / "graphics", fs::copy_options::recursive);
    fs::copy_file(kGameFolder / "bright.pal", dir / "bright.pal");
    fs::create_directories(dir / "level");
    std::ofstream(dir / "level" / "level1.dat") << ScriptedLevel();
    fs::copy_file(GORBO_EXE, dir / "gorbo");
    const fs::path record = dir / "play.keys";

    Xvfb x;
    ASSERT_TRUE(x.Start(640, 480));
    auto game = Start(x, dir / "gorbo", {"--record", record.string()});
    Screenshot shot;
    ASSERT_TRUE(ShootUntil(x, shot, [&](const Screenshot& s) {
        return CellShownAt(s, playerSheet, PlayerCell(0, false), 64, 386);
    }));

    // The power block over the start: the mushroom slides to the wall, comes
    // back and makes the standing player big.
    x.Run("xdotool keydown space sleep 0.3 keyup space");
    ASSERT_TRUE(ShootUntil(
        x, shot, [&](const Screenshot& s) { return CellShownAt(s, playerSheet, PlayerCell(0, true), 64, 354); },
        std::chrono::seconds(8)))
        << "the player did not grow";

    // To the screen's left edge, under the coin block, and up.
    x.Run("xdotool keydown Left sleep 0.8 keyup Left");
    x.Run("xdotool keydown space");
    const std::vector<Cell> coins = {{0, 0, 16, 32}, {16, 0, 16, 32}, {32, 0, 16, 32}};
    const bool coinSeen = ShootUntil(x, shot, [&](const Screenshot& s) {
        return CellShownAt(s, tileSheet, TileCell(18), 0, 288) && FindCell(s, coinSheet, coins, 8, 8, 160, 268);
    });
    x.Run("xdotool keyup space");
    Keep(shot, "coin_over_emptied_block.png");
    EXPECT_TRUE(coinSeen) << "no coin above the emptied block";

    // Right to the wall, under the brick, and up: the big player breaks it.
    x.Run("xdotool keydown Right sleep 1.0 keyup Right");
    x.Run("xdotool keydown space");
    const std::vector<Cell> pieces = {{0, 0, 16, 16}, {16, 0, 16, 16}, {32, 0, 16, 16}, {48, 0, 16, 16}};
    const bool piecesSeen = ShootUntil(x, shot, [&](const Screenshot& s) {
        return FindCell(s, debrisSheet, pieces, 40, 260, 150, 420).has_value();
    });
    x.Run("xdotool keyup space");
    Keep(shot, "brick_in_pieces.png");
    EXPECT_TRUE(piecesSeen) << "no brick pieces";
    EXPECT_FALSE(CellShownAt(shot, tileSheet, TileCell(7), 128, 288)) << "the brick is still there";

    x.Run("xdotool key Escape");
    ASSERT_EQ(game->Wait(std::chrono::seconds(10)), 0) << game->Output();

    // The record ends with where the play ended; the simulator reaches the
    // very same state from it.
    const std::string recorded = ReadFile(record);
    const std::string end = LastLine(recorded);
    ASSERT_EQ(end.rfind("# end: frames ", 0), 0u) << end;
    EXPECT_EQ(Simulate({"--data", dir.string(), "--keys", record.string()}), end.substr(7));
}

}  // namespace
