// Bitmap files are read from disk: any bytes go through a temporary file
// into CImage::Load on a real display (SDL's dummy video driver, software
// renderer), in the 32-bit windowed mode or the 8-bit palettised one (the
// first byte's low bit chooses; its next bit applies another palette
// between the copies), and the loaded image is drawn onto the back buffer.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "display.h"
#include "palette.h"
#include "window_ops.h"

namespace {

void TearDown()
{
    ReleaseDisplay();
    ShutdownPlatform();
}

const char* TempPath()
{
    static char path[] = "/tmp/gorbo-bitmap-fuzz-XXXXXX";
    static bool made = false;
    if (!made) {
        int fd = mkstemp(path);
        if (fd >= 0)
            close(fd);
        made = true;
    }
    return path;
}

bool DisplayIn(int fullscreen)
{
    static bool windowOpen = false;
    static int displayMode = -1;
    if (!windowOpen) {
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        windowOpen = OpenGameWindow("bitmap fuzz");
        if (!windowOpen)
            return false;
        std::atexit(TearDown);
    }
    if (displayMode != fullscreen) {
        ReleaseDisplay();
        g_fullscreen = fullscreen;
        displayMode = InitDisplay() ? fullscreen : -1;
    }
    return displayMode == fullscreen;
}

// The palette the display was made against ("bright.pal" is missing here,
// so the default one), and one with every entry changed.
const PaletteEntry* BrightPalette()
{
    static PaletteEntry entries[256];
    BuildDefaultPalette(entries);
    return entries;
}

const PaletteEntry* OtherPalette()
{
    static PaletteEntry entries[256];
    for (int i = 0; i < 256; ++i)
        entries[i] = PaletteEntry{static_cast<std::uint8_t>(255 - i), static_cast<std::uint8_t>(i / 2),
                                  static_cast<std::uint8_t>(i), 0};
    return entries;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1 || !DisplayIn(data[0] & 1))
        return 0;
    const char* path = TempPath();
    std::FILE* f = std::fopen(path, "wb");
    if (!f)
        return 0;
    std::fwrite(data + 1, 1, size - 1, f);
    std::fclose(f);
    CImage image;
    if (image.Load(path)) {
        image.BltTo(0, 0, BltRect{0, 0, 32, 32});
        // Windowed, another palette recolours the image at its next copy,
        // and a reload replaces its own colours.
        if (data[0] & 2)
            ApplyPalette(OtherPalette());
        image.Reload(path);
        image.BltTo(600, 440, BltRect{0, 0, 64, 64});
        if (data[0] & 2)
            ApplyPalette(BrightPalette());
    }
    image.Release();
    ClearBackBuffer();
    return 0;
}
