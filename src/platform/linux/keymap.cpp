// Key, modifier and layout translations for the X11 and terminal front ends.

#include "platform/linux/keymap.hpp"

#include <array>
#include <cstdio>
#include <utility>

#include "platform/platform_services.hpp"
#include "platform/virtual_keys.hpp"

// Last: X.h defines macros (None, Bool...) that clash with our names.
#include <X11/X.h>
#include <X11/keysym.h>

namespace tarrow {

namespace {

// The punctuation keys of the US layout: virtual key, keysym, plain and shifted character.
struct PunctuationKey {
    uint8_t virtualKey;
    unsigned long keysym;
    char plain;
    char shifted;
};
constexpr std::array<PunctuationKey, 11> kPunctuation = {{
    {kVkOem1, XK_semicolon, ';', ':'},
    {kVkOemPlus, XK_equal, '=', '+'},
    {kVkOemComma, XK_comma, ',', '<'},
    {kVkOemMinus, XK_minus, '-', '_'},
    {kVkOemPeriod, XK_period, '.', '>'},
    {kVkOem2, XK_slash, '/', '?'},
    {kVkOem3, XK_grave, '`', '~'},
    {kVkOem4, XK_bracketleft, '[', '{'},
    {kVkOem5, XK_backslash, '\\', '|'},
    {kVkOem6, XK_bracketright, ']', '}'},
    {kVkOem7, XK_apostrophe, '\'', '"'},
}};

// Shifted digits of the US layout, '0' first.
constexpr std::string_view kShiftedDigits = ")!@#$%^&*(";

// Windows keyboard layout identifiers of the XKB layouts we know.
constexpr std::array<std::pair<std::string_view, std::u16string_view>, 27> kLayouts = {{
    {"us", u"00000409"}, {"gb", u"00000809"}, {"pl", u"00000415"}, {"de", u"00000407"},
    {"fr", u"0000040C"}, {"es", u"0000040A"}, {"it", u"00000410"}, {"pt", u"00000816"},
    {"br", u"00000416"}, {"ru", u"00000419"}, {"ua", u"00000422"}, {"cz", u"00000405"},
    {"sk", u"0000041B"}, {"hu", u"0000040E"}, {"se", u"0000041D"}, {"no", u"00000414"},
    {"dk", u"00000406"}, {"fi", u"0000040B"}, {"nl", u"00000413"}, {"be", u"0000080C"},
    {"ch", u"00000807"}, {"tr", u"0000041F"}, {"gr", u"00000408"}, {"il", u"0000040D"},
    {"jp", u"00000411"}, {"ie", u"00001809"}, {"latam", u"0000080A"},
}};

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    while (true) {
        const size_t at = text.find(separator);
        parts.push_back(text.substr(0, at));
        if (at == std::string_view::npos) break;
        text.remove_prefix(at + 1);
    }
    return parts;
}

// "de(nodeadkeys)" -> "de"; surrounding spaces dropped.
std::string_view BaseLayout(std::string_view layout) {
    layout = layout.substr(0, layout.find('('));
    while (!layout.empty() && layout.front() == ' ') layout.remove_prefix(1);
    while (!layout.empty() && layout.back() == ' ') layout.remove_suffix(1);
    return layout;
}

uint8_t VirtualKeyForChar(unsigned char c) {
    if (c >= 'a' && c <= 'z') return static_cast<uint8_t>(c - 'a' + 'A');
    if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return c;
    if (c == ' ') return kVkSpace;
    if (c == 0x7F || c == 0x08) return kVkBack;
    const size_t digit = kShiftedDigits.find(static_cast<char>(c));
    if (c != 0 && digit != std::string_view::npos) return static_cast<uint8_t>('0' + digit);
    for (const auto& key : kPunctuation) {
        if (c == static_cast<unsigned char>(key.plain) ||
            c == static_cast<unsigned char>(key.shifted)) {
            return key.virtualKey;
        }
    }
    return 0;
}

// The key of a finished CSI sequence "ESC [ params final", or 0.
uint8_t VirtualKeyForCsi(std::string_view params, char final) {
    if (final >= 'P' && final <= 'S') return static_cast<uint8_t>(kVkF1 + (final - 'P'));
    if (final != '~') return 0;
    int first = 0;
    for (const char c : params) {
        if (c < '0' || c > '9') break;
        first = first * 10 + (c - '0');
        if (first > 1000) return 0;
    }
    switch (first) {
        case 3: return kVkDelete;
        case 11: case 12: case 13: case 14: case 15:
            return static_cast<uint8_t>(kVkF1 + (first - 11));
        case 17: case 18: case 19:
            return static_cast<uint8_t>(kVkF1 + 5 + (first - 17));
        default: return 0;
    }
}

}  // namespace

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

std::u16string WindowsLayoutName(std::string_view xkbLayout) {
    std::string base(BaseLayout(xkbLayout));
    for (char& c : base) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    for (const auto& [name, windowsName] : kLayouts) {
        if (name == base) return std::u16string(windowsName);
    }
    return u"00000409";
}

std::string LayoutFromRulesNames(std::string_view property, int group) {
    const auto fields = Split(property, '\0');
    if (fields.size() < 3) return {};
    const auto layouts = Split(fields[2], ',');
    const size_t index =
        group >= 0 && static_cast<size_t>(group) < layouts.size() ? static_cast<size_t>(group) : 0;
    return std::string(BaseLayout(layouts[index]));
}

std::string LayoutFromSymbolsName(std::string_view symbols, int group) {
    std::string first;
    int position = 0;
    for (std::string_view part : Split(symbols, '+')) {
        int partGroup = position;
        const size_t colon = part.find(':');
        if (colon != std::string_view::npos) {
            partGroup = 0;
            for (const char c : part.substr(colon + 1)) {
                if (c < '0' || c > '9' || partGroup > 4) break;
                partGroup = partGroup * 10 + (c - '0');
            }
            partGroup -= 1;
            part = part.substr(0, colon);
        }
        const std::string_view base = BaseLayout(part);
        // Layouts are country codes (or "latam"); "pc", "inet", "group"... are not.
        bool lettersOnly = !base.empty();
        for (const char c : base) lettersOnly = lettersOnly && c >= 'a' && c <= 'z';
        const bool isLayout = lettersOnly && base != "pc" &&
                              (base.size() == 2 || base.size() == 3 || base == "latam");
        if (!isLayout) continue;
        if (first.empty()) first = std::string(base);
        if (partGroup == group) return std::string(base);
        ++position;
    }
    return first;
}

std::vector<uint8_t> DecodeTerminalKeys(std::string_view bytes) {
    std::vector<uint8_t> keys;
    size_t i = 0;
    while (i < bytes.size()) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c != 0x1B) {
            if (const uint8_t key = VirtualKeyForChar(c)) keys.push_back(key);
            ++i;
            continue;
        }
        if (i + 1 >= bytes.size()) break;  // a lone Escape
        const char kind = bytes[i + 1];
        if (kind == 'O') {  // SS3: F1..F4 on most terminals
            if (i + 2 < bytes.size() && bytes[i + 2] >= 'P' && bytes[i + 2] <= 'S') {
                keys.push_back(static_cast<uint8_t>(kVkF1 + (bytes[i + 2] - 'P')));
            }
            i += 3;
        } else if (kind == '[' && i + 2 < bytes.size() && bytes[i + 2] == '[') {
            // The Linux console's F1..F5: ESC [ [ A..E.
            if (i + 3 < bytes.size() && bytes[i + 3] >= 'A' && bytes[i + 3] <= 'E') {
                keys.push_back(static_cast<uint8_t>(kVkF1 + (bytes[i + 3] - 'A')));
            }
            i += 4;
        } else if (kind == '[') {
            size_t end = i + 2;
            while (end < bytes.size() && (static_cast<unsigned char>(bytes[end]) < 0x40 ||
                                          static_cast<unsigned char>(bytes[end]) > 0x7E)) {
                ++end;
            }
            if (end >= bytes.size()) break;  // cut off: nothing complete left
            if (const uint8_t key =
                    VirtualKeyForCsi(bytes.substr(i + 2, end - i - 2), bytes[end])) {
                keys.push_back(key);
            }
            i = end + 1;
        } else {
            i += 2;  // Alt with a key is not the bare key
        }
    }
    return keys;
}

std::string TerminalKeyLabel(uint8_t virtualKey) {
    if (virtualKey >= 'A' && virtualKey <= 'Z') return std::string(1, char(virtualKey - 'A' + 'a'));
    if (virtualKey >= '0' && virtualKey <= '9') return std::string(1, char(virtualKey));
    if (virtualKey >= kVkF1 && virtualKey <= kVkF8) return "F" + std::to_string(virtualKey - kVkF1 + 1);
    if (virtualKey == kVkSpace) return "Space";
    if (virtualKey == kVkBack) return "Backspace";
    if (virtualKey == kVkDelete) return "Delete";
    for (const auto& key : kPunctuation) {
        if (key.virtualKey == virtualKey) return std::string(1, key.plain);
    }
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02X", virtualKey);
    return hex;
}

std::string TerminalSafe(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        const bool c1 = c == 0xC2 && i + 1 < utf8.size() &&
                        static_cast<unsigned char>(utf8[i + 1]) >= 0x80 &&
                        static_cast<unsigned char>(utf8[i + 1]) <= 0x9F;
        if (c1) {
            out.push_back(' ');
            ++i;
        } else {
            out.push_back(c < 0x20 || c == 0x7F ? ' ' : static_cast<char>(c));
        }
    }
    return out;
}

std::string Base64(std::string_view bytes) {
    static constexpr char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (size_t i = 0; i < bytes.size(); i += 3) {
        const size_t n = bytes.size() - i < 3 ? bytes.size() - i : 3;
        uint32_t chunk = 0;
        for (size_t k = 0; k < 3; ++k) {
            chunk = chunk << 8 | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
        }
        for (size_t k = 0; k < 4; ++k) {
            out.push_back(k <= n ? kDigits[(chunk >> (18 - 6 * k)) & 0x3F] : '=');
        }
    }
    return out;
}

}  // namespace tarrow
