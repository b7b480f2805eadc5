// The progress line of x17b2pavo-batch: rewritten in place on a terminal, cut to its width, with
// the rate and the time left; or, for a log, a plain line now and then.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace convert::batch {

/// The part of `text` that fits in `columns` columns of a terminal: characters as UTF-8, one
/// column each (two for the wide ones of East Asian scripts, none for combining marks); never a
/// part of a character; control characters and bytes that are no UTF-8 as "?".
std::string FitToColumns(std::string_view text, int columns);

/// The progress of a run of `total` scans.
class Progress {
 public:
  enum class Mode : uint8_t {
    kNone,
    kTerminal,      // rewritten in place with CR and an erase to the end of the line
    kDumbTerminal,  // rewritten with CR and blanks, no escape sequences (TERM dumb or unset)
    kLog,           // a line of its own, at most every 10 seconds
  };
  using Clock = std::chrono::steady_clock;

  Progress(Mode mode, uint32_t total) : mode_{mode}, total_{total}, start_{Clock::now()} {}

  /// `done` scans are reported, the last of them `name`: the line is rewritten when it is due
  /// (on a terminal at most ten times a second).
  void Update(uint32_t done, std::string_view name);
  /// Takes the line away before other text is written.
  void Clear();
  /// At a stop: takes the line away only if that needs no wait.
  void ClearIfReady();

 private:
  std::string Text(uint32_t done, std::string_view name) const;

  Mode mode_;
  uint32_t total_;
  Clock::time_point start_;
  Clock::time_point lastWritten_{};
  bool written_ = false;    // something was written, at lastWritten_
  bool lineShown_ = false;  // a terminal shows the line now
  int shownColumns_ = 0;    // the columns it covers
};

/// The mode for a run: a terminal's unless quiet, and by `TERM`; a log's when asked for.
Progress::Mode ProgressMode(bool quiet, bool asked);

}  // namespace convert::batch
