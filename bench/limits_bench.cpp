// How long the actions that read the user's files hold the hotkeys with those
// files at their limits and 1,600 processes on the machine: the favourites key
// (processes.txt of 4,096 lines, of 1 MiB, or larger), a PC monitor toggle
// (prefs.ini of 1 MiB, or larger, which is then never rewritten), start-up's
// settings read and the refresh itself. Target: every action at most 100 ms.
//
//   limits-bench [sleeping processes, default 1600] [rounds, default 10]
//
// Runs in a scratch folder of its own; speech goes nowhere. The favourites run
// against the live process list, so ending is guarded twice: no line can match
// a name (each holds a character no executable name here has), and the process
// role refuses to end anything at all.

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "monitors/monitors.hpp"
#include "platform/linux/linux_platform.hpp"
#include "silent_speech.hpp"
#include "processes/processes.hpp"
#include "settings/settings.hpp"
#include "sleepers.hpp"

namespace {

using Clock = std::chrono::steady_clock;

// The live process list, with ending switched off: a benchmark never ends a
// process, whatever its favourites say.
class NeverEnding final : public tarrow::ProcessControl {
public:
    explicit NeverEnding(tarrow::ProcessControl& live) : live_(live) {}
    bool TakeProcessSnapshot(std::vector<tarrow::SnapshotEntry>& out) override {
        return live_.TakeProcessSnapshot(out);
    }
    int64_t ProcessWorkingSet(uint32_t pid) override { return live_.ProcessWorkingSet(pid); }
    std::optional<uint64_t> ProcessCpuTime(uint32_t pid) override { return live_.ProcessCpuTime(pid); }
    uint64_t ProcessStartTime(uint32_t pid) override { return live_.ProcessStartTime(pid); }
    bool TerminateProcess(uint32_t, uint64_t, std::u16string_view) override {
        ++refused;
        return false;
    }
    uint32_t CurrentProcessId() override { return live_.CurrentProcessId(); }
    std::optional<std::u16string> ProcessImagePath(uint32_t pid) override {
        return live_.ProcessImagePath(pid);
    }
    int refused = 0;

private:
    tarrow::ProcessControl& live_;
};

void WriteFile(const std::string& name, const std::string& bytes, uintmax_t sparseSize = 0) {
    std::ofstream(name, std::ios::binary | std::ios::trunc) << bytes;
    if (sparseSize > 0) std::filesystem::resize_file(name, sparseSize);
}

std::string Lines(size_t count, size_t width) {
    std::string text;
    for (size_t i = 0; i < count; ++i) {
        // A control character: no executable name on a real system holds one.
        std::string line = "\x01nomatch" + std::to_string(i);
        line.resize(width - 1, 'q');
        text += line + "\n";
    }
    return text;
}

// Times `action` over the rounds; prints the median and the worst.
void Row(const char* label, int rounds, const std::function<void()>& action) {
    std::vector<double> ms;
    for (int i = 0; i < rounds; ++i) {
        const auto start = Clock::now();
        action();
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::sort(ms.begin(), ms.end());
    std::printf("%-52s %9.2f %9.2f  %s\n", label, ms[ms.size() / 2], ms.back(),
                ms.back() <= 100 ? "ok" : "OVER 100 ms");
}

}  // namespace

int main(int argc, char** argv) {
    const int extra = argc > 1 ? std::atoi(argv[1]) : 1600;
    const int rounds = argc > 2 ? std::max(std::atoi(argv[2]), 1) : 10;
    const std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                         ("tarrow-limits-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    std::filesystem::current_path(folder);

    tarrow::LinuxPlatform platform;
    NeverEnding control(platform);
    const tarrow::ProcessRoles roles(control, platform, platform);
    tarrow::bench::SilentSpeech silent;
    tarrow::SpeechOutput speech(silent);
    tarrow::ProcessState state;
    tarrow::Monitors monitors;
    tarrow::InitMonitors(monitors, platform.NowMs());
    bench::Sleepers sleepers(extra);
    ::usleep(500000);  // let every child reach its exec
    tarrow::RefreshProcessList(roles, state);
    std::printf("%zu processes listed (%zu sleepers), %d rounds\n", state.list.entries.size(),
                sleepers.size(), rounds);
    std::printf("%-52s %9s %9s\n", "action", "median ms", "worst ms");

    const size_t kMiB = size_t(1) << 20;
    Row("refresh", rounds, [&] { tarrow::RefreshProcessList(roles, state); });
    const auto favourites = [&] { tarrow::KillFavourites(roles, platform, speech, state); };
    WriteFile("processes.txt", Lines(4096, 8));
    Row("favourites: 4,096 short lines, none matching", rounds, favourites);
    WriteFile("processes.txt", Lines(4096, 256));
    Row("favourites: 4,096 lines, 1 MiB, none matching", rounds, favourites);
    WriteFile("processes.txt", Lines(4096, 8), uintmax_t(1) << 30);
    Row("favourites: 4,096 short lines + 1 GiB beyond", rounds, favourites);
    WriteFile("processes.txt", "\x01" + std::string(kMiB - 1, 'q'));
    Row("favourites: one line of 1 MiB", rounds, favourites);
    if (control.refused != 0) std::printf("(%d termination requests refused)\n", control.refused);

    std::string prefs = "[general]\r\nmodifier = control+alt+shift\r\n[monitors]\r\n";
    while (prefs.size() + 256 < kMiB) prefs += "; a comment line that pads the file to its limit\r\n";
    prefs += "pc_cpu_monitor = 0\r\n";
    const auto toggle = [&] {
        tarrow::ToggleMonitor(tarrow::MonitorName::PcCpu, roles, platform, speech, state, monitors);
    };
    const auto load = [&] {
        tarrow::Settings settings;
        tarrow::LoadSettings(platform, settings);
    };
    WriteFile("prefs.ini", prefs);
    Row("settings read: prefs.ini of 1 MiB", rounds, load);
    Row("PC CPU toggle: prefs.ini of 1 MiB, rewritten", rounds, toggle);
    WriteFile("prefs.ini", prefs, uintmax_t(1) << 30);
    Row("settings read: prefs.ini of 1 GiB", rounds, load);
    Row("PC CPU toggle: prefs.ini of 1 GiB, left alone", rounds, toggle);

    std::filesystem::current_path("/");
    std::filesystem::remove_all(folder);
    return 0;
}
