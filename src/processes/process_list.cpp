// The process list: one snapshot per refresh, a CPU measurement per process,
// a stable sort and the tray summary.

#include <algorithm>
#include <bit>

#include "platform/text.hpp"
#include "processes/processes.hpp"
#include "speech/wording.hpp"

namespace tarrow {

namespace {

constexpr size_t kTooltipLimit = 63;

// The low 32 bits as a signed value, as the tick and the scaled time are kept.
int32_t Low32(int64_t value) { return static_cast<int32_t>(static_cast<uint32_t>(value)); }

// Percentage of all processors' time, still unrounded; -1 when the times cannot be read.
double MeasureCpu(ProcessRoles roles, CpuSampleTable& samples, int64_t pid, uint32_t rawPid,
                  int64_t processors) {
    const std::optional<uint64_t> busy = roles.control.ProcessCpuTime(rawPid);
    if (!busy) return -1;
    const int32_t t = Low32(static_cast<int64_t>(*busy) / (processors * 100));
    const int32_t now = static_cast<int32_t>(roles.facts.TickCount());
    CpuSample& sample = samples[pid];  // a new record starts at all zeros
    if (sample.tick != 0) {
        sample.lastPercent = (static_cast<double>(t) - static_cast<double>(sample.cpuTime)) /
                             (static_cast<double>(now) - static_cast<double>(sample.tick));
        // The reference stays until the window is long enough, then the next
        // measurement takes a new one.
        const int32_t elapsed =
            static_cast<int32_t>(static_cast<uint32_t>(now) - static_cast<uint32_t>(sample.tick));
        if (elapsed > 3000) {
            sample.cpuTime = 0;
            sample.tick = 0;
        }
    } else {
        sample.cpuTime = t;
        sample.tick = now;
    }
    return sample.lastPercent;
}

uint16_t FirstLowerUnit(const ProcessEntry& e) {
    return e.name.empty() ? 0 : static_cast<uint16_t>(LowerUnit(e.name.front()));
}

void SortEntries(std::vector<ProcessEntry>& entries, int64_t mode) {
    switch (mode) {
        case kSortByName:
            std::stable_sort(entries.begin(), entries.end(),
                             [](const ProcessEntry& a, const ProcessEntry& b) {
                                 return FirstLowerUnit(a) < FirstLowerUnit(b);
                             });
            break;
        case kSortByMemory:
            std::stable_sort(entries.begin(), entries.end(),
                             [](const ProcessEntry& a, const ProcessEntry& b) {
                                 return a.memory < b.memory;
                             });
            break;
        case kSortByCpu:
            std::stable_sort(entries.begin(), entries.end(),
                             [](const ProcessEntry& a, const ProcessEntry& b) {
                                 return a.cpu < b.cpu;
                             });
            break;
        default:
            break;  // every entry compares equal: snapshot order
    }
}

// Only the listed processes keep their records, so the table never outgrows
// the process list, however many PIDs the system hands out over a long run.
void DropUnlistedSamples(const std::vector<ProcessEntry>& entries, CpuSampleTable& samples) {
    CpuSampleTable kept;
    kept.reserve(entries.size());
    for (const ProcessEntry& entry : entries) {
        if (const auto it = samples.find(entry.pid); it != samples.end()) kept.insert(*it);
    }
    samples.swap(kept);
}

}  // namespace

int64_t ProcessorCount(SystemFacts& facts) {
    const std::optional<uint64_t> mask = facts.SystemAffinityMask();
    if (!mask) return 1;
    // An empty mask would make the time scale divide by zero; count one processor.
    return std::max(std::popcount(*mask), 1);
}

void RefreshProcessList(ProcessRoles roles, ProcessState& state) {
    std::vector<ProcessEntry>& entries = state.list.entries;
    entries.clear();
    const int64_t processors = ProcessorCount(roles.facts);
    if (roles.control.TakeProcessSnapshot(state.snapshot)) {
        // The first row is the idle process and is never listed.
        for (size_t i = 1; i < state.snapshot.size(); ++i) {
            const SnapshotEntry& row = state.snapshot[i];
            const int64_t memory = roles.control.ProcessWorkingSet(row.pid);
            if (memory < 1) continue;
            ProcessEntry& entry = entries.emplace_back();
            entry.name = TrimEnds(row.exeFile, u' ');
            entry.memory = memory;
            entry.pid = static_cast<int32_t>(row.pid);
            const double raw = MeasureCpu(roles, state.cpuSamples, entry.pid, row.pid, processors);
            entry.cpu = static_cast<double>(std::max<int64_t>(ToWholeNumber(raw), 0));
            entry.startTime = roles.control.ProcessStartTime(row.pid);
        }
        DropUnlistedSamples(entries, state.cpuSamples);
    }
    SortEntries(entries, state.list.sortMode);
    FollowCursorProcess(state.list);

    std::u16string summary = u"Tarrow: " + IntegerText(static_cast<int64_t>(entries.size())) +
                             u" processes, " + IntegerText(TotalCpuPercent(state.list)) +
                             u"% CPU";
    if (summary.size() > kTooltipLimit) summary.resize(kTooltipLimit);
    roles.window.SetTrayTooltip(summary);
}

int64_t TotalCpuPercent(const ProcessList& list) {
    int64_t total = 0;
    for (const ProcessEntry& e : list.entries)
        total = ToWholeNumber(static_cast<double>(total) + e.cpu);
    return total;
}

int64_t IndexOfPid(const ProcessList& list, int64_t pid) {
    for (size_t i = 0; i < list.entries.size(); ++i)
        if (list.entries[i].pid == pid) return static_cast<int64_t>(i);
    return -1;
}

int64_t FindIndexByPid(ProcessRoles roles, ProcessState& state, int64_t pid) {
    RefreshProcessList(roles, state);
    return IndexOfPid(state.list, pid);
}

const ProcessEntry* RefreshAndFindFocused(ProcessRoles roles, ProcessState& state) {
    return EntryAt(state.list, FindIndexByPid(roles, state, state.focusedPid));
}

const ProcessEntry* EntryAt(const ProcessList& list, int64_t index) {
    if (index < 0 || index >= static_cast<int64_t>(list.entries.size())) return nullptr;
    return &list.entries[static_cast<size_t>(index)];
}

void SetCursor(ProcessList& list, int64_t index) {
    list.cursor = index;
    if (const ProcessEntry* e = EntryAt(list, index))
        list.cursorProcess = CursorProcess{e->pid, e->startTime, e->name};
    else
        list.cursorProcess.reset();
}

bool SameProcess(const ProcessEntry& entry, const CursorProcess& process) {
    return entry.pid == process.pid && entry.startTime == process.startTime &&
           entry.name == process.name;
}

void FollowCursorProcess(ProcessList& list) {
    if (list.cursorProcess) {
        for (size_t i = 0; i < list.entries.size(); ++i) {
            if (SameProcess(list.entries[i], *list.cursorProcess)) {
                list.cursor = static_cast<int64_t>(i);
                return;
            }
        }
    }
    SetCursor(list, list.cursor);
}

}  // namespace tarrow
