// Written outputs made durable and renamed onto their names, a group at a time.
#include "convert/batch_commit.h"

#include <algorithm>

#include "convert/batch_report.h"
#include "platform/files.h"
#include "recio/errors.h"

namespace convert::batch {
namespace {

// The catalogue row of a refused rename or sync, as the record layer reports such refusals.
recio::ErrorId RowOf(platform::Error error) {
  using platform::Error;
  switch (error) {
    case Error::kNotFound:
    case Error::kNoSuchFolder:
    case Error::kNameTooLong:
    case Error::kBadName:
      return recio::ErrorId::kFileNotFound;
    case Error::kExists:
      return recio::ErrorId::kFileAlreadyExists;
    case Error::kNoSpace:
    case Error::kQuotaExceeded:
    case Error::kFileTooLarge:
      return recio::ErrorId::kNoSpaceLeft;
    case Error::kTooManyOpenFiles:
      return recio::ErrorId::kTooManyOpenFiles;
    case Error::kNoMemory:
      return recio::ErrorId::kHeapSpaceLimit;
    default:
      return recio::ErrorId::kAccessNotAllowed;
  }
}

}  // namespace

void Committer::Add(const ScanOutcome& written, std::string temporary) {
  if (waiting_.empty()) firstWaiting_ = Clock::now();
  waiting_.push_back({written, std::move(temporary)});
}

int Committer::MillisecondsUntilDue() const {
  if (waiting_.empty()) return -1;
  if (waiting_.size() >= kGroupSize) return 0;
  const auto waited =
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - firstWaiting_);
  return static_cast<int>(
      std::max<std::chrono::milliseconds::rep>(0, (kLongestWait - waited).count()));
}

void Committer::Commit() {
  if (waiting_.empty()) return;
  std::vector<std::string> temporaries;
  std::vector<std::string> folders;
  for (const Written& written : waiting_) {
    temporaries.push_back(written.temporary);
    folders.push_back(FolderOf(written.temporary));
  }
  std::sort(folders.begin(), folders.end());
  folders.erase(std::unique(folders.begin(), folders.end()), folders.end());
  std::vector<ScanOutcome> outcomes;
  outcomes.reserve(waiting_.size());
  const platform::Result synced =
      options_.sync ? platform::SyncFileData(temporaries, folders) : platform::Result{};
  for (const Written& written : waiting_) {
    outcomes.push_back(synced.ok() ? Rename(written)
                                   : OutputFailure(written.outcome.index, synced.error));
    if (!outcomes.back().converted()) platform::RemoveFile(written.temporary.c_str());
  }
  // The renames themselves are made durable; a folder that cannot be synced fails its scans,
  // whose outputs are then whole but may not survive a crash.
  for (const std::string& folder : folders) {
    const platform::Result folderSynced =
        options_.sync ? platform::SyncFolder(folder.c_str()) : platform::Result{};
    if (folderSynced.ok()) continue;
    for (std::size_t i = 0; i < waiting_.size(); ++i) {
      if (outcomes[i].converted() && FolderOf(waiting_[i].temporary) == folder) {
        outcomes[i] = OutputFailure(waiting_[i].outcome.index, folderSynced.error);
      }
    }
  }
  waiting_.clear();
  for (const ScanOutcome& outcome : outcomes) reporter_.Add(outcome);
}

// An output that appeared meanwhile is judged as it would have been before the conversion; with
// -f an output is judged again right before it is replaced.
ScanOutcome Committer::Rename(const Written& written) const {
  const std::string output = OutputPath(options_.scans[written.outcome.index], options_.outputDir);
  ScanOutcome outcome = written.outcome;
  if (options_.force) {
    const OutputVerdict verdict = JudgeOutput(output, ExistingOutput::kReplace, streams_);
    if (verdict.kind == OutputVerdict::Kind::kRefused) {
      outcome.kind = ScanOutcome::Kind::kOutputRefused;
      outcome.status = verdict.status;
      outcome.cause = verdict.cause;
      return outcome;
    }
  }
  const platform::Result renamed =
      platform::RenameFile(written.temporary.c_str(), output.c_str(), options_.force);
  if (renamed.ok()) return outcome;
  if (renamed.error != platform::Error::kExists || options_.force) {
    return OutputFailure(written.outcome.index, renamed.error);
  }
  const OutputVerdict verdict = JudgeOutput(
      output, options_.skipExisting ? ExistingOutput::kSkipIfWhole : ExistingOutput::kFail,
      streams_);
  switch (verdict.kind) {
    case OutputVerdict::Kind::kSkip:
      outcome.kind = ScanOutcome::Kind::kSkipped;
      break;
    case OutputVerdict::Kind::kNotWhole:
      outcome.kind = ScanOutcome::Kind::kOutputNotWhole;
      break;
    case OutputVerdict::Kind::kRefused:
      outcome.kind = ScanOutcome::Kind::kOutputRefused;
      outcome.status = verdict.status;
      outcome.cause = verdict.cause;
      break;
    default:
      outcome.kind = ScanOutcome::Kind::kOutputExists;
      break;
  }
  return outcome;
}

ScanOutcome Committer::OutputFailure(uint32_t index, platform::Error error) const {
  ScanOutcome outcome;
  outcome.index = index;
  outcome.kind = ScanOutcome::Kind::kOutputFailed;
  outcome.status = static_cast<int32_t>(RowOf(error));
  outcome.cause = error;
  return outcome;
}

void Committer::RemoveWaiting() {
  for (const Written& written : waiting_) platform::RemoveFile(written.temporary.c_str());
  waiting_.clear();
}

}  // namespace convert::batch
