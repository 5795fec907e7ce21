#pragma once
// The exit request another thread posts, and the pipe that wakes the event
// wait for it, shared by every front end.

#include <atomic>
#include <cstdint>

#include "platform/linux/unique_fd.hpp"

namespace tarrow {

class WakePipe {
public:
    WakePipe();
    WakePipe(const WakePipe&) = delete;
    WakePipe& operator=(const WakePipe&) = delete;

    // From any thread: the wait ends and reports an exit request.
    void PostExitRequest() noexcept;
    // True once per posted request.
    bool TakeExitRequest() noexcept { return exitRequested_.exchange(false); }
    // The end a front end polls next to its own input; -1 without a pipe.
    int ReadFd() const { return read_.Get(); }
    void Drain() noexcept;
    // Waits on the pipe alone (no display, no terminal).
    void Wait(int64_t timeoutMs) noexcept;

private:
    UniqueFd read_, write_;
    std::atomic<bool> exitRequested_{false};
};

}  // namespace tarrow
