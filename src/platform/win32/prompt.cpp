// The one-line input prompt: a small modal window of standard controls
// (STATIC, EDIT, BUTTON), so screen readers read it like any dialog.

#include "platform/win32/windows_api.hpp"

#include <cmath>
#include <string>

#include "platform/win32/handles.hpp"
#include "platform/win32/wide.hpp"
#include "platform/win32/win32_platform.hpp"
#include "platform/win32/window_proc.hpp"
#include "platform/win32/window_session.hpp"

namespace tarrow {

namespace {

constexpr wchar_t kPromptClassName[] = L"TarrowDeskPrompt";
constexpr int kEditId = 100;

// Layout in units of 1/96 inch.
struct Box {
    int x, y, width, height;
};
constexpr Box kWindowSize{0, 0, 500, 140};
constexpr Box kLabel{10, 10, 480, 22};
constexpr Box kEdit{10, 32, 465, 21};
constexpr Box kButton{210, 67, 80, 25};

struct PromptState {
    bool done = false;
    std::u16string result;
};

std::u16string WindowText(HWND window) {
    const int length = GetWindowTextLengthW(window);
    if (length <= 0) return {};
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<size_t>(copied > 0 ? copied : 0));
    return win32::FromWide(text);
}

void Finish(HWND window, PromptState& state, bool accepted) {
    if (state.done) return;
    try {
        if (accepted) state.result = WindowText(GetDlgItem(window, kEditId));
    } catch (...) {
        state.result.clear();
    }
    state.done = true;
}

LRESULT HandlePrompt(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                     PromptState& state) noexcept {
    switch (message) {
        case DM_GETDEFID:
            return MAKELRESULT(IDOK, DC_HASDEFID);
        case WM_COMMAND:
            // Enter and the OK button give IDOK; Escape gives IDCANCEL.
            if (LOWORD(wParam) == IDOK) {
                Finish(window, state, true);
                return 0;
            }
            if (LOWORD(wParam) == IDCANCEL) {
                Finish(window, state, false);
                return 0;
            }
            break;
        case WM_CLOSE:
            Finish(window, state, false);
            return 0;
        default:
            break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

int Scale(int units, double scale) { return static_cast<int>(std::lround(units * scale)); }

HWND AddControl(HWND parent, const wchar_t* className, const std::wstring& text, DWORD style,
                const Box& box, int id, const win32::WindowSession& session, HFONT font) {
    const HWND control = CreateWindowExW(
        className == std::wstring_view(L"EDIT") ? WS_EX_CLIENTEDGE : 0, className, text.c_str(),
        WS_CHILD | WS_VISIBLE | style, Scale(box.x, session.scaleX), Scale(box.y, session.scaleY),
        Scale(box.width, session.scaleX), Scale(box.height, session.scaleY), parent,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), session.instance, nullptr);
    if (control != nullptr && font != nullptr) {
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }
    return control;
}

win32::UniqueGdiObject MessageFont() {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) return {};
    return win32::UniqueGdiObject(CreateFontIndirectW(&metrics.lfMessageFont));
}

}  // namespace

std::u16string Win32Platform::PromptText(std::u16string_view title, std::u16string_view prompt,
                                         std::u16string_view defaultText) {
    const win32::WindowSession& session = *window_;
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    if (!GetClassInfoExW(session.instance, kPromptClassName, &windowClass)) {
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = win32::BoundWindowProc<PromptState, HandlePrompt>;
        windowClass.hInstance = session.instance;
        windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        windowClass.lpszClassName = kPromptClassName;
        if (RegisterClassExW(&windowClass) == 0) return {};
    }

    // Declared before the window, so it goes after the controls that use it.
    const win32::UniqueGdiObject font = MessageFont();
    const auto hfont = static_cast<HFONT>(font.get());
    PromptState state;
    const int width = Scale(kWindowSize.width, session.scaleX);
    const int height = Scale(kWindowSize.height, session.scaleY);
    const int left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    const int top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    const std::wstring caption = win32::ToWide(title);
    win32::UniqueWindow window(CreateWindowExW(
        WS_EX_DLGMODALFRAME, kPromptClassName, caption.c_str(),
        WS_POPUP | WS_CAPTION | WS_SYSMENU, left, top, width, height, nullptr, nullptr,
        session.instance, &state));
    if (!window) return {};

    AddControl(window.get(), L"STATIC", win32::ToWide(prompt), SS_LEFT | SS_NOPREFIX, kLabel, -1,
               session, hfont);
    const HWND edit = AddControl(window.get(), L"EDIT", win32::ToWide(defaultText),
                                 WS_TABSTOP | ES_AUTOHSCROLL, kEdit, kEditId, session, hfont);
    AddControl(window.get(), L"BUTTON", L"OK", WS_TABSTOP | BS_DEFPUSHBUTTON, kButton, IDOK,
               session, hfont);

    ShowWindow(window.get(), SW_SHOW);
    SetForegroundWindow(window.get());
    if (edit != nullptr) {
        SetFocus(edit);
        // The caret after the default text, nothing selected.
        const auto end = static_cast<WPARAM>(GetWindowTextLengthW(edit));
        SendMessageW(edit, EM_SETSEL, end, static_cast<LPARAM>(end));
    }

    MSG msg{};
    while (!state.done) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            // Someone asked the thread to quit: pass that on to the outer loop.
            PostQuitMessage(static_cast<int>(msg.wParam));
            state.result.clear();
            break;
        }
        if (got < 0) break;
        if (!IsDialogMessageW(window.get(), &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    return state.done ? state.result : std::u16string();
}

}  // namespace tarrow
