#pragma once
// The state each concern of the Linux backend keeps; every concern owns its
// own record and the file that works on it.

#include <string>

namespace tarrow {

struct DisplaySession {
    bool terminalMode = false;
};

struct SpeechSession {
    bool loaded = false;
};

struct AudioSession {
    bool started = false;
};

struct ProcReader {
    std::string procRoot;
    std::string sysRoot;
};

}  // namespace tarrow
