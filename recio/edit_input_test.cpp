// Input field conversions: integer texts with signs and radixes, real texts with every exponent
// form, the range failures, and real input checked against the C library over many values.
#include <gtest/gtest.h>

#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>

#include "recio/internal/edit.h"

namespace recio {
namespace {

int32_t IntegerOf(std::string_view text) {
  const Converted<int32_t> result = ParseInteger(text);
  EXPECT_FALSE(result.failure.has_value()) << "text: " << text;
  return result.value;
}

std::optional<ErrorId> IntegerFailure(std::string_view text) {
  return ParseInteger(text).failure;
}

float RealOf(std::string_view text, int32_t impliedDigits = 0, int32_t scale = 0) {
  const Converted<float> result = ParseReal(text, impliedDigits, scale);
  EXPECT_FALSE(result.failure.has_value()) << "text: " << text;
  return result.value;
}

std::optional<ErrorId> RealFailure(std::string_view text, int32_t impliedDigits = 0) {
  return ParseReal(text, impliedDigits, 0).failure;
}

TEST(IntegerInputTest, SignsAndDigits) {
  EXPECT_EQ(IntegerOf(""), 0);
  EXPECT_EQ(IntegerOf("+"), 0);
  EXPECT_EQ(IntegerOf("-"), 0);
  EXPECT_EQ(IntegerOf("12"), 12);
  EXPECT_EQ(IntegerOf("+7"), 7);
  EXPECT_EQ(IntegerOf("-999"), -999);
  EXPECT_EQ(IntegerOf("2147483647"), 2147483647);
  EXPECT_EQ(IntegerOf("-2147483647"), -2147483647);
}

TEST(IntegerInputTest, RadixForms) {
  EXPECT_EQ(IntegerOf("16#FF"), 255);
  EXPECT_EQ(IntegerOf("16#ff"), 255);
  EXPECT_EQ(IntegerOf("#1F"), 31);  // no base: hexadecimal
  EXPECT_EQ(IntegerOf("2#101"), 5);
  EXPECT_EQ(IntegerOf("8#777"), 511);
  EXPECT_EQ(IntegerOf("36#zZ"), 35 * 36 + 35);
  EXPECT_EQ(IntegerOf("-16#10"), -16);
  EXPECT_EQ(IntegerOf("16#7FFFFFFF"), 2147483647);
  EXPECT_EQ(IntegerOf("10#"), 0);
}

TEST(IntegerInputTest, FailuresByReason) {
  EXPECT_EQ(IntegerFailure("12-3"), ErrorId::kInvalidInteger);
  EXPECT_EQ(IntegerFailure("1.0"), ErrorId::kInvalidInteger);
  EXPECT_EQ(IntegerFailure("N/A"), ErrorId::kInvalidInteger);
  EXPECT_EQ(IntegerFailure("+-1"), ErrorId::kInvalidInteger);
  EXPECT_EQ(IntegerFailure("1E3"), ErrorId::kInvalidInteger);
  EXPECT_EQ(IntegerFailure("2#102"), ErrorId::kInvalidInteger);  // 2 is no digit in base 2
  EXPECT_EQ(IntegerFailure("16#-1"), ErrorId::kInvalidInteger);  // sign after the radix
  EXPECT_EQ(IntegerFailure("1A#5"), ErrorId::kInvalidInteger);   // the base is decimal
  EXPECT_EQ(IntegerFailure("16#F#F"), ErrorId::kMultipleRadix);
  EXPECT_EQ(IntegerFailure("##"), ErrorId::kMultipleRadix);
  EXPECT_EQ(IntegerFailure("1#0"), ErrorId::kIllegalRadix);
  EXPECT_EQ(IntegerFailure("37#1"), ErrorId::kIllegalRadix);
  EXPECT_EQ(IntegerFailure("0#1"), ErrorId::kIllegalRadix);
  EXPECT_EQ(IntegerFailure("99999999999#1"), ErrorId::kIllegalRadix);
}

TEST(IntegerInputTest, OverflowAboveTheLargestInteger) {
  EXPECT_EQ(IntegerFailure("2147483648"), ErrorId::kIntegerOverflowOnInput);
  EXPECT_EQ(IntegerFailure("-2147483648"), ErrorId::kIntegerOverflowOnInput);
  EXPECT_EQ(IntegerFailure("99999999999999999999999"), ErrorId::kIntegerOverflowOnInput);
  EXPECT_EQ(IntegerFailure("16#80000000"), ErrorId::kIntegerOverflowOnInput);
  EXPECT_EQ(IntegerFailure("2#11111111111111111111111111111111"), ErrorId::kIntegerOverflowOnInput);
  // A bad character further on is reported before the overflow.
  EXPECT_EQ(IntegerFailure("99999999999x"), ErrorId::kInvalidInteger);
}

TEST(RealInputTest, ExamplesAndExponentForms) {
  EXPECT_EQ(RealOf("1.25E2"), 125.0f);
  EXPECT_EQ(RealOf("-.5"), -0.5f);
  EXPECT_EQ(RealOf("1.5D-3"), 0.0015f);
  EXPECT_EQ(RealOf("1.5d-3"), 0.0015f);
  EXPECT_EQ(RealOf("1.5e+3"), 1500.0f);
  EXPECT_EQ(RealOf("1.5+3"), 1500.0f);  // a bare sign starts the exponent
  EXPECT_EQ(RealOf("1.5-3"), 0.0015f);
  EXPECT_EQ(RealOf("+2."), 2.0f);
  EXPECT_EQ(RealOf("123.4"), 123.4f);
  EXPECT_EQ(RealOf("1.5E2"), 150.0f);
}

TEST(RealInputTest, EmptyTextsReadAsZero) {
  // An empty mantissa is zero whatever its exponent, written with a letter or as a bare sign.
  for (std::string_view text : {"", "+", "-", ".", "-.", "0", "000.000", "0E999999", "-E5", "D-3",
                                ".-1", "--1", "+-1", "-+7"}) {
    EXPECT_EQ(RealOf(text, 3), 0.0f) << text;
  }
}

TEST(RealInputTest, ImpliedFractionDigitsOnlyWithoutPoint) {
  EXPECT_EQ(RealOf("123", 0), 123.0f);
  EXPECT_EQ(RealOf("1", 18), 1.0e-18f);
  EXPECT_EQ(RealOf("5", 18), 5.0e-18f);
  EXPECT_EQ(RealOf("1.0", 18), 1.0f);
  EXPECT_EQ(RealOf("5.", 18), 5.0f);
  EXPECT_EQ(RealOf("15", 1), 1.5f);
  EXPECT_EQ(RealOf("15E1", 1), 15.0f);  // applied even with an exponent
  EXPECT_EQ(RealOf("15.E1", 1), 150.0f);
}

TEST(RealInputTest, ScaleFactorOnlyWithoutExponent) {
  EXPECT_EQ(RealOf("15", 0, 1), 1.5f);
  EXPECT_EQ(RealOf("15", 0, -2), 1500.0f);
  EXPECT_EQ(RealOf("15E0", 0, 1), 15.0f);
}

TEST(RealInputTest, MalformedTextsAreInvalid) {
  for (std::string_view text :
       {"abc", "1..5", "1.5.2", "1.5E", "1.5E+", "1.5+", "1E2.5", "+-", "1.5X", "1E2+3", "--", "-E",
        "1,5", "1e5e5", "0x10", "inf", "nan"}) {
    EXPECT_EQ(RealFailure(text), ErrorId::kInvalidReal) << text;
  }
}

TEST(RealInputTest, SingleAndDoubleRangeLimits) {
  constexpr float kMax = std::numeric_limits<float>::max();
  EXPECT_EQ(RealOf("3.402823466E38"), kMax);
  // The largest float itself lies just above the limit.
  EXPECT_EQ(RealFailure("3.4028234663852886E38"), ErrorId::kRealMathOverflow);
  EXPECT_EQ(RealOf("-340282346600000000000000000000000000000"), -kMax);
  EXPECT_EQ(RealFailure("3.4028234660001E38"), ErrorId::kRealMathOverflow);
  EXPECT_EQ(RealFailure("3.40282347E38"), ErrorId::kRealMathOverflow);
  EXPECT_EQ(RealFailure("-1E39"), ErrorId::kRealMathOverflow);
  EXPECT_EQ(RealFailure("1.7E308"), ErrorId::kRealMathOverflow);
  EXPECT_EQ(RealFailure("1.8E308"), ErrorId::kRealIndefinite);
  EXPECT_EQ(RealFailure("1E400"), ErrorId::kRealIndefinite);
  EXPECT_EQ(RealFailure("1E99999999999999"), ErrorId::kRealIndefinite);
  EXPECT_EQ(RealFailure("340282346700000000000000000000000000000", 0), ErrorId::kRealMathOverflow);
  // Implied digits bring a long digit string back into range.
  EXPECT_EQ(RealOf("340282346700000000000000000000000000000", 1), 3.402823467E37f);
}

TEST(RealInputTest, TinyValuesBecomeSubnormalsOrZero) {
  EXPECT_EQ(RealOf("1E-45"), std::numeric_limits<float>::denorm_min());
  EXPECT_EQ(RealOf("1E-50"), 0.0f);
  EXPECT_TRUE(std::signbit(RealOf("-1E-50")));
  EXPECT_EQ(RealOf("1E-99999999999999"), 0.0f);
}

TEST(RealInputTest, RoundsOnceFromTheExactDecimal) {
  // Just above the midpoint between 1 and the next float: a detour through double would land on
  // the midpoint and round to even (1.0); the exact decimal rounds up.
  const float up = std::nextafter(1.0f, 2.0f);
  EXPECT_EQ(RealOf("1.0000000596046447753906250000000001"), up);
  EXPECT_EQ(RealOf("1.000000059604644775390625"), 1.0f);  // the midpoint itself: to even
  // Beyond the digits kept, one nonzero digit still decides against the midpoint.
  const std::string midpoint = "1.000000059604644775390625";
  EXPECT_EQ(RealOf(midpoint + std::string(300, '0') + "1"), up);
  EXPECT_EQ(RealOf(midpoint + std::string(300, '0')), 1.0f);
  EXPECT_EQ(RealOf(std::string(250, '0') + "1.5"), 1.5f);  // leading zeros are no digits
}

// Reads `text` with the C library, the independent reference: nearest float, with the range
// rules of the field conversion applied to the exact value.
Converted<float> Reference(const std::string& cText) {
  const long double exact = std::strtold(cText.c_str(), nullptr);
  if (std::fabs(exact) > 3.402823466E38L) {
    errno = 0;
    std::strtod(cText.c_str(), nullptr);
    return {0.0f, errno == ERANGE ? ErrorId::kRealIndefinite : ErrorId::kRealMathOverflow};
  }
  return {std::strtof(cText.c_str(), nullptr), std::nullopt};
}

void ExpectSame(const Converted<float>& actual, const Converted<float>& expected,
                const std::string& text) {
  ASSERT_EQ(actual.failure, expected.failure) << text;
  if (!expected.failure) {
    ASSERT_EQ(std::bit_cast<uint32_t>(actual.value), std::bit_cast<uint32_t>(expected.value))
        << text << " gave " << actual.value << ", expected " << expected.value;
  }
}

TEST(RealInputTest, RandomFloatsReadBackExactly) {
  std::mt19937 random{7};
  for (int i = 0; i < 300000; ++i) {
    const float value = std::bit_cast<float>(static_cast<uint32_t>(random()));
    if (!std::isfinite(value)) continue;
    char text[48];
    std::snprintf(text, sizeof text, "%.9E", static_cast<double>(value));
    std::string fortran = text;
    // Vary the exponent's form: E, D, lower case, or the bare sign.
    const std::size_t letter = fortran.find('E');
    switch (i % 4) {
      case 1:
        fortran[letter] = 'D';
        break;
      case 2:
        fortran[letter] = 'e';
        break;
      case 3:
        fortran.erase(letter, 1);
        break;
      default:
        break;
    }
    const Converted<float> expected = Reference(text);
    ExpectSame(ParseReal(fortran, 4, 0), expected, fortran);
    if (!expected.failure) {
      ASSERT_EQ(expected.value, value) << text;
    }
  }
}

TEST(RealInputTest, RandomDecimalsMatchTheCLibrary) {
  std::mt19937 random{11};
  const auto pick = [&](int from, int to) {
    return from + static_cast<int>(random() % static_cast<uint32_t>(to - from + 1));
  };
  for (int i = 0; i < 200000; ++i) {
    std::string digits;
    const int count = pick(1, 30);
    for (int d = 0; d < count; ++d) digits += static_cast<char>('0' + pick(0, 9));
    const bool point = pick(0, 2) > 0;
    const int pointAt = pick(0, count);
    const bool exponent = pick(0, 1) > 0;
    const int exponentValue = pick(-75, 60);
    const int implied = pick(0, 20);
    const bool negative = pick(0, 1) > 0;

    std::string mantissa = digits;
    if (point) mantissa.insert(static_cast<std::size_t>(pointAt), 1, '.');
    std::string fortran = (negative ? "-" : "") + mantissa;
    if (exponent) fortran.append("E").append(std::to_string(exponentValue));
    // The same value in C syntax: the implied digits become part of the exponent.
    const int cExponent = (exponent ? exponentValue : 0) - (point ? 0 : implied);
    const std::string cText =
        (negative ? "-" : "") + (point ? mantissa : digits) + "e" + std::to_string(cExponent);
    ExpectSame(ParseReal(fortran, implied, 0), Reference(cText), fortran);
  }
}

TEST(RealInputTest, ShortDecimalsOfValueLinesMatchTheCLibrary) {
  // Channel values are short decimals such as 1234.56: every placement of the point in up to
  // seven digits, with and without an exponent near zero.
  std::mt19937 random{13};
  for (int i = 0; i < 200000; ++i) {
    const int count = 1 + static_cast<int>(random() % 8);
    std::string digits;
    for (int d = 0; d < count; ++d) digits += static_cast<char>('0' + random() % 10);
    const int pointAt = static_cast<int>(random() % static_cast<uint32_t>(count + 1));
    std::string fortran = digits;
    fortran.insert(static_cast<std::size_t>(pointAt), 1, '.');
    const int exponent = static_cast<int>(random() % 25) - 12;
    if (i % 3 == 0) fortran.append("E").append(std::to_string(exponent));
    const Converted<float> actual = ParseReal(fortran, 0, 0);
    ExpectSame(actual, Reference(fortran), fortran);
  }
}

}  // namespace
}  // namespace recio
