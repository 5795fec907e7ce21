#pragma once
// The hidden window with its tray icon and menu, and the screen scale that the
// prompt uses. Lives on the main thread, except `postTarget`.

#include "platform/win32/windows_api.hpp"

#include <atomic>
#include <deque>
#include <string_view>

#include "platform/platform_services.hpp"
#include "platform/win32/handles.hpp"

namespace tarrow::win32 {

// Private messages of the hidden window.
inline constexpr UINT kTrayCallbackMessage = WM_APP + 1;
inline constexpr UINT kExitRequestMessage = WM_APP + 2;
inline constexpr UINT kTrayIconId = 0;
inline constexpr size_t kTooltipUnits = 63;

struct WindowSession {
    DWORD mainThreadId = 0;
    HINSTANCE instance = nullptr;
    ATOM windowClass = 0;
    UniqueWindow hidden;
    // Where workers post the exit request; null once the window is gone.
    std::atomic<HWND> postTarget{nullptr};
    // Menu choices, close requests and exit requests seen by the window
    // procedure, handed out by the following waits.
    std::deque<Event> pending;

    // The message Explorer broadcasts when it makes a new taskbar (after a
    // restart or a crash): every icon must be added again. Zero if unregistered.
    UINT taskbarCreatedMessage = 0;
    UniqueIcon trayImage;
    // The program wants its icon shown (from AddTrayIcon to the removal), and
    // the shell holds it now; the two part when Explorer restarts or when the
    // taskbar was not there yet at start.
    bool trayWanted = false;
    bool trayAdded = false;
    // The tooltip as the shell takes it, kept for adding the icon again.
    wchar_t trayTip[128] = {};
    UniqueMenu trayMenu;

    // Screen DPI divided by 96.
    double scaleX = 1.0;
    double scaleY = 1.0;
};

// tray.cpp: the tooltip field of the icon: at most 63 units, then a zero unit.
void FillTooltip(wchar_t (&field)[128], std::u16string_view tooltip) noexcept;
// tray.cpp: opens the tray menu at the cursor (right-button release on the icon).
void ShowTrayMenu(WindowSession& session) noexcept;
// tray.cpp: takes the icon off the notification area if it is there.
void DeleteTrayIcon(WindowSession& session) noexcept;
// tray.cpp: a new taskbar holds none of the old icons: puts the icon there
// again, with the current tooltip, if the program wants it.
void RestoreTrayIcon(WindowSession& session) noexcept;

}  // namespace tarrow::win32
