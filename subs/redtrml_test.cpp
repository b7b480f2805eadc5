// Tests of REDTRML through the probe: prompts, macro commands, recording and playback, and the
// failures that end a run while a macro file is named.
//
// Standard input and output are pipes here, so reads leave the console output alone: after a
// prompt (which holds its line) the next record is written whole, its leading blank included;
// after any other record the next one starts with CR LF.
#include <gtest/gtest.h>

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
using x17b_test::FileExists;
using x17b_test::InputKind;
using x17b_test::ReadFileBytes;
using x17b_test::TempDir;
using x17b_test::WriteFileBytes;

TEST(RedtrmlPromptTest, ThePromptIsItsTextFollowedByTheCursorMark) {
  TempDir dir;
  const auto result =
      RunProbe("L8,Enter input X17B EDS datafile name", "abc\n", InputKind::kPipe, dir);
  EXPECT_TRUE(SameBytes("Enter input X17B EDS datafile name > " + Echo("abc", 8) + kStopAfterRecord,
                        result.out));
  EXPECT_EQ(result.exitCode, 0);
}

TEST(RedtrmlPromptTest, BarsEndPromptLinesAndAGraveAccentEndsThePrompt) {
  TempDir dir;
  const auto result = RunProbe("L4,Line one|Line two;L4,Ends with|;L4,|Start;L4,Name`ign|ored",
                               "a\nb\nc\nd\n", InputKind::kPipe, dir);
  EXPECT_TRUE(
      SameBytes("Line one\r\nLine two > [a   ]\r\nEnds with\r\n  > [b   ]\r\n \r\n"
                "Start > [c   ]\r\nName > [d   ]" +
                    kStopAfterRecord,
                result.out));
}

TEST(RedtrmlPromptTest, AnOverlongPromptLineIsCutAtTheLineWidth) {
  TempDir dir;
  const std::string longLine(140, 'p');
  const auto result = RunProbe("L4," + longLine + "|" + longLine, "a\n", InputKind::kPipe, dir);
  EXPECT_TRUE(SameBytes(
      longLine.substr(0, 132) + "\r\n" + longLine.substr(0, 132) + " > [a   ]" + kStopAfterRecord,
      result.out));
}

TEST(RedtrmlLineTest, CommentsAreCutAndLongLinesAreCutToTheLineVariable) {
  TempDir dir;
  const auto result =
      RunProbe("L6,Q;L6,Q;L6,Q;L6,Q", "x!y\n!abc\n @M ! c\n" + std::string(300, 'n') + "\n",
               InputKind::kPipe, dir);
  EXPECT_TRUE(
      SameBytes("Q > [x     ]\r\nQ > [      ]\r\nQ > [ @M   ]\r\nQ > [nnnnnn]" + kStopAfterRecord,
                result.out));
}

TEST(RedtrmlCommandTest, AnyOtherAtLineShowsTheHelpText) {
  TempDir dir;
  const auto result = RunProbe("L4,Q", "@\n@ M\n@x\nz\n", InputKind::kPipe, dir);
  const std::string help = subs_test::HelpAfterEmptyRecord();
  EXPECT_TRUE(SameBytes(
      "Q > " + help + "\r\nQ > " + help + "\r\nQ > " + help + "\r\nQ > [z   ]" + kStopAfterRecord,
      result.out));
}

TEST(RedtrmlCommandTest, EndingARecordingThatWasNotStartedRingsTheBell) {
  TempDir dir;
  const auto result = RunProbe("L4,Q", "@q\nz\n", InputKind::kPipe, dir);
  EXPECT_TRUE(SameBytes(
      "Q > You are NOT writing to a macro file!\a\r\nQ > [z   ]" + kStopAfterRecord, result.out));
}

TEST(RedtrmlMacroTest, RecordingKeepsTypedLinesWithoutTrailingBlanksOrCommands) {
  TempDir dir;
  const auto result =
      RunProbe("L10,Q;L10,Q;L10,Q;L10,Q;L10,Q", "@Macro\nmac.txt\na\n\nb   c  \nx ! note\n@Q\nd\n",
               InputKind::kPipe, dir);
  EXPECT_TRUE(SameBytes("Q > " + kAskName + " Q > " + Echo("a", 10) + "\r\nQ > " + Echo("", 10) +
                            "\r\nQ > " + Echo("b   c", 10) + "\r\nQ > " + Echo("x", 10) +
                            "\r\nQ > Q > " + Echo("d", 10) + kStopAfterRecord,
                        result.out));
  EXPECT_TRUE(SameBytes("a\r\n \r\nb   c\r\nx ! note\r\n", ReadFileBytes(dir.File("mac.txt"))));
}

TEST(RedtrmlMacroTest, PlaybackEchoesEachLineAndReturnsToTheTerminalAtTheEnd) {
  TempDir dir;
  WriteFileBytes(dir.File("mac.txt"), "a\r\n \r\nb   c\r\nx ! note\r\n");
  const auto result =
      RunProbe("L10,Q;L10,Q;L10,Q;L10,Q;L10,Q", "@r\nmac.txt\nd\n", InputKind::kPipe, dir);
  EXPECT_TRUE(SameBytes("Q > " + kAskName + " " + ReadingFrom("mac.txt") + "\r\nQ > a\r\n" +
                            Echo("a", 10) + "\r\nQ >  \r\n" + Echo("", 10) + "\r\nQ > b   c\r\n" +
                            Echo("b   c", 10) + "\r\nQ > x ! note\r\n" + Echo("x", 10) +
                            "\r\nQ > " + kMacroEmpty + "\r\nQ > " + Echo("d", 10) +
                            kStopAfterRecord,
                        result.out));
}

TEST(RedtrmlMacroTest, AnEmptyMacroFileReturnsToTheTerminalAtOnce) {
  TempDir dir;
  WriteFileBytes(dir.File("empty.txt"), "");
  const auto result = RunProbe("L4,Q", "@R\nempty.txt\nz\n", InputKind::kPipe, dir);
  EXPECT_TRUE(SameBytes("Q > " + kAskName + " " + ReadingFrom("empty.txt") + "\r\nQ > " +
                            kMacroEmpty + "\r\nQ > [z   ]" + kStopAfterRecord,
                        result.out));
}

TEST(RedtrmlMacroTest, AMissingFileAsksAgainUntilQuit) {
  TempDir dir;
  const auto result =
      RunProbe("L4,Q", "@R\nmissing.txt\nquit\nQUITTER\nz\n", InputKind::kPipe, dir);
  EXPECT_TRUE(SameBytes(
      "Q > " + kAskName + " " + kNotFound + "\r\n" + kAskName + " " + kNotFound + "\r\n" +
          kAskName + " Commands will be read from the terminal\r\nQ > [z   ]" + kStopAfterRecord,
      result.out));
  EXPECT_FALSE(FileExists(dir.File("missing.txt")));
  EXPECT_FALSE(FileExists(dir.File("quit")));
}

TEST(RedtrmlMacroTest, AStartedRecordingIsNotStartedAgain) {
  TempDir dir;
  const auto result = RunProbe("L4,Q", "@M\nm1.txt\n@m\nq\n", InputKind::kPipe, dir);
  EXPECT_TRUE(SameBytes("Q > " + kAskName + " Q > You are already writing a macro to" +
                            Pad("m1.txt", 80) + "\r\nQ > [q   ]" + kStopAfterRecord,
                        result.out));
  // The file is still open when the run ends, and termination keeps it.
  EXPECT_TRUE(SameBytes("q\r\n", ReadFileBytes(dir.File("m1.txt"))));
}

TEST(RedtrmlMacroTest, AMacroFileCanStartARecordingButNotAnotherPlayback) {
  TempDir dir;
  WriteFileBytes(dir.File("play.txt"), "@Mrec\r\nrec.txt\r\nabc ! c\r\n@Q\r\n@R\r\nx\r\n");
  const auto result = RunProbe("L8,Q;L8,Q", "@R\nplay.txt\nafter\n", InputKind::kPipe, dir);
  EXPECT_TRUE(SameBytes("Q > " + kAskName + " " + ReadingFrom("play.txt") + "\r\nQ > " + kAskName +
                            " Q > abc ! c\r\n" + Echo("abc", 8) + "\r\nQ > Q > " +
                            subs_test::HelpAfterEmptyRecord() + "\r\nQ > x\r\n" + Echo("x", 8) +
                            kStopAfterRecord,
                        result.out));
  EXPECT_TRUE(SameBytes("abc ! c\r\n", ReadFileBytes(dir.File("rec.txt"))));
}

TEST(RedtrmlMacroTest, PlayedBackLinesAreRecordedAndLongOnesAreCut) {
  TempDir dir;
  WriteFileBytes(dir.File("play.txt"), std::string(300, 'm') + "\r\nshort\n");
  const auto result = RunProbe("L20,Q;L20,Q", "@M\nrec.txt\n@R\nplay.txt\n", InputKind::kPipe, dir);
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_TRUE(
      SameBytes(std::string(20, 'm') + "\r\nshort\r\n", ReadFileBytes(dir.File("rec.txt"))));
  EXPECT_NE(
      result.out.find("\r\nQ > " + std::string(20, 'm') + "\r\n" + Echo(std::string(20, 'm'), 20)),
      std::string::npos)
      << x17b_test::Visible(result.out);
}

TEST(RedtrmlMacroTest, MacroFilesTakeTheFirstFreeUnitsFromThirtyAndForty) {
  TempDir dir;
  WriteFileBytes(dir.File("play.txt"), "@M\r\nrec.txt\r\nz\r\nw\r\n");
  const auto result = RunProbe("O30,x.txt;O40,y.txt;L4,Q;I30;I31;I32;I40;I41;I42", "@R\nplay.txt\n",
                               InputKind::kPipe, dir);
  EXPECT_TRUE(SameBytes("Q > " + kAskName + " " + ReadingFrom("play.txt") + "\r\nQ > " + kAskName +
                            " Q > z\r\n" + Echo("z", 4) +
                            "\r\n[T]\r\n[T]\r\n[F]\r\n[T]\r\n[T]\r\n[F]" + kStopAfterRecord,
                        result.out));
  EXPECT_TRUE(SameBytes("z\r\n", ReadFileBytes(dir.File("rec.txt"))));
  EXPECT_TRUE(SameBytes("", ReadFileBytes(dir.File("y.txt"))));
}

// Only blanks end a recorded line: tabs count as characters, so a trailing tab is kept, and a
// line of one tab is recorded as that tab.
TEST(RedtrmlMacroTest, TrailingTabsStayInTheRecordedLine) {
  TempDir dir;
  const auto result = RunProbe("L6,Q;L6,Q", "@M\nrec.txt\na\t  \n\t\n", InputKind::kPipe, dir);
  EXPECT_TRUE(SameBytes(
      "Q > " + kAskName + " Q > " + Echo("a\t", 6) + "\r\nQ > " + Echo("\t", 6) + kStopAfterRecord,
      result.out));
  EXPECT_TRUE(SameBytes("a\t\r\n\t\r\n", ReadFileBytes(dir.File("rec.txt"))));
}

// "@Q" ends one recording for good: the next "@M" starts another one, in a file of its own on
// the first free unit from 40 again.
TEST(RedtrmlMacroTest, ASecondRecordingAfterTheFirstEndedGetsItsOwnFile) {
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
TEST(RedtrmlMacroTest, TheAlreadyWritingMessageShowsTheNameEnteredLast) {
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
TEST(RedtrmlMacroTest, AFileThatCannotBeOpenedForAnyReasonIsAskedForAgain) {
  TempDir dir;
  ASSERT_TRUE(x17b_test::MakeFolder(dir.File("sub")));
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
TEST(RedtrmlMacroTest, AMacroFileEndingBeforeTheRecordingNameEndsTheRun) {
  TempDir dir;
  WriteFileBytes(dir.File("play.txt"), "@M\r\n");
  const auto result = RunProbe("L4,Q", "@R\nplay.txt\nz\n", InputKind::kPipe, dir);
  EXPECT_TRUE(
      SameBytes("Q > " + kAskName + " " + ReadingFrom("play.txt") + "\r\nQ > " + kAskName + "\r\n",
                result.out));
  EXPECT_TRUE(SameBytes(
      x17b_test::FailureMessage(6501, "READ", "play.txt", "end of file encountered"), result.err));
  EXPECT_EQ(result.exitCode, 1);
}

// Playback that reaches the end of its file returns to the terminal, and a second "@R" can then
// play the same file again from its start.
TEST(RedtrmlMacroTest, AFileCanBePlayedAgainAfterItEnded) {
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

TEST(RedtrmlMacroTest, AnExistingMacroFileIsNeverOverwritten) {
  TempDir dir;
  WriteFileBytes(dir.File("mac.txt"), "keep me\r\n");
  const auto result = RunProbe("L4,Q", "@M\nmac.txt\nz\n", InputKind::kPipe, dir);
  EXPECT_TRUE(SameBytes("Q > " + kAskName + "\r\n", result.out));
  EXPECT_TRUE(SameBytes(x17b_test::FailureMessage(6415, "OPEN", "mac.txt", "file already exists"),
                        result.err));
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_TRUE(SameBytes("keep me\r\n", ReadFileBytes(dir.File("mac.txt"))));
}

TEST(RedtrmlMacroTest, TheEndOfInputInsteadOfAMacroNameEndsTheRun) {
  TempDir dir;
  const auto result = RunProbe("L4,Q", "@M\n", InputKind::kPipe, dir);
  EXPECT_TRUE(SameBytes("Q > " + kAskName + "\r\n", result.out));
  EXPECT_TRUE(SameBytes(x17b_test::FailureMessage(6501, "READ", "CON", "end of file encountered"),
                        result.err));
  EXPECT_EQ(result.exitCode, 1);
}

}  // namespace
