// System facts: clocks, memory, power, processor, local time.

#include <time.h>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "platform/linux/linux_platform.hpp"
#include "platform/linux/proc/proc_reader.hpp"
#include "platform/linux/proc/system_facts.hpp"

namespace tarrow {

namespace {

std::optional<std::string> ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) return std::nullopt;
    return text.str();
}

std::string Trimmed(std::string s) {
    const char* blanks = " \t\r\n";
    s.erase(0, s.find_first_not_of(blanks));
    s.erase(s.find_last_not_of(blanks) + 1);
    return s;
}

// A whole, non-negative number from a sysfs attribute.
std::optional<uint64_t> ReadNumber(const std::filesystem::path& path) {
    const auto text = ReadText(path.string());
    if (!text) return std::nullopt;
    const std::string value = Trimmed(*text);
    if (value.empty() || value.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    try {
        return std::stoull(value);
    } catch (...) {
        return std::nullopt;
    }
}

std::string ReadWord(const std::filesystem::path& path) {
    return Trimmed(ReadText(path.string()).value_or(""));
}

struct Battery {
    std::optional<uint64_t> energyNow, energyFull, chargeNow, chargeFull, capacity;
    std::string status;  // "Charging", "Discharging", "Full", "Not charging", "Unknown"

    bool HasEnergy() const { return energyNow && energyFull && *energyFull > 0; }
    bool HasCharge() const { return chargeNow && chargeFull && *chargeFull > 0; }
    std::optional<double> Percent() const {
        if (HasEnergy()) return 100.0 * double(*energyNow) / double(*energyFull);
        if (HasCharge()) return 100.0 * double(*chargeNow) / double(*chargeFull);
        if (capacity) return double(*capacity);
        return std::nullopt;
    }
};

uint8_t PercentByte(double percent) {
    return static_cast<uint8_t>(std::lround(std::clamp(percent, 0.0, 100.0)));
}

// All batteries as one: their summed energy (or charge) over their summed
// full values, else the mean of what each reports.
uint8_t CombinedPercent(const std::vector<Battery>& batteries) {
    const auto all = [&](auto has) {
        return std::all_of(batteries.begin(), batteries.end(), has);
    };
    double now = 0, full = 0;
    if (all([](const Battery& b) { return b.HasEnergy(); })) {
        for (const Battery& b : batteries) {
            now += double(*b.energyNow);
            full += double(*b.energyFull);
        }
        return PercentByte(100.0 * now / full);
    }
    if (all([](const Battery& b) { return b.HasCharge(); })) {
        for (const Battery& b : batteries) {
            now += double(*b.chargeNow);
            full += double(*b.chargeFull);
        }
        return PercentByte(100.0 * now / full);
    }
    double sum = 0;
    int count = 0;
    for (const Battery& b : batteries) {
        if (const auto p = b.Percent()) {
            sum += *p;
            ++count;
        }
    }
    return count == 0 ? 255 : PercentByte(sum / count);
}

// The line state as the batteries report it, for machines that list no mains
// or USB supply (some laptops, tablets and virtual machines): 0 when any
// battery discharges, 1 when one charges, is full or holds its charge (both on
// line), 255 when none says.
uint8_t LineFromBatteries(const std::vector<Battery>& batteries) {
    uint8_t line = 255;
    for (const Battery& b : batteries) {
        if (b.status == "Discharging") return 0;
        if (b.status == "Charging" || b.status == "Full" || b.status == "Not charging") line = 1;
    }
    return line;
}

}  // namespace

MemoryStatus ReadMemoryStatus(const std::string& procRoot) {
    MemoryStatus status;
    const auto text = ReadText(procRoot + "/meminfo");
    if (!text) return status;
    std::istringstream lines(*text);
    std::string line;
    std::optional<uint64_t> total, available, free;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string key;
        uint64_t kib = 0;
        if (!(fields >> key >> kib)) continue;
        if (key == "MemTotal:") total = kib * 1024;
        else if (key == "MemAvailable:") available = kib * 1024;
        else if (key == "MemFree:") free = kib * 1024;
    }
    status.totalPhys = total.value_or(0);
    // Kernels before 3.14 have no MemAvailable; free memory is the closest figure.
    status.availPhys = available.value_or(free.value_or(0));
    return status;
}

PowerStatus ReadPowerStatus(const std::string& sysRoot) {
    namespace fs = std::filesystem;
    std::vector<Battery> batteries;
    bool anyLine = false, lineOnline = false;
    std::error_code error;
    for (fs::directory_iterator it(sysRoot + "/class/power_supply", error), end;
         !error && it != end; it.increment(error)) {
        const fs::path dir = it->path();
        const std::string type = ReadWord(dir / "type");
        if (type == "Battery") {
            // A mouse's or a headset's battery is not the machine's.
            if (ReadWord(dir / "scope") == "Device") continue;
            if (ReadNumber(dir / "present") == 0u) continue;
            batteries.push_back({ReadNumber(dir / "energy_now"), ReadNumber(dir / "energy_full"),
                                 ReadNumber(dir / "charge_now"), ReadNumber(dir / "charge_full"),
                                 ReadNumber(dir / "capacity"), ReadWord(dir / "status")});
        } else if (type == "Mains" || type.rfind("USB", 0) == 0) {
            anyLine = true;
            if (ReadNumber(dir / "online").value_or(0) != 0) lineOnline = true;
        }
    }
    PowerStatus status;
    status.acLineStatus = anyLine ? (lineOnline ? 1 : 0) : LineFromBatteries(batteries);
    status.batteryLifePercent = batteries.empty() ? 255 : CombinedPercent(batteries);
    return status;
}

std::optional<std::string> CpuinfoModelName(const std::string& procRoot) {
    const auto text = ReadText(procRoot + "/cpuinfo");
    if (!text) return std::nullopt;
    std::istringstream lines(*text);
    std::string line;
    while (std::getline(lines, line)) {
        const size_t colon = line.find(':');
        if (colon == std::string::npos || Trimmed(line.substr(0, colon)) != "model name") continue;
        std::string value = line.substr(colon + 1);
        if (!value.empty() && value[0] == ' ') value.erase(0, 1);
        return value;
    }
    return std::nullopt;
}

std::optional<std::string> CpuidBrand() {
#if defined(__x86_64__) || defined(__i386__)
    if (__get_cpuid_max(0x80000000u, nullptr) < 0x80000004u) return std::nullopt;
    char brand[49] = {};
    for (unsigned leaf = 0; leaf < 3; ++leaf) {
        unsigned regs[4] = {};
        if (!__get_cpuid(0x80000002u + leaf, &regs[0], &regs[1], &regs[2], &regs[3]))
            return std::nullopt;
        std::memcpy(brand + 16 * leaf, regs, sizeof regs);
    }
    std::string text(brand);  // up to the first NUL
    if (text.find_first_not_of(" \t") == std::string::npos) return std::nullopt;
    return text;
#else
    return std::nullopt;
#endif
}

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

MemoryStatus LinuxPlatform::GetMemoryStatus() { return ReadMemoryStatus(proc_->procRoot); }

PowerStatus LinuxPlatform::GetPowerStatus() { return ReadPowerStatus(proc_->sysRoot); }

std::optional<std::string> LinuxPlatform::ProcessorBrand() {
    if (auto brand = CpuidBrand()) return brand;
    return CpuinfoModelName(proc_->procRoot);
}

}  // namespace tarrow
