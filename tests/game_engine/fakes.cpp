#include "fakes.h"

#include <filesystem>
#include <fstream>
#include <random>

#include "gameflow.h"
#include "input.h"
#include "mainloop.h"
#include "mixer_ops.h"
#include "music.h"
#include "player.h"
#include "sprite.h"
#include "tilemap.h"
#include "timer.h"

FakeClock g_fakeClock;
FakeDisplay g_fakeDisplay;
FakeWindow g_fakeWindow;
FakeKeyboard g_fakeKeyboard;
FakeMixer g_fakeMixer;

struct Surface {
    int id;
};

namespace {
Surface s_fakeSurface{1};
}

std::uint32_t GetTickMilliseconds()
{
    return g_fakeClock.now;
}

int FakeDisplay::Count(const std::string& entry) const
{
    int n = 0;
    for (const auto& e : log)
        n += e == entry;
    return n;
}

bool CImage::Load(const char*)
{
    surface = &s_fakeSurface;
    return true;
}
void CImage::Reload(const char*) {}
void CImage::Release()
{
    surface = nullptr;
}
void CImage::BltTo(int x, int y, const BltRect& src) const
{
    if (!surface)
        return;
    g_fakeDisplay.log.push_back("blt " + std::to_string(x) + " " + std::to_string(y) + " " +
                                std::to_string(src.right - src.left) + " " + std::to_string(src.bottom - src.top));
}

bool InitDisplay()
{
    g_fakeDisplay.log.push_back(g_fullscreen ? "init full" : "init window");
    if (g_fakeDisplay.initResult)
        g_imgTile.Load("graphics/tile.bmp");
    return g_fakeDisplay.initResult;
}
void ReleaseDisplay()
{
    g_fakeDisplay.log.push_back("release");
    g_imgTile.Release();
}
void RestoreDisplay() {}
bool LoadImages()
{
    return true;
}
void ReloadImages() {}
void ReleaseImages() {}
void ApplyPalette(const PaletteEntry entries[256])
{
    for (int i = 0; i < 256; ++i)
        g_fakeDisplay.lastPalette[i] = entries[i];
    ++g_fakeDisplay.palettesApplied;
    g_fakeDisplay.log.push_back("palette");
}
void ClearBackBuffer()
{
    g_fakeDisplay.log.push_back("clear");
}
void DrawTextAt(int x, int y, const char* text)
{
    g_fakeDisplay.log.push_back("text " + std::to_string(x) + " " + std::to_string(y) + " " + text);
}
void Present()
{
    g_fakeDisplay.log.push_back("present");
    if (g_fakeDisplay.onPresent)
        g_fakeDisplay.onPresent();
}
void Trace(const char*) {}

bool OpenGameWindow(const char*)
{
    g_fakeWindow.log.push_back("open");
    g_fakeWindow.opened = g_fakeWindow.openResult;
    return g_fakeWindow.openResult;
}
void CloseGameWindow()
{
    g_fakeWindow.log.push_back("close");
    g_fakeWindow.closed = true;
}
bool PollWindowEvent(WindowEvent& event)
{
    if (g_fakeWindow.queue.empty())
        return false;
    event = g_fakeWindow.queue.front();
    g_fakeWindow.queue.pop_front();
    return true;
}
void WaitWindowEvent()
{
    ++g_fakeWindow.waits;
    g_fakeWindow.log.push_back("wait");
    if (g_fakeWindow.afterWait.empty()) {
        g_fakeWindow.queue.push_back(WindowEvent{WEV_CLOSE, 0});
        return;
    }
    g_fakeWindow.queue.push_back(g_fakeWindow.afterWait.front());
    g_fakeWindow.afterWait.pop_front();
}
void MakeProgramFolderCurrent() {}
void ShutdownPlatform()
{
    g_fakeWindow.log.push_back("shutdown");
}
const char* PlatformError()
{
    return "fake platform failure";
}

bool OpenKeyboard()
{
    return g_fakeKeyboard.openResult;
}
bool ReadKeyboard(bool held[GKEY_COUNT])
{
    for (int i = 0; i < GKEY_COUNT; ++i)
        held[i] = g_fakeKeyboard.focus && g_fakeKeyboard.held[i];
    return g_fakeKeyboard.focus;
}

bool MixerLoad(const char* path)
{
    MixerUnload();
    if (!g_fakeMixer.available)
        return false;
    g_fakeMixer.loaded = path;
    g_fakeMixer.log.push_back(std::string("load ") + path);
    return true;
}
void MixerUnload()
{
    if (g_fakeMixer.loaded.empty())
        return;
    g_fakeMixer.loaded.clear();
    g_fakeMixer.playing = false;
    g_fakeMixer.paused = false;
    g_fakeMixer.endToken = 0;
    g_fakeMixer.log.push_back("unload");
}
bool MixerPlay(bool fromStart, unsigned endToken)
{
    if (g_fakeMixer.loaded.empty())
        return false;
    g_fakeMixer.log.push_back((fromStart ? "play start " : "play resume ") + std::to_string(endToken != 0));
    if (fromStart || g_fakeMixer.paused || g_fakeMixer.playing) {
        g_fakeMixer.playing = true;
        g_fakeMixer.paused = false;
        g_fakeMixer.endToken = endToken;
    } else if (endToken != 0) {
        g_fakeWindow.queue.push_back(WindowEvent{WEV_MUSIC_END, static_cast<int>(endToken)});
    }
    return true;
}
bool MixerPause()
{
    g_fakeMixer.endToken = 0;
    if (!g_fakeMixer.playing)
        return false;
    g_fakeMixer.paused = true;
    g_fakeMixer.log.push_back("pause");
    return true;
}
void FakeMixer::FinishPiece()
{
    if (!playing || paused)
        return;
    playing = false;
    if (endToken != 0)
        g_fakeWindow.queue.push_back(WindowEvent{WEV_MUSIC_END, static_cast<int>(endToken)});
    endToken = 0;
}

void ResetFakes()
{
    CloseMusic();
    g_fakeClock = FakeClock{};
    g_fakeDisplay = FakeDisplay{};
    g_fakeWindow = FakeWindow{};
    g_fakeKeyboard = FakeKeyboard{};
    g_fakeMixer = FakeMixer{};
    ResetMainLoop();
    g_input.Release();
    g_level = 0;
    g_darkLevel = 0;
    g_sprites.RemoveAll();
    g_map.Free();
    g_map.scrollX = 0;
    g_imgTile.Release();
}

void DeliverEvents()
{
    WindowEvent event;
    while (PollWindowEvent(event))
        WindowProc(event);
}

TempFolder::TempFolder()
{
    namespace fs = std::filesystem;
    m_dir = m_folder.Path().string();
    fs::create_directories(m_folder / "level");
    m_previous = fs::current_path().string();
    fs::current_path(m_folder.Path());
}

TempFolder::~TempFolder()
{
    std::error_code ec;
    std::filesystem::current_path(m_previous, ec);
}

std::string TempFolder::Path(const std::string& name) const
{
    return m_dir + "/" + name;
}

void TempFolder::Write(const std::string& name, const std::string& bytes) const
{
    std::ofstream out(Path(name), std::ios::binary);
    out << bytes;
}

namespace {
void PutLe(std::string& s, unsigned v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
}  // namespace

std::string MakePalette(const char* magic, const char* form, const char* chunk, unsigned version,
                        unsigned count, int entries)
{
    std::string s;
    s.append(magic, 4);
    PutLe(s, 4 + 8 + 4 + 4 * static_cast<unsigned>(entries), 4);
    s.append(form, 4);
    s.append(chunk, 4);
    PutLe(s, 4 + 4 * static_cast<unsigned>(entries), 4);
    PutLe(s, version, 2);
    PutLe(s, count, 2);
    for (int i = 0; i < entries; ++i) {
        s.push_back(static_cast<char>(i));
        s.push_back(static_cast<char>(255 - i));
        s.push_back(static_cast<char>(i / 2));
        s.push_back(0);
    }
    return s;
}

std::string MakeLevel(int dark, int cols, int rows)
{
    std::string s = std::to_string(dark) + "\n" + std::to_string(cols) + " " + std::to_string(rows) + "\n";
    for (int layer = 0; layer < 2; ++layer)
        for (int r = 0; r < rows; ++r) {
            for (int c = 0; c < cols; ++c)
                s += (r == rows - 1) ? "1 " : "0 ";
            s += "\n";
        }
    s += "0\n0\n0\n";
    return s;
}
