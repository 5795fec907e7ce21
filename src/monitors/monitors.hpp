#pragma once
// The periodic monitors and the one-shot system announcements.

#include <array>
#include <cstdint>

#include "platform/platform_services.hpp"
#include "processes/processes.hpp"
#include "settings/settings.hpp"
#include "speech/speech.hpp"

namespace tarrow {

struct Monitor {
    int64_t enabled = 0;  // exactly 1 is on; other values count as off
    int64_t interval = 5000;
    int64_t threshold = 0;
    int64_t lastSampleTime = 0;
    // The figure last spoken about. The memory and battery figures are whole
    // numbers far below 2^53, so a double holds every one of them exactly.
    double lastAnnounced = 0;
};

struct Monitors {
    std::array<Monitor, kMonitorCount> byName{};  // indexed by MonitorName
    int64_t lastPowerLine = 0;  // the PC battery's AC-line byte read as signed: 0, 1 or -1

    Monitor& operator[](MonitorName name) { return byName[static_cast<size_t>(name)]; }
    const Monitor& operator[](MonitorName name) const { return byName[static_cast<size_t>(name)]; }
};

// Built-in values: all off, built-in intervals and thresholds, sampled now.
void InitMonitors(Monitors& monitors, int64_t now);
// Takes the PC switches, intervals and thresholds from the settings.
void ApplySettings(Monitors& monitors, const Settings& settings);

// The earliest clock reading at which an enabled monitor is due; INT64_MAX
// when none is on. The main loop sleeps until then unless an event comes.
int64_t NextMonitorDue(const Monitors& monitors);

// What a monitor pass reads and plays: the process list's roles (whose facts
// also give the clock, memory and power) and the cues.
struct MonitorRoles {
    MonitorRoles(ProcessRoles processes, SpeechAndSound& sound)
        : processes(processes), sound(sound) {}
    MonitorRoles(PlatformServices& platform) : MonitorRoles(platform, platform) {}
    MonitorRoles(const PlatformRoles& roles) : MonitorRoles(roles, roles.sound) {}

    ProcessRoles processes;
    SpeechAndSound& sound;
};

// One pass: every monitor in order of name (focused-process CPU, focused-process
// memory, PC CPU, PC memory, PC battery).
void MonitorPass(MonitorRoles roles, SpeechOutput& speech, ProcessState& processes,
                 Monitors& monitors, const SoundCues& cues);

// Switches a monitor on or off, saying so. A monitor whose switch is kept in
// the settings file stores the switches after every press.
void ToggleMonitor(MonitorName name, ProcessRoles roles, Files& files, SpeechOutput& speech,
                   ProcessState& processes, Monitors& monitors);

// Announcements.
// Total minus available physical memory; 0 when the status makes no sense.
int64_t InUseBytes(uint64_t total, uint64_t available);
// Bytes to whole MiB the way the memory monitors count them: through single
// precision, then rounded half away from zero.
int64_t WholeMebibytes(float bytes);
void SpeakCpuUsage(SpeechOutput& speech, const ProcessList& list);
void SpeakTotalMemory(SystemFacts& facts, SpeechOutput& speech);
void SpeakBatteryStatus(SystemFacts& facts, SpeechOutput& speech);
void SpeakUptime(SystemFacts& facts, SpeechOutput& speech);
void SpeakCpuInfo(SystemFacts& facts, SpeechOutput& speech);

}  // namespace tarrow
