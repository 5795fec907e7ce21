// System facts: ticks, memory, power, the processor's brand string, local time.

#include "platform/win32/windows_api.hpp"
#include <cpuid.h>

#include <array>
#include <cstring>

#include "platform/win32/win32_platform.hpp"

namespace tarrow {

uint32_t Win32Platform::TickCount() { return GetTickCount(); }

uint64_t Win32Platform::SystemUptimeMs() { return GetTickCount64(); }

MemoryStatus Win32Platform::GetMemoryStatus() {
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    if (!GlobalMemoryStatusEx(&status)) return {};
    return {status.ullTotalPhys, status.ullAvailPhys};
}

PowerStatus Win32Platform::GetPowerStatus() {
    SYSTEM_POWER_STATUS status{};
    if (!GetSystemPowerStatus(&status)) return {};
    return {status.ACLineStatus, status.BatteryLifePercent};
}

std::optional<std::string> Win32Platform::ProcessorBrand() {
    unsigned int eax = 0, ebx = 0, ecx = 0, edx = 0;
    __cpuid(0x80000000, eax, ebx, ecx, edx);
    if (eax < 0x80000004) return std::nullopt;
    std::array<char, 49> brand{};
    for (unsigned int leaf = 0; leaf < 3; ++leaf) {
        __cpuid(0x80000002 + leaf, eax, ebx, ecx, edx);
        const std::array<unsigned int, 4> words = {eax, ebx, ecx, edx};
        std::memcpy(brand.data() + leaf * 16, words.data(), 16);
    }
    // Up to the first NUL; 48 bytes when there is none.
    return std::string(brand.data());
}

LocalTime Win32Platform::GetLocalTime() {
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

}  // namespace tarrow
