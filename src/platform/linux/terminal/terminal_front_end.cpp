// The terminal front end, for when no X display can be opened: bare keys are
// the hotkeys, the tooltip is the terminal's title, the clipboard is the
// terminal's (OSC 52), and boxes and the prompt are asked in the terminal.

#include <unistd.h>

#include "platform/linux/front_end.hpp"
#include "platform/linux/terminal/terminal_session.hpp"

namespace tarrow {

namespace {

class TerminalFrontEnd final : public FrontEnd {
public:
    explicit TerminalFrontEnd(WakePipe& wake) : wake_(wake) {}
    ~TerminalFrontEnd() override { Close(); }
    TerminalFrontEnd(const TerminalFrontEnd&) = delete;
    TerminalFrontEnd& operator=(const TerminalFrontEnd&) = delete;

    bool Open() { return EnterTerminalMode(session_); }

    Event NextEvent(int64_t timeoutMs) override {
        return NextTerminalEvent(session_, wake_, timeoutMs);
    }
    bool RegisterHotkey(int id, uint32_t, uint8_t virtualKey, std::u16string_view label) override {
        return AddTerminalKey(session_, id, virtualKey, label);
    }
    // The terminal's keys are read as US characters.
    std::u16string KeyboardLayoutName() override { return u"00000409"; }

    void AddTrayIcon(std::u16string_view tooltip) override { SetTerminalTitle(session_, tooltip); }
    void SetTrayTooltip(std::u16string_view tooltip) override {
        SetTerminalTitle(session_, tooltip.substr(0, 63));
    }

    bool SetClipboardText(std::u16string_view text) override { return SetTerminalClipboard(text); }
    int ShowMessage(std::u16string_view caption, std::u16string_view text,
                    unsigned style) override {
        return TerminalMessage(session_, caption, text, style);
    }
    std::u16string PromptText(std::u16string_view title, std::u16string_view prompt,
                              std::u16string_view defaultText) override {
        return TerminalPrompt(session_, title, prompt, defaultText);
    }

    void Close() noexcept override { LeaveTerminalMode(session_); }

private:
    WakePipe& wake_;
    TerminalSession session_;
};

}  // namespace

std::unique_ptr<FrontEnd> OpenTerminalFrontEnd(WakePipe& wake) {
    if (!isatty(STDIN_FILENO)) return nullptr;
    auto frontEnd = std::make_unique<TerminalFrontEnd>(wake);
    if (!frontEnd->Open()) return nullptr;
    return frontEnd;
}

}  // namespace tarrow
