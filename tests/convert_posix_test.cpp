// Whole-program tests of x17b2pavo that need POSIX: a terminal dialogue (a pseudo-terminal),
// another user, the file size limit, devices such as /dev/full, and a shell. The Windows build
// runs the rest of these tests (convert_*_test.cpp) unchanged.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/convert_scan.h"
#include "tests/process_harness.h"

namespace convert_test {
namespace {

using x17b_test::FailureMessage;
using x17b_test::FileExists;
using x17b_test::InputKind;
using x17b_test::kStopLine;
using x17b_test::MathFaultMessage;
using x17b_test::ReadFileBytes;
using x17b_test::RunResult;
using x17b_test::TempDir;
using x17b_test::Visible;

// Runs the converter on `scan` with unusual standard streams set in `options`.
RunResult ConvertWith(const TempDir& dir, const std::string& scan, x17b_test::RunOptions options) {
  x17b_test::WriteFileBytes(dir.File("scan.dat"), scan);
  options.workDir = dir.path();
  return x17b_test::RunProgram(kProgram, options);
}

// ---- At a terminal ------------------------------------------------------------------------------

// At a terminal the prompt's line ended with the reply; the second prompt never appears.
TEST(ConvertOpenFailureTest, MissingScanFileAtATerminal) {
  TempDir dir;
  x17b_test::RunOptions options;
  options.input = "missing.dat out.pavo\n";
  options.workDir = dir.path();
  options.kind = InputKind::kPty;
  RunResult run = x17b_test::RunProgram(kProgram, options);
  ExpectFailed(run, FailureMessage(6416, "OPEN", "missing.dat", "file not found"), kInputPrompt);
  EXPECT_FALSE(FileExists(dir.File("out.pavo")));
}

TEST(ConvertDialogueTest, BothNamesOnOneLineAtATerminal) {
  TempDir dir;
  TwentyFive scan;
  RunResult run = Convert(dir, scan.Scan(), "scan.dat out.pavo\n", InputKind::kPty);
  ExpectStopped(run, kInputPrompt + kStopLine);
  EXPECT_EQ(Visible(ReadFileBytes(dir.File("out.pavo"))), Visible(scan.Expected()));
}

// A typed line of 131 characters fails and is gone whole: the question is asked again and the next
// line answers it. Two such lines in one question end the run through the status report.
TEST(ConvertDialogueTest, TypedLineOf131CharactersIsRefusedAndAskedAgain) {
  const std::string tooLong(131, 'a');
  {
    TempDir dir;
    TwentyFive scan;
    RunResult run = Convert(dir, scan.Scan(), tooLong + "\nscan.dat out.pavo\n", InputKind::kPty);
    ExpectStopped(run, kInputPrompt + kInputPrompt + kStopLine);
    EXPECT_EQ(Visible(ReadFileBytes(dir.File("out.pavo"))), Visible(scan.Expected()));
  }
  {
    TempDir dir;
    TwentyFive scan;
    RunResult run = Convert(dir, scan.Scan(), tooLong + "\n" + tooLong + "\n", InputKind::kPty);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(Visible(run.out),
              Visible(kInputPrompt + kInputPrompt + "FORTRAN error number6407 on unit  5\r\n" +
                      kStopLine + "\r\n"));
  }
}

// ---- Other users, devices, limits, the shell ---------------------------------------------------

// The README's recipe for many scans, run as it stands there, on names that a typed reply or a
// line-based pipeline would break.
TEST(ConvertExampleTest, ReadmeRecipeForManyScansTakesAnyName) {
  const std::string readme = ReadFileBytes(x17b_test::SourceFile("README.md"));
  const std::size_t at = readme.find("xargs -0 -n 1");
  ASSERT_NE(at, std::string::npos);
  const std::size_t start = readme.find_first_not_of(' ', readme.rfind('\n', at) + 1);
  const std::string recipe = readme.substr(start, readme.find('\n', at) - start);
  TempDir dir;
  TwentyFive scan;
  const std::vector<std::string> stems = {"plain", "with blank", "it's",    "\"quoted\"",
                                          "a,b",   "bang!",      "at@home", "-dash"};
  for (const std::string& stem : stems)
    x17b_test::WriteFileBytes(dir.File(stem + ".dat"), scan.Scan());
  x17b_test::RunOptions options;
  options.args = {"-c", recipe};
  options.workDir = dir.path();
  options.environment = {{"PATH", std::string(X17B_BUILD_DIR ":") + std::getenv("PATH")}};
  RunResult run = x17b_test::RunProgram("/bin/sh", options);
  EXPECT_EQ(run.exitCode, 0) << recipe;
  EXPECT_EQ(run.err, "");
  for (const std::string& stem : stems) {
    EXPECT_EQ(Visible(ReadFileBytes(dir.File(stem + ".pavo"))), Visible(scan.Expected())) << stem;
  }
}

// An existing output file that may not be written: the open falls back to reading only, and the
// first record fails. The file keeps its bytes.
TEST(ConvertWriteFailureTest, ReadOnlyOutputFailsAtTheFirstRecord) {
  TempDir dir;
  const std::string old = Record("old record 1") + Record("old record 2");
  x17b_test::WriteFileBytes(dir.File("out.pavo"), old);
  ASSERT_EQ(chmod(dir.File("out.pavo").c_str(), 0444), 0);
  x17b_test::WriteFileBytes(dir.File("scan.dat"),
                            JoinLines(ScanLines(ScanHeader{}, ValueLinesWithoutPoint(25))));
  x17b_test::RunOptions options;
  options.input = "scan.dat out.pavo\n";
  options.workDir = dir.path();
  if (geteuid() == 0) options.dropToUid = 65534;  // root would write anyway
  RunResult run = x17b_test::RunProgram(kProgram, options);
  ExpectFailed(
      run, FailureMessage(6421, "WRITE", "out.pavo", "file read-only or locked against writing"),
      PipedEnd(kInputPrompt, false));
  EXPECT_EQ(ReadFileBytes(dir.File("out.pavo")), old);
}

TEST(ConvertWriteFailureTest, FullDeviceFailsAtTheFirstRecord) {
  if (!FileExists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  TempDir dir;
  RunResult run = Convert(dir, JoinLines(ScanLines(ScanHeader{}, ValueLinesWithoutPoint(25))),
                          "scan.dat /dev/full\n");
  ExpectFailed(run, FailureMessage(6422, "WRITE", "/dev/full", "no space left on device"),
               PipedEnd(kInputPrompt, false));
}

// The file size limit makes writes fail; it never ends the run by a signal.
TEST(ConvertStreamTest, WritesPastTheFileSizeLimitAreFailures) {
  const std::string scan = JoinLines(ScanLines(ScanHeader{}, ValueLinesWithoutPoint(25)));
  {
    TempDir dir;
    x17b_test::RunOptions options;
    options.input = "scan.dat out.pavo\n";
    options.fileSizeLimit = 300;
    RunResult run = ConvertWith(dir, scan, options);
    EXPECT_EQ(run.signal, 0);
    ExpectFailed(run, FailureMessage(6422, "WRITE", "out.pavo", "no space left on device"),
                 PipedEnd(kInputPrompt, false));
  }
  {
    // A macro file still recording when the run ends is closed by termination; its last buffer
    // goes past the limit. The conversion itself writes to a device.
    TempDir dir;
    x17b_test::RunOptions options;
    options.input = "@M\nm.txt\nscan.dat /dev/null\n";
    options.fileSizeLimit = 10;
    RunResult run = ConvertWith(dir, scan, options);
    EXPECT_EQ(run.signal, 0);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(Visible(run.err),
              Visible(FailureMessage(6422, "CLOSE", "m.txt", "no space left on device")));
  }
}

}  // namespace
}  // namespace convert_test
