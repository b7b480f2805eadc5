// Whole-program tests of x17b2pavo-batch's worker processes, on every system: scans converted at
// the same time, a worker killed once or twice, the first process killed in the middle of a scan.
// (Stop requests by signal, ignored signals and a power cut: batch_signals_test.cpp; Ctrl-C on
// Windows: windows_program_test.cpp.)
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/batch_fixture.h"
#include "tests/convert_scan.h"
#include "tests/process_harness.h"
#include "tests/scan_pipe.h"

namespace convert_test {
namespace {

using x17b_test::MakeFolder;
using x17b_test::ReadFileBytes;
using x17b_test::RunOptions;
using x17b_test::RunResult;
using x17b_test::TempDir;
using x17b_test::WriteFileBytes;

// A worker killed from outside costs nothing the first time: its temporary file goes and its
// scan is converted again by a new worker. Killed a second time on the same scan, the scan is
// lost; every other scan is still converted, by the new workers. The test's end of the scan's
// pipe stays open throughout, so that each new reader finds it and waits for the data.
TEST(BatchWorkerTest, KilledWorkerIsReplacedAndItsScanTriedOnceMore) {
  for (int kills : {1, 2}) {
    TempDir dir;
    ASSERT_TRUE(MakeFolder(dir.File("out")));
    ScanPipe slow{dir, "slow.dat"};
    for (const char* name : {"a.dat", "b.dat", "c.dat"}) WriteFileBytes(dir.File(name), GoodScan());
    int killed = 0;
    RunOptions options;
    options.duringRun = [&](int pid) {
      if (killed == 0 ? !slow.Opened() : !slow.HasReader()) return false;
      if (killed == kills) {  // the last attempt: fed whole
        slow.Write(GoodScan());
        slow.Close();
        return true;
      }
      slow.Write(GoodScanHead());
      slow.WaitUntilRead();
      EXPECT_TRUE(WaitFor([&] { return HoldsTemporaryFile(dir.File("out")); }));
      // The killed worker's temporary file goes; its successor may soon make one of its own.
      const std::vector<std::string> before = Names(dir.File("out"));
      EXPECT_TRUE(x17b_test::KillProcess(OnlyWorker(pid)));
      EXPECT_TRUE(WaitFor([&] { return Names(dir.File("out")) != before; }));
      return ++killed == 2;
    };
    const RunResult run =
        Batch(dir, {"-j", "1", "-o", "out", slow.name(), "a.dat", "b.dat", "c.dat"}, options);
    const std::vector<std::string> rest = {"a.pavo", "b.pavo", "c.pavo"};
    if (kills == 1) {
      EXPECT_EQ(run.exitCode, 0);
      EXPECT_EQ(run.err, Summary(4, 4, 0, 0));
      EXPECT_EQ(ReadFileBytes(dir.File("out/" + slow.Output())), GoodOutput());
    } else {
      EXPECT_EQ(run.exitCode, 1);
      EXPECT_EQ(run.err, "x17b2pavo-batch: " + slow.name() +
                             ": the conversion ended unexpectedly\n" + Summary(4, 3, 0, 1));
      EXPECT_EQ(Names(dir.File("out")), rest);
    }
  }
}

// The first process killed (it cannot clean up) takes its workers with it at once, a worker in the
// middle of a scan that waits for the rest included: nothing of the run goes on without it.
TEST(BatchWorkerTest, KilledFirstProcessEndsItsWorkersAtOnce) {
  TempDir dir;
  ASSERT_TRUE(MakeFolder(dir.File("out")));
  ScanPipe slow{dir, "slow.dat"};
  int worker = -1;
  bool workerEnded = false;
  RunOptions options;
  options.duringRun = [&](int pid) {
    if (!slow.Opened() || !HoldsTemporaryFile(dir.File("out"))) return false;
    slow.Write(GoodScanHead());
    slow.WaitUntilRead();
    worker = OnlyWorker(pid);
    x17b_test::KillProcess(pid);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!(workerEnded = x17b_test::HasEnded(worker)) &&
           std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
  };
  const RunResult run = Batch(dir, {"-j", "1", "-o", "out", slow.name()}, options);
  if (!workerEnded && worker > 0) x17b_test::KillProcess(worker);
  EXPECT_TRUE(x17b_test::WasKilled(run));
  EXPECT_GT(worker, 0);
  EXPECT_TRUE(workerEnded);
}

// -j N converts N scans at once: N scans that are pipes are all open at the same time, each
// waiting for its data, and no scan waits behind another while a worker is free.
TEST(BatchWorkerTest, JobsConvertThatManyScansAtOnce) {
  TempDir dir;
  constexpr int kJobs = 4;
  std::vector<std::unique_ptr<ScanPipe>> pipes;
  std::vector<std::string> args = {"-q", "-o", ".", "-j", std::to_string(kJobs)};
  for (int i = 0; i < kJobs; ++i) {
    pipes.push_back(std::make_unique<ScanPipe>(dir, "p" + std::to_string(i) + ".dat"));
    args.push_back(pipes.back()->name());
  }
  bool allOpen = false;
  RunOptions options;
  options.duringRun = [&](int) {
    for (auto& pipe : pipes) {
      if (!pipe->Opened()) return false;
    }
    allOpen = true;
    for (auto& pipe : pipes) {
      pipe->Write(GoodScan());
      pipe->Close();
    }
    return true;
  };
  const RunResult run = Batch(dir, args, options);
  EXPECT_TRUE(allOpen);
  EXPECT_EQ(run.exitCode, 0) << run.err;
  for (auto& pipe : pipes) EXPECT_EQ(ReadFileBytes(dir.File(pipe->Output())), GoodOutput());
}

}  // namespace
}  // namespace convert_test
