#pragma once
// Pure translations between the program's Windows key and modifier codes and
// X11's, kept apart from Xlib so they are tested alone.

#include <cstdint>
#include <string_view>

namespace tarrow {

// The X keysym of the key a Windows virtual-key code names on the given Windows
// layout, or 0 (NoSymbol) when the code has no key we grab. The United Kingdom
// layout ("00000809") moves three punctuation keys; every other layout is read
// as US, where VK_OEM_8 (0xDF) has no key, so its hotkey fails to register.
unsigned long KeysymForVirtualKey(uint8_t virtualKey,
                                  std::u16string_view layoutName = u"00000409");

// kModAlt/kModControl/kModShift/kModWin -> Mod1/Control/Shift/Mod4.
unsigned XModifierMask(uint32_t modifiers);

}  // namespace tarrow
