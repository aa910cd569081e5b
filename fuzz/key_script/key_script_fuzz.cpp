// Arbitrary bytes as a key script: the parser must accept or refuse without
// crashing or overrunning; a refusal names a line; an accepted script holds
// only valid runs and reads back the same once written out again.
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "replay.h"

namespace {

bool SameRuns(const std::vector<KeyRun>& a, const std::vector<KeyRun>& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].count != b[i].count || a[i].keys != b[i].keys || a[i].hasDt != b[i].hasDt)
            return false;
        if (a[i].hasDt && std::memcmp(&a[i].dt, &b[i].dt, sizeof(float)) != 0)
            return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<KeyRun> runs;
    std::string error;
    if (!ParseKeyScript(text, runs, error)) {
        if (error.rfind("line ", 0) != 0 || !runs.empty())
            __builtin_trap();
        return 0;
    }
    std::string written;
    for (const KeyRun& r : runs) {
        if (r.count < 1 || r.count > KEY_RUN_MAX_COUNT || (r.keys & ~0x39) != 0)
            __builtin_trap();
        if (r.hasDt && !(r.dt >= 0.0f && r.dt <= KEY_RUN_MAX_STEP))
            __builtin_trap();
        written += FormatKeyRun(r);
    }
    std::vector<KeyRun> again;
    if (!ParseKeyScript(written, again, error) || !SameRuns(runs, again))
        __builtin_trap();
    return 0;
}
