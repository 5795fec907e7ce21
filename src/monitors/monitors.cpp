// The periodic monitors, one row each: their pass and their toggles.

#include <algorithm>
#include <array>
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

// Which direction cue an unchanged figure gets (possible only with a negative
// threshold): FallUnlessAbove rises only for a higher figure, RiseUnlessBelow
// falls only for a lower one.
enum class Direction { RiseUnlessBelow, FallUnlessAbove };

struct MonitorRow;

// One monitor's turn in a pass, once its interval has run out.
struct Turn {
    MonitorRoles roles;
    SpeechOutput& speech;
    ProcessState& processes;
    Monitors& monitors;
    const SoundCues& cues;
    const MonitorRow& row;
    Monitor& m;
};

// What a toggle may look at before it flips the switch.
struct ToggleCheck {
    ProcessRoles roles;
    SpeechOutput& speech;
    ProcessState& processes;
    Monitor& m;
};

// One row per monitor: everything the pass and the toggle know of it.
struct MonitorRow {
    MonitorName name;
    void (*tick)(Turn&);  // takes the sample and speaks when it moved enough
    CueId SoundCues::*kind;  // started beside the direction cue
    Direction direction;
    std::u16string_view title;  // the toggle says it with " on" or " off"
    // Says why the monitor cannot run and switches it off; none: it always can.
    bool (*refuses)(ToggleCheck&);
};

// False (and silent) unless the figure moved by more than the threshold since
// the monitor last spoke; otherwise the direction cue and the monitor's own cue
// are started.
bool StartCues(Turn& t, double sample) {
    const double last = t.m.lastAnnounced;
    if (!(std::fabs(sample - last) > static_cast<double>(t.m.threshold))) return false;
    const bool up =
        t.row.direction == Direction::FallUnlessAbove ? sample > last : !(sample < last);
    t.roles.sound.PlayCue(up ? t.cues.up : t.cues.down);
    t.roles.sound.PlayCue(t.cues.*t.row.kind);
    return true;
}

void TickFocusedCpu(Turn& t) {
    // Two snapshots: the interval counts from between them, and the figure is
    // the second one's.
    RefreshProcessList(t.roles.processes, t.processes);
    t.m.lastSampleTime = t.roles.processes.facts.NowMs();
    const ProcessEntry* entry = RefreshAndFindFocused(t.roles.processes, t.processes);
    if (!entry) {
        t.m.enabled = 0;
        t.speech.Speak(u"Focused process closed. Monitor off.", false);
        return;
    }
    const double sample = entry->cpu;
    if (!StartCues(t, sample)) return;
    t.speech.Speak(IntegerText(ToWholeNumber(sample)) + u" CPU", false);
    t.m.lastAnnounced = sample;
}

void TickFocusedMemory(Turn& t) {
    RefreshProcessList(t.roles.processes, t.processes);
    const ProcessEntry* entry = RefreshAndFindFocused(t.roles.processes, t.processes);
    if (!entry) {
        t.m.enabled = 0;
        t.speech.Speak(u"Focused process closed. Memory monitor off.", false);
        return;
    }
    const float bytes = static_cast<float>(entry->memory);
    const auto sample = static_cast<double>(WholeMebibytes(bytes));
    if (!StartCues(t, sample)) return;
    t.speech.Speak(FormatBytes(bytes) + u" Memory", false);
    t.m.lastAnnounced = sample;
}

void TickPcCpu(Turn& t) {
    const int64_t figure = TotalCpuPercent(t.processes.list);
    const auto sample = static_cast<double>(figure);
    if (!StartCues(t, sample)) return;
    t.speech.Speak(IntegerText(figure) + u" CPU", false);
    t.m.lastAnnounced = sample;
}

void TickPcMemory(Turn& t) {
    SystemFacts& facts = t.roles.processes.facts;
    const uint64_t total = facts.GetMemoryStatus().totalPhys;
    if (total == 0) return;  // the status could not be read: no figure to compare this time
    const uint64_t available = facts.GetMemoryStatus().availPhys;
    const float bytes = static_cast<float>(InUseBytes(total, available));
    const auto sample = static_cast<double>(WholeMebibytes(bytes));
    if (!StartCues(t, sample)) return;
    t.speech.Speak(FormatBytes(bytes) + u" RAM", false);
    t.m.lastAnnounced = sample;
}

void TickPcBattery(Turn& t) {
    SystemFacts& facts = t.roles.processes.facts;
    const auto percent = static_cast<int8_t>(facts.GetPowerStatus().batteryLifePercent);
    const auto line = static_cast<int8_t>(facts.GetPowerStatus().acLineStatus);
    if (percent == -1) {
        // The next PC toggle stores this with the other switches.
        t.speech.Speak(u"No battery", false);
        t.m.enabled = 0;
        return;
    }
    if (line != t.monitors.lastPowerLine) {
        t.monitors.lastPowerLine = line;
        SpeakBatteryStatus(facts, t.speech);
    }
    const auto sample = static_cast<double>(percent);
    if (!StartCues(t, sample)) return;
    SpeakBatteryStatus(facts, t.speech);
    t.m.lastAnnounced = sample;
}

bool NoFocusedProcess(ToggleCheck& c) {
    if (FindIndexByPid(c.roles, c.processes, c.processes.focusedPid) != -1) return false;
    c.m.enabled = 0;
    c.speech.Speak(u"No focused process", false);
    return true;
}

bool NoBattery(ToggleCheck& c) {
    if (c.roles.facts.GetPowerStatus().batteryLifePercent != 255) return false;
    c.speech.Speak(u"No battery", false);
    c.m.enabled = 0;
    return true;
}

using enum MonitorName;
using enum Direction;

constexpr auto kMonitorRows = std::to_array<MonitorRow>({
    {FocusedCpu, TickFocusedCpu, &SoundCues::cpu, FallUnlessAbove, u"Focused Process CPU Monitor",
     NoFocusedProcess},
    {FocusedMemory, TickFocusedMemory, &SoundCues::memory, RiseUnlessBelow,
     u"Focused Process memory Monitor", NoFocusedProcess},
    {PcCpu, TickPcCpu, &SoundCues::cpu, FallUnlessAbove, u"PC CPU Monitor", nullptr},
    {PcMemory, TickPcMemory, &SoundCues::memory, FallUnlessAbove, u"PC memory Monitor", nullptr},
    {PcBattery, TickPcBattery, &SoundCues::battery, FallUnlessAbove, u"PC battery Monitor",
     NoBattery},
});

constexpr bool OneRowPerNameInOrder() {
    if (kMonitorRows.size() != kMonitorCount) return false;
    for (size_t i = 0; i < kMonitorRows.size(); ++i)
        if (static_cast<size_t>(kMonitorRows[i].name) != i) return false;
    return true;
}
static_assert(OneRowPerNameInOrder(), "one row per monitor, in the order of MonitorName");

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
    Monitor& m = monitors[setting.monitor];
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

// Whether the settings file keeps this monitor's switch.
bool KeepsSwitchInFile(MonitorName name) {
    for (const MonitorSetting& setting : kMonitorSettings)
        if (setting.monitor == name && setting.value == MonitorValue::Switch) return true;
    return false;
}

}  // namespace

void InitMonitors(Monitors& monitors, int64_t now) {
    monitors = Monitors{};
    for (const MonitorSetting& setting : kMonitorSettings) ValueOf(monitors, setting) = setting.builtIn;
    for (Monitor& m : monitors.byName) m.lastSampleTime = now;
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
    for (const Monitor& m : monitors.byName)
        if (IsOn(m)) due = std::min(due, DueTime(m));
    return due;
}

void MonitorPass(MonitorRoles roles, SpeechOutput& speech, ProcessState& processes,
                 Monitors& monitors, const SoundCues& cues) {
    for (const MonitorRow& row : kMonitorRows) {
        Monitor& m = monitors[row.name];
        if (!IsOn(m) || !TakeTurn(roles.processes.facts, m)) continue;
        Turn turn{roles, speech, processes, monitors, cues, row, m};
        row.tick(turn);
    }
}

void ToggleMonitor(MonitorName name, ProcessRoles roles, Files& files, SpeechOutput& speech,
                   ProcessState& processes, Monitors& monitors) {
    const MonitorRow& row = kMonitorRows[static_cast<size_t>(name)];
    Monitor& m = monitors[name];
    ToggleCheck check{roles, speech, processes, m};
    if (row.refuses && row.refuses(check)) return;
    Flip(speech, m, row.title);
    if (KeepsSwitchInFile(name)) SaveStates(files, monitors);
}

}  // namespace tarrow
