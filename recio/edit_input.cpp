// Input field conversions: integer and real field text to values, with the catalogue's failures.
#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <limits>
#include <string_view>
#include <system_error>

#include "recio/internal/edit.h"

namespace recio {
namespace {

constexpr int64_t kIntegerLimit = std::numeric_limits<int32_t>::max();

constexpr bool IsDecimal(char c) {
  return c >= '0' && c <= '9';
}

// The value of a digit in the bases up to 36 (letters in either case), or -1.
constexpr int DigitValue(char c) {
  if (IsDecimal(c)) return c - '0';
  if (c >= 'a' && c <= 'z') return c - 'a' + 10;
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  return -1;
}

template <typename T>
Converted<T> Failure(ErrorId id) {
  return {T{}, id};
}

// The significant digits of a real field's mantissa, as many as decide the rounding to float and
// the range checks; further nonzero digits leave one sticky digit so the rounding stays exact.
class Mantissa {
 public:
  static constexpr std::size_t kKept = 200;

  void Add(char digit) {
    if (count_ == 0 && digit == '0') {
      ++leadingZeros_;
      return;
    }
    if (count_ < kKept) {
      digits_[count_++] = digit;
    } else if (digit != '0') {
      sticky_ = true;
    }
  }
  // After the last digit: the sticky digit and no trailing zeros.
  void Finish() {
    if (sticky_) digits_[count_++] = '1';
    while (count_ > 0 && digits_[count_ - 1] == '0') --count_;
  }
  bool zero() const { return count_ == 0; }
  int64_t leadingZeros() const { return leadingZeros_; }
  std::string_view digits() const { return {digits_.data(), count_}; }

 private:
  std::array<char, kKept + 1> digits_;  // only the first count_ are set
  std::size_t count_ = 0;
  int64_t leadingZeros_ = 0;
  bool sticky_ = false;
};

// Reads "D1...Dn e exponent" (the value 0.D1...Dn x 10^decimalExponent) as T.
template <typename T>
std::from_chars_result ConvertDecimal(const Mantissa& mantissa, int64_t decimalExponent, T& value) {
  std::array<char, Mantissa::kKept + 32> text;
  const std::string_view digits = mantissa.digits();
  char* end = std::copy(digits.begin(), digits.end(), text.data());
  *end++ = 'e';
  end = std::to_chars(end, text.data() + text.size(),
                      decimalExponent - static_cast<int64_t>(digits.size()))
            .ptr;
  return std::from_chars(text.data(), end, value);
}

// The common case of a short decimal: an integer of at most 7 digits and a power of ten up to
// 10^10 are both exact floats, so one float multiplication or division gives the correctly
// rounded value without building text. False when the value is not of that kind.
bool ConvertShortDecimal(const Mantissa& mantissa, int64_t decimalExponent, float& value) {
  static constexpr float kPowersOfTen[] = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f,
                                           1e6f, 1e7f, 1e8f, 1e9f, 1e10f};
  constexpr int64_t kLargestPower = 10;
  const std::string_view digits = mantissa.digits();
  if (digits.size() > 7) return false;
  const int64_t power = decimalExponent - static_cast<int64_t>(digits.size());
  if (power < -kLargestPower || power > kLargestPower) return false;
  uint32_t integer = 0;
  for (char digit : digits) integer = integer * 10 + static_cast<uint32_t>(digit - '0');
  const float exact = static_cast<float>(integer);
  value = power < 0 ? exact / kPowersOfTen[-power] : exact * kPowersOfTen[power];
  return true;
}

// Whether 0.D1...Dn x 10^decimalExponent exceeds 3.402823466E+38 = 0.3402823466 x 10^39, decided
// on the exact digits (without trailing zeros, a longer digit string that shares a prefix is the
// larger fraction, so the plain text comparison is exact).
bool AboveSingleRange(const Mantissa& mantissa, int64_t decimalExponent) {
  constexpr int64_t kLimitExponent = 39;
  constexpr std::string_view kLimitDigits = "3402823466";
  if (decimalExponent != kLimitExponent) return decimalExponent > kLimitExponent;
  return mantissa.digits() > kLimitDigits;
}

// The parts of a real field's text, as written.
struct RealText {
  bool negative = false;
  Mantissa mantissa;
  bool point = false;
  int64_t wholeDigits = 0;  // mantissa digits before the point
  bool hasExponent = false;
  int64_t exponent = 0;
};

// The exponent behind the mantissa (whose digits may all be missing): E or D in either case, or
// a bare sign, then an optionally signed integer with at least one digit. So "-E5" and "--1" are
// both a sign, an empty mantissa and an exponent. False if the text is anything else.
bool ScanExponent(std::string_view text, RealText& real) {
  constexpr int64_t kExponentLimit = 10'000'000;  // far beyond any range; keeps sums exact
  std::size_t i = 0;
  const char c = text[i];
  const bool letter = c == 'E' || c == 'e' || c == 'D' || c == 'd';
  const bool sign = c == '+' || c == '-';
  if (!letter && !sign) return false;
  if (letter) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size()) return false;
  for (; i < text.size(); ++i) {
    if (!IsDecimal(text[i])) return false;
    real.exponent = std::min(real.exponent * 10 + (text[i] - '0'), kExponentLimit);
  }
  if (negative) real.exponent = -real.exponent;
  real.hasExponent = true;
  return true;
}

// Splits the text into sign, mantissa and exponent. False if it is not entirely such a number.
bool SplitReal(std::string_view text, RealText& real) {
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) real.negative = text[i++] == '-';
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (IsDecimal(c)) {
      real.mantissa.Add(c);
      if (!real.point) ++real.wholeDigits;
    } else if (c == '.' && !real.point) {
      real.point = true;
    } else {
      break;
    }
  }
  if (i < text.size() && !ScanExponent(text.substr(i), real)) return false;
  real.mantissa.Finish();
  return true;
}

}  // namespace

Converted<int32_t> ParseInteger(std::string_view text) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int base = 10;
  bool radix = false;
  bool anyDigit = false;
  // Saturates just above the limit, so that a wrong character or radix found later is reported
  // rather than the overflow.
  int64_t value = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '#') {
      if (radix) return Failure<int32_t>(ErrorId::kMultipleRadix);
      radix = true;
      if (anyDigit && (value < 2 || value > 36)) return Failure<int32_t>(ErrorId::kIllegalRadix);
      base = anyDigit ? static_cast<int>(value) : 16;
      value = 0;
      anyDigit = false;
      continue;
    }
    const int digit = DigitValue(c);
    if (digit < 0 || digit >= base) return Failure<int32_t>(ErrorId::kInvalidInteger);
    value = std::min(value * base + digit, kIntegerLimit + 1);
    anyDigit = true;
  }
  if (value > kIntegerLimit) return Failure<int32_t>(ErrorId::kIntegerOverflowOnInput);
  return {static_cast<int32_t>(negative ? -value : value), std::nullopt};
}

Converted<float> ParseReal(std::string_view text, int32_t impliedDigits, int32_t scale) {
  RealText real;
  if (!SplitReal(text, real)) return Failure<float>(ErrorId::kInvalidReal);
  const Mantissa& mantissa = real.mantissa;
  const float signedZero = real.negative ? -0.0f : 0.0f;
  if (mantissa.zero()) return {signedZero, std::nullopt};

  // value = 0.D1...Dn x 10^decimalExponent
  int64_t decimalExponent = real.wholeDigits - mantissa.leadingZeros() + real.exponent;
  if (!real.point) decimalExponent -= impliedDigits;
  if (!real.hasExponent) decimalExponent -= scale;

  if (AboveSingleRange(mantissa, decimalExponent)) {
    double wide = 0.0;
    const bool beyondDouble =
        ConvertDecimal(mantissa, decimalExponent, wide).ec == std::errc::result_out_of_range;
    return Failure<float>(beyondDouble ? ErrorId::kRealIndefinite : ErrorId::kRealMathOverflow);
  }
  float value = 0.0f;
  if (ConvertShortDecimal(mantissa, decimalExponent, value)) {
    return {real.negative ? -value : value, std::nullopt};
  }
  // Within the single range the only failure left is an underflow past the smallest subnormal.
  if (ConvertDecimal(mantissa, decimalExponent, value).ec != std::errc{}) {
    return {signedZero, std::nullopt};
  }
  return {real.negative ? -value : value, std::nullopt};
}

}  // namespace recio
