// Processes from /proc: the snapshot lists the numeric folders in ascending
// PID order behind a row for the idle process, as the Windows snapshot does.

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstring>
#include <memory>
#include <string_view>

#include "platform/linux/linux_platform.hpp"
#include "platform/linux/proc_reader.hpp"
#include "platform/text.hpp"

namespace tarrow {

namespace {

constexpr size_t kBufferSize = 4096;  // larger than any stat, statm or exe link we read
constexpr size_t kImagePathUnits = 259;

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
    if (!reader.procDir.valid())
        reader.procDir.Reset(
            ::open(reader.procRoot.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (reader.buffer.size() < kBufferSize) reader.buffer.resize(kBufferSize);
    return reader.procDir.get();
}

// Reads one small file into the reader's buffer; the text read, or nothing.
std::optional<std::string_view> ReadSmall(ProcReader& reader, uint32_t pid,
                                          std::string_view file) {
    const int dir = ProcDir(reader);
    if (dir < 0) return std::nullopt;
    const PidPath path(pid, file);
    const ProcFd fd(::openat(dir, path.text, O_RDONLY | O_CLOEXEC));
    if (!fd.valid()) return std::nullopt;
    size_t size = 0;
    while (size < reader.buffer.size()) {
        const ssize_t n = ::read(fd.get(), reader.buffer.data() + size, reader.buffer.size() - size);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;  // the process went away while we read
        if (n == 0) break;
        size += static_cast<size_t>(n);
    }
    return std::string_view(reader.buffer.data(), size);
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

// The executable's file name: from the exe link, else from the first
// argument, else from comm (kernel threads and processes we may not inspect).
void ReadExeName(ProcReader& reader, uint32_t pid, std::u16string& out) {
    if (const auto link = ReadExeLink(reader, pid)) {
        AssignName(out, LastElement(*link));
        return;
    }
    if (const auto cmdline = ReadSmall(reader, pid, "cmdline")) {
        const std::string_view arg0 = cmdline->substr(0, cmdline->find('\0'));
        if (!arg0.empty()) {
            AssignName(out, LastElement(arg0));
            return;
        }
    }
    std::string_view comm = ReadSmall(reader, pid, "comm").value_or(std::string_view());
    if (!comm.empty() && comm.back() == '\n') comm.remove_suffix(1);
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

}  // namespace

bool LinuxPlatform::TakeProcessSnapshot(std::vector<SnapshotEntry>& out) {
    ProcReader& reader = *proc_;
    std::unique_ptr<DIR, DirCloser> dir(::opendir(reader.procRoot.c_str()));
    if (!dir) {
        out.clear();
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
    for (size_t i = 0; i < reader.pids.size(); ++i) {
        SnapshotEntry& row = out[i + 1];
        row.pid = reader.pids[i];
        ReadExeName(reader, row.pid, row.exeFile);
    }
    return true;
}

int64_t LinuxPlatform::ProcessWorkingSet(uint32_t pid) {
    ProcReader& reader = *proc_;
    if (reader.pageSize == 0) reader.pageSize = std::max(::sysconf(_SC_PAGESIZE), 1L);
    const auto statm = ReadSmall(reader, pid, "statm");
    if (!statm) return 0;
    std::string_view text = *statm;
    uint64_t resident = 0;
    if (!ParseField(text, 1, resident)) return 0;
    if (resident > static_cast<uint64_t>(INT64_MAX / reader.pageSize)) return 0;
    return static_cast<int64_t>(resident) * reader.pageSize;
}

std::optional<uint64_t> LinuxPlatform::ProcessCpuTime(uint32_t pid) {
    ProcReader& reader = *proc_;
    if (reader.clockTicks == 0) reader.clockTicks = std::max(::sysconf(_SC_CLK_TCK), 1L);
    const auto stat = ReadSmall(reader, pid, "stat");
    if (!stat) return std::nullopt;
    // The name in parentheses may itself hold spaces and parentheses.
    const size_t close = stat->rfind(')');
    if (close == std::string_view::npos) return std::nullopt;
    std::string_view text = stat->substr(close + 1);
    uint64_t utime = 0;
    uint64_t stime = 0;
    // After the name: state, ppid, pgrp, session, tty, tpgid, flags, four fault
    // counts, then utime and stime.
    if (!ParseField(text, 11, utime) || !ParseField(text, 0, stime)) return std::nullopt;
    const uint64_t ticks = utime + stime;
    const uint64_t hz = static_cast<uint64_t>(reader.clockTicks);
    return ticks / hz * 10000000u + ticks % hz * 10000000u / hz;
}

std::optional<uint64_t> LinuxPlatform::SystemAffinityMask() {
    const long online = ::sysconf(_SC_NPROCESSORS_ONLN);
    if (online < 1) return std::nullopt;
    if (online >= 64) return ~uint64_t{0};
    return (uint64_t{1} << online) - 1;
}

void LinuxPlatform::TerminateProcess(uint32_t pid) {
    // PID 0 and values beyond pid_t would address process groups or every process.
    if (pid == 0 || pid > static_cast<uint32_t>(INT_MAX)) return;
    ::kill(static_cast<pid_t>(pid), SIGKILL);
}

std::optional<std::u16string> LinuxPlatform::ProcessImagePath(uint32_t pid) {
    const auto link = ReadExeLink(*proc_, pid);
    if (!link) return std::nullopt;
    std::u16string path = Utf8ToUtf16(*link);
    if (path.size() > kImagePathUnits) path.resize(kImagePathUnits);
    return path;
}

}  // namespace tarrow
