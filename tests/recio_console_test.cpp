// Whole runs of the record layer at the console: the carriage control of the records written,
// lines read from a pipe and from a terminal, and the units connected to the console.
#include <gtest/gtest.h>

#include <string>

#include "tests/process_harness.h"
#include "tests/recio_probe_fixture.h"

namespace {

using x17b_test::InputKind;
using x17b_test::kStopLine;
using x17b_test::ProbeRun;
using x17b_test::ReadFileBytes;
using x17b_test::Visible;

using RecioConsoleOutputTest = x17b_test::RecioProbeTest;
using RecioConsoleInputTest = x17b_test::RecioProbeTest;
using RecioConsoleUnitTest = x17b_test::RecioProbeTest;

// ---- Carriage control ---------------------------------------------------------------------------

TEST_F(RecioConsoleOutputTest, PipedMessagesBreakTheLineBeforeEachRecordAndTheStopEndsTwice) {
  ProbeRun run = Run("write * 1XA first\nwrite 6 A  second\nstop");
  EXPECT_EQ(Visible(run.result.out), Visible("first\r\nsecond\r\n" + kStopLine + "\r\n"));
  EXPECT_EQ(run.result.exitCode, 0);
  EXPECT_EQ(run.result.err, "");
}

TEST_F(RecioConsoleOutputTest, StopWithNothingWrittenIsTheStopLineAlone) {
  ProbeRun run = Run("stop");
  EXPECT_EQ(run.result.out, kStopLine);
  EXPECT_EQ(run.result.exitCode, 0);
}

TEST_F(RecioConsoleOutputTest, ControlCharactersOfTheFirstColumn) {
  ProbeRun run = Run("write * A 0double\nwrite * A +over\nwrite * A 1page\nwrite * A \nstop");
  // An empty record is one blank: only its line break shows.
  EXPECT_EQ(Visible(run.result.out),
            Visible("\r\ndouble\rover\r\n\f\b \rpage\r\n\r\n" + kStopLine + "\r\n"));
}

TEST_F(RecioConsoleOutputTest, ZeroControlWithNoLinePendingGivesOneLineBreak) {
  ProbeRun run = Run("write * A 0first\nend");
  EXPECT_EQ(Visible(run.result.out), Visible("\r\nfirst\r\n"));
}

TEST_F(RecioConsoleOutputTest, RulersWithRecordBreaks) {
  std::string dashes(80, '-');
  ProbeRun run = Run("ruler-before\nruler-after\nstop");
  // (/,1X,80('-')): an empty record, then the ruler; (1X,80('-'),/): the ruler, then an empty one.
  EXPECT_EQ(Visible(run.result.out),
            Visible("\r\n" + dashes + "\r\n" + dashes + "\r\n\r\n" + kStopLine + "\r\n"));
}

TEST_F(RecioConsoleOutputTest, PipedPromptKeepsTheLineAndTheNextRecordFollowsWhole) {
  // With pipes the read does not touch the output's state: the record after the held prompt is
  // written whole, its blank included.
  ProbeRun run = Run("write * A$  Name >\nread 5\nwrite * 1XA reply taken\nstop", "abc\n");
  EXPECT_EQ(Visible(run.result.out), Visible("Name > reply taken\r\n" + kStopLine + "\r\n"));
  EXPECT_EQ(run.log, "read status=0 [abc]\n");
}

// ---- Console input ------------------------------------------------------------------------------

TEST_F(RecioConsoleInputTest, CtrlZEndsTheConsoleInputAndTheConsoleCanBeReadAgain) {
  for (InputKind kind : x17b_test::kInputKinds) {
    ProbeRun run = Run("read 5 ?\nread 5 ?\nread 5 ?", "\x1a\nabc\x1a\nafter\n", kind);
    // What a failed read left in its variable is nobody's business; the statuses are.
    std::string log = run.log;
    EXPECT_EQ(log.substr(0, 16), "read status=-1 [") << log;
    std::size_t second = log.find('\n') + 1;
    EXPECT_EQ(log.substr(second, 16), "read status=-1 [") << log;
    EXPECT_EQ(log.substr(log.find('\n', second) + 1), "read status=0 [after]\n") << log;
  }
}

TEST_F(RecioConsoleInputTest, ConsoleEndOfInputWithEndWantedThenAgain) {
  ProbeRun run = Run("read 5 e\nread 5 e\nread 5");
  EXPECT_EQ(run.log, "read status=-1 [" + std::string(132, '#') + "]\nread status=-1 [" +
                         std::string(132, '#') + "]\n");
  ExpectFailure(run, 6501, "READ", "CON", "end of file encountered");
}

TEST_F(RecioConsoleInputTest, PipedLinesStayInTheConsoleBufferBetweenReads) {
  ProbeRun run = Run("read 5\nread 5\nread 5", "one\ntwo\r\nthree");
  EXPECT_EQ(run.log, "read status=0 [one]\nread status=0 [two]\nread status=0 [three]\n");
}

TEST_F(RecioConsoleInputTest, CtrlZLineInANumericFieldIsOneEndOfFileOnAnyConsole) {
  // The whole line is the end of file; the next read takes the line after it.
  std::string blanks(24, ' ');
  for (InputKind kind : x17b_test::kInputKinds) {
    ProbeRun run =
        Run("number 5 ?\nnumber 5 ?\nstop", blanks + "12\x1a\n" + blanks + "0042\n", kind);
    EXPECT_EQ(run.log.substr(0, 16), "number status=-1") << run.log;
    EXPECT_EQ(run.log.substr(run.log.find('\n') + 1), "number status=0 value=42\n")
        << (kind == InputKind::kPipe ? "pipe" : "terminal");
  }
  // A piped line longer than the console buffer is examined once a field of it fails.
  ProbeRun run = Run("number 5 ?\nnumber 5 ?\nstop",
                     blanks + "ab" + std::string(200, 'x') + "\x1a\n" + blanks + "0042\n");
  EXPECT_EQ(run.log.substr(0, 16), "number status=-1") << run.log;
  EXPECT_EQ(run.log.substr(run.log.find('\n') + 1), "number status=0 value=42\n");
}

// ---- Console units ------------------------------------------------------------------------------

TEST_F(RecioConsoleUnitTest, ClosingUnitFiveLeavesTheSeparateOutputLineAlone) {
  // With pipes unit 5 is the console input: its close has no output line to end.
  ProbeRun run = Run("write * 1XA msg\nclose 5\nstop");
  EXPECT_EQ(Visible(run.result.out), Visible("msg\r\n" + kStopLine + "\r\n"));
}

TEST_F(RecioConsoleUnitTest, CloseOfAConsoleUnitChecksItsStatusText) {
  ProbeRun run = Run("close 6 sideways ?\nclose * sideways ?\nclose 0 keep ?\ninquire 6");
  EXPECT_EQ(run.log, "close 6 status=6304\nclose * status=6304\nclose 0 status=0\ninquire 6 yes\n");
}

TEST_F(RecioConsoleUnitTest, OpenWithoutANameKeepsAConsoleUnitOnTheConsole) {
  // A connected unit opened with no name keeps its own name, here the console's.
  ProbeRun run = Run("open 6 -\nwrite 6 1XA shown\nstop");
  EXPECT_EQ(run.log, "open 6 status=0\n");
  EXPECT_EQ(Visible(run.result.out), Visible("shown\r\n" + kStopLine + "\r\n"));
}

TEST_F(RecioConsoleUnitTest, ConOpenedForReadingReadsTheConsole) {
  ProbeRun run =
      Run("open 3 con.txt\nread 3\ninquire 3\ninquire 64\ninquire 6\ninquire 11", "typed\n");
  EXPECT_EQ(run.log,
            "open 3 status=0\nread status=0 [typed]\ninquire 3 yes\ninquire 64 "
            "no\ninquire 6 yes\ninquire 11 no\n");
}

TEST_F(RecioConsoleUnitTest, UserIsTheConsoleOnlyWithoutAnExtension) {
  ProbeRun run = Run("open 3 USER\nwrite 3 1XA shown\nopen 4 user.dat\nwrite 4 A kept\nstop");
  EXPECT_EQ(Visible(run.result.out), Visible("shown\r\n" + kStopLine + "\r\n"));
  EXPECT_EQ(ReadFileBytes(dir_.File("user.dat")), "kept\r\n");
}

TEST_F(RecioConsoleUnitTest, ErrIsAConsoleOnStandardErrorThatCannotBeRead) {
  ProbeRun run =
      Run("open 10 ERR\nwrite 10 1XA one\nwrite 10 A 0two\nwrite 10 A$  prompt>\nread 10 ?\nstop");
  // Carriage control and the pending line are its own; termination ends its line.
  EXPECT_EQ(Visible(run.result.err), Visible("one\r\n\r\ntwo\r\nprompt>\r\n"));
  EXPECT_EQ(run.log.substr(0, 34), "open 10 status=0\nread status=6500 ") << run.log;
  EXPECT_EQ(Visible(run.result.out), Visible(kStopLine));
  EXPECT_EQ(run.result.exitCode, 0);
}

TEST_F(RecioConsoleUnitTest, ConsoleAndStandardErrorCannotBeConnectedToTwoUnits) {
  // Only the null device may be connected to several units at once.
  ProbeRun run =
      Run("open 3 CON\nopen 4 con.txt ?\nopen 9 ERR\nopen 10 err ?\nopen 11 NUL\n"
          "open 12 nul.x ?\ninquire 4\ninquire 10");
  EXPECT_EQ(run.log,
            "open 3 status=0\nopen 4 status=6413\nopen 9 status=0\nopen 10 "
            "status=6413\nopen 11 status=0\nopen 12 status=0\ninquire 4 no\ninquire 10 "
            "no\n");
}

}  // namespace
