#pragma once
// The one road by which every text reaches the user, and the last text spoken.

#include <mutex>
#include <string>
#include <string_view>

#include "platform/platform_services.hpp"

namespace tarrow {

class SpeechOutput {
public:
    explicit SpeechOutput(SpeechAndSound& voice) : voice_(voice) {}

    // Speaks the text and records it as the last spoken text. The first call
    // loads the speech library; start-up makes that call on the main thread
    // before any worker exists.
    void Speak(std::u16string_view text, bool interrupt);
    // Speaks without recording and without loading the library.
    void SpeakUnrecorded(std::u16string_view text, bool interrupt);
    std::u16string LastSpokenText() const;
    bool SpeechLoaded() const { return speechLoaded_; }
    // Start-up marks the library as not loaded before anything is spoken.
    void MarkNotLoaded() { speechLoaded_ = false; }

private:
    SpeechAndSound& voice_;
    bool speechLoaded_ = false;
    mutable std::mutex lastTextLock_;
    std::u16string lastSpokenText_;
};

// Hotkey "Repeat last spoken text".
void RepeatLastSpoken(SpeechOutput& speech);
// Hotkey "copy last text to clipboard".
void CopyLastSpoken(Clipboard& clipboard, SpeechOutput& speech);

}  // namespace tarrow
