#pragma once
// Speech and sound cues recorded with the clock at each; cues are numbered in
// load order, and the scripted ones are missing.

#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "platform/fakes/fake_role.hpp"
#include "platform/platform_services.hpp"

namespace tarrow::testing {

struct SpokenText {
    std::u16string text;
    bool interrupt = false;
    bool operator==(const SpokenText&) const = default;
};

inline void PrintTo(const SpokenText& s, std::ostream* os) {
    *os << '"' << Narrow(s.text) << '"' << (s.interrupt ? " (interrupt)" : "");
}

template <class Base = FakeRole<SpeechAndSound>>
class FakeSpeechAndSound : public Base {
public:
    using Base::Base;

    // --- scripted inputs ---
    bool audioStarts = true;
    std::set<std::u16string> missingCues;

    // --- recorded outputs ---
    std::vector<SpokenText> spoken;
    std::vector<CueId> played;
    std::vector<int64_t> spokenAt;  // the clock at each entry of `spoken`
    std::vector<int64_t> playedAt;  // the clock at each entry of `played`
    int speechLoads = 0;
    // Cues are numbered in load order; this maps a cue back to its path.
    std::vector<std::u16string> loadedCuePaths;

    std::vector<std::u16string> SpokenTexts() const {
        std::lock_guard<std::mutex> guard(log_.lock);
        std::vector<std::u16string> texts;
        for (const auto& s : spoken) texts.push_back(s.text);
        return texts;
    }

    bool StartAudio() override {
        log_.calls.push_back("StartAudio");
        return audioStarts;
    }

    CueId LoadCue(std::u16string_view path) override {
        log_.calls.push_back("LoadCue " + Narrow(path));
        if (missingCues.count(std::u16string(path))) return kNoCue;
        loadedCuePaths.emplace_back(path);
        return static_cast<CueId>(loadedCuePaths.size() - 1);
    }

    void PlayCue(CueId cue) override {
        if (cue == kNoCue) return;
        log_.calls.push_back("PlayCue " + std::to_string(cue));
        played.push_back(cue);
        playedAt.push_back(clock_.now);
    }

    void LoadSpeech() override {
        std::lock_guard<std::mutex> guard(log_.lock);
        log_.calls.push_back("LoadSpeech");
        ++speechLoads;
    }

    void OutputSpeech(std::u16string_view text, bool interrupt) override {
        std::lock_guard<std::mutex> guard(log_.lock);
        log_.calls.push_back("Speak " + Narrow(text));
        spoken.push_back({std::u16string(text), interrupt});
        spokenAt.push_back(clock_.now);
    }

protected:
    using Base::clock_;
    using Base::log_;
};

}  // namespace tarrow::testing
