#pragma once
// The miniaudio engine and the cues loaded into it. The miniaudio state itself
// lives in sound.cpp, so that only that file pays for the library's header.

#include <memory>
#include <mutex>
#include <string>

#include "platform/platform_services.hpp"

namespace tarrow {

struct AudioEngine;  // sound.cpp

// Where the engine plays: the system's sound devices, or a silent device that
// runs in real time all the same (for tests on machines without sound).
enum class AudioOutput { Devices, Silent };

// As many cues as the engine has sound slots.
inline constexpr int kMaxCues = 64;

struct AudioSession {
    AudioSession();
    ~AudioSession();
    AudioSession(const AudioSession&) = delete;
    AudioSession& operator=(const AudioSession&) = delete;

    // Taken by every operation below: shutdown may come from another thread.
    std::mutex lock;
    std::unique_ptr<AudioEngine> engine;  // null until started, and after stopping
};

// false when no device could be opened; nothing is reported.
bool StartAudioEngine(AudioSession& session, AudioOutput output);
// Reads and decodes the whole file into memory; kNoCue when there is no
// engine, no free slot, or the file is missing, unreadable or undecodable.
CueId LoadCueFile(AudioSession& session, const std::string& path);
// Starts the cue from its beginning without waiting, cutting off the same cue
// if it is still playing. Anything that is not a loaded cue plays nothing.
void PlayLoadedCue(AudioSession& session, CueId cue);
bool CueIsPlaying(AudioSession& session, CueId cue);
// Stops every sound and releases the engine; later calls play nothing.
void StopAudioEngine(AudioSession& session);

}  // namespace tarrow
