// Tests of the rounding of one scaled channel value, against an exact integer model of the rule.
#include "convert/scaling.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <random>
#include <string>

namespace convert {
namespace {

constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
constexpr int32_t kMin = std::numeric_limits<int32_t>::min();

// Products of two significands and the half beside them need more than 64 bits.
__extension__ typedef unsigned __int128 Wide;

// The rule worked out with integers only: the value and the scale as significand times a power
// of two, their product, the half added away from zero, rounding to 24 significant bits with ties
// to even, truncation, and the 32-bit limits. Empty when the rounded magnitude is 2^63 or more.
std::optional<int64_t> ExactCount(float value, float scale) {
  auto split = [](float x, int64_t& significand, int& exponent) {
    const uint32_t bits = std::bit_cast<uint32_t>(x);
    const int biased = static_cast<int>((bits >> 23) & 0xFF);
    significand = bits & 0x7FFFFF;
    if (biased != 0) significand |= 0x800000;
    exponent = (biased == 0 ? 1 : biased) - 127 - 23;
    if (bits >> 31) significand = -significand;
  };
  int64_t sv = 0;
  int64_t ss = 0;
  int ev = 0;
  int es = 0;
  split(value, sv, ev);
  split(scale, ss, es);
  const bool negative = (sv < 0) != (ss < 0) && sv != 0 && ss != 0;
  // |p| = m * 2^e exactly, m below 2^48.
  Wide m = static_cast<Wide>(sv < 0 ? -sv : sv) * static_cast<Wide>(ss < 0 ? -ss : ss);
  int e = ev + es;
  // |q| = |p| + 1/2 as a * 2^f with f = min(e, -1).
  const int f = std::min(e, -1);
  if (e - f > 60 || -1 - f > 120) return std::nullopt;  // outside what the test draws
  Wide a = (m << (e - f)) + (static_cast<Wide>(1) << (-1 - f));
  // Round a to 24 significant bits, ties to even.
  int length = 0;
  for (Wide t = a; t != 0; t >>= 1) ++length;
  int g = f;
  if (length > 24) {
    const int drop = length - 24;
    const Wide rest = a & ((static_cast<Wide>(1) << drop) - 1);
    const Wide half = static_cast<Wide>(1) << (drop - 1);
    a >>= drop;
    if (rest > half || (rest == half && (a & 1) != 0)) ++a;
    g += drop;
  }
  // Truncate toward zero.
  Wide magnitude = 0;
  if (g >= 0) {
    if (g >= 40) return std::nullopt;
    magnitude = a << g;
  } else {
    magnitude = g <= -100 ? 0 : a >> -g;
  }
  if (magnitude >= (static_cast<Wide>(1) << 63)) return std::nullopt;
  int64_t count = static_cast<int64_t>(magnitude);
  if (negative) count = -count;
  return std::clamp<int64_t>(count, kMin, kMax);
}

struct Case {
  float value;
  float scale;
  int32_t count;
};

TEST(ScaleCountTest, RoundsHalvesAwayFromZeroForOrdinaryMagnitudes) {
  const Case cases[] = {
      {5.0F, 0.5F, 3},     {-5.0F, 0.5F, -3},    {2.5F, 1.0F, 3},   {-2.5F, 1.0F, -3},
      {0.49F, 1.0F, 0},    {-0.49F, 1.0F, 0},    {0.5F, 1.0F, 1},   {-0.5F, 1.0F, -1},
      {1.5F, 1.0F, 2},     {-1.5F, 1.0F, -2},    {12.5F, 2.0F, 25}, {123.0F, 1.0F, 123},
      {7.0F, -1.0F, -7},   {-7.0F, -1.0F, 7},    {0.0F, 3.0F, 0},   {-0.0F, 3.0F, 0},
      {1.0e-30F, 1.0F, 0}, {-1.0e-30F, 1.0F, 0}, {99.4F, 1.0F, 99}, {-99.6F, 1.0F, -100},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ScaleCount(c.value, c.scale), c.count) << c.value << " x " << c.scale;
  }
}

TEST(ScaleCountTest, ScaleZeroGivesZeroForEveryValue) {
  for (float value : {0.0F, 1.0F, -1.0F, 3.0e38F, -3.0e38F, 1.0e-38F}) {
    EXPECT_EQ(ScaleCount(value, 0.0F), 0) << value;
  }
}

// The half is added before the rounding to single precision, so a product just below a half
// reaches the next integer: 0.5 - 2^-25 plus 0.5 ties between 1 - 2^-24 and 1, and goes to 1.
TEST(ScaleCountTest, SinglePrecisionRoundingOfTheShiftedProductDecides) {
  const float justBelowHalf = std::nextafter(0.5F, 0.0F);
  EXPECT_EQ(ScaleCount(justBelowHalf, 1.0F), 1);
  EXPECT_EQ(ScaleCount(-justBelowHalf, 1.0F), -1);
  // One step further down the sum is representable and truncates to 0.
  EXPECT_EQ(ScaleCount(std::nextafter(justBelowHalf, 0.0F), 1.0F), 0);
}

// From 2^22 to 2^23 singles are half a unit apart: n + 0.25 + 0.5 ties and goes to the even
// neighbour n + 1. Exact rounding would give n. The product n + 0.25 is (4n + 1) / 4, which needs
// 25 bits; for n = 6 (mod 25) it is a 24-bit value times 6.25.
TEST(ScaleCountTest, QuarterAboveAnIntegerFrom2To22Up) {
  for (int64_t n : {int64_t{4194306}, int64_t{4194331}, int64_t{6000006}, int64_t{8388606}}) {
    ASSERT_GE(n, int64_t{1} << 22);
    ASSERT_LT(n, int64_t{1} << 23);
    ASSERT_EQ((4 * n + 1) % 25, 0);
    const float value = static_cast<float>((4 * n + 1) / 25);
    EXPECT_EQ(ScaleCount(value, 6.25F), n + 1) << n;
    EXPECT_EQ(ScaleCount(-value, 6.25F), -(n + 1)) << n;
  }
  // Below 2^22 singles are a quarter apart, and the same kind of product rounds as usual.
  EXPECT_EQ(ScaleCount(671085.0F, 6.25F), 4194281);
  EXPECT_EQ(ScaleCount(-671085.0F, 6.25F), -4194281);
}

// From 2^24 to 2^25 singles are two apart: an odd product m plus 0.5 rounds to m + 1.
TEST(ScaleCountTest, OddProductFrom2To24UpGoesToTheEvenIntegerAbove) {
  for (int64_t third : {int64_t{5592407}, int64_t{5592409}, int64_t{11184809}}) {
    const int64_t product = 3 * third;
    ASSERT_EQ(product % 2, 1);
    ASSERT_GE(product, int64_t{1} << 24);
    ASSERT_LT(product, int64_t{1} << 25);
    EXPECT_EQ(ScaleCount(static_cast<float>(third), 3.0F), product + 1) << product;
    EXPECT_EQ(ScaleCount(static_cast<float>(-third), 3.0F), -(product + 1)) << product;
  }
  // An even product stays where it is.
  EXPECT_EQ(ScaleCount(5592406.0F, 3.0F), 16777218);
}

// Beyond the 32-bit range the count is held at the nearest limit, never wrapped.
TEST(ScaleCountTest, CountsBeyondThirtyTwoBitsAreHeldAtTheLimit) {
  EXPECT_EQ(ScaleCount(3.0e9F, 1.0F), kMax);
  EXPECT_EQ(ScaleCount(-3.0e9F, 1.0F), kMin);
  EXPECT_EQ(ScaleCount(4294967301.0F, 1.0F), kMax);  // 2^32 in single precision: wraps to 0
  EXPECT_EQ(ScaleCount(4294968296.0F, 1.0F), kMax);  // would wrap to 1024
  EXPECT_EQ(ScaleCount(0x1p31F, 1.0F), kMax);
  EXPECT_EQ(ScaleCount(-0x1p31F, 1.0F), kMin);  // exactly the lower limit
  EXPECT_EQ(ScaleCount(-0x1p31F, -1.0F), kMax);
  EXPECT_EQ(ScaleCount(2147483520.0F, 1.0F), 2147483520);  // largest single below 2^31
  EXPECT_EQ(ScaleCount(-2147483520.0F, 1.0F), -2147483520);
  EXPECT_EQ(ScaleCount(std::nextafter(0x1p63F, 0.0F), 1.0F), kMax);  // still under 2^63
  EXPECT_EQ(ScaleCount(-std::nextafter(0x1p63F, 0.0F), 1.0F), kMin);
}

// Random products across the whole range the converter meets, checked against the integer model.
TEST(ScaleCountTest, AgreesWithTheExactModelOnRandomProducts) {
  std::mt19937_64 random(20240601);
  std::uniform_int_distribution<uint32_t> significand(0, 0x7FFFFF);
  std::uniform_int_distribution<int> exponent(-40, 64);
  std::uniform_int_distribution<int> coin(0, 1);
  int compared = 0;
  for (int i = 0; i < 300000; ++i) {
    const int ev = exponent(random);
    const int es = std::clamp(exponent(random) / 2 - ev / 2, -60, 60);
    auto make = [&](int e) {
      const uint32_t biased = static_cast<uint32_t>(std::clamp(e + 127, 1, 254));
      const uint32_t sign = coin(random) ? 0x80000000U : 0U;
      return std::bit_cast<float>(sign | (biased << 23) | significand(random));
    };
    const float value = make(ev);
    const float scale = make(es);
    const std::optional<int64_t> expected = ExactCount(value, scale);
    if (!expected) continue;
    ASSERT_EQ(ScaleCount(value, scale), *expected) << std::hexfloat << value << " x " << scale;
    ++compared;
  }
  EXPECT_GT(compared, 250000);
}

// Products right next to a half, where the addition and the single rounding interact most.
TEST(ScaleCountTest, AgreesWithTheExactModelNextToHalves) {
  int compared = 0;
  for (int64_t whole = 0; whole < (int64_t{1} << 26); whole = whole * 3 + 1) {
    for (int shift = 1; shift <= 8; ++shift) {
      const float half = static_cast<float>(whole) + 0.5F;
      for (float value : {half, std::nextafter(half, 0.0F), std::nextafter(half, 1.0e30F)}) {
        for (float scale : {1.0F, 0.5F, 0.25F, -1.0F, 3.0F}) {
          const float scaled = std::ldexp(value, shift - 4);
          const std::optional<int64_t> expected = ExactCount(scaled, scale);
          ASSERT_TRUE(expected.has_value());
          ASSERT_EQ(ScaleCount(scaled, scale), *expected)
              << std::hexfloat << scaled << " x " << scale;
          ++compared;
        }
      }
    }
  }
  EXPECT_GT(compared, 1000);
}

// The fault messages as a death test captures them. On Windows googletest reads the child's
// standard error in text mode, which makes each CR LF an LF; the bytes themselves are checked by
// the whole-program tests there.
#ifdef _WIN32
const std::string kLineEnd = "\n";
#else
const std::string kLineEnd = "\r\n";
#endif
const std::string kInvalidMessage = kLineEnd + "run-time error M6101: MATH" + kLineEnd +
                                    "- floating-point error: invalid" + kLineEnd;
const std::string kOverflowMessage = kLineEnd + "run-time error M6104: MATH" + kLineEnd +
                                     "- floating-point error: overflow" + kLineEnd;

// A rounded magnitude of 2^63 or more cannot be truncated to 64 bits: an invalid operation.
TEST(ScaleCountDeathTest, MagnitudeOfTwoToTheSixtyThreeIsInvalid) {
  EXPECT_EXIT(ScaleCount(1.0e19F, 1.0F), testing::ExitedWithCode(1), kInvalidMessage);
  EXPECT_EXIT(ScaleCount(0x1p63F, 1.0F), testing::ExitedWithCode(1), kInvalidMessage);
  EXPECT_EXIT(ScaleCount(-0x1p63F, 1.0F), testing::ExitedWithCode(1), kInvalidMessage);
  EXPECT_EXIT(ScaleCount(0x1p62F, -2.0F), testing::ExitedWithCode(1), kInvalidMessage);
  // The largest single value still rounds to itself: invalid, not overflow.
  EXPECT_EXIT(ScaleCount(std::numeric_limits<float>::max(), 1.0F), testing::ExitedWithCode(1),
              kInvalidMessage);
}

// A product whose single-precision rounding leaves the range is an overflow.
TEST(ScaleCountDeathTest, ProductBeyondTheSingleRangeOverflows) {
  EXPECT_EXIT(ScaleCount(3.0e38F, 10.0F), testing::ExitedWithCode(1), kOverflowMessage);
  EXPECT_EXIT(ScaleCount(-3.0e38F, 10.0F), testing::ExitedWithCode(1), kOverflowMessage);
  EXPECT_EXIT(ScaleCount(1.0e30F, 1.0e30F), testing::ExitedWithCode(1), kOverflowMessage);
  // 31 * 2^100 times 1082401 * 2^3 is 2^128 - 2^103, the tie between the largest single and
  // 2^128, which rounds to the even 2^128: an overflow.
  EXPECT_EXIT(ScaleCount(std::ldexp(31.0F, 100), 1082401.0F * 8.0F), testing::ExitedWithCode(1),
              kOverflowMessage);
}

}  // namespace
}  // namespace convert
