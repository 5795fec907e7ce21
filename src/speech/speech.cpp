#include "speech/speech.hpp"

namespace tarrow {

void SpeechOutput::Speak(std::u16string_view text, bool interrupt) {
    // Own copy first: the caller's text may be our own last text (repeat).
    std::u16string copy(text);
    if (!speechLoaded_) {
        voice_.LoadSpeech();
        speechLoaded_ = true;
    }
    voice_.OutputSpeech(copy, interrupt);
    std::lock_guard<std::mutex> guard(lastTextLock_);
    lastSpokenText_ = std::move(copy);
}

void SpeechOutput::SpeakUnrecorded(std::u16string_view text, bool interrupt) {
    voice_.OutputSpeech(text, interrupt);
}

std::u16string SpeechOutput::LastSpokenText() const {
    std::lock_guard<std::mutex> guard(lastTextLock_);
    return lastSpokenText_;
}

void RepeatLastSpoken(SpeechOutput& speech) {
    speech.Speak(speech.LastSpokenText(), false);
}

void CopyLastSpoken(Clipboard& clipboard, SpeechOutput& speech) {
    const std::u16string text = speech.LastSpokenText();
    clipboard.SetClipboardText(text);  // a failure is not reported; the confirmation follows anyway
    speech.SpeakUnrecorded(u"Copied " + text, true);
}

}  // namespace tarrow
