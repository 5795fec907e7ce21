#pragma once
// The global hotkeys: the row each one has in the hotkey table, modifier
// parsing and registration.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/platform_services.hpp"

namespace tarrow {

struct Application;  // what the actions run on; the table itself lives with it

inline constexpr int kExitHotkeyId = 0;

// One row of the hotkey table: everything registration, dispatch and the
// terminal legend know of a hotkey.
struct HotkeyAction {
    int id = 0;
    uint8_t usKey = 0;     // its key on the US and Polish layouts
    uint8_t otherKey = 0;  // its key on every other layout
    std::u16string_view failureMessage;  // without the exit suffix
    std::u16string_view label;           // its short name in a key legend
    void (*action)(Application&) = nullptr;  // none for exit: the loop ends itself

    uint8_t KeyOn(std::u16string_view layoutName) const {
        return layoutName == u"00000409" || layoutName == u"00000415" ? usKey : otherKey;
    }
    bool Fatal() const { return id == kExitHotkeyId; }
};

// Indexed by id (the table itself and its size: kHotkeys, kHotkeyCount).
using HotkeyTable = std::span<const HotkeyAction>;

// Whether every row stands at its id, so that the table can be indexed by id.
constexpr bool EveryRowHasItsOwnId(HotkeyTable table) {
    for (size_t i = 0; i < table.size(); ++i)
        if (table[i].id < 0 || static_cast<size_t>(table[i].id) != i) return false;
    return !table.empty() && table[kExitHotkeyId].action == nullptr;
}

extern const std::u16string_view kExitSuffix;

// Turns the modifier text into RegisterHotKey flags; an empty text is first
// replaced (in memory) by "control+alt+shift".
int64_t ParseModifiers(std::u16string& modifier);

// Registers every hotkey of the table, showing a box for each failure. Returns
// false when the exit hotkey failed: its box was shown and the program must end.
bool RegisterAllHotkeys(Keyboard& keyboard, Dialogs& dialogs, std::u16string& modifier,
                        HotkeyTable table);

}  // namespace tarrow
