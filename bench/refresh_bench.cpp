// Times RefreshProcessList on the live /proc beside `ps -e -o pid=,rss=,time=,comm=`
// over the same processes: first as the machine stands, then with extra
// sleeping processes that the benchmark starts and ends.
//
//   refresh-bench [extra processes, default 1500]

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/linux/linux_platform.hpp"
#include "sleepers.hpp"
#include "processes/processes.hpp"

extern char** environ;

namespace {

using bench::Sleepers;

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}


// One `ps` run with its output thrown away, in milliseconds; negative on failure.
double TimePs() {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    char ps[] = "ps";
    char all[] = "-e";
    char option[] = "-o";
    char format[] = "pid=,rss=,time=,comm=";
    char* argv[] = {ps, all, option, format, nullptr};
    const auto start = Clock::now();
    pid_t pid = -1;
    const int spawned = ::posix_spawnp(&pid, "ps", &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return -1;
    int status = 0;
    ::waitpid(pid, &status, 0);
    const double ms = MsSince(start);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? ms : -1;
}

// Where a refresh spends its time: the listing with one stat read per process
// (names only for processes not seen before), then the figures it read.
void Breakdown(tarrow::PlatformServices& platform, tarrow::ProcessState& state) {
    std::vector<double> snapshot, memory, times;
    for (int round = 0; round < 15; ++round) {
        auto start = Clock::now();
        platform.TakeProcessSnapshot(state.snapshot);
        snapshot.push_back(MsSince(start));
        start = Clock::now();
        for (const auto& row : state.snapshot) platform.ProcessWorkingSet(row.pid);
        memory.push_back(MsSince(start));
        start = Clock::now();
        for (const auto& row : state.snapshot) platform.ProcessCpuTime(row.pid);
        times.push_back(MsSince(start));
    }
    std::printf("%-22s snapshot, stat and names %.2f ms, working sets %.2f ms, times %.2f ms\n", "",
                Median(snapshot), Median(memory), Median(times));
}

void Measure(const char* label, tarrow::PlatformServices& platform,
             tarrow::ProcessState& state) {
    tarrow::RefreshProcessList(platform, state);  // warm: buffers, samples, caches
    TimePs();
    std::vector<double> ours;
    std::vector<double> theirs;
    for (int round = 0; round < 15; ++round) {
        auto start = Clock::now();
        tarrow::RefreshProcessList(platform, state);
        ours.push_back(MsSince(start));
        const double ps = TimePs();
        if (ps >= 0) theirs.push_back(ps);
    }
    const double ourMs = Median(ours);
    if (theirs.empty()) {
        std::printf("%-22s %9zu %9zu %14.2f %10s %8s\n", label, state.snapshot.size(),
                    state.list.entries.size(), ourMs, "n/a", "n/a");
        return;
    }
    const double psMs = Median(theirs);
    std::printf("%-22s %9zu %9zu %14.2f %10.2f %8.2f\n", label, state.snapshot.size(),
                state.list.entries.size(), ourMs, psMs, ourMs / psMs);
    Breakdown(platform, state);
}

}  // namespace

int main(int argc, char** argv) {
    const int extra = argc > 1 ? std::atoi(argv[1]) : 1500;
    tarrow::LinuxPlatform platform;
    tarrow::ProcessState state;
    std::printf("median of 15 rounds; ratio = our refresh / ps (target: at most 0.30)\n");
    std::printf("%-22s %9s %9s %14s %10s %8s\n", "set", "snapshot", "listed", "ours ms/refr",
                "ps ms", "ratio");
    Measure("live", platform, state);
    {
        Sleepers sleepers(extra);
        ::usleep(500000);  // let every child reach its exec
        const std::string label = "live + " + std::to_string(sleepers.size()) + " sleepers";
        Measure(label.c_str(), platform, state);
    }
    return 0;
}
