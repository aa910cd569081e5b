// Time from process start to the first painted frame of the progress window
// under Xvfb, against the time to start the same executable and print at once
// (the baseline). Each iteration spawns the probe and reads the monotonic
// clock it prints.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "process.h"
#include "xvfb.h"

namespace {

test::Xvfb g_display;

long long NowNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

std::string ProbePath()
{
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    std::string path(self, n > 0 ? static_cast<size_t>(n) : 0);
    return path.substr(0, path.rfind('/') + 1) + "ui_first_frame_probe";
}

// Seconds from spawning the probe to the clock value it prints; < 0 on failure.
// cpuSeconds receives the probe's user and system time: on a shared machine
// the wall time mostly measures waiting for a core.
double SpawnAndMeasure(bool baseline, double& cpuSeconds)
{
    test::Process probe;
    const long long start = NowNs();
    if (!probe.Start(ProbePath(), baseline ? std::vector<std::string>{"--baseline"} : std::vector<std::string>{})) {
        return -1;
    }
    const int status = probe.Wait(std::chrono::seconds(30));
    cpuSeconds = probe.CpuSeconds();
    const std::string out = probe.Output();
    if (out.empty() || status != 0) {
        return -1;
    }
    return static_cast<double>(std::atoll(out.c_str()) - start) / 1e9;
}

void Run(benchmark::State& state, bool baseline)
{
    double cpu = 0;
    for (auto _ : state) {
        double cpuSeconds = 0;
        const double seconds = SpawnAndMeasure(baseline, cpuSeconds);
        cpu += cpuSeconds;
        if (seconds < 0) {
            state.SkipWithError("probe failed");
            return;
        }
        state.SetIterationTime(seconds);
    }
    state.counters["probe_cpu_ms"] = benchmark::Counter(cpu * 1000, benchmark::Counter::kAvgIterations);
}

void BM_ProcessStartBaseline(benchmark::State& state) { Run(state, true); }
void BM_ProcessStartToFirstFrame(benchmark::State& state) { Run(state, false); }

BENCHMARK(BM_ProcessStartBaseline)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_ProcessStartToFirstFrame)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace

int main(int argc, char** argv)
{
    if (!g_display.Start(1024, 768)) {
        std::fprintf(stderr, "ui_start: Xvfb did not start\n");
        return 1;
    }
    g_display.Export();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_display.Stop();
    return 0;
}
