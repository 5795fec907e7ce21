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

// How the bytes of the file hold its text, as editors save it.
enum class IniEncoding {
    Utf8Bom,  // EF BB BF, then UTF-8
    Utf8,     // no mark, and the bytes are valid UTF-8 (plain ASCII is too)
    Utf16Le,  // FF FE, then UTF-16 little-endian
    Utf16Be,  // FE FF, then UTF-16 big-endian
    Ansi,     // anything else: the system's ANSI code page
};

struct IniText {
    IniEncoding encoding = IniEncoding::Ansi;
    std::u16string text;  // after the mark; empty for Ansi, which only the platform decodes
};

// By byte-order mark first, then valid UTF-8; ANSI otherwise. A last odd byte
// of UTF-16 is not a character and is dropped.
IniText DecodeIniBytes(std::string_view bytes);
// The text as bytes in that encoding, led by its byte-order mark if it has one.
// Exact for text that DecodeIniBytes gave in the same encoding. Not for Ansi.
std::string EncodeIniText(std::u16string_view text, IniEncoding encoding);

// Parses text already decoded to UTF-16.
IniDocument ParseIni(std::u16string_view text);

// UTF-8 with the byte-order mark, CR LF line ends, no blank lines.
std::string WriteIni(const IniDocument& document);

// `source` rewritten to hold `document`, which was parsed from it and then
// changed only by new names or values of its lines and by lines and groups
// added at the ends of groups and of the file. Every other line, blank line,
// indentation and line break of `source` is kept as it was; a changed line is
// written in the program's form, and added lines use the file's own line break.
std::u16string WriteIniOver(std::u16string_view source, const IniDocument& document);

// The first named group whose name matches without regard to case, or null.
IniGroup* FindIniGroup(IniDocument& document, std::u16string_view name);
const IniGroup* FindIniGroup(const IniDocument& document, std::u16string_view name);

// Optional sign, then "$" hex, "%" binary or decimal digits, up to the first
// character that does not belong; no digits give 0. Values beyond 64 bits
// wrap around modulo 2^64 (no range check).
int64_t ParseIniInteger(std::u16string_view text);

}  // namespace tarrow
