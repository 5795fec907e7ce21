#pragma once
// Terminal mode's keys: what typed bytes stand for, and how a key is shown.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarrow {

// Terminal mode: the virtual keys a chunk of terminal input stands for, in
// order. Letters of either case, digits, the punctuation keys with or without
// Shift, Space, Backspace, Delete and F1..F8 are recognised; the rest is skipped.
std::vector<uint8_t> DecodeTerminalKeys(std::string_view bytes);

// How a key is shown in the terminal key legend ("q", "F1", "Space").
std::string TerminalKeyLabel(uint8_t virtualKey);

}  // namespace tarrow
