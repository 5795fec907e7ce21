#pragma once
// The terminal front end's state, for when no X display can be opened: bare
// keys are the hotkeys, the title shows the tooltip, boxes are asked here.

#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/linux/terminal/raw_terminal.hpp"
#include "platform/platform_services.hpp"

namespace tarrow {

class WakePipe;

struct TerminalKey {
    uint8_t virtualKey = 0;
    int id = 0;
    std::string label;  // UTF-8, as registered
};

struct TerminalSession {
    // terminalLock gives standard input to one reader at a time (the loop, or
    // a box asked from any thread).
    RawTerminal terminal;
    std::mutex terminalLock;
    std::vector<TerminalKey> terminalKeys;
    std::deque<Event> pending;  // keys read together, handed out one by one
    bool legendShown = false;
    bool titlePushed = false;
};

// terminal_session.cpp
bool EnterTerminalMode(TerminalSession& session);
void LeaveTerminalMode(TerminalSession& session) noexcept;
Event NextTerminalEvent(TerminalSession& session, WakePipe& wake, int64_t timeoutMs);
bool AddTerminalKey(TerminalSession& session, int id, uint8_t virtualKey,
                    std::u16string_view label);
void SetTerminalTitle(TerminalSession& session, std::u16string_view title);
bool SetTerminalClipboard(std::u16string_view text);
int TerminalMessage(TerminalSession& session, std::u16string_view caption,
                    std::u16string_view text, unsigned style);
std::u16string TerminalPrompt(TerminalSession& session, std::u16string_view title,
                              std::u16string_view prompt, std::u16string_view defaultText);
// The one-line legend printed when terminal mode starts: "Keys: q exit, ...".
std::string TerminalLegend(const std::vector<TerminalKey>& keys);

}  // namespace tarrow
