// Whole-program tests of x17b2pavo-batch that need POSIX signals and Linux: a stop request at any
// moment (also with a signal ignored from the start, or standard error stalled), no worker process
// at all, and a power cut right after a run. (Killed workers: batch_workers_test.cpp, on every
// system; Ctrl-C on Windows: windows_program_test.cpp.)
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/types.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "tests/batch_fixture.h"
#include "tests/convert_scan.h"
#include "tests/process_harness.h"
#include "tests/scan_pipe.h"

namespace convert_test {
namespace {

using x17b_test::ReadFileBytes;
using x17b_test::RunOptions;
using x17b_test::RunResult;
using x17b_test::TempDir;
using x17b_test::WriteFileBytes;

// Whether the process waits in a write to a pipe (its standard error, which nobody reads).
bool WaitsInPipeWrite(int pid) {
  std::ifstream wchan("/proc/" + std::to_string(pid) + "/wchan");
  std::string where;
  wchan >> where;
  return where.find("pipe_write") != std::string::npos;
}

struct StopCase {
  const char* name;
  int signal;
  std::vector<int> ignoredAtStart;
  bool stderrUnread;    // many failure lines fill standard error, which nobody reads
  bool withoutWorkers;  // no worker process can be started: the first process converts
};

void PrintTo(const StopCase& c, std::ostream* os) {
  *os << c.name;
}

class BatchStopTest : public testing::TestWithParam<StopCase> {};

// A stop request ends the run by that signal, within the grace time of the workers, with no
// temporary file left: neither the one of the scan being converted nor those of outputs written
// but not yet committed; the workers, which ignore it, end with their job pipes.
TEST_P(BatchStopTest, StopRequestEndsTheRunAndLeavesNoTemporaryFile) {
  const StopCase& c = GetParam();
  if (c.withoutWorkers && geteuid() != 0) GTEST_SKIP() << "needs root to run as another user";
  TempDir dir;
  ASSERT_EQ(mkdir(dir.File("out").c_str(), 0777), 0);
  ASSERT_EQ(chmod(dir.File("out").c_str(), 0777), 0);
  ASSERT_EQ(chmod(dir.path().c_str(), 0777), 0);
  WriteFileBytes(dir.File("a.dat"), GoodScan());
  ScanPipe slow{dir, "slow.dat"};
  std::vector<std::string> args = {"-j", "2", "-o", "out", "a.dat"};
  RunOptions options;
  if (c.withoutWorkers) {
    options.dropToUid = 65534;
    options.processLimit = 0;
  }
  options.ignoredSignals = c.ignoredAtStart;
  options.stderrUnread = c.stderrUnread;
  options.timeoutSeconds = 10;
  if (c.stderrUnread) {
    for (int i = 0; i < 3000; ++i)
      args.push_back("missing-scan-with-a-long-name-" + std::to_string(i));
    options.duringRun = [&](int pid) {
      const bool blocked = WaitsInPipeWrite(pid);
      return blocked && kill(pid, c.signal) == 0;
    };
  } else {
    args.push_back("slow.dat");
    options.duringRun = [&](int pid) {
      if (!slow.Opened() || !HoldsTemporaryFile(dir.File("out"))) return false;
      slow.Write(GoodScanHead());
      return kill(pid, c.signal) == 0;
    };
  }
  const RunResult run = Batch(dir, args, options);
  EXPECT_FALSE(run.timedOut);
  EXPECT_EQ(run.signal, c.signal) << run.err.substr(0, 200);
  EXPECT_FALSE(HoldsTemporaryFile(dir.File("out")));
  for (const std::string& name : Names(dir.File("out"))) {
    EXPECT_EQ(ReadFileBytes(dir.File("out/" + name)), GoodOutput()) << name;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Requests, BatchStopTest,
    testing::Values(
        StopCase{"Interrupt", SIGINT, {}, false, false},
        StopCase{"Terminate", SIGTERM, {}, false, false},
        StopCase{"HangUp", SIGHUP, {}, false, false},
        StopCase{"InterruptWithTerminateIgnoredFromTheStart", SIGINT, {SIGTERM}, false, false},
        StopCase{"TerminateWhileStandardErrorIsUnread", SIGTERM, {}, true, false},
        StopCase{"HangUpWhileStandardErrorIsUnread", SIGHUP, {SIGINT}, true, false},
        StopCase{"InterruptWithoutWorkers", SIGINT, {}, false, true}),
    [](const testing::TestParamInfo<StopCase>& info) { return std::string(info.param.name); });

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
  ScanPipe slow{dir, "slow.dat"};
  RunOptions options;
  options.ignoredSignals = {SIGHUP};
  options.duringRun = [&](int pid) {
    if (!slow.Opened() || !HoldsTemporaryFile(dir.File("out"))) return false;
    kill(pid, SIGHUP);
    kill(OnlyWorker(pid), SIGHUP);
    slow.Write(GoodScan());
    slow.Close();
    return true;
  };
  const RunResult run = Batch(dir, {"-q", "-j", "1", "-o", "out", "slow.dat"}, options);
  EXPECT_EQ(run.signal, 0);
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(ReadFileBytes(dir.File("out/slow.pavo")), GoodOutput());
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

// ---- A power cut
// ---------------------------------------------------------------------------------

// A small ext4 file system on a loop device, mounted with the option that leaves the data of a
// renamed file to be written back later; Cut() shuts it down as a power cut would (the journal
// kept, unwritten data dropped), and Remount() brings back what survived.
class LoopFileSystem {
 public:
  explicit LoopFileSystem(const TempDir& dir)
      : image_{dir.File("fs.img")}, mountPoint_{dir.File("mnt")} {
    mkdir(mountPoint_.c_str(), 0755);
    const std::string make =
        "truncate -s 32M '" + image_ + "' && mkfs.ext4 -q -F '" + image_ + "' >/dev/null 2>&1";
    ready_ = std::system(make.c_str()) == 0 && Mount();
  }
  ~LoopFileSystem() { Unmount(); }
  bool ready() const { return ready_; }
  std::string Path(const std::string& name) const { return mountPoint_ + "/" + name; }

  /// The shutdown that a power cut amounts to: what the journal holds stays, unwritten data goes.
  bool Cut() {
    constexpr unsigned long kShutdown = _IOR('X', 125, __u32);  // FS_IOC_SHUTDOWN
    constexpr __u32 kFlushJournalOnly = 1;                      // FSOP_GOING_FLAGS_LOGFLUSH
    const int folder = open(mountPoint_.c_str(), O_RDONLY | O_DIRECTORY);
    __u32 flags = kFlushJournalOnly;
    const bool cut = folder >= 0 && ioctl(folder, kShutdown, &flags) == 0;
    if (folder >= 0) close(folder);
    return cut;
  }
  bool Remount() { return Unmount() && Mount(); }

 private:
  bool Mount() {
    mounted_ = std::system(("mount -o loop,noauto_da_alloc '" + image_ + "' '" + mountPoint_ +
                            "' >/dev/null 2>&1")
                               .c_str()) == 0;
    return mounted_;
  }
  bool Unmount() {
    if (mounted_) mounted_ = umount(mountPoint_.c_str()) != 0;
    return !mounted_;
  }

  std::string image_;
  std::string mountPoint_;
  bool ready_ = false;
  bool mounted_ = false;
};

// Once a run has counted its scans converted, a power cut keeps every output whole: the new
// ones, and with -f the replacements, never an empty or partial file that a rerun with -n would
// take for done.
TEST(BatchCrashTest, ConvertedOutputsSurviveAPowerCut) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root for a loop-mounted file system";
  TempDir dir;
  LoopFileSystem fs{dir};
  ASSERT_TRUE(fs.ready()) << "could not make and mount an ext4 file system on a loop device";
  std::vector<std::string> args = {"-q", "-o", fs.Path("out")};
  for (int i = 0; i < 20; ++i) args.push_back("s" + std::to_string(i) + ".dat");
  ASSERT_EQ(mkdir(fs.Path("out").c_str(), 0755), 0);
  const std::string replacement = RampScan(30);
  const std::string replaced = TitleRecord(ScanHeader{}.title, kStamp) + DefaultBankRecord(30, 3) +
                               CountRecords(RampCounts(30), 3);
  for (const auto& [scan, output, force] :
       {std::tuple{GoodScan(), GoodOutput(), false}, std::tuple{replacement, replaced, true}}) {
    for (int i = 0; i < 20; ++i) WriteFileBytes(dir.File("s" + std::to_string(i) + ".dat"), scan);
    std::vector<std::string> runArgs = args;
    if (force) runArgs.insert(runArgs.begin(), "-f");
    const RunResult run = Batch(dir, runArgs);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    ASSERT_TRUE(fs.Cut());
    ASSERT_TRUE(fs.Remount());
    for (int i = 0; i < 20; ++i) {
      EXPECT_EQ(ReadFileBytes(fs.Path("out/s" + std::to_string(i) + ".pavo")), output)
          << "s" << i << (force ? " replaced" : " new");
    }
  }
}

}  // namespace
}  // namespace convert_test
