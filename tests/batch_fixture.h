// What the whole-program tests of x17b2pavo-batch share: the program, scans, runs and folders.
#pragma once

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "tests/convert_scan.h"
#include "tests/process_harness.h"

namespace convert_test {

inline const std::string kBatch = x17b_test::BuiltProgram("x17b2pavo-batch");
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
  return x17b_test::FolderNames(folder);
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
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return done();
}

/// The one worker process of a batch run with one worker; -1 when there is none.
inline int OnlyWorker(int pid) {
  const std::vector<int> workers = x17b_test::ChildProcesses(pid);
  return workers.empty() ? -1 : workers.front();
}

}  // namespace convert_test
