// The hidden window, the message queue, hotkeys and the keyboard layout.

#include "platform/win32/windows_api.hpp"

#include "platform/win32/wide.hpp"
#include "platform/win32/win32_platform.hpp"
#include "platform/win32/window_proc.hpp"
#include "platform/win32/window_session.hpp"

namespace tarrow {

namespace {

constexpr wchar_t kHiddenClassName[] = L"TarrowDeskHidden";
// QS_ALLINPUT with QS_ALLPOSTMESSAGE.
constexpr DWORD kWakeMask = 0x05FF;

LRESULT HandleHiddenWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                           win32::WindowSession& session) noexcept {
    try {
        if (message == session.taskbarCreatedMessage && message != 0) {
            win32::RestoreTrayIcon(session);
            return 0;
        }
        switch (message) {
            case win32::kTrayCallbackMessage:
                // Only the right-button release does something; left clicks do nothing.
                if (LOWORD(lParam) == WM_RBUTTONUP) win32::ShowTrayMenu(session);
                return 0;
            case WM_COMMAND:
                if (HIWORD(wParam) == 0 && lParam == 0) {
                    session.pending.push_back({EventKind::Menu, LOWORD(wParam)});
                    return 0;
                }
                break;
            case WM_CLOSE:
                // The loop decides; the window stays until the exit closes it.
                session.pending.push_back({EventKind::Close, 0});
                return 0;
            case win32::kExitRequestMessage:
                session.pending.push_back({EventKind::ExitRequest, 0});
                return 0;
            default:
                // WM_HOTKEY lands here only when a modal loop (message box,
                // prompt) dispatched it; it is dropped, as the action was busy.
                break;
        }
    } catch (...) {
        // Out of memory while queueing: the event is lost, the program goes on.
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// The oldest event that the window procedure queued, if any.
bool TakePending(win32::WindowSession& session, Event& event) {
    if (session.pending.empty()) return false;
    event = session.pending.front();
    session.pending.pop_front();
    return true;
}

}  // namespace

Event Win32Platform::WaitEvent(int64_t timeoutMs) {
    win32::WindowSession& session = *window_;
    Event event;
    if (TakePending(session, event)) return event;
    MSG msg{};
    if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE | PM_NOYIELD)) {
        // A message sent by another thread or program is handled inside the
        // peek; what it queued must not wait for the timeout.
        if (TakePending(session, event) || timeoutMs <= 0) return event;
        const DWORD wait = timeoutMs >= static_cast<int64_t>(INFINITE)
                               ? INFINITE - 1
                               : static_cast<DWORD>(timeoutMs);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, wait, kWakeMask);
        if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE | PM_NOYIELD)) {
            TakePending(session, event);
            return event;
        }
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
    if (msg.message == WM_HOTKEY) return {EventKind::Hotkey, static_cast<int64_t>(msg.wParam)};
    // An exit request posted before the window existed or after it closed.
    if (msg.hwnd == nullptr && msg.message == win32::kExitRequestMessage) {
        return {EventKind::ExitRequest, 0};
    }
    return {EventKind::Other, 0};
}

void Win32Platform::PostExitRequest() {
    win32::WindowSession& session = *window_;
    const HWND target = session.postTarget.load();
    if (target == nullptr || !PostMessageW(target, win32::kExitRequestMessage, 0, 0)) {
        PostThreadMessageW(session.mainThreadId, win32::kExitRequestMessage, 0, 0);
    }
}

void Win32Platform::CreateHiddenWindow(std::u16string_view title) {
    win32::WindowSession& session = *window_;
    if (session.hidden) return;
    if (session.windowClass == 0) {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = win32::BoundWindowProc<win32::WindowSession, HandleHiddenWindow>;
        windowClass.hInstance = session.instance;
        windowClass.lpszClassName = kHiddenClassName;
        session.windowClass = RegisterClassExW(&windowClass);
    }
    // Explorer broadcasts it to every top-level window when it makes a new taskbar.
    if (session.taskbarCreatedMessage == 0) {
        session.taskbarCreatedMessage = RegisterWindowMessageW(L"TaskbarCreated");
    }
    const std::wstring caption = win32::ToWide(title);
    // A plain top-level window, never shown: the owner of hotkeys, tray and menu.
    session.hidden.reset(CreateWindowExW(0, kHiddenClassName, caption.c_str(), WS_OVERLAPPEDWINDOW,
                                         CW_USEDEFAULT, CW_USEDEFAULT, 200, 100, nullptr,
                                         nullptr, session.instance, &session));
    session.postTarget.store(session.hidden.get());
}

void Win32Platform::CloseHiddenWindow() {
    win32::WindowSession& session = *window_;
    session.postTarget.store(nullptr);
    // A window can only be destroyed by its own thread; elsewhere it goes with the process.
    if (GetCurrentThreadId() == session.mainThreadId) {
        session.hidden.reset();
    } else {
        session.hidden.release();
    }
}

bool Win32Platform::RegisterHotkey(int id, uint32_t modifiers, uint8_t virtualKey,
                                   std::u16string_view) {
    return RegisterHotKey(window_->hidden.get(), id, modifiers, virtualKey) != FALSE;
}

std::u16string Win32Platform::KeyboardLayoutName() {
    wchar_t name[KL_NAMELENGTH] = {};
    if (!GetKeyboardLayoutNameW(name)) return {};
    return win32::FromWide(name);
}

}  // namespace tarrow
