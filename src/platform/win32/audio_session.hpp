#pragma once
// The miniaudio engine and the cues loaded into it; the miniaudio state
// itself lives in sound.cpp.

#include <memory>
#include <mutex>

namespace tarrow::win32 {

struct AudioEngine;  // sound.cpp

// As many cues as the engine has sound slots.
inline constexpr int kMaxCues = 64;

struct AudioSession {
    AudioSession();
    ~AudioSession();
    AudioSession(const AudioSession&) = delete;
    AudioSession& operator=(const AudioSession&) = delete;

    // Stops every sound and releases the engine; later cues play nothing.
    void Stop() noexcept;

    // Taken by every operation: shutdown may come from another thread.
    std::mutex lock;
    std::unique_ptr<AudioEngine> engine;  // null until started, and after stopping
};

}  // namespace tarrow::win32
