#pragma once
// Machine facts read from a /proc and a /sys tree (the real ones, or fixtures).

#include <optional>
#include <string>

#include "platform/platform_services.hpp"

namespace tarrow {

// MemTotal and MemAvailable of <procRoot>/meminfo, in bytes; zeros when unreadable.
MemoryStatus ReadMemoryStatus(const std::string& procRoot);
// The batteries' combined charge and the mains line from <sysRoot>/class/power_supply;
// without a mains or USB supply, the line as the batteries' own status gives it.
PowerStatus ReadPowerStatus(const std::string& sysRoot);
// The first "model name" of <procRoot>/cpuinfo.
std::optional<std::string> CpuinfoModelName(const std::string& procRoot);
// The cpuid brand string on x86; nullopt elsewhere or when it is blank.
std::optional<std::string> CpuidBrand();

}  // namespace tarrow
