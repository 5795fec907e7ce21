#pragma once
// Reads /proc and /sys (or fixture trees standing in for them).

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/linux/unique_fd.hpp"

namespace tarrow {

// The figures of one read of /proc/PID/stat.
struct ProcStat {
    uint64_t cpuTicks = 0;       // user plus system time, in clock ticks
    uint64_t residentPages = 0;
    uint64_t startTime = 0;      // clock ticks after boot
    std::string comm;            // the kernel's name, at most 15 bytes
};

// A process's name, kept while the same process (same start time and comm)
// holds its PID.
struct KnownName {
    uint64_t startTime = 0;
    std::string comm;
    std::u16string name;
    bool seen = false;  // listed by the latest snapshot
};

struct ProcReader {
    std::string procRoot;
    std::string sysRoot;

    // Process reading, kept between refreshes so a refresh allocates nothing
    // once it has seen the largest list: the open proc folder (files are opened
    // relative to it), the sorted PIDs with what the snapshot read for each,
    // and one buffer for every small file.
    UniqueFd procDir;
    long pageSize = 0;
    long clockTicks = 0;
    std::vector<uint32_t> pids;
    std::vector<ProcStat> stats;     // beside pids
    std::vector<uint8_t> unread;     // beside pids: figures not yet handed out
    std::unordered_map<uint32_t, KnownName> names;
    std::vector<char> buffer;
};

}  // namespace tarrow
