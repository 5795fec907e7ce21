// The five periodic monitors and their toggles.

#include <algorithm>
#include <cmath>
#include <limits>

#include "monitors/monitors.hpp"
#include "speech/wording.hpp"

namespace tarrow {

namespace {

constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
constexpr int64_t kMin = std::numeric_limits<int64_t>::min();

// last sample time + interval without overflow: a huge interval from the
// settings file means "practically never", not a wrap to "always".
int64_t DueTime(const Monitor& m) {
    if (m.interval > 0 && m.lastSampleTime > kMax - m.interval) return kMax;
    if (m.interval < 0 && m.lastSampleTime < kMin - m.interval) return kMin;
    return m.lastSampleTime + m.interval;
}

bool IsOn(const Monitor& m) { return m.enabled == 1; }

// Whether a monitor's interval has run out; if so its turn starts now.
bool TakeTurn(SystemFacts& clock, Monitor& m) {
    const int64_t now = clock.NowMs();
    if (now < DueTime(m)) return false;
    m.lastSampleTime = now;
    return true;
}

enum class Direction { RiseUnlessBelow, FallUnlessAbove };

// False (and silent) unless the figure moved by more than the threshold since
// the monitor last spoke; otherwise the direction cue and the monitor's own cue
// are started.
bool StartCues(SpeechAndSound& sound, const Monitor& m, double sample, CueId kind,
               const SoundCues& cues, Direction direction = Direction::FallUnlessAbove) {
    const double last = m.lastAnnounced;
    if (!(std::fabs(sample - last) > static_cast<double>(m.threshold))) return false;
    const bool up = direction == Direction::FallUnlessAbove ? sample > last : !(sample < last);
    sound.PlayCue(up ? cues.up : cues.down);
    sound.PlayCue(kind);
    return true;
}

void TickFocusedCpu(MonitorRoles roles, SpeechOutput& speech, ProcessState& processes,
                    Monitor& m, const SoundCues& cues) {
    if (!IsOn(m) || !TakeTurn(roles.processes.facts, m)) return;
    // Two snapshots: the interval counts from between them, and the figure is
    // the second one's.
    RefreshProcessList(roles.processes, processes);
    m.lastSampleTime = roles.processes.facts.NowMs();
    const ProcessEntry* entry = RefreshAndFindFocused(roles.processes, processes);
    if (!entry) {
        m.enabled = 0;
        speech.Speak(u"Focused process closed. Monitor off.", false);
        return;
    }
    const double sample = entry->cpu;
    if (!StartCues(roles.sound, m, sample, cues.cpu, cues)) return;
    speech.Speak(IntegerText(ToWholeNumber(sample)) + u" CPU", false);
    m.lastAnnounced = sample;
}

void TickFocusedMemory(MonitorRoles roles, SpeechOutput& speech, ProcessState& processes,
                       Monitor& m, const SoundCues& cues) {
    if (!IsOn(m) || !TakeTurn(roles.processes.facts, m)) return;
    RefreshProcessList(roles.processes, processes);
    const ProcessEntry* entry = RefreshAndFindFocused(roles.processes, processes);
    if (!entry) {
        m.enabled = 0;
        speech.Speak(u"Focused process closed. Memory monitor off.", false);
        return;
    }
    const float bytes = static_cast<float>(entry->memory);
    const auto sample = static_cast<double>(WholeMebibytes(bytes));
    if (!StartCues(roles.sound, m, sample, cues.memory, cues, Direction::RiseUnlessBelow)) return;
    speech.Speak(FormatBytes(bytes) + u" Memory", false);
    m.lastAnnounced = sample;
}

void TickPcCpu(MonitorRoles roles, SpeechOutput& speech, const ProcessList& list, Monitor& m,
               const SoundCues& cues) {
    if (!IsOn(m) || !TakeTurn(roles.processes.facts, m)) return;
    const int64_t figure = TotalCpuPercent(list);
    const auto sample = static_cast<double>(figure);
    if (!StartCues(roles.sound, m, sample, cues.cpu, cues)) return;
    speech.Speak(IntegerText(figure) + u" CPU", false);
    m.lastAnnounced = sample;
}

void TickPcMemory(MonitorRoles roles, SpeechOutput& speech, Monitor& m, const SoundCues& cues) {
    SystemFacts& facts = roles.processes.facts;
    if (!IsOn(m) || !TakeTurn(facts, m)) return;
    const uint64_t total = facts.GetMemoryStatus().totalPhys;
    if (total == 0) return;  // the status could not be read: no figure to compare this time
    const uint64_t available = facts.GetMemoryStatus().availPhys;
    const float bytes = static_cast<float>(InUseBytes(total, available));
    const auto sample = static_cast<double>(WholeMebibytes(bytes));
    if (!StartCues(roles.sound, m, sample, cues.memory, cues)) return;
    speech.Speak(FormatBytes(bytes) + u" RAM", false);
    m.lastAnnounced = sample;
}

void TickPcBattery(MonitorRoles roles, SpeechOutput& speech, Monitors& monitors,
                   const SoundCues& cues) {
    SystemFacts& facts = roles.processes.facts;
    Monitor& m = monitors.pcBattery;
    if (!IsOn(m) || !TakeTurn(facts, m)) return;
    const auto percent = static_cast<int8_t>(facts.GetPowerStatus().batteryLifePercent);
    const auto line = static_cast<int8_t>(facts.GetPowerStatus().acLineStatus);
    if (percent == -1) {
        // The next PC toggle stores this with the other switches.
        speech.Speak(u"No battery", false);
        m.enabled = 0;
        return;
    }
    if (line != monitors.lastPowerLine) {
        monitors.lastPowerLine = line;
        SpeakBatteryStatus(facts, speech);
    }
    const auto sample = static_cast<double>(percent);
    if (!StartCues(roles.sound, m, sample, cues.battery, cues)) return;
    SpeakBatteryStatus(facts, speech);
    m.lastAnnounced = sample;
}

// Flips exactly 0 and 1; any other value from the settings stays as it is.
void Flip(SpeechOutput& speech, Monitor& m, std::u16string_view name) {
    if (m.enabled == 1) {
        m.enabled = 0;
        speech.Speak(std::u16string(name) + u" off", true);
    } else if (m.enabled == 0) {
        m.enabled = 1;
        speech.Speak(std::u16string(name) + u" on", true);
    }
}

// The value of a monitor that a settings key configures.
int64_t& ValueOf(Monitors& monitors, const MonitorSetting& setting) {
    Monitor* const byName[] = {&monitors.fpCpu, &monitors.fpMemory, &monitors.pcCpu,
                               &monitors.pcMemory, &monitors.pcBattery};
    Monitor& m = *byName[static_cast<size_t>(setting.monitor)];
    switch (setting.value) {
        case MonitorValue::Switch: return m.enabled;
        case MonitorValue::Interval: return m.interval;
        case MonitorValue::Threshold: break;
    }
    return m.threshold;
}

void SaveStates(Files& files, Monitors& monitors) {
    Settings states;
    for (const MonitorSetting& setting : kMonitorSettings)
        if (setting.value == MonitorValue::Switch) states.*setting.field = ValueOf(monitors, setting);
    SaveMonitorStates(files, states);
}

void ToggleFocused(ProcessRoles roles, SpeechOutput& speech, ProcessState& processes, Monitor& m,
                   std::u16string_view name) {
    if (FindIndexByPid(roles, processes, processes.focusedPid) == -1) {
        m.enabled = 0;
        speech.Speak(u"No focused process", false);
        return;
    }
    Flip(speech, m, name);
}

}  // namespace

void InitMonitors(Monitors& monitors, int64_t now) {
    monitors = Monitors{};
    for (const MonitorSetting& setting : kMonitorSettings) ValueOf(monitors, setting) = setting.builtIn;
    for (Monitor* m : {&monitors.fpCpu, &monitors.fpMemory, &monitors.pcCpu, &monitors.pcMemory,
                       &monitors.pcBattery})
        m->lastSampleTime = now;
}

void ApplySettings(Monitors& monitors, const Settings& settings) {
    for (const MonitorSetting& setting : kMonitorSettings)
        ValueOf(monitors, setting) = settings.*setting.field;
}

int64_t WholeMebibytes(float bytes) {
    const float mebibytes = bytes * (1.0f / 1024.0f) * (1.0f / 1024.0f);
    return ToWholeNumber(RoundNearest(static_cast<double>(mebibytes)));
}

int64_t NextMonitorDue(const Monitors& monitors) {
    int64_t due = kMax;
    for (const Monitor* m : {&monitors.fpCpu, &monitors.fpMemory, &monitors.pcCpu,
                             &monitors.pcMemory, &monitors.pcBattery})
        if (IsOn(*m)) due = std::min(due, DueTime(*m));
    return due;
}

void MonitorPass(MonitorRoles roles, SpeechOutput& speech, ProcessState& processes,
                 Monitors& monitors, const SoundCues& cues) {
    TickFocusedCpu(roles, speech, processes, monitors.fpCpu, cues);
    TickFocusedMemory(roles, speech, processes, monitors.fpMemory, cues);
    TickPcCpu(roles, speech, processes.list, monitors.pcCpu, cues);
    TickPcMemory(roles, speech, monitors.pcMemory, cues);
    TickPcBattery(roles, speech, monitors, cues);
}

void TogglePcCpuMonitor(Files& files, SpeechOutput& speech, Monitors& monitors) {
    Flip(speech, monitors.pcCpu, u"PC CPU Monitor");
    SaveStates(files, monitors);
}

void TogglePcMemoryMonitor(Files& files, SpeechOutput& speech, Monitors& monitors) {
    Flip(speech, monitors.pcMemory, u"PC memory Monitor");
    SaveStates(files, monitors);
}

void ToggleBatteryMonitor(SystemFacts& facts, Files& files, SpeechOutput& speech,
                          Monitors& monitors) {
    if (facts.GetPowerStatus().batteryLifePercent == 255) {
        speech.Speak(u"No battery", false);
        monitors.pcBattery.enabled = 0;
        return;
    }
    Flip(speech, monitors.pcBattery, u"PC battery Monitor");
    SaveStates(files, monitors);
}

void ToggleFocusedCpuMonitor(ProcessRoles roles, SpeechOutput& speech, ProcessState& processes,
                             Monitors& monitors) {
    ToggleFocused(roles, speech, processes, monitors.fpCpu, u"Focused Process CPU Monitor");
}

void ToggleFocusedMemoryMonitor(ProcessRoles roles, SpeechOutput& speech,
                                ProcessState& processes, Monitors& monitors) {
    ToggleFocused(roles, speech, processes, monitors.fpMemory,
                  u"Focused Process memory Monitor");
}

}  // namespace tarrow
