// Processes from /proc: the snapshot lists the numeric folders in ascending
// PID order behind a row for the idle process, as the Windows snapshot does.

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstring>
#include <memory>
#include <string_view>
#include <utility>

#include "platform/linux/linux_platform.hpp"
#include "platform/linux/proc/proc_reader.hpp"
#include "platform/linux/unique_fd.hpp"
#include "platform/text.hpp"

namespace tarrow {

namespace {

constexpr size_t kBufferSize = 4096;  // larger than any stat, statm or exe link we read
constexpr size_t kImagePathUnits = 259;
constexpr size_t kCommLimit = 15;  // the kernel keeps this many bytes of a name
constexpr std::string_view kDeletedSuffix = " (deleted)";

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

// "<pid>/<file>", relative to the proc folder; no allocation.
struct PidPath {
    char text[48];
    PidPath(uint32_t pid, std::string_view file) {
        char* end = std::to_chars(text, text + 16, pid).ptr;
        *end++ = '/';
        std::memcpy(end, file.data(), file.size());
        end[file.size()] = '\0';
    }
};

// The proc folder, opened once and kept; retried while it cannot be opened.
int ProcDir(ProcReader& reader) {
    if (!reader.procDir.Valid())
        reader.procDir = UniqueFd(
            ::open(reader.procRoot.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (reader.buffer.size() < kBufferSize) reader.buffer.resize(kBufferSize);
    return reader.procDir.Get();
}

// Reads one small file into the reader's buffer; the text read, or nothing.
std::optional<std::string_view> ReadSmall(ProcReader& reader, uint32_t pid,
                                          std::string_view file) {
    const int dir = ProcDir(reader);
    if (dir < 0) return std::nullopt;
    const PidPath path(pid, file);
    const UniqueFd fd(::openat(dir, path.text, O_RDONLY | O_CLOEXEC));
    if (!fd.Valid()) return std::nullopt;
    const ReadResult read = ReadFull(fd.Get(), reader.buffer.data(), reader.buffer.size());
    if (read.failed) return std::nullopt;  // the process went away while we read
    return std::string_view(reader.buffer.data(), read.count);
}

std::optional<std::string_view> ReadExeLink(ProcReader& reader, uint32_t pid) {
    const int dir = ProcDir(reader);
    if (dir < 0) return std::nullopt;
    const PidPath path(pid, "exe");
    const ssize_t n = ::readlinkat(dir, path.text, reader.buffer.data(), reader.buffer.size());
    if (n <= 0) return std::nullopt;
    return std::string_view(reader.buffer.data(), static_cast<size_t>(n));
}

std::string_view LastElement(std::string_view path) {
    const size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// Names are nearly always ASCII: widen those in place, keeping the string's storage.
void AssignName(std::u16string& out, std::string_view utf8) {
    if (std::all_of(utf8.begin(), utf8.end(), [](char c) { return (c & 0x80) == 0; }))
        out.assign(utf8.begin(), utf8.end());
    else
        out = Utf8ToUtf16(utf8);
}

// The executable's file name as users know it. The exe link names the file
// (also after an upgrade deleted it); a memfd or other object without a file
// name, or a process whose link we may not read, goes by the kernel's name,
// which is cut at 15 bytes: then the first argument completes it, unless the
// process has rewritten it into a title ("sshd: root@pts/0").
void ReadExeName(ProcReader& reader, uint32_t pid, const std::string& comm,
                 std::u16string& out) {
    if (const auto link = ReadExeLink(reader, pid)) {
        std::string_view path = *link;
        if (path.ends_with(kDeletedSuffix)) path.remove_suffix(kDeletedSuffix.size());
        AssignName(out, path.starts_with('/') && !path.starts_with("/memfd:") ? LastElement(path)
                                                                              : comm);
        return;
    }
    if (comm.size() >= kCommLimit) {
        if (const auto cmdline = ReadSmall(reader, pid, "cmdline")) {
            const std::string_view arg0 = LastElement(cmdline->substr(0, cmdline->find('\0')));
            if (arg0.starts_with(comm)) {
                AssignName(out, arg0);
                return;
            }
        }
    }
    AssignName(out, comm);
}

// Skips `count` space-separated fields and parses the next one.
bool ParseField(std::string_view& text, int count, uint64_t& value) {
    for (int i = 0; i <= count; ++i) {
        const size_t start = text.find_first_not_of(' ');
        if (start == std::string_view::npos) return false;
        text.remove_prefix(start);
        if (i == count) break;
        const size_t end = text.find(' ');
        if (end == std::string_view::npos) return false;
        text.remove_prefix(end);
    }
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec != std::errc()) return false;
    text.remove_prefix(static_cast<size_t>(result.ptr - text.data()));
    return true;
}

// One read of /proc/PID/stat gives the times, the resident pages, the start
// time and the kernel's name.
bool ReadStat(ProcReader& reader, uint32_t pid, ProcStat& out) {
    const auto stat = ReadSmall(reader, pid, "stat");
    if (!stat) return false;
    // The name in parentheses may itself hold spaces and parentheses.
    const size_t open = stat->find('(');
    const size_t close = stat->rfind(')');
    if (open == std::string_view::npos || close == std::string_view::npos || close < open)
        return false;
    std::string_view text = stat->substr(close + 1);
    uint64_t utime = 0, stime = 0, start = 0, rss = 0;
    // After the name: state, ppid, pgrp, session, tty, tpgid, flags, four fault
    // counts, utime, stime, two child times, priority, nice, threads, an unused
    // field, starttime, vsize, rss.
    if (!ParseField(text, 11, utime) || !ParseField(text, 0, stime) ||
        !ParseField(text, 6, start) || !ParseField(text, 1, rss))
        return false;
    out.cpuTicks = utime + stime;
    out.residentPages = rss;
    out.startTime = start;
    out.comm.assign(stat->substr(open + 1, close - open - 1));
    return true;
}

enum : uint8_t { kMemoryFigure = 1, kTimesFigure = 2, kStartFigure = 4, kAllFigures = 7 };

// What the latest snapshot read for this PID, each figure handed out once (to
// the refresh that follows it); any later call reads /proc again.
const ProcStat* StatFor(ProcReader& reader, uint32_t pid, uint8_t figure, ProcStat& fresh) {
    const auto it = std::lower_bound(reader.pids.begin(), reader.pids.end(), pid);
    if (it != reader.pids.end() && *it == pid) {
        uint8_t& unread = reader.unread[static_cast<size_t>(it - reader.pids.begin())];
        if (unread & figure) {
            unread &= static_cast<uint8_t>(~figure);
            return &reader.stats[static_cast<size_t>(it - reader.pids.begin())];
        }
    }
    return ReadStat(reader, pid, fresh) ? &fresh : nullptr;
}

// A name in the snapshot's row is compared without spaces at its ends, as listed.
bool SameName(std::u16string_view a, std::u16string_view b) {
    const auto trim = [](std::u16string_view text) {
        const size_t first = text.find_first_not_of(u' ');
        if (first == std::u16string_view::npos) return std::u16string_view();
        return text.substr(first, text.find_last_not_of(u' ') - first + 1);
    };
    return trim(a) == trim(b);
}

int PidfdOpen(uint32_t pid) {
#ifdef SYS_pidfd_open
    return static_cast<int>(::syscall(SYS_pidfd_open, static_cast<pid_t>(pid), 0));
#else
    (void)pid;
    errno = ENOSYS;
    return -1;
#endif
}

int PidfdSendSignal(int pidfd, int signal) {
#ifdef SYS_pidfd_send_signal
    return static_cast<int>(::syscall(SYS_pidfd_send_signal, pidfd, signal, nullptr, 0));
#else
    (void)pidfd;
    (void)signal;
    errno = ENOSYS;
    return -1;
#endif
}

}  // namespace

bool LinuxPlatform::TakeProcessSnapshot(std::vector<SnapshotEntry>& out) {
    ProcReader& reader = *proc_;
    std::unique_ptr<DIR, DirCloser> dir(::opendir(reader.procRoot.c_str()));
    if (!dir) {
        out.clear();
        reader.pids.clear();
        return false;
    }
    reader.pids.clear();
    while (const dirent* d = ::readdir(dir.get())) {
        const char* name = d->d_name;
        const char* end = name + std::strlen(name);
        uint32_t pid = 0;
        const auto result = std::from_chars(name, end, pid);
        if (result.ec == std::errc() && result.ptr == end && name[0] != '0')
            reader.pids.push_back(pid);
    }
    dir.reset();
    std::sort(reader.pids.begin(), reader.pids.end());

    // Rows are overwritten in place so their names keep their storage.
    out.resize(reader.pids.size() + 1);
    out[0].pid = 0;
    out[0].exeFile.assign(u"[System Process]");
    reader.stats.resize(reader.pids.size());
    reader.unread.assign(reader.pids.size(), 0);
    for (size_t i = 0; i < reader.pids.size(); ++i) {
        SnapshotEntry& row = out[i + 1];
        row.pid = reader.pids[i];
        ProcStat& stat = reader.stats[i];
        if (!ReadStat(reader, row.pid, stat)) {
            row.exeFile.clear();  // gone already: it will not be listed
            continue;
        }
        reader.unread[i] = kAllFigures;
        auto [known, added] = reader.names.try_emplace(row.pid);
        // An exec changes comm, so a new program in the same process is named anew.
        if (added || known->second.startTime != stat.startTime || known->second.comm != stat.comm) {
            known->second.startTime = stat.startTime;
            known->second.comm = stat.comm;
            ReadExeName(reader, row.pid, stat.comm, known->second.name);
        }
        known->second.seen = true;
        row.exeFile = known->second.name;
    }
    // Names of processes that have ended go with them.
    for (auto it = reader.names.begin(); it != reader.names.end();)
        it = std::exchange(it->second.seen, false) ? std::next(it) : reader.names.erase(it);
    return true;
}

int64_t LinuxPlatform::ProcessWorkingSet(uint32_t pid) {
    ProcReader& reader = *proc_;
    if (reader.pageSize == 0) reader.pageSize = std::max(::sysconf(_SC_PAGESIZE), 1L);
    ProcStat fresh;
    const ProcStat* stat = StatFor(reader, pid, kMemoryFigure, fresh);
    if (!stat) return 0;
    if (stat->residentPages > static_cast<uint64_t>(INT64_MAX / reader.pageSize)) return 0;
    return static_cast<int64_t>(stat->residentPages) * reader.pageSize;
}

std::optional<uint64_t> LinuxPlatform::ProcessCpuTime(uint32_t pid) {
    ProcReader& reader = *proc_;
    if (reader.clockTicks == 0) reader.clockTicks = std::max(::sysconf(_SC_CLK_TCK), 1L);
    ProcStat fresh;
    const ProcStat* stat = StatFor(reader, pid, kTimesFigure, fresh);
    if (!stat) return std::nullopt;
    const uint64_t ticks = stat->cpuTicks;
    const uint64_t hz = static_cast<uint64_t>(reader.clockTicks);
    return ticks / hz * 10000000u + ticks % hz * 10000000u / hz;
}

uint64_t LinuxPlatform::ProcessStartTime(uint32_t pid) {
    ProcStat fresh;
    const ProcStat* stat = StatFor(*proc_, pid, kStartFigure, fresh);
    return stat ? stat->startTime : 0;
}

std::optional<uint64_t> LinuxPlatform::SystemAffinityMask() {
    const long online = ::sysconf(_SC_NPROCESSORS_ONLN);
    if (online < 1) return std::nullopt;
    if (online >= 64) return ~uint64_t{0};
    return (uint64_t{1} << online) - 1;
}

bool LinuxPlatform::TerminateProcess(uint32_t pid, uint64_t startTime, std::u16string_view name) {
    // PID 0 and values beyond pid_t would address process groups or every process.
    if (pid == 0 || pid > static_cast<uint32_t>(INT_MAX)) return false;
    // The pidfd names the process that holds the PID now, and keeps naming it
    // should it end and the PID be reused before the signal.
    const UniqueFd pidfd(PidfdOpen(pid));
    if (!pidfd.Valid() && errno == ESRCH) return false;  // ended already
    // Then that process must be the one listed.
    ProcReader& reader = *proc_;
    ProcStat stat;
    if (!ReadStat(reader, pid, stat) || stat.startTime != startTime) return false;
    std::u16string current;
    ReadExeName(reader, pid, stat.comm, current);
    if (!SameName(current, name)) return false;
    if (pidfd.Valid())
        PidfdSendSignal(pidfd.Get(), SIGKILL);
    else
        ::kill(static_cast<pid_t>(pid), SIGKILL);  // a kernel or sandbox without pidfds
    return true;
}

uint32_t LinuxPlatform::CurrentProcessId() { return static_cast<uint32_t>(::getpid()); }

std::optional<std::u16string> LinuxPlatform::ProcessImagePath(uint32_t pid) {
    const auto link = ReadExeLink(*proc_, pid);
    if (!link) return std::nullopt;
    std::u16string path = Utf8ToUtf16(*link);
    if (path.size() > kImagePathUnits) path.resize(kImagePathUnits);
    return path;
}

}  // namespace tarrow
