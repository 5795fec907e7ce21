// What sound and speech cost the program: start-up step 5 (the audio engine on
// this machine's devices and the five cues), the decoding of the cues alone,
// one PlayCue, and one OutputSpeech with the speech thread running.
//
//   audio-bench [folder holding snd/, default .]

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/linux/linux_platform.hpp"
#include "platform/linux/sound/audio_session.hpp"
#include "platform/text.hpp"

namespace {

using Clock = std::chrono::steady_clock;
const char* const kCues[] = {"up.wav", "down.wav", "CPU.wav", "memory.wav", "battery.wav"};

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const std::string folder = std::string(argc > 1 ? argv[1] : ".") + "/snd/";

    {
        tarrow::LinuxPlatform platform;
        const auto start = Clock::now();
        const bool started = platform.StartAudio();
        int loaded = 0;
        for (const char* name : kCues) {
            loaded += platform.LoadCue(tarrow::Utf8ToUtf16(folder + name)) != tarrow::kNoCue;
        }
        std::printf("start-up step 5 on this machine's devices: %.2f ms (engine %s, %d cues)\n",
                    MsSince(start), started ? "started" : "none", loaded);
        platform.ShutdownServices();
    }

    tarrow::AudioSession session;
    if (!tarrow::StartAudioEngine(session, tarrow::AudioOutput::Silent)) {
        std::printf("silent engine did not start\n");
        return 1;
    }
    std::vector<double> loads;
    for (int round = 0; round < 10; ++round) {
        tarrow::AudioSession fresh;
        tarrow::StartAudioEngine(fresh, tarrow::AudioOutput::Silent);
        const auto start = Clock::now();
        for (const char* name : kCues) tarrow::LoadCueFile(fresh, folder + name);
        loads.push_back(MsSince(start));
    }
    std::printf("reading and decoding the five cues: median %.3f ms\n", Median(loads));

    const tarrow::CueId cue = tarrow::LoadCueFile(session, folder + "up.wav");
    std::vector<double> plays;
    for (int round = 0; round < 1000; ++round) {
        const auto start = Clock::now();
        tarrow::PlayLoadedCue(session, cue);
        plays.push_back(MsSince(start) * 1000.0);
    }
    std::printf("PlayCue (restart of a playing cue): median %.2f us, worst %.1f us (%s)\n", Median(plays),
                *std::max_element(plays.begin(), plays.end()),
                tarrow::CueIsPlaying(session, cue) ? "playing" : "NOT PLAYING");

    // Speech lines go to /dev/null so that the figure is ours, not the terminal's.
    const int saved = ::dup(STDOUT_FILENO);
    const int null = ::open("/dev/null", O_WRONLY);
    tarrow::LinuxPlatform platform;
    platform.LoadSpeech();
    std::vector<double> says;
    std::fflush(stdout);
    ::dup2(null, STDOUT_FILENO);
    for (int round = 0; round < 1000; ++round) {
        const auto start = Clock::now();
        platform.OutputSpeech(u"12 CPU", round % 10 == 0);
        says.push_back(MsSince(start) * 1000.0);
    }
    std::fflush(stdout);
    ::dup2(saved, STDOUT_FILENO);
    ::close(null);
    ::close(saved);
    std::printf("OutputSpeech: median %.2f us, worst %.1f us\n", Median(says),
                *std::max_element(says.begin(), says.end()));
    const auto stop = Clock::now();
    platform.ShutdownServices();
    std::printf("ShutdownServices with speech: %.2f ms\n", MsSince(stop));
    return 0;
}
