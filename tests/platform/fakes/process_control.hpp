#pragma once
// The running processes as a scripted table; the snapshot lists them after the
// idle process, and ending one takes it out of the table.

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "platform/fakes/fake_role.hpp"
#include "platform/platform_services.hpp"
#include "speech/wording.hpp"

namespace tarrow::testing {

// A process of the scripted table.
struct FakeProcess {
    uint32_t pid = 0;
    std::u16string exeFile;
    int64_t workingSet = 0;
    std::optional<uint64_t> cpuTime = 0;  // 100-ns units; nullopt: times unreadable
    std::optional<std::u16string> imagePath;
    bool refusesTermination = false;
    uint64_t startTime = 0;
};

template <class Base = FakeRole<ProcessControl>>
class FakeProcessControl : public Base {
public:
    using Base::Base;

    // --- scripted inputs ---
    bool snapshotFails = false;
    int64_t snapshotDurationMs = 0;  // the clock moves this much during each snapshot
    std::vector<FakeProcess> processes;
    uint32_t currentPid = 0;  // the program's own PID; 0 lists no own entry

    // --- recorded outputs ---
    std::vector<uint32_t> terminated;  // requests that reached the process listed

    FakeProcess& AddProcess(uint32_t pid, std::u16string exe, int64_t workingSet,
                            uint64_t cpuTime = 0) {
        FakeProcess p;
        p.pid = pid;
        p.exeFile = std::move(exe);
        p.workingSet = workingSet;
        p.cpuTime = cpuTime;
        processes.push_back(std::move(p));
        return processes.back();
    }

    FakeProcess* FindProcess(uint32_t pid) {
        for (auto& p : processes)
            if (p.pid == pid) return &p;
        return nullptr;
    }

    bool TakeProcessSnapshot(std::vector<SnapshotEntry>& out) override {
        log_.calls.push_back("TakeProcessSnapshot");
        clock_.now += snapshotDurationMs;
        out.clear();
        if (snapshotFails) return false;
        out.push_back({0, u"[System Process]"});
        for (const auto& p : processes) out.push_back({p.pid, p.exeFile});
        return true;
    }

    int64_t ProcessWorkingSet(uint32_t pid) override {
        const FakeProcess* p = FindProcess(pid);
        return p ? p->workingSet : 0;
    }

    std::optional<uint64_t> ProcessCpuTime(uint32_t pid) override {
        const FakeProcess* p = FindProcess(pid);
        if (!p) return std::nullopt;
        return p->cpuTime;
    }

    uint64_t ProcessStartTime(uint32_t pid) override {
        const FakeProcess* p = FindProcess(pid);
        return p ? p->startTime : 0;
    }

    bool TerminateProcess(uint32_t pid, uint64_t startTime, std::u16string_view name) override {
        const auto it = std::find_if(processes.begin(), processes.end(),
                                     [&](const FakeProcess& p) { return p.pid == pid; });
        if (it == processes.end() || it->startTime != startTime ||
            TrimEnds(it->exeFile, u' ') != name)
            return false;
        terminated.push_back(pid);
        if (!it->refusesTermination) processes.erase(it);
        return true;
    }

    uint32_t CurrentProcessId() override { return currentPid; }

    std::optional<std::u16string> ProcessImagePath(uint32_t pid) override {
        const FakeProcess* p = FindProcess(pid);
        if (!p) return std::nullopt;
        return p->imagePath;
    }

protected:
    using Base::clock_;
    using Base::log_;
};

}  // namespace tarrow::testing
