#include "processes/processes.hpp"

namespace tarrow {

// Placeholders until navigation lands.
void SpeakEntry(SpeechOutput&, const ProcessList&, int64_t) {}
int64_t FindByName(const ProcessList&, std::u16string_view, bool) { return -1; }
void PreviousProcess(PlatformServices&, SpeechOutput&, ProcessState&) {}
void NextProcess(PlatformServices&, SpeechOutput&, ProcessState&) {}
void FirstProcess(PlatformServices&, SpeechOutput&, ProcessState&) {}
void LastProcess(PlatformServices&, SpeechOutput&, ProcessState&) {}
void FocusMostMemory(PlatformServices&, SpeechOutput&, ProcessState&) {}
void FocusMostCpu(PlatformServices&, SpeechOutput&, ProcessState&) {}
void FindProcess(PlatformServices&, SpeechOutput&, ProcessState&) {}
void ToggleSort(PlatformServices&, SpeechOutput&, ProcessState&) {}
void FocusProcess(PlatformServices&, SpeechOutput&, ProcessState&) {}
void SpeakFocusedName(PlatformServices&, SpeechOutput&, ProcessState&) {}
void SpeakFocusedCpu(PlatformServices&, SpeechOutput&, ProcessState&) {}
void SpeakFocusedMemory(PlatformServices&, SpeechOutput&, ProcessState&) {}
void SpeakFullPath(PlatformServices&, SpeechOutput&, ProcessState&) {}

}  // namespace tarrow
