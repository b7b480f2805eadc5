// Field conversions of formatted records: pure functions between field text and values.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "recio/errors.h"

namespace recio {

/// The value read from a field's text, or the catalogue row of the reason it cannot be read.
template <typename T>
struct Converted {
  T value{};
  std::optional<ErrorId> failure;
};

// ---- Output: each writes exactly field.size() characters (the field width w). ----

/// Fills the field with asterisks, the mark of a value too wide for its field.
void FillOverflow(std::span<char> field);

/// Iw: the decimal value right-aligned with blanks, "-" for negatives, no plus sign, no leading
/// zeros; asterisks when it needs more than w columns.
void FormatInteger(int32_t value, std::span<char> field);

/// Ew.d under the scale factor `scale` (the system writes only 1PEw.d): the value's 17 significant
/// decimal digits rounded half up, at most 7 of them significant, the rest written as 0; zero
/// unsigned with exponent +00. Asterisks when the text does not fit, when the scale factor allows
/// no digit, or for a value that is not finite.
void FormatExponent(float value, int32_t digits, int32_t scale, std::span<char> field);

/// Fw.d under the scale factor `scale` (the value times 10^scale), rounded like FormatExponent;
/// a leading "0" before the point when there is room. Asterisks when the text does not fit.
void FormatFixed(float value, int32_t digits, int32_t scale, std::span<char> field);

// ---- Input: the field text has already lost its blanks, tabs and (integers) leading zeros. ----

/// Iw: an optional sign and decimal digits, or `base#digits` with a base of 2 to 36 ('#' alone
/// means base 16). Empty text or a lone sign is 0. Fails with kInvalidInteger, kMultipleRadix,
/// kIllegalRadix, or kIntegerOverflowOnInput above 2147483647 in magnitude.
Converted<int32_t> ParseInteger(std::string_view text);

/// Fw.d and Ew.d: an optional sign, digits with at most one point, and an optional exponent (E or
/// D in either case, or a bare sign, then an optionally signed integer). Without a point the value
/// is divided by 10^impliedDigits; without an exponent it is multiplied by 10^-scale. The exact
/// decimal is rounded once to the nearest float. Empty text, a lone sign or a lone point is 0.
/// Fails with kInvalidReal, kRealMathOverflow above 3.402823466E+38 in magnitude, or
/// kRealIndefinite beyond the double range.
Converted<float> ParseReal(std::string_view text, int32_t impliedDigits, int32_t scale);

}  // namespace recio
