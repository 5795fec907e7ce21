#pragma once
// The miniaudio engine and the cues loaded into it, as both backends hold
// them. The miniaudio state itself lives in cue_engine.hpp, so that only the
// files that use it pay for the library's header.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/platform_services.hpp"

namespace tarrow {

struct AudioEngine;  // cue_engine.hpp

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

// Sets up the backend's own part of a fresh engine (its guard and context);
// false when that failed. Without a context the engine opens miniaudio's default.
using EngineOpener = std::function<bool(AudioEngine&)>;

// true at once when already started; false when no device could be opened,
// with nothing reported. `open` may be empty.
bool StartCueEngine(AudioSession& session, const EngineOpener& open);

// Fills the bytes with the whole cue file, or returns false.
using CueFileReader = std::function<bool(std::vector<uint8_t>&)>;

// Reads (only when there is an engine with a free slot) and decodes the whole
// file into memory; kNoCue when there is no engine, no free slot, or the file
// is missing, unreadable or undecodable.
CueId LoadCueWith(AudioSession& session, const CueFileReader& read);
// Starts the cue from its beginning without waiting, cutting off the same cue
// if it is still playing. Anything that is not a loaded cue plays nothing.
void PlayLoadedCue(AudioSession& session, CueId cue);
bool CueIsPlaying(AudioSession& session, CueId cue);
// Stops every sound and releases the engine; later calls play nothing.
void StopAudioEngine(AudioSession& session) noexcept;

}  // namespace tarrow
