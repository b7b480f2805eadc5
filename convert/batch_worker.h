// The worker processes of x17b2pavo-batch and what goes through their pipes: a job is one scan
// and its output, a report is a temporary name about to be made or a scan's outcome.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "convert/batch_scan.h"
#include "platform/streams.h"

namespace convert::batch {

/// The life of a worker: takes jobs until its job pipe ends, converts each scan into a temporary
/// file and reports; the process that started it renames the outputs. Returns the exit code.
int WorkerMain(platform::Handle jobs, platform::Handle reports);

/// Sends a job; false when the worker has gone.
bool SendJob(platform::Handle jobs, const Job& job);

/// One report from a worker.
struct Report {
  enum class Kind : uint8_t { kTemporary, kDone };
  Kind kind = Kind::kDone;
  ScanOutcome outcome;    // kDone
  std::string temporary;  // kTemporary: the name of the file about to be made
};

/// Receives the next report; false when the worker has gone.
bool ReceiveReport(platform::Handle reports, Report& report);

}  // namespace convert::batch
