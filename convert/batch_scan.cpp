// One scan of x17b2pavo-batch: the converter's own steps, with every request asking for its
// status so that a failure ends the scan and not the process.
#include "convert/batch_scan.h"

#include <optional>
#include <span>
#include <string>

#include "convert/conversion.h"
#include "platform/files.h"
#include "platform/names.h"
#include "platform/this_process.h"
#include "recio/errors.h"
#include "recio/recio.h"

namespace convert::batch {
namespace {

constexpr recio::Flags kStatus{.status = true, .end = true};
// The output is written in pieces of this size, so that a usual output goes out in one write.
constexpr int32_t kOutputBlock = 64 * 1024;
constexpr uint32_t kNameAttempts = 100;

// Kept between scans: the table of counts is large, and each scan overwrites what it uses.
constinit Conversion conversion{powder::Output{powder::kUnit, false, kStatus}, kStatus};

ScanOutcome Outcome(uint32_t index, ScanOutcome::Kind kind, int32_t status = 0, int64_t line = 0) {
  ScanOutcome outcome;
  outcome.index = index;
  outcome.kind = kind;
  outcome.status = status;
  outcome.line = line;
  return outcome;
}

// What to do before converting, from the judgement of the output.
ScanOutcome Verdict(uint32_t index, const OutputVerdict& verdict) {
  using Kind = ScanOutcome::Kind;
  switch (verdict.kind) {
    case OutputVerdict::Kind::kWrite:
      break;
    case OutputVerdict::Kind::kSkip:
      return Outcome(index, Kind::kSkipped);
    case OutputVerdict::Kind::kExists:
      return Outcome(index, Kind::kOutputExists);
    case OutputVerdict::Kind::kNotWhole:
      return Outcome(index, Kind::kOutputNotWhole);
    case OutputVerdict::Kind::kRefused: {
      ScanOutcome outcome = Outcome(index, Kind::kOutputRefused, verdict.status);
      outcome.cause = verdict.cause;
      return outcome;
    }
  }
  return Outcome(index, Kind::kConverted);
}

int32_t OpenScan(std::string_view scan, recio::Outcome& outcome) {
  recio::OpenSpec spec;
  spec.name = std::span<const char>(scan.data(), scan.size());
  spec.nameAsGiven = true;
  spec.status = recio::OpenStatus::kOld;
  spec.mode = recio::Mode::kRead;  // a scan is only read
  return recio::Open(scan::kUnit, spec, {.status = true, .end = true, .outcome = &outcome});
}

// A new file under a temporary name beside the output; another name when one is taken. Each name
// is announced before the file is made.
int32_t OpenTemporary(std::string_view output, TemporaryNames& names, std::string& temporary,
                      recio::Outcome& outcome) {
  int32_t status = 0;
  for (uint32_t attempt = 0; attempt < kNameAttempts; ++attempt) {
    temporary = TemporaryPath(output, platform::ProcessNumber(), attempt);
    names.Announce(temporary, attempt);
    recio::OpenSpec spec;
    spec.name = std::span<const char>(temporary.data(), temporary.size());
    spec.nameAsGiven = true;
    spec.status = recio::OpenStatus::kNew;
    spec.blocksize = kOutputBlock;
    status = recio::Open(powder::kUnit, spec, {.status = true, .end = true, .outcome = &outcome});
    if (status != recio::kFileExistsStatus) break;
  }
  return status;
}

// Whatever a failed scan leaves open is closed, and its temporary file removed.
void Abandon(const std::string& temporary) {
  recio::Close(scan::kUnit, {}, kStatus);
  recio::Close(powder::kUnit, recio::CloseStatus::kDelete, kStatus);
  if (!temporary.empty()) platform::RemoveFile(temporary.c_str());
}

// What a failed request of the conversion tells: its status, the scan line of a failed read,
// the text of a field that did not convert, the system's cause.
ScanOutcome Failure(uint32_t index, const ConversionResult& converted) {
  using Kind = ScanOutcome::Kind;
  if (converted.fault) {
    ScanOutcome outcome = Outcome(index, Kind::kMathFault, 0, converted.outcome.record);
    outcome.fault = static_cast<int8_t>(*converted.fault);
    return outcome;
  }
  ScanOutcome outcome =
      converted.onOutput
          ? Outcome(index, Kind::kOutputFailed, converted.outcome.status)
          : Outcome(index, Kind::kScanFailed, converted.outcome.status, converted.outcome.record);
  outcome.field = converted.outcome.field;
  outcome.cause = converted.outcome.cause;
  return outcome;
}

// The conversion from the open scan into the open temporary file, and the close that writes
// out its last piece. Under --strict a conversion with warnings leaves nothing.
ScanOutcome Convert(const Job& job, const std::string& temporary) {
  using Kind = ScanOutcome::Kind;
  const ConversionResult converted = conversion.Run();
  if (!converted.ok()) {
    Abandon(temporary);
    return Failure(job.index, converted);
  }
  if (job.strict && converted.warnings.any()) {
    Abandon(temporary);
    ScanOutcome outcome = Outcome(job.index, Kind::kStrict);
    outcome.warnings = converted.warnings;
    return outcome;
  }
  recio::Outcome closed;
  if (recio::Close(powder::kUnit, {}, {.status = true, .end = true, .outcome = &closed}) != 0) {
    Abandon(temporary);
    ScanOutcome outcome = Outcome(job.index, Kind::kOutputFailed, closed.status);
    outcome.cause = closed.cause;
    return outcome;
  }
  ScanOutcome outcome = Outcome(job.index, Kind::kConverted);
  outcome.warnings = converted.warnings;
  return outcome;
}

// Whether the file name of `path` is one that the system keeps for a device (Windows: NUL,
// con.dat...): such a name would reach the device, never a file.
bool IsDevicesName(std::string_view path) {
  return platform::IsDeviceName(path.substr(platform::FolderLength(path)));
}

// A scan that is not there to be read, or is a folder.
std::optional<ScanOutcome> UnreadableScan(uint32_t index, std::string_view scan) {
  const platform::NameFacts facts = platform::InspectName(std::string(scan).c_str());
  ScanOutcome outcome = Outcome(index, ScanOutcome::Kind::kScanFailed);
  if (facts.kind == platform::FileKind::kNone) {
    outcome.status = static_cast<int32_t>(recio::ErrorId::kFileNotFound);
    outcome.cause = platform::Error::kNotFound;
  } else if (facts.kind == platform::FileKind::kFolder) {
    outcome.status = static_cast<int32_t>(recio::ErrorId::kAccessNotAllowed);
    outcome.cause = platform::Error::kIsFolder;
  } else if (facts.readRefused != platform::Error::kNone) {
    outcome.status = static_cast<int32_t>(recio::ErrorId::kAccessNotAllowed);
    outcome.cause = facts.readRefused;
  } else {
    return std::nullopt;
  }
  return outcome;
}

}  // namespace

ExistingOutput ExistingOutputOf(const Options& options) {
  if (options.force) return ExistingOutput::kReplace;
  return options.skipExisting ? ExistingOutput::kSkipIfWhole : ExistingOutput::kFail;
}

std::optional<ScanOutcome> RefusedByTheBatch(const Options& options,
                                             const ConflictFinder& conflicts, uint32_t index) {
  using Kind = ScanOutcome::Kind;
  const std::string_view scan = options.scans[index];
  ScanOutcome outcome = Outcome(index, Kind::kConverted);
  if (!options.listName.empty() && scan.empty()) {
    outcome.kind = Kind::kEmptyName;
  } else if (options.listName == "-" && scan == "-") {
    outcome.kind = Kind::kDashInInputList;
  } else if (IsDevicesName(scan)) {
    // Its output keeps the part of the name that makes it a device's ("nul.dat", "nul.pavo"):
    // the scan's name decides for both.
    outcome.kind = Kind::kScanFailed;
    outcome.status = static_cast<int32_t>(recio::ErrorId::kAccessNotAllowed);
    outcome.cause = platform::Error::kDeviceName;
  } else if (const Conflict conflict = conflicts.Of(index);
             conflict.kind != Conflict::Kind::kNone) {
    outcome.kind =
        conflict.kind == Conflict::Kind::kSameOutput ? Kind::kSameOutput : Kind::kOutputIsAScan;
    outcome.other = conflict.other;
  } else {
    return std::nullopt;
  }
  return outcome;
}

ScanOutcome CheckBeforeConverting(const Options& options, const ConflictFinder& conflicts,
                                  const StreamFiles& streams, uint32_t index) {
  if (std::optional<ScanOutcome> refused = RefusedByTheBatch(options, conflicts, index)) {
    return *refused;
  }
  const std::string_view scan = options.scans[index];
  const std::string output = OutputPath(scan, options.outputDir);
  const ScanOutcome verdict =
      Verdict(index, JudgeOutput(output, ExistingOutputOf(options), streams));
  if (!verdict.converted()) return verdict;
  return UnreadableScan(index, scan).value_or(verdict);
}

ScanOutcome ConvertScan(const Job& job, const StreamFiles& streams, TemporaryNames& names) {
  const std::string output(job.output);
  const ScanOutcome verdict = Verdict(job.index, JudgeOutput(output, job.existing, streams));
  if (!verdict.converted()) return verdict;
  recio::Outcome opened;
  if (OpenScan(job.scan, opened) != 0) {
    recio::Close(scan::kUnit, {}, kStatus);
    ScanOutcome outcome = Outcome(job.index, ScanOutcome::Kind::kScanFailed, opened.status);
    outcome.cause = opened.cause;
    return outcome;
  }
  std::string temporary;
  if (OpenTemporary(output, names, temporary, opened) != 0) {
    Abandon({});
    ScanOutcome outcome = Outcome(job.index, ScanOutcome::Kind::kOutputFailed, opened.status);
    outcome.cause = opened.cause;
    return outcome;
  }
  return Convert(job, temporary);
}

}  // namespace convert::batch
