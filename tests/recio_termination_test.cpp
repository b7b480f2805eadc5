// Whole runs of the record layer to their end: termination's closes, failures after the last
// request, the files behind the standard streams, and the floating-point fault messages.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/process_harness.h"
#include "tests/recio_probe_fixture.h"

namespace {

using x17b_test::FailureMessage;
using x17b_test::kStopLine;
using x17b_test::MathFaultMessage;
using x17b_test::ProbeRun;
using x17b_test::ReadFileBytes;
using x17b_test::RunOptions;
using x17b_test::Visible;
using x17b_test::WriteFileBytes;

using RecioTerminationTest = x17b_test::RecioProbeTest;
using RecioStandardStreamTest = x17b_test::RecioProbeTest;

// ---- Termination --------------------------------------------------------------------------------

TEST_F(RecioTerminationTest, TerminationClosesUnitsAndWritesTheirBuffers) {
  ProbeRun run = Run("open 3 a.txt status=new\nwrite 3 A kept at the end\nstop");
  EXPECT_EQ(ReadFileBytes(dir_.File("a.txt")), "kept at the end\r\n");
}

TEST_F(RecioTerminationTest, MainReturningStillRunsTermination) {
  ProbeRun run = Run("open 3 t.txt\nwrite 3 A data\nwrite * 1XA shown\nend");
  EXPECT_EQ(ReadFileBytes(dir_.File("t.txt")), "data\r\n");
  EXPECT_EQ(Visible(run.result.out), Visible("shown\r\n"));
}

TEST_F(RecioTerminationTest, MathFaultMessagesEndTheRunThroughTermination) {
  struct Case {
    int fault;
    int number;
    std::string word;
  };
  for (const Case& c : std::vector<Case>{{0, 6101, "invalid"},
                                         {1, 6103, "divide by zero"},
                                         {2, 6104, "overflow"},
                                         {3, 6110, "stack overflow"},
                                         {4, 6111, "stack underflow"}}) {
    ProbeRun run = Run("open 3 t.txt\nwrite 3 A data\nwrite * 1XA shown\nmathfault " +
                       std::to_string(c.fault));
    EXPECT_EQ(Visible(run.result.err), Visible(MathFaultMessage(c.number, c.word)));
    EXPECT_EQ(run.result.exitCode, 1);
    EXPECT_EQ(ReadFileBytes(dir_.File("t.txt")), "data\r\n");
    EXPECT_EQ(Visible(run.result.out), Visible("shown\r\n"));
  }
}

// ---- Standard streams and the end of a run ------------------------------------------------------

TEST_F(RecioStandardStreamTest, ClosedStandardStreamsAreNeverTakenByAFile) {
  // Closed, a standard stream's number would go to the first file opened: the console would read
  // it or write into it, and the failure message would land in it.
  for (int closed : {0, 1, 2}) {
    WriteFileBytes(dir_.File("data.txt"), "kept\n");
    RunOptions options = Options(
        "open 3 data.txt\nread 5 ?\nwrite * 1XA console\n"
        "open 4 missing status=old");
    options.closedStreams = {closed};
    ProbeRun run = RunWith(options);
    EXPECT_EQ(ReadFileBytes(dir_.File("data.txt")), "kept\n") << "stream " << closed;
    EXPECT_EQ(run.log.substr(0, 32), "open 3 status=0\nread status=-1 [") << run.log;
    EXPECT_EQ(run.result.exitCode, 1);
  }
}

TEST_F(RecioStandardStreamTest, FilesBehindTheStandardStreamsAreHeldByTheConsole) {
  // An open for reading only cannot write into it, and may read it. The same file by another name:
  // the device's (POSIX), the name in capitals (Windows).
#ifdef _WIN32
  const std::string kOtherSpelling = "OUT.TXT";
#else
  const std::string kOtherSpelling = "/dev/stdout";
#endif
  RunOptions options = Options("open 3 out.txt ?\nopen 4 " + kOtherSpelling +
                               " ?\nopen 5 other.txt ?\n" + "open 6 out.txt mode=read ?\nstop");
  options.stdoutPath = dir_.File("out.txt");
  ProbeRun run = RunWith(options);
  EXPECT_EQ(run.log, "open 3 status=6413\nopen 4 status=6413\nopen 5 status=0\nopen 6 status=0\n");
  EXPECT_EQ(ReadFileBytes(dir_.File("out.txt")), kStopLine);
}

// What goes wrong after the last request still makes the run a failure, with its message.
struct EndOfRunCase {
  const char* name;
  std::string script;
  std::string stdoutPath;  // relative to the run's directory, or a device
  long fileSizeLimit;
  bool readerGone;
  std::string err;
};

void PrintTo(const EndOfRunCase& c, std::ostream* os) {
  *os << c.name;
}

class RecioEndOfRun : public x17b_test::RecioProbeTest,
                      public testing::WithParamInterface<EndOfRunCase> {};

TEST_P(RecioEndOfRun, FailureAfterTheLastRequestIsReported) {
  const EndOfRunCase& c = GetParam();
  RunOptions options = Options(c.script);
  if (!c.stdoutPath.empty()) {
    options.stdoutPath = c.stdoutPath[0] == '/' ? c.stdoutPath : dir_.File(c.stdoutPath);
  }
#ifndef _WIN32
  options.fileSizeLimit = c.fileSizeLimit;
#endif
  options.stdoutReaderGone = c.readerGone;
  ProbeRun run = RunWith(options);
  EXPECT_EQ(Visible(run.result.err), Visible(c.err));
  EXPECT_EQ(run.result.exitCode, 1);
}

// The rows of every system, then those that need a device or the file size limit of POSIX.
std::vector<EndOfRunCase> EndOfRunCases() {
  std::vector<EndOfRunCase> cases = {
      EndOfRunCase{
          "StopLineToAPipeWithoutReader", "stop", "", -1, true,
          FailureMessage(6421, "WRITE", "CON", "file read-only or locked against writing")},
      EndOfRunCase{"CloseThatFailsAtTermination", "open 3 c.txt\nwrite 3 A x\nfailclose\nstop", "",
                   -1, false, FailureMessage(6422, "CLOSE", "c.txt", "no space left on device")},
      EndOfRunCase{"CloseThatFailsOnRequest", "open 3 c.txt\nfailclose\nclose 3\nstop", "", -1,
                   false, FailureMessage(6422, "CLOSE", "c.txt", "no space left on device")},
  };
#ifndef _WIN32
  cases.insert(
      cases.end(),
      {
          EndOfRunCase{"StopLineOnAFullDevice", "stop", "/dev/full", -1, false,
                       FailureMessage(6422, "WRITE", "CON", "no space left on device")},
          // 33 bytes hold "msg" and the stop line; termination's line end goes beyond the limit.
          EndOfRunCase{"LineEndOfTerminationPastTheSizeLimit", "write * 1XA msg\nstop", "log.txt",
                       33, false, FailureMessage(6422, "WRITE", "CON", "no space left on device")},
          EndOfRunCase{"BufferedRecordsPastTheSizeLimitAtTermination",
                       "open 3 big.txt\nwrite 3 A " + std::string(100, 'b') + "\nstop", "", 50,
                       false, FailureMessage(6422, "CLOSE", "big.txt", "no space left on device")},
          // A run that failed has said so: its line end at termination, past the limit, adds
          // nothing.
          EndOfRunCase{"FailedRunWhoseLastLineEndIsPastTheSizeLimit",
                       "write * 1XA msg\nopen 4 missing status=old", "log.txt", 3, false,
                       FailureMessage(6416, "OPEN", "missing", "file not found")},
      });
#endif
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Cases, RecioEndOfRun, testing::ValuesIn(EndOfRunCases()),
                         [](const testing::TestParamInfo<EndOfRunCase>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
