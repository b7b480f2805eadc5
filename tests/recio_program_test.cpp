// Whole runs of the record layer: console bytes, files, failure messages and exit codes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "tests/process_harness.h"
#include "tests/recio_probe_fixture.h"

namespace {

using x17b_test::InputKind;
using x17b_test::kQuestion;
using x17b_test::kStop;
using x17b_test::ProbeRun;
using x17b_test::ReadFileBytes;
using x17b_test::RunOptions;
using x17b_test::RunResult;
using x17b_test::TempDir;
using x17b_test::Visible;
using x17b_test::WriteFileBytes;

class RecioProgram : public x17b_test::RecioProbeTest {};

std::string Failure(const std::string& word, int number, const std::string& name,
                    const std::string& text) {
  return x17b_test::RecioProbeTest::Failure(word, number, name, text);
}

// ---- Console carriage control -----------------------------------------------------------------

TEST_F(RecioProgram, PipedMessagesBreakTheLineBeforeEachRecordAndTheStopEndsTwice) {
  ProbeRun run = Run("write * 1XA first\nwrite 6 A  second\nstop");
  EXPECT_EQ(Visible(run.result.out), Visible("first\r\nsecond\r\n" + kStop + "\r\n"));
  EXPECT_EQ(run.result.exitCode, 0);
  EXPECT_EQ(run.result.err, "");
}

TEST_F(RecioProgram, StopWithNothingWrittenIsTheStopLineAlone) {
  ProbeRun run = Run("stop");
  EXPECT_EQ(run.result.out, kStop);
  EXPECT_EQ(run.result.exitCode, 0);
}

TEST_F(RecioProgram, ControlCharactersOfTheFirstColumn) {
  ProbeRun run = Run("write * A 0double\nwrite * A +over\nwrite * A 1page\nwrite * A \nstop");
  // An empty record is one blank: only its line break shows.
  EXPECT_EQ(Visible(run.result.out),
            Visible("\r\ndouble\rover\r\n\f\b \rpage\r\n\r\n" + kStop + "\r\n"));
}

TEST_F(RecioProgram, ZeroControlWithNoLinePendingGivesOneLineBreak) {
  ProbeRun run = Run("write * A 0first\nend");
  EXPECT_EQ(Visible(run.result.out), Visible("\r\nfirst\r\n"));
}

TEST_F(RecioProgram, RulersWithRecordBreaks) {
  std::string dashes(80, '-');
  ProbeRun run = Run("ruler-before\nruler-after\nstop");
  // (/,1X,80('-')): an empty record, then the ruler; (1X,80('-'),/): the ruler, then an empty one.
  EXPECT_EQ(Visible(run.result.out),
            Visible("\r\n" + dashes + "\r\n" + dashes + "\r\n\r\n" + kStop + "\r\n"));
}

TEST_F(RecioProgram, PipedPromptKeepsTheLineAndTheNextRecordFollowsWhole) {
  // With pipes the read does not touch the output's state: the record after the held prompt is
  // written whole, its blank included.
  ProbeRun run = Run("write * A$  Name >\nread 5\nwrite * 1XA reply taken\nstop", "abc\n");
  EXPECT_EQ(Visible(run.result.out), Visible("Name > reply taken\r\n" + kStop + "\r\n"));
  EXPECT_EQ(run.log, "read status=0 [abc]\n");
}

TEST_F(RecioProgram, TerminalPromptThenReplyThenMessageStartsOnTheNextLine) {
  ProbeRun run =
      Run("write * A$  Name >\nread 5\nwrite * 1XA next\nstop", "abc\n", InputKind::kPty);
  // The reply is typed behind the prompt; after the read the console is on a fresh line.
  EXPECT_EQ(Visible(run.result.out), Visible("Name >next\r\n" + kStop + "\r\n"));
  EXPECT_EQ(run.log, "read status=0 [abc]\n");
}

TEST_F(RecioProgram, TerminalMessageThenReadBreaksTheLineBeforeTheReply) {
  ProbeRun run = Run("write * 1XA message\nread 5\nstop", "x\n", InputKind::kPty);
  EXPECT_EQ(Visible(run.result.out), Visible("message\r\n" + kStop));
}

TEST_F(RecioProgram, TerminalStopRightAfterAReadHasNoExtraLineBreaks) {
  ProbeRun run = Run("read 5\nstop", "x\n", InputKind::kPty);
  EXPECT_EQ(Visible(run.result.out), Visible(kStop));
}

// ---- Console input ----------------------------------------------------------------------------

TEST_F(RecioProgram, TerminalLineOf130CharactersIsReadAnd131Overflows) {
  std::string ok(130, 'a');
  std::string tooLong(131, 'b');
  ProbeRun run =
      Run("read 5 ?\nread 5 ?\nread 5 ?", ok + "\n" + tooLong + "\nz\n", InputKind::kPty);
  // The over-long line fails; the read held it whole with its line end, so the next read takes
  // the next line typed.
  EXPECT_EQ(run.log, "read status=0 [" + ok + "]\nread status=6407 [" + std::string(132, '#') +
                         "]\nread status=0 [z]\n");
}

TEST_F(RecioProgram, TerminalOverflowWithoutStatusIsAFailureMessage) {
  ProbeRun run = Run("read 5", std::string(200, 'c') + "\n", InputKind::kPty);
  ExpectFailure(run, "READ", 6407, "CON", "terminal buffer overflow");
}

TEST_F(RecioProgram, CtrlZEndsTheConsoleInputAndTheConsoleCanBeReadAgain) {
  for (InputKind kind : {InputKind::kPipe, InputKind::kPty}) {
    ProbeRun run = Run("read 5 ?\nread 5 ?\nread 5 ?", "\x1a\nabc\x1a\nafter\n", kind);
    // What a failed read left in its variable is nobody's business; the statuses are.
    std::string log = run.log;
    EXPECT_EQ(log.substr(0, 16), "read status=-1 [") << log;
    std::size_t second = log.find('\n') + 1;
    EXPECT_EQ(log.substr(second, 16), "read status=-1 [") << log;
    EXPECT_EQ(log.substr(log.find('\n', second) + 1), "read status=0 [after]\n") << log;
  }
}

TEST_F(RecioProgram, ConsoleEndOfInputWithEndWantedThenAgain) {
  ProbeRun run = Run("read 5 e\nread 5 e\nread 5");
  EXPECT_EQ(run.log, "read status=-1 [" + std::string(132, '#') + "]\nread status=-1 [" +
                         std::string(132, '#') + "]\n");
  ExpectFailure(run, "READ", 6501, "CON", "end of file encountered");
}

TEST_F(RecioProgram, PipedLinesStayInTheConsoleBufferBetweenReads) {
  ProbeRun run = Run("read 5\nread 5\nread 5", "one\ntwo\r\nthree");
  EXPECT_EQ(run.log, "read status=0 [one]\nread status=0 [two]\nread status=0 [three]\n");
}

// ---- Files: reading ---------------------------------------------------------------------------

TEST_F(RecioProgram, ReadingPastTheEndOfAFileEndsTheRunWithTheMessage) {
  WriteFileBytes(dir_.File("scan.dat"), "only line");
  ProbeRun run = Run("open 1 scan.dat status=old\nread 1\nwrite * 1XA shown\nread 1");
  EXPECT_EQ(run.log, "open 1 status=0\nread status=0 [only line]\n");
  ExpectFailure(run, "READ", 6501, "scan.dat", "end of file encountered");
  // Termination ends the pending console line.
  EXPECT_EQ(Visible(run.result.out), Visible("shown\r\n"));
}

TEST_F(RecioProgram, EndOfFileStaysOnAFile) {
  WriteFileBytes(dir_.File("m.txt"), "a\n");
  ProbeRun run = Run("open 1 m.txt status=old\nread 1 ?\nread 1 ?\nread 1 ?\nread 1");
  EXPECT_EQ(run.log, "open 1 status=0\nread status=0 [a]\nread status=-1 [" +
                         std::string(132, '#') + "]\nread status=-1 [" + std::string(132, '#') +
                         "]\n");
  // Once the mark is set, a read fails at once as "beyond end of file".
  ExpectFailure(run, "READ", 6405, "m.txt", "external I/O illegal beyond end of file");
}

TEST_F(RecioProgram, ShortLinesPadAndSkipsConsumeWholeRecords) {
  WriteFileBytes(dir_.File("h.txt"), "short\n                         1 2 tail\n\nx");
  ProbeRun run = Run("open 1 h.txt status=old\nnumber 1\nnumber 1\nskip 1\nskip 1\nskip 1 ?");
  EXPECT_EQ(run.log,
            "open 1 status=0\nnumber status=0 value=0\nnumber status=0 value=12\nskip "
            "status=0\nskip status=0\nskip status=-1\n");
}

TEST_F(RecioProgram, MalformedNumberWithStatusSkipsToTheNextLine) {
  WriteFileBytes(dir_.File("n.txt"),
                 "                        ab12\n                        0042\n");
  ProbeRun run = Run("open 1 n.txt status=old\nnumber 1 ?\nnumber 1 ?");
  EXPECT_EQ(run.log, "open 1 status=0\nnumber status=6101 value=-7\nnumber status=0 value=42\n");
}

TEST_F(RecioProgram, PipeByNameIsReadToItsEndWhicheverSideComesFirst) {
  // Opened for reading and writing, a pipe would hold a writer of its own and never end; opened
  // without waiting for its writer, it would end before the writer came.
  for (int writerDelayMs : {0, 300}) {
    std::string fifo = dir_.File("fifo" + std::to_string(writerDelayMs));
    ASSERT_EQ(mkfifo(fifo.c_str(), 0666), 0);
    std::thread writer([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(writerDelayMs));
      int fd = open(fifo.c_str(), O_WRONLY);
      if (fd >= 0) {
        EXPECT_EQ(write(fd, "line\n", 5), 5);
        close(fd);
      }
    });
    ProbeRun run = Run("open 1 " + fifo + " status=old\nread 1\nread 1 ?");
    int release = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);  // a writer left waiting goes on
    writer.join();
    close(release);
    EXPECT_EQ(run.log, "open 1 status=0\nread status=0 [line]\nread status=-1 [" +
                           std::string(132, '#') + "]\n")
        << "writer after " << writerDelayMs << " ms";
  }
}

// ---- Files: writing ---------------------------------------------------------------------------

TEST_F(RecioProgram, DirectAccessSlotsAreRecordLengthPlusCrLf) {
  ProbeRun run = Run(
      "open 2 out.dat status=unknown access=direct form=formatted recl=80\nints 2 1 1 2 3 4 5 6 7 "
      "8 9 123456789\ndirect 2 2 BANK\nclose 2\nstop");
  std::string slot1;
  for (int v = 1; v <= 9; ++v) slot1 += "       " + std::to_string(v);
  slot1 += "********\r\n";
  std::string slot2 = "BANK" + std::string(76, ' ') + "\r\n";
  EXPECT_EQ(Visible(ReadFileBytes(dir_.File("out.dat"))), Visible(slot1 + slot2));
  EXPECT_EQ(run.result.exitCode, 0);
}

TEST_F(RecioProgram, DirectAccessRecordsOneAndTwoColumnsLongerLoseTheirLineEnd) {
  std::string t81(81, 'x');
  std::string t82(82, 'y');
  ProbeRun run = Run("open 2 d.dat access=direct form=formatted recl=80\ndirect 2 1 " + t81 +
                     "\ndirect 2 2 " + t82 + "\ndirect 2 3 " + t82 + "z\nstop");
  EXPECT_EQ(ReadFileBytes(dir_.File("d.dat")), t81 + "\r" + t82);
  ExpectFailure(run, "WRITE", 6601, "d.dat", "direct record overflow");
}

TEST_F(RecioProgram, ExistingLongerDirectFileKeepsItsLaterSlots) {
  std::string old;
  for (int r = 0; r < 5; ++r) old += std::string(80, static_cast<char>('a' + r)) + "\r\n";
  WriteFileBytes(dir_.File("old.dat"), old);
  ProbeRun run =
      Run("open 2 old.dat status=unknown access=direct form=formatted recl=80\ndirect 2 2 "
          "new\nstop");
  std::string expected = old;
  expected.replace(82, 82, "new" + std::string(77, ' ') + "\r\n");
  EXPECT_EQ(ReadFileBytes(dir_.File("old.dat")), expected);
  EXPECT_EQ(run.result.exitCode, 0);
}

TEST_F(RecioProgram, IllegalRecordNumber) {
  ProbeRun run = Run("open 2 d.dat access=direct form=formatted recl=80\ndirect 2 0 x");
  ExpectFailure(run, "WRITE", 6311, "d.dat", "illegal record number");
}

TEST_F(RecioProgram, SequentialFileIsCutAtTheFirstWriteOnly) {
  WriteFileBytes(dir_.File("kept.txt"), "old contents\n");
  WriteFileBytes(dir_.File("cut.txt"), "old contents that are longer\n");
  ProbeRun run =
      Run("open 3 kept.txt\nclose 3\nopen 4 cut.txt\nwrite 4 A new\nwrite 4 A$ same line\nclose "
          "4\nstop");
  EXPECT_EQ(ReadFileBytes(dir_.File("kept.txt")), "old contents\n");
  EXPECT_EQ(ReadFileBytes(dir_.File("cut.txt")), "new\r\nsame line");
}

TEST_F(RecioProgram, WriteAfterReadingCutsWhereTheReadingStood) {
  WriteFileBytes(dir_.File("rw.txt"), "first\nsecond\nthird\n");
  ProbeRun run = Run("open 3 rw.txt\nread 3\nwrite 3 A replaced\nclose 3\nstop");
  EXPECT_EQ(ReadFileBytes(dir_.File("rw.txt")), "first\nreplaced\r\n");
}

TEST_F(RecioProgram, AppendWritesBehindTheOldContents) {
  WriteFileBytes(dir_.File("log.txt"), "old\r\n");
  Run("open 3 log.txt access=append\nwrite 3 A more\nstop");
  EXPECT_EQ(ReadFileBytes(dir_.File("log.txt")), "old\r\nmore\r\n");
}

TEST_F(RecioProgram, TerminationClosesUnitsAndWritesTheirBuffers) {
  ProbeRun run = Run("open 3 a.txt status=new\nwrite 3 A kept at the end\nstop");
  EXPECT_EQ(ReadFileBytes(dir_.File("a.txt")), "kept at the end\r\n");
}

TEST_F(RecioProgram, FullDeviceFailsWithNoSpaceLeft) {
  ProbeRun run = Run("open 3 /dev/full access=direct form=formatted recl=10\ndirect 3 1 x");
  ExpectFailure(run, "WRITE", 6422, "/dev/full", "no space left on device");
}

TEST_F(RecioProgram, FailureWhileTerminationClosesEndsTheRunAsAFailure) {
  ProbeRun run =
      Run("open 3 /dev/full\nwrite 3 A buffered\nopen 4 later.txt\nwrite 4 A "
          "x\nwrite * 1XA msg\nstop");
  EXPECT_EQ(Visible(run.result.err),
            Visible(Failure("CLOSE", 6422, "/dev/full", "no space left on device")));
  EXPECT_EQ(run.result.exitCode, 1);
  // The remaining closes and the final line end are skipped.
  EXPECT_EQ(Visible(run.result.out), Visible("msg\r\n" + kStop));
  EXPECT_EQ(ReadFileBytes(dir_.File("later.txt")), "");
}

TEST_F(RecioProgram, CloseWithDeleteRemovesTheFileAndScratchFilesGoAtClose) {
  ProbeRun run =
      Run("open 3 gone.txt\nwrite 3 A x\nclose 3 delete\nopen 7 -\nwrite 7 A "
          "scratch\nclose 7\nclose 8\nstop");
  EXPECT_FALSE(x17b_test::FileExists(dir_.File("gone.txt")));
  EXPECT_EQ(run.log,
            "open 3 status=0\nclose 3 status=0\nopen 7 status=0\nclose 7 status=0\n"
            "close 8 status=0\n");
  // Nothing is left in the directory but the probe's log.
  EXPECT_EQ(system(("test $(ls " + dir_.path() + " | wc -l) -eq 1").c_str()), 0);
}

// ---- Open: keywords, names, failures ----------------------------------------------------------

TEST_F(RecioProgram, KeywordTextsAreTrimmedAndCaseBlind) {
  WriteFileBytes(dir_.File("in.txt"), "x\n");
  ProbeRun run =
      Run("open 1 in.txt status=oLd mode=read share=denywr blank=zero blocksize=700\n"
          "read 1");
  EXPECT_EQ(run.log, "open 1 status=0\nread status=0 [x]\n");
}

TEST_F(RecioProgram, EveryIllegalKeywordValueHasItsNumber) {
  struct Case {
    std::string keyword;
    int number;
    std::string text;
  };
  std::vector<Case> cases = {
      {"status=OLDER", 6304, "illegal STATUS value"}, {"mode=RW", 6305, "illegal MODE value"},
      {"access=KEYED", 6306, "illegal ACCESS value"}, {"blank=ONE", 6307, "illegal BLANK value"},
      {"form=PRINT", 6308, "illegal FORM value"},     {"share=ALL", 6309, "illegal SHARE value"},
      {"recl=0", 6313, "illegal RECL value"}};
  std::string script;
  std::string expected;
  for (const Case& c : cases) {
    script += "open 9 f.txt " + c.keyword + " ?\n";
    expected += "open 9 status=" + std::to_string(c.number) + "\n";
  }
  ProbeRun run = Run(script);
  EXPECT_EQ(run.log, expected);
  ProbeRun failing = Run("open 9 f.txt mode=RW");
  ExpectFailure(failing, "OPEN", 6305, "f.txt", "illegal MODE value");
}

TEST_F(RecioProgram, OpenFailuresOfThePlatform) {
  mkdir(dir_.File("adir").c_str(), 0755);
  WriteFileBytes(dir_.File("there.txt"), "x");
  ProbeRun run = Run(
      "open 1 missing.dat status=old ?\nopen 1 there.txt status=new ?\nopen 1 adir ?\nopen 1 "
      "adir mode=read ?\nopen 1 PRN ?\nopen 1 lpt1.txt ?\nopen 1 con.txt access=direct ?\nopen 1 "
      "CON form=unformatted ?\nopen 1 named status=scratch ?\ninquire 1");
  EXPECT_EQ(run.log,
            "open 1 status=6416\nopen 1 status=6415\nopen 1 status=6414\nopen 1 "
            "status=6414\nopen 1 status=6414\nopen 1 status=6414\nopen 1 status=6202\nopen 1 "
            "status=6202\nopen 1 status=6301\ninquire 1 no\n");
  EXPECT_FALSE(x17b_test::FileExists(dir_.File("named")));
}

TEST_F(RecioProgram, MissingFileMessageNamesTheOpen) {
  ProbeRun run = Run("open 1 scan.dat status=old");
  ExpectFailure(run, "OPEN", 6416, "scan.dat", "file not found");
  EXPECT_EQ(run.result.out, "");
}

TEST_F(RecioProgram, SameFileOnTwoUnits) {
  WriteFileBytes(dir_.File("scan.dat"), "x\n");
  ProbeRun run =
      Run("open 1 scan.dat status=old\nopen 2 ./scan.dat ?\nopen 3 SCAN.DAT ?\n"
          "open 4 fresh.dat\nopen 5 ../" +
          dir_.path().substr(dir_.path().rfind('/') + 1) + "/fresh.dat ?\nopen 1 scan.dat");
  // One file by two spellings is refused; names differing in case are two files here. Re-opening
  // the same unit on its own file changes nothing.
  EXPECT_EQ(run.log,
            "open 1 status=0\nopen 2 status=6413\nopen 3 status=0\nopen 4 "
            "status=0\nopen 5 status=6413\nopen 1 status=0\n");
  ProbeRun failing = Run("open 1 scan.dat status=old\nopen 2 scan.dat");
  ExpectFailure(failing, "OPEN", 6413, "scan.dat", "file already connected to a different unit");
}

TEST_F(RecioProgram, ReopeningAUnitWithAnotherRecordKindIsAMismatch) {
  ProbeRun run =
      Run("open 2 o.dat\nopen 2 o.dat access=direct form=formatted recl=80 ?\n"
          "open 2 p.dat ?\ninquire 2");
  EXPECT_EQ(run.log, "open 2 status=0\nopen 2 status=6209\nopen 2 status=0\ninquire 2 yes\n");
}

TEST_F(RecioProgram, SixtySecondConnectionIsRefused) {
  std::string script;
  for (int unit = 100; unit < 161; ++unit) {
    script += "open " + std::to_string(unit) + " f" + std::to_string(unit) + "\n";
  }
  script += "open 99 one-too-many ?\nopen 99 NUL ?\nclose 100\nopen 99 now-fits ?";
  ProbeRun run = Run(script);
  std::string expectedTail =
      "open 99 status=6418\nopen 99 status=6418\nclose 100 status=0\nopen 99 status=0\n";
  ASSERT_GE(run.log.size(), expectedTail.size());
  EXPECT_EQ(run.log.substr(run.log.size() - expectedTail.size()), expectedTail);
  EXPECT_FALSE(x17b_test::FileExists(dir_.File("one-too-many")));
}

TEST_F(RecioProgram, DevicesNulAndErr) {
  ProbeRun run =
      Run("open 8 NUL\nopen 9 nul.dat\nwrite 8 A into nothing\nread 9 ?\nopen 10 err\n"
          "write 10 1XA to standard error\nclose 10\nwrite * 1XA out\nstop");
  EXPECT_EQ(run.log, "open 8 status=0\nopen 9 status=0\nread status=-1 [" + std::string(132, '#') +
                         "]\nopen 10 status=0\nclose 10 status=0\n");
  EXPECT_EQ(Visible(run.result.err), Visible("to standard error\r\n"));
  EXPECT_EQ(Visible(run.result.out), Visible("out\r\n" + kStop + "\r\n"));
}

TEST_F(RecioProgram, ConOpenedForReadingReadsTheConsole) {
  ProbeRun run =
      Run("open 3 con.txt\nread 3\ninquire 3\ninquire 64\ninquire 6\ninquire 11", "typed\n");
  EXPECT_EQ(run.log,
            "open 3 status=0\nread status=0 [typed]\ninquire 3 yes\ninquire 64 "
            "no\ninquire 6 yes\ninquire 11 no\n");
}

TEST_F(RecioProgram, KeepIsIllegalForAScratchFile) {
  ProbeRun run = Run("open 7 -\nclose 7 keep ?\nclose 7 sideways ?\nclose 7 ?");
  EXPECT_EQ(run.log,
            "open 7 status=0\nclose 7 status=6300\nclose 7 status=6304\nclose 7 status=0\n");
}

TEST_F(RecioProgram, ReadOnlyFileOpensAndFailsAtTheFirstWrite) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to run the child as another user";
  WriteFileBytes(dir_.File("ro.dat"), "old\r\n");
  chmod(dir_.File("ro.dat").c_str(), 0444);
  ProbeRun run =
      Run("open 2 ro.dat status=unknown access=direct form=formatted recl=80\n"
          "direct 2 1 new",
          "", InputKind::kPipe, {}, 65534);
  EXPECT_EQ(run.log, "open 2 status=0\n");
  ExpectFailure(run, "WRITE", 6421, "ro.dat", "file read-only or locked against writing");
  EXPECT_EQ(ReadFileBytes(dir_.File("ro.dat")), "old\r\n");
}

TEST_F(RecioProgram, DeleteRefusedForAFileInAProtectedDirectory) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to run the child as another user";
  mkdir(dir_.File("locked").c_str(), 0777);
  WriteFileBytes(dir_.File("locked/f.txt"), "x");
  chmod(dir_.File("locked/f.txt").c_str(), 0666);
  chmod(dir_.File("locked").c_str(), 0555);
  ProbeRun run = Run("open 3 locked/f.txt\nclose 3 delete", "", InputKind::kPipe, {}, 65534);
  ExpectFailure(run, "CLOSE", 6404, "locked/f.txt", "DELETE illegal for read-only file");
  chmod(dir_.File("locked").c_str(), 0755);
}

// ---- Standard streams and the end of a run ---------------------------------------------------

TEST_F(RecioProgram, ClosedStandardStreamsAreNeverTakenByAFile) {
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

TEST_F(RecioProgram, FilesBehindTheStandardStreamsAreHeldByTheConsole) {
  RunOptions options = Options("open 3 out.txt ?\nopen 4 /dev/stdout ?\nopen 5 other.txt ?\nstop");
  options.stdoutPath = dir_.File("out.txt");
  ProbeRun run = RunWith(options);
  EXPECT_EQ(run.log, "open 3 status=6413\nopen 4 status=6413\nopen 5 status=0\n");
  EXPECT_EQ(ReadFileBytes(dir_.File("out.txt")), kStop);
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
  options.fileSizeLimit = c.fileSizeLimit;
  options.stdoutReaderGone = c.readerGone;
  ProbeRun run = RunWith(options);
  EXPECT_EQ(Visible(run.result.err), Visible(c.err));
  EXPECT_EQ(run.result.exitCode, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RecioEndOfRun,
    testing::Values(
        EndOfRunCase{"StopLineOnAFullDevice", "stop", "/dev/full", -1, false,
                     Failure("WRITE", 6422, "CON", "no space left on device")},
        EndOfRunCase{"StopLineToAPipeWithoutReader", "stop", "", -1, true,
                     Failure("WRITE", 6421, "CON", "file read-only or locked against writing")},
        // 33 bytes hold "msg" and the stop line; termination's line end goes beyond the limit.
        EndOfRunCase{"LineEndOfTerminationPastTheSizeLimit", "write * 1XA msg\nstop", "log.txt", 33,
                     false, Failure("WRITE", 6422, "CON", "no space left on device")},
        EndOfRunCase{"BufferedRecordsPastTheSizeLimitAtTermination",
                     "open 3 big.txt\nwrite 3 A " + std::string(100, 'b') + "\nstop", "", 50, false,
                     Failure("CLOSE", 6422, "big.txt", "no space left on device")},
        EndOfRunCase{"CloseThatFailsAtTermination", "open 3 c.txt\nwrite 3 A x\nfailclose\nstop",
                     "", -1, false, Failure("CLOSE", 6422, "c.txt", "no space left on device")},
        EndOfRunCase{"CloseThatFailsOnRequest", "open 3 c.txt\nfailclose\nclose 3\nstop", "", -1,
                     false, Failure("CLOSE", 6422, "c.txt", "no space left on device")}),
    [](const testing::TestParamInfo<EndOfRunCase>& info) { return std::string(info.param.name); });

// ---- Name dialogue and implicit connection ----------------------------------------------------

TEST_F(RecioProgram, ArgumentsAnswerBlankNamesInOrderThenTheDialogueAsks) {
  WriteFileBytes(dir_.File("in.dat"), "from in\n");
  ProbeRun run = Run("open 1 _ status=old\nopen 2 _\nopen 3 _\nread 1", "  third.dat  \n",
                     InputKind::kPipe, {"in.dat", "out.dat"});
  EXPECT_EQ(run.log,
            "open 1 status=0\nopen 2 status=0\nopen 3 status=0\nread status=0 [from in]\n");
  EXPECT_EQ(run.result.out, kQuestion + "3? ");
  EXPECT_TRUE(x17b_test::FileExists(dir_.File("out.dat")));
  EXPECT_TRUE(x17b_test::FileExists(dir_.File("third.dat")));
}

TEST_F(RecioProgram, BlankRepliesRepeatTheQuestionAndAPendingLineIsEndedOnce) {
  ProbeRun run = Run("write * 1XA before\nopen 1 _\nwrite * 1XA after\nstop", "\n   \nname.txt\n");
  EXPECT_EQ(Visible(run.result.out), Visible("before\r\n" + kQuestion + "1? " + kQuestion + "1? " +
                                             kQuestion + "1? \r\nafter\r\n" + kStop + "\r\n"));
  EXPECT_TRUE(x17b_test::FileExists(dir_.File("name.txt")));
}

TEST_F(RecioProgram, DialogueAtTheEndOfTheInputFailsTheOpen) {
  ProbeRun run = Run("open 12 _", "");
  EXPECT_EQ(run.result.out, kQuestion + "12? ");
  ExpectFailure(run, "OPEN", 6501, "", "end of file encountered");
}

TEST_F(RecioProgram, ImplicitConnectionOnWriteAndRead) {
  WriteFileBytes(dir_.File("r.txt"), "line\n");
  WriteFileBytes(dir_.File("w.txt"), "old old old\n");
  ProbeRun run = Run("write 12 A fresh\nread 13\nread 14", "w.txt\nr.txt\nnot-there\n");
  EXPECT_EQ(run.result.out, kQuestion + "12? " + kQuestion + "13? " + kQuestion + "14? ");
  EXPECT_EQ(run.log, "read status=0 [line]\n");
  ExpectFailure(run, "OPEN", 6416, "not-there", "file not found");
  EXPECT_EQ(ReadFileBytes(dir_.File("w.txt")), "fresh\r\n");
}

TEST_F(RecioProgram, DialogueShareslinesWithConsoleReads) {
  // Lines already taken into the console buffer are not lost to the dialogue.
  ProbeRun run = Run("read 5\nopen 1 _\nread 5", "first\nname.dat\nthird\n");
  EXPECT_EQ(run.log, "read status=0 [first]\nopen 1 status=0\nread status=0 [third]\n");
  EXPECT_TRUE(x17b_test::FileExists(dir_.File("name.dat")));
}

TEST_F(RecioProgram, MainReturningStillRunsTermination) {
  ProbeRun run = Run("open 3 t.txt\nwrite 3 A data\nwrite * 1XA shown\nend");
  EXPECT_EQ(ReadFileBytes(dir_.File("t.txt")), "data\r\n");
  EXPECT_EQ(Visible(run.result.out), Visible("shown\r\n"));
}

}  // namespace
