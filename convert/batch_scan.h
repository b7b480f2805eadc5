// One scan of x17b2pavo-batch, converted in a worker: into a temporary file, renamed onto its
// output only when whole.
#pragma once

#include <cstdint>

#include "convert/batch_options.h"

namespace convert::batch {

/// What became of one scan; small and of fixed size, so that a worker can send it whole.
struct ScanResult {
  enum class Outcome : uint8_t { kConverted, kSkipped, kFailed };
  uint32_t index = 0;
  Outcome outcome = Outcome::kConverted;
  bool onOutput = false;  // the failure concerns the output, not the scan
  bool exists = false;    // the output existed already (neither -f nor -n)
  int8_t fault = -1;      // a floating-point fault of the scaling (a recio::MathFault), or -1
  int32_t status = 0;     // the record layer's status of the failed request
  int64_t line = 0;       // the scan line of the failed read or faulty value; 0 for none
  // Failures found without converting:
  bool lost = false;          // the worker converting the scan ended before it reported
  uint8_t conflict = 0;       // a Conflict::Kind other than kNone
  uint32_t conflictWith = 0;  // the other scan of the conflict
};

/// Converts scan `index` of `options`: nothing is written unless the whole output is, and an
/// existing output is replaced (-f) only by a rename. Never ends the process.
ScanResult ConvertScan(const Options& options, uint32_t index);

/// For the termination signals of a worker: removes the temporary file being written, if any.
/// Safe inside a signal handler.
void RemoveTemporaryFile();

}  // namespace convert::batch
