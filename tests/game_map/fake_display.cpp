#include "fake_display.h"

#include "timer.h"

namespace {

std::vector<BltCall> g_blts;
std::uint32_t g_ticks = 0;

}  // namespace

std::vector<BltCall>& RecordedBlts()
{
    return g_blts;
}

void ClearBlts()
{
    g_blts.clear();
}

void SetFakeTicks(std::uint32_t ms)
{
    g_ticks = ms;
}

void CImage::BltTo(int x, int y, const BltRect& src) const
{
    g_blts.push_back(BltCall{this, x, y, src});
}

std::uint32_t GetTickMilliseconds()
{
    return g_ticks;
}
