// One scan of x17b2pavo-batch: what became of it, and its conversion into a temporary file
// beside its output.
#pragma once

#include <cstdint>
#include <string_view>

#include "convert/batch_outputs.h"

namespace convert::batch {

/// What became of one scan. Small, of fixed size and trivially copyable: a worker sends it whole.
struct ScanOutcome {
  enum class Kind : uint8_t {
    kConverted,       // the output is written (by a worker: under its temporary name)
    kSkipped,         // -n, and the output exists whole
    kScanFailed,      // a request on the scan failed: `status`, at scan line `line`
    kMathFault,       // the scaling of the value at scan line `line` faulted: `fault`
    kOutputFailed,    // the output could not be written: `status`, `cause`
    kOutputExists,    // the output exists, and neither -f nor -n was given
    kOutputNotWhole,  // -n, and the output exists but is not a whole powder data file
    kOutputRefused,   // the output is one x17b2pavo could not write either: `status`, `cause`
    kSameOutput,      // an earlier scan, `other`, has the same output
    kOutputIsAScan,   // the output would replace the scan `other`
    kLost,            // the conversion ended unexpectedly, twice
    kEmptyName,       // a name of length 0 in the list of --files0-from
    kDashInInputList  // a name "-" in a list read from standard input
  };
  uint32_t index = 0;
  Kind kind = Kind::kConverted;
  int8_t fault = -1;  // a recio::MathFault
  uint8_t cause = 0;  // a platform::Error
  int32_t status = 0;
  uint32_t other = 0;
  int64_t line = 0;

  bool converted() const { return kind == Kind::kConverted; }
  bool skipped() const { return kind == Kind::kSkipped; }
  bool failed() const { return !converted() && !skipped(); }
};

/// One scan to convert and where its output goes.
struct Job {
  uint32_t index = 0;
  std::string_view scan;
  std::string_view output;
  ExistingOutput existing = ExistingOutput::kFail;
};

/// Learns the name of each temporary file before the file is made, so that whoever removes
/// what a lost or stopped conversion left knows the name.
class TemporaryNames {
 public:
  virtual void Announce(std::string_view path) = 0;

 protected:
  ~TemporaryNames() = default;
};

/// Converts the scan of `job` into a new temporary file beside its output; the output's own name
/// is not touched. On kConverted the file announced last holds the whole output and is closed;
/// on any other outcome nothing is left. Never ends the process.
ScanOutcome ConvertScan(const Job& job, const StreamFiles& streams, TemporaryNames& names);

}  // namespace convert::batch
