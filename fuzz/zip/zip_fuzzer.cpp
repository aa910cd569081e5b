// Arbitrary bytes as an archive file: open, extract the first entry into a
// scratch folder, close; then the worker's bounded extraction beside it.
// Nothing may crash, overrun or hang, whatever the headers claim.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <unistd.h>

#include "text.h"
#include "zip_reader.h"

namespace fs = std::filesystem;

namespace {

// One folder per process, removed at exit. The path is never destroyed, so
// the exit handler can still use it.
const fs::path& ScratchFolder()
{
    static const fs::path* folder = [] {
        auto* p = new fs::path(fs::temp_directory_path() / ("tovarin-zip-fuzz-" + std::to_string(getpid())));
        fs::create_directories(*p);
        std::atexit([] {
            std::error_code ec;
            fs::remove_all(ScratchFolder(), ec);
        });
        return p;
    }();
    return *folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const fs::path archive = ScratchFolder() / "input.zip";
    const fs::path output = ScratchFolder() / "out";
    {
        std::ofstream out(archive, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    if (ZIP_READER* reader = OpenZipArchive(AnsiToWide(archive.string()))) {
        ZIP_ENTRY_RECORD record;
        GetFirstZipEntryRecord(reader, &record);
        ExtractFirstZipEntry(reader, AnsiToWide((output / "sub" / "target.bin").string()));
        CloseZipArchive(reader);
    }
    // The worker's extraction: file entries only, bounded, counted.
    ZIP_WRITTEN written{};
    ExtractFileBeside(AnsiToWide(archive.string()), 4 * size, &written);
    std::error_code ec;
    fs::remove_all(output, ec);
    fs::remove_all(ScratchFolder() / "input", ec);
    return 0;
}
