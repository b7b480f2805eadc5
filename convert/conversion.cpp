// The steps of one conversion, in the order the converter has always taken them.
#include "convert/conversion.h"

#include <algorithm>
#include <span>

#include "convert/scaling.h"

namespace convert {

ConversionResult Conversion::Run() {
  warnings_ = {};
  ConversionResult result = ReadTitleAndWriteTitleRecord();
  if (result.ok()) result = ReadBankAndWriteBankRecord();
  if (result.ok()) result = ReadAndScaleValues();
  if (!result.ok()) return result;
  if (recio::Close(scan::kUnit, {}, flags_) != 0) return Failed();
  result = WriteCountRecords();
  result.warnings = warnings_;
  return result;
}

ConversionResult Conversion::Failed(bool onOutput) const {
  return {outcome_, std::nullopt, onOutput, {}};
}

// Lines 1-3, then the title record: the title in columns 1-40, the stamp text in 41-80.
ConversionResult Conversion::ReadTitleAndWriteTitleRecord() {
  if (scan::SkipLines(1, flags_) != 0) return Failed();
  if (scan::ReadStamp(stamp_, flags_) != 0) return Failed();
  auto title = std::span(titleRecord_);
  if (scan::ReadTitle(title.first<scan::kTitleWidth>(), flags_) != 0) return Failed();
  powder::FormatStamp(stamp_, title.subspan<powder::kStampColumn, powder::kStampWidth>());
  if (powder::WriteTitleRecord(output_, titleRecord_) != 0) return Failed(true);
  return {};
}

// Lines 4-29, then the bank record.
ConversionResult Conversion::ReadBankAndWriteBankRecord() {
  if (scan::SkipLines(1, flags_) != 0) return Failed();
  if (scan::ReadChannelCount(channels_, flags_) != 0) return Failed();
  countRecords_ = powder::CountRecords(channels_);
  warnings_.channels = channels_;
  warnings_.noChannels = channels_ <= 0;
  if (scan::ReadScaleFactor(scaleFactor_, flags_) != 0) return Failed();
  if (scan::SkipLines(5, flags_) != 0) return Failed();
  if (scan::ReadCoefficients(coefficients_, flags_) != 0) return Failed();
  if (scan::SkipLines(14, flags_) != 0) return Failed();
  if (powder::WriteBankRecord(output_, channels_, countRecords_, coefficients_) != 0) {
    return Failed(true);
  }
  return {};
}

// One value line per channel; a negative N reads nothing. N cannot exceed the table, since its
// field has four columns; the bound below only makes that visible. The last record's counts past
// N are 0, also when the table served an earlier scan.
ConversionResult Conversion::ReadAndScaleValues() {
  const int32_t last = std::min(channels_, kTableSize);
  for (int32_t number = 1; number <= last; ++number) {
    if (scan::ReadChannelValue(value_, flags_) != 0) return Failed();
    const ScaledCount scaled = ScaleCountOrFault(value_, scaleFactor_);
    if (scaled.fault) {
      if (!flags_.status) recio::ReportMathFault(*scaled.fault);
      return {outcome_, scaled.fault, false, {}};
    }
    counts_[static_cast<std::size_t>(number - 1)] = scaled.count;
    NoteCount(scaled);
  }
  const int32_t filled = std::clamp(countRecords_ * powder::kCountsPerRecord, 0, kTableSize);
  std::fill(counts_.begin() + std::clamp(channels_, 0, filled), counts_.begin() + filled, 0);
  return {};
}

// A count's field has eight columns: one outside -9999999 to 99999999 is written as asterisks.
void Conversion::NoteCount(const ScaledCount& scaled) {
  constexpr int32_t kWidest = 99999999;
  constexpr int32_t kMostNegative = -9999999;
  if (scaled.count >= kMostNegative && scaled.count <= kWidest) return;
  if (warnings_.firstWideLine == 0) {
    warnings_.firstWideLine = outcome_.record;
    warnings_.firstWideCount = scaled.unheld;
  } else {
    ++warnings_.moreWide;
  }
}

// Record k + 2 holds counts 10(k - 1) + 1 to 10k. J advances by ten and only afterwards is held
// at N, so the last record reaches past N into entries that are 0, and never past the table.
ConversionResult Conversion::WriteCountRecords() {
  int32_t first = 1;
  for (int32_t record = 1; record <= countRecords_; ++record) {
    auto ten = std::span<const int32_t>(counts_)
                   .subspan(static_cast<std::size_t>(first - 1))
                   .first<powder::kCountsPerRecord>();
    if (powder::WriteCountRecord(output_, record + powder::kFirstCountRecord - 1, ten) != 0) {
      return Failed(true);
    }
    first = std::min(first + powder::kCountsPerRecord, channels_);
  }
  return {};
}

}  // namespace convert
