// Further dialogue tests through the probe: the read loop's failure count, the reply kept by a
// comma on a freshly read line, and recording and playback rules the other tests leave open.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "subs/probe_run.h"

namespace {

using subs_test::Echo;
using subs_test::kAskName;
using subs_test::kMacroEmpty;
using subs_test::kNotFound;
using subs_test::kStopAfterRecord;
using subs_test::Pad;
using subs_test::ReadingFrom;
using subs_test::RunProbe;
using subs_test::SameBytes;
using x17b_test::InputKind;
using x17b_test::ReadFileBytes;
using x17b_test::TempDir;
using x17b_test::WriteFileBytes;

constexpr char kEndOfInput = '\x04';  // the terminal's end-of-file character at a line start

// The failed terminal reads are counted per call: one end of input in each of two calls is
// forgiven both times, and neither call ends the run.
TEST(ReviewReadLoopTest, EveryCallForgivesItsOwnFirstEndOfInput) {
  TempDir dir;
  const std::string input = kEndOfInput + std::string("a\n") + kEndOfInput + "b\n";
  const auto result = RunProbe("L4,A;L4,B", input, InputKind::kPty, dir);
  EXPECT_TRUE(SameBytes("A >A >" + Echo("a", 4) + "\r\nB >B >" + Echo("b", 4) + kStopAfterRecord,
                        result.out));
  EXPECT_EQ(result.exitCode, 0);
}

// An empty field after the first column makes the question read a new line. When that line
// begins with a comma, the reply keeps what the caller had; when it is blank, the reply is blank.
// Either way the call ends there and does not read a third line.
TEST(ReviewReplyTest, AFreshLineAfterAnEmptyFieldEndsTheCallWithItsFirstField) {
  TempDir dir;
  auto result = RunProbe("C1,4,One;C1,4,Two;C1,4,Three", "a ,b\n,c\n", InputKind::kPipe, dir);
  EXPECT_TRUE(SameBytes("One > " + Echo("a", 4) + "\r\nTwo > " + Echo("old", 4) + "\r\n" +
                            Echo("c", 4) + kStopAfterRecord,
                        result.out));

  result = RunProbe("C1,4,One;C1,4,Two;C1,4,Three", "a,,b\n\nd\n", InputKind::kPipe, dir);
  EXPECT_TRUE(SameBytes("One > " + Echo("a", 4) + "\r\nTwo > " + Echo("", 4) + "\r\nThree > " +
                            Echo("d", 4) + kStopAfterRecord,
                        result.out));
}

// Only blanks end a recorded line: tabs count as characters, so a trailing tab is kept, and a
// line of one tab is recorded as that tab.
TEST(ReviewRecordingTest, TrailingTabsStayInTheRecordedLine) {
  TempDir dir;
  const auto result = RunProbe("L6,Q;L6,Q", "@M\nrec.txt\na\t  \n\t\n", InputKind::kPipe, dir);
  EXPECT_TRUE(SameBytes(
      "Q > " + kAskName + " Q > " + Echo("a\t", 6) + "\r\nQ > " + Echo("\t", 6) + kStopAfterRecord,
      result.out));
  EXPECT_TRUE(SameBytes("a\t\r\n\t\r\n", ReadFileBytes(dir.File("rec.txt"))));
}

// "@Q" ends one recording for good: the next "@M" starts another one, in a file of its own on
// the first free unit from 40 again.
TEST(ReviewRecordingTest, ASecondRecordingAfterTheFirstEndedGetsItsOwnFile) {
  TempDir dir;
  const auto result = RunProbe("L4,Q;I40;L4,Q;I40;I41", "@M\none.txt\na\n@Q\n@M\ntwo.txt\nb\n",
                               InputKind::kPipe, dir);
  EXPECT_TRUE(SameBytes("Q > " + kAskName + " Q > " + Echo("a", 4) + "\r\n[T]\r\nQ > Q > " +
                            kAskName + " Q > " + Echo("b", 4) + "\r\n[T]\r\n[F]" + kStopAfterRecord,
                        result.out));
  EXPECT_TRUE(SameBytes("a\r\n", ReadFileBytes(dir.File("one.txt"))));
  EXPECT_TRUE(SameBytes("b\r\n", ReadFileBytes(dir.File("two.txt"))));
}

// One name variable serves both commands: after "@R" the "already writing" message shows the
// name of the file played back, not the one being recorded.
TEST(ReviewRecordingTest, TheAlreadyWritingMessageShowsTheNameEnteredLast) {
  TempDir dir;
  WriteFileBytes(dir.File("play.txt"), "@M\r\nz\r\n");
  const auto result = RunProbe("L4,Q", "@M\nrec.txt\n@R\nplay.txt\n", InputKind::kPipe, dir);
  EXPECT_TRUE(SameBytes("Q > " + kAskName + " Q > " + kAskName + " " + ReadingFrom("play.txt") +
                            "\r\nQ > You are already writing a macro to" + Pad("play.txt", 80) +
                            "\r\nQ > z\r\n" + Echo("z", 4) + kStopAfterRecord,
                        result.out));
  // The "@M" line of the played file is a command: only "z" is recorded.
  EXPECT_TRUE(SameBytes("z\r\n", ReadFileBytes(dir.File("rec.txt"))));
}

// Any failed open of a file to play back gives the same message and question: a directory, and
// the file that is being recorded (another unit holds it), not only a missing file.
TEST(ReviewPlaybackTest, AFileThatCannotBeOpenedForAnyReasonIsAskedForAgain) {
  TempDir dir;
  ASSERT_EQ(mkdir(dir.File("sub").c_str(), 0755), 0);
  const auto result =
      RunProbe("L4,Q", "@M\nrec.txt\n@R\nsub\nrec.txt\nQUIT\nz\n", InputKind::kPipe, dir);
  EXPECT_TRUE(SameBytes("Q > " + kAskName + " Q > " + kAskName + " " + kNotFound + "\r\n" +
                            kAskName + " " + kNotFound + "\r\n" + kAskName +
                            " Commands will be read from the terminal\r\nQ > " + Echo("z", 4) +
                            kStopAfterRecord,
                        result.out));
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_TRUE(SameBytes("z\r\n", ReadFileBytes(dir.File("rec.txt"))));
}

// A played-back file that ends right after "@M" leaves the name read without a line: that read
// asks for no status, so the run ends with the failure message naming the macro file.
TEST(ReviewPlaybackTest, AMacroFileEndingBeforeTheRecordingNameEndsTheRun) {
  TempDir dir;
  WriteFileBytes(dir.File("play.txt"), "@M\r\n");
  const auto result = RunProbe("L4,Q", "@R\nplay.txt\nz\n", InputKind::kPipe, dir);
  EXPECT_TRUE(
      SameBytes("Q > " + kAskName + " " + ReadingFrom("play.txt") + "\r\nQ > " + kAskName + "\r\n",
                result.out));
  EXPECT_TRUE(
      SameBytes(subs_test::FailureMessage("6501", "READ", "play.txt", "end of file encountered"),
                result.err));
  EXPECT_EQ(result.exitCode, 1);
}

// Playback that reaches the end of its file returns to the terminal, and a second "@R" can then
// play the same file again from its start.
TEST(ReviewPlaybackTest, AFileCanBePlayedAgainAfterItEnded) {
  TempDir dir;
  WriteFileBytes(dir.File("play.txt"), "p\r\n");
  const auto result =
      RunProbe("L4,Q;L4,Q;L4,Q", "@R\nplay.txt\n@R\nplay.txt\nz\n", InputKind::kPipe, dir);
  const std::string played =
      "Q > " + kAskName + " " + ReadingFrom("play.txt") + "\r\nQ > p\r\n" + Echo("p", 4) + "\r\n";
  EXPECT_TRUE(SameBytes(played + "Q > " + kMacroEmpty + "\r\n" + played + "Q > " + kMacroEmpty +
                            "\r\nQ > " + Echo("z", 4) + kStopAfterRecord,
                        result.out));
  EXPECT_EQ(result.exitCode, 0);
}

}  // namespace
