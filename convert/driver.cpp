// The conversion driver: the steps of one run, in the order the run takes them.
#include "convert/driver.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "convert/powder_file.h"
#include "convert/scaling.h"
#include "convert/scan_file.h"
#include "recio/recio.h"
#include "subs/subs.h"

namespace convert {
namespace {

// The counts table holds every count that the four-column N field can express (N up to 9999)
// and the zeros that fill the last record after it: counts 1 to 10000, count i in entry i - 1.
// Entries past N stay 0, which is what the last count record shows after the last count.
constexpr int32_t kTableSize = 10000;

constexpr std::string_view kInputPrompt = "Enter input X17B EDS datafile name";
constexpr std::string_view kOutputPrompt = "Enter output PAVO datafile name";
constexpr int kNameLength = 80;

// All of the run's data is static and starts at zero. The names start as 80 NUL characters, which
// the open treats like a blank name when a reply leaves them unchanged.
constinit std::array<char, kNameLength> inputName{};
constinit std::array<char, kNameLength> outputName{};
constinit std::array<char, powder::kRecordLength> titleRecord{};
constinit std::array<int32_t, scan::kStampCount> stamp{};
constinit int32_t channels = 0;
constinit int32_t countRecords = 0;
constinit float scaleFactor = 0.0F;
constinit std::array<float, scan::kCoefficientCount> coefficients{};
constinit float value = 0.0F;
constinit std::array<int32_t, kTableSize> counts{};

// The count with number `number` (from 1) and the nine after it.
std::span<const int32_t, powder::kCountsPerRecord> TenCounts(int32_t number) {
  return std::span(counts)
      .subspan(static_cast<std::size_t>(number - 1))
      .first<powder::kCountsPerRecord>();
}

std::span<const char> Text(std::string_view text) {
  return {text.data(), text.size()};
}

// Each name is asked for with mode 1: a second name typed on the line of the first answers the
// second question without a prompt.
void AskName(std::string_view prompt, std::span<char> name) {
  const int32_t mode = 1;
  REDTRMC(Text(prompt), mode, name);
}

void OpenScanFile() {
  recio::OpenSpec spec;
  spec.name = std::span<const char>(inputName);
  spec.status = recio::OpenStatus::kOld;
  recio::Open(scan::kUnit, spec);
}

// An existing powder data file is opened unchanged and never shortened: only the records written
// by this run replace their slots.
void OpenPowderFile() {
  recio::OpenSpec spec;
  spec.name = std::span<const char>(outputName);
  spec.status = recio::OpenStatus::kUnknown;
  spec.access = recio::Access::kDirect;
  spec.form = recio::Form::kFormatted;
  spec.recl = powder::kRecordLength;
  recio::Open(powder::kUnit, spec);
}

// Lines 1-3, then the title record: the title in columns 1-40, the stamp text in 41-80.
void ReadTitleAndWriteTitleRecord() {
  scan::SkipLines(1);
  scan::ReadStamp(stamp);
  scan::ReadTitle(std::span(titleRecord).first<scan::kTitleWidth>());
  powder::FormatStamp(stamp,
                      std::span(titleRecord).subspan<powder::kStampColumn, powder::kStampWidth>());
  powder::WriteTitleRecord(titleRecord);
}

// Lines 4-29, then the bank record.
void ReadBankAndWriteBankRecord() {
  scan::SkipLines(1);
  scan::ReadChannelCount(channels);
  countRecords = powder::CountRecords(channels);
  scan::ReadScaleFactor(scaleFactor);
  scan::SkipLines(5);
  scan::ReadCoefficients(coefficients);
  scan::SkipLines(14);
  powder::WriteBankRecord(channels, countRecords, coefficients);
}

// One value line per channel; a negative N reads nothing. N cannot exceed the table, since its
// field has four columns; the bound below only makes that visible.
void ReadAndScaleValues() {
  const int32_t last = std::min(channels, kTableSize);
  for (int32_t number = 1; number <= last; ++number) {
    scan::ReadChannelValue(value);
    counts[static_cast<std::size_t>(number - 1)] = ScaleCount(value, scaleFactor);
  }
}

// Record k + 2 holds counts 10(k - 1) + 1 to 10k. J advances by ten and only afterwards is held
// at N, so the last record reaches past N into entries that stayed 0, and never past the table.
void WriteCountRecords() {
  int32_t first = 1;
  for (int32_t record = 1; record <= countRecords; ++record) {
    powder::WriteCountRecord(record + powder::kFirstCountRecord - 1, TenCounts(first));
    first = std::min(first + powder::kCountsPerRecord, channels);
  }
}

}  // namespace

void RunConversion() noexcept {
  AskName(kInputPrompt, inputName);
  OpenScanFile();
  AskName(kOutputPrompt, outputName);
  OpenPowderFile();
  ReadTitleAndWriteTitleRecord();
  ReadBankAndWriteBankRecord();
  ReadAndScaleValues();
  recio::Close(scan::kUnit);
  WriteCountRecords();
  recio::Close(powder::kUnit);
  recio::Stop();
}

}  // namespace convert
