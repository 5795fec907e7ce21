#pragma once
// X11 or terminal state, used by events.cpp, clipboard.cpp and dialogs.cpp.

namespace tarrow {

struct DisplaySession {
    bool terminalMode = false;
};

}  // namespace tarrow
