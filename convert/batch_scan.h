// One scan of x17b2pavo-batch: what became of it, and its conversion into a temporary file
// beside its output.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "convert/batch_options.h"
#include "convert/batch_outputs.h"
#include "convert/conversion.h"
#include "recio/recio.h"

namespace convert::batch {

/// What became of one scan. Small, of fixed size and trivially copyable: a worker sends it whole.
struct ScanOutcome {
  enum class Kind : uint8_t {
    kConverted,        // the output is written (by a worker: under its temporary name)
    kSkipped,          // -n, and the output exists whole
    kScanFailed,       // a request on the scan failed: `status`, at scan line `line`
    kMathFault,        // the scaling of the value at scan line `line` faulted: `fault`
    kOutputFailed,     // the output could not be written: `status`, `cause`
    kOutputExists,     // the output exists, and neither -f nor -n was given
    kOutputNotWhole,   // -n, and the output exists but is not a whole powder data file
    kOutputRefused,    // the output is one x17b2pavo could not write either: `status`, `cause`
    kSameOutput,       // an earlier scan, `other`, has the same output
    kOutputIsAScan,    // the output would replace the scan `other`
    kLost,             // the conversion ended unexpectedly, twice
    kEmptyName,        // a name of length 0 in the list of --files0-from
    kDashInInputList,  // a name "-" in a list read from standard input
    kStrict,           // --strict, and the conversion had `warnings`
  };
  uint32_t index = 0;
  Kind kind = Kind::kConverted;
  int8_t fault = -1;  // a recio::MathFault
  platform::Error cause = platform::Error::kNone;
  int32_t status = 0;
  uint32_t other = 0;
  int64_t line = 0;
  recio::FieldText field;       // kScanFailed: the numeric field that did not convert
  ConversionWarnings warnings;  // kConverted, kStrict

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
  bool strict = false;  // a conversion with warnings fails and writes nothing
};

/// Learns the name of each temporary file before the file is made, so that whoever removes
/// what a lost or stopped conversion left knows the name. The name of `attempt` 0 is known in
/// advance: TemporaryPath(output, the converting process's number, 0); the others are taken
/// only when that name was taken by another file.
class TemporaryNames {
 public:
  virtual void Announce(std::string_view path, uint32_t attempt) = 0;

 protected:
  ~TemporaryNames() = default;
};

/// What the first process refuses before handing a scan out: a name that cannot be a scan (from
/// a list), a scan whose name (and so its output's) the system keeps for a device, or a conflict
/// with another scan.
std::optional<ScanOutcome> RefusedByTheBatch(const Options& options,
                                             const ConflictFinder& conflicts, uint32_t index);

/// What a scan meets before it is converted: a name that cannot be a scan, a conflict with
/// another scan, a scan that is missing or a folder, an output that exists or may not be written.
/// kConverted when nothing stands in the way (kSkipped for an output -n skips).
ScanOutcome CheckBeforeConverting(const Options& options, const ConflictFinder& conflicts,
                                  const StreamFiles& streams, uint32_t index);

/// What may become of an existing output under `options`.
ExistingOutput ExistingOutputOf(const Options& options);

/// Converts the scan of `job` into a new temporary file beside its output; the output's own name
/// is not touched. On kConverted the file announced last holds the whole output and is closed;
/// on any other outcome nothing is left. Never ends the process.
ScanOutcome ConvertScan(const Job& job, const StreamFiles& streams, TemporaryNames& names);

}  // namespace convert::batch
