// The reports of x17b2pavo-batch: failure lines in the order of the scans, progress, summary.
#include "convert/batch_report.h"

#include <string_view>

#include "convert/batch_outputs.h"
#include "convert/batch_text.h"
#include "platform/stop.h"
#include "recio/recio.h"

namespace convert::batch {
namespace {

// The longest part of a name that the progress line shows; a longer line would wrap.
constexpr std::size_t kProgressName = 60;
constexpr std::string_view kClearLine = "\r\x1b[K";

void Write(const std::string& text) {
  platform::WriteUnlessStopped(platform::Stream::kError, text);
}

std::string StatusWords(int32_t status) {
  const std::string_view text = recio::StatusText(status);
  return text.empty() ? "error " + std::to_string(status) : std::string(text);
}

std::string FaultWords(int8_t fault) {
  return "floating-point error: " +
         std::string(recio::MathFaultWord(static_cast<recio::MathFault>(fault)));
}

// Where a scan of a list stands in it: the list's name and the scan's place, from 1.
std::string ListPlace(const Options& options, uint32_t index) {
  return Shown(options.listName) + ":" + std::to_string(index + 1);
}

}  // namespace

std::string FailureLine(const Options& options, const ScanOutcome& outcome) {
  using Kind = ScanOutcome::Kind;
  const std::string_view scanName = options.scans[outcome.index];
  const std::string scan = Shown(scanName);
  const std::string output = Shown(OutputPath(scanName, options.outputDir));
  std::string line = "x17b2pavo-batch: ";
  switch (outcome.kind) {
    case Kind::kConverted:
    case Kind::kSkipped:
      return {};
    case Kind::kScanFailed:
      line += scan;
      if (outcome.line > 0) line.append(":").append(std::to_string(outcome.line));
      return line + ": " + StatusWords(outcome.status);
    case Kind::kMathFault:
      return line + scan + ":" + std::to_string(outcome.line) + ": " + FaultWords(outcome.fault);
    case Kind::kOutputFailed:
    case Kind::kOutputRefused:
      return line + output + ": " + StatusWords(outcome.status);
    case Kind::kOutputExists:
      return line + output + ": exists; -f replaces it, -n skips it";
    case Kind::kOutputNotWhole:
      return line + output + ": exists but is not a whole powder data file; -f replaces it";
    case Kind::kSameOutput:
      return line + output + ": same output as " + Shown(options.scans[outcome.other]);
    case Kind::kOutputIsAScan:
      return line + output + ": would replace the scan " + Shown(options.scans[outcome.other]);
    case Kind::kLost:
      return line + scan + ": the conversion ended unexpectedly";
    case Kind::kEmptyName:
      return line + ListPlace(options, outcome.index) + ": invalid zero-length file name";
    case Kind::kDashInInputList:
      return line + ListPlace(options, outcome.index) +
             ": no scan may be named '-' in a list read from standard input";
  }
  return line;
}

void Reporter::Add(const ScanOutcome& outcome) {
  waiting_.emplace(outcome.index, outcome);
  for (auto next = waiting_.find(shown_); next != waiting_.end(); next = waiting_.find(shown_)) {
    Show(next->second);
    waiting_.erase(next);
  }
}

void Reporter::ClearProgress() {
  if (progressShown_) Write(std::string(kClearLine));
  progressShown_ = false;
}

void Reporter::ClearProgressIfReady() {
  if (progressShown_) platform::WriteIfReady(platform::Stream::kError, kClearLine);
  progressShown_ = false;
}

void Reporter::Summary() {
  ClearProgress();
  if (options_.quiet) return;
  const std::size_t total = options_.scans.size();
  Write(std::to_string(total) + (total == 1 ? " scan: " : " scans: ") + std::to_string(converted_) +
        " converted, " + std::to_string(skipped_) + " skipped, " + std::to_string(failed_) +
        " failed\n");
}

void Reporter::Show(const ScanOutcome& outcome) {
  ++shown_;
  if (outcome.converted()) ++converted_;
  if (outcome.skipped()) ++skipped_;
  if (outcome.failed()) {
    ++failed_;
    ClearProgress();
    Write(FailureLine(options_, outcome) + "\n");
  }
  if (progress_) {
    const std::string name = Shown(options_.scans[outcome.index].substr(0, kProgressName));
    Write("\r[" + std::to_string(shown_) + "/" + std::to_string(options_.scans.size()) + "] " +
          name + "\x1b[K");
    progressShown_ = true;
  }
}

}  // namespace convert::batch
