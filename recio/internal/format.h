// The formatted transfer: walks a record layout against an item list over one record port.
#pragma once

#include <cstddef>
#include <span>

#include "recio/internal/record_port.h"
#include "recio/items.h"
#include "recio/layout.h"

namespace recio {

/// Runs one whole formatted read over `port`: walks `layout` against `items`, stores each field
/// into its element, runs the final pass, then skips the rest of the last record. A record break
/// or a restart inside the read skips to the next record. Failures leave through Fail(); what was
/// stored before the failure stays. `blankZero` is the BLANK=ZERO mode (blanks in numeric fields
/// are zeros); the default mode drops them.
void RunRead(RecordPort& port, const Layout& layout, InputItems items, bool blankZero = false);

/// Runs one whole formatted write over `port`: walks `layout` against `items`, writes each
/// element into its field, runs the final pass, then completes the last record
/// (port.CompleteRecord(stayOnLine)). A record break or a restart completes the record and goes
/// on with the next one. Failures leave through Fail(); what was written before stays.
void RunWrite(RecordPort& port, const Layout& layout, OutputItems items);

/// An internal record (a character variable) as a write-only record port. Append fails with
/// "internal file overflow" past the record's end, keeping what fitted; CompleteRecord blank-fills
/// the columns after the last one written. A second record (a record break or a restart) is past
/// the end as well. Reading it fails with "file not open for reading or file locked".
class InternalRecordPort final : public RecordPort {
 public:
  explicit InternalRecordPort(std::span<char> record) : record_{record} {}

  std::span<const char> Run(std::size_t wanted) override;
  void Advance(std::size_t count) override;
  void SkipRecord() override;
  void Append(std::span<const char> text) override;
  void CompleteRecord(bool stayOnLine) override;

  /// Columns written so far.
  std::size_t column() const { return column_; }

 private:
  std::span<char> record_;
  std::size_t column_ = 0;
  bool completed_ = false;
};

}  // namespace recio
