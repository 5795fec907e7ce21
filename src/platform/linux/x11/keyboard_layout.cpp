// XKB layout names read from X, and the Windows layout names they stand for.

#include "platform/linux/x11/keyboard_layout.hpp"

#include <array>
#include <utility>
#include <vector>

namespace tarrow {

namespace {

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

}  // namespace

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

}  // namespace tarrow
