// Scaling and rounding of one channel value into a count of the powder data file.
#pragma once

#include <cstdint>
#include <optional>

#include "recio/recio.h"

namespace convert {

/// A count, or the floating-point fault that stopped it.
struct ScaledCount {
  int32_t count = 0;
  std::optional<recio::MathFault> fault;
  int64_t unheld = 0;  // the count before it was held at a 32-bit limit
};

/// The count for one channel `value` times the scan's `scale` factor, rounded the way the
/// converter has always rounded:
///   1. the product is formed exactly in double precision;
///   2. 0.5 is subtracted from a negative product and added to any other;
///   3. the result is rounded to single precision (nearest, ties to even);
///   4. it is truncated toward zero to a 64-bit integer.
/// For ordinary magnitudes this rounds halves away from zero; from 2^22 up the single-precision
/// rounding of step 3 can move the result. A result outside the 32-bit range is held at the
/// nearest 32-bit limit. The fault is "overflow" when step 3 leaves the single-precision range,
/// and "invalid" when the rounded magnitude is 2^63 or more.
ScaledCount ScaleCountOrFault(float value, float scale) noexcept;

/// As ScaleCountOrFault, but a fault ends the run with the floating-point fault message.
int32_t ScaleCount(float value, float scale) noexcept;

}  // namespace convert
