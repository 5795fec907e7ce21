#pragma once
// The thirty global hotkeys: modifier parsing, the key table and registration.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/platform_services.hpp"

namespace tarrow {

inline constexpr int kHotkeyCount = 30;
inline constexpr int kExitHotkeyId = 0;

struct HotkeyAction {
    int id = 0;
    uint8_t virtualKey = 0;
    std::u16string_view failureMessage;  // without the exit suffix
    bool fatal = false;
};

// The key table for a keyboard layout name; ids 1 and 8 depend on the layout.
std::array<HotkeyAction, kHotkeyCount> HotkeyTable(std::u16string_view layoutName);

// The order in which the hotkeys are registered.
extern const std::array<int, kHotkeyCount> kRegistrationOrder;

extern const std::u16string_view kExitSuffix;

// Turns the modifier text into RegisterHotKey flags; an empty text is first
// replaced (in memory) by "control+alt+shift".
int64_t ParseModifiers(std::u16string& modifier);

// Registers every hotkey, showing a box for each failure. Returns false when
// the exit hotkey failed: its box was shown and the program must end.
bool RegisterAllHotkeys(PlatformServices& platform, std::u16string& modifier);

}  // namespace tarrow
