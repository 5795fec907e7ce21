#pragma once
// Waiting for a child process, going on after a signal interrupts the wait.

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <csignal>

namespace tarrow {

// Spawn attributes that give a child SIGPIPE's default action back: we
// ignore it, and an ignored signal would stay ignored across the exec.
class SpawnAttributes {
public:
    SpawnAttributes() {
        posix_spawnattr_init(&attr_);
        sigset_t defaults;
        sigemptyset(&defaults);
        sigaddset(&defaults, SIGPIPE);
        posix_spawnattr_setsigdefault(&attr_, &defaults);
        posix_spawnattr_setflags(&attr_, POSIX_SPAWN_SETSIGDEF);
    }
    ~SpawnAttributes() { posix_spawnattr_destroy(&attr_); }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;
    const posix_spawnattr_t* Get() const { return &attr_; }

private:
    posix_spawnattr_t attr_;
};

// Leaves its wait status in `status`; false (status untouched) when the child
// cannot be waited for.
inline bool WaitForChild(pid_t pid, int& status) {
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return false;
    }
    return true;
}

}  // namespace tarrow
