// The powder data file: its three record layouts and the writes of each record by number.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <span>

#include "recio/layout.h"
#include "recio/recio.h"

namespace convert::powder {

/// The unit the powder data file is written on, and its record length: 80 columns, stored as
/// 82 bytes with CR LF.
inline constexpr int32_t kUnit = 2;
inline constexpr int32_t kRecordLength = 80;

inline constexpr int32_t kTitleRecord = 1;
inline constexpr int32_t kBankRecord = 2;
inline constexpr int32_t kFirstCountRecord = 3;
inline constexpr int kCountsPerRecord = 10;
/// Columns 1-40 of the title record hold the scan title, columns 41-80 the stamp text.
inline constexpr int kStampColumn = 40;
inline constexpr int kStampWidth = 40;

/// The title record, written whole.
inline constexpr recio::Layout kTitle{"(A)"};
/// The stamp text, formatted into columns 41-80 of the title record as an internal record:
/// 1996: 3: 6: 5:59:59 followed by blanks.
inline constexpr recio::Layout kStampText{"(I4,5(':',I2))"};
/// The bank record: N and NREC in five columns each, then the four coefficients in exponent form.
inline constexpr recio::Layout kBank{"('BANK 1',2I5,' EDS',4(1PE13.5),' STD')"};
/// A count record: ten counts of eight columns.
inline constexpr recio::Layout kCounts{"(10I8)"};

/// The number of count records for `channels` counts: (N - 1) / 10 + 1, truncating toward zero,
/// so N = 0 gives 1 and N = -9 gives 0.
constexpr int32_t CountRecords(int32_t channels) {
  return (channels - 1) / kCountsPerRecord + 1;
}

/// Where the records go: by number into the slots of a direct-access unit (x17b2pavo), or, for a
/// file that appears only whole, one after the other to a sequential unit (the batch program).
/// Each record is then formatted into 80 columns first, so both give the same bytes: the text,
/// blanks to column 80, CR LF.
struct Output {
  int32_t unit = kUnit;
  bool direct = true;
  recio::Flags flags;
};

/// Writes record `number` with `layout` and `items`; returns the request status (0 unless
/// `output.flags` asks for failures as a status).
inline int32_t WriteRecord(const Output& output, int32_t number, const recio::Layout& layout,
                           std::initializer_list<recio::OutputItem> items) {
  if (output.direct) return recio::WriteRecord(output.unit, number, layout, items, output.flags);
  std::array<char, kRecordLength> record;
  if (int32_t status = recio::WriteInternal(record, layout, items, output.flags)) return status;
  return recio::Write(output.unit, kTitle, {std::span<const char>(record)}, output.flags);
}

/// Formats the six stamp integers into the 40-column stamp text.
inline void FormatStamp(std::span<const int32_t, 6> stamp, std::span<char, kStampWidth> text) {
  recio::WriteInternal(text, kStampText, {std::span<const int32_t>(stamp)});
}

/// Writes the 80-column title record as record 1.
inline int32_t WriteTitleRecord(const Output& output, std::span<const char, kRecordLength> title) {
  return WriteRecord(output, kTitleRecord, kTitle, {std::span<const char>(title)});
}

/// Writes the bank record as record 2.
inline int32_t WriteBankRecord(const Output& output, const int32_t& channels,
                               const int32_t& records, std::span<const float, 4> coefficients) {
  return WriteRecord(output, kBankRecord, kBank,
                     {channels, records, std::span<const float>(coefficients)});
}

/// Writes the ten counts as record `recordNumber`.
inline int32_t WriteCountRecord(const Output& output, int32_t recordNumber,
                                std::span<const int32_t, kCountsPerRecord> counts) {
  return WriteRecord(output, recordNumber, kCounts, {std::span<const int32_t>(counts)});
}

}  // namespace convert::powder
