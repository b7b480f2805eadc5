// Whole runs of the record layer for the cases its first tests left open: device names, console
// units, record lengths, failed records, the name dialogue's limits, buffers, names and bytes.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/process_harness.h"
#include "tests/recio_probe_fixture.h"

namespace {

using x17b_test::FileExists;
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

std::string Hex(const std::string& bytes) {
  std::string hex;
  for (unsigned char c : bytes) {
    char pair[3];
    std::snprintf(pair, sizeof pair, "%02X", c);
    hex += pair;
  }
  return hex;
}

// Every byte value from `first` to `last`, without those listed in `except`.
std::string Bytes(int first, int last, const std::string& except = "") {
  std::string bytes;
  for (int b = first; b <= last; ++b) {
    if (except.find(static_cast<char>(b)) == std::string::npos) bytes += static_cast<char>(b);
  }
  return bytes;
}

class RecioReview : public x17b_test::RecioProbeTest {
 protected:
  // The names in the working directory, the probe's log left out.
  std::vector<std::string> DirectoryNames() {
    std::vector<std::string> names;
    DIR* dir = opendir(dir_.path().c_str());
    if (dir == nullptr) return names;
    while (dirent* entry = readdir(dir)) {
      std::string name = entry->d_name;
      if (name != "." && name != ".." && name != "probe.log") names.push_back(name);
    }
    closedir(dir);
    return names;
  }
};

// ---- Device names -----------------------------------------------------------------------------

TEST_F(RecioReview, DeleteOnADeviceUnitNeverRemovesAFileOfThatName) {
  WriteFileBytes(dir_.File("nul.dat"), "keep me\n");
  WriteFileBytes(dir_.File("err"), "keep me too\n");
  ProbeRun run = Run("open 8 nul.dat\nclose 8 delete ?\nopen 10 err\nclose 10 delete ?\nstop");
  EXPECT_EQ(ReadFileBytes(dir_.File("nul.dat")), "keep me\n");
  EXPECT_EQ(ReadFileBytes(dir_.File("err")), "keep me too\n");
  EXPECT_EQ(run.result.exitCode, 0);
}

TEST_F(RecioReview, ConsoleAndStandardErrorCannotBeConnectedToTwoUnits) {
  // Only the null device may be connected to several units at once.
  ProbeRun run =
      Run("open 3 CON\nopen 4 con.txt ?\nopen 9 ERR\nopen 10 err ?\nopen 11 NUL\n"
          "open 12 nul.x ?\ninquire 4\ninquire 10");
  EXPECT_EQ(run.log,
            "open 3 status=0\nopen 4 status=6413\nopen 9 status=0\nopen 10 "
            "status=6413\nopen 11 status=0\nopen 12 status=0\ninquire 4 no\ninquire 10 "
            "no\n");
}

TEST_F(RecioReview, DeviceNameLosesItsExtension) {
  ProbeRun run = Run("open 9 nul.dat\nread 9");
  ExpectFailure(run, "READ", 6501, "nul", "end of file encountered");
}

TEST_F(RecioReview, ErrIsAConsoleOnStandardErrorThatCannotBeRead) {
  ProbeRun run =
      Run("open 10 ERR\nwrite 10 1XA one\nwrite 10 A 0two\nwrite 10 A$  prompt>\nread 10 ?\nstop");
  // Carriage control and the pending line are its own; termination ends its line.
  EXPECT_EQ(Visible(run.result.err), Visible("one\r\n\r\ntwo\r\nprompt>\r\n"));
  EXPECT_EQ(run.log.substr(0, 34), "open 10 status=0\nread status=6500 ") << run.log;
  EXPECT_EQ(Visible(run.result.out), Visible(kStop));
  EXPECT_EQ(run.result.exitCode, 0);
}

// ---- Console units ----------------------------------------------------------------------------

TEST_F(RecioReview, ClosingUnitFiveLeavesTheSeparateOutputLineAlone) {
  // With pipes unit 5 is the console input: its close has no output line to end.
  ProbeRun run = Run("write * 1XA msg\nclose 5\nstop");
  EXPECT_EQ(Visible(run.result.out), Visible("msg\r\n" + kStop + "\r\n"));
}

TEST_F(RecioReview, CloseOfAConsoleUnitChecksItsStatusText) {
  ProbeRun run = Run("close 6 sideways ?\nclose * sideways ?\nclose 0 keep ?\ninquire 6");
  EXPECT_EQ(run.log, "close 6 status=6304\nclose * status=6304\nclose 0 status=0\ninquire 6 yes\n");
}

TEST_F(RecioReview, OpenWithoutANameKeepsAConsoleUnitOnTheConsole) {
  // A connected unit opened with no name keeps its own name, here the console's.
  ProbeRun run = Run("open 6 -\nwrite 6 1XA shown\nstop");
  EXPECT_EQ(run.log, "open 6 status=0\n");
  EXPECT_EQ(Visible(run.result.out), Visible("shown\r\n" + kStop + "\r\n"));
}

TEST_F(RecioReview, SkipAtATerminalTakesOneLine) {
  ProbeRun run = Run("skip 5\nread 5", "one\ntwo\n", InputKind::kPty);
  EXPECT_EQ(run.log, "skip status=0\nread status=0 [two]\n");
}

TEST_F(RecioReview, CtrlZLineInANumericFieldIsOneEndOfFileOnAnyConsole) {
  // The whole line is the end of file; the next read takes the line after it.
  std::string blanks(24, ' ');
  for (InputKind kind : {InputKind::kPty, InputKind::kPipe}) {
    ProbeRun run =
        Run("number 5 ?\nnumber 5 ?\nstop", blanks + "12\x1a\n" + blanks + "0042\n", kind);
    EXPECT_EQ(run.log.substr(0, 16), "number status=-1") << run.log;
    EXPECT_EQ(run.log.substr(run.log.find('\n') + 1), "number status=0 value=42\n")
        << (kind == InputKind::kPty ? "terminal" : "pipe");
  }
  // A piped line longer than the console buffer is examined once a field of it fails.
  ProbeRun run = Run("number 5 ?\nnumber 5 ?\nstop",
                     blanks + "ab" + std::string(200, 'x') + "\x1a\n" + blanks + "0042\n");
  EXPECT_EQ(run.log.substr(0, 16), "number status=-1") << run.log;
  EXPECT_EQ(run.log.substr(run.log.find('\n') + 1), "number status=0 value=42\n");
}

// ---- Direct-access records --------------------------------------------------------------------

TEST_F(RecioReview, RecordLengthsNearTheIntegerLimitAreAccepted) {
  ProbeRun run =
      Run("open 2 big.dat access=direct form=formatted recl=2147483647 ?\ninquire 2\nclose 2 ?\n"
          "open 3 big2.dat access=direct form=formatted recl=2147483646 ?\nclose 3 ?");
  EXPECT_EQ(run.log,
            "open 2 status=0\ninquire 2 yes\nclose 2 status=0\nopen 3 status=0\nclose 3 "
            "status=0\n");
  EXPECT_EQ(ReadFileBytes(dir_.File("big.dat")), "");
}

TEST_F(RecioReview, FailedDirectRecordLeavesNothingBehindForTheNext) {
  ProbeRun run =
      Run("open 2 d.dat access=direct form=formatted recl=10\n"
          "direct2 2 1 abcdefgh ijklmnop ?\ndirect 2 2 x\nclose 2\nstop");
  EXPECT_EQ(run.log, "open 2 status=0\ndirect2 status=6601\ndirect status=0\nclose 2 status=0\n");
  std::string file = ReadFileBytes(dir_.File("d.dat"));
  ASSERT_EQ(file.size(), 24u);
  EXPECT_EQ(Visible(file.substr(12)), Visible("x         \r\n"));
}

TEST_F(RecioReview, RecordNumberAtTheIntegerLimitIsWritten) {
  // The slot of record 2147483647 lies 6 GB in; the file is sparse up to it.
  ProbeRun run =
      Run("open 2 far.dat access=direct form=formatted recl=1\ndirect 2 2147483647 x\n"
          "close 2\nstop");
  EXPECT_EQ(run.log, "open 2 status=0\ndirect status=0\nclose 2 status=0\n");
  EXPECT_EQ(run.result.err, "");
  struct stat st {};
  ASSERT_EQ(stat(dir_.File("far.dat").c_str(), &st), 0);
  EXPECT_EQ(static_cast<int64_t>(st.st_size), int64_t{2147483647} * 3);
}

// ---- Name dialogue ----------------------------------------------------------------------------

TEST_F(RecioReview, DialogueThatTookTheLastUnendedLineLeavesTheInputAtItsEnd) {
  ProbeRun run = Run("open 1 _\nread 5 ?", "name.dat");
  EXPECT_TRUE(FileExists(dir_.File("name.dat")));
  EXPECT_EQ(run.log.substr(0, 32), "open 1 status=0\nread status=-1 [") << run.log;
}

TEST_F(RecioReview, DialogueLineEndingInCtrlZIsTheEndOfTheInput) {
  // Its last character decides, with or without a line end, however many characters were kept.
  for (const std::string& input :
       {std::string("abc\x1a"), std::string("abc\x1a\r\n"), std::string(300, 'q') + "\x1a\n"}) {
    ProbeRun run = Run("open 1 _", input);
    ExpectFailure(run, "OPEN", 6501, "", "end of file encountered");
    EXPECT_TRUE(DirectoryNames().empty());
  }
}

TEST_F(RecioReview, DialogueTakes258CharactersFromATerminalAndKeepsTheRest) {
  mkdir(dir_.File("sub").c_str(), 0777);
  std::string name = "sub/" + std::string(254, 'p');
  ProbeRun run = Run("open 1 _\nread 5", name + "REST\n", InputKind::kPty);
  EXPECT_EQ(run.log, "open 1 status=0\nread status=0 [REST]\n");
  EXPECT_TRUE(FileExists(dir_.File(name)));
}

TEST_F(RecioReview, DialogueTakes260CharactersFromAPipeAndSkipsTheRest) {
  mkdir(dir_.File("sub").c_str(), 0777);
  std::string name = "sub/" + std::string(255, 'q');
  ProbeRun run = Run("open 1 _\nread 5", name + " ZZZZ\nnext\n");
  EXPECT_EQ(run.log, "open 1 status=0\nread status=0 [next]\n");
  EXPECT_TRUE(FileExists(dir_.File(name)));
}

TEST_F(RecioReview, BlankArgumentIsTakenAndTheQuestionFollows) {
  ProbeRun run = Run("open 1 _\nopen 2 _", "a.dat\n", InputKind::kPipe, {"   ", "b.dat"});
  EXPECT_EQ(run.result.out, kQuestion + "1? ");
  EXPECT_TRUE(FileExists(dir_.File("a.dat")));
  EXPECT_TRUE(FileExists(dir_.File("b.dat")));
}

TEST_F(RecioReview, DialogueShowsANegativeUnitWithItsSign) {
  ProbeRun run = Run("open -5 _\ninquire -5", "neg.txt\n");
  EXPECT_EQ(run.result.out, kQuestion + "-5? ");
  EXPECT_EQ(run.log, "open -5 status=0\ninquire -5 yes\n");
  EXPECT_TRUE(FileExists(dir_.File("neg.txt")));
}

TEST_F(RecioReview, FailedReopenLeavesTheUnitClosedUnlessAnotherUnitHoldsTheFile) {
  WriteFileBytes(dir_.File("c.txt"), "c\n");
  ProbeRun run =
      Run("open 1 a.txt\nopen 1 missing status=old ?\ninquire 1\nopen 3 c.txt\n"
          "open 4 d.txt\nopen 3 d.txt ?\nread 3");
  // The other unit's file is refused before the unit's own connection is touched.
  EXPECT_EQ(run.log,
            "open 1 status=0\nopen 1 status=6416\ninquire 1 no\nopen 3 status=0\nopen 4 "
            "status=0\nopen 3 status=6413\nread status=0 [c]\n");
}

// ---- Names ------------------------------------------------------------------------------------

TEST_F(RecioReview, NamesLongerThan259CharactersAreCutBeforeTheirBlanksAreDropped) {
  mkdir(dir_.File("sub").c_str(), 0777);
  std::string cut = "sub/" + std::string(255, 'n');
  std::string blanksFirst = "     sub/" + std::string(255, 'm');
  ProbeRun run = Run("openx 1 " + Hex(cut + std::string(41, 'X')) + " status=new ?\nopenx 2 " +
                         Hex(blanksFirst) + " status=new ?",
                     "", InputKind::kPipe);
  EXPECT_EQ(run.log, "open 1 status=0\nopen 2 status=0\n");
  EXPECT_TRUE(FileExists(dir_.File(cut)));
  EXPECT_TRUE(FileExists(dir_.File("sub/" + std::string(250, 'm'))));

  ProbeRun fromArgument =
      Run("open 3 _", "", InputKind::kPipe, {"sub/" + std::string(255, 'a') + "TAIL"});
  EXPECT_EQ(fromArgument.result.out, "");
  EXPECT_TRUE(FileExists(dir_.File("sub/" + std::string(255, 'a'))));

  ProbeRun missing = Run("openx 4 " + Hex("nodir/" + std::string(300, 'q')) + " status=old");
  ExpectFailure(missing, "OPEN", 6416, "nodir/" + std::string(253, 'q'), "file not found");
}

TEST_F(RecioReview, AnyByteInANameGivesAStatusAndNeverACrash) {
  std::string control = "\x01\x02\x1b\r\n\x7f\xff";
  ProbeRun run = Run("openx 1 " + Hex(Bytes(1, 255)) + " status=old ?\nopenx 2 " +
                     Hex(std::string("a\0b", 3)) + " ?\nopenx 3 " + Hex(control) +
                     " status=new ?\nclose 3\nstop");
  // The first name holds a "/" behind a directory that does not exist. A NUL cannot reach the
  // platform, so the name is refused, whatever the reason given.
  std::size_t second = run.log.find("open 2 status=");
  ASSERT_NE(second, std::string::npos) << run.log;
  EXPECT_EQ(run.log.substr(0, second), "open 1 status=6416\n");
  EXPECT_NE(run.log.substr(second, 16), "open 2 status=0\n") << run.log;
  EXPECT_EQ(run.log.substr(run.log.find("open 3")), "open 3 status=0\nclose 3 status=0\n");
  EXPECT_TRUE(FileExists(dir_.File(control)));
  EXPECT_EQ(run.result.exitCode, 0);
}

TEST_F(RecioReview, CreatedFilesCanBeReadAndWritten) {
  Run("open 3 new.txt status=new\nclose 3\nstop");
  struct stat st {};
  ASSERT_EQ(stat(dir_.File("new.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0600, 0600u);
}

// ---- Records: bytes and lengths ---------------------------------------------------------------

TEST_F(RecioReview, AnyByteInARecordIsReadAndWrittenWhole) {
  // 253 bytes with Ctrl-Z inside; no NUL, which the probe's log could not show.
  std::string line = Bytes(1, 255, "\n\r");
  WriteFileBytes(dir_.File("bytes.dat"), line + "\n" + line);
  std::string all = Bytes(0, 255);
  ProbeRun run =
      Run("open 1 bytes.dat status=old\nread 1\nread 1\nread 5 ?\nread 5 ?\nopen 3 "
          "out.bin status=new\nwritex 3 " +
              Hex(all) + "\nclose 3\nwritex * " + Hex(" " + all) + "\nstop",
          line + "\n" + line);
  std::string shown = "read status=0 [" + line.substr(0, 132) + "]\n";
  EXPECT_EQ(Visible(run.log), Visible("open 1 status=0\n" + shown + shown + shown + shown +
                                      "open 3 status=0\nclose 3 status=0\n"));
  EXPECT_EQ(Visible(ReadFileBytes(dir_.File("out.bin"))), Visible(all + "\r\n"));
  // The console record goes out whole; the blank in front was its carriage control.
  EXPECT_EQ(Visible(run.result.out), Visible(all + "\r\n" + kStop + "\r\n"));
  EXPECT_EQ(run.result.exitCode, 0);
}

TEST_F(RecioReview, LongRecordsSpanSeveralBuffers) {
  WriteFileBytes(dir_.File("long.txt"), std::string(2000, 'x') + "\nsecond\nthird\n");
  std::string wide(3000, 'w');
  ProbeRun run =
      Run("open 1 long.txt\nread 1\nwrite 1 A new\nclose 1\nopen 3 wide.txt\nwrite 3 "
          "A " +
              wide + "\nread 5\nread 5\nstop",
          std::string(300, 'y') + "\nshort\n");
  EXPECT_EQ(run.log, "open 1 status=0\nread status=0 [" + std::string(132, 'x') +
                         "]\nclose 1 status=0\nopen 3 status=0\nread status=0 [" +
                         std::string(132, 'y') + "]\nread status=0 [short]\n");
  // The write cuts the file right behind the record read, 2001 bytes in.
  EXPECT_EQ(ReadFileBytes(dir_.File("long.txt")), std::string(2000, 'x') + "\nnew\r\n");
  EXPECT_EQ(ReadFileBytes(dir_.File("wide.txt")), wide + "\r\n");
}

// ---- Buffers ----------------------------------------------------------------------------------

TEST_F(RecioReview, BlockSizeIsRoundedUpToAMultipleOf512) {
  // A 750-byte record, then the process dies without termination: only whole buffers are out.
  std::string record(748, 'b');
  struct Case {
    std::string keyword;
    std::size_t written;
  };
  for (const Case& c : std::vector<Case>{{"", 0},
                                         {"blocksize=512", 512},
                                         {"blocksize=513", 0},
                                         {"blocksize=700", 0},
                                         {"blocksize=1", 512}}) {
    std::remove(dir_.File("blk.txt").c_str());
    ProbeRun run = Run("open 3 blk.txt " + c.keyword + "\nwrite 3 A " + record + "\nabort");
    EXPECT_EQ(run.result.exitCode, 3);
    EXPECT_EQ(ReadFileBytes(dir_.File("blk.txt")).size(), c.written) << c.keyword;
  }
}

TEST_F(RecioReview, WaitingOutputGoesOutBeforeAReadAndCompletedRecordsAtOnce) {
  ProbeRun run =
      Run("open 3 rw.txt status=new\nwrite 3 A one\nread 3 ?\nopen 2 d.dat "
          "access=direct form=formatted recl=4\ndirect 2 1 ab\nwrite * 1XA shown\nabort");
  EXPECT_EQ(run.log.substr(0, 32), "open 3 status=0\nread status=-1 [") << run.log;
  EXPECT_EQ(ReadFileBytes(dir_.File("rw.txt")), "one\r\n");
  EXPECT_EQ(ReadFileBytes(dir_.File("d.dat")), "ab  \r\n");
  EXPECT_EQ(run.result.out, "shown");
  EXPECT_EQ(run.result.exitCode, 3);
}

TEST_F(RecioReview, AppendCreatesAMissingFileAndAddsBehindTheLastByte) {
  WriteFileBytes(dir_.File("old.log"), "old");
  Run("open 3 old.log access=append\nwrite 3 A more\nopen 4 new.log access=APPEND\nwrite 4 A x\n"
      "stop");
  EXPECT_EQ(ReadFileBytes(dir_.File("old.log")), "oldmore\r\n");
  EXPECT_EQ(ReadFileBytes(dir_.File("new.log")), "x\r\n");
}

TEST_F(RecioReview, TerminationClosesInSlotOrderNotUnitOrder) {
  // Unit 7 takes the first slot, freed by unit 9; its failing close stops the ones after it.
  ProbeRun run =
      Run("open 9 a.txt\nopen 3 x.txt\nclose 9\nopen 7 /dev/full\nwrite 7 A junk\n"
          "write 3 A lost\nstop");
  EXPECT_EQ(Visible(run.result.err),
            Visible(Failure("CLOSE", 6422, "/dev/full", "no space left on device")));
  EXPECT_EQ(run.result.exitCode, 1);
  EXPECT_EQ(ReadFileBytes(dir_.File("x.txt")), "");
}

// ---- Scratch files and access modes -----------------------------------------------------------

TEST_F(RecioReview, ScratchFilesAreNamedFromTheZzPattern) {
  ProbeRun run = Run("open 7 -\nopen 8 -\nwrite 7 A a\nabort");
  std::vector<std::string> names = DirectoryNames();
  ASSERT_EQ(names.size(), 2u);
  for (const std::string& name : names) {
    EXPECT_EQ(name.size(), 8u) << name;
    EXPECT_EQ(name.substr(0, 2), "ZZ") << name;
  }
  EXPECT_NE(names[0], names[1]);
}

TEST_F(RecioReview, WriteOnlyFileFallsBackToWritingAndRefusesReads) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to run the child as another user";
  WriteFileBytes(dir_.File("wo.txt"), "old contents\n");
  chmod(dir_.File("wo.txt").c_str(), 0222);
  ProbeRun run =
      Run("open 3 wo.txt ?\nread 3 ?\nwrite 3 A new\nclose 3 ?", "", InputKind::kPipe, {}, 65534);
  EXPECT_EQ(run.log.substr(0, 33), "open 3 status=0\nread status=6500 ") << run.log;
  EXPECT_EQ(run.log.substr(run.log.rfind('\n', run.log.size() - 2) + 1), "close 3 status=0\n");
  chmod(dir_.File("wo.txt").c_str(), 0644);
  EXPECT_EQ(ReadFileBytes(dir_.File("wo.txt")), "new\r\n");

  WriteFileBytes(dir_.File("ro.txt"), "kept\n");
  chmod(dir_.File("ro.txt").c_str(), 0444);
  ProbeRun readOnly = Run("open 4 ro.txt\nwrite 4 A x", "", InputKind::kPipe, {}, 65534);
  ExpectFailure(readOnly, "WRITE", 6421, "ro.txt", "file read-only or locked against writing");
  EXPECT_EQ(ReadFileBytes(dir_.File("ro.txt")), "kept\n");
}

// ---- Floating-point faults --------------------------------------------------------------------

TEST_F(RecioReview, MathFaultMessagesEndTheRunThroughTermination) {
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
    EXPECT_EQ(Visible(run.result.err),
              Visible("\r\nrun-time error M" + std::to_string(c.number) +
                      ": MATH\r\n- floating-point error: " + c.word + "\r\n"));
    EXPECT_EQ(run.result.exitCode, 1);
    EXPECT_EQ(ReadFileBytes(dir_.File("t.txt")), "data\r\n");
    EXPECT_EQ(Visible(run.result.out), Visible("shown\r\n"));
  }
}

}  // namespace
