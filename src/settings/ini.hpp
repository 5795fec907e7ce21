#pragma once
// The INI text of prefs.ini: a model that keeps every group, comment and key in
// file order, its reader and its writer. Used by settings.cpp only.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarrow {

// A comment or a key line, in the order read.
struct IniLine {
    bool isComment = false;
    std::u16string name;   // key name, or the comment text
    std::u16string value;  // empty for comments
    bool operator==(const IniLine&) const = default;
};

struct IniGroup {
    bool named = true;  // false only for the lines before the first group line
    std::u16string name;
    std::vector<IniLine> lines;
    bool operator==(const IniGroup&) const = default;
};

// groups[0] is always the unnamed leading group (possibly empty).
struct IniDocument {
    std::vector<IniGroup> groups{IniGroup{false, {}, {}}};
    bool operator==(const IniDocument&) const = default;
};

inline constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// Parses text already decoded to UTF-16.
IniDocument ParseIni(std::u16string_view text);

// UTF-8 with the byte-order mark, CR LF line ends, no blank lines.
std::string WriteIni(const IniDocument& document);

// The first named group whose name matches without regard to case, or null.
IniGroup* FindIniGroup(IniDocument& document, std::u16string_view name);
const IniGroup* FindIniGroup(const IniDocument& document, std::u16string_view name);

// Optional sign, then "$" hex, "%" binary or decimal digits, up to the first
// character that does not belong; no digits give 0. Values beyond 64 bits
// wrap around modulo 2^64 (no range check).
int64_t ParseIniInteger(std::u16string_view text);

}  // namespace tarrow
