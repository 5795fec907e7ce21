// Decoding terminal input into the virtual keys it stands for (the US layout).

#include "platform/linux/terminal/terminal_keys.hpp"

#include <cstdio>

#include "platform/linux/keys/us_keys.hpp"

namespace tarrow {

namespace {

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

}  // namespace tarrow
