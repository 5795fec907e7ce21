// Raw mode for standard input, undone on the way out, whether the program
// ends normally or by a signal.

#include "platform/linux/terminal/raw_terminal.hpp"

#include <unistd.h>

#include <array>
#include <atomic>
#include <csignal>

namespace tarrow {

namespace {

// A signal that ends or stops the program must put the terminal back the way
// it was; signal handlers reach no session, so the settings are kept here too.
termios gCookedForSignals{};
termios gRawForSignals{};
std::atomic<bool> gSignalRestoreArmed{false};
constexpr std::array kRestoringSignals = {SIGINT, SIGTERM, SIGHUP,  SIGQUIT, SIGTSTP,
                                          SIGABRT, SIGSEGV, SIGBUS, SIGFPE};
std::array<struct sigaction, kRestoringSignals.size()> gPreviousActions{};

void OnFatalSignal(int signal) noexcept {
    if (gSignalRestoreArmed.load()) tcsetattr(STDIN_FILENO, TCSANOW, &gCookedForSignals);
    if (signal == SIGTSTP) {
        // Suspend with the terminal restored, and go raw again when continued.
        struct sigaction stop{}, ours{};
        stop.sa_handler = SIG_DFL;
        sigaction(SIGTSTP, &stop, &ours);
        raise(SIGTSTP);
        sigaction(SIGTSTP, &ours, nullptr);
        if (gSignalRestoreArmed.load()) tcsetattr(STDIN_FILENO, TCSANOW, &gRawForSignals);
        return;
    }
    // Whoever handled it before us (the default: end the program) takes over.
    for (size_t i = 0; i < kRestoringSignals.size(); ++i) {
        if (kRestoringSignals[i] == signal) sigaction(signal, &gPreviousActions[i], nullptr);
    }
    raise(signal);
}

void ArmSignalRestore(const termios& cooked, const termios& raw) {
    gCookedForSignals = cooked;
    gRawForSignals = raw;
    gSignalRestoreArmed.store(true);
    struct sigaction action{};
    action.sa_handler = OnFatalSignal;
    sigemptyset(&action.sa_mask);
    for (size_t i = 0; i < kRestoringSignals.size(); ++i) {
        sigaction(kRestoringSignals[i], &action, &gPreviousActions[i]);
    }
}

void DisarmSignalRestore() noexcept {
    if (!gSignalRestoreArmed.exchange(false)) return;
    for (size_t i = 0; i < kRestoringSignals.size(); ++i) {
        sigaction(kRestoringSignals[i], &gPreviousActions[i], nullptr);
    }
}

}  // namespace

bool RawTerminal::Enter(int fd) {
    termios raw{};
    if (tcgetattr(fd, &saved_) != 0) return false;
    raw = saved_;
    // Keys arrive one by one without echo; Ctrl+C and output processing stay.
    raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    if (tcsetattr(fd, TCSANOW, &raw) != 0) return false;
    fd_ = fd;
    ArmSignalRestore(saved_, raw);
    return true;
}

void RawTerminal::Restore() noexcept {
    if (fd_ < 0) return;
    tcsetattr(fd_, TCSANOW, &saved_);
    DisarmSignalRestore();
    fd_ = -1;
}

}  // namespace tarrow
