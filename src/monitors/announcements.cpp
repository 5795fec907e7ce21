#include "monitors/monitors.hpp"

namespace tarrow {

// Placeholders until the announcements land.
void SpeakCpuUsage(SpeechOutput&, const ProcessList&) {}
void SpeakTotalMemory(PlatformServices&, SpeechOutput&) {}
void SpeakBatteryStatus(PlatformServices&, SpeechOutput&) {}
void SpeakUptime(PlatformServices&, SpeechOutput&) {}
void SpeakCpuInfo(PlatformServices&, SpeechOutput&) {}

}  // namespace tarrow
