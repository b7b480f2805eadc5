// The run of x17b2pavo-batch: the first process hands each worker one scan at a time, commits
// the outputs they write, and puts the outcomes back into the order the scans were given.
#include "convert/batch_run.h"

#include <algorithm>
#include <chrono>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "convert/batch_commit.h"
#include "convert/batch_outputs.h"
#include "convert/batch_progress.h"
#include "convert/batch_report.h"
#include "convert/batch_scan.h"
#include "convert/batch_worker.h"
#include "platform/files.h"
#include "platform/processes.h"
#include "platform/stop.h"

namespace convert::batch {
namespace {

// After a stop request the workers get this long to finish the scan in hand before they are
// killed: the whole stop stays within three seconds.
constexpr std::chrono::milliseconds kGraceAtStop{2000};

// A worker and the one scan it converts, if any, with the temporary name it announced last.
struct Slot {
  platform::Worker worker;
  std::optional<uint32_t> job;
  std::string temporary;
};

// In the first process, when no worker can be started: a stop request while a scan converts
// here removes its temporary file and ends the process at once.
class NamesHere final : public TemporaryNames {
 public:
  void Announce(std::string_view path, uint32_t /*attempt*/) override {
    platform::RemoveOnStop(path);
    temporary.assign(path);
  }
  std::string temporary;
};

class Batch {
 public:
  explicit Batch(const Options& options)
      : options_{options},
        streams_{platform::StandardStreamFiles()},
        conflicts_{options.scans, options.outputDir, options.force},
        reporter_{options, ProgressMode(options.quiet, options.progress)},
        committer_{options, streams_, reporter_},
        lostOnce_(options.scans.size()) {}

  int Run(int jobs) {
    platform::NoteStopRequests();
    for (int i = 0; i < jobs && StartWorker(); ++i) {
    }
    const auto total = static_cast<uint32_t>(options_.scans.size());
    while (reporter_.shown() < total) {
      if (int request = platform::StopRequested()) Stop(request);
      if (slots_.empty()) {
        ConvertTheRestHere();
        committer_.Commit();
        continue;
      }
      HandOutScans();
      if (Idle() || committer_.MillisecondsUntilDue() == 0) {
        if (committer_.empty()) break;
        committer_.Commit();
        continue;
      }
      TakeReports(committer_.MillisecondsUntilDue());
    }
    for (Slot& slot : slots_) platform::ReleaseWorker(slot.worker);
    slots_.clear();
    if (int request = platform::StopRequested()) Stop(request);
    reporter_.Summary();
    return reporter_.anyFailed() ? 1 : 0;
  }

 private:
  // Workers that end at once, again and again, are not replaced for ever: after this many losses
  // in a row without a report the rest is converted here.
  static constexpr int kMostLossesInARow = 8;

  bool StartWorker() {
    std::optional<platform::Worker> worker = platform::StartWorker(WorkerMain);
    if (worker) slots_.push_back({*worker, std::nullopt, {}});
    return worker.has_value();
  }

  // True when no scan is being converted and none is left to hand out.
  bool Idle() const {
    return next_ >= options_.scans.size() && retry_.empty() &&
           std::none_of(slots_.begin(), slots_.end(), [](const Slot& s) { return s.job; });
  }

  // The next scan to convert: one a lost worker left, or the next in order. A scan that cannot
  // be converted at all is reported at once. False when none is left.
  bool NextScan(uint32_t& index) {
    for (;;) {
      if (!retry_.empty()) {
        index = retry_.front();
        retry_.pop_front();
        return true;
      }
      if (next_ >= options_.scans.size()) return false;
      index = next_++;
      if (const std::optional<ScanOutcome> refused =
              RefusedByTheBatch(options_, conflicts_, index)) {
        reporter_.Add(*refused);
        continue;
      }
      return true;
    }
  }

  // A worker gets its next scan only once it has reported its last.
  void HandOutScans() {
    std::vector<std::size_t> lost;
    for (std::size_t i = 0; i < slots_.size(); ++i) {
      Slot& slot = slots_[i];
      uint32_t index = 0;
      if (slot.job || !NextScan(index)) continue;
      slot.job = index;
      const std::string output = OutputPath(options_.scans[index], options_.outputDir);
      slot.temporary = TemporaryPath(output, slot.worker.number, 0);
      if (!SendJob(slot.worker.jobs, {index, options_.scans[index], output,
                                      ExistingOutputOf(options_), options_.strict})) {
        lost.push_back(i);
      }
    }
    LoseAll(lost);
  }

  // Loses the workers of the slots `lost`, in increasing order; the later ones go first, so that
  // the places of the others stay.
  void LoseAll(const std::vector<std::size_t>& lost) {
    for (auto i = lost.rbegin(); i != lost.rend(); ++i) Lose(slots_[*i]);
  }

  void TakeReports(int timeoutMs) {
    std::vector<platform::Handle> handles;
    for (const Slot& slot : slots_) handles.push_back(slot.worker.reports);
    std::vector<char> ready(handles.size());
    if (platform::WaitForInput(handles, ready, timeoutMs) != platform::WaitOutcome::kReady) return;
    std::vector<std::size_t> lost;
    for (std::size_t i = 0; i < slots_.size(); ++i) {
      if (ready[i] && !TakeReport(slots_[i])) lost.push_back(i);
    }
    LoseAll(lost);
  }

  // One report of the worker; false when the worker has gone.
  bool TakeReport(Slot& slot) {
    Report report;
    if (!ReceiveReport(slot.worker.reports, report)) return false;
    if (report.kind == Report::Kind::kTemporary) {
      slot.temporary = std::move(report.temporary);
      return true;
    }
    slot.job.reset();
    lossesInARow_ = 0;
    if (report.outcome.converted()) {
      committer_.Add(report.outcome, std::move(slot.temporary));
    } else {
      reporter_.Add(report.outcome);
    }
    slot.temporary.clear();
    return true;
  }

  // A worker that ended without reporting: its temporary file goes, its scan is tried once more
  // by another worker (a second loss reports it), and a new worker takes its place.
  void Lose(Slot& slot) {
    platform::KillWorker(slot.worker);
    platform::ReleaseWorker(slot.worker);
    if (!slot.temporary.empty()) platform::RemoveFile(slot.temporary.c_str());
    if (slot.job) {
      const uint32_t index = *slot.job;
      if (lostOnce_[index]) {
        ScanOutcome outcome;
        outcome.index = index;
        outcome.kind = ScanOutcome::Kind::kLost;
        reporter_.Add(outcome);
      } else {
        lostOnce_[index] = true;
        retry_.push_front(index);
      }
    }
    slots_.erase(slots_.begin() + (&slot - slots_.data()));
    if (++lossesInARow_ <= kMostLossesInARow) StartWorker();
  }

  // No worker could be started: the rest is converted here, one scan after the other, each
  // committed at once.
  void ConvertTheRestHere() {
    for (uint32_t index = 0; NextScan(index);) {
      NamesHere names;
      const std::string output = OutputPath(options_.scans[index], options_.outputDir);
      ScanOutcome outcome;
      {
        platform::StopEndsProcess scope;
        outcome = ConvertScan(
            {index, options_.scans[index], output, ExistingOutputOf(options_), options_.strict},
            streams_, names);
      }
      if (outcome.converted()) {
        committer_.Add(outcome, std::move(names.temporary));
        committer_.Commit();
      } else {
        reporter_.Add(outcome);
      }
      platform::RemoveOnStop({});
      if (int request = platform::StopRequested()) Stop(request);
    }
  }

  // The workers' job pipes end: each finishes the scan in hand and ends; those that do not within
  // the grace time are killed. Then every temporary file goes, and the process ends by the
  // request, as the shell expects of an interrupted program.
  [[noreturn]] void Stop(int request) {
    for (Slot& slot : slots_) platform::EndJobs(slot.worker);
    const auto deadline = std::chrono::steady_clock::now() + kGraceAtStop;
    std::vector<char> ended(slots_.size());
    while (std::find(ended.begin(), ended.end(), 0) != ended.end()) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) break;
      std::vector<platform::Handle> handles;
      std::vector<std::size_t> which;
      for (std::size_t i = 0; i < slots_.size(); ++i) {
        if (ended[i]) continue;
        handles.push_back(slots_[i].worker.reports);
        which.push_back(i);
      }
      std::vector<char> ready(handles.size());
      if (platform::WaitForInput(handles, ready, static_cast<int>(left.count()),
                                 /*stopCutsShort=*/false) != platform::WaitOutcome::kReady) {
        continue;
      }
      for (std::size_t k = 0; k < which.size(); ++k) {
        if (ready[k] && !TakeReport(slots_[which[k]])) ended[which[k]] = 1;
      }
    }
    for (Slot& slot : slots_) {
      platform::KillWorker(slot.worker);
      platform::ReleaseWorker(slot.worker);
      if (!slot.temporary.empty()) platform::RemoveFile(slot.temporary.c_str());
    }
    committer_.RemoveWaiting();
    reporter_.ClearProgressIfReady();
    platform::EndAsRequested(request);
  }

  const Options& options_;
  const StreamFiles streams_;
  ConflictFinder conflicts_;
  Reporter reporter_;
  Committer committer_;
  std::vector<Slot> slots_;
  std::deque<uint32_t> retry_;  // scans a lost worker was converting, to be tried once more
  std::vector<bool> lostOnce_;
  uint32_t next_ = 0;
  int lossesInARow_ = 0;
};

}  // namespace

int RunBatch(const Options& options) {
  if (options.dryRun) return DryRun(options);
  const int available = options.jobs > 0 ? options.jobs : platform::ProcessorCount();
  const int jobs = static_cast<int>(
      std::min<std::size_t>(static_cast<std::size_t>(available), options.scans.size()));
  return Batch(options).Run(jobs);
}

}  // namespace convert::batch
