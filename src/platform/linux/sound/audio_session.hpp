#pragma once
// The Linux start of the shared cue engine: which sound systems it opens.

#include <string>

#include "platform/audio/audio_session.hpp"

namespace tarrow {

// Where the engine plays: the system's sound devices, or a silent device that
// runs in real time all the same (for tests on machines without sound).
enum class AudioOutput { Devices, Silent };

// false when no device could be opened; nothing is reported.
bool StartAudioEngine(AudioSession& session, AudioOutput output);
// Reads and decodes the whole file into memory; kNoCue when there is no
// engine, no free slot, or the file is missing, unreadable or undecodable.
CueId LoadCueFile(AudioSession& session, const std::string& path);

}  // namespace tarrow
