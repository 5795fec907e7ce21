// Terminal mode, for when no X display can be opened: bare keys are the
// hotkeys, the title shows the tooltip, boxes and the prompt are asked here.
// Everything is written to standard error: standard output is the spoken log.

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <mutex>
#include <optional>

#include "platform/linux/keys/keymap.hpp"
#include "platform/linux/terminal/terminal_keys.hpp"
#include "platform/linux/terminal/terminal_session.hpp"
#include "platform/linux/terminal/terminal_text.hpp"
#include "platform/linux/unique_fd.hpp"
#include "platform/linux/wake_pipe.hpp"
#include "platform/text.hpp"

namespace tarrow {

namespace {

void Say(std::string_view bytes) { WriteAll(STDERR_FILENO, bytes); }

// Escape sequences only make sense on a terminal.
int TerminalOut() { return isatty(STDERR_FILENO) ? STDERR_FILENO : -1; }

// Blocks for the next chunk of typed input; empty when the terminal is gone.
std::string ReadChunk() {
    char buffer[64];
    while (true) {
        pollfd fd{STDIN_FILENO, POLLIN, 0};
        if (poll(&fd, 1, -1) < 0) {
            if (errno == EINTR) continue;
            return {};
        }
        const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
        if (n > 0) return std::string(buffer, static_cast<size_t>(n));
        if (n == 0 || (errno != EINTR && errno != EAGAIN)) return {};
    }
}

void DropTypeAhead() { tcflush(STDIN_FILENO, TCIFLUSH); }

// Length of the escape sequence at the start of text (which begins with ESC);
// 1 when it is the Escape key alone.
size_t SequenceLength(std::string_view text) {
    if (text.size() < 2 || (text[1] != '[' && text[1] != 'O')) return 1;
    if (text[1] == 'O') return std::min<size_t>(3, text.size());
    size_t end = 2;
    if (end < text.size() && text[end] == '[') ++end;  // the Linux console's ESC [ [ A
    while (end < text.size() && (static_cast<unsigned char>(text[end]) < 0x40 ||
                                 static_cast<unsigned char>(text[end]) > 0x7E)) {
        ++end;
    }
    return std::min(end + 1, text.size());
}

}  // namespace

bool EnterTerminalMode(TerminalSession& session) {
    if (!session.terminal.Enter(STDIN_FILENO)) return false;
    // Save the terminal's title so it comes back at the end (xterm's title stack).
    if (const int out = TerminalOut(); out >= 0) WriteAll(out, "\x1b[22;0t");
    session.titlePushed = true;
    return true;
}

void LeaveTerminalMode(TerminalSession& session) noexcept {
    if (session.titlePushed) {
        if (const int out = TerminalOut(); out >= 0) WriteAll(out, "\x1b[23;0t");
        session.titlePushed = false;
    }
    session.terminal.Restore();
}

std::string TerminalLegend(const std::vector<TerminalKey>& keys) {
    std::vector<TerminalKey> sorted = keys;
    std::sort(sorted.begin(), sorted.end(),
              [](const TerminalKey& a, const TerminalKey& b) { return a.id < b.id; });
    std::string line = "Tarrow Desk keys:";
    for (size_t i = 0; i < sorted.size(); ++i) {
        line += (i == 0 ? " " : ", ") + TerminalKeyLabel(sorted[i].virtualKey) + " ";
        line += sorted[i].label.empty() ? "#" + std::to_string(sorted[i].id)
                                        : TerminalSafe(sorted[i].label);
    }
    return line;
}

bool AddTerminalKey(TerminalSession& session, int id, uint8_t virtualKey,
                    std::u16string_view label) {
    // Keys the terminal cannot send, and keys already taken, fail like a taken hotkey.
    if (KeysymForVirtualKey(virtualKey) == 0) return false;
    for (const TerminalKey& key : session.terminalKeys) {
        if (key.virtualKey == virtualKey) return false;
    }
    session.terminalKeys.push_back({virtualKey, id, Utf16ToUtf8(label)});
    return true;
}

Event NextTerminalEvent(TerminalSession& session, WakePipe& wake, int64_t timeoutMs) {
    auto takePending = [&session] {
        const Event event = session.pending.front();
        session.pending.pop_front();
        return event;
    };
    if (!session.pending.empty()) return takePending();
    if (!session.legendShown) {
        session.legendShown = true;
        Say(TerminalLegend(session.terminalKeys) + "\n");
    }
    // A box asked by a worker owns standard input meanwhile: then only wait.
    std::unique_lock<std::mutex> input(session.terminalLock, std::try_to_lock);
    pollfd input_fd{input.owns_lock() ? STDIN_FILENO : -1, POLLIN, 0};
    if (wake.Poll(&input_fd, 1, timeoutMs) <= 0) return {};
    if (wake.TakeExitRequest()) return Event{EventKind::ExitRequest, 0};
    if (input_fd.revents & POLLIN) {
        char buffer[64];
        const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
        if (n == 0) return Event{EventKind::Close, 0};  // the terminal hung up
        if (n > 0) {
            for (const uint8_t vk : DecodeTerminalKeys(std::string_view(buffer, size_t(n)))) {
                for (const TerminalKey& key : session.terminalKeys) {
                    if (key.virtualKey == vk) session.pending.push_back({EventKind::Hotkey, key.id});
                }
            }
        }
    } else if (input_fd.revents & (POLLHUP | POLLERR)) {
        return Event{EventKind::Close, 0};
    }
    return session.pending.empty() ? Event{EventKind::Other, 0} : takePending();
}

void SetTerminalTitle(TerminalSession&, std::u16string_view title) {
    if (const int out = TerminalOut(); out >= 0) {
        WriteAll(out, "\x1b]0;" + TerminalSafe(Utf16ToUtf8(title)) + "\x07");
    }
}

bool SetTerminalClipboard(std::u16string_view text) {
    const int out = TerminalOut();
    if (out < 0) return false;
    // OSC 52: terminals that support it put the text on the system clipboard.
    WriteAll(out, "\x1b]52;c;" + Base64(Utf16ToUtf8(text)) + "\x07");
    return true;
}

int TerminalMessage(TerminalSession& session, std::u16string_view caption,
                    std::u16string_view text, unsigned style) {
    std::lock_guard<std::mutex> input(session.terminalLock);
    const bool yesNo = style == kMbYesNo;
    Say("\n" + TerminalSafe(Utf16ToUtf8(caption)) + ": " + TerminalSafe(Utf16ToUtf8(text)) +
        (yesNo ? " [y/n] " : " [Enter] "));
    // With no terminal left to answer, the safe answer.
    std::optional<int> answer;
    while (!answer) {
        const std::string chunk = ReadChunk();
        if (chunk.empty()) break;
        for (size_t i = 0; i < chunk.size() && !answer;) {
            const std::string_view rest = std::string_view(chunk).substr(i);
            const size_t length = rest[0] == '\x1b' ? SequenceLength(rest) : 1;
            i += length;
            const char c = length == 1 ? rest[0] : '\0';  // sequences are ignored
            if (!yesNo && (c == '\n' || c == '\r' || c == ' ' || c == '\x1b')) answer = kIdOk;
            if (yesNo && (c == 'y' || c == 'Y')) answer = kIdYes;
            if (yesNo && (c == 'n' || c == 'N')) answer = kIdNo;
        }
    }
    const int result = answer.value_or(yesNo ? kIdNo : kIdOk);
    Say(yesNo ? (result == kIdYes ? "yes\n" : "no\n") : "\n");
    DropTypeAhead();
    return result;
}

std::u16string TerminalPrompt(TerminalSession& session, std::u16string_view title,
                              std::u16string_view prompt, std::u16string_view defaultText) {
    std::lock_guard<std::mutex> input(session.terminalLock);
    std::string line = TerminalSafe(Utf16ToUtf8(defaultText));
    Say("\n" + TerminalSafe(Utf16ToUtf8(title)) + ": " + TerminalSafe(Utf16ToUtf8(prompt)) +
        " " + line);
    std::optional<bool> accepted;
    while (!accepted) {
        const std::string chunk = ReadChunk();
        if (chunk.empty()) break;
        for (size_t i = 0; i < chunk.size() && !accepted;) {
            const std::string_view rest = std::string_view(chunk).substr(i);
            const char c = rest[0];
            if (c == '\x1b') {
                const size_t length = SequenceLength(rest);
                if (length == 1) accepted = false;  // Escape: the empty text
                i += length;                        // arrows and the like: ignored
                continue;
            }
            ++i;
            if (c == '\n' || c == '\r') {
                accepted = true;
            } else if (c == 0x7F || c == 0x08) {
                // Remove one whole UTF-8 character.
                while (!line.empty() && (static_cast<unsigned char>(line.back()) & 0xC0) == 0x80) {
                    line.pop_back();
                }
                if (!line.empty()) {
                    line.pop_back();
                    Say("\b \b");
                }
            } else if (static_cast<unsigned char>(c) >= 0x20 && line.size() < 4096) {
                line.push_back(c);
                Say(std::string_view(&c, 1));
            }
        }
    }
    Say("\n");
    DropTypeAhead();
    return accepted.value_or(false) ? Utf8ToUtf16(line) : std::u16string();
}

}  // namespace tarrow
