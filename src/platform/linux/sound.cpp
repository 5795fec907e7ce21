// Sound cues through miniaudio.

#include "platform/linux/linux_platform.hpp"
#include "platform/linux/audio_session.hpp"

namespace tarrow {

// Placeholders until the audio engine lands: no engine, every cue none.
bool LinuxPlatform::StartAudio() { return false; }
CueId LinuxPlatform::LoadCue(std::u16string_view) { return kNoCue; }
void LinuxPlatform::PlayCue(CueId) {}

}  // namespace tarrow
