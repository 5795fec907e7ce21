#pragma once
// What the user sees and types through: the desktop portal, an X11 display,
// the terminal, or nothing. One front end is chosen when the program starts;
// the platform hands it events, hotkeys, the window and tray, the clipboard
// and the boxes.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "platform/platform_services.hpp"

namespace tarrow {

class SessionBus;
class WakePipe;

class FrontEnd {
public:
    virtual ~FrontEnd() = default;

    // The next event, waiting at most timeoutMs; an exit request posted on
    // the wake pipe ends the wait too.
    virtual Event NextEvent(int64_t timeoutMs) = 0;
    // The label names the hotkey's action where the front end shows its keys.
    virtual bool RegisterHotkey(int id, uint32_t modifiers, uint8_t virtualKey,
                                std::u16string_view label) = 0;
    virtual std::u16string KeyboardLayoutName() = 0;
    // Every hotkey before the first RegisterHotkey; a front end that binds
    // them all at once does it here.
    virtual void PrepareHotkeys(std::span<const HotkeyRequest>) {}

    // A front end without a window or tray needs none of these.
    virtual void CreateHiddenWindow(std::u16string_view) {}
    virtual void CloseHiddenWindow() {}
    virtual void AddTrayIcon(std::u16string_view) {}
    virtual void SetTrayTooltip(std::u16string_view) {}
    virtual void RemoveTrayIcon() {}
    virtual void CreateTrayMenu(int64_t, std::u16string_view) {}

    virtual bool SetClipboardText(std::u16string_view text) = 0;
    // Boxes may be asked from any thread.
    virtual int ShowMessage(std::u16string_view caption, std::u16string_view text,
                            unsigned style) = 0;
    virtual std::u16string PromptText(std::u16string_view title, std::u16string_view prompt,
                                      std::u16string_view defaultText) = 0;

    // Gives back the display or the terminal, and ends the boxes still open.
    // The object stays valid: a worker may still be inside one of its boxes.
    virtual void Close() noexcept {}
};

// x11/x_front_end.cpp: null when no X display can be opened.
std::unique_ptr<FrontEnd> OpenX11FrontEnd(WakePipe& wake);
// bus/portal_front_end.cpp: hotkeys through the desktop portal's global
// shortcuts; null when no portal on the bus offers them.
std::unique_ptr<FrontEnd> OpenPortalFrontEnd(WakePipe& wake, SessionBus& bus);
// terminal/terminal_front_end.cpp: null unless standard input is a terminal.
std::unique_ptr<FrontEnd> OpenTerminalFrontEnd(WakePipe& wake);
// headless_front_end.cpp: nothing opened (tests) or already shut down; boxes
// go to standard error.
std::unique_ptr<FrontEnd> MakeHeadlessFrontEnd(WakePipe& wake);

}  // namespace tarrow
