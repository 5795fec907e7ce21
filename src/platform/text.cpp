#include "platform/text.hpp"

#include <algorithm>
#include <iterator>

#include "platform/lower_case_table.hpp"

namespace tarrow {

std::u16string Utf8ToUtf16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    size_t i = 0;
    const size_t n = utf8.size();
    while (i < n) {
        const auto b0 = static_cast<unsigned char>(utf8[i]);
        char32_t cp = 0xFFFD;
        size_t len = 1;
        if (b0 < 0x80) {
            cp = b0;
        } else {
            size_t need = 0;
            char32_t min = 0;
            if ((b0 & 0xE0) == 0xC0) { need = 1; cp = b0 & 0x1F; min = 0x80; }
            else if ((b0 & 0xF0) == 0xE0) { need = 2; cp = b0 & 0x0F; min = 0x800; }
            else if ((b0 & 0xF8) == 0xF0) { need = 3; cp = b0 & 0x07; min = 0x10000; }
            size_t k = 0;
            if (need > 0) {
                for (k = 1; k <= need && i + k < n; ++k) {
                    const auto b = static_cast<unsigned char>(utf8[i + k]);
                    if ((b & 0xC0) != 0x80) break;
                    cp = (cp << 6) | (b & 0x3F);
                }
            }
            if (need == 0 || k != need + 1 || cp < min || cp > 0x10FFFF ||
                (cp >= 0xD800 && cp <= 0xDFFF)) {
                cp = 0xFFFD;
                len = need == 0 ? 1 : (k > 1 ? k : 1);
            } else {
                len = need + 1;
            }
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += len;
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
    std::string out;
    out.reserve(utf16.size());
    for (size_t i = 0; i < utf16.size(); ++i) {
        char32_t cp = utf16[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
            utf16[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

char16_t LowerUnit(char16_t c) {
    if (c < 0x80) return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c;
    // The run that could hold this unit: the first whose last unit is not below it.
    const auto* run = std::lower_bound(
        std::begin(lower_case::kRuns), std::end(lower_case::kRuns), c,
        [](const lower_case::Run& r, char16_t unit) { return r.last < unit; });
    if (run == std::end(lower_case::kRuns) || c < run->first || (c - run->first) % run->step != 0)
        return c;
    return static_cast<char16_t>(c + run->offset);
}

std::u16string LowerText(std::u16string_view text) {
    std::u16string out(text);
    for (auto& c : out) c = LowerUnit(c);
    return out;
}

}  // namespace tarrow
