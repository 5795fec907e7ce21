#pragma once
// The Windows virtual-key codes the hotkeys use: the hotkey table names its keys
// with them and the Linux backend translates them to X keysyms and terminal input.

#include <cstdint>

namespace tarrow {

inline constexpr uint8_t kVkBack = 0x08, kVkSpace = 0x20, kVkDelete = 0x2E, kVkF1 = 0x70,
                         kVkF2 = 0x71, kVkF3 = 0x72, kVkF4 = 0x73, kVkF5 = 0x74,
                         kVkF6 = 0x75, kVkF7 = 0x76, kVkF8 = 0x77, kVkOem1 = 0xBA, kVkOemPlus = 0xBB, kVkOemComma = 0xBC,
                         kVkOemMinus = 0xBD, kVkOemPeriod = 0xBE, kVkOem2 = 0xBF,
                         kVkOem3 = 0xC0, kVkOem4 = 0xDB, kVkOem5 = 0xDC, kVkOem6 = 0xDD,
                         kVkOem7 = 0xDE, kVkOem8 = 0xDF;

}  // namespace tarrow
