// Digest of a 512 MiB page-cached file: the whole Compute (map, hash, unmap)
// and CalcCrc32 over the mapping, against a byte-at-a-time table loop, zlib's
// crc32 and libdeflate's crc32 over the same mapping. Compare bytes_per_second
// within one run.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include <benchmark/benchmark.h>
#include <libdeflate.h>
#include <zlib.h>

#include "file_digest.h"
#include "file_mapping.h"
#include "temp_folder.h"
#include "text.h"

namespace fs = std::filesystem;

namespace {

constexpr uint64_t kFileSize = 512ull << 20;

// The input file, written once per process into a temporary folder and read
// back once so that it sits in the page cache; removed at exit.
class Input {
public:
    Input()
    {
        path_ = folder_ / "input.bin";
        std::ofstream out(path_, std::ios::binary);
        std::vector<char> block(1 << 20);
        uint32_t x = 1;
        for (uint64_t written = 0; written < kFileSize; written += block.size()) {
            for (char& c : block) {
                x = x * 1664525u + 1013904223u;
                c = static_cast<char>(x >> 24);
            }
            out.write(block.data(), static_cast<std::streamsize>(block.size()));
        }
        out.close();
        MapWholeFile(Wide(), &view_);
        benchmark::DoNotOptimize(CalcCrc32(static_cast<uint32_t>(view_.size), view_.data));
    }
    ~Input()
    {
        UnmapWholeFile(&view_);
    }
    std::wstring Wide() const { return AnsiToWide(path_.string()); }
    const FILE_MAPPING_VIEW& View() const { return view_; }

private:
    test::TempFolder folder_;
    fs::path path_;
    FILE_MAPPING_VIEW view_;
};

Input& TheInput()
{
    static Input input;
    return input;
}

uint32_t TableCrc32(const unsigned char* data, size_t length)
{
    static const auto table = [] {
        std::vector<uint32_t> t(256);
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < length; ++i)
        crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

void Finish(benchmark::State& state)
{
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kFileSize));
}

void BM_ComputeDigest(benchmark::State& state)
{
    const std::wstring path = TheInput().Wide();
    CFileDigest digest;
    for (auto _ : state)
        benchmark::DoNotOptimize(digest.Compute(path));
    Finish(state);
}

void BM_CalcCrc32OverMapping(benchmark::State& state)
{
    const FILE_MAPPING_VIEW& v = TheInput().View();
    for (auto _ : state)
        benchmark::DoNotOptimize(CalcCrc32(static_cast<uint32_t>(v.size), v.data));
    Finish(state);
}

void BM_TableLoopOverMapping(benchmark::State& state)
{
    const FILE_MAPPING_VIEW& v = TheInput().View();
    for (auto _ : state)
        benchmark::DoNotOptimize(TableCrc32(v.data, v.size));
    Finish(state);
}

void BM_ZlibCrc32OverMapping(benchmark::State& state)
{
    const FILE_MAPPING_VIEW& v = TheInput().View();
    for (auto _ : state)
        benchmark::DoNotOptimize(crc32_z(0, v.data, v.size));
    Finish(state);
}

void BM_LibdeflateCrc32OverMapping(benchmark::State& state)
{
    const FILE_MAPPING_VIEW& v = TheInput().View();
    for (auto _ : state)
        benchmark::DoNotOptimize(libdeflate_crc32(0, v.data, v.size));
    Finish(state);
}

}  // namespace

// The machine is shared: five repetitions each, run in random interleaved
// order (--benchmark_enable_random_interleaving=true), and compare medians.
BENCHMARK(BM_ComputeDigest)->Unit(benchmark::kMillisecond)->MinTime(0.5)->Repetitions(5);
BENCHMARK(BM_CalcCrc32OverMapping)->Unit(benchmark::kMillisecond)->MinTime(0.5)->Repetitions(5);
BENCHMARK(BM_TableLoopOverMapping)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5);
BENCHMARK(BM_ZlibCrc32OverMapping)->Unit(benchmark::kMillisecond)->MinTime(0.5)->Repetitions(5);
BENCHMARK(BM_LibdeflateCrc32OverMapping)->Unit(benchmark::kMillisecond)->MinTime(0.5)->Repetitions(5);

BENCHMARK_MAIN();
