// Processes from /proc.

#include "platform/linux/linux_platform.hpp"
#include "platform/linux/proc_reader.hpp"

namespace tarrow {

// Placeholders until the /proc reader lands.
bool LinuxPlatform::TakeProcessSnapshot(std::vector<SnapshotEntry>& out) {
    out.clear();
    return false;
}
int64_t LinuxPlatform::ProcessWorkingSet(uint32_t) { return 0; }
std::optional<uint64_t> LinuxPlatform::ProcessCpuTime(uint32_t) { return std::nullopt; }
std::optional<uint64_t> LinuxPlatform::SystemAffinityMask() { return std::nullopt; }
void LinuxPlatform::TerminateProcess(uint32_t) {}
std::optional<std::u16string> LinuxPlatform::ProcessImagePath(uint32_t) { return std::nullopt; }

}  // namespace tarrow
