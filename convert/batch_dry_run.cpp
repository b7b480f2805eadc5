// x17b2pavo-batch --dry-run: every scan and its output checked as a run would check them, and
// nothing converted.
#include <string>

#include "convert/batch_outputs.h"
#include "convert/batch_report.h"
#include "convert/batch_run.h"
#include "convert/batch_scan.h"
#include "convert/batch_text.h"
#include "platform/stop.h"
#include "platform/streams.h"

namespace convert::batch {
namespace {

// The lines for standard output go out in pieces of about this size.
constexpr std::size_t kPiece = std::size_t{64} * 1024;

}  // namespace

int DryRun(const Options& options) {
  platform::NoteStopRequests();
  const StreamFiles streams = platform::StandardStreamFiles();
  const ConflictFinder conflicts{options.scans, options.outputDir, options.force};
  uint32_t toConvert = 0;
  uint32_t toSkip = 0;
  uint32_t failing = 0;
  std::string lines;
  for (uint32_t index = 0; index < options.scans.size(); ++index) {
    if (int request = platform::StopRequested()) platform::EndAsRequested(request);
    const ScanOutcome outcome = CheckBeforeConverting(options, conflicts, streams, index);
    if (outcome.converted()) {
      ++toConvert;
      lines += Shown(options.scans[index]) + " -> " +
               Shown(OutputPath(options.scans[index], options.outputDir)) + "\n";
    } else if (outcome.skipped()) {
      ++toSkip;
    } else {
      ++failing;
      // The lines so far go first, so that both streams stay in the order of the scans.
      platform::WriteUnlessStopped(platform::Stream::kOutput, lines);
      lines.clear();
      platform::WriteUnlessStopped(platform::Stream::kError, FailureLine(options, outcome) + "\n");
    }
    if (lines.size() >= kPiece) {
      platform::WriteUnlessStopped(platform::Stream::kOutput, lines);
      lines.clear();
    }
  }
  platform::WriteUnlessStopped(platform::Stream::kOutput, lines);
  if (!options.quiet) {
    const std::size_t total = options.scans.size();
    platform::WriteUnlessStopped(platform::Stream::kError,
                                 std::to_string(total) + (total == 1 ? " scan: " : " scans: ") +
                                     std::to_string(toConvert) + " to convert, " +
                                     std::to_string(toSkip) + " to skip, " +
                                     std::to_string(failing) + " failing\n");
  }
  if (int request = platform::StopRequested()) platform::EndAsRequested(request);
  return failing > 0 ? 1 : 0;
}

}  // namespace convert::batch
