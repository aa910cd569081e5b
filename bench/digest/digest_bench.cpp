// Digest of a 512 MiB page-cached file: the whole Compute (reads into its
// buffer) and the same digest made from a windowed mapping (map, hash each
// window and release it, unmap: the way the digest used to read), and
// CalcCrc32 over a mapping against a byte-at-a-time table loop, zlib's crc32
// and libdeflate's crc32 over the same mapping. Then many small page-cached
// files (2,000 of 100 KiB, 20,000 of 5 KiB): Compute against the mapping
// form per file. Compare bytes_per_second within one run.
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

// The former digest: a whole-file mapping hashed in windows of 8 MiB, each
// released once hashed when the file is larger than one window.
uint32_t MappedDigest(const std::wstring& path)
{
    FILE_MAPPING_VIEW view;
    if (MapWholeFile(path, &view) != FileMapResult::Mapped)
        return 0;
    constexpr uint64_t kWindow = 8u << 20;
    uint32_t crc = 0;
    for (uint64_t done = 0; done < view.size;) {
        const uint64_t n = view.size - done < kWindow ? view.size - done : kWindow;
        crc = libdeflate_crc32(crc, view.data + done, static_cast<size_t>(n));
        if (view.size > kWindow)
            ReleaseMappedRange(&view, done, n);
        done += n;
    }
    UnmapWholeFile(&view);
    return crc;
}

// Page-cached sets of small files, written once per process.
class SmallFiles {
public:
    SmallFiles(int count, size_t size)
    {
        std::vector<char> block(size);
        uint32_t x = static_cast<uint32_t>(count);
        for (int i = 0; i < count; ++i) {
            for (char& c : block) {
                x = x * 1664525u + 1013904223u;
                c = static_cast<char>(x >> 24);
            }
            const fs::path path = folder_ / ("f" + std::to_string(i));
            std::ofstream(path, std::ios::binary).write(block.data(), static_cast<std::streamsize>(size));
            paths_.push_back(AnsiToWide(path.string()));
        }
        bytes_ = static_cast<int64_t>(count) * static_cast<int64_t>(size);
        CFileDigest warm;
        for (const std::wstring& p : paths_)
            warm.Compute(p);
    }
    const std::vector<std::wstring>& Paths() const { return paths_; }
    int64_t Bytes() const { return bytes_; }

private:
    test::TempFolder folder_;
    std::vector<std::wstring> paths_;
    int64_t bytes_ = 0;
};

SmallFiles& Files(int which)
{
    static SmallFiles medium(2000, 100 << 10);
    static SmallFiles tiny(20000, 5 << 10);
    return which == 0 ? medium : tiny;
}

void BM_ComputeSmallFiles(benchmark::State& state)
{
    const SmallFiles& files = Files(static_cast<int>(state.range(0)));
    CFileDigest digest;
    for (auto _ : state)
        for (const std::wstring& p : files.Paths())
            benchmark::DoNotOptimize(digest.Compute(p));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * files.Bytes());
}

void BM_MappedSmallFiles(benchmark::State& state)
{
    const SmallFiles& files = Files(static_cast<int>(state.range(0)));
    for (auto _ : state)
        for (const std::wstring& p : files.Paths())
            benchmark::DoNotOptimize(MappedDigest(p));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * files.Bytes());
}

void BM_MappedDigest(benchmark::State& state)
{
    const std::wstring path = TheInput().Wide();
    for (auto _ : state)
        benchmark::DoNotOptimize(MappedDigest(path));
    Finish(state);
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
BENCHMARK(BM_MappedDigest)->Unit(benchmark::kMillisecond)->MinTime(0.5)->Repetitions(5);
// Argument 0: 2,000 files of 100 KiB; 1: 20,000 files of 5 KiB.
BENCHMARK(BM_ComputeSmallFiles)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(0.5)->Repetitions(5);
BENCHMARK(BM_MappedSmallFiles)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(0.5)->Repetitions(5);
BENCHMARK(BM_CalcCrc32OverMapping)->Unit(benchmark::kMillisecond)->MinTime(0.5)->Repetitions(5);
BENCHMARK(BM_TableLoopOverMapping)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5);
BENCHMARK(BM_ZlibCrc32OverMapping)->Unit(benchmark::kMillisecond)->MinTime(0.5)->Repetitions(5);
BENCHMARK(BM_LibdeflateCrc32OverMapping)->Unit(benchmark::kMillisecond)->MinTime(0.5)->Repetitions(5);

BENCHMARK_MAIN();
