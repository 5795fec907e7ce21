// Entry names as the system will see them. Linux and Windows get the same
// rules, so an archive that installs on one installs the same way on the other:
// either slash separates, names Windows would alter or refuse are refused, and
// two names are one file when the program's own lower-casing makes them equal.

#include <array>
#include <cstdint>

#include "platform/text.hpp"
#include "updater/updater.hpp"

namespace tarrow::updater {

namespace {

// The system's own working files beside the program: an archive never names them.
constexpr std::u16string_view kOwnPrefix = u".tarrow-";

// True when `part` is strict UTF-8 (no overlong forms, no surrogates, nothing
// past U+10FFFF) without control characters.
bool ValidPart(std::string_view part) {
    for (size_t i = 0; i < part.size();) {
        const auto lead = static_cast<unsigned char>(part[i]);
        if (lead < 0x80) {
            if (lead < 0x20 || lead == 0x7F) return false;
            if (std::u16string_view(u"<>:\"|?*").find(lead) != std::u16string_view::npos) return false;
            ++i;
            continue;
        }
        size_t length = 0;
        uint32_t cp = 0, least = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2, cp = lead & 0x1F, least = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3, cp = lead & 0x0F, least = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4, cp = lead & 0x07, least = 0x10000;
        } else {
            return false;
        }
        if (i + length > part.size()) return false;
        for (size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(part[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (next & 0x3F);
        }
        if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += length;
    }
    return true;
}

// CON, PRN, AUX, NUL, COM1-9, LPT1-9 (Windows also counts the superscript
// digits), CONIN$ and CONOUT$: devices whatever follows the first dot.
bool DeviceName(std::u16string_view lower) {
    std::u16string_view base = lower.substr(0, lower.find(u'.'));
    while (!base.empty() && base.back() == u' ') base.remove_suffix(1);
    for (std::u16string_view device : {u"con", u"prn", u"aux", u"nul", u"conin$", u"conout$"})
        if (base == device) return true;
    if (base.size() != 4 || (base.substr(0, 3) != u"com" && base.substr(0, 3) != u"lpt")) return false;
    const char16_t digit = base[3];
    return (digit >= u'1' && digit <= u'9') || digit == u'\u00B9' || digit == u'\u00B2' ||
           digit == u'\u00B3';
}

}  // namespace

std::optional<EntryPath> CanonicalPath(std::string_view raw, bool folderByMode) {
    EntryPath path;
    path.folder = folderByMode;
    if (!raw.empty() && (raw.back() == '/' || raw.back() == '\\')) {
        path.folder = true;
        raw.remove_suffix(1);
    }
    if (raw.empty()) return std::nullopt;
    size_t start = 0;
    for (;;) {
        const size_t end = std::min(raw.find_first_of("/\\", start), raw.size());
        const std::string_view part = raw.substr(start, end - start);
        if (part.empty() || part == "." || part == ".." || part.back() == '.' || part.back() == ' ')
            return std::nullopt;
        if (!ValidPart(part)) return std::nullopt;
        const std::u16string lower = LowerText(Utf8ToUtf16(part));
        if (DeviceName(lower)) return std::nullopt;
        if (path.parts.empty() && lower.starts_with(kOwnPrefix)) return std::nullopt;
        if (!path.key.empty()) path.key += u'/';
        path.key += lower;
        path.parts.emplace_back(part);
        if (end == raw.size()) break;
        start = end + 1;
    }
    return path;
}

std::string EscapeName(std::string_view raw, size_t maxChars) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : raw) {
        const auto byte = static_cast<unsigned char>(c);
        const size_t width = byte >= 0x20 && byte < 0x7F ? 1 : 4;
        if (out.size() + width > maxChars) {
            // Cut between whole characters, so no escape is left half-written.
            while (out.size() + 3 > maxChars && !out.empty()) {
                const size_t escape = out.size() >= 4 ? out.size() - 4 : std::string::npos;
                const bool endsInEscape = escape != std::string::npos && out[escape] == '\\' &&
                                          out[escape + 1] == 'x';
                out.resize(endsInEscape ? escape : out.size() - 1);
            }
            return out + "...";
        }
        if (width == 1) {
            out += c;
        } else {
            out += "\\x";
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        }
    }
    return out;
}

}  // namespace tarrow::updater
