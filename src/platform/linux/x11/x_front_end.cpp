// The X11 front end: grabbed hotkeys, a hidden window, the CLIPBOARD
// selection (wl-copy's on XWayland) and zenity boxes. No tray host is
// needed: under X the tooltip and menu have no home yet.

#include <thread>

#include "platform/linux/desktop/wayland_clipboard.hpp"
#include "platform/linux/desktop/zenity_boxes.hpp"
#include "platform/linux/front_end.hpp"
#include "platform/linux/x11/x_session.hpp"

namespace tarrow {

namespace {

class X11FrontEnd final : public FrontEnd {
public:
    explicit X11FrontEnd(WakePipe& wake) : wake_(wake) {}
    ~X11FrontEnd() override { Close(); }
    X11FrontEnd(const X11FrontEnd&) = delete;
    X11FrontEnd& operator=(const X11FrontEnd&) = delete;

    bool Open() { return OpenXSession(session_); }

    Event NextEvent(int64_t timeoutMs) override { return NextXEvent(session_, wake_, timeoutMs); }
    bool RegisterHotkey(int id, uint32_t modifiers, uint8_t virtualKey,
                        std::u16string_view) override {
        return GrabHotkey(session_, id, modifiers, virtualKey);
    }
    std::u16string KeyboardLayoutName() override { return XKeyboardLayoutName(session_); }

    void CreateHiddenWindow(std::u16string_view title) override { CreateXWindow(session_, title); }
    void CloseHiddenWindow() override { DestroyXWindow(session_); }

    bool SetClipboardText(std::u16string_view text) override {
        // On XWayland, Wayland programs paste from the Wayland clipboard.
        if (WaylandClipboardAvailable()) return SetWaylandClipboard(text);
        return SetXClipboard(session_, text);
    }
    int ShowMessage(std::u16string_view caption, std::u16string_view text,
                    unsigned style) override {
        const int answer = boxes_.ShowMessage(caption, text, style);
        // Only the main thread reads the X queue; a worker's box holds nothing.
        if (OnMainThread()) DiscardKeyEvents(session_);
        return answer;
    }
    std::u16string PromptText(std::u16string_view title, std::u16string_view prompt,
                              std::u16string_view defaultText) override {
        std::u16string text = boxes_.PromptText(title, prompt, defaultText);
        if (OnMainThread()) DiscardKeyEvents(session_);
        return text;
    }

    void Close() noexcept override {
        // A box a worker still shows would otherwise stay on screen after we end.
        boxes_.CloseAll();
        CloseXSession(session_);
    }

private:
    bool OnMainThread() const { return std::this_thread::get_id() == session_.mainThread; }

    WakePipe& wake_;
    XSession session_;
    ZenityBoxes boxes_;
};

}  // namespace

std::unique_ptr<FrontEnd> OpenX11FrontEnd(WakePipe& wake) {
    auto frontEnd = std::make_unique<X11FrontEnd>(wake);
    if (!frontEnd->Open()) return nullptr;
    return frontEnd;
}

}  // namespace tarrow
