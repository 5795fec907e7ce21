#pragma once
// Waiting for a child process, going on after a signal interrupts the wait.

#include <sys/wait.h>

#include <cerrno>

namespace tarrow {

// Leaves its wait status in `status`; false (status untouched) when the child
// cannot be waited for.
inline bool WaitForChild(pid_t pid, int& status) {
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return false;
    }
    return true;
}

}  // namespace tarrow
