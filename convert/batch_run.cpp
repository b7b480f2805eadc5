// The run of x17b2pavo-batch: worker processes convert the scans handed to them, and the first
// process puts their reports back into the order the scans were given.
#include "convert/batch_run.h"

#include <algorithm>
#include <csignal>
#include <deque>
#include <string>
#include <vector>

#include "convert/batch_outputs.h"
#include "convert/batch_report.h"
#include "convert/batch_scan.h"
#include "recio/platform.h"
#include "recio/platform_process.h"

namespace convert::batch {
namespace {

namespace platform = recio::platform;

// Scans handed to a worker ahead, so that it never waits for its next one.
constexpr std::size_t kQueueDepth = 2;

volatile std::sig_atomic_t gSignal = 0;

void OnSignalInFirstProcess(int signal) {
  gSignal = signal;
}

void OnSignalInWorker(int signal) {
  RemoveTemporaryFile();
  platform::EndBySignal(signal);
}

// Reads exactly `size` bytes; false at the end of the input.
bool ReadWhole(int handle, void* data, std::size_t size) {
  auto* bytes = static_cast<char*>(data);
  std::size_t done = 0;
  while (done < size) {
    const platform::IoResult got = platform::ReadSome(handle, bytes + done, size - done);
    if (!got.ok || got.count == 0) return false;
    done += got.count;
  }
  return true;
}

struct Worker {
  int id = -1;
  int jobs = -1;     // the first process writes scan numbers here
  int results = -1;  // and reads the reports here
  std::deque<uint32_t> queued;
  bool alive = true;
};

// A worker: takes scan numbers from its job pipe until the pipe ends, converts each and reports.
// It begins with the termination signals held back, and lets them through once its own handler,
// which removes its temporary file, is in place.
[[noreturn]] void Work(const Options& options, int jobs, int results) {
  platform::EndWithOriginal();
  platform::OnTerminationSignals(OnSignalInWorker);
  if (gSignal != 0) OnSignalInWorker(gSignal);  // taken by the first process before the copy
  platform::UnblockTerminationSignals();
  for (uint32_t index = 0; ReadWhole(jobs, &index, sizeof index);) {
    const ScanResult result = ConvertScan(options, index);
    platform::WriteAll(results, reinterpret_cast<const char*>(&result), sizeof result);
  }
  platform::ExitProcess(0);
}

ScanResult ConflictResult(uint32_t index, const Conflict& conflict) {
  ScanResult result{index, ScanResult::Outcome::kFailed};
  result.conflict = static_cast<uint8_t>(conflict.kind);
  result.conflictWith = conflict.other;
  return result;
}

class Batch {
 public:
  Batch(const Options& options, int jobs)
      : options_{options},
        conflicts_{options.scans, options.outputDir, options.force},
        reporter_{options, platform::IsTerminal(platform::kStderr)},
        restartsLeft_{jobs} {
    platform::OnTerminationSignals(OnSignalInFirstProcess);
    // Held back except while waiting for reports: a signal is then seen at once, and a worker
    // never meets one before its own handler is in place.
    platform::BlockTerminationSignals();
    for (int i = 0; i < jobs; ++i) {
      if (!StartWorker()) break;
    }
  }

  int Run() {
    if (gSignal != 0) Interrupt();
    if (workers_.empty()) return RunHere();
    const auto total = static_cast<uint32_t>(options_.scans.size());
    for (std::size_t i = 0; i < workers_.size(); ++i) HandOut(workers_[i]);
    while (reporter_.shown() < total) {
      if (gSignal != 0) Interrupt();
      if (!AnyAlive()) {
        LoseTheRest();
        break;
      }
      TakeReports();
    }
    for (const Worker& worker : workers_) platform::CloseHandle(worker.jobs);
    platform::WaitForCopies();
    reporter_.Summary();
    return reporter_.anyFailed() ? 1 : 0;
  }

 private:
  bool StartWorker() {
    int jobs[2];
    int results[2];
    if (!platform::MakePipe(jobs)) return false;
    if (!platform::MakePipe(results)) {
      platform::CloseHandle(jobs[0]);
      platform::CloseHandle(jobs[1]);
      return false;
    }
    const int id = platform::StartCopy();
    if (id == 0) {
      for (const Worker& other : workers_) {
        platform::CloseHandle(other.jobs);
        platform::CloseHandle(other.results);
      }
      platform::CloseHandle(jobs[1]);
      platform::CloseHandle(results[0]);
      Work(options_, jobs[0], results[1]);
    }
    platform::CloseHandle(jobs[0]);
    platform::CloseHandle(results[1]);
    if (id < 0) {
      platform::CloseHandle(jobs[1]);
      platform::CloseHandle(results[0]);
      return false;
    }
    workers_.push_back({id, jobs[1], results[0], {}, true});
    return true;
  }

  // The next scan to convert: one a lost worker left, or the next in order; a scan in conflict
  // is reported at once. False when none is left.
  bool NextScan(uint32_t& index) {
    for (;;) {
      if (!retry_.empty()) {
        index = retry_.front();
        retry_.pop_front();
      } else if (next_ < options_.scans.size()) {
        index = next_++;
      } else {
        return false;
      }
      const Conflict conflict = conflicts_.Of(index);
      if (conflict.kind == Conflict::Kind::kNone) return true;
      reporter_.Add(ConflictResult(index, conflict));
    }
  }

  // Gives the worker scans until its queue is full.
  void HandOut(Worker& worker) {
    uint32_t index = 0;
    while (worker.alive && worker.queued.size() < kQueueDepth && NextScan(index)) {
      worker.queued.push_back(index);
      if (!platform::WriteAll(worker.jobs, reinterpret_cast<const char*>(&index), sizeof index)
               .ok) {
        Lose(worker);
        return;
      }
    }
  }

  void TakeReports() {
    std::vector<int> handles;
    std::vector<std::size_t> alive;
    for (std::size_t i = 0; i < workers_.size(); ++i) {
      if (!workers_[i].alive) continue;
      handles.push_back(workers_[i].results);
      alive.push_back(i);
    }
    std::vector<char> ready(handles.size());
    // A signal, also one that came with a worker's end, is the caller's to see first.
    if (!platform::WaitForInput(handles, ready) || gSignal != 0) return;
    for (std::size_t i = 0; i < alive.size(); ++i) {
      if (!ready[i]) continue;
      Worker& worker = workers_[alive[i]];
      ScanResult result;
      if (!ReadWhole(worker.results, &result, sizeof result)) {
        Lose(worker);
        continue;
      }
      std::erase(worker.queued, result.index);
      reporter_.Add(result);
      HandOut(worker);
    }
  }

  // A worker that ended before it reported: the scan it was converting is lost and its temporary
  // file removed; the scans queued behind it go to the others, and a new worker takes its place.
  void Lose(Worker& worker) {
    worker.alive = false;
    platform::CloseHandle(worker.jobs);
    platform::CloseHandle(worker.results);
    worker.jobs = worker.results = -1;
    // Ended by the run's own signal (one perhaps still held back here): the run answers that.
    if (platform::TakeHeldBackSignal() || gSignal != 0) return;
    if (!worker.queued.empty()) {
      const uint32_t index = worker.queued.front();
      const std::string output = OutputPath(options_.scans[index], options_.outputDir);
      platform::RemoveFile(TemporaryPath(output, static_cast<uint32_t>(worker.id), 0).c_str());
      ScanResult result{index, ScanResult::Outcome::kFailed};
      result.lost = true;
      reporter_.Add(result);
      retry_.insert(retry_.begin(), worker.queued.begin() + 1, worker.queued.end());
      worker.queued.clear();
    }
    if (restartsLeft_ > 0 && StartWorker()) --restartsLeft_;
    for (std::size_t i = 0; i < workers_.size(); ++i) HandOut(workers_[i]);
  }

  void LoseTheRest() {
    uint32_t index = 0;
    while (NextScan(index)) {
      ScanResult result{index, ScanResult::Outcome::kFailed};
      result.lost = true;
      reporter_.Add(result);
    }
  }

  bool AnyAlive() const {
    return std::any_of(workers_.begin(), workers_.end(), [](const Worker& w) { return w.alive; });
  }

  // No worker could be started: the scans are converted here, one after the other.
  int RunHere() {
    platform::OnTerminationSignals(OnSignalInWorker);
    if (gSignal != 0) OnSignalInWorker(gSignal);
    platform::UnblockTerminationSignals();
    for (uint32_t index = 0; NextScan(index);) reporter_.Add(ConvertScan(options_, index));
    reporter_.Summary();
    return reporter_.anyFailed() ? 1 : 0;
  }

  // Interrupted or terminated: the workers remove their temporary files and end; so does this
  // process, by the same signal.
  [[noreturn]] void Interrupt() {
    for (const Worker& worker : workers_) {
      if (worker.alive) platform::TerminateProcess(worker.id);
    }
    platform::WaitForCopies();
    reporter_.ClearProgress();
    platform::EndBySignal(gSignal);
  }

  const Options& options_;
  ConflictFinder conflicts_;
  Reporter reporter_;
  std::vector<Worker> workers_;
  std::deque<uint32_t> retry_;  // scans that a lost worker had queued
  uint32_t next_ = 0;
  int restartsLeft_;
};

}  // namespace

int RunBatch(const Options& options) {
  const int available = options.jobs > 0 ? options.jobs : platform::ProcessorCount();
  const int jobs = static_cast<int>(
      std::min<std::size_t>(static_cast<std::size_t>(available), options.scans.size()));
  return Batch(options, jobs).Run();
}

}  // namespace convert::batch
