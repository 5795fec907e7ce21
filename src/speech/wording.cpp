#include "speech/wording.hpp"

#include <charconv>
#include <cmath>
#include <limits>

#include "platform/text.hpp"

namespace tarrow {

namespace {

// Halves away from zero, exactly. Not std::round: the mingw-w64 runtime's adds
// one half first and so turns 0.49999999999999994 into 1. x - trunc(x) is exact.
double RoundHalfAway(double x) {
    const double whole = std::trunc(x);
    const double fraction = x - whole;
    if (fraction >= 0.5) return whole + 1.0;
    if (fraction <= -0.5) return whole - 1.0;
    return whole;
}

}  // namespace

int64_t ToWholeNumber(double x) {
    // 2^63 is exact as a double; everything at or above it, or below -2^63, is out.
    constexpr double kLimit = 9223372036854775808.0;
    if (std::isnan(x) || x >= kLimit || x < -kLimit) return std::numeric_limits<int64_t>::min();
    // Independent of the floating-point rounding mode: round halves away from
    // zero, then pull an exact half back to the even neighbour. r - x is exact
    // (r is within a factor of two of x, or zero).
    double whole = RoundHalfAway(x);
    if (std::fabs(whole - x) == 0.5 && std::fmod(whole, 2.0) != 0.0)
        whole -= std::copysign(1.0, x);
    return static_cast<int64_t>(whole);
}

double RoundNearest(double x) {
    // Halves away from zero. floor(x + 0.5) would misround 0.49999999999999994
    // and odd values from 2^52 on, where adding the half itself rounds.
    return RoundHalfAway(x);
}

double RoundDown(double x) { return std::floor(x); }

std::u16string IntegerText(int64_t n) {
    // Through the unsigned magnitude, so the most negative value needs no special case.
    uint64_t magnitude = n < 0 ? 0 - static_cast<uint64_t>(n) : static_cast<uint64_t>(n);
    char16_t digits[20];
    size_t count = 0;
    do {
        digits[count++] = static_cast<char16_t>(u'0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    std::u16string out;
    if (n < 0) out.push_back(u'-');
    while (count > 0) out.push_back(digits[--count]);
    return out;
}

std::u16string FixedText(double x, int decimals) {
    const int d = decimals < 0 ? 0 : (decimals > 512 ? 512 : decimals);
    if (std::isnan(x)) return u"NaN";
    if (std::isinf(x)) return x > 0 ? u"+Infinity" : u"-Infinity";
    if (x == 0.0) x = 0.0;  // a negative zero is spoken as zero

    // to_chars gives the exact value rounded to d decimals, ties to even, as the
    // "C" locale's printf should; the C runtimes do not all get that right.
    char buffer[1100];  // sign, 309 integer digits, the point and 512 decimals
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, x, std::chars_format::fixed, d);
    return Ascii(std::string_view(buffer, static_cast<size_t>(result.ptr - buffer)));
}

std::u16string FormatBytes(float bytes) {
    // Each step is one single-precision product, as the measured counts are floats.
    constexpr float kStep = 1.0f / 1024.0f;
    static constexpr const char16_t* kUnits[] = {u" B", u" KB", u" MB", u" GB"};
    float value = bytes;
    for (int unit = 0; unit < 4; ++unit) {
        if (unit > 0) value = value * kStep;
        if (value < 1024.0f) return FixedText(static_cast<double>(value), 2) + kUnits[unit];
    }
    return {};
}

std::u16string TrimEnds(std::u16string_view text, char16_t c) {
    const size_t first = text.find_first_not_of(c);
    if (first == std::u16string_view::npos) return {};
    return std::u16string(text.substr(first, text.find_last_not_of(c) - first + 1));
}

}  // namespace tarrow
