#pragma once
// The X11 front end's state, shared by x_session.cpp, x_events.cpp,
// selection_clipboard.cpp and x_front_end.cpp. No Xlib header here: its macros
// (None, Bool, Status...) would clash with the program's own names.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/platform_services.hpp"

struct _XDisplay;
union _XEvent;

namespace tarrow {

class WakePipe;

struct XDisplayCloser {
    void operator()(_XDisplay* display) const noexcept;
};
using XDisplayPtr = std::unique_ptr<_XDisplay, XDisplayCloser>;

struct XAtoms {
    unsigned long wmProtocols = 0, wmDeleteWindow = 0, wmName = 0, netWmName = 0,
                  utf8String = 0, clipboard = 0, targets = 0, text = 0, rulesNames = 0;
};

// One grabbed combination (without the Lock and NumLock variants).
struct HotkeyGrab {
    int id = 0;
    unsigned keycode = 0;
    unsigned modifiers = 0;
};

struct XSession {
    std::thread::id mainThread;  // the only thread that talks to Xlib
    XDisplayPtr display;
    unsigned long root = 0;
    unsigned long window = 0;
    bool windowAlive = false;
    XAtoms atoms;
    unsigned numLockMask = 0;
    std::vector<HotkeyGrab> grabs;
    unsigned long lastEventTime = 0;  // server time of the last key press
    std::string clipboardUtf8;
    bool ownsClipboard = false;
};

// x_session.cpp: false when no X display can be opened.
bool OpenXSession(XSession& session);
// Closing the connection releases the window, the grabs and the selection.
void CloseXSession(XSession& session) noexcept;
void CreateXWindow(XSession& session, std::u16string_view title);
void DestroyXWindow(XSession& session);
bool GrabHotkey(XSession& session, int id, uint32_t modifiers, uint8_t virtualKey);
std::u16string XKeyboardLayoutName(XSession& session);
// Count of grabs refused with BadAccess so far (kept by the X error handler).
unsigned long RefusedGrabCount();

// x_events.cpp
Event NextXEvent(XSession& session, WakePipe& wake, int64_t timeoutMs);
// Drops the key presses queued while a box held the loop.
void DiscardKeyEvents(XSession& session);

// selection_clipboard.cpp
void AnswerSelectionRequest(XSession& session, const _XEvent& event);
bool SetXClipboard(XSession& session, std::u16string_view text);

}  // namespace tarrow
