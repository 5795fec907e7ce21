#pragma once
// The speech-dispatcher connection.

namespace tarrow {

struct SpeechSession {
    bool loaded = false;
};

}  // namespace tarrow
