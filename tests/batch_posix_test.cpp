// Whole-program tests of x17b2pavo-batch that need POSIX: links, another user, the file size
// limit, devices such as /dev/full, a terminal for the progress line, paths at Linux's limits. The
// Windows build runs batch_program_test.cpp and batch_workers_test.cpp unchanged and has
// windows_program_test.cpp for what only Windows has.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/batch_fixture.h"
#include "tests/convert_scan.h"
#include "tests/process_harness.h"

namespace convert_test {
namespace {

using x17b_test::InputKind;
using x17b_test::ReadFileBytes;
using x17b_test::RunOptions;
using x17b_test::RunResult;
using x17b_test::TempDir;
using x17b_test::Visible;
using x17b_test::WriteFileBytes;

// An output that cannot be written fails its scan and leaves no temporary file: a read-only
// folder, a file system out of space.
TEST(BatchFailureTest, OutputsThatCannotBeWritten) {
  TempDir dir;
  WriteFileBytes(dir.File("a.dat"), GoodScan());
  WriteFileBytes(dir.File("big.dat"), RampScan(1000));
  ASSERT_EQ(mkdir(dir.File("out").c_str(), 0755), 0);
  RunOptions limited;
  limited.fileSizeLimit = 4096;  // a.pavo fits, big.pavo does not
  RunResult run = Batch(dir, {"-o", "out", "a.dat", "big.dat"}, limited);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err, "x17b2pavo-batch: out/big.pavo: no space left on device (file too large)\n" +
                         Summary(2, 1, 0, 1));
  EXPECT_EQ(Names(dir.File("out")), std::vector<std::string>{"a.pavo"});

  if (geteuid() != 0) return;  // root writes into a read-only folder anyway
  ASSERT_EQ(mkdir(dir.File("ro").c_str(), 0555), 0);
  RunOptions nobody;
  nobody.dropToUid = 65534;
  run = Batch(dir, {"-q", "-o", "ro", "a.dat"}, nobody);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err, "x17b2pavo-batch: ro/a.pavo: access not allowed (permission denied)\n");
  EXPECT_TRUE(Names(dir.File("ro")).empty());
}

// An output that x17b2pavo could not write either fails its scan with x17b2pavo's reason under
// every option, and stays as it is: a folder, a device, the file behind standard error, a file
// this user may not write.
TEST(BatchOutputsTest, OutputsThatX17b2pavoCouldNotWriteAreNeverReplaced) {
  TempDir dir;
  for (const char* name : {"folder.dat", "device.dat", "log.dat", "locked.dat"}) {
    WriteFileBytes(dir.File(name), GoodScan());
  }
  ASSERT_EQ(mkdir(dir.File("folder.pavo").c_str(), 0755), 0);
  ASSERT_EQ(symlink("/dev/null", dir.File("device.pavo").c_str()), 0);
  WriteFileBytes(dir.File("log.pavo"), "");
  WriteFileBytes(dir.File("locked.pavo"), GoodOutput());
  ASSERT_EQ(chmod(dir.File("locked.pavo").c_str(), 0444), 0);
  ASSERT_EQ(chmod(dir.path().c_str(), 0777), 0);
  for (const char* option : {"-q", "-f", "-n"}) {
    RunOptions options;
    options.stdoutPath = dir.File("log.pavo");      // where a log goes: >log.pavo
    if (geteuid() == 0) options.dropToUid = 65534;  // root may write any file
    const RunResult run =
        Batch(dir, {"-q", option, "folder.dat", "device.dat", "log.dat", "locked.dat"}, options);
    EXPECT_EQ(run.exitCode, 1) << option;
    EXPECT_EQ(run.err,
              "x17b2pavo-batch: folder.pavo: access not allowed (is a directory)\n"
              "x17b2pavo-batch: device.pavo: access not allowed (not a regular file)\n"
              "x17b2pavo-batch: log.pavo: file already connected to a different unit\n"
              "x17b2pavo-batch: locked.pavo: file read-only or locked against writing "
              "(permission denied)\n")
        << option;
    EXPECT_EQ(ReadFileBytes(dir.File("locked.pavo")), GoodOutput());
    EXPECT_TRUE(std::filesystem::is_symlink(dir.File("device.pavo")));
  }
  // A link to a file that may be replaced is replaced by the rename: the link, not its target.
  WriteFileBytes(dir.File("target.pavo"), "old");
  WriteFileBytes(dir.File("linked.dat"), GoodScan());
  ASSERT_EQ(symlink("target.pavo", dir.File("linked.pavo").c_str()), 0);
  const RunResult run = Batch(dir, {"-q", "-f", "linked.dat"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(ReadFileBytes(dir.File("target.pavo")), "old");
  EXPECT_EQ(ReadFileBytes(dir.File("linked.pavo")), GoodOutput());
}

// Names at the system's limits: a temporary name of the longest path there is, in a worker and in
// the first process, and names too long for a folder entry.
TEST(BatchOutputsTest, NamesAtTheSystemsLimits) {
  TempDir dir;
  WriteFileBytes(dir.File("s.dat"), GoodScan());
  // The temporary name of s.pavo there is 4095 bytes: the longest path a system call takes.
  std::string deep = "d";
  while (deep.size() < 4063 - 201) deep += "/" + std::string(200, 'd');
  deep += "/" + std::string(4063 - deep.size() - 1, 'e');
  ASSERT_TRUE(std::filesystem::create_directories(dir.File(deep)));
  ASSERT_EQ(chmod(dir.path().c_str(), 0777), 0);
  std::filesystem::permissions(dir.File("d"), std::filesystem::perms::all);
  for (bool inFirstProcess : {false, true}) {
    if (inFirstProcess && geteuid() != 0) continue;  // needs root to run as another user
    RunOptions options;
    if (inFirstProcess) {
      options.dropToUid = 65534;
      options.processLimit = 0;
      for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.File("d"))) {
        chmod(entry.path().c_str(), 0777);
      }
      chmod(dir.File("d").c_str(), 0777);
    }
    const RunResult run = Batch(dir, {"-q", "-f", "-o", deep, "s.dat"}, options);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ReadFileBytes(dir.File(deep + "/s.pavo")), GoodOutput());
  }
  // A part of a name longer than a folder entry may be: the scan's own, and the output's.
  const std::string longStem(252, 'n');
  WriteFileBytes(dir.File(longStem + ".d"), GoodScan());
  const RunResult run = Batch(dir, {"-q", std::string(300, 'x') + ".dat", longStem + ".d"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err, "x17b2pavo-batch: " + std::string(300, 'x') +
                         ".dat: file not found (file name too long)\n" + "x17b2pavo-batch: " +
                         longStem + ".pavo: file not found (file name too long)\n");
  EXPECT_FALSE(HoldsTemporaryFile(dir.path()));
}

struct ProgressCase {
  const char* name;
  std::vector<std::string> options;
  std::string term;  // TERM
  std::string err;   // "quiet": only the failure line shows
};

void PrintTo(const ProgressCase& c, std::ostream* os) {
  *os << c.name;
}

class BatchTerminalProgressTest : public testing::TestWithParam<ProgressCase> {};

// On a terminal the progress line is rewritten in place: with an erase to the end of the line, or
// for a dumb terminal with blanks, cut to the terminal's width less one column without splitting a
// character, and taken away before a failure line and before the summary. -q leaves only the
// failure lines. (Without a terminal: batch_program_test.cpp.)
TEST_P(BatchTerminalProgressTest, ProgressFitsTheTerminal) {
  const ProgressCase& c = GetParam();
  TempDir dir;
  const std::string longName = "caf\xc3\xa9-" + std::string(40, 'x') + ".dat";
  WriteFileBytes(dir.File(longName), GoodScan());
  WriteFileBytes(dir.File("b.dat"), GoodScan());
  std::vector<std::string> args = c.options;
  for (const char* name : {"missing.dat", "b.dat"}) args.push_back(name);
  args.insert(args.begin() + static_cast<std::ptrdiff_t>(c.options.size()), longName);
  RunOptions options;
  options.kind = InputKind::kPty;
  options.stderrOnTerminal = true;
  options.terminalColumns = 30;
  options.environment = {{"TERM", c.term}};
  const RunResult run = Batch(dir, args, options);
  const std::string failure = "x17b2pavo-batch: missing.dat: file not found\n";
  const std::string& shown = run.out;
  if (c.err == "quiet") {
    EXPECT_EQ(Visible(shown), Visible(failure));
    return;
  }
  const bool dumb = c.term == "dumb";
  EXPECT_EQ(shown.find('\x1b') == std::string::npos, dumb) << Visible(shown);
  // The first line shows at once, cut to 29 columns after the accented character.
  const std::string first = "[1/3] caf\xc3\xa9-" + std::string(18, 'x');
  EXPECT_EQ(shown.substr(0, first.size() + 1), "\r" + first) << Visible(shown);
  const std::string cleared = dumb ? "\r" + std::string(29, ' ') + "\r" : "\r\x1b[K";
  EXPECT_NE(shown.find(cleared + failure), std::string::npos) << Visible(shown);
  EXPECT_TRUE(shown.ends_with(Summary(3, 2, 0, 1))) << Visible(shown);
  // Every progress line fits in 29 columns: one a character, whatever its bytes.
  for (std::size_t cr = shown.find("\r["); cr != std::string::npos;
       cr = shown.find("\r[", cr + 1)) {
    const std::string line = shown.substr(cr + 1, shown.find_first_of("\r\n\x1b", cr + 1) - cr - 1);
    EXPECT_LE(std::count_if(line.begin(), line.end(), [](char b) { return (b & 0xC0) != 0x80; }),
              29)
        << Visible(line);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, BatchTerminalProgressTest,
    testing::Values(ProgressCase{"Terminal", {"-f"}, "xterm", ""},
                    ProgressCase{"DumbTerminal", {"-f"}, "dumb", ""},
                    ProgressCase{"QuietTerminal", {"-f", "-q"}, "xterm", "quiet"}),
    [](const testing::TestParamInfo<ProgressCase>& info) { return std::string(info.param.name); });

// Replacing an output replaces the file behind its name: never when that file is a scan's, under
// another name behind a link.
TEST(BatchOutputsTest, ReplacingNeverTakesTheFileOfAScanBehindALink) {
  TempDir dir;
  const std::string other = RampScan(30);
  WriteFileBytes(dir.File("t.pavo"), other);
  WriteFileBytes(dir.File("t.dat"), GoodScan());
  ASSERT_EQ(symlink("t.pavo", dir.File("s.dat").c_str()), 0);
  const RunResult run = Batch(dir, {"-f", "-j1", "t.dat", "s.dat"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err,
            "x17b2pavo-batch: t.pavo: would replace the scan s.dat\n" + Summary(2, 1, 0, 1));
  EXPECT_EQ(ReadFileBytes(dir.File("t.pavo")), other);
}

}  // namespace
}  // namespace convert_test
