// The run of x17b2pavo-batch: worker processes, the scans handed out to them, and the reports
// put back into the order the scans were given.
#include "convert/batch_run.h"

#include <algorithm>
#include <csignal>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "convert/batch_outputs.h"
#include "convert/batch_scan.h"
#include "recio/platform.h"
#include "recio/platform_process.h"
#include "recio/recio.h"

namespace convert::batch {
namespace {

namespace platform = recio::platform;

// Scans handed to a worker ahead, so that it never waits for its next one.
constexpr std::size_t kQueueDepth = 2;
// The longest part of a name that the progress line shows; a longer line would wrap.
constexpr std::size_t kProgressName = 60;

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

// A worker: takes scan numbers from its job pipe until the pipe ends, converts each and reports.
[[noreturn]] void Work(const Options& options, int jobs, int results) {
  platform::EndWithOriginal();
  platform::OnTerminationSignals(OnSignalInWorker);
  for (uint32_t index = 0; ReadWhole(jobs, &index, sizeof index);) {
    const ScanResult result = ConvertScan(options, index);
    platform::WriteAll(results, reinterpret_cast<const char*>(&result), sizeof result);
  }
  platform::ExitProcess(0);
}

struct Worker {
  int id = -1;
  int jobs = -1;     // the first process writes scan numbers here
  int results = -1;  // and reads the reports here
  std::deque<uint32_t> queued;
  bool alive = true;
};

// Starts up to `count` workers; fewer when the system refuses more.
std::vector<Worker> StartWorkers(const Options& options, int count) {
  std::vector<Worker> workers;
  for (int i = 0; i < count; ++i) {
    int jobs[2];
    int results[2];
    if (!platform::MakePipe(jobs)) break;
    if (!platform::MakePipe(results)) {
      platform::CloseHandle(jobs[0]);
      platform::CloseHandle(jobs[1]);
      break;
    }
    const int id = platform::StartCopy();
    if (id == 0) {
      for (const Worker& other : workers) platform::CloseHandle(other.jobs);
      platform::CloseHandle(jobs[1]);
      platform::CloseHandle(results[0]);
      Work(options, jobs[0], results[1]);
    }
    platform::CloseHandle(jobs[0]);
    platform::CloseHandle(results[1]);
    if (id < 0) {
      platform::CloseHandle(jobs[1]);
      platform::CloseHandle(results[0]);
      break;
    }
    workers.push_back({id, jobs[1], results[0], {}, true});
  }
  return workers;
}

std::string FailureText(const ScanResult& result) {
  if (result.fault >= 0) {
    return "floating-point error: " +
           std::string(recio::MathFaultWord(static_cast<recio::MathFault>(result.fault)));
  }
  const std::string_view text = recio::StatusText(result.status);
  return text.empty() ? "error " + std::to_string(result.status) : std::string(text);
}

// The line that reports a failed scan, without its line end.
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

// Puts the reports into the order of the scans: failure lines, the progress line on a terminal,
// and the summary.
class Reporter {
 public:
  Reporter(const Options& options, bool terminal)
      : options_{options}, progress_{terminal && !options.quiet} {}

  void Add(const ScanResult& result) {
    waiting_.emplace(result.index, result);
    for (auto next = waiting_.find(shown_); next != waiting_.end(); next = waiting_.find(shown_)) {
      Show(next->second);
      waiting_.erase(next);
    }
  }

  uint32_t shown() const { return shown_; }
  bool anyFailed() const { return failed_ > 0; }

  void ClearProgress() {
    if (progressShown_) Write("\r\x1b[K");
    progressShown_ = false;
  }

  void Summary() {
    ClearProgress();
    if (options_.quiet) return;
    const std::size_t total = options_.scans.size();
    Write(std::to_string(total) + (total == 1 ? " scan: " : " scans: ") +
          std::to_string(converted_) + " converted, " + std::to_string(skipped_) + " skipped, " +
          std::to_string(failed_) + " failed\n");
  }

 private:
  void Show(const ScanResult& result) {
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

  static void Write(const std::string& text) {
    platform::WriteAll(platform::kStderr, text.data(), text.size());
  }

  const Options& options_;
  const bool progress_;
  bool progressShown_ = false;
  std::map<uint32_t, ScanResult> waiting_;  // reports that came before their turn
  uint32_t shown_ = 0;
  uint32_t converted_ = 0;
  uint32_t skipped_ = 0;
  uint32_t failed_ = 0;
};

class Batch {
 public:
  Batch(const Options& options, int jobs)
      : options_{options},
        conflicts_{options.scans, options.outputDir},
        reporter_{options, platform::IsTerminal(platform::kStderr)} {
    platform::OnTerminationSignals(OnSignalInFirstProcess);
    workers_ = StartWorkers(options, jobs);
  }

  int Run() {
    const auto total = static_cast<uint32_t>(options_.scans.size());
    for (Worker& worker : workers_) HandOut(worker);
    while (reporter_.shown() < total) {
      if (gSignal != 0) Interrupt();
      if (!AnyAlive()) {
        LoseTheRest();
        break;
      }
      TakeReports();
    }
    for (Worker& worker : workers_) platform::CloseHandle(worker.jobs);
    platform::WaitForCopies();
    reporter_.Summary();
    return reporter_.anyFailed() ? 1 : 0;
  }

 private:
  // Gives the worker scans until its queue is full; a scan in conflict is reported at once.
  void HandOut(Worker& worker) {
    while (worker.alive && worker.queued.size() < kQueueDepth && next_ < options_.scans.size()) {
      const uint32_t index = next_++;
      const Conflict conflict = conflicts_.Of(index);
      if (conflict.kind != Conflict::Kind::kNone) {
        ScanResult result{index, ScanResult::Outcome::kFailed};
        result.conflict = static_cast<uint8_t>(conflict.kind);
        result.conflictWith = conflict.other;
        reporter_.Add(result);
        continue;
      }
      if (!platform::WriteAll(worker.jobs, reinterpret_cast<const char*>(&index), sizeof index)
               .ok) {
        Lose(worker);
        Lost(index);
        return;
      }
      worker.queued.push_back(index);
    }
  }

  void TakeReports() {
    std::vector<int> handles;
    std::vector<Worker*> alive;
    for (Worker& worker : workers_) {
      if (worker.alive) {
        handles.push_back(worker.results);
        alive.push_back(&worker);
      }
    }
    std::vector<char> ready(handles.size());
    if (!platform::WaitForInput(handles, ready)) return;  // a signal: seen by the caller
    for (std::size_t i = 0; i < alive.size(); ++i) {
      if (!ready[i]) continue;
      Worker& worker = *alive[i];
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

  // A worker that ended: its scans are lost, the others go on.
  void Lose(Worker& worker) {
    worker.alive = false;
    for (uint32_t index : worker.queued) Lost(index);
    worker.queued.clear();
    for (Worker& other : workers_) HandOut(other);
  }

  void Lost(uint32_t index) {
    ScanResult result{index, ScanResult::Outcome::kFailed};
    result.lost = true;
    reporter_.Add(result);
  }

  void LoseTheRest() {
    while (next_ < options_.scans.size()) Lost(next_++);
  }

  bool AnyAlive() const {
    return std::any_of(workers_.begin(), workers_.end(), [](const Worker& w) { return w.alive; });
  }

  // Interrupted or terminated: the workers remove their temporary files and end; so does this
  // process, by the same signal.
  [[noreturn]] void Interrupt() {
    for (const Worker& worker : workers_) platform::TerminateProcess(worker.id);
    platform::WaitForCopies();
    reporter_.ClearProgress();
    platform::EndBySignal(gSignal);
  }

  const Options& options_;
  ConflictFinder conflicts_;
  Reporter reporter_;
  std::vector<Worker> workers_;
  uint32_t next_ = 0;
};

}  // namespace

int RunBatch(const Options& options) {
  const int available = options.jobs > 0 ? options.jobs : platform::ProcessorCount();
  const int jobs = static_cast<int>(
      std::min<std::size_t>(static_cast<std::size_t>(available), options.scans.size()));
  return Batch(options, jobs).Run();
}

}  // namespace convert::batch
