// Sound cues through miniaudio.

#include "platform/win32/audio_session.hpp"
#include "platform/win32/win32_platform.hpp"

namespace tarrow {

bool Win32Platform::StartAudio() { return false; }
CueId Win32Platform::LoadCue(std::u16string_view) { return kNoCue; }
void Win32Platform::PlayCue(CueId) {}

}  // namespace tarrow
