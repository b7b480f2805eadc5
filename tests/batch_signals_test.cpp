// Whole-program tests of x17b2pavo-batch under signals and lost workers: it ends by the signal
// with no temporary file left and no false failure line, keeps an ignored signal ignored, and a
// worker killed from outside costs only its own scan.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/batch_fixture.h"
#include "tests/convert_scan.h"
#include "tests/process_harness.h"

namespace convert_test {
namespace {

using x17b_test::ReadFileBytes;
using x17b_test::RunOptions;
using x17b_test::RunResult;
using x17b_test::TempDir;
using x17b_test::WriteFileBytes;

// The producer of a scan read through a named pipe: it writes the header and two values, and
// stalls there until Finish, so that the scan stays half converted as long as the test wants.
class StalledScan {
 public:
  explicit StalledScan(std::string path) : path_{std::move(path)} {
    EXPECT_EQ(mkfifo(path_.c_str(), 0666), 0);
  }
  ~StalledScan() {
    if (handle_ >= 0) close(handle_);
  }
  // Writes the head once the reader is there; true once it has.
  bool Start() {
    if (handle_ < 0) handle_ = open(path_.c_str(), O_WRONLY | O_NONBLOCK);
    if (handle_ < 0 || started_) return handle_ >= 0;
    fcntl(handle_, F_SETFL, 0);
    const std::string head = JoinLines(HeaderLines(ScanHeader{})) + "1\n2\n";
    EXPECT_EQ(write(handle_, head.data(), head.size()), static_cast<ssize_t>(head.size()));
    started_ = true;
    return true;
  }
  // The rest of the 25 values, and the end of the scan.
  void Finish() {
    std::string rest;
    for (const std::string& line : ValueLinesWithoutPoint(25)) {
      if (line != "1" && line != "2") rest += line + "\n";
    }
    EXPECT_EQ(write(handle_, rest.data(), rest.size()), static_cast<ssize_t>(rest.size()));
    close(handle_);
    handle_ = -1;
  }

 private:
  std::string path_;
  int handle_ = -1;
  bool started_ = false;
};

// The worker process of a batch run with one worker.
int OnlyWorker(int pid) {
  std::ifstream children("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) +
                         "/children");
  int worker = -1;
  children >> worker;
  return worker;
}

// Interrupted while a scan is half read, the batch removes the temporary file and ends by the
// signal; the output finished before stays whole.
TEST(BatchSignalTest, InterruptedRunLeavesNoTemporaryFile) {
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    TempDir dir;
    WriteFileBytes(dir.File("a.dat"), GoodScan());
    ASSERT_EQ(mkdir(dir.File("out").c_str(), 0755), 0);
    StalledScan slow{dir.File("slow.dat")};
    RunOptions options;
    options.duringRun = [&](int pid) {
      // Once the temporary file exists the scan is half converted.
      return slow.Start() && HoldsTemporaryFile(dir.File("out")) && kill(pid, signal) == 0;
    };
    const RunResult run = Batch(dir, {"-j", "1", "-o", "out", "a.dat", "slow.dat"}, options);
    EXPECT_EQ(run.signal, signal);
    EXPECT_EQ(Names(dir.File("out")), std::vector<std::string>{"a.pavo"});
    EXPECT_EQ(ReadFileBytes(dir.File("out/a.pavo")), GoodOutput());
  }
}

// A signal to the whole group while the workers are still starting: every process ends, nothing
// is left, and no scan is reported as failed on the way.
TEST(BatchSignalTest, SignalWhileTheWorkersStartEndsTheRun) {
  TempDir dir;
  std::vector<std::string> args = {"-q", "-j", "8", "-o", "out"};
  for (int i = 0; i < 64; ++i) {
    const std::string name = std::string("s").append(std::to_string(i)).append(".dat");
    WriteFileBytes(dir.File(name), GoodScan());
    args.push_back(name);
  }
  for (int round = 0; round < 20; ++round) {
    std::string out = dir.File("out");
    mkdir(out.c_str(), 0755);
    RunOptions options;
    options.ownProcessGroup = true;
    options.timeoutSeconds = 10;
    options.duringRun = [](int pid) { return kill(-pid, SIGTERM) == 0; };
    const RunResult run = Batch(dir, args, options);
    ASSERT_FALSE(run.timedOut) << "round " << round;
    // Ended by the signal, or done before it came.
    EXPECT_TRUE(run.signal == SIGTERM || run.exitCode == 0) << "round " << round;
    EXPECT_EQ(run.err, "") << "round " << round;
    EXPECT_FALSE(HoldsTemporaryFile(out));
    for (const std::string& name : Names(out)) {
      EXPECT_EQ(ReadFileBytes(out + "/" + name), GoodOutput()) << name;
    }
    std::filesystem::remove_all(out);
  }
}

// Started with hangups ignored (nohup), the batch keeps ignoring them and finishes its work.
TEST(BatchSignalTest, IgnoredSignalStaysIgnored) {
  TempDir dir;
  ASSERT_EQ(mkdir(dir.File("out").c_str(), 0755), 0);
  StalledScan slow{dir.File("slow.dat")};
  bool hungUp = false;
  RunOptions options;
  options.ignoredSignals = {SIGHUP};
  options.duringRun = [&](int pid) {
    if (!slow.Start() || !HoldsTemporaryFile(dir.File("out"))) return false;
    if (!hungUp) hungUp = kill(pid, SIGHUP) == 0 && kill(OnlyWorker(pid), SIGHUP) == 0;
    slow.Finish();
    return true;
  };
  const RunResult run = Batch(dir, {"-q", "-j", "1", "-o", "out", "slow.dat"}, options);
  EXPECT_TRUE(hungUp);
  EXPECT_EQ(run.signal, 0);
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(ReadFileBytes(dir.File("out/slow.pavo")), GoodOutput());
}

// A worker killed from outside costs its own scan, whose temporary file goes; the scans queued
// behind it go to a new worker, so the run is the same whatever the number of workers.
TEST(BatchSignalTest, KilledWorkerLosesOnlyItsOwnScan) {
  TempDir dir;
  ASSERT_EQ(mkdir(dir.File("out").c_str(), 0755), 0);
  StalledScan slow{dir.File("slow.dat")};
  for (const char* name : {"a.dat", "b.dat", "c.dat"}) WriteFileBytes(dir.File(name), GoodScan());
  RunOptions options;
  options.duringRun = [&](int pid) {
    return slow.Start() && HoldsTemporaryFile(dir.File("out")) &&
           kill(OnlyWorker(pid), SIGKILL) == 0;
  };
  const RunResult run =
      Batch(dir, {"-j", "1", "-o", "out", "slow.dat", "a.dat", "b.dat", "c.dat"}, options);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err,
            "x17b2pavo-batch: slow.dat: the conversion ended unexpectedly\n" + Summary(4, 3, 0, 1));
  EXPECT_EQ(Names(dir.File("out")), (std::vector<std::string>{"a.pavo", "b.pavo", "c.pavo"}));
}

// When the system refuses every worker process, the scans are converted in the first process.
TEST(BatchWorkerTest, WithoutWorkerProcessesTheScansAreConvertedAllTheSame) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to run the batch as another user";
  TempDir dir;
  WriteFileBytes(dir.File("a.dat"), GoodScan());
  WriteFileBytes(dir.File("b.dat"), "broken\n");
  RunOptions options;
  options.dropToUid = 65534;
  options.processLimit = 0;  // not one more process for the user
  const RunResult run = Batch(dir, {"-j", "2", "a.dat", "b.dat"}, options);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err, "x17b2pavo-batch: b.dat:2: end of file encountered\n" + Summary(2, 1, 0, 1));
  EXPECT_EQ(ReadFileBytes(dir.File("a.pavo")), GoodOutput());
}

}  // namespace
}  // namespace convert_test
