// The reports of x17b2pavo-batch: the failure and warning lines, put back into the order the
// scans were given, the progress line, and the summary.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "convert/batch_options.h"
#include "convert/batch_progress.h"
#include "convert/batch_scan.h"

namespace convert::batch {

/// The line that reports a failed scan, without its line end.
std::string FailureLine(const Options& options, const ScanOutcome& outcome);

/// The lines that warn of what a converted scan's output holds (at most one per kind), each
/// ended by LF; empty when there is nothing to warn of.
std::string WarningLines(const Options& options, const ScanOutcome& outcome);

/// Takes the outcomes of the scans in any order and writes them to standard error in the order
/// of the scans. A stop request cuts a write short: the run is ending anyway.
class Reporter {
 public:
  Reporter(const Options& options, Progress::Mode progress)
      : options_{options}, progress_{progress, static_cast<uint32_t>(options.scans.size())} {}

  /// Takes one scan's outcome; writes it and every outcome now in turn.
  void Add(const ScanOutcome& outcome);
  /// The number of scans reported so far.
  uint32_t shown() const { return shown_; }
  bool anyFailed() const { return failed_ > 0; }
  /// At a stop: clears the progress line only if that needs no wait.
  void ClearProgressIfReady() { progress_.ClearIfReady(); }
  /// Clears the progress line and writes the summary, "N scans: C converted (W with warnings),
  /// S skipped, F failed", unless quiet.
  void Summary();

 private:
  void Show(const ScanOutcome& outcome);

  const Options& options_;
  Progress progress_;
  std::map<uint32_t, ScanOutcome> waiting_;  // outcomes that came before their turn
  uint32_t shown_ = 0;
  uint32_t converted_ = 0;
  uint32_t withWarnings_ = 0;
  uint32_t skipped_ = 0;
  uint32_t failed_ = 0;
};

}  // namespace convert::batch
