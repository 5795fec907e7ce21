#include "monitors/monitors.hpp"

namespace tarrow {

void InitMonitors(Monitors& monitors, int64_t now) {
    monitors = Monitors{};
    monitors.fpCpu.threshold = 2;
    monitors.fpMemory.threshold = 5;
    monitors.pcMemory.threshold = 100;
    monitors.pcCpu.threshold = 2;
    monitors.pcBattery.threshold = 10;
    monitors.pcBattery.interval = 10000;
    for (Monitor* m : {&monitors.fpCpu, &monitors.fpMemory, &monitors.pcCpu, &monitors.pcMemory,
                       &monitors.pcBattery})
        m->lastSampleTime = now;
}

// Placeholders until the monitors land.
void ApplySettings(Monitors&, const Settings&) {}
void MonitorPass(PlatformServices&, SpeechOutput&, ProcessState&, Monitors&, const SoundCues&) {}
void TogglePcCpuMonitor(PlatformServices&, SpeechOutput&, Monitors&) {}
void TogglePcMemoryMonitor(PlatformServices&, SpeechOutput&, Monitors&) {}
void ToggleBatteryMonitor(PlatformServices&, SpeechOutput&, Monitors&) {}
void ToggleFocusedCpuMonitor(PlatformServices&, SpeechOutput&, ProcessState&, Monitors&) {}
void ToggleFocusedMemoryMonitor(PlatformServices&, SpeechOutput&, ProcessState&, Monitors&) {}

}  // namespace tarrow
