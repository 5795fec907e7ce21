#pragma once
// How numbers, byte counts and percentages are worded for the user.

#include <cstdint>
#include <string>
#include <string_view>

namespace tarrow {

// Nearest integer, ties to even; NaN or out of range gives INT64_MIN.
int64_t ToWholeNumber(double x);
// Nearest whole value, halves away from zero.
double RoundNearest(double x);
// Largest whole value not above x.
double RoundDown(double x);
std::u16string IntegerText(int64_t n);
// Exactly `decimals` decimals (clamped to 0..512), correctly rounded, ties to even.
std::u16string FixedText(double x, int decimals);
// "1.50 KB" and so on, in units of 1024; empty text from 1024 GiB on.
std::u16string FormatBytes(float bytes);
// Removes every run of `c` at both ends.
std::u16string TrimEnds(std::u16string_view text, char16_t c = u' ');

}  // namespace tarrow
