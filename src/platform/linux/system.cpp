// System facts: clocks, memory, power, processor, local time.

#include <time.h>

#include "platform/linux/linux_platform.hpp"
#include "platform/linux/proc_reader.hpp"

namespace tarrow {

uint64_t LinuxPlatform::SystemUptimeMs() {
    // Boot time including suspend, as GetTickCount64 counts it.
    timespec ts{};
    if (clock_gettime(CLOCK_BOOTTIME, &ts) != 0) return 0;
    return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}

uint32_t LinuxPlatform::TickCount() { return static_cast<uint32_t>(SystemUptimeMs()); }

LocalTime LinuxPlatform::GetLocalTime() {
    const time_t now = time(nullptr);
    tm local{};
    localtime_r(&now, &local);
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
            local.tm_hour,        local.tm_min,     local.tm_sec};
}

// Placeholders until the memory, power and processor facts land.
MemoryStatus LinuxPlatform::GetMemoryStatus() { return {}; }
PowerStatus LinuxPlatform::GetPowerStatus() { return {}; }
std::optional<std::string> LinuxPlatform::ProcessorBrand() { return std::nullopt; }

}  // namespace tarrow
