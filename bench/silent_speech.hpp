#pragma once
// Speech and cues that go nowhere: no speech server is started for a benchmark.

#include "platform/platform_services.hpp"

namespace tarrow::bench {

class SilentSpeech final : public SpeechAndSound {
public:
    bool StartAudio() override { return false; }
    CueId LoadCue(std::u16string_view) override { return kNoCue; }
    void PlayCue(CueId) override {}
    void LoadSpeech() override {}
    void OutputSpeech(std::u16string_view, bool) override {}
};

}  // namespace tarrow::bench
