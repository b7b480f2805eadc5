// Output field conversions: integer fields, 1PEw.d against an independent digit computation, and
// the other scale factors and fixed reals.
#include <gtest/gtest.h>

#include <bit>
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

std::string Integer(int32_t value, int width) {
  std::string field(static_cast<std::size_t>(width), '?');
  FormatInteger(value, field);
  return field;
}

std::string Exponent(float value, int width, int digits, int scale = 1) {
  std::string field(static_cast<std::size_t>(width), '?');
  FormatExponent(value, digits, scale, field);
  return field;
}

std::string Fixed(float value, int width, int digits, int scale = 0) {
  std::string field(static_cast<std::size_t>(width), '?');
  FormatFixed(value, digits, scale, field);
  return field;
}

TEST(IntegerOutputTest, RightAlignedWithoutLeadingZerosOrPlus) {
  EXPECT_EQ(Integer(5, 2), " 5");
  EXPECT_EQ(Integer(-999, 4), "-999");
  EXPECT_EQ(Integer(0, 8), "       0");
  EXPECT_EQ(Integer(-1234567, 8), "-1234567");
  EXPECT_EQ(Integer(2048, 5), " 2048");
  EXPECT_EQ(Integer(std::numeric_limits<int32_t>::min(), 11), "-2147483648");
  EXPECT_EQ(Integer(std::numeric_limits<int32_t>::max(), 12), "  2147483647");
}

TEST(IntegerOutputTest, TooWideGivesAsterisks) {
  EXPECT_EQ(Integer(-1000, 4), "****");
  EXPECT_EQ(Integer(123456, 5), "*****");
  EXPECT_EQ(Integer(123456789, 8), "********");
  EXPECT_EQ(Integer(12345, 4), "****");
  EXPECT_EQ(Integer(-1, 1), "*");
  EXPECT_EQ(Integer(std::numeric_limits<int32_t>::min(), 10), "**********");
}

TEST(ExponentOutputTest, BankRecordExamples) {
  EXPECT_EQ(Exponent(1234.5f, 13, 5), "  1.23450E+03");
  EXPECT_EQ(Exponent(-0.001f, 13, 5), " -1.00000E-03");
  EXPECT_EQ(Exponent(0.99999997f, 13, 5), "  1.00000E+00");
  EXPECT_EQ(Exponent(0.0f, 13, 5), "  0.00000E+00");
  EXPECT_EQ(Exponent(-0.0f, 13, 5), "  0.00000E+00");
  EXPECT_EQ(Exponent(1.2345649f, 13, 5), "  1.23456E+00");
  EXPECT_EQ(Exponent(1.2345650f, 13, 5), "  1.23457E+00");
}

TEST(ExponentOutputTest, CarriesExponentsAndExtremes) {
  EXPECT_EQ(Exponent(9.999995f, 13, 5), "  1.00000E+01");  // 9.99999523... carries out of D1
  EXPECT_EQ(Exponent(-9.999995f, 13, 5), " -1.00000E+01");
  EXPECT_EQ(Exponent(1.0e-10f, 13, 5), "  1.00000E-10");
  EXPECT_EQ(Exponent(std::numeric_limits<float>::max(), 13, 5), "  3.40282E+38");
  EXPECT_EQ(Exponent(std::numeric_limits<float>::denorm_min(), 13, 5), "  1.40130E-45");
  EXPECT_EQ(Exponent(100.0f, 13, 5), "  1.00000E+02");
}

TEST(ExponentOutputTest, AtMostSevenSignificantDigits) {
  // 1/3 as a float is 0.3333333432...; the eighth digit and beyond are written as 0.
  EXPECT_EQ(Exponent(1.0f / 3.0f, 17, 10), " 3.3333330000E-01");
  // 0.1f is 0.100000001490116...; rounding at the seventh digit drops the tail.
  EXPECT_EQ(Exponent(0.1f, 16, 10), "1.0000000000E-01");
  // d + 1 below 7 rounds at d + 1, half up.
  EXPECT_EQ(Exponent(2.5f, 7, 0), " 3.E+00");
}

TEST(ExponentOutputTest, NarrowFieldOrNonFiniteGivesAsterisks) {
  EXPECT_EQ(Exponent(-1.0f, 11, 5), "***********");
  EXPECT_EQ(Exponent(1.0f, 11, 5), "1.00000E+00");
  EXPECT_EQ(Exponent(std::numeric_limits<float>::infinity(), 13, 5), "*************");
  EXPECT_EQ(Exponent(std::numeric_limits<float>::quiet_NaN(), 13, 5), "*************");
}

TEST(ExponentOutputTest, OtherScaleFactorsMoveThePoint) {
  EXPECT_EQ(Exponent(1234.5f, 12, 4, 0), "  0.1235E+04");
  EXPECT_EQ(Exponent(1234.5f, 12, 4, 2), "  12.345E+02");
  EXPECT_EQ(Exponent(1234.5f, 12, 4, -1), "  0.0123E+05");
  EXPECT_EQ(Exponent(0.0f, 12, 4, 0), "  0.0000E+00");
  EXPECT_EQ(Exponent(1234.5f, 9, 4, 0), ".1235E+04");  // the leading zero is optional
  // Scale factors that leave no digit, or more digits before the point than exist, are refused.
  EXPECT_EQ(Exponent(1234.5f, 12, 4, -4), "************");
  EXPECT_EQ(Exponent(1234.5f, 12, 4, 6), "************");
}

TEST(FixedOutputTest, RoundsHalfUpAtTheLastDecimal) {
  EXPECT_EQ(Fixed(3.14159f, 10, 3), "     3.142");
  EXPECT_EQ(Fixed(9.996f, 5, 2), "10.00");
  EXPECT_EQ(Fixed(123.5f, 8, 0), "    124.");
  EXPECT_EQ(Fixed(-2.5f, 6, 1), "  -2.5");
  EXPECT_EQ(Fixed(0.0f, 6, 2), "  0.00");
  EXPECT_EQ(Fixed(0.006f, 6, 2), "  0.01");
  EXPECT_EQ(Fixed(-0.001f, 6, 2), "  0.00");  // rounds to zero: no sign
  EXPECT_EQ(Fixed(0.5f, 3, 2), ".50");        // leading zero dropped to fit
  EXPECT_EQ(Fixed(-0.5f, 3, 2), "***");
  EXPECT_EQ(Fixed(1.5f, 8, 2, 2), "  150.00");  // 2P multiplies by 100
  // A float shows at most seven significant digits; 123456789 is stored as 123456792.
  EXPECT_EQ(Fixed(123456789.0f, 14, 2), "  123456800.00");
  EXPECT_EQ(Fixed(123456789.0f, 10, 2), "**********");
}

// The expected 1PEw.d text, computed independently: printf's 17 significant digits of the double
// value, rounded half up in integer arithmetic to min(d + 1, 7) digits.
std::string ExpectedExponent(float value, int width, int digits) {
  if (value == 0.0f) value = 0.0f;  // both zeros print unsigned
  char printed[40];
  std::snprintf(printed, sizeof printed, "%.16e", std::fabs(static_cast<double>(value)));
  std::string mantissa = std::string{printed[0]} + std::string{printed + 2, 16};
  int exponent = std::atoi(printed + 19);
  uint64_t all = std::strtoull(mantissa.c_str(), nullptr, 10);
  const int kept = std::min(digits + 1, 7);
  uint64_t unit = 1;
  for (int i = 0; i < 17 - kept; ++i) unit *= 10;
  uint64_t rounded = all / unit + (all % unit >= unit / 2 ? 1 : 0);
  uint64_t top = 1;
  for (int i = 0; i < kept; ++i) top *= 10;
  if (rounded == top) {
    rounded /= 10;
    ++exponent;
  }
  if (value == 0.0f) exponent = 0;
  std::string digitsText = std::to_string(rounded);
  digitsText.resize(static_cast<std::size_t>(digits + 1), '0');
  char text[64];
  std::snprintf(text, sizeof text, "%s%c.%sE%c%02d", value < 0.0f ? "-" : "", digitsText[0],
                digitsText.c_str() + 1, exponent < 0 ? '-' : '+', std::abs(exponent));
  std::string field = text;
  if (field.size() > static_cast<std::size_t>(width)) return std::string(width, '*');
  return std::string(width - field.size(), ' ') + field;
}

TEST(ExponentOutputTest, RandomFloatsMatchIndependentDigits) {
  std::mt19937 random{20240611};
  for (int i = 0; i < 300000; ++i) {
    const float value = std::bit_cast<float>(static_cast<uint32_t>(random()));
    if (!std::isfinite(value)) continue;
    const int digits = i % 4 == 0 ? static_cast<int>(random() % 10) : 5;
    const int width = digits + 8;
    const std::string expected = ExpectedExponent(value, width, digits);
    const std::string actual = Exponent(value, width, digits);
    ASSERT_EQ(actual, expected) << std::hexfloat << value;
  }
}

TEST(ExponentOutputTest, RoundingBoundariesMatchIndependentDigits) {
  // Neighbours of values whose seventh digit is exactly 5, where half-up rounding decides.
  for (uint32_t significand = 1000000; significand < 10000000; significand += 7919) {
    for (int exponent = -40; exponent <= 38; exponent += 13) {
      const float centre = static_cast<float>((significand + 0.5) * std::pow(10.0, exponent - 6));
      if (!std::isfinite(centre)) continue;
      for (float value : {std::nextafter(centre, 0.0f), centre,
                          std::nextafter(centre, std::numeric_limits<float>::max())}) {
        ASSERT_EQ(Exponent(value, 13, 5), ExpectedExponent(value, 13, 5)) << std::hexfloat << value;
        ASSERT_EQ(Exponent(-value, 13, 5), ExpectedExponent(-value, 13, 5));
      }
    }
  }
}

}  // namespace
}  // namespace recio
