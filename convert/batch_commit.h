// The outputs that workers have written under temporary names, made durable and renamed onto
// their names in groups, so that one sync serves many.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "convert/batch_options.h"
#include "convert/batch_outputs.h"
#include "convert/batch_scan.h"

namespace convert::batch {

class Reporter;

/// Holds the written outputs until their group is due, then makes their data durable, renames
/// each onto its output (replacing one only with -f), makes the renames durable, and only then
/// hands their outcomes to the reporter: a scan counts as converted once a crash would keep it.
class Committer {
 public:
  using Clock = std::chrono::steady_clock;
  /// A group is due at this many outputs, or when its first has waited this long.
  static constexpr std::size_t kGroupSize = 256;
  static constexpr std::chrono::milliseconds kLongestWait{1000};

  Committer(const Options& options, const StreamFiles& streams, Reporter& reporter)
      : options_{options}, streams_{streams}, reporter_{reporter} {}

  /// Takes the written output of a scan, in the file `temporary`.
  void Add(const ScanOutcome& written, std::string temporary);
  bool empty() const { return waiting_.empty(); }
  /// The milliseconds until the group is due; -1 when nothing waits.
  int MillisecondsUntilDue() const;
  /// Commits the waiting outputs and reports their outcomes.
  void Commit();
  /// At a stop: removes every temporary file still waiting; nothing is reported.
  void RemoveWaiting();

 private:
  struct Written {
    ScanOutcome outcome;
    std::string temporary;
  };

  ScanOutcome Rename(const Written& written) const;
  ScanOutcome OutputFailure(uint32_t index, platform::Error error) const;

  const Options& options_;
  const StreamFiles& streams_;
  Reporter& reporter_;
  std::vector<Written> waiting_;
  Clock::time_point firstWaiting_;
};

}  // namespace convert::batch
