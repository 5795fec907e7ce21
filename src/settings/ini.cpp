#include "settings/ini.hpp"

#include "platform/text.hpp"

namespace tarrow {

namespace {

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

std::u16string_view TrimStart(std::u16string_view text) {
    size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    return text.substr(i);
}

std::u16string_view TrimEnd(std::u16string_view text) {
    size_t n = text.size();
    while (n > 0 && IsBlank(text[n - 1])) --n;
    return text.substr(0, n);
}

void ParseLine(std::u16string_view line, IniDocument& document) {
    line = TrimStart(line);
    if (line.empty()) return;
    if (line.front() == u';') {
        std::u16string_view text = line.substr(1);
        if (!text.empty() && text.front() == u' ') text.remove_prefix(1);
        document.groups.back().lines.push_back({true, std::u16string(text), {}});
        return;
    }
    if (line.front() == u'[') {
        const std::u16string_view rest = line.substr(1);
        const std::u16string_view name = rest.substr(0, rest.find(u']'));
        document.groups.push_back({true, std::u16string(name), {}});
        return;
    }
    const size_t equals = line.find(u'=');
    const std::u16string_view name = TrimEnd(line.substr(0, equals));
    const std::u16string_view value =
        equals == std::u16string_view::npos ? std::u16string_view{}
                                            : TrimEnd(TrimStart(line.substr(equals + 1)));
    document.groups.back().lines.push_back({false, std::u16string(name), std::u16string(value)});
}

int DigitValue(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return 99;
}

bool SameWithoutCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (LowerUnit(a[i]) != LowerUnit(b[i])) return false;
    return true;
}

template <class Document>
auto FindGroupIn(Document& document, std::u16string_view name) -> decltype(&document.groups[0]) {
    for (auto& group : document.groups)
        if (group.named && SameWithoutCase(group.name, name)) return &group;
    return nullptr;
}

}  // namespace

IniDocument ParseIni(std::u16string_view text) {
    IniDocument document;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find_first_of(u"\r\n", start);
        if (end == std::u16string_view::npos) end = text.size();
        ParseLine(text.substr(start, end - start), document);
        start = end + 1;
    }
    return document;
}

std::string WriteIni(const IniDocument& document) {
    std::u16string text = u"\r\n";
    for (const IniGroup& group : document.groups) {
        if (group.named) text += u"[" + group.name + u"]\r\n";
        for (const IniLine& line : group.lines) {
            if (line.isComment)
                text += u"; " + line.name + u"\r\n";
            else
                text += line.name + u" = " + line.value + u"\r\n";
        }
    }
    return std::string(kUtf8Bom) + Utf16ToUtf8(text);
}

IniGroup* FindIniGroup(IniDocument& document, std::u16string_view name) {
    return FindGroupIn(document, name);
}

const IniGroup* FindIniGroup(const IniDocument& document, std::u16string_view name) {
    return FindGroupIn(document, name);
}

int64_t ParseIniInteger(std::u16string_view text) {
    text = TrimStart(text);
    bool negative = false;
    if (!text.empty() && (text.front() == u'+' || text.front() == u'-')) {
        negative = text.front() == u'-';
        text.remove_prefix(1);
    }
    unsigned base = 10;
    if (!text.empty() && text.front() == u'$') {
        base = 16;
        text.remove_prefix(1);
    } else if (!text.empty() && text.front() == u'%') {
        base = 2;
        text.remove_prefix(1);
    }
    // Unsigned arithmetic wraps modulo 2^64; the conversion back is modular too.
    uint64_t magnitude = 0;
    for (const char16_t c : text) {
        const int digit = DigitValue(c);
        if (digit < 0 || static_cast<unsigned>(digit) >= base) break;
        magnitude = magnitude * base + static_cast<unsigned>(digit);
    }
    if (negative) magnitude = 0 - magnitude;
    return static_cast<int64_t>(magnitude);
}

}  // namespace tarrow
