// The formatted transfer: walks a record layout against an item list over one record port.
#pragma once

#include <cstddef>
#include <span>

#include "recio/items.h"
#include "recio/layout.h"
#include "recio/record_port.h"

namespace recio {

enum class Direction { kRead, kWrite };

/// Runs one whole formatted transfer over `port`: walks `layout` against `items`, converts each
/// element, runs the final pass, then completes the last output record
/// (port.CompleteRecord(stayOnLine)) or skips the rest of the last input record
/// (port.SkipRecord()). A record break or a restart inside a write completes the record and goes
/// on with the next one; inside a read it skips to the next record. Failures leave through Fail():
/// what was stored or written before the failure stays. `blankZero` is the BLANK=ZERO mode (blanks
/// in numeric input fields are zeros); the default mode drops them.
void RunTransfer(RecordPort& port, const Layout& layout, Items items, Direction direction,
                 bool blankZero = false);

/// An internal record (a character variable) as a write-only record port. Append fails with
/// "internal file overflow" past the record's end, keeping what fitted; CompleteRecord blank-fills
/// the columns after the last one written. A second record (a record break or a restart) is past
/// the end as well. Reading it fails with "file not open for reading or file locked".
class InternalRecordPort final : public RecordPort {
 public:
  explicit InternalRecordPort(std::span<char> record) : record_{record} {}

  int Peek() override;
  void Consume() override;
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
