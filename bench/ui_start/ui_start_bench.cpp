// Time from process start to the first painted frame of the progress window
// under Xvfb, against the time to start the same executable and print at once
// (the baseline). Each iteration spawns the probe and reads the monotonic
// clock it prints.
#include <benchmark/benchmark.h>

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "xvfb_display.h"

extern char** environ;

namespace {

CXvfbDisplay g_display;

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
    const std::string probe = ProbePath();
    int fds[2];
    if (pipe(fds) != 0) {
        return -1;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    char arg0[] = "ui_first_frame_probe";
    char arg1[] = "--baseline";
    char* argv[] = {arg0, baseline ? arg1 : nullptr, nullptr};
    pid_t pid = -1;
    const long long start = NowNs();
    const int rc = posix_spawn(&pid, probe.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (rc != 0) {
        close(fds[0]);
        return -1;
    }
    std::string out;
    char buf[64];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0) {
        out.append(buf, static_cast<size_t>(n));
    }
    close(fds[0]);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    cpuSeconds = usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    if (out.empty() || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
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
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_display.Stop();
    return 0;
}
