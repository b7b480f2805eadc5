// The reports of x17b2pavo-batch: failure and warning lines in the order of the scans, progress,
// summary.
#include "convert/batch_report.h"

#include <string_view>

#include "convert/batch_outputs.h"
#include "convert/batch_text.h"
#include "platform/stop.h"
#include "recio/recio.h"

namespace convert::batch {
namespace {

void Write(const std::string& text) {
  platform::WriteUnlessStopped(platform::Stream::kError, text);
}

// Rows whose text says what went wrong with a field; the field's text is shown after them.
bool IsFieldRow(int32_t status) {
  return (status >= 6100 && status <= 6104) || status == 6302 || status == 6303;
}

// The system's cause is shown where the catalogue text leaves it open.
bool CauseAddsToRow(int32_t status, platform::Error cause) {
  using platform::Error;
  if (cause == Error::kNone) return false;
  switch (status) {
    case 6415:
      return cause != Error::kExists;
    case 6416:
      return cause != Error::kNotFound;
    case 6417:
      return cause != Error::kTooManyOpenFiles;
    case 6422:
      return cause != Error::kNoSpace;
    case 6700:
      return cause != Error::kNoMemory;
    default:
      return true;
  }
}

// The catalogue text of a status, with the field's text and the system's cause where they say
// more: `invalid REAL "12.3.4"`, `access not allowed (is a directory)`.
std::string StatusWords(const ScanOutcome& outcome) {
  const std::string_view text = recio::StatusText(outcome.status);
  std::string words = text.empty() ? "error " + std::to_string(outcome.status) : std::string(text);
  if (IsFieldRow(outcome.status) && outcome.field.length > 0) {
    words += " \"" + Shown(outcome.field.view()) + "\"";
  }
  if (CauseAddsToRow(outcome.status, outcome.cause)) {
    words += " (" + std::string(CauseText(outcome.cause)) + ")";
  }
  return words;
}

std::string FaultWords(int8_t fault) {
  return "floating-point error: " +
         std::string(recio::MathFaultWord(static_cast<recio::MathFault>(fault)));
}

// Where a scan of a list stands in it: the list's name and the scan's place, from 1.
std::string ListPlace(const Options& options, uint32_t index) {
  return Shown(options.listName) + ":" + std::to_string(index + 1);
}

// What the warnings say: of counts too wide, and of a channel count of 0 or less. A warning
// line adds what was written; a failure under --strict says only what was found.
std::string WideCounts(const ConversionWarnings& w, bool written) {
  std::string text = "count " + std::to_string(w.firstWideCount) + " does not fit its 8 columns";
  if (written) text += "; written as ********";
  if (w.moreWide > 0) text += " (and " + std::to_string(w.moreWide) + " more)";
  return text;
}

std::string NoChannels(const ConversionWarnings& w, bool written) {
  std::string text = std::to_string(w.channels) + " channels";
  if (written) {
    text += w.channels <= -9 ? "; the output holds no counts"
                             : "; the output holds one record of zeros";
  }
  return text;
}

std::string AtLine(const Options& options, const ScanOutcome& outcome, int64_t line) {
  return "x17b2pavo-batch: " + Shown(options.scans[outcome.index]) + ":" + std::to_string(line) +
         ": ";
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
      if (outcome.line > 0) return AtLine(options, outcome, outcome.line) + StatusWords(outcome);
      return line + scan + ": " + StatusWords(outcome);
    case Kind::kMathFault:
      return AtLine(options, outcome, outcome.line) + FaultWords(outcome.fault);
    case Kind::kOutputFailed:
    case Kind::kOutputRefused:
      return line + output + ": " + StatusWords(outcome);
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
    case Kind::kStrict: {
      const ConversionWarnings& w = outcome.warnings;
      return (w.noChannels
                  ? AtLine(options, outcome, scan::kChannelCountLine) + NoChannels(w, false)
                  : AtLine(options, outcome, w.firstWideLine) + WideCounts(w, false)) +
             "; refused by --strict";
    }
  }
  return line;
}

std::string WarningLines(const Options& options, const ScanOutcome& outcome) {
  const ConversionWarnings& w = outcome.warnings;
  std::string lines;
  if (w.noChannels) {
    lines += AtLine(options, outcome, scan::kChannelCountLine) + "warning: " + NoChannels(w, true) +
             "\n";
  }
  if (w.firstWideLine > 0) {
    lines += AtLine(options, outcome, w.firstWideLine) + "warning: " + WideCounts(w, true) + "\n";
  }
  return lines;
}

void Reporter::Add(const ScanOutcome& outcome) {
  waiting_.emplace(outcome.index, outcome);
  for (auto next = waiting_.find(shown_); next != waiting_.end(); next = waiting_.find(shown_)) {
    Show(next->second);
    waiting_.erase(next);
  }
}

void Reporter::Summary() {
  progress_.Clear();
  if (options_.quiet) return;
  const std::size_t total = options_.scans.size();
  std::string summary = std::to_string(total) + (total == 1 ? " scan: " : " scans: ") +
                        std::to_string(converted_) + " converted";
  if (withWarnings_ > 0) summary += " (" + std::to_string(withWarnings_) + " with warnings)";
  Write(summary + ", " + std::to_string(skipped_) + " skipped, " + std::to_string(failed_) +
        " failed\n");
}

void Reporter::Show(const ScanOutcome& outcome) {
  ++shown_;
  if (outcome.skipped()) ++skipped_;
  if (outcome.converted()) {
    ++converted_;
    if (outcome.warnings.any()) {
      ++withWarnings_;
      progress_.Clear();
      Write(WarningLines(options_, outcome));
    }
  }
  if (outcome.failed()) {
    ++failed_;
    progress_.Clear();
    Write(FailureLine(options_, outcome) + "\n");
  }
  progress_.Update(shown_, options_.scans[outcome.index]);
}

}  // namespace convert::batch
