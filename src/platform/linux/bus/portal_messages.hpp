#pragma once
// The messages of the desktop portal's global shortcuts, apart from the bus
// traffic: the shortcuts we ask for, the answers read back, the text of a
// key's trigger and the ids we accept.

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "platform/platform_services.hpp"

typedef struct sd_bus_message sd_bus_message;  // <systemd/sd-bus.h>

namespace tarrow {

// What a Request's Response carried.
struct PortalAnswer {
    bool arrived = false;
    uint32_t code = 2;  // 0 granted, 1 cancelled by the user, 2 ended otherwise
    std::string sessionHandle;
    std::set<int> boundIds;
};

// The hotkey id a shortcut id names: exactly the decimal text we send (one or
// two digits, as "0" or "29"); anything else (leading zeros, signs, spaces)
// names none. Whether we asked for that id is the caller's to check.
std::optional<int> ShortcutNumber(std::string_view text);

// The trigger a portal is asked for, for example "CTRL+ALT+SHIFT+q". A key
// whose symbol changes with Shift is written with the shifted symbol when the
// modifier holds Shift ("CTRL+ALT+braceright" for ]): desktops that match
// presses by symbol see Shift used up by it. shiftedKeysym gives that symbol
// for a plain one (0: none known). Empty when the key has no keysym here.
using ShiftedKeysymLookup = std::function<unsigned long(unsigned long keysym)>;
std::string PreferredTrigger(uint32_t modifiers, uint8_t virtualKey,
                             std::u16string_view layoutName,
                             const ShiftedKeysymLookup& shiftedKeysym);
// The shifted symbol of a key of the US layout (digits and punctuation), or 0.
unsigned long UsShiftedKeysym(unsigned long keysym);

// Reads a Response's (ua{sv}): the code, "session_handle" and "shortcuts".
int ReadResponse(sd_bus_message* message, PortalAnswer& answer);

// Appends an a{sv} of string values.
int AppendOptions(sd_bus_message* message,
                  std::initializer_list<std::pair<const char*, std::string>> options);
// Appends the shortcuts' a(sa{sv}): id, description and preferred trigger.
int AppendShortcuts(sd_bus_message* message, std::span<const HotkeyRequest> hotkeys,
                    std::u16string_view layoutName, const ShiftedKeysymLookup& shiftedKeysym);

}  // namespace tarrow
