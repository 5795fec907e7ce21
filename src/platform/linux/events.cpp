// Events, the hidden window, the tray and hotkeys: the front end chosen at
// start answers them all.

#include <cstdlib>

#include "platform/linux/front_end.hpp"
#include "platform/linux/linux_platform.hpp"
#include "platform/linux/wake_pipe.hpp"

namespace tarrow {

bool LinuxPlatform::OpenUserInterface(std::string& why) {
    opened_ = OpenX11FrontEnd(*wake_);
    if (!opened_) opened_ = OpenTerminalFrontEnd(*wake_);
    if (opened_) {
        frontEnd_.store(opened_.get());
        return true;
    }
    const char* name = std::getenv("DISPLAY");
    why = std::string("Tarrow Desk: cannot open the X display \"") + (name ? name : "") +
          "\" and standard input is not a terminal; it needs one of them for its hotkeys.";
    return false;
}

void LinuxPlatform::CloseUserInterface() noexcept {
    // The closed front end stays alive: a worker may still be inside one of its boxes.
    frontEnd_.exchange(headless_.get())->Close();
}

Event LinuxPlatform::WaitEvent(int64_t timeoutMs) {
    if (wake_->TakeExitRequest()) {
        wake_->Drain();
        return Event{EventKind::ExitRequest, 0};
    }
    return frontEnd_.load()->NextEvent(timeoutMs);
}

void LinuxPlatform::PostExitRequest() { wake_->PostExitRequest(); }

void LinuxPlatform::CreateHiddenWindow(std::u16string_view title) {
    frontEnd_.load()->CreateHiddenWindow(title);
}
void LinuxPlatform::CloseHiddenWindow() { frontEnd_.load()->CloseHiddenWindow(); }
void LinuxPlatform::AddTrayIcon(std::u16string_view tooltip) {
    frontEnd_.load()->AddTrayIcon(tooltip);
}
void LinuxPlatform::SetTrayTooltip(std::u16string_view tooltip) {
    frontEnd_.load()->SetTrayTooltip(tooltip);
}
void LinuxPlatform::RemoveTrayIcon() { frontEnd_.load()->RemoveTrayIcon(); }
void LinuxPlatform::CreateTrayMenu(int64_t itemId, std::u16string_view text) {
    frontEnd_.load()->CreateTrayMenu(itemId, text);
}

bool LinuxPlatform::RegisterHotkey(int id, uint32_t modifiers, uint8_t virtualKey,
                                   std::u16string_view label) {
    return frontEnd_.load()->RegisterHotkey(id, modifiers, virtualKey, label);
}

std::u16string LinuxPlatform::KeyboardLayoutName() { return frontEnd_.load()->KeyboardLayoutName(); }

}  // namespace tarrow
