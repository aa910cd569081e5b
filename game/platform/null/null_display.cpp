// The null display: every operation is counted and, with record, noted;
// nothing is drawn. Images hold no pixels; one loads when its file opens.
#include <algorithm>
#include <cstdio>
#include <utility>

#include "null_platform.h"

struct Surface {
    std::string path;
};

namespace {

void Note(NullDrawCall call)
{
    if (NullPlatform().record)
        NullPlatform().draws.push_back(std::move(call));
}

bool FileOpens(const char* path)
{
    std::FILE* file = path != nullptr ? std::fopen(path, "rb") : nullptr;
    if (file == nullptr)
        return false;
    std::fclose(file);
    return true;
}

}  // namespace

bool CImage::Load(const char* path)
{
    Note(NullDrawCall{NullDraw::Load, this, 0, 0, {}, path != nullptr ? path : ""});
    delete surface;
    surface = nullptr;
    if (!FileOpens(path))
        return false;
    surface = new Surface{path};
    return true;
}

void CImage::Reload(const char* path)
{
    Note(NullDrawCall{NullDraw::Reload, this, 0, 0, {}, path != nullptr ? path : ""});
}

void CImage::Release()
{
    Note(NullDrawCall{NullDraw::Release, this});
    delete surface;
    surface = nullptr;
}

void CImage::BltTo(int x, int y, const BltRect& src) const
{
    ++NullPlatform().blts;
    Note(NullDrawCall{NullDraw::Blt, this, x, y, src});
}

bool OpenDisplay(bool fullscreen, const PaletteEntry initial[256])
{
    NullPlatformState& p = NullPlatform();
    NullDrawCall call{NullDraw::Open};
    call.fullscreen = fullscreen;
    Note(call);
    if (!p.displayAvailable) {
        p.error = "no display: the null platform has none available";
        return false;
    }
    p.displayOpen = true;
    p.fullscreen = fullscreen;
    if (initial != nullptr)
        std::copy(initial, initial + 256, p.palette);
    return true;
}

void CloseDisplay()
{
    Note(NullDrawCall{NullDraw::Close});
    NullPlatform().displayOpen = false;
}

void RestoreSurfaces()
{
    Note(NullDrawCall{NullDraw::Restore});
}

void ApplyPalette(const PaletteEntry entries[256])
{
    NullPlatformState& p = NullPlatform();
    Note(NullDrawCall{NullDraw::Palette});
    std::copy(entries, entries + 256, p.palette);
    ++p.palettesApplied;
}

void ClearBackBuffer()
{
    Note(NullDrawCall{NullDraw::Clear});
}

void DrawTextAt(int x, int y, const char* text)
{
    Note(NullDrawCall{NullDraw::Text, nullptr, x, y, {}, text != nullptr ? text : ""});
}

bool PresentBackBuffer()
{
    NullPlatformState& p = NullPlatform();
    Note(NullDrawCall{NullDraw::Present});
    const bool lost = p.displayLost;
    p.displayLost = false;
    if (!lost)
        ++p.presents;
    if (p.onPresent)
        p.onPresent();
    return !lost;
}

void Trace(const char*)
{
}

void LoseNullDisplay()
{
    NullPlatform().displayLost = true;
}

std::string Describe(const NullDrawCall& call)
{
    switch (call.what) {
    case NullDraw::Open:
        return call.fullscreen ? "open full" : "open window";
    case NullDraw::Close:
        return "close";
    case NullDraw::Restore:
        return "restore";
    case NullDraw::Palette:
        return "palette";
    case NullDraw::Clear:
        return "clear";
    case NullDraw::Blt:
        return "blt " + std::to_string(call.x) + " " + std::to_string(call.y) + " " +
               std::to_string(call.src.right - call.src.left) + " " + std::to_string(call.src.bottom - call.src.top);
    case NullDraw::Text:
        return "text " + std::to_string(call.x) + " " + std::to_string(call.y) + " " + call.text;
    case NullDraw::Present:
        return "present";
    case NullDraw::Load:
        return "load " + call.text;
    case NullDraw::Reload:
        return "reload " + call.text;
    case NullDraw::Release:
        return "release";
    }
    return "?";
}

std::vector<NullDrawCall> RecordedDraws(NullDraw kind)
{
    std::vector<NullDrawCall> out;
    for (const NullDrawCall& call : NullPlatform().draws) {
        if (call.what == kind)
            out.push_back(call);
    }
    return out;
}

std::vector<std::string> DescribedDraws(std::initializer_list<NullDraw> kinds)
{
    std::vector<std::string> out;
    for (const NullDrawCall& call : NullPlatform().draws) {
        bool wanted = kinds.size() == 0;
        for (NullDraw k : kinds)
            wanted = wanted || k == call.what;
        if (wanted)
            out.push_back(Describe(call));
    }
    return out;
}
