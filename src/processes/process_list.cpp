#include "processes/processes.hpp"

namespace tarrow {

// Placeholders until the process list lands.
void RefreshProcessList(PlatformServices& platform, ProcessState& state) {
    platform.TakeProcessSnapshot(state.snapshot);
}
int64_t TotalCpuPercent(const ProcessList&) { return 0; }
int64_t FindIndexByPid(PlatformServices&, ProcessState&, int64_t) { return -1; }
const ProcessEntry* EntryAt(const ProcessList& list, int64_t index) {
    if (index < 0 || index >= static_cast<int64_t>(list.entries.size())) return nullptr;
    return &list.entries[static_cast<size_t>(index)];
}
int64_t ProcessorCount(PlatformServices&) { return 1; }

}  // namespace tarrow
