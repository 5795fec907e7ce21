// Reading and writing the global shortcuts portal's messages.

#include "platform/linux/bus/portal_messages.hpp"

#include <systemd/sd-bus.h>

#include "platform/linux/keys/keymap.hpp"
#include "platform/linux/keys/us_keys.hpp"
#include "platform/text.hpp"

// Last: Xlib's macros (None, Bool...) clash with the program's own names.
#include <X11/Xlib.h>

namespace tarrow {

namespace {

// Reads the shortcuts of an answer: a(sa{sv}), the ids we keep.
int ReadShortcuts(sd_bus_message* message, std::set<int>& ids) {
    int r = sd_bus_message_enter_container(message, 'a', "(sa{sv})");
    if (r < 0) return r;
    while ((r = sd_bus_message_enter_container(message, 'r', "sa{sv}")) > 0) {
        const char* id = nullptr;
        if ((r = sd_bus_message_read(message, "s", &id)) < 0) return r;
        if (const auto number = ShortcutNumber(id)) ids.insert(*number);
        if ((r = sd_bus_message_skip(message, "a{sv}")) < 0) return r;
        if ((r = sd_bus_message_exit_container(message)) < 0) return r;
    }
    if (r < 0) return r;
    return sd_bus_message_exit_container(message);
}

}  // namespace

std::optional<int> ShortcutNumber(std::string_view text) {
    // Only the text we send: one or two digits, no leading zero.
    if (text.empty() || text.size() > 2) return std::nullopt;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
    }
    if (text.size() == 2 && text[0] == '0') return std::nullopt;
    return text.size() == 1 ? text[0] - '0' : (text[0] - '0') * 10 + (text[1] - '0');
}

unsigned long UsShiftedKeysym(unsigned long keysym) {
    // The keysyms of printable ASCII are the characters' own codes.
    if (keysym >= '0' && keysym <= '9') {
        return static_cast<unsigned char>(kShiftedDigits[keysym - '0']);
    }
    for (const auto& key : kPunctuation) {
        if (key.keysym == keysym) return static_cast<unsigned char>(key.shifted);
    }
    return 0;
}

std::string PreferredTrigger(uint32_t modifiers, uint8_t virtualKey,
                             std::u16string_view layoutName,
                             const ShiftedKeysymLookup& shiftedKeysym) {
    unsigned long keysym = KeysymForVirtualKey(virtualKey, layoutName);
    if (keysym == 0) return {};
    bool shiftUsed = false;
    if ((modifiers & kModShift) && shiftedKeysym) {
        if (const unsigned long shifted = shiftedKeysym(keysym); shifted != 0 && shifted != keysym) {
            keysym = shifted;
            shiftUsed = true;
        }
    }
    const char* keyName = XKeysymToString(keysym);
    if (keyName == nullptr) return {};
    std::string trigger;
    if (modifiers & kModControl) trigger += "CTRL+";
    if (modifiers & kModAlt) trigger += "ALT+";
    if ((modifiers & kModShift) && !shiftUsed) trigger += "SHIFT+";
    if (modifiers & kModWin) trigger += "LOGO+";
    return trigger + keyName;
}

int ReadResponse(sd_bus_message* message, PortalAnswer& answer) {
    int r = sd_bus_message_read(message, "u", &answer.code);
    if (r < 0) return r;
    if ((r = sd_bus_message_enter_container(message, 'a', "{sv}")) < 0) return r;
    while ((r = sd_bus_message_enter_container(message, 'e', "sv")) > 0) {
        const char* key = nullptr;
        if ((r = sd_bus_message_read(message, "s", &key)) < 0) return r;
        const std::string_view name(key);
        char type = 0;
        const char* contents = nullptr;
        if ((r = sd_bus_message_peek_type(message, &type, &contents)) < 0) return r;
        const std::string_view inner(contents ? contents : "");
        if (name == "session_handle" && (inner == "s" || inner == "o")) {
            // Portals give it as a string; the documents once said an object path.
            const char* handle = nullptr;
            if ((r = sd_bus_message_enter_container(message, 'v', contents)) < 0) return r;
            if ((r = sd_bus_message_read_basic(message, inner[0], &handle)) < 0) return r;
            answer.sessionHandle = handle;
            if ((r = sd_bus_message_exit_container(message)) < 0) return r;
        } else if (name == "shortcuts" && inner == "a(sa{sv})") {
            if ((r = sd_bus_message_enter_container(message, 'v', contents)) < 0) return r;
            if ((r = ReadShortcuts(message, answer.boundIds)) < 0) return r;
            if ((r = sd_bus_message_exit_container(message)) < 0) return r;
        } else if ((r = sd_bus_message_skip(message, "v")) < 0) {
            return r;
        }
        if ((r = sd_bus_message_exit_container(message)) < 0) return r;
    }
    return r;
}

int AppendOptions(sd_bus_message* message,
                  std::initializer_list<std::pair<const char*, std::string>> options) {
    int r = sd_bus_message_open_container(message, 'a', "{sv}");
    for (const auto& [key, value] : options) {
        if (r >= 0) r = sd_bus_message_append(message, "{sv}", key, "s", value.c_str());
    }
    return r < 0 ? r : sd_bus_message_close_container(message);
}

int AppendShortcuts(sd_bus_message* message, std::span<const HotkeyRequest> hotkeys,
                    std::u16string_view layoutName,
                    const ShiftedKeysymLookup& shiftedKeysym) {
    int r = sd_bus_message_open_container(message, 'a', "(sa{sv})");
    for (const HotkeyRequest& hotkey : hotkeys) {
        if (r < 0) break;
        const std::string trigger =
            PreferredTrigger(hotkey.modifiers, hotkey.virtualKey, layoutName, shiftedKeysym);
        const std::string description = Utf16ToUtf8(hotkey.label);
        r = sd_bus_message_open_container(message, 'r', "sa{sv}");
        if (r >= 0) r = sd_bus_message_append(message, "s", std::to_string(hotkey.id).c_str());
        if (r >= 0) {
            r = trigger.empty() ? AppendOptions(message, {{"description", description}})
                                : AppendOptions(message, {{"description", description},
                                                          {"preferred_trigger", trigger}});
        }
        if (r >= 0) r = sd_bus_message_close_container(message);
    }
    return r < 0 ? r : sd_bus_message_close_container(message);
}

}  // namespace tarrow
