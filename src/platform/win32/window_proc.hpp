#pragma once
// A window procedure bound to the state its window was created with.

#include "platform/win32/windows_api.hpp"

namespace tarrow::win32 {

// The state pointer passed as CreateWindowExW's last argument is kept with the
// window at WM_NCCREATE; from then on Handle answers every message with it.
// Before that, and for a window without state, the default procedure answers.
template <typename State, LRESULT (*Handle)(HWND, UINT, WPARAM, LPARAM, State&) noexcept>
LRESULT CALLBACK BoundWindowProc(HWND window, UINT message, WPARAM wParam,
                                 LPARAM lParam) noexcept {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        return DefWindowProcW(window, message, wParam, lParam);
    }
    auto* state = reinterpret_cast<State*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (state == nullptr) return DefWindowProcW(window, message, wParam, lParam);
    return Handle(window, message, wParam, lParam, *state);
}

}  // namespace tarrow::win32
