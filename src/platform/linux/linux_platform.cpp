#include "platform/linux/linux_platform.hpp"

#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "platform/linux/braille/braille.hpp"
#include "platform/linux/bus/session_bus.hpp"
#include "platform/linux/bus/status_notifier_tray.hpp"
#include "platform/linux/front_end.hpp"
#include "platform/linux/install_folders.hpp"
#include "platform/linux/proc/proc_reader.hpp"
#include "platform/linux/sound/audio_session.hpp"
#include "platform/linux/speech/speech_session.hpp"
#include "platform/linux/wake_pipe.hpp"

namespace tarrow {

LinuxPlatform::LinuxPlatform(SystemRoots roots)
    : roots_(std::move(roots)),
      wake_(std::make_unique<WakePipe>()),
      headless_(MakeHeadlessFrontEnd(*wake_)),
      frontEnd_(headless_.get()),
      speech_(std::make_unique<SpeechSession>()),
      braille_(std::make_unique<BrailleSession>()),
      audio_(std::make_unique<AudioSession>()),
      proc_(std::make_unique<ProcReader>()) {
    proc_->procRoot = roots_.proc;
    proc_->sysRoot = roots_.sys;
}

LinuxPlatform::~LinuxPlatform() = default;

void LinuxPlatform::InitServices() {
    // The user's locale for everything but numbers, which always use a full stop.
    std::setlocale(LC_ALL, "");
    std::setlocale(LC_NUMERIC, "C");
    cueFolder_ = EnterInstallFolders();
}

void LinuxPlatform::ShutdownServices() {
    StopAudioEngine(*audio_);
    // Headless from here: a worker may still ask a box while we end.
    CloseUserInterface();
    // Texts already handed over ("Exiting") still reach the speech server, but
    // a server that does not answer cannot hold the way out for long.
    StopSpeech(*speech_, std::chrono::milliseconds(500));
    StopBraille(*braille_, std::chrono::milliseconds(200));
    std::fflush(stdout);
}

void LinuxPlatform::EndProcess(int exitCode) {
    std::fflush(stdout);
    std::fflush(stderr);
    // Workers are never joined: end without running destructors under them.
    _exit(exitCode);
}

int64_t LinuxPlatform::NowMs() {
    const auto now = std::chrono::steady_clock::now();
    if (!clockStarted_) {
        clockStart_ = now;
        clockStarted_ = true;
    }
    return std::chrono::duration_cast<std::chrono::milliseconds>(now - clockStart_).count();
}

void LinuxPlatform::StartWorker(std::function<void()> entry) {
    try {
        std::thread([entry = std::move(entry)]() noexcept {
            try {
                entry();
            } catch (...) {
            }
        }).detach();
    } catch (...) {
        // A thread that cannot start is a check that does not run.
    }
}

std::unique_ptr<PlatformServices> CreatePlatform() {
    FinishUnfinishedUpdate();
    auto platform = std::make_unique<LinuxPlatform>();
    // Before any thread starts or the terminal goes raw (whose own handlers
    // restore the terminal, then pass the signal on to these).
    platform->CatchTerminationSignals();
    std::string why;
    if (!platform->OpenUserInterface(why)) {
        std::fprintf(stderr, "%s\n", why.c_str());
        std::exit(1);
    }
    return platform;
}

}  // namespace tarrow
