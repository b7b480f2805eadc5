// The scan file: which lines and columns the converter reads, their layouts, and the reads.
#pragma once

#include <cstdint>
#include <span>

#include "recio/layout.h"
#include "recio/recio.h"

namespace convert::scan {

/// The unit the scan file is read on.
inline constexpr int32_t kUnit = 1;

// The header has 29 lines; the channel values follow, one per line.
inline constexpr int kStampCount = 6;
inline constexpr int kTitleWidth = 40;
inline constexpr int kCoefficientCount = 4;
/// The line that holds the channel count N.
inline constexpr int kChannelCountLine = 5;

/// A whole line: with no items it skips one line, into a text variable it reads the title.
inline constexpr recio::Layout kLine{"(A)"};
/// Line 2: six stamp integers of four columns each in columns 25-48.
inline constexpr recio::Layout kStamp{"(24X,6I4)"};
/// Line 5: the channel count N in columns 25-28.
inline constexpr recio::Layout kChannelCount{"(24X,I4)"};
/// Line 6: the scale factor in columns 25-34; without a decimal point it is a whole number.
inline constexpr recio::Layout kScaleFactor{"(24X,F10.0)"};
/// Lines 12-15: one coefficient in columns 25-48 of each line; the layout restarts on the next
/// line for every further item. Without a decimal point a coefficient is divided by 10^18.
inline constexpr recio::Layout kCoefficient{"(24X,E24.18)"};
/// Lines 30 on: one channel value in columns 1-10.
inline constexpr recio::Layout kChannelValue{"(F10.0)"};

// Each read returns the request status: always 0 without `flags.status`, where a failure (the
// file ending, a malformed field) ends the run through the failure report.

/// Skips `count` lines, one read request each; stops at the first that fails.
inline int32_t SkipLines(int count, recio::Flags flags) {
  for (int line = 0; line < count; ++line) {
    if (int32_t status = recio::Read(kUnit, kLine, {}, flags)) return status;
  }
  return 0;
}

/// Reads the six stamp integers from the current line (line 2).
inline int32_t ReadStamp(std::span<int32_t, kStampCount> stamp, recio::Flags flags) {
  return recio::Read(kUnit, kStamp, {std::span<int32_t>(stamp)}, flags);
}

/// Reads the 40-column scan title from the current line (line 3); a short line is blank-padded.
inline int32_t ReadTitle(std::span<char, kTitleWidth> title, recio::Flags flags) {
  return recio::Read(kUnit, kLine, {std::span<char>(title)}, flags);
}

/// Reads the channel count N from the current line (line 5).
inline int32_t ReadChannelCount(int32_t& channels, recio::Flags flags) {
  return recio::Read(kUnit, kChannelCount, {channels}, flags);
}

/// Reads the scale factor from the current line (line 6).
inline int32_t ReadScaleFactor(float& scale, recio::Flags flags) {
  return recio::Read(kUnit, kScaleFactor, {scale}, flags);
}

/// Reads the four bank coefficients from four consecutive lines (12-15) in one request.
inline int32_t ReadCoefficients(std::span<float, kCoefficientCount> coefficients,
                                recio::Flags flags) {
  return recio::Read(kUnit, kCoefficient, {std::span<float>(coefficients)}, flags);
}

/// Reads one channel value from the current line.
inline int32_t ReadChannelValue(float& value, recio::Flags flags) {
  return recio::Read(kUnit, kChannelValue, {value}, flags);
}

}  // namespace convert::scan
