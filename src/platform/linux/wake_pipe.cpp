// The wake-up pipe: a byte written from any thread ends the event wait.

#include "platform/linux/wake_pipe.hpp"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>

#include "platform/linux/bus/session_bus.hpp"

namespace tarrow {

namespace {

// A signal handler reaches no object: the pipe's write end and the request
// are kept here (lock-free, so the handler may touch them).
std::atomic<int> gSignalWakeFd{-1};
std::atomic<bool> gCloseSignalled{false};

void OnTerminationSignal(int) noexcept {
    const int savedErrno = errno;
    gCloseSignalled.store(true);
    const int fd = gSignalWakeFd.load();
    if (fd >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t written = write(fd, &byte, 1);
    }
    errno = savedErrno;
}

}  // namespace

WakePipe::WakePipe() {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
        read_ = UniqueFd(fds[0]);
        write_ = UniqueFd(fds[1]);
    }
}

void WakePipe::PostExitRequest() noexcept {
    exitRequested_.store(true);
    if (write_.Get() >= 0) {
        const char byte = 1;
        // A full pipe already wakes the loop; nothing more to do then.
        [[maybe_unused]] const ssize_t written = write(write_.Get(), &byte, 1);
    }
}

WakePipe::~WakePipe() {
    if (!catching_) return;
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    for (const int signal : {SIGTERM, SIGHUP, SIGINT}) sigaction(signal, &fallback, nullptr);
    gSignalWakeFd.store(-1);
}

void WakePipe::CatchTerminationSignals() noexcept {
    catching_ = true;
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, nullptr);
    gSignalWakeFd.store(write_.Get());
    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;  // a read or write under way goes on
    for (const int signal : {SIGTERM, SIGHUP, SIGINT}) sigaction(signal, &action, nullptr);
}

bool WakePipe::TakeCloseRequest() noexcept { return gCloseSignalled.exchange(false); }

void WakePipe::Drain() noexcept {
    char buffer[64];
    while (read_.Get() >= 0 && read(read_.Get(), buffer, sizeof buffer) > 0) {
    }
}

void WakePipe::Wait(int64_t timeoutMs) noexcept {
    if (timeoutMs <= 0 || (read_.Get() < 0 && bus_ == nullptr)) return;
    Poll(nullptr, 0, timeoutMs);
}

int WakePipe::Poll(pollfd* own, size_t count, int64_t timeoutMs) noexcept {
    pollfd fds[8];
    const size_t ownCount = std::min<size_t>(count, 6);
    std::copy(own, own + ownCount, fds);
    fds[ownCount] = {read_.Get(), POLLIN, 0};
    fds[ownCount + 1] = {bus_ ? bus_->Fd() : -1, bus_ ? bus_->PollEvents() : short(0), 0};
    int64_t wait = std::clamp<int64_t>(timeoutMs, 0, 1 << 30);
    if (bus_) {
        const int64_t busWait = bus_->TimeoutMs();
        if (busWait >= 0) wait = std::min(wait, busWait);
    }
    const int ready = poll(fds, ownCount + 2, static_cast<int>(wait));
    std::copy(fds, fds + ownCount, own);
    if (ready > 0 && (fds[ownCount].revents & POLLIN)) Drain();
    // Also on a time-out: the bus may have a deadline of its own (a call's reply).
    if (bus_) bus_->Process();
    return ready;
}

}  // namespace tarrow
