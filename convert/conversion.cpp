// The steps of one conversion, in the order the converter has always taken them.
#include "convert/conversion.h"

#include <algorithm>
#include <span>

#include "convert/scaling.h"

namespace convert {

ConversionResult Conversion::Run() {
  ConversionResult result = ReadTitleAndWriteTitleRecord();
  if (result.ok()) result = ReadBankAndWriteBankRecord();
  if (result.ok()) result = ReadAndScaleValues();
  if (!result.ok()) return result;
  if (int32_t status = recio::Close(scan::kUnit, {}, flags_)) return {status, std::nullopt, false};
  return WriteCountRecords();
}

ConversionResult Conversion::ReadFailed(int32_t status) const {
  return {status, std::nullopt, false, recio::LastRecordRead(scan::kUnit)};
}

// Lines 1-3, then the title record: the title in columns 1-40, the stamp text in 41-80.
ConversionResult Conversion::ReadTitleAndWriteTitleRecord() {
  if (int32_t status = scan::SkipLines(1, flags_)) return ReadFailed(status);
  if (int32_t status = scan::ReadStamp(stamp_, flags_)) return ReadFailed(status);
  auto title = std::span(titleRecord_);
  if (int32_t status = scan::ReadTitle(title.first<scan::kTitleWidth>(), flags_)) {
    return ReadFailed(status);
  }
  powder::FormatStamp(stamp_, title.subspan<powder::kStampColumn, powder::kStampWidth>());
  if (int32_t status = powder::WriteTitleRecord(output_, titleRecord_))
    return {status, std::nullopt, true};
  return {};
}

// Lines 4-29, then the bank record.
ConversionResult Conversion::ReadBankAndWriteBankRecord() {
  if (int32_t status = scan::SkipLines(1, flags_)) return ReadFailed(status);
  if (int32_t status = scan::ReadChannelCount(channels_, flags_)) return ReadFailed(status);
  countRecords_ = powder::CountRecords(channels_);
  if (int32_t status = scan::ReadScaleFactor(scaleFactor_, flags_)) return ReadFailed(status);
  if (int32_t status = scan::SkipLines(5, flags_)) return ReadFailed(status);
  if (int32_t status = scan::ReadCoefficients(coefficients_, flags_)) return ReadFailed(status);
  if (int32_t status = scan::SkipLines(14, flags_)) return ReadFailed(status);
  if (int32_t status = powder::WriteBankRecord(output_, channels_, countRecords_, coefficients_)) {
    return {status, std::nullopt, true};
  }
  return {};
}

// One value line per channel; a negative N reads nothing. N cannot exceed the table, since its
// field has four columns; the bound below only makes that visible. The last record's counts past
// N are 0, also when the table served an earlier scan.
ConversionResult Conversion::ReadAndScaleValues() {
  const int32_t last = std::min(channels_, kTableSize);
  for (int32_t number = 1; number <= last; ++number) {
    if (int32_t status = scan::ReadChannelValue(value_, flags_)) return ReadFailed(status);
    const ScaledCount scaled = ScaleCountOrFault(value_, scaleFactor_);
    if (scaled.fault) {
      if (!flags_.status) recio::ReportMathFault(*scaled.fault);
      return {0, scaled.fault, false, recio::LastRecordRead(scan::kUnit)};
    }
    counts_[static_cast<std::size_t>(number - 1)] = scaled.count;
  }
  const int32_t filled = std::clamp(countRecords_ * powder::kCountsPerRecord, 0, kTableSize);
  std::fill(counts_.begin() + std::clamp(channels_, 0, filled), counts_.begin() + filled, 0);
  return {};
}

// Record k + 2 holds counts 10(k - 1) + 1 to 10k. J advances by ten and only afterwards is held
// at N, so the last record reaches past N into entries that are 0, and never past the table.
ConversionResult Conversion::WriteCountRecords() {
  int32_t first = 1;
  for (int32_t record = 1; record <= countRecords_; ++record) {
    auto ten = std::span<const int32_t>(counts_)
                   .subspan(static_cast<std::size_t>(first - 1))
                   .first<powder::kCountsPerRecord>();
    if (int32_t status =
            powder::WriteCountRecord(output_, record + powder::kFirstCountRecord - 1, ten)) {
      return {status, std::nullopt, true};
    }
    first = std::min(first + powder::kCountsPerRecord, channels_);
  }
  return {};
}

}  // namespace convert
