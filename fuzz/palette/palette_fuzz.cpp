// Palette files are read from disk: any bytes go through a temporary file
// into LoadPaletteFile, which must fill all 256 entries whatever it reads.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "palette.h"

namespace {

const char* TempPath()
{
    static char path[] = "/tmp/gorbo-palette-fuzz-XXXXXX";
    static bool made = false;
    if (!made) {
        int fd = mkstemp(path);
        if (fd >= 0)
            close(fd);
        made = true;
    }
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const char* path = TempPath();
    std::FILE* f = std::fopen(path, "wb");
    if (!f)
        return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    PaletteEntry entries[256];
    LoadPaletteFile(path, entries);
    unsigned sum = 0;
    for (const PaletteEntry& e : entries)
        sum += e.red + e.green + e.blue + e.flags;
    if (sum == 0xFFFFFFFFu)
        std::abort();
    return 0;
}
