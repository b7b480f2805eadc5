// One scan of x17b2pavo-batch: the converter's own steps, with every request asking for its
// status so that a failure ends the scan and not the process.
#include "convert/batch_scan.h"

#include <span>
#include <string>

#include "convert/conversion.h"
#include "platform/files.h"
#include "platform/this_process.h"
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
      outcome.cause = static_cast<uint8_t>(verdict.cause);
      return outcome;
    }
  }
  return Outcome(index, Kind::kConverted);
}

int32_t OpenScan(std::string_view scan) {
  recio::OpenSpec spec;
  spec.name = std::span<const char>(scan.data(), scan.size());
  spec.nameAsGiven = true;
  spec.status = recio::OpenStatus::kOld;
  spec.mode = recio::Mode::kRead;  // a scan is only read
  return recio::Open(scan::kUnit, spec, kStatus);
}

// A new file under a temporary name beside the output; another name when one is taken. Each name
// is announced before the file is made.
int32_t OpenTemporary(std::string_view output, TemporaryNames& names, std::string& temporary) {
  int32_t status = 0;
  for (uint32_t attempt = 0; attempt < kNameAttempts; ++attempt) {
    temporary = TemporaryPath(output, platform::ProcessNumber(), attempt);
    names.Announce(temporary);
    recio::OpenSpec spec;
    spec.name = std::span<const char>(temporary.data(), temporary.size());
    spec.nameAsGiven = true;
    spec.status = recio::OpenStatus::kNew;
    spec.blocksize = kOutputBlock;
    status = recio::Open(powder::kUnit, spec, kStatus);
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

// The conversion from the open scan into the open temporary file, and the close that writes
// out its last piece.
ScanOutcome Convert(uint32_t index, const std::string& temporary) {
  using Kind = ScanOutcome::Kind;
  const ConversionResult converted = conversion.Run();
  if (!converted.ok()) {
    Abandon(temporary);
    if (converted.fault) {
      ScanOutcome outcome = Outcome(index, Kind::kMathFault, 0, converted.outcome.record);
      outcome.fault = static_cast<int8_t>(*converted.fault);
      return outcome;
    }
    return converted.onOutput ? Outcome(index, Kind::kOutputFailed, converted.outcome.status)
                              : Outcome(index, Kind::kScanFailed, converted.outcome.status,
                                        converted.outcome.record);
  }
  if (int32_t status = recio::Close(powder::kUnit, {}, kStatus)) {
    Abandon(temporary);
    return Outcome(index, Kind::kOutputFailed, status);
  }
  return Outcome(index, Kind::kConverted);
}

}  // namespace

ScanOutcome ConvertScan(const Job& job, const StreamFiles& streams, TemporaryNames& names) {
  const std::string output(job.output);
  const ScanOutcome verdict = Verdict(job.index, JudgeOutput(output, job.existing, streams));
  if (!verdict.converted()) return verdict;
  if (int32_t status = OpenScan(job.scan)) {
    recio::Close(scan::kUnit, {}, kStatus);
    return Outcome(job.index, ScanOutcome::Kind::kScanFailed, status);
  }
  std::string temporary;
  if (int32_t status = OpenTemporary(output, names, temporary)) {
    Abandon({});
    return Outcome(job.index, ScanOutcome::Kind::kOutputFailed, status);
  }
  return Convert(job.index, temporary);
}

}  // namespace convert::batch
