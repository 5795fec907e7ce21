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

enum class LineKind { Blank, Group, Entry };  // Entry: a comment or a key

LineKind KindOf(std::u16string_view line) {
    line = TrimStart(line);
    if (line.empty()) return LineKind::Blank;
    return line.front() == u'[' ? LineKind::Group : LineKind::Entry;
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

// One line as the reader splits the text (at every single CR or LF), with the
// break that ends it; all of them together are the text again.
struct SourceLine {
    std::u16string_view text;
    std::u16string_view end;  // "\r", "\n", or empty for the last
};

std::vector<SourceLine> SplitLines(std::u16string_view text) {
    std::vector<SourceLine> lines;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find_first_of(u"\r\n", start);
        if (end == std::u16string_view::npos) end = text.size();
        lines.push_back({text.substr(start, end - start), text.substr(end, end < text.size())});
        start = end + 1;
    }
    return lines;
}

// The file's own line break: the first one in it, CR LF when it has none.
std::u16string_view LineBreakOf(std::u16string_view text) {
    const size_t at = text.find_first_of(u"\r\n");
    if (at == std::u16string_view::npos) return u"\r\n";
    if (text[at] == u'\r') return text.substr(at, 1 + (at + 1 < text.size() && text[at + 1] == u'\n'));
    return u"\n";
}

std::u16string GroupText(const IniGroup& group) { return u"[" + group.name + u"]"; }

std::u16string LineText(const IniLine& line) {
    return line.isComment ? u"; " + line.name : line.name + u" = " + line.value;
}

// Every group of `original` is in `edited` in the same place, with at least its lines.
bool OnlyAppendedTo(const IniDocument& original, const IniDocument& edited) {
    if (edited.groups.size() < original.groups.size()) return false;
    for (size_t g = 0; g < original.groups.size(); ++g) {
        const IniGroup& before = original.groups[g];
        const IniGroup& after = edited.groups[g];
        if (after.named != before.named || after.name != before.name ||
            after.lines.size() < before.lines.size())
            return false;
    }
    return true;
}

std::u16string WholeText(const IniDocument& document) {
    std::u16string text = u"\r\n";
    for (const IniGroup& group : document.groups) {
        if (group.named) text += GroupText(group) + u"\r\n";
        for (const IniLine& line : group.lines) text += LineText(line) + u"\r\n";
    }
    return text;
}

void PutUtf16(std::string& out, char16_t unit, bool bigEndian) {
    const auto high = static_cast<char>(unit >> 8);
    const auto low = static_cast<char>(unit & 0xFF);
    out.push_back(bigEndian ? high : low);
    out.push_back(bigEndian ? low : high);
}

std::u16string ReadUtf16(std::string_view bytes, bool bigEndian) {
    std::u16string text;
    text.reserve(bytes.size() / 2);
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const auto first = static_cast<unsigned char>(bytes[i]);
        const auto second = static_cast<unsigned char>(bytes[i + 1]);
        text.push_back(static_cast<char16_t>(bigEndian ? (first << 8) | second : (second << 8) | first));
    }
    return text;
}

constexpr std::string_view kUtf16LeBom = "\xFF\xFE";
constexpr std::string_view kUtf16BeBom = "\xFE\xFF";

}  // namespace

IniText DecodeIniBytes(std::string_view bytes) {
    if (bytes.starts_with(kUtf8Bom))
        return {IniEncoding::Utf8Bom, Utf8ToUtf16(bytes.substr(kUtf8Bom.size()))};
    if (bytes.starts_with(kUtf16LeBom))
        return {IniEncoding::Utf16Le, ReadUtf16(bytes.substr(kUtf16LeBom.size()), false)};
    if (bytes.starts_with(kUtf16BeBom))
        return {IniEncoding::Utf16Be, ReadUtf16(bytes.substr(kUtf16BeBom.size()), true)};
    // Invalid sequences decode to U+FFFD, which encodes back differently: so the
    // bytes are valid UTF-8 exactly when they survive the round trip.
    std::u16string text = Utf8ToUtf16(bytes);
    if (Utf16ToUtf8(text) == bytes) return {IniEncoding::Utf8, std::move(text)};
    return {IniEncoding::Ansi, {}};
}

std::string EncodeIniText(std::u16string_view text, IniEncoding encoding) {
    switch (encoding) {
        case IniEncoding::Utf8Bom: return std::string(kUtf8Bom) + Utf16ToUtf8(text);
        case IniEncoding::Utf16Le:
        case IniEncoding::Utf16Be: {
            const bool bigEndian = encoding == IniEncoding::Utf16Be;
            std::string bytes(bigEndian ? kUtf16BeBom : kUtf16LeBom);
            for (const char16_t unit : text) PutUtf16(bytes, unit, bigEndian);
            return bytes;
        }
        default: return Utf16ToUtf8(text);
    }
}

IniDocument ParseIni(std::u16string_view text) {
    IniDocument document;
    for (const SourceLine& line : SplitLines(text)) ParseLine(line.text, document);
    return document;
}

std::string WriteIni(const IniDocument& document) {
    return EncodeIniText(WholeText(document), IniEncoding::Utf8Bom);
}

std::u16string WriteIniOver(std::u16string_view source, const IniDocument& document) {
    const IniDocument original = ParseIni(source);
    if (!OnlyAppendedTo(original, document)) return WholeText(document);
    const std::vector<SourceLine> lines = SplitLines(source);
    const std::u16string_view lineBreak = LineBreakOf(source);

    // Lines added to a group go after the source line of its last line (or of
    // its group line); those of the unnamed group without lines go first.
    constexpr size_t kAtStart = static_cast<size_t>(-1);
    std::vector<size_t> anchors(original.groups.size(), kAtStart);
    size_t group = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        const LineKind kind = KindOf(lines[i].text);
        if (kind == LineKind::Group) ++group;
        if (kind != LineKind::Blank) anchors[group] = i;
    }

    std::u16string out;
    // A last line without a line break gets one before anything is added after it.
    const auto endLine = [&] {
        if (!out.empty() && out.back() != u'\r' && out.back() != u'\n') out.append(lineBreak);
    };
    const auto addLines = [&](size_t g) {
        const IniGroup& edited = document.groups[g];
        const size_t kept = g < original.groups.size() ? original.groups[g].lines.size() : 0;
        for (size_t j = kept; j < edited.lines.size(); ++j) {
            endLine();
            out.append(LineText(edited.lines[j])).append(lineBreak);
        }
    };
    for (size_t g = 0; g < anchors.size(); ++g)
        if (anchors[g] == kAtStart) addLines(g);
    group = 0;
    size_t entry = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        const LineKind kind = KindOf(lines[i].text);
        if (kind == LineKind::Group) {
            ++group;
            entry = 0;
        }
        if (kind == LineKind::Entry && !(document.groups[group].lines[entry] ==
                                         original.groups[group].lines[entry])) {
            out.append(LineText(document.groups[group].lines[entry]));
        } else {
            out.append(lines[i].text);
        }
        if (kind == LineKind::Entry) ++entry;
        out.append(lines[i].end);
        if (anchors[group] != i) continue;
        // After the whole line break: a CR LF is split into two source lines.
        if (lines[i].end == u"\r" && i + 1 < lines.size() && lines[i + 1].text.empty() &&
            lines[i + 1].end == u"\n") {
            out.append(lines[++i].end);
        }
        addLines(group);
    }
    for (size_t g = original.groups.size(); g < document.groups.size(); ++g) {
        endLine();
        if (document.groups[g].named) out.append(GroupText(document.groups[g])).append(lineBreak);
        addLines(g);
    }
    return out;
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
