// The record port of a unit's connection: the formatter's record steps, and the steps that begin
// and end a read, begin a write and end the connection at its close. One kind of port for each
// kind of record; only the port factory (ports.h) chooses between them.
#pragma once

#include <cstdint>

#include "recio/internal/failure.h"
#include "recio/internal/record_port.h"

namespace recio {

class UnitPort : public RecordPort {
 public:
  /// Before the first record of a read: what the connection needs first (a file's buffered
  /// output written out, a console line ended). Fails as a read would.
  virtual void BeginRead() = 0;
  /// The end of a read request, as it ended well (`failure` null) or failed. A failed read leaves
  /// the connection ready for the next one here (the rest of a line skipped or thrown away, as
  /// its kind needs), and may find that the failure is an end of file after all, which it writes
  /// into `failure`. Returns the number (from 1) of the record the read ended or failed on.
  virtual int64_t EndRead(RequestFailure* failure, bool statusWanted) noexcept = 0;

  /// Before a write: forgets what a failed write left of its record, and takes `recordNumber`
  /// (null: none given), which only a direct-access port accepts ("illegal record number").
  virtual void BeginWrite(const int32_t* recordNumber) = 0;

  /// At the close: buffered output written out (unless the file is `removed`), a pending console
  /// line ended. Returns the first failure.
  virtual Failure Finish(bool removed) noexcept = 0;
};

}  // namespace recio
