// Whole runs of the record layer that need POSIX: a terminal (a pseudo-terminal), pipes by name
// (FIFOs), devices such as /dev/full, file modes and another user. The Windows build runs the
// rest of the record layer's whole-run tests (recio_*_test.cpp) unchanged.
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

using x17b_test::FailureMessage;
using x17b_test::FileExists;
using x17b_test::InputKind;
using x17b_test::kStopLine;
using x17b_test::ProbeRun;
using x17b_test::ReadFileBytes;
using x17b_test::Visible;
using x17b_test::WriteFileBytes;

using RecioConsoleOutputTest = x17b_test::RecioProbeTest;
using RecioConsoleInputTest = x17b_test::RecioProbeTest;
using RecioFileReadTest = x17b_test::RecioProbeTest;
using RecioFileWriteTest = x17b_test::RecioProbeTest;
using RecioNameDialogueTest = x17b_test::RecioProbeTest;
using RecioOpenTest = x17b_test::RecioProbeTest;
using RecioPermissionTest = x17b_test::RecioProbeTest;
using RecioTerminationTest = x17b_test::RecioProbeTest;

TEST_F(RecioConsoleOutputTest, TerminalPromptThenReplyThenMessageStartsOnTheNextLine) {
  ProbeRun run =
      Run("write * A$  Name >\nread 5\nwrite * 1XA next\nstop", "abc\n", InputKind::kPty);
  // The reply is typed behind the prompt; after the read the console is on a fresh line.
  EXPECT_EQ(Visible(run.result.out), Visible("Name >next\r\n" + kStopLine + "\r\n"));
  EXPECT_EQ(run.log, "read status=0 [abc]\n");
}

TEST_F(RecioConsoleOutputTest, TerminalMessageThenReadBreaksTheLineBeforeTheReply) {
  ProbeRun run = Run("write * 1XA message\nread 5\nstop", "x\n", InputKind::kPty);
  EXPECT_EQ(Visible(run.result.out), Visible("message\r\n" + kStopLine));
}

TEST_F(RecioConsoleOutputTest, TerminalStopRightAfterAReadHasNoExtraLineBreaks) {
  ProbeRun run = Run("read 5\nstop", "x\n", InputKind::kPty);
  EXPECT_EQ(Visible(run.result.out), Visible(kStopLine));
}

TEST_F(RecioConsoleInputTest, TerminalLineOf130CharactersIsReadAnd131Overflows) {
  std::string ok(130, 'a');
  std::string tooLong(131, 'b');
  ProbeRun run =
      Run("read 5 ?\nread 5 ?\nread 5 ?\nread 5 ?\nread 5 ?\nread 5 ?",
          ok + "\n" + tooLong + "\n" + tooLong + "\r\n" + tooLong + "\rxy\nz\n", InputKind::kPty);
  // The over-long line fails and is gone whole with its line end (LF, or CR LF of which the
  // buffer held only the CR), so the next read takes the next line typed; what follows a CR
  // inside a line is read as a line of its own.
  const std::string overflow = "read status=6407 [" + std::string(132, '#') + "]\n";
  EXPECT_EQ(run.log, "read status=0 [" + ok + "]\n" + overflow + overflow + overflow +
                         "read status=0 [xy]\nread status=0 [z]\n");
}

TEST_F(RecioConsoleInputTest, TerminalOverflowWithoutStatusIsAFailureMessage) {
  ProbeRun run = Run("read 5", std::string(200, 'c') + "\n", InputKind::kPty);
  ExpectFailure(run, 6407, "READ", "CON", "terminal buffer overflow");
}

TEST_F(RecioConsoleInputTest, SkipAtATerminalTakesOneLine) {
  ProbeRun run = Run("skip 5\nread 5", "one\ntwo\n", InputKind::kPty);
  EXPECT_EQ(run.log, "skip status=0\nread status=0 [two]\n");
}

TEST_F(RecioFileReadTest, PipeByNameIsReadToItsEndWhicheverSideComesFirst) {
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

TEST_F(RecioFileWriteTest, FullDeviceFailsWithNoSpaceLeft) {
  ProbeRun run = Run("open 3 /dev/full access=direct form=formatted recl=10\ndirect 3 1 x");
  ExpectFailure(run, 6422, "WRITE", "/dev/full", "no space left on device");
}

TEST_F(RecioNameDialogueTest, DialogueTakes258CharactersFromATerminalAndKeepsTheRest) {
  mkdir(dir_.File("sub").c_str(), 0777);
  std::string name = "sub/" + std::string(254, 'p');
  ProbeRun run = Run("open 1 _\nread 5", name + "REST\n", InputKind::kPty);
  EXPECT_EQ(run.log, "open 1 status=0\nread status=0 [REST]\n");
  EXPECT_TRUE(FileExists(dir_.File(name)));
}

TEST_F(RecioPermissionTest, CreatedFilesCanBeReadAndWritten) {
  Run("open 3 new.txt status=new\nclose 3\nstop");
  struct stat st {};
  ASSERT_EQ(stat(dir_.File("new.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0600, 0600u);
}

TEST_F(RecioPermissionTest, ReadOnlyFileOpensAndFailsAtTheFirstWrite) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to run the child as another user";
  WriteFileBytes(dir_.File("ro.dat"), "old\r\n");
  chmod(dir_.File("ro.dat").c_str(), 0444);
  ProbeRun run = RunAs(65534,
                       "open 2 ro.dat status=unknown access=direct form=formatted recl=80\n"
                       "direct 2 1 new");
  EXPECT_EQ(run.log, "open 2 status=0\n");
  ExpectFailure(run, 6421, "WRITE", "ro.dat", "file read-only or locked against writing");
  EXPECT_EQ(ReadFileBytes(dir_.File("ro.dat")), "old\r\n");
}

TEST_F(RecioPermissionTest, WriteOnlyFileFallsBackToWritingAndRefusesReads) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to run the child as another user";
  WriteFileBytes(dir_.File("wo.txt"), "old contents\n");
  chmod(dir_.File("wo.txt").c_str(), 0222);
  ProbeRun run = RunAs(65534, "open 3 wo.txt ?\nread 3 ?\nwrite 3 A new\nclose 3 ?");
  EXPECT_EQ(run.log.substr(0, 33), "open 3 status=0\nread status=6500 ") << run.log;
  EXPECT_EQ(run.log.substr(run.log.rfind('\n', run.log.size() - 2) + 1), "close 3 status=0\n");
  chmod(dir_.File("wo.txt").c_str(), 0644);
  EXPECT_EQ(ReadFileBytes(dir_.File("wo.txt")), "new\r\n");

  WriteFileBytes(dir_.File("ro.txt"), "kept\n");
  chmod(dir_.File("ro.txt").c_str(), 0444);
  ProbeRun readOnly = RunAs(65534, "open 4 ro.txt\nwrite 4 A x");
  ExpectFailure(readOnly, 6421, "WRITE", "ro.txt", "file read-only or locked against writing");
  EXPECT_EQ(ReadFileBytes(dir_.File("ro.txt")), "kept\n");
}

TEST_F(RecioPermissionTest, DeleteRefusedForAFileInAProtectedDirectory) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to run the child as another user";
  mkdir(dir_.File("locked").c_str(), 0777);
  WriteFileBytes(dir_.File("locked/f.txt"), "x");
  chmod(dir_.File("locked/f.txt").c_str(), 0666);
  chmod(dir_.File("locked").c_str(), 0555);
  ProbeRun run = RunAs(65534, "open 3 locked/f.txt\nclose 3 delete");
  ExpectFailure(run, 6404, "CLOSE", "locked/f.txt", "DELETE illegal for read-only file");
  chmod(dir_.File("locked").c_str(), 0755);
}

TEST_F(RecioTerminationTest, TerminationClosesInSlotOrderNotUnitOrder) {
  // Unit 7 takes the first slot, freed by unit 9; its failing close stops the ones after it.
  ProbeRun run =
      Run("open 9 a.txt\nopen 3 x.txt\nclose 9\nopen 7 /dev/full\nwrite 7 A junk\n"
          "write 3 A lost\nstop");
  EXPECT_EQ(Visible(run.result.err),
            Visible(FailureMessage(6422, "CLOSE", "/dev/full", "no space left on device")));
  EXPECT_EQ(run.result.exitCode, 1);
  EXPECT_EQ(ReadFileBytes(dir_.File("x.txt")), "");
}

TEST_F(RecioTerminationTest, FailureWhileTerminationClosesEndsTheRunAsAFailure) {
  ProbeRun run =
      Run("open 3 /dev/full\nwrite 3 A buffered\nopen 4 later.txt\nwrite 4 A "
          "x\nwrite * 1XA msg\nstop");
  EXPECT_EQ(Visible(run.result.err),
            Visible(FailureMessage(6422, "CLOSE", "/dev/full", "no space left on device")));
  EXPECT_EQ(run.result.exitCode, 1);
  // The remaining closes and the final line end are skipped.
  EXPECT_EQ(Visible(run.result.out), Visible("msg\r\n" + kStopLine));
  EXPECT_EQ(ReadFileBytes(dir_.File("later.txt")), "");
}

// A pipe cannot hold numbered records: refused at once, without waiting for its other side. Nor
// can a terminal: opened, then refused.
TEST_F(RecioOpenTest, PipesAndTerminalsHoldNoNumberedRecords) {
  ASSERT_EQ(mkfifo(dir_.File("apipe").c_str(), 0666), 0);
  const std::string direct = " access=direct form=formatted recl=80";
  ProbeRun run =
      Run("open 1 apipe" + direct + " ?\nopen 1 apipe" + direct + " mode=read ?\ninquire 1");
  EXPECT_EQ(run.log, "open 1 status=6414\nopen 1 status=6414\ninquire 1 no\n");
  ProbeRun terminal = Run("open 1 /dev/stdin" + direct, "", InputKind::kPty);
  ExpectFailure(terminal, 6414, "OPEN", "/dev/stdin", "access not allowed");
}

}  // namespace
