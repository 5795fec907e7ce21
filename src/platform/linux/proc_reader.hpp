#pragma once
// Reads /proc and /sys (or fixture trees standing in for them).

#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

namespace tarrow {

// A descriptor owned for as long as the reader lives.
class ProcFd {
public:
    ProcFd() = default;
    explicit ProcFd(int fd) : fd_(fd) {}
    ~ProcFd() { Reset(); }
    ProcFd(const ProcFd&) = delete;
    ProcFd& operator=(const ProcFd&) = delete;
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    void Reset(int fd = -1) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }

private:
    int fd_ = -1;
};

struct ProcReader {
    std::string procRoot;
    std::string sysRoot;

    // Process reading, kept between refreshes so a refresh allocates nothing
    // once it has seen the largest list: the open proc folder (files are opened
    // relative to it), the sorted PIDs and one buffer for every small file.
    ProcFd procDir;
    long pageSize = 0;
    long clockTicks = 0;
    std::vector<uint32_t> pids;
    std::vector<char> buffer;
};

}  // namespace tarrow
