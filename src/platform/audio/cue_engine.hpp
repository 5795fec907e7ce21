#pragma once
// The engine record, for a backend's sound.cpp that opens its own context.
// Everything else about cues is in cue_engine.cpp.

#include <memory>
#include <vector>

#include "platform/audio/audio_session.hpp"
#include "platform/audio/miniaudio_setup.hpp"

namespace tarrow {

struct Cue;  // cue_engine.cpp

struct AudioEngine {
    AudioEngine();
    ~AudioEngine();  // cues, then the engine, then the context, then the guard
    AudioEngine(const AudioEngine&) = delete;
    AudioEngine& operator=(const AudioEngine&) = delete;

    // What the backend must keep open until the context is gone.
    std::shared_ptr<void> backendGuard;
    ma_context context{};
    ma_engine engine{};
    bool contextReady = false;
    bool engineReady = false;
    std::vector<std::unique_ptr<Cue>> cues;
};

}  // namespace tarrow
