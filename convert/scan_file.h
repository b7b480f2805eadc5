// The scan file: which lines and columns the converter reads, their layouts, and the reads.
#pragma once

#include <cstdint>
#include <span>

#include "recio/layout.h"
#include "recio/recio.h"

namespace convert::scan {

/// The unit the scan file is read on.
inline constexpr int32_t kUnit = 1;

/// The header has 29 lines; the channel values follow, one per line.
inline constexpr int kHeaderLines = 29;
inline constexpr int kStampCount = 6;
inline constexpr int kTitleWidth = 40;
inline constexpr int kCoefficientCount = 4;

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

/// Skips `count` lines, one read request each. A failure (the file ending) ends the run.
inline void SkipLines(int count) {
  for (int line = 0; line < count; ++line) recio::Read(kUnit, kLine, {});
}

/// Reads the six stamp integers from the current line (line 2).
inline void ReadStamp(std::span<int32_t, kStampCount> stamp) {
  recio::Read(kUnit, kStamp, {std::span<const int32_t>(stamp)});
}

/// Reads the 40-column scan title from the current line (line 3); a short line is blank-padded.
inline void ReadTitle(std::span<char, kTitleWidth> title) {
  recio::Read(kUnit, kLine, {std::span<char>(title)});
}

/// Reads the channel count N from the current line (line 5).
inline void ReadChannelCount(int32_t& channels) {
  recio::Read(kUnit, kChannelCount, {channels});
}

/// Reads the scale factor from the current line (line 6).
inline void ReadScaleFactor(float& scale) {
  recio::Read(kUnit, kScaleFactor, {scale});
}

/// Reads the four bank coefficients from four consecutive lines (12-15) in one request.
inline void ReadCoefficients(std::span<float, kCoefficientCount> coefficients) {
  recio::Read(kUnit, kCoefficient, {std::span<const float>(coefficients)});
}

/// Reads one channel value from the current line.
inline void ReadChannelValue(float& value) {
  recio::Read(kUnit, kChannelValue, {value});
}

}  // namespace convert::scan
