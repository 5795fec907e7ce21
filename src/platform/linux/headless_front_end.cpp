// The front end with nothing opened (tests) or already shut down: it waits
// for the exit request alone, registers nothing and gives boxes their safe
// answers with the text on standard error.

#include "platform/linux/desktop/zenity_boxes.hpp"
#include "platform/linux/front_end.hpp"
#include "platform/linux/wake_pipe.hpp"

namespace tarrow {

namespace {

class HeadlessFrontEnd final : public FrontEnd {
public:
    explicit HeadlessFrontEnd(WakePipe& wake) : wake_(wake) {}

    Event NextEvent(int64_t timeoutMs) override {
        wake_.Wait(timeoutMs);
        if (wake_.TakeExitRequest()) return Event{EventKind::ExitRequest, 0};
        return {};
    }
    bool RegisterHotkey(int, uint32_t, uint8_t, std::u16string_view) override { return false; }
    std::u16string KeyboardLayoutName() override { return u"00000409"; }
    bool SetClipboardText(std::u16string_view) override { return false; }
    int ShowMessage(std::u16string_view caption, std::u16string_view text,
                    unsigned style) override {
        PrintToStderr(caption, text);
        return AnswerForExitStatus(style, -1);
    }
    std::u16string PromptText(std::u16string_view, std::u16string_view,
                              std::u16string_view) override {
        return {};
    }

private:
    WakePipe& wake_;
};

}  // namespace

std::unique_ptr<FrontEnd> MakeHeadlessFrontEnd(WakePipe& wake) {
    return std::make_unique<HeadlessFrontEnd>(wake);
}

}  // namespace tarrow
