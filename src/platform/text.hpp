#pragma once
// Portable text helpers: UTF-8 / UTF-16 conversion and lower-casing, shared by
// the logic and the backends.

#include <string>
#include <string_view>

namespace tarrow {

// Invalid sequences become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view utf8);
// Unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view utf16);

// Lower-cases one UTF-16 unit by the Unicode simple lower-case mapping, as the
// system's CharLowerW does; units without one are returned unchanged. Sorting,
// search, favourites and the settings all lower-case through this.
char16_t LowerUnit(char16_t unit);
std::u16string LowerText(std::u16string_view text);

// Convenience for literals in logs and messages.
inline std::u16string Ascii(std::string_view text) {
    return std::u16string(text.begin(), text.end());
}

}  // namespace tarrow
