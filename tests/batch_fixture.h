// What the whole-program tests of x17b2pavo-batch share: the program, scans, runs and folders.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "tests/convert_scan.h"
#include "tests/process_harness.h"

namespace convert_test {

inline const std::string kBatch = X17B_BUILD_DIR "/x17b2pavo-batch";
inline const std::string kHint = "Try 'x17b2pavo-batch --help' for more information.\n";

inline std::string Scan(const ScanHeader& header, const std::vector<std::string>& values) {
  return JoinLines(ScanLines(header, values));
}

/// A scan of the default header with the values 1, 2, ... 25.
inline std::string GoodScan() {
  return Scan(ScanHeader{}, ValueLinesWithoutPoint(25));
}

/// A scan of `n` values 1, 2, ... n.
inline std::string RampScan(int n) {
  ScanHeader header;
  header.channels = Fit(n, 4);
  return Scan(header, ValueLinesWithoutPoint(n));
}

/// What a good scan converts into.
inline std::string GoodOutput() {
  return TitleRecord(ScanHeader{}.title, kStamp) + DefaultBankRecord(25, 3) +
         CountRecords(RampCounts(25), 3);
}

/// Runs the batch program in `dir` with `args`.
inline x17b_test::RunResult Batch(const x17b_test::TempDir& dir, std::vector<std::string> args,
                                  x17b_test::RunOptions options = {}) {
  options.args = std::move(args);
  options.workDir = dir.path();
  return x17b_test::RunProgram(kBatch, options);
}

/// The names in a folder, sorted.
inline std::vector<std::string> Names(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* dir = opendir(folder.c_str())) {
    while (dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    closedir(dir);
  }
  std::sort(names.begin(), names.end());
  return names;
}

/// Whether the folder holds a hidden (temporary) file.
inline bool HoldsTemporaryFile(const std::string& folder) {
  const std::vector<std::string> names = Names(folder);
  return std::any_of(names.begin(), names.end(), [](const std::string& n) { return n[0] == '.'; });
}

/// The summary line.
inline std::string Summary(int scans, int converted, int skipped, int failed, int warned = 0) {
  return std::to_string(scans) + (scans == 1 ? " scan: " : " scans: ") + std::to_string(converted) +
         " converted" + (warned > 0 ? " (" + std::to_string(warned) + " with warnings)" : "") +
         ", " + std::to_string(skipped) + " skipped, " + std::to_string(failed) + " failed\n";
}

/// A scan read through a named pipe that the test feeds: the conversion of the scan waits for
/// the test as long as the test wants.
class ScanPipe {
 public:
  explicit ScanPipe(std::string path) : path_{std::move(path)} { mkfifo(path_.c_str(), 0666); }
  ~ScanPipe() { Close(); }
  ScanPipe(const ScanPipe&) = delete;
  ScanPipe& operator=(const ScanPipe&) = delete;

  /// True once a reader has the pipe open; the test's end stays open until Close.
  bool Opened() {
    if (handle_ < 0) handle_ = open(path_.c_str(), O_WRONLY | O_NONBLOCK);
    if (handle_ >= 0) fcntl(handle_, F_SETFL, 0);
    return handle_ >= 0;
  }
  /// With the test's end open: whether a reader has the pipe open now (a second writer opens
  /// only then, and goes again at once, which the reader does not notice).
  bool HasReader() const {
    const int probe = open(path_.c_str(), O_WRONLY | O_NONBLOCK);
    if (probe >= 0) close(probe);
    return probe >= 0;
  }
  /// Waits until the reader has taken every byte written so far.
  void WaitUntilRead() const {
    for (int held = 1, waited = 0;
         ioctl(handle_, FIONREAD, &held) == 0 && held > 0 && waited < 10000; ++waited) {
      usleep(1000);
    }
  }
  void Write(const std::string& bytes) {
    if (write(handle_, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
      Close();
    }
  }
  /// The end of the scan, as the reader sees it.
  void Close() {
    if (handle_ >= 0) close(handle_);
    handle_ = -1;
  }

 private:
  std::string path_;
  int handle_ = -1;
};

/// The header and the first two values of a good scan: a scan half read.
inline std::string GoodScanHead() {
  return JoinLines(HeaderLines(ScanHeader{})) + "1\n2\n";
}

/// The rest of a good scan after its head.
inline std::string GoodScanRest() {
  return GoodScan().substr(GoodScanHead().size());
}

/// Waits until `done` holds, for at most ten seconds; whether it holds.
inline bool WaitFor(const std::function<bool()>& done) {
  for (int waited = 0; waited < 10000; ++waited) {
    if (done()) return true;
    usleep(1000);
  }
  return done();
}

/// The one worker process of a batch run with one worker; -1 when there is none.
inline int OnlyWorker(int pid) {
  std::ifstream children("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) +
                         "/children");
  int worker = -1;
  children >> worker;
  return worker;
}

}  // namespace convert_test
