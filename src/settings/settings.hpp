#pragma once
// The settings record and the prefs.ini file behind it.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/platform_services.hpp"

namespace tarrow {

inline constexpr char16_t kSettingsFile[] = u"prefs.ini";
// prefs.ini is read up to this size; a larger file is never rewritten.
inline constexpr size_t kSettingsByteLimit = size_t(1) << 20;

// How long a braille display shows each text unless prefs.ini says otherwise.
// A new file does not name it.
inline constexpr int64_t kBrailleHoldMs = 4000;

// Field names follow the keys of prefs.ini. A new record holds the built-in
// values (those of kMonitorSettings).
struct Settings {
    Settings();

    std::u16string modifier;  // empty: the hotkeys use control+alt+shift
    int64_t braille_hold_ms = kBrailleHoldMs;  // 0 (or less): until the next text
    int64_t pc_cpu_monitor;
    int64_t pc_memory_monitor;
    int64_t pc_battery_monitor;
    int64_t fp_memory_time;
    int64_t fp_cpu_time;
    int64_t pc_cpu_time;
    int64_t pc_memory_time;
    int64_t pc_battery_time;
    int64_t fp_memory_diff;
    int64_t fp_cpu_diff;
    int64_t pc_cpu_diff;
    int64_t pc_memory_diff;
    int64_t pc_battery_diff;
};

// The monitor a key of group "monitors" configures, and which of its values.
// In the order a monitor pass ticks them; every table of the monitors is
// indexed by name.
enum class MonitorName { FocusedCpu, FocusedMemory, PcCpu, PcMemory, PcBattery };
inline constexpr size_t kMonitorCount = static_cast<size_t>(MonitorName::PcBattery) + 1;
enum class MonitorValue { Switch, Interval, Threshold };

// One key of group "monitors".
struct MonitorSetting {
    std::u16string_view key;
    int64_t builtIn;  // without the file, and in the run that creates it
    int64_t written;  // in a newly created file
    int64_t Settings::*field;
    MonitorName monitor;
    MonitorValue value;
};

// In the order a new file lists them. The switches are what a save stores;
// a monitor without one starts off in every run.
extern const std::span<const MonitorSetting> kMonitorSettings;

// Reads prefs.ini into `settings`, creating the file with its default
// contents when it is missing (that run keeps the built-in values).
void LoadSettings(Files& files, Settings& settings);

// Stores the monitor switches (the PC monitors' on/off values) of `states`,
// keeping everything else in the file.
void SaveMonitorStates(Files& files, const Settings& states);

}  // namespace tarrow
