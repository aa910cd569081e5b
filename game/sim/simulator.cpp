#include "simulator.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <vector>

#include "display.h"
#include "gameflow.h"
#include "input.h"
#include "mainloop.h"
#include "null_platform.h"
#include "player.h"
#include "replay.h"
#include "sprite.h"
#include "tilemap.h"

namespace fs = std::filesystem;

const char SIM_TRACE_HEADER[] =
    "frame,level,x,y,vx,vy,ax,ay,action,kind,facing,onGround,firePower,blinking,scrollX,actors";
const char SIM_ACTORS_HEADER[] = "frame,index,kind,action,facing,active,x,y,vx,vy";

namespace {

long long s_frames = 0;
double s_clockMs = 0.0;   // virtual time since SimStart

constexpr float DEFAULT_STEP = 0.016f;
constexpr long long FRAMES_WITHOUT_SCRIPT = 600;

// The clock moves on by the step. A step of whole milliseconds (as the game
// records them) moves it by exactly that many; others carry their fraction.
void AdvanceClock(float dt)
{
    double ms = static_cast<double>(dt) * 1000.0;
    const double nearest = std::round(ms);
    if (std::fabs(ms - nearest) < 1e-4)
        ms = nearest;
    s_clockMs += ms;
    const auto whole = static_cast<unsigned long long>(std::floor(s_clockMs));
    NullPlatform().ticks = static_cast<std::uint32_t>(whole);
}

void HoldKeys(std::uint8_t keys)
{
    NullPlatformState& p = NullPlatform();
    for (bool& held : p.held)
        held = false;
    p.held[GKEY_RIGHT] = (keys & KEY_RIGHT) != 0;
    p.held[GKEY_LEFT] = (keys & KEY_LEFT) != 0;
    p.held[GKEY_LSHIFT] = (keys & KEY_ACTION) != 0;
    p.held[GKEY_SPACE] = (keys & KEY_JUMP) != 0;
}

int CountActors()
{
    int n = 0;
    for (CSprite* s = g_sprites.head; s != nullptr; s = s->next)
        ++n;
    return n;
}

double D(float v)
{
    return static_cast<double>(v);
}

}  // namespace

void SimReset()
{
    ResetProgramState();
    ResetNullPlatform(NullRecord::Off);
    s_frames = 0;
    s_clockMs = 0.0;
}

bool SimStart(int level)
{
    SimReset();
    g_level = level;
    InitDisplay();
    return InitGame();
}

void SimFrame(float dt, std::uint8_t keys)
{
    AdvanceClock(dt);
    HoldKeys(keys);
    UpdateWorld(dt);
    DrawFrame();
    ++s_frames;
}

long long SimFrames()
{
    return s_frames;
}

std::string SimTraceRow(long long frame)
{
    const CPlayer& p = g_player;
    char row[512];
    std::snprintf(row, sizeof row, "%lld,%d,%.9g,%.9g,%.9g,%.9g,%.9g,%.9g,%d,%d,%d,%d,%d,%d,%d,%d\n", frame, g_level,
                  D(p.x), D(p.y), D(p.vx), D(p.vy), D(p.ax), D(p.ay), p.action, p.kind, p.facing, p.onGround,
                  p.firePower, p.blinking, g_map.scrollX, CountActors());
    return row;
}

std::string SimActorRows(long long frame)
{
    std::string rows;
    int index = 0;
    for (const CSprite* s = g_sprites.head; s != nullptr; s = s->next, ++index) {
        char row[256];
        std::snprintf(row, sizeof row, "%lld,%d,%d,%d,%d,%d,%.9g,%.9g,%.9g,%.9g\n", frame, index, s->kind, s->action,
                      s->facing, s->active, D(s->x), D(s->y), D(s->vx), D(s->vy));
        rows += row;
    }
    return rows;
}

std::string SimSummary()
{
    return FormatSummary(s_frames, g_level, g_player.x, g_player.y, g_player.action);
}

// Values v are stored as the byte v - 1: a picture p as p + 1 (0: none),
// a kind k as k + 1 (0: TILE_EMPTY).
std::string FormatLevelFile(int darkFlag)
{
    std::string s = std::to_string(darkFlag) + "\n" + std::to_string(g_map.cols) + " " + std::to_string(g_map.rows) +
                    "\n";
    auto layer = [&s](auto cellValue) {
        for (int r = 0; r < g_map.rows; ++r) {
            for (int c = 0; c < g_map.cols; ++c) {
                if (c > 0)
                    s += ' ';
                s += std::to_string(cellValue(g_map.Index(c, r)));
            }
            s += '\n';
        }
    };
    layer([](int i) { return (static_cast<std::uint8_t>(g_map.pictures[i]) + 1) & 0xFF; });
    layer([](int i) { return (g_map.kinds[i] + 1) & 0xFF; });
    return s + "0\n0\n0\n";
}

namespace {

const char USAGE[] =
    "usage: gorbo-sim [--data DIR] [--level N] [--dt SECONDS] [--frames N] [--keys FILE]\n"
    "                 [--trace FILE] [--actors FILE] [--map-out FILE]\n"
    "Runs the game's logic frame by frame without a window or sound, and prints\n"
    "\"frames N, level L, x X, y Y, action A\" as its last line.\n"
    "  --data DIR      folder holding level/, graphics/ and the palettes\n"
    "                  (default: the game's data beside this program)\n"
    "  --level N       the level number asked for first (default 0: level 0 when\n"
    "                  present, else level 1)\n"
    "  --dt SECONDS    the step of every frame, 0 to 0.05 (default 0.016)\n"
    "  --frames N      frames to run (default: the key script's, or 600 without one)\n"
    "  --keys FILE     key script, \"-\" for standard input: lines \"COUNT KEYS [DT]\",\n"
    "                  KEYS \"-\" or letters R (right), L (left), A (action), J (jump);\n"
    "                  blank lines and lines starting with # are ignored\n"
    "  --trace FILE    CSV of the player and the camera after every frame\n"
    "  --actors FILE   CSV of every actor after every frame\n"
    "  --map-out FILE  the map at the end, as a loadable level file\n"
    "  --help          this text\n"
    "exit status: 0 done, 1 an output file could not be written,\n"
    "             2 bad input (nothing is written; the reason on standard error)\n";

struct SimOptions {
    std::string data;
    int level = 0;
    float dt = DEFAULT_STEP;
    long long frames = -1;   // -1: from the script, or FRAMES_WITHOUT_SCRIPT
    std::string keys;
    std::string trace;
    std::string actors;
    std::string mapOut;
    bool help = false;
};

bool ParseWhole(const std::string& text, long long& value, long long min, long long max)
{
    std::size_t used = 0;
    try {
        value = std::stoll(text, &used, 10);
    } catch (const std::exception&) {
        return false;
    }
    return used == text.size() && value >= min && value <= max && !text.empty() && text.front() != ' ';
}

// Fills options; false with the reason in error.
bool ParseOptions(int argc, const char* const argv[], SimOptions& o, std::string& error)
{
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (name == "--help" || name == "-h") {
            o.help = true;
            continue;
        }
        std::string* text = nullptr;
        std::string number;
        if (name == "--data")
            text = &o.data;
        else if (name == "--keys")
            text = &o.keys;
        else if (name == "--trace")
            text = &o.trace;
        else if (name == "--actors")
            text = &o.actors;
        else if (name == "--map-out")
            text = &o.mapOut;
        else if (name == "--level" || name == "--dt" || name == "--frames")
            text = &number;
        else {
            error = "unknown option \"" + name + "\" (see --help)";
            return false;
        }
        if (i + 1 >= argc || argv[i + 1][0] == '\0' || std::string(argv[i + 1]).rfind("--", 0) == 0) {
            error = name + " needs a value";
            return false;
        }
        *text = argv[++i];
        long long value = 0;
        if (name == "--level") {
            if (!ParseWhole(number, value, -1000000000, 1000000000)) {
                error = "--level wants a whole number, got \"" + number + "\"";
                return false;
            }
            o.level = static_cast<int>(value);
        } else if (name == "--frames") {
            if (!ParseWhole(number, value, 0, 1000000000000LL)) {
                error = "--frames wants a whole number of at least 0, got \"" + number + "\"";
                return false;
            }
            o.frames = value;
        } else if (name == "--dt" && !ParseStep(number, o.dt)) {
            error = "--dt wants a step of 0 to 0.05 seconds, got \"" + number + "\"";
            return false;
        }
    }
    return true;
}

bool ReadKeyScript(const std::string& path, std::vector<KeyRun>& runs, std::string& error)
{
    std::string text;
    if (path == "-") {
        text.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    } else {
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            error = "cannot read the key script \"" + path + "\"";
            return false;
        }
        text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (in.bad()) {
            error = "cannot read the key script \"" + path + "\"";
            return false;
        }
    }
    if (!ParseKeyScript(text, runs, error)) {
        error = "key script \"" + path + "\": " + error;
        return false;
    }
    return true;
}

// The output files, opened only once the input is known to be good.
class SimOutputs {
public:
    ~SimOutputs() { Close(); }
    bool Open(const SimOptions& o, std::string& error)
    {
        return OpenOne(o.trace, m_trace, error) && OpenOne(o.actors, m_actors, error) &&
               OpenOne(o.mapOut, m_map, error);
    }
    // After a frame: its rows.
    void Frame(long long frame)
    {
        if (m_trace != nullptr)
            std::fputs(SimTraceRow(frame).c_str(), m_trace);
        if (m_actors != nullptr)
            std::fputs(SimActorRows(frame).c_str(), m_actors);
    }
    // The map, then every file closed; false when anything failed to write.
    bool Finish()
    {
        if (m_map != nullptr)
            std::fputs(FormatLevelFile(g_darkLevel).c_str(), m_map);
        return Close();
    }
    // Takes back what Open made, after a failure.
    void Discard()
    {
        Close();
        std::error_code ec;
        for (const std::string& path : m_made)
            fs::remove(path, ec);
    }

private:
    bool OpenOne(const std::string& path, std::FILE*& file, std::string& error)
    {
        if (path.empty())
            return true;
        file = std::fopen(path.c_str(), "wb");
        if (file == nullptr) {
            error = "cannot write \"" + path + "\"";
            return false;
        }
        m_made.push_back(path);
        if (&file == &m_trace)
            std::fprintf(file, "%s\n", SIM_TRACE_HEADER);
        else if (&file == &m_actors)
            std::fprintf(file, "%s\n", SIM_ACTORS_HEADER);
        return true;
    }
    bool Close()
    {
        bool ok = true;
        for (std::FILE** f : {&m_trace, &m_actors, &m_map}) {
            if (*f == nullptr)
                continue;
            ok = std::ferror(*f) == 0 && ok;
            ok = std::fclose(*f) == 0 && ok;
            *f = nullptr;
        }
        return ok;
    }

    std::FILE* m_trace = nullptr;
    std::FILE* m_actors = nullptr;
    std::FILE* m_map = nullptr;
    std::vector<std::string> m_made;
};

// Output paths are taken from the folder the tool was started in.
void MakeAbsolute(std::string& path)
{
    std::error_code ec;
    if (!path.empty())
        path = fs::absolute(path, ec).string();
}

// The current folder for the run, put back when the run ends.
class DataFolder {
public:
    ~DataFolder()
    {
        std::error_code ec;
        if (!m_previous.empty())
            fs::current_path(m_previous, ec);
    }
    bool Enter(const std::string& folder)
    {
        std::error_code ec;
        m_previous = fs::current_path(ec);
        fs::current_path(folder, ec);
        return !ec;
    }

private:
    fs::path m_previous;
};

long long FramesToRun(const SimOptions& o, const std::vector<KeyRun>& runs)
{
    if (o.frames >= 0)
        return o.frames;
    if (o.keys.empty())
        return FRAMES_WITHOUT_SCRIPT;
    long long total = 0;
    for (const KeyRun& r : runs)
        total += r.count;
    return total;
}

// Runs the frames: the script's runs in order, then no keys at --dt.
void RunFrames(long long frames, const SimOptions& o, const std::vector<KeyRun>& runs, SimOutputs& outputs)
{
    std::size_t run = 0;
    long long usedOfRun = 0;
    for (long long frame = 1; frame <= frames; ++frame) {
        float dt = o.dt;
        std::uint8_t keys = 0;
        if (run < runs.size()) {
            keys = runs[run].keys;
            if (runs[run].hasDt)
                dt = runs[run].dt;
            if (++usedOfRun == runs[run].count) {
                ++run;
                usedOfRun = 0;
            }
        }
        SimFrame(dt, keys);
        outputs.Frame(frame);
    }
}

int Fail(std::FILE* err, const std::string& message, int status)
{
    std::fprintf(err, "gorbo-sim: %s\n", message.c_str());
    return status;
}

}  // namespace

int RunSimulator(int argc, const char* const argv[], const std::string& programFolder, std::FILE* out,
                 std::FILE* err)
{
    SimOptions o;
    std::string error;
    if (!ParseOptions(argc, argv, o, error))
        return Fail(err, error, 2);
    if (o.help) {
        std::fputs(USAGE, out);
        return 0;
    }
    std::vector<KeyRun> runs;
    if (!o.keys.empty() && !ReadKeyScript(o.keys, runs, error))
        return Fail(err, error, 2);
    for (std::string* path : {&o.trace, &o.actors, &o.mapOut})
        MakeAbsolute(*path);
    const std::string data = o.data.empty() ? programFolder : o.data;
    DataFolder folder;
    if (!folder.Enter(data))
        return Fail(err, "cannot enter the data folder \"" + data + "\"", 2);
    if (!SimStart(o.level)) {
        return Fail(err,
                    "no level file could be read in \"" + data + "\" (level/level" + std::to_string(o.level) +
                        ".dat, level/level1.dat)",
                    2);
    }
    SimOutputs outputs;
    if (!outputs.Open(o, error)) {
        outputs.Discard();
        return Fail(err, error, 2);
    }
    RunFrames(FramesToRun(o, runs), o, runs, outputs);
    if (!outputs.Finish())
        return Fail(err, "an output file could not be written completely", 1);
    std::fprintf(out, "%s\n", SimSummary().c_str());
    return 0;
}
