// Events, the hidden window, the tray and hotkeys.

#include <thread>

#include "platform/linux/linux_platform.hpp"
#include "platform/linux/display_session.hpp"

namespace tarrow {

// Placeholders until the X11 and terminal event sources land.
Event LinuxPlatform::WaitEvent(int64_t timeoutMs) {
    if (timeoutMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs));
    return {};
}
void LinuxPlatform::PostExitRequest() {}
void LinuxPlatform::CreateHiddenWindow(std::u16string_view) {}
void LinuxPlatform::CloseHiddenWindow() {}
void LinuxPlatform::AddTrayIcon(std::u16string_view) {}
void LinuxPlatform::SetTrayTooltip(std::u16string_view) {}
void LinuxPlatform::RemoveTrayIcon() {}
void LinuxPlatform::CreateTrayMenu(int64_t, std::u16string_view) {}
bool LinuxPlatform::RegisterHotkey(int, uint32_t, uint8_t) { return true; }
std::u16string LinuxPlatform::KeyboardLayoutName() { return u"00000409"; }

}  // namespace tarrow
