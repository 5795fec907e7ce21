#pragma once
// Speech runs on a thread of its own: the screen-reader library (or SAPI) is
// loaded, used and left there, in one COM apartment, whichever thread speaks.
// Callers only queue the text and go on.

#include "platform/win32/windows_api.hpp"

#include <deque>
#include <mutex>
#include <string>

#include "platform/win32/handles.hpp"

namespace tarrow::win32 {

struct SpeechRequest {
    std::wstring text;
    bool interrupt = false;
};

struct SpeechSession {
    std::mutex lock;
    std::deque<SpeechRequest> queue;  // guarded by lock
    bool accepting = false;           // guarded by lock: the thread runs
    bool stopping = false;            // guarded by lock
    UniqueHandle wake;                // auto-reset: new text or stop
    UniqueHandle thread;
    bool started = false;             // main thread only

    // Starts the speech thread, which loads Tolk.dll (or SAPI 5 without it).
    void Start() noexcept;
    // Queues one text; dropped when the thread never started or has stopped.
    void Say(std::wstring text, bool interrupt) noexcept;
    // Lets the queued texts go out, then ends the thread; waits at most a few seconds.
    void Stop() noexcept;
};

}  // namespace tarrow::win32
