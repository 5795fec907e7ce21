// Events, the hidden window, the tray, hotkeys, the clipboard and the boxes:
// the front end chosen at start (the shortcuts portal on Wayland, else X11,
// else the terminal) answers them, and a StatusNotifierItem host on the
// session bus shows the tray.

#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "platform/linux/bus/session_bus.hpp"
#include "platform/linux/bus/status_notifier_tray.hpp"
#include "platform/linux/front_end.hpp"
#include "platform/linux/linux_platform.hpp"
#include "platform/linux/wake_pipe.hpp"

namespace tarrow {

namespace {

bool WaylandSession() {
    const char* display = std::getenv("WAYLAND_DISPLAY");
    const char* type = std::getenv("XDG_SESSION_TYPE");
    return (display != nullptr && *display != '\0') ||
           (type != nullptr && std::string_view(type) == "wayland");
}

}  // namespace

bool LinuxPlatform::OpenUserInterface(std::string& why) {
    bus_ = SessionBus::Open();
    wake_->WatchBus(bus_.get());
    const bool wayland = WaylandSession();
    // The portal must answer before the hotkeys are registered; a bus daemon
    // that does not answer in 2 s leaves it out.
    if (wayland && bus_ && bus_->WaitReady()) opened_ = OpenPortalFrontEnd(*wake_, *bus_);
    if (!opened_) {
        opened_ = OpenX11FrontEnd(*wake_);
        if (opened_ && wayland) {
            std::fputs("Tarrow Desk: on Wayland the X11 hotkeys only work while an X11 window "
                       "has focus.\n", stderr);
        }
    }
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
    trayPending_ = false;
    tray_.reset();
    // The bus itself stays until the platform goes: a closed front end may still hold it.
    wake_->WatchBus(nullptr);
    if (bus_) bus_->Flush();
    frontEnd_.exchange(headless_.get())->Close();
}

Event LinuxPlatform::WaitEvent(int64_t timeoutMs) {
    // A termination signal: the close road, whatever else is waiting.
    if (WakePipe::TakeCloseRequest()) return Event{EventKind::Close, 0};
    if (wake_->TakeExitRequest()) {
        wake_->Drain();
        return Event{EventKind::ExitRequest, 0};
    }
    ShowTrayOnceTheBusAnswers();
    const Event event = frontEnd_.load()->NextEvent(timeoutMs);
    if (event.kind == EventKind::None && WakePipe::TakeCloseRequest())
        return Event{EventKind::Close, 0};
    if (event.kind == EventKind::None && tray_) {
        if (const auto item = tray_->TakeChosenItem()) return Event{EventKind::Menu, *item};
    }
    return event;
}

void LinuxPlatform::PostExitRequest() { wake_->PostExitRequest(); }
void LinuxPlatform::CatchTerminationSignals() noexcept { wake_->CatchTerminationSignals(); }

void LinuxPlatform::CreateHiddenWindow(std::u16string_view title) {
    frontEnd_.load()->CreateHiddenWindow(title);
}
void LinuxPlatform::CloseHiddenWindow() { frontEnd_.load()->CloseHiddenWindow(); }
// The tray item is put on the bus from the event wait, so after the welcome
// and the first refresh, and only once the bus daemon has answered: a bus
// that does not answer costs the tray, never the start-up or a hotkey.
void LinuxPlatform::ShowTrayOnceTheBusAnswers() {
    if (!trayPending_ || !bus_ || !bus_->Ready()) return;
    trayPending_ = false;
    // Registered as it was asked for, then brought up to date, as the icon of a
    // tray that was there from the start would have been.
    tray_ = RegisterStatusNotifierTray(bus_->Get(), trayFirstTooltip_);
    if (!tray_) return;
    if (trayMenu_) tray_->SetMenuItem(trayMenu_->first, trayMenu_->second);
    tray_->SetTooltip(trayTooltip_);
}
void LinuxPlatform::AddTrayIcon(std::u16string_view tooltip) {
    frontEnd_.load()->AddTrayIcon(tooltip);
    if (bus_ && !tray_) {
        trayPending_ = true;
        trayFirstTooltip_ = tooltip.substr(0, 63);
        trayTooltip_ = trayFirstTooltip_;
    }
}
void LinuxPlatform::SetTrayTooltip(std::u16string_view tooltip) {
    frontEnd_.load()->SetTrayTooltip(tooltip);
    // A tray tip holds 63 units, as on Windows.
    trayTooltip_ = tooltip.substr(0, 63);
    if (tray_) tray_->SetTooltip(trayTooltip_);
}
void LinuxPlatform::RemoveTrayIcon() {
    frontEnd_.load()->RemoveTrayIcon();
    trayPending_ = false;
    tray_.reset();
    if (bus_) bus_->Flush();
}
void LinuxPlatform::CreateTrayMenu(int64_t itemId, std::u16string_view text) {
    frontEnd_.load()->CreateTrayMenu(itemId, text);
    trayMenu_.emplace(itemId, std::u16string(text));
    if (tray_) tray_->SetMenuItem(itemId, text);
}

bool LinuxPlatform::RegisterHotkey(int id, uint32_t modifiers, uint8_t virtualKey,
                                   std::u16string_view label) {
    return frontEnd_.load()->RegisterHotkey(id, modifiers, virtualKey, label);
}

void LinuxPlatform::PrepareHotkeys(std::span<const HotkeyRequest> hotkeys) {
    frontEnd_.load()->PrepareHotkeys(hotkeys);
}

std::u16string LinuxPlatform::KeyboardLayoutName() { return frontEnd_.load()->KeyboardLayoutName(); }

bool LinuxPlatform::SetClipboardText(std::u16string_view text) {
    return frontEnd_.load()->SetClipboardText(text);
}

MessageAnswer LinuxPlatform::ShowMessage(std::u16string_view caption, std::u16string_view text,
                                         MessageStyle style) {
    // The front ends give the answer's Windows value.
    return static_cast<MessageAnswer>(frontEnd_.load()->ShowMessage(caption, text, style));
}

std::u16string LinuxPlatform::PromptText(std::u16string_view title, std::u16string_view prompt,
                                         std::u16string_view defaultText) {
    return frontEnd_.load()->PromptText(title, prompt, defaultText);
}

}  // namespace tarrow
