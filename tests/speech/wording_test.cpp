#include <gtest/gtest.h>

#include <bit>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "platform/fake_platform.hpp"
#include "speech/wording.hpp"

namespace tarrow {
namespace {

using testing::Narrow;

constexpr int64_t kMin64 = std::numeric_limits<int64_t>::min();

TEST(Wording, WholeNumbersTieToEvenAndOutOfRangeGivesTheMostNegative) {
    EXPECT_EQ(ToWholeNumber(0.5), 0);
    EXPECT_EQ(ToWholeNumber(1.5), 2);
    EXPECT_EQ(ToWholeNumber(2.5), 2);
    EXPECT_EQ(ToWholeNumber(3.5), 4);
    EXPECT_EQ(ToWholeNumber(36.5), 36);
    EXPECT_EQ(ToWholeNumber(37.5), 38);
    EXPECT_EQ(ToWholeNumber(-2.5), -2);
    EXPECT_EQ(ToWholeNumber(-3.5), -4);
    EXPECT_EQ(ToWholeNumber(-0.3), 0);
    EXPECT_EQ(ToWholeNumber(2.4999999999999996), 2);
    EXPECT_EQ(ToWholeNumber(0.49999999999999994), 0);
    EXPECT_EQ(ToWholeNumber(4503599627370497.0), 4503599627370497);  // odd, above 2^52
    EXPECT_EQ(ToWholeNumber(9223372036854774784.0), 9223372036854774784);  // largest below 2^63
    EXPECT_EQ(ToWholeNumber(-9223372036854775808.0), kMin64);
    EXPECT_EQ(ToWholeNumber(9223372036854775808.0), kMin64);
    EXPECT_EQ(ToWholeNumber(-1e19), kMin64);
    EXPECT_EQ(ToWholeNumber(std::nan("")), kMin64);
    EXPECT_EQ(ToWholeNumber(std::numeric_limits<double>::infinity()), kMin64);
    EXPECT_EQ(ToWholeNumber(-std::numeric_limits<double>::infinity()), kMin64);
}

TEST(Wording, RoundNearestTakesHalvesAwayFromZeroAndRoundDownFloors) {
    EXPECT_EQ(RoundNearest(2.5), 3.0);
    EXPECT_EQ(RoundNearest(-2.5), -3.0);
    EXPECT_EQ(RoundNearest(0.49), 0.0);
    EXPECT_EQ(RoundNearest(-0.49), 0.0);
    EXPECT_EQ(ToWholeNumber(RoundNearest(36.5)), 37);
    // Where adding one half would itself round.
    EXPECT_EQ(RoundNearest(0.49999999999999994), 0.0);
    EXPECT_EQ(RoundNearest(-0.49999999999999994), 0.0);
    EXPECT_EQ(ToWholeNumber(0.49999999999999994), 0);
    EXPECT_EQ(RoundNearest(4503599627370497.0), 4503599627370497.0);
    EXPECT_EQ(RoundDown(2.9), 2.0);
    EXPECT_EQ(RoundDown(-2.1), -3.0);
    EXPECT_EQ(RoundDown(-0.0), 0.0);
}

TEST(Wording, IntegerTextIsPlainDecimal) {
    EXPECT_EQ(IntegerText(0), u"0");
    EXPECT_EQ(IntegerText(-5), u"-5");
    EXPECT_EQ(IntegerText(1000000), u"1000000");
    EXPECT_EQ(IntegerText(std::numeric_limits<int64_t>::max()), u"9223372036854775807");
    EXPECT_EQ(IntegerText(kMin64), u"-9223372036854775808");
}

TEST(Wording, FixedTextRoundsTheExactValueWithTiesToEven) {
    EXPECT_EQ(FixedText(1.125, 2), u"1.12");
    EXPECT_EQ(FixedText(1.375, 2), u"1.38");
    EXPECT_EQ(FixedText(2.5, 2), u"2.50");
    EXPECT_EQ(FixedText(2.5, 0), u"2");
    EXPECT_EQ(FixedText(3.5, 0), u"4");
    EXPECT_EQ(FixedText(0.5, 0), u"0");
    EXPECT_EQ(FixedText(-0.5, 0), u"-0");
    EXPECT_EQ(FixedText(1.005, 2), u"1.00");  // 1.005 is stored a little below
    EXPECT_EQ(FixedText(0.1, 20), u"0.10000000000000000555");
    EXPECT_EQ(FixedText(1e22, 1), u"10000000000000000000000.0");
    EXPECT_EQ(FixedText(123456.0, 3), u"123456.000");
}

TEST(Wording, FixedTextZerosSignsAndSpecialValues) {
    EXPECT_EQ(FixedText(0.0, 2), u"0.00");
    EXPECT_EQ(FixedText(-0.0, 2), u"0.00");
    EXPECT_EQ(FixedText(-0.001, 2), u"-0.00");
    EXPECT_EQ(FixedText(-1.5, 1), u"-1.5");
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(FixedText(inf, 2), u"+Infinity");
    EXPECT_EQ(FixedText(-inf, 2), u"-Infinity");
    EXPECT_EQ(FixedText(std::nan(""), 2), u"NaN");
    EXPECT_EQ(FixedText(-std::nan(""), 2), u"NaN");
}

TEST(Wording, FixedTextClampsTheDecimalCount) {
    EXPECT_EQ(FixedText(1.25, -3), u"1");
    EXPECT_EQ(FixedText(0.5, 1000), FixedText(0.5, 512));
    EXPECT_EQ(FixedText(0.5, 512).size(), 514u);
    // The smallest subnormal, 2^-1074, has 1074 decimals: cut and rounded at 512.
    const double tiny = std::numeric_limits<double>::denorm_min();
    const std::u16string cut = FixedText(tiny, 600);
    EXPECT_EQ(cut, FixedText(tiny, 512));
    EXPECT_EQ(cut.size(), 514u);
    EXPECT_EQ(cut.substr(0, 343), u"0." + std::u16string(323, u'0') + u"494065645841246544");
    EXPECT_EQ(FixedText(tiny, 323), u"0." + std::u16string(323, u'0'));
    EXPECT_EQ(FixedText(tiny, 324), u"0." + std::u16string(323, u'0') + u"5");
    EXPECT_EQ(FixedText(-tiny, 2), u"-0.00");
}

TEST(Wording, FormatBytesStepsInSinglePrecision) {
    EXPECT_EQ(FormatBytes(0.0f), u"0.00 B");
    EXPECT_EQ(FormatBytes(1023.0f), u"1023.00 B");
    EXPECT_EQ(FormatBytes(1024.0f), u"1.00 KB");
    EXPECT_EQ(FormatBytes(1152.0f), u"1.12 KB");
    EXPECT_EQ(FormatBytes(1536.0f), u"1.50 KB");
    EXPECT_EQ(FormatBytes(1048575.0f), u"1024.00 KB");
    EXPECT_EQ(FormatBytes(1048576.0f), u"1.00 MB");
    EXPECT_EQ(FormatBytes(1073741824.0f), u"1.00 GB");
    EXPECT_EQ(FormatBytes(1099511627776.0f), u"");
    EXPECT_EQ(FormatBytes(1099511562240.0f), u"1024.00 GB");  // the float just below 1024 GiB
    EXPECT_EQ(FormatBytes(std::numeric_limits<float>::infinity()), u"");
    EXPECT_EQ(FormatBytes(std::nanf("")), u"");
    EXPECT_EQ(FormatBytes(-5.0f), u"-5.00 B");
    EXPECT_EQ(FormatBytes(1048575.5f), u"1024.00 KB");
    EXPECT_EQ(FormatBytes(1023.996f), u"1024.00 B");
}

TEST(Wording, TrimEndsRemovesRunsAtBothEndsOnly) {
    const std::u16string once = TrimEnds(u", 2 days, 3 hours", u',');
    EXPECT_EQ(once, u" 2 days, 3 hours");
    EXPECT_EQ(TrimEnds(once), u"2 days, 3 hours");
    EXPECT_EQ(TrimEnds(u",,a,,b,,", u','), u"a,,b");
    EXPECT_EQ(TrimEnds(u"   ", u' '), u"");
    EXPECT_EQ(TrimEnds(u"", u' '), u"");
}

#if defined(__GLIBC__)
// glibc's fixed conversion is exact with ties to even; ours must agree everywhere.
class FixedTextSweep : public ::testing::Test {
protected:
    void SetUp() override {
        const char* current = std::setlocale(LC_NUMERIC, nullptr);
        saved_ = current ? current : "C";
        std::setlocale(LC_NUMERIC, "C");
    }
    void TearDown() override { std::setlocale(LC_NUMERIC, saved_.c_str()); }

    static void Expect(double x, int decimals, int& failures) {
        std::vector<char> buffer(1200);
        const int n = std::snprintf(buffer.data(), buffer.size(), "%.*f", decimals, x);
        ASSERT_GT(n, 0);
        ASSERT_LT(static_cast<size_t>(n), buffer.size());
        const std::string expected(buffer.data(), static_cast<size_t>(n));
        const std::string actual = Narrow(FixedText(x, decimals));
        if (actual != expected && ++failures <= 5)
            ADD_FAILURE() << "x bits " << std::hex << std::bit_cast<uint64_t>(x) << std::dec
                          << " decimals " << decimals << "\n got  " << actual << "\n want "
                          << expected;
    }

    std::string saved_;
};

TEST_F(FixedTextSweep, RandomBitPatternsAgreeWithTheCLibrary) {
    std::mt19937_64 random(20240308);
    std::uniform_int_distribution<int> anyCount(0, 512);
    std::uniform_int_distribution<int> smallCount(0, 20);
    int failures = 0;
    for (int i = 0; i < 6000; ++i) {
        const double x = std::bit_cast<double>(random());
        if (!std::isfinite(x) || x == 0.0) continue;
        Expect(x, anyCount(random), failures);
        Expect(x, smallCount(random), failures);
    }
    EXPECT_EQ(failures, 0);
}

TEST_F(FixedTextSweep, HalvesTiesAndNearTiesAgreeWithTheCLibrary) {
    std::mt19937_64 random(7);
    int failures = 0;
    // k / 2^s is exact; at decimals < s those with an odd k end in a 5: a tie.
    for (int s = 1; s <= 12; ++s) {
        for (int k = -600; k <= 600; ++k) {
            const double x = std::ldexp(static_cast<double>(k), -s);
            if (x == 0.0) continue;
            for (int decimals = 0; decimals <= s; ++decimals) Expect(x, decimals, failures);
            Expect(std::nextafter(x, 1e300), s - 1, failures);
            Expect(std::nextafter(x, -1e300), s - 1, failures);
        }
    }
    // Money-like values whose decimal text is not exact in binary.
    for (int i = 0; i < 4000; ++i) {
        const double x = static_cast<double>(random() % 2000000) / 1000.0 - 1000.0;
        if (x != 0.0) Expect(x, static_cast<int>(random() % 4), failures);
    }
    EXPECT_EQ(failures, 0);
}

TEST_F(FixedTextSweep, TinyAndHugeValuesAgreeWithTheCLibrary) {
    std::mt19937_64 random(99);
    int failures = 0;
    const double extremes[] = {std::numeric_limits<double>::denorm_min(),
                               std::numeric_limits<double>::min(),
                               std::nextafter(std::numeric_limits<double>::min(), 0.0),
                               std::numeric_limits<double>::max(),
                               std::numeric_limits<double>::epsilon(),
                               9007199254740993.0,
                               18446744073709551616.0,
                               1e308,
                               1e-308,
                               5e-324 * 3};
    for (const double x : extremes) {
        for (const int decimals : {0, 1, 2, 17, 100, 323, 324, 511, 512}) {
            Expect(x, decimals, failures);
            Expect(-x, decimals, failures);
        }
    }
    for (int i = 0; i < 1500; ++i) {
        // Subnormals and values near the top of the range.
        const double sub = std::bit_cast<double>(random() & ((uint64_t{1} << 52) - 1));
        if (sub != 0.0) Expect(sub, static_cast<int>(random() % 513), failures);
        const double big = std::ldexp(1.0 + static_cast<double>(random() % 1000) / 1000.0,
                                      static_cast<int>(900 + random() % 123));
        Expect(big, static_cast<int>(random() % 5), failures);
    }
    EXPECT_EQ(failures, 0);
}
#endif

}  // namespace
}  // namespace tarrow
