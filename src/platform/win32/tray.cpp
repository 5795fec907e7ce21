// The tray icon, its tooltip and its one-item menu.

#include "platform/win32/windows_api.hpp"
#include <shellapi.h>

#include <algorithm>
#include <vector>

#include "platform/win32/wide.hpp"
#include "platform/win32/win32_platform.hpp"
#include "platform/win32/window_session.hpp"

namespace tarrow {

namespace win32 {

namespace {

constexpr int kImageWidth = 600;
constexpr int kImageHeight = 400;

// The icon image: 600 x 400, 24-bit, black, made into an icon of the size the
// notification area shows (the shell would scale it down anyway).
UniqueIcon MakeBlackIcon() {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = kImageWidth;
    info.bmiHeader.biHeight = kImageHeight;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    // A new DIB section is zero-filled: black.
    UniqueGdiObject color(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    // Monochrome rows are padded to 16 bits; an all-zero mask keeps every pixel opaque.
    const std::vector<BYTE> maskBits(static_cast<size_t>((kImageWidth + 15) / 16 * 2) *
                                     kImageHeight);
    UniqueGdiObject mask(CreateBitmap(kImageWidth, kImageHeight, 1, 1, maskBits.data()));
    if (!color || !mask) return {};
    ICONINFO iconInfo{};
    iconInfo.fIcon = TRUE;
    iconInfo.hbmMask = static_cast<HBITMAP>(mask.get());
    iconInfo.hbmColor = static_cast<HBITMAP>(color.get());
    UniqueIcon full(CreateIconIndirect(&iconInfo));
    if (!full) return {};
    UniqueIcon small(static_cast<HICON>(CopyImage(full.get(), IMAGE_ICON,
                                                  GetSystemMetrics(SM_CXSMICON),
                                                  GetSystemMetrics(SM_CYSMICON), 0)));
    return small ? std::move(small) : std::move(full);
}

NOTIFYICONDATAW IconData(const WindowSession& session) {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = session.hidden.get();
    data.uID = kTrayIconId;
    return data;
}

// The whole icon: image, callback and the kept tooltip.
NOTIFYICONDATAW FullIconData(const WindowSession& session) {
    NOTIFYICONDATAW data = IconData(session);
    data.uFlags = NIF_ICON | NIF_MESSAGE | NIF_TIP;
    data.uCallbackMessage = kTrayCallbackMessage;
    data.hIcon = session.trayImage.get();
    std::copy(std::begin(session.trayTip), std::end(session.trayTip), data.szTip);
    return data;
}

}  // namespace

void FillTooltip(wchar_t (&field)[128], std::u16string_view tooltip) noexcept {
    const size_t units = std::min(tooltip.size(), kTooltipUnits);
    std::copy_n(tooltip.begin(), units, field);
    field[units] = L'\0';
}

void ShowTrayMenu(WindowSession& session) noexcept {
    if (!session.trayMenu) return;
    const HWND window = session.hidden.get();
    // Without the foreground the menu would not close when the user clicks elsewhere.
    SetForegroundWindow(window);
    POINT cursor{};
    GetCursorPos(&cursor);
    TrackPopupMenu(session.trayMenu.get(), TPM_BOTTOMALIGN | TPM_RIGHTBUTTON, cursor.x,
                   cursor.y, 0, window, nullptr);
    PostMessageW(window, WM_NULL, 0, 0);
}

void DeleteTrayIcon(WindowSession& session) noexcept {
    // No longer wanted either, so a later taskbar does not bring it back.
    session.trayWanted = false;
    if (!session.trayAdded) return;
    NOTIFYICONDATAW data = IconData(session);
    Shell_NotifyIconW(NIM_DELETE, &data);
    session.trayAdded = false;
}

void RestoreTrayIcon(WindowSession& session) noexcept {
    if (!session.trayWanted || !session.hidden) return;
    NOTIFYICONDATAW data = FullIconData(session);
    // The message also comes while the old icon is still there (a taskbar
    // rebuilt in place): then the add fails and the icon is brought up to date.
    session.trayAdded = Shell_NotifyIconW(NIM_ADD, &data) != FALSE ||
                        Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
}

}  // namespace win32

void Win32Platform::AddTrayIcon(std::u16string_view tooltip) {
    win32::WindowSession& session = *window_;
    if (!session.hidden || session.trayWanted) return;
    if (!session.trayImage) session.trayImage = win32::MakeBlackIcon();
    win32::FillTooltip(session.trayTip, tooltip);
    // Wanted even if the shell refuses it now: a program started at sign-in
    // can come before the taskbar, whose "TaskbarCreated" then brings the icon.
    session.trayWanted = true;
    NOTIFYICONDATAW data = win32::FullIconData(session);
    session.trayAdded = Shell_NotifyIconW(NIM_ADD, &data) != FALSE;
}

void Win32Platform::SetTrayTooltip(std::u16string_view tooltip) {
    win32::WindowSession& session = *window_;
    if (!session.trayWanted) return;
    win32::FillTooltip(session.trayTip, tooltip);
    if (!session.trayAdded) return;
    NOTIFYICONDATAW data = win32::IconData(session);
    data.uFlags = NIF_TIP;
    std::copy(std::begin(session.trayTip), std::end(session.trayTip), data.szTip);
    Shell_NotifyIconW(NIM_MODIFY, &data);
}

void Win32Platform::RemoveTrayIcon() { win32::DeleteTrayIcon(*window_); }

void Win32Platform::CreateTrayMenu(int64_t itemId, std::u16string_view text) {
    win32::WindowSession& session = *window_;
    if (session.trayMenu) return;
    win32::UniqueMenu menu(CreatePopupMenu());
    if (!menu) return;
    const std::wstring label = win32::ToWide(text);
    if (!AppendMenuW(menu.get(), MF_STRING, static_cast<UINT_PTR>(itemId), label.c_str())) return;
    session.trayMenu = std::move(menu);
}

}  // namespace tarrow
