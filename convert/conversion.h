// The steps of one conversion, shared by x17b2pavo and x17b2pavo-batch: the scan file read on
// unit 1, the counts scaled, the powder data file's records written.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "convert/powder_file.h"
#include "convert/scan_file.h"
#include "recio/recio.h"

namespace convert {

/// How a conversion ended: well, on a failed request (its status), or on a floating-point fault
/// of the scaling.
struct ConversionResult {
  int32_t status = 0;                     // the failed request's status
  std::optional<recio::MathFault> fault;  // the fault of the scaling
  bool onOutput = false;                  // the failed request was a write of the output
  int64_t line = 0;                       // the scan line of a failed read or of a faulty value

  bool ok() const { return status == 0 && !fault; }
};

/// One conversion's data, held for reuse: nothing of one scan leaks into the next.
class Conversion {
 public:
  /// The counts table holds every count that the four-column N field can express (N up to 9999)
  /// and the zeros that fill the last record after it: counts 1 to 10000.
  static constexpr int32_t kTableSize = 10000;

  constexpr Conversion(powder::Output output, recio::Flags flags)
      : output_{output}, flags_{flags} {}

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
  ConversionResult ReadFailed(int32_t status) const;

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
