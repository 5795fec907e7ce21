// Message boxes.

#include "platform/win32/windows_api.hpp"

#include "platform/win32/wide.hpp"
#include "platform/win32/win32_platform.hpp"

namespace tarrow {

namespace {

// The box belongs to the foreground window when that window is ours, so it
// comes up in front of it; otherwise it has no owner.
HWND MessageOwner() {
    const HWND foreground = GetForegroundWindow();
    if (foreground == nullptr) return nullptr;
    DWORD process = 0;
    GetWindowThreadProcessId(foreground, &process);
    return process == GetCurrentProcessId() ? foreground : nullptr;
}

}  // namespace

MessageAnswer Win32Platform::ShowMessage(std::u16string_view caption, std::u16string_view text,
                                         MessageStyle style) {
    const std::wstring wideCaption = win32::ToWide(caption);
    const std::wstring wideText = win32::ToWide(text);
    const int answer = MessageBoxW(MessageOwner(), wideText.c_str(), wideCaption.c_str(), style);
    if (answer == IDOK || answer == IDYES || answer == IDNO)
        return static_cast<MessageAnswer>(answer);
    // A box that could not be shown is never a yes.
    return style == kMbYesNo ? kIdNo : kIdOk;
}

}  // namespace tarrow
