#pragma once
// The shifted symbols of the keyboard a Wayland compositor gives its clients,
// for writing shortcut triggers the way the compositor matches a press.

#include <string_view>

#include "platform/linux/bus/portal_messages.hpp"

namespace tarrow {

// Reads the keymap of the compositor named by WAYLAND_DISPLAY (waiting two
// seconds at most). Empty when there is none, or it gives no keymap.
ShiftedKeysymLookup WaylandShiftedKeysyms();

// The shifted symbols of a keymap in the XKB text form a compositor sends,
// by the symbol each key gives without modifiers (letters, which keep Shift as
// a modifier, have none); empty when it does not compile.
ShiftedKeysymLookup ShiftedKeysymsOfKeymap(std::string_view keymapText);

// The same for a layout such as "us" or "de", compiled from the system's XKB data.
ShiftedKeysymLookup ShiftedKeysymsOfLayout(const char* layout);

}  // namespace tarrow
