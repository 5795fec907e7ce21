// A soak of the main loop: the real Linux backend (headless, speech and cues
// going nowhere) with all five monitors on at 250 ms, while a thread of this
// program starts and reaps short-lived processes without pause. Every minute
// it prints its resident and private memory, descriptors, threads and the
// size of the CPU sample table; all of them should stay flat.
//
//   soak-bench [minutes, default 10] [processes started per second, default 50]

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "app/application.hpp"
#include "platform/linux/linux_platform.hpp"
#include "silent_speech.hpp"

extern char** environ;

namespace {

// The value (in kB, or a count) of a "Name: value" line of a /proc file.
long Field(const char* file, const std::string& name) {
    std::ifstream in(file);
    std::string line;
    long total = 0;
    while (std::getline(in, line)) {
        if (line.rfind(name, 0) == 0) total += std::atol(line.c_str() + name.size());
    }
    return total;
}

long Descriptors() {
    long count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        (void)entry;
        ++count;
    }
    return count;
}

void Churn(const std::atomic<bool>& stop, int perSecond, std::atomic<long>& started) {
    char program[] = "/bin/true";
    char* argv[] = {program, nullptr};
    const auto pause = std::chrono::microseconds(1000000 / std::max(perSecond, 1));
    while (!stop.load()) {
        pid_t pid = -1;
        if (posix_spawn(&pid, program, nullptr, nullptr, argv, environ) == 0) {
            ::waitpid(pid, nullptr, 0);
            ++started;
        }
        std::this_thread::sleep_for(pause);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const int minutes = argc > 1 ? std::max(std::atoi(argv[1]), 1) : 10;
    const int perSecond = argc > 2 ? std::atoi(argv[2]) : 50;
    const std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                         ("tarrow-soak-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    std::filesystem::current_path(folder);

    tarrow::LinuxPlatform platform;
    tarrow::bench::SilentSpeech silent;
    tarrow::PlatformRoles roles(platform, platform, platform, platform, silent, platform, platform,
                                platform, platform);
    // No start-up runs here (no welcome, no update check): a blank profile will do.
    tarrow::Application app(roles, tarrow::BuildProfile{});
    const int64_t start = platform.NowMs();
    tarrow::InitMonitors(app.monitors, start);
    for (tarrow::Monitor& m : app.monitors.byName) {
        m.enabled = 1;
        m.interval = 250;
    }
    app.processes.focusedPid = ::getpid();
    app.lastRefreshTime = start;
    tarrow::RefreshProcessList(platform, app.processes);

    std::atomic<bool> stop{false};
    std::atomic<long> started{0};
    std::thread churn(Churn, std::cref(stop), perSecond, std::ref(started));
    std::printf("%6s %10s %10s %6s %8s %8s %8s %10s\n", "minute", "RSS kB", "private kB", "fds",
                "threads", "samples", "listed", "started");
    for (int minute = 0; minute <= minutes; ++minute) {
        const int64_t until = start + int64_t(minute) * 60000;
        while (platform.NowMs() < until) tarrow::RunPass(app);
        std::printf("%6d %10ld %10ld %6ld %8ld %8zu %8zu %10ld\n", minute,
                    Field("/proc/self/status", "VmRSS:"),
                    Field("/proc/self/smaps_rollup", "Private_Clean:") +
                        Field("/proc/self/smaps_rollup", "Private_Dirty:"),
                    Descriptors(), Field("/proc/self/status", "Threads:"),
                    app.processes.cpuSamples.size(), app.processes.list.entries.size(),
                    started.load());
        std::fflush(stdout);
    }
    stop = true;
    churn.join();
    std::filesystem::current_path("/");
    std::filesystem::remove_all(folder);
    return 0;
}
