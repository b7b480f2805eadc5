// Whole runs of the record layer on files: sequential reading and writing, direct-access slots,
// records of any byte and any length, and the buffers between the records and the file.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/process_harness.h"
#include "tests/recio_probe_fixture.h"

namespace {

using x17b_test::Bytes;
using x17b_test::Hex;
using x17b_test::kStopLine;
using x17b_test::ProbeRun;
using x17b_test::ReadFileBytes;
using x17b_test::Visible;
using x17b_test::WriteFileBytes;

using RecioFileReadTest = x17b_test::RecioProbeTest;
using RecioFileWriteTest = x17b_test::RecioProbeTest;
using RecioDirectAccessTest = x17b_test::RecioProbeTest;
using RecioRecordBytesTest = x17b_test::RecioProbeTest;
using RecioBufferTest = x17b_test::RecioProbeTest;

// ---- Reading ------------------------------------------------------------------------------------

TEST_F(RecioFileReadTest, ReadingPastTheEndOfAFileEndsTheRunWithTheMessage) {
  WriteFileBytes(dir_.File("scan.dat"), "only line");
  ProbeRun run = Run("open 1 scan.dat status=old\nread 1\nwrite * 1XA shown\nread 1");
  EXPECT_EQ(run.log, "open 1 status=0\nread status=0 [only line]\n");
  ExpectFailure(run, 6501, "READ", "scan.dat", "end of file encountered");
  // Termination ends the pending console line.
  EXPECT_EQ(Visible(run.result.out), Visible("shown\r\n"));
}

TEST_F(RecioFileReadTest, EndOfFileStaysOnAFile) {
  WriteFileBytes(dir_.File("m.txt"), "a\n");
  ProbeRun run = Run("open 1 m.txt status=old\nread 1 ?\nread 1 ?\nread 1 ?\nread 1");
  EXPECT_EQ(run.log, "open 1 status=0\nread status=0 [a]\nread status=-1 [" +
                         std::string(132, '#') + "]\nread status=-1 [" + std::string(132, '#') +
                         "]\n");
  // Once the mark is set, a read fails at once as "beyond end of file".
  ExpectFailure(run, 6405, "READ", "m.txt", "external I/O illegal beyond end of file");
}

TEST_F(RecioFileReadTest, ShortLinesPadAndSkipsConsumeWholeRecords) {
  WriteFileBytes(dir_.File("h.txt"), "short\n                         1 2 tail\n\nx");
  ProbeRun run = Run("open 1 h.txt status=old\nnumber 1\nnumber 1\nskip 1\nskip 1\nskip 1 ?");
  EXPECT_EQ(run.log,
            "open 1 status=0\nnumber status=0 value=0\nnumber status=0 value=12\nskip "
            "status=0\nskip status=0\nskip status=-1\n");
}

TEST_F(RecioFileReadTest, MalformedNumberWithStatusSkipsToTheNextLine) {
  WriteFileBytes(dir_.File("n.txt"),
                 "                        ab12\n                        0042\n");
  ProbeRun run = Run("open 1 n.txt status=old\nnumber 1 ?\nnumber 1 ?");
  EXPECT_EQ(run.log, "open 1 status=0\nnumber status=6101 value=-7\nnumber status=0 value=42\n");
}

// ---- Sequential writing -------------------------------------------------------------------------

TEST_F(RecioFileWriteTest, SequentialFileIsCutAtTheFirstWriteOnly) {
  WriteFileBytes(dir_.File("kept.txt"), "old contents\n");
  WriteFileBytes(dir_.File("cut.txt"), "old contents that are longer\n");
  ProbeRun run =
      Run("open 3 kept.txt\nclose 3\nopen 4 cut.txt\nwrite 4 A new\nwrite 4 A$ same line\nclose "
          "4\nstop");
  EXPECT_EQ(ReadFileBytes(dir_.File("kept.txt")), "old contents\n");
  EXPECT_EQ(ReadFileBytes(dir_.File("cut.txt")), "new\r\nsame line");
}

TEST_F(RecioFileWriteTest, WriteAfterReadingCutsWhereTheReadingStood) {
  WriteFileBytes(dir_.File("rw.txt"), "first\nsecond\nthird\n");
  ProbeRun run = Run("open 3 rw.txt\nread 3\nwrite 3 A replaced\nclose 3\nstop");
  EXPECT_EQ(ReadFileBytes(dir_.File("rw.txt")), "first\nreplaced\r\n");
}

TEST_F(RecioFileWriteTest, AppendWritesBehindTheOldContents) {
  WriteFileBytes(dir_.File("log.txt"), "old\r\n");
  Run("open 3 log.txt access=append\nwrite 3 A more\nstop");
  EXPECT_EQ(ReadFileBytes(dir_.File("log.txt")), "old\r\nmore\r\n");
}

TEST_F(RecioFileWriteTest, AppendCreatesAMissingFileAndAddsBehindTheLastByte) {
  WriteFileBytes(dir_.File("old.log"), "old");
  Run("open 3 old.log access=append\nwrite 3 A more\nopen 4 new.log access=APPEND\nwrite 4 A x\n"
      "stop");
  EXPECT_EQ(ReadFileBytes(dir_.File("old.log")), "oldmore\r\n");
  EXPECT_EQ(ReadFileBytes(dir_.File("new.log")), "x\r\n");
}

TEST_F(RecioFileWriteTest, CloseWithDeleteRemovesTheFileAndScratchFilesGoAtClose) {
  ProbeRun run =
      Run("open 3 gone.txt\nwrite 3 A x\nclose 3 delete\nopen 7 -\nwrite 7 A "
          "scratch\nclose 7\nclose 8\nstop");
  EXPECT_FALSE(x17b_test::FileExists(dir_.File("gone.txt")));
  EXPECT_EQ(run.log,
            "open 3 status=0\nclose 3 status=0\nopen 7 status=0\nclose 7 status=0\n"
            "close 8 status=0\n");
  // Nothing is left in the directory but the probe's log.
  EXPECT_TRUE(DirectoryNames().empty());
}

TEST_F(RecioFileWriteTest, ScratchFilesAreNamedFromTheZzPattern) {
  ProbeRun run = Run("open 7 -\nopen 8 -\nwrite 7 A a\nabort");
  std::vector<std::string> names = DirectoryNames();
  ASSERT_EQ(names.size(), 2u);
  for (const std::string& name : names) {
    EXPECT_EQ(name.size(), 8u) << name;
    EXPECT_EQ(name.substr(0, 2), "ZZ") << name;
  }
  EXPECT_NE(names[0], names[1]);
}

// ---- Direct-access records ----------------------------------------------------------------------

TEST_F(RecioDirectAccessTest, DirectAccessSlotsAreRecordLengthPlusCrLf) {
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

TEST_F(RecioDirectAccessTest, DirectAccessRecordsOneAndTwoColumnsLongerLoseTheirLineEnd) {
  std::string t81(81, 'x');
  std::string t82(82, 'y');
  ProbeRun run = Run("open 2 d.dat access=direct form=formatted recl=80\ndirect 2 1 " + t81 +
                     "\ndirect 2 2 " + t82 + "\ndirect 2 3 " + t82 + "z\nstop");
  EXPECT_EQ(ReadFileBytes(dir_.File("d.dat")), t81 + "\r" + t82);
  ExpectFailure(run, 6601, "WRITE", "d.dat", "direct record overflow");
}

TEST_F(RecioDirectAccessTest, ExistingLongerDirectFileKeepsItsLaterSlots) {
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

TEST_F(RecioDirectAccessTest, IllegalRecordNumber) {
  ProbeRun run = Run("open 2 d.dat access=direct form=formatted recl=80\ndirect 2 0 x");
  ExpectFailure(run, 6311, "WRITE", "d.dat", "illegal record number");
}

TEST_F(RecioDirectAccessTest, RecordLengthsNearTheIntegerLimitAreAccepted) {
  ProbeRun run =
      Run("open 2 big.dat access=direct form=formatted recl=2147483647 ?\ninquire 2\nclose 2 ?\n"
          "open 3 big2.dat access=direct form=formatted recl=2147483646 ?\nclose 3 ?");
  EXPECT_EQ(run.log,
            "open 2 status=0\ninquire 2 yes\nclose 2 status=0\nopen 3 status=0\nclose 3 "
            "status=0\n");
  EXPECT_EQ(ReadFileBytes(dir_.File("big.dat")), "");
}

TEST_F(RecioDirectAccessTest, FailedDirectRecordLeavesNothingBehindForTheNext) {
  ProbeRun run =
      Run("open 2 d.dat access=direct form=formatted recl=10\n"
          "direct2 2 1 abcdefgh ijklmnop ?\ndirect 2 2 x\nclose 2\nstop");
  EXPECT_EQ(run.log, "open 2 status=0\ndirect2 status=6601\ndirect status=0\nclose 2 status=0\n");
  std::string file = ReadFileBytes(dir_.File("d.dat"));
  ASSERT_EQ(file.size(), 24u);
  EXPECT_EQ(Visible(file.substr(12)), Visible("x         \r\n"));
}

TEST_F(RecioDirectAccessTest, RecordNumberAtTheIntegerLimitIsWritten) {
  // The slot of record 2147483647 lies 6 GB in; the file is sparse up to it.
  ProbeRun run =
      Run("open 2 far.dat access=direct form=formatted recl=1\ndirect 2 2147483647 x\n"
          "close 2\nstop");
  EXPECT_EQ(run.log, "open 2 status=0\ndirect status=0\nclose 2 status=0\n");
  EXPECT_EQ(run.result.err, "");
  EXPECT_EQ(std::filesystem::file_size(dir_.File("far.dat")), uint64_t{2147483647} * 3);
}

// ---- Records: bytes and lengths -----------------------------------------------------------------

TEST_F(RecioRecordBytesTest, AnyByteInARecordIsReadAndWrittenWhole) {
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
  EXPECT_EQ(Visible(run.result.out), Visible(all + "\r\n" + kStopLine + "\r\n"));
  EXPECT_EQ(run.result.exitCode, 0);
}

TEST_F(RecioRecordBytesTest, LongRecordsSpanSeveralBuffers) {
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

// ---- Buffers ------------------------------------------------------------------------------------

TEST_F(RecioBufferTest, BlockSizeIsRoundedUpToAMultipleOf512) {
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

TEST_F(RecioBufferTest, WaitingOutputGoesOutBeforeAReadAndCompletedRecordsAtOnce) {
  ProbeRun run =
      Run("open 3 rw.txt status=new\nwrite 3 A one\nread 3 ?\nopen 2 d.dat "
          "access=direct form=formatted recl=4\ndirect 2 1 ab\nwrite * 1XA shown\nabort");
  EXPECT_EQ(run.log.substr(0, 32), "open 3 status=0\nread status=-1 [") << run.log;
  EXPECT_EQ(ReadFileBytes(dir_.File("rw.txt")), "one\r\n");
  EXPECT_EQ(ReadFileBytes(dir_.File("d.dat")), "ab  \r\n");
  EXPECT_EQ(run.result.out, "shown");
  EXPECT_EQ(run.result.exitCode, 3);
}

}  // namespace
