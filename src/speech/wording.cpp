#include "speech/wording.hpp"

#include <cmath>
#include <cstdio>

#include "platform/text.hpp"

namespace tarrow {

// Placeholder wording until the exact rules land.
int64_t ToWholeNumber(double x) {
    if (std::isnan(x) || x >= 9223372036854775808.0 || x < -9223372036854775808.0)
        return INT64_MIN;
    return static_cast<int64_t>(std::nearbyint(x));
}
double RoundNearest(double x) { return x > 0 ? std::floor(x + 0.5) : std::ceil(x - 0.5); }
double RoundDown(double x) { return std::floor(x); }
std::u16string IntegerText(int64_t n) { return Ascii(std::to_string(n)); }
std::u16string FixedText(double x, int decimals) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, x);
    return Ascii(buffer);
}
std::u16string FormatBytes(float bytes) { return FixedText(bytes, 2) + u" B"; }
std::u16string TrimEnds(std::u16string_view text, char16_t c) {
    const size_t first = text.find_first_not_of(c);
    if (first == std::u16string_view::npos) return {};
    return std::u16string(text.substr(first, text.find_last_not_of(c) - first + 1));
}

}  // namespace tarrow
