// ExtractArchiveBeside of a 256 MiB deflated entry, and ExtractFileBeside
// (the same with the CRC-32 of the written bytes), against Info-ZIP's
// "unzip -p archive > file" on the same archive, in the same run. The inputs
// are made once per process in a temporary folder (the archive by Info-ZIP
// zip) and removed at exit. Wall-clock times; compare bytes_per_second.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <unistd.h>

#include "temp_folder.h"
#include "text.h"
#include "zip_reader.h"

namespace fs = std::filesystem;

namespace {

constexpr uint64_t kEntrySize = 256ull << 20;

// Program-like contents: runs of words, numbers and noise that deflate to
// roughly a third.
void WriteInput(const fs::path& path)
{
    static const char* const kWords[] = {"update", "tovarin", "file", "version", "\x00\x00\x00\x00", "\xff\xfe",
                                         "mov eax", "call", "ret", "0x7fff", "section", "data"};
    std::ofstream out(path, std::ios::binary);
    std::string block;
    uint32_t x = 5;
    uint64_t written = 0;
    while (written < kEntrySize) {
        block.clear();
        while (block.size() < (1 << 20)) {
            x = x * 1664525u + 1013904223u;
            if ((x >> 28) == 0) {
                for (int i = 0; i < 16; ++i) {
                    x = x * 1664525u + 1013904223u;
                    block.push_back(static_cast<char>(x >> 24));
                }
            } else {
                block += kWords[(x >> 16) % 12];
                block.push_back(static_cast<char>('0' + (x >> 8) % 10));
            }
        }
        block.resize(std::min<uint64_t>(block.size(), kEntrySize - written));
        out.write(block.data(), static_cast<std::streamsize>(block.size()));
        written += block.size();
    }
}

class Inputs {
public:
    Inputs()
    {
        WriteInput(folder_ / "payload.bin");
        const std::string cd = "cd '" + folder_.Path().string() + "' && ";
        ok_ = std::system((cd + "zip -q payload.bin.zip payload.bin && rm payload.bin").c_str()) == 0;
    }
    bool Ok() const { return ok_; }
    fs::path Archive() const { return folder_ / "payload.bin.zip"; }
    fs::path Target() const { return folder_ / "payload.bin"; }

private:
    test::TempFolder folder_;
    bool ok_ = false;
};

Inputs& TheInputs()
{
    static Inputs inputs;
    return inputs;
}

void Finish(benchmark::State& state)
{
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kEntrySize));
}

void BM_ExtractArchiveBeside(benchmark::State& state)
{
    Inputs& in = TheInputs();
    if (!in.Ok()) {
        state.SkipWithError("could not make the archive");
        return;
    }
    const std::wstring archive = AnsiToWide(in.Archive().string());
    for (auto _ : state) {
        if (!ExtractArchiveBeside(archive)) {
            state.SkipWithError("extraction failed");
            return;
        }
    }
    if (fs::file_size(in.Target()) != kEntrySize)
        state.SkipWithError("wrong size");
    Finish(state);
}

// What the update worker runs: the same extraction, with the CRC-32 of the
// bytes taken as they are written.
void BM_ExtractFileBeside(benchmark::State& state)
{
    Inputs& in = TheInputs();
    if (!in.Ok()) {
        state.SkipWithError("could not make the archive");
        return;
    }
    const std::wstring archive = AnsiToWide(in.Archive().string());
    for (auto _ : state) {
        ZIP_WRITTEN written{};
        if (!ExtractFileBeside(archive, kEntrySize, &written) || written.length != kEntrySize) {
            state.SkipWithError("extraction failed");
            return;
        }
    }
    Finish(state);
}

void BM_UnzipToFile(benchmark::State& state)
{
    Inputs& in = TheInputs();
    if (!in.Ok()) {
        state.SkipWithError("could not make the archive");
        return;
    }
    const std::string command = "unzip -p '" + in.Archive().string() + "' > '" + in.Target().string() + "'";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("unzip failed");
            return;
        }
    }
    Finish(state);
}

}  // namespace

BENCHMARK(BM_ExtractArchiveBeside)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2)->Repetitions(3);
BENCHMARK(BM_ExtractFileBeside)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2)->Repetitions(3);
BENCHMARK(BM_UnzipToFile)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2)->Repetitions(3);

BENCHMARK_MAIN();
