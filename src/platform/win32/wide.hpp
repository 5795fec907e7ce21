#pragma once
// UTF-16 at the edge: the logic holds std::u16string, the Windows API takes
// wchar_t, and both are 16-bit units here, so conversion is a unit-wise copy.

#include <string>
#include <string_view>

namespace tarrow::win32 {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wchar_t holds UTF-16 units");

inline std::wstring ToWide(std::u16string_view text) {
    return std::wstring(text.begin(), text.end());
}

inline std::u16string FromWide(std::wstring_view text) {
    return std::u16string(text.begin(), text.end());
}

}  // namespace tarrow::win32
