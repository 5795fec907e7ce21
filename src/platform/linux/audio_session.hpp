#pragma once
// The miniaudio engine and the loaded cues.

namespace tarrow {

struct AudioSession {
    bool started = false;
};

}  // namespace tarrow
