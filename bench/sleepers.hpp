#pragma once
// Sleeping child processes for the benchmarks: started together, ended together.

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

namespace bench {

// Sleeping children in a process group of their own; each dies with us.
class Sleepers {
public:
    explicit Sleepers(int count) {
        pids_.reserve(static_cast<size_t>(count));
        for (int i = 0; i < count; ++i) {
            const pid_t pid = ::fork();
            if (pid < 0) {
                std::fprintf(stderr, "fork failed after %d sleepers\n", i);
                break;
            }
            if (pid == 0) {
                ::prctl(PR_SET_PDEATHSIG, SIGKILL);
                if (::getppid() == 1) ::_exit(0);
                ::setpgid(0, group_ == 0 ? 0 : group_);
                char name[] = "sleep";
                char seconds[] = "900";
                char* argv[] = {name, seconds, nullptr};
                ::execv("/bin/sleep", argv);
                ::_exit(127);
            }
            if (group_ == 0) group_ = pid;
            ::setpgid(pid, group_);
            pids_.push_back(pid);
        }
    }
    ~Sleepers() {
        if (group_ != 0) ::kill(-group_, SIGKILL);
        for (pid_t pid : pids_) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }
    Sleepers(const Sleepers&) = delete;
    Sleepers& operator=(const Sleepers&) = delete;
    size_t size() const { return pids_.size(); }

private:
    pid_t group_ = 0;
    std::vector<pid_t> pids_;
};

}  // namespace bench
