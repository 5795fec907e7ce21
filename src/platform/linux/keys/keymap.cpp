// Key and modifier translations for the X11 front end.

#include "platform/linux/keys/keymap.hpp"

#include "platform/linux/keys/us_keys.hpp"
#include "platform/platform_services.hpp"

// Last: X.h defines macros (None, Bool...) that clash with our names.
#include <X11/X.h>

namespace tarrow {

unsigned long KeysymForVirtualKey(uint8_t virtualKey, std::u16string_view layoutName) {
    if (layoutName == u"00000809") {
        // The UK keyboard: its grave key is VK_OEM_8, the apostrophe key VK_OEM_3
        // and the hash key VK_OEM_7, so the hotkeys keep the keys they have on US.
        switch (virtualKey) {
            case kVkOem8: return XK_grave;
            case kVkOem3: return XK_apostrophe;
            case kVkOem7: return XK_numbersign;
            default: break;
        }
    }
    if ((virtualKey >= 'A' && virtualKey <= 'Z') || (virtualKey >= '0' && virtualKey <= '9')) {
        // Letter keysyms are the lower-case ASCII codes; digits are their own.
        return virtualKey >= 'A' ? static_cast<unsigned long>(virtualKey - 'A' + XK_a)
                                 : static_cast<unsigned long>(virtualKey);
    }
    if (virtualKey >= kVkF1 && virtualKey <= kVkF8) return XK_F1 + (virtualKey - kVkF1);
    switch (virtualKey) {
        case kVkBack: return XK_BackSpace;
        case kVkSpace: return XK_space;
        case kVkDelete: return XK_Delete;
        default: break;
    }
    for (const auto& key : kPunctuation) {
        if (key.virtualKey == virtualKey) return key.keysym;
    }
    return NoSymbol;
}

unsigned XModifierMask(uint32_t modifiers) {
    unsigned mask = 0;
    if (modifiers & kModAlt) mask |= Mod1Mask;
    if (modifiers & kModControl) mask |= ControlMask;
    if (modifiers & kModShift) mask |= ShiftMask;
    if (modifiers & kModWin) mask |= Mod4Mask;
    return mask;
}

}  // namespace tarrow
