#pragma once
// The exit request another thread posts, and the pipe that wakes the event
// wait for it, shared by every front end. The session bus, when one is
// watched, joins every wait here.

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "platform/linux/unique_fd.hpp"

struct pollfd;

namespace tarrow {

class SessionBus;

class WakePipe {
public:
    WakePipe();
    ~WakePipe();  // gives the signals it caught back to their defaults
    WakePipe(const WakePipe&) = delete;
    WakePipe& operator=(const WakePipe&) = delete;

    // From any thread: the wait ends and reports an exit request.
    void PostExitRequest() noexcept;
    // True once per posted request.
    bool TakeExitRequest() noexcept { return exitRequested_.exchange(false); }
    // SIGTERM, SIGHUP and SIGINT become a close request for the main loop (the
    // handler only marks it and wakes the wait); SIGPIPE is ignored, so a write
    // to a closed standard output just fails. For one pipe per process.
    void CatchTerminationSignals() noexcept;
    // True once after one of those signals arrived.
    static bool TakeCloseRequest() noexcept;
    // The end a front end polls next to its own input; -1 without a pipe.
    int ReadFd() const { return read_.Get(); }
    void Drain() noexcept;
    // Waits on the pipe (and the bus) alone: no display, no terminal.
    void Wait(int64_t timeoutMs) noexcept;
    // poll() on the front end's own descriptors, the pipe and the watched bus;
    // the pipe is drained and the bus's messages handled before it returns.
    // Returns what poll() returned.
    int Poll(pollfd* own, size_t count, int64_t timeoutMs) noexcept;
    // Main thread only; null stops watching.
    void WatchBus(SessionBus* bus) noexcept { bus_ = bus; }

private:
    UniqueFd read_, write_;
    std::atomic<bool> exitRequested_{false};
    bool catching_ = false;
    SessionBus* bus_ = nullptr;
};

}  // namespace tarrow
