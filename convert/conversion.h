// The steps of one conversion, shared by x17b2pavo and x17b2pavo-batch: the scan file read on
// unit 1, the counts scaled, the powder data file's records written.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "convert/powder_file.h"
#include "convert/scaling.h"
#include "convert/scan_file.h"
#include "recio/recio.h"

namespace convert {

/// What a conversion wrote that the reader of its output may not expect: counts too wide for
/// their eight columns (written as asterisks), and a channel count of 0 or less (no counts).
struct ConversionWarnings {
  int64_t firstWideLine = 0;   // the scan line of the first count too wide; 0 when none was
  int64_t firstWideCount = 0;  // that count, as scaled (also when held at a 32-bit limit)
  int32_t moreWide = 0;        // how many more counts were too wide
  bool noChannels = false;     // N is 0 or less: no value was read
  int32_t channels = 0;        // N

  bool any() const { return firstWideLine > 0 || noChannels; }
};

/// How a conversion ended: well, on a failed request (its outcome: the status, the scan line of
/// a failed read, the field text and the system's cause), or on a floating-point fault of the
/// scaling (the outcome of the read of the faulty value: its scan line).
struct ConversionResult {
  recio::Outcome outcome;                 // of the failed request, or of the last read
  std::optional<recio::MathFault> fault;  // the fault of the scaling
  bool onOutput = false;                  // the failed request was a write of the output
  ConversionWarnings warnings;            // of a conversion that ended well

  bool ok() const { return outcome.status == 0 && !fault; }
};

/// One conversion's data, held for reuse: nothing of one scan leaks into the next.
class Conversion {
 public:
  /// The counts table holds every count that the four-column N field can express (N up to 9999)
  /// and the zeros that fill the last record after it: counts 1 to 10000.
  static constexpr int32_t kTableSize = 10000;

  /// Every request of the conversion gives its outcome to the result.
  constexpr Conversion(powder::Output output, recio::Flags flags)
      : output_{output.unit, output.direct, WithOutcome(output.flags)},
        flags_{WithOutcome(flags)} {}

  /// Converts the scan file open on unit 1 into the output, in the converter's order: lines 1-3
  /// and the title record; lines 4-29 and the bank record; the N values, scaled; unit 1 closed;
  /// the count records. Without `flags.status` every failure and fault ends the run, and the
  /// result is always ok; with it, the first failure or fault ends the conversion.
  ConversionResult Run();

  /// The number of count records of the last scan converted (read from its line 5).
  int32_t countRecords() const { return countRecords_; }

 private:
  ConversionResult ReadTitleAndWriteTitleRecord();
  ConversionResult ReadBankAndWriteBankRecord();
  ConversionResult ReadAndScaleValues();
  ConversionResult WriteCountRecords();
  ConversionResult Failed(bool onOutput = false) const;
  void NoteCount(const ScaledCount& scaled);
  constexpr recio::Flags WithOutcome(recio::Flags flags) {
    flags.outcome = &outcome_;
    return flags;
  }

  recio::Outcome outcome_;
  ConversionWarnings warnings_;
  powder::Output output_;
  recio::Flags flags_;
  std::array<char, powder::kRecordLength> titleRecord_{};
  std::array<int32_t, scan::kStampCount> stamp_{};
  int32_t channels_ = 0;
  int32_t countRecords_ = 0;
  float scaleFactor_ = 0.0F;
  std::array<float, scan::kCoefficientCount> coefficients_{};
  float value_ = 0.0F;
  std::array<int32_t, kTableSize> counts_{};
};

}  // namespace convert
