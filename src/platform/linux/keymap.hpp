#pragma once
// Pure translations between the program's Windows key and modifier codes and
// what X11 and a terminal use, kept apart from Xlib so they are tested alone.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarrow {

// The X keysym of the key a Windows virtual-key code names on the given Windows
// layout, or 0 (NoSymbol) when the code has no key we grab. The United Kingdom
// layout ("00000809") moves three punctuation keys; every other layout is read
// as US, where VK_OEM_8 (0xDF) has no key, so its hotkey fails to register.
unsigned long KeysymForVirtualKey(uint8_t virtualKey,
                                  std::u16string_view layoutName = u"00000409");

// kModAlt/kModControl/kModShift/kModWin -> Mod1/Control/Shift/Mod4.
unsigned XModifierMask(uint32_t modifiers);

// The Windows layout name for an XKB layout such as "us", "gb" or "de(nodeadkeys)";
// unknown layouts give "00000409".
std::u16string WindowsLayoutName(std::string_view xkbLayout);

// The layout of the given group from the _XKB_RULES_NAMES root property
// (rules, model, layouts, variants, options; NUL-separated); empty when absent.
std::string LayoutFromRulesNames(std::string_view property, int group);

// The layout of the given group from an XKB symbols name such as
// "pc+us+pl:2+inet(evdev)"; empty when none is recognised.
std::string LayoutFromSymbolsName(std::string_view symbols, int group);

// Terminal mode: the virtual keys a chunk of terminal input stands for, in
// order. Letters of either case, digits, the punctuation keys with or without
// Shift, Space, Backspace, Delete and F1..F8 are recognised; the rest is skipped.
std::vector<uint8_t> DecodeTerminalKeys(std::string_view bytes);

// How a key is shown in the terminal key legend ("q", "F1", "Space").
std::string TerminalKeyLabel(uint8_t virtualKey);

// Text safe to write to a terminal: control characters (C0, DEL and C1) become
// spaces, so nothing in it can start an escape sequence.
std::string TerminalSafe(std::string_view utf8);

std::string Base64(std::string_view bytes);

}  // namespace tarrow
