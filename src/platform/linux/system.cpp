// System facts: clocks, memory, power, processor, local time.

#include "platform/linux/linux_platform.hpp"
#include "platform/linux/sessions.hpp"

namespace tarrow {

// Placeholders until the system facts land.
uint32_t LinuxPlatform::TickCount() { return static_cast<uint32_t>(SystemUptimeMs()); }
uint64_t LinuxPlatform::SystemUptimeMs() { return 0; }
MemoryStatus LinuxPlatform::GetMemoryStatus() { return {}; }
PowerStatus LinuxPlatform::GetPowerStatus() { return {}; }
std::optional<std::string> LinuxPlatform::ProcessorBrand() { return std::nullopt; }
LocalTime LinuxPlatform::GetLocalTime() { return {}; }

}  // namespace tarrow
