#pragma once
// The keys of the US layout that hotkeys use, shared by the X keysym table and
// the terminal key decoder.

#include <array>
#include <cstdint>
#include <string_view>

#include "platform/virtual_keys.hpp"

// X's keysym values are plain numbers; this header defines no clashing macros.
#include <X11/keysym.h>

namespace tarrow {

// The punctuation keys of the US layout: virtual key, keysym, plain and shifted character.
struct PunctuationKey {
    uint8_t virtualKey;
    unsigned long keysym;
    char plain;
    char shifted;
};
inline constexpr std::array<PunctuationKey, 11> kPunctuation = {{
    {kVkOem1, XK_semicolon, ';', ':'},
    {kVkOemPlus, XK_equal, '=', '+'},
    {kVkOemComma, XK_comma, ',', '<'},
    {kVkOemMinus, XK_minus, '-', '_'},
    {kVkOemPeriod, XK_period, '.', '>'},
    {kVkOem2, XK_slash, '/', '?'},
    {kVkOem3, XK_grave, '`', '~'},
    {kVkOem4, XK_bracketleft, '[', '{'},
    {kVkOem5, XK_backslash, '\\', '|'},
    {kVkOem6, XK_bracketright, ']', '}'},
    {kVkOem7, XK_apostrophe, '\'', '"'},
}};

// Shifted digits of the US layout, '0' first.
inline constexpr std::string_view kShiftedDigits = ")!@#$%^&*(";

}  // namespace tarrow
