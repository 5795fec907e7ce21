#pragma once
// The settings record and the prefs.ini file behind it.

#include <cstdint>
#include <string>

#include "platform/platform_services.hpp"

namespace tarrow {

inline constexpr char16_t kSettingsFile[] = u"prefs.ini";

// Field names follow the keys of prefs.ini; the initialisers are the built-in values.
struct Settings {
    std::u16string modifier;  // empty: the hotkeys use control+alt+shift
    int64_t pc_cpu_monitor = 0;
    int64_t pc_memory_monitor = 0;
    int64_t pc_battery_monitor = 0;
    int64_t fp_memory_time = 5000;
    int64_t fp_cpu_time = 5000;
    int64_t pc_cpu_time = 5000;
    int64_t pc_memory_time = 5000;
    int64_t pc_battery_time = 10000;
    int64_t fp_memory_diff = 5;
    int64_t fp_cpu_diff = 2;
    int64_t pc_cpu_diff = 2;
    int64_t pc_memory_diff = 100;
    int64_t pc_battery_diff = 10;
};

// Reads prefs.ini into `settings`, creating the file with its default
// contents when it is missing (that run keeps the built-in values).
void LoadSettings(PlatformServices& platform, Settings& settings);

// Stores the three PC monitor on/off values, keeping everything else in the file.
void SaveMonitorStates(PlatformServices& platform, int64_t pcCpuMonitor, int64_t pcMemoryMonitor,
                       int64_t pcBatteryMonitor);

}  // namespace tarrow
