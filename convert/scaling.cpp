// Scaling and rounding of one channel value, with explicit floating-point fault checks.
#include "convert/scaling.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "recio/recio.h"

namespace convert {
namespace {

// The smallest magnitude that rounds to infinity in single precision: the largest finite value
// plus half of its unit in the last place (the tie rounds to the even neighbour, 2^128).
constexpr double kSingleOverflow = 0x1p128 - 0x1p103;
// The smallest magnitude that a 64-bit signed truncation refuses. -2^63 itself would fit, but the
// converter has always treated every magnitude from 2^63 up as an invalid operation.
constexpr float kInvalidMagnitude = 0x1p63f;

}  // namespace

ScaledCount ScaleCountOrFault(float value, float scale) noexcept {
  // Two 24-bit significands give at most 48 bits: the double product is exact.
  const double product = static_cast<double>(value) * static_cast<double>(scale);
  // The half is added in double precision; below 2^52 the sum is exact too, and above it the
  // count is held at a 32-bit limit whatever the last bit is.
  const double shifted = product < 0.0 ? product - 0.5 : product + 0.5;

  // The checks come before the conversions that would fault, so nothing here depends on whether
  // the hardware traps or on how the compiler orders the arithmetic.
  if (std::isnan(shifted)) return {0, recio::MathFault::kInvalid};
  if (std::fabs(shifted) >= kSingleOverflow) return {0, recio::MathFault::kOverflow};
  const float rounded = static_cast<float>(shifted);
  if (std::fabs(rounded) >= kInvalidMagnitude) return {0, recio::MathFault::kInvalid};

  const int64_t truncated = static_cast<int64_t>(rounded);
  // A count beyond the 32-bit range is held at the nearest limit instead of keeping its low
  // 32 bits, so a huge count shows as asterisks and never as a small wrong number.
  constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
  constexpr int64_t kMin = std::numeric_limits<int32_t>::min();
  return {static_cast<int32_t>(std::clamp(truncated, kMin, kMax)), std::nullopt, truncated};
}

int32_t ScaleCount(float value, float scale) noexcept {
  const ScaledCount scaled = ScaleCountOrFault(value, scale);
  if (scaled.fault) recio::ReportMathFault(*scaled.fault);
  return scaled.count;
}

}  // namespace convert
