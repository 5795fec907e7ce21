// Processes: the toolhelp snapshot and psapi. Every handle to another process
// is opened for one call and closed at once.

#include "platform/win32/windows_api.hpp"
#include <psapi.h>
#include <tlhelp32.h>

#include "platform/win32/handles.hpp"
#include "platform/win32/wide.hpp"
#include "platform/win32/win32_platform.hpp"

namespace tarrow {

namespace {

constexpr DWORD kImagePathUnits = 259;

win32::UniqueHandle OpenForQuery(uint32_t pid) {
    return win32::UniqueHandle(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, pid));
}

uint64_t FileTimeValue(const FILETIME& time) {
    return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

}  // namespace

bool Win32Platform::TakeProcessSnapshot(std::vector<SnapshotEntry>& out) {
    out.clear();
    const win32::UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return false;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    if (!Process32FirstW(snapshot.get(), &entry)) return false;
    // Windows begins every snapshot with the idle process, and the caller
    // passes over that first row; where a system does not (Wine), it is added.
    if (entry.th32ProcessID != 0) out.push_back({0, u"[System Process]"});
    do {
        // szExeFile is always terminated within its 260 units.
        out.push_back({static_cast<uint32_t>(entry.th32ProcessID), win32::FromWide(entry.szExeFile)});
        entry.dwSize = sizeof entry;
    } while (Process32NextW(snapshot.get(), &entry));
    return true;
}

int64_t Win32Platform::ProcessWorkingSet(uint32_t pid) {
    PROCESS_MEMORY_COUNTERS counters{};
    const win32::UniqueHandle process = OpenForQuery(pid);
    if (!process) return 0;
    if (!GetProcessMemoryInfo(process.get(), &counters, sizeof counters)) return 0;
    return static_cast<int64_t>(counters.WorkingSetSize);
}

std::optional<uint64_t> Win32Platform::ProcessCpuTime(uint32_t pid) {
    timesPid_ = 0;
    const win32::UniqueHandle process = OpenForQuery(pid);
    if (!process) return std::nullopt;
    FILETIME created{}, exited{}, kernel{}, user{};
    if (!GetProcessTimes(process.get(), &created, &exited, &kernel, &user)) return std::nullopt;
    timesPid_ = pid;
    timesCreation_ = FileTimeValue(created);
    return FileTimeValue(kernel) + FileTimeValue(user);
}

uint64_t Win32Platform::ProcessStartTime(uint32_t pid) {
    return pid == timesPid_ ? timesCreation_ : 0;
}

std::optional<uint64_t> Win32Platform::SystemAffinityMask() {
    DWORD_PTR processMask = 0;
    DWORD_PTR systemMask = 0;
    if (!GetProcessAffinityMask(GetCurrentProcess(), &processMask, &systemMask)) {
        return std::nullopt;
    }
    return static_cast<uint64_t>(systemMask);
}

bool Win32Platform::TerminateProcess(uint32_t pid, uint64_t startTime, std::u16string_view) {
    // While this handle is open the PID cannot pass to another process, so the
    // creation time read through it settles which process the PID names. (The
    // image of a Windows process never changes, so its name needs no check.)
    const win32::UniqueHandle listed(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    if (!listed) return false;
    FILETIME created{}, exited{}, kernel{}, user{};
    if (!GetProcessTimes(listed.get(), &created, &exited, &kernel, &user) ||
        FileTimeValue(created) != startTime)
        return false;
    const win32::UniqueHandle process(OpenProcess(PROCESS_TERMINATE, FALSE, pid));
    if (process) ::TerminateProcess(process.get(), 0);
    return true;  // asked, though the system may have refused
}

uint32_t Win32Platform::CurrentProcessId() { return GetCurrentProcessId(); }

std::optional<std::u16string> Win32Platform::ProcessImagePath(uint32_t pid) {
    wchar_t path[kImagePathUnits + 1] = {};
    DWORD length = 0;
    // GetModuleFileNameExW reads the other process's memory, so it needs
    // PROCESS_VM_READ besides PROCESS_QUERY_INFORMATION.
    if (const win32::UniqueHandle process(
            OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid));
        process) {
        length = GetModuleFileNameExW(process.get(), nullptr, path, kImagePathUnits + 1);
    }
    if (length == 0) {
        // Services and elevated programs refuse that; their image name is still readable.
        const win32::UniqueHandle limited(
            OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
        DWORD units = kImagePathUnits + 1;
        if (limited && QueryFullProcessImageNameW(limited.get(), 0, path, &units)) length = units;
    }
    if (length == 0) return std::nullopt;
    return win32::FromWide(std::wstring_view(path, length < kImagePathUnits ? length : kImagePathUnits));
}

}  // namespace tarrow
