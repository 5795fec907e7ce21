#pragma once
// X11 or terminal state, shared by events.cpp, x_session.cpp, terminal.cpp,
// clipboard.cpp and dialogs.cpp. No Xlib header here: its macros (None,
// Bool, Status...) would clash with the program's own names.

#include <termios.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/linux/unique_fd.hpp"
#include "platform/platform_services.hpp"

struct _XDisplay;
union _XEvent;

namespace tarrow {

struct XDisplayCloser {
    void operator()(_XDisplay* display) const noexcept;
};
using XDisplayPtr = std::unique_ptr<_XDisplay, XDisplayCloser>;

enum class UiMode {
    Headless,  // nothing opened (tests) or already shut down: boxes go to stderr
    X11,
    Terminal,
};

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

// Standard input in non-canonical, no-echo mode; the saved settings come back
// when this is destroyed or Restore is called, and on fatal signals.
class RawTerminal {
public:
    RawTerminal() = default;
    RawTerminal(const RawTerminal&) = delete;
    RawTerminal& operator=(const RawTerminal&) = delete;
    ~RawTerminal() { Restore(); }
    bool Enter(int fd);
    void Restore() noexcept;

private:
    int fd_ = -1;
    termios saved_{};
};

struct TerminalKey {
    uint8_t virtualKey = 0;
    int id = 0;
    std::string label;  // UTF-8, as registered
};

struct DisplaySession {
    DisplaySession();
    ~DisplaySession();
    DisplaySession(const DisplaySession&) = delete;
    DisplaySession& operator=(const DisplaySession&) = delete;

    std::atomic<UiMode> mode{UiMode::Headless};
    std::thread::id mainThread;  // the only thread that talks to Xlib

    // Wakes the wait from other threads (PostExitRequest).
    UniqueFd wakeRead, wakeWrite;
    std::atomic<bool> exitRequested{false};
    std::deque<Event> pending;

    // X11 mode.
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

    // Dialog programs still open (their process ids); shutting down ends them,
    // so no box outlives the program that asked it.
    std::mutex dialogsLock;
    std::vector<int> openDialogs;
    bool dialogsClosed = false;

    // Terminal mode. terminalLock gives standard input to one reader at a time
    // (the loop, or a box asked from any thread).
    RawTerminal terminal;
    std::mutex terminalLock;
    std::vector<TerminalKey> terminalKeys;
    bool legendShown = false;
    bool titlePushed = false;
};

// x_session.cpp: opens the X display, else the terminal; false with the
// reason when neither can be used.
bool OpenDisplaySession(DisplaySession& session, std::string& why);
// Releases the display and restores the terminal; the session stays usable
// in Headless mode (a worker may still ask a box while the program ends).
void CloseDisplaySession(DisplaySession& session) noexcept;
bool GrabHotkey(DisplaySession& session, int id, uint32_t modifiers, uint8_t virtualKey);
std::u16string XKeyboardLayoutName(DisplaySession& session);
// Count of grabs refused with BadAccess so far (kept by the X error handler).
unsigned long RefusedGrabCount();

// events.cpp
Event NextXEvent(DisplaySession& session, int64_t timeoutMs);
// Drops the key presses queued while a box held the loop.
void DiscardKeyEvents(DisplaySession& session);

// clipboard.cpp
void AnswerSelectionRequest(DisplaySession& session, const _XEvent& event);

// terminal.cpp
bool EnterTerminalMode(DisplaySession& session);
void LeaveTerminalMode(DisplaySession& session) noexcept;
Event NextTerminalEvent(DisplaySession& session, int64_t timeoutMs);
bool AddTerminalKey(DisplaySession& session, int id, uint8_t virtualKey,
                    std::u16string_view label);
void SetTerminalTitle(DisplaySession& session, std::u16string_view title);
bool SetTerminalClipboard(std::u16string_view text);
int TerminalMessage(DisplaySession& session, std::u16string_view caption,
                    std::u16string_view text, unsigned style);
std::u16string TerminalPrompt(DisplaySession& session, std::u16string_view title,
                              std::u16string_view prompt, std::u16string_view defaultText);
// The one-line legend printed when terminal mode starts: "Keys: q exit, ...".
std::string TerminalLegend(const std::vector<TerminalKey>& keys);

// dialogs.cpp
enum class DialogKind { Info, Question, Entry };
// zenity's command line; every value travels as one "--name=value" argument.
std::vector<std::string> ZenityArguments(DialogKind kind, std::u16string_view caption,
                                         std::u16string_view text,
                                         std::u16string_view entryText = {});
// The box's answer for zenity's exit status (-1 when it could not run).
int AnswerForExitStatus(unsigned style, int exitStatus);
// Text the prompt yields from zenity's standard output and exit status.
std::u16string PromptResult(std::string_view output, int exitStatus);

}  // namespace tarrow
