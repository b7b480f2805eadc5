// The reports of x17b2pavo-batch: failure lines in the order of the scans, progress, summary.
#include "convert/batch_report.h"

#include <string_view>

#include "convert/batch_outputs.h"
#include "recio/platform.h"
#include "recio/recio.h"

namespace convert::batch {
namespace {

// The longest part of a name that the progress line shows; a longer line would wrap.
constexpr std::size_t kProgressName = 60;

void Write(const std::string& text) {
  recio::platform::WriteAll(recio::platform::kStderr, text.data(), text.size());
}

std::string FailureText(const ScanResult& result) {
  if (result.fault >= 0) {
    return "floating-point error: " +
           std::string(recio::MathFaultWord(static_cast<recio::MathFault>(result.fault)));
  }
  const std::string_view text = recio::StatusText(result.status);
  return text.empty() ? "error " + std::to_string(result.status) : std::string(text);
}

}  // namespace

std::string FailureLine(const Options& options, const ScanResult& result) {
  const std::string_view scan = options.scans[result.index];
  const std::string output = Shown(OutputPath(scan, options.outputDir));
  std::string line = "x17b2pavo-batch: ";
  const auto conflict = static_cast<Conflict::Kind>(result.conflict);
  if (conflict == Conflict::Kind::kSameOutput) {
    line += output + ": same output as " + Shown(options.scans[result.conflictWith]);
  } else if (conflict == Conflict::Kind::kOutputIsAScan) {
    line += output + ": would replace the scan " + Shown(options.scans[result.conflictWith]);
  } else if (result.lost) {
    line += Shown(scan) + ": the conversion ended unexpectedly";
  } else if (result.exists) {
    line += output + ": exists; -f replaces it, -n skips it";
  } else if (result.onOutput) {
    line += output + ": " + FailureText(result);
  } else {
    line += Shown(scan);
    if (result.line > 0) line.append(":").append(std::to_string(result.line));
    line += ": " + FailureText(result);
  }
  return line;
}

void Reporter::Add(const ScanResult& result) {
  waiting_.emplace(result.index, result);
  for (auto next = waiting_.find(shown_); next != waiting_.end(); next = waiting_.find(shown_)) {
    Show(next->second);
    waiting_.erase(next);
  }
}

void Reporter::ClearProgress() {
  if (progressShown_) Write("\r\x1b[K");
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

void Reporter::Show(const ScanResult& result) {
  ++shown_;
  switch (result.outcome) {
    case ScanResult::Outcome::kConverted:
      ++converted_;
      break;
    case ScanResult::Outcome::kSkipped:
      ++skipped_;
      break;
    case ScanResult::Outcome::kFailed:
      ++failed_;
      ClearProgress();
      Write(FailureLine(options_, result) + "\n");
      break;
  }
  if (progress_) {
    const std::string name = Shown(options_.scans[result.index].substr(0, kProgressName));
    Write("\r[" + std::to_string(shown_) + "/" + std::to_string(options_.scans.size()) + "] " +
          name + "\x1b[K");
    progressShown_ = true;
  }
}

}  // namespace convert::batch
