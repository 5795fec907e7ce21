#include "speech/wording.hpp"

#include <bit>
#include <cmath>
#include <limits>
#include <vector>

namespace tarrow {

namespace {

// An unsigned integer of any size, little-endian 32-bit limbs. Just enough
// arithmetic to write a double's exact value in decimal: the C runtimes do
// not all round printf's fixed conversion the same way, so we do it ourselves.
class BigUnsigned {
public:
    explicit BigUnsigned(uint64_t value) {
        while (value != 0) {
            limbs_.push_back(static_cast<uint32_t>(value));
            value >>= 32;
        }
    }

    bool IsZero() const { return limbs_.empty(); }

    void Multiply(uint32_t factor) {
        uint64_t carry = 0;
        for (uint32_t& limb : limbs_) {
            const uint64_t product = static_cast<uint64_t>(limb) * factor + carry;
            limb = static_cast<uint32_t>(product);
            carry = product >> 32;
        }
        if (carry != 0) limbs_.push_back(static_cast<uint32_t>(carry));
        Trim();
    }

    void MultiplyByPowerOfTen(int exponent) {
        for (; exponent >= 9; exponent -= 9) Multiply(1000000000u);
        uint32_t rest = 1;
        for (; exponent > 0; --exponent) rest *= 10;
        Multiply(rest);
    }

    void ShiftLeft(unsigned bits) {
        if (IsZero()) return;
        const size_t whole = bits / 32;
        const unsigned part = bits % 32;
        if (part != 0) {
            uint32_t carry = 0;
            for (uint32_t& limb : limbs_) {
                const uint32_t next = limb >> (32 - part);
                limb = (limb << part) | carry;
                carry = next;
            }
            if (carry != 0) limbs_.push_back(carry);
        }
        limbs_.insert(limbs_.begin(), whole, 0u);
    }

    bool Bit(size_t index) const {
        const size_t limb = index / 32;
        return limb < limbs_.size() && ((limbs_[limb] >> (index % 32)) & 1u) != 0;
    }

    // Whether any bit below `index` is set.
    bool AnyBitBelow(size_t index) const {
        const size_t limb = index / 32;
        for (size_t i = 0; i < limb && i < limbs_.size(); ++i)
            if (limbs_[i] != 0) return true;
        if (limb >= limbs_.size()) return false;
        const unsigned part = index % 32;
        return part != 0 && (limbs_[limb] & ((1u << part) - 1u)) != 0;
    }

    void ShiftRight(size_t bits) {
        const size_t whole = bits / 32;
        if (whole >= limbs_.size()) {
            limbs_.clear();
            return;
        }
        limbs_.erase(limbs_.begin(), limbs_.begin() + static_cast<std::ptrdiff_t>(whole));
        const unsigned part = bits % 32;
        if (part != 0) {
            for (size_t i = 0; i < limbs_.size(); ++i) {
                const uint32_t high = i + 1 < limbs_.size() ? limbs_[i + 1] << (32 - part) : 0u;
                limbs_[i] = (limbs_[i] >> part) | high;
            }
        }
        Trim();
    }

    // Adds one; used for rounding up.
    void Increment() {
        for (uint32_t& limb : limbs_)
            if (++limb != 0) return;
        limbs_.push_back(1u);
    }

    // Plain decimal digits, "0" for zero.
    std::u16string Decimal() const {
        if (IsZero()) return u"0";
        std::vector<uint32_t> rest = limbs_;
        std::vector<uint32_t> chunks;  // base 10^9, least significant first
        while (!rest.empty()) {
            uint64_t remainder = 0;
            for (size_t i = rest.size(); i-- > 0;) {
                const uint64_t current = (remainder << 32) | rest[i];
                rest[i] = static_cast<uint32_t>(current / 1000000000u);
                remainder = current % 1000000000u;
            }
            chunks.push_back(static_cast<uint32_t>(remainder));
            while (!rest.empty() && rest.back() == 0) rest.pop_back();
        }
        std::u16string out;
        for (size_t i = chunks.size(); i-- > 0;) {
            char16_t digits[9];
            uint32_t chunk = chunks[i];
            for (int k = 8; k >= 0; --k) {
                digits[k] = static_cast<char16_t>(u'0' + chunk % 10);
                chunk /= 10;
            }
            out.append(digits, 9);
        }
        const size_t first = out.find_first_not_of(u'0');
        return out.substr(first);
    }

private:
    void Trim() {
        while (!limbs_.empty() && limbs_.back() == 0) limbs_.pop_back();
    }

    std::vector<uint32_t> limbs_;
};

// |x| * 10^decimals rounded to a whole number, ties to even; x finite.
BigUnsigned ScaledMagnitude(double x, int decimals) {
    const uint64_t bits = std::bit_cast<uint64_t>(x);
    const int biased = static_cast<int>((bits >> 52) & 0x7FF);
    const uint64_t fraction = bits & ((uint64_t{1} << 52) - 1);
    // x = mantissa * 2^exponent exactly.
    const uint64_t mantissa = biased == 0 ? fraction : (fraction | (uint64_t{1} << 52));
    const int exponent = (biased == 0 ? 1 : biased) - 1075;

    BigUnsigned value(mantissa);
    value.MultiplyByPowerOfTen(decimals);
    if (exponent >= 0) {
        value.ShiftLeft(static_cast<unsigned>(exponent));
        return value;
    }
    const size_t shift = static_cast<size_t>(-exponent);
    const bool half = value.Bit(shift - 1);
    const bool beyondHalf = value.AnyBitBelow(shift - 1);
    value.ShiftRight(shift);
    if (half && (beyondHalf || value.Bit(0))) value.Increment();
    return value;
}

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

    std::u16string digits = ScaledMagnitude(x, d).Decimal();
    const size_t width = static_cast<size_t>(d) + 1;
    if (digits.size() < width) digits.insert(0, width - digits.size(), u'0');
    if (d > 0) digits.insert(digits.size() - static_cast<size_t>(d), 1, u'.');
    if (std::signbit(x)) digits.insert(0, 1, u'-');
    return digits;
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
