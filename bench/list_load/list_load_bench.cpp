// Loading an update list of 20,000 entries of the publisher's shape (every
// text filled, a SHA-256 each): CUpdateList::Load against the baseline of the
// same run, TinyXML's LoadFile with the whole tree kept while every File
// element is read into an entry (the way the list was loaded before). The
// peak memory of each is measured first, each in a child process of its own
// (peak resident memory above what the child held before the load), then
// the times by the benchmark library.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

#include <benchmark/benchmark.h>
#include <tinyxml.h>

#include "temp_folder.h"
#include "update_list.h"

namespace {

constexpr int kEntries = 20000;

class Input {
public:
    Input()
    {
        path_ = (folder_ / "UpdateList.xml").wstring();
        // Written by a child process, so that this process's peak resident
        // memory stays below what the loads measured later add.
        const pid_t pid = fork();
        if (pid != 0) {
            int status = 0;
            waitpid(pid, &status, 0);
            bytes_ = std::filesystem::file_size(path_);
            return;
        }
        CUpdateList list;
        list.SetVersion("1.0");
        for (int i = 0; i < kEntries; ++i) {
            CUpdateFile* f = list.AddFile();
            std::snprintf(f->m_szFileName, sizeof f->m_szFileName, "file%05d.bin", i);
            std::snprintf(f->m_szFilePath, sizeof f->m_szFilePath, "dir%02d\\sub%d", i % 20, i % 3);
            std::snprintf(f->m_szFileCrc, sizeof f->m_szFileCrc, "%X", 0x9E3779B9u * static_cast<unsigned>(i + 1));
            f->m_nFileLen = 5000 + i;
            f->m_nCompressType = COMPRESS_ZIP;
            std::snprintf(f->m_szCompressName, sizeof f->m_szCompressName, "file%05d.bin.zip", i);
            std::snprintf(f->m_szCompressPath, sizeof f->m_szCompressPath, "dir%02d\\sub%d", i % 20, i % 3);
            std::snprintf(f->m_szCompressCrc, sizeof f->m_szCompressCrc, "%X", 0x85EBCA6Bu * static_cast<unsigned>(i + 1));
            f->m_nCompressLen = 5200 + i;
            for (int k = 0; k < 64; ++k)
                f->m_szCompressSha256[k] = "0123456789abcdef"[(i * 7 + k * 13) % 16];
        }
        _exit(list.Save(path_) ? 0 : 1);
    }
    const std::wstring& Path() const { return path_; }
    std::uintmax_t Bytes() const { return bytes_; }

private:
    test::TempFolder folder_;
    std::wstring path_;
    std::uintmax_t bytes_ = 0;
};

Input& TheInput()
{
    static Input input;
    return input;
}

// The former load: the whole tree alive while every entry is read.
bool LoadKeepingTheTree(CUpdateList& list, const std::wstring& path)
{
    TiXmlDocument doc;
    if (!doc.LoadFile(std::filesystem::path(path).string().c_str()))
        return false;
    const TiXmlElement* software = doc.RootElement() ? doc.RootElement()->FirstChildElement("Software") : nullptr;
    if (!software)
        return false;
    for (const TiXmlElement* e = software->FirstChildElement("File"); e; e = e->NextSiblingElement())
        if (!list.AddFile()->ReadXml(e))
            return false;
    return true;
}

long StatusKiB(const char* field)
{
    std::FILE* fp = std::fopen("/proc/self/status", "r");
    if (!fp)
        return -1;
    char line[256];
    long value = -1;
    const size_t n = std::strlen(field);
    while (std::fgets(line, sizeof line, fp))
        if (std::strncmp(line, field, n) == 0)
            value = std::strtol(line + n, nullptr, 10);
    std::fclose(fp);
    return value;
}

// Peak resident memory in KiB that load adds, measured in a child process:
// the peak is reset to the current resident size just before the load.
long PeakKiB(const std::function<bool(CUpdateList&)>& load)
{
    int fds[2];
    if (pipe(fds) != 0)
        return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        const long before = StatusKiB("VmRSS:");
        if (std::FILE* clear = std::fopen("/proc/self/clear_refs", "w")) {
            std::fputs("5", clear);
            std::fclose(clear);
        }
        CUpdateList list;
        const bool ok = load(list) && list.m_setFiles.size() == static_cast<size_t>(kEntries);
        long peak = ok ? StatusKiB("VmHWM:") - before : -1;
        if (write(fds[1], &peak, sizeof peak) != sizeof peak)
            _exit(1);
        _exit(0);
    }
    close(fds[1]);
    long peak = -1;
    if (read(fds[0], &peak, sizeof peak) != sizeof peak)
        peak = -1;
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return peak;
}

void BM_Load(benchmark::State& state)
{
    const std::wstring& path = TheInput().Path();
    for (auto _ : state) {
        CUpdateList list;
        if (!list.Load(path) || list.m_setFiles.size() != static_cast<size_t>(kEntries))
            state.SkipWithError("load failed");
    }
}

void BM_BaselineTreeKeptWhole(benchmark::State& state)
{
    const std::wstring& path = TheInput().Path();
    for (auto _ : state) {
        CUpdateList list;
        if (!LoadKeepingTheTree(list, path) || list.m_setFiles.size() != static_cast<size_t>(kEntries))
            state.SkipWithError("load failed");
    }
}

}  // namespace

// The machine is shared: five repetitions each, compare medians.
BENCHMARK(BM_Load)->Unit(benchmark::kMillisecond)->MinTime(0.5)->Repetitions(5);
BENCHMARK(BM_BaselineTreeKeptWhole)->Unit(benchmark::kMillisecond)->MinTime(0.5)->Repetitions(5);

int main(int argc, char** argv)
{
    const std::wstring path = TheInput().Path();
    std::printf("list of %d entries, %ju bytes\n", kEntries, TheInput().Bytes());
    long best[2] = {-1, -1};
    for (int run = 0; run < 3; ++run) {
        const long load = PeakKiB([&](CUpdateList& list) { return list.Load(path); });
        const long kept = PeakKiB([&](CUpdateList& list) { return LoadKeepingTheTree(list, path); });
        if (best[0] < 0 || (load >= 0 && load < best[0]))
            best[0] = load;
        if (best[1] < 0 || (kept >= 0 && kept < best[1]))
            best[1] = kept;
    }
    std::printf("peak memory added by the load (best of 3): Load %.1f MiB, baseline tree kept whole %.1f MiB, "
                "ratio %.2f\n",
                best[0] / 1024.0, best[1] / 1024.0, best[1] > 0 ? static_cast<double>(best[0]) / best[1] : 0.0);
    std::fflush(stdout);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
