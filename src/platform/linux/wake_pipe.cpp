// The wake-up pipe: a byte written from any thread ends the event wait.

#include "platform/linux/wake_pipe.hpp"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>

namespace tarrow {

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

void WakePipe::Drain() noexcept {
    char buffer[64];
    while (read_.Get() >= 0 && read(read_.Get(), buffer, sizeof buffer) > 0) {
    }
}

void WakePipe::Wait(int64_t timeoutMs) noexcept {
    if (timeoutMs <= 0 || read_.Get() < 0) return;
    pollfd fd{read_.Get(), POLLIN, 0};
    poll(&fd, 1, static_cast<int>(std::min<int64_t>(timeoutMs, 1 << 30)));
    Drain();
}

}  // namespace tarrow
