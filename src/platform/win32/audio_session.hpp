#pragma once
// The miniaudio engine and the cues loaded into memory.

namespace tarrow::win32 {

struct AudioSession {
    bool started = false;
    void Stop() noexcept { started = false; }
};

}  // namespace tarrow::win32
