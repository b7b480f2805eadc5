// The dialogue at a terminal: the probe asks its questions with standard input and output on one
// pseudo-terminal, which POSIX lets a test be; standard output and the macro files are compared
// byte for byte. (Under wine a console rewrites what passes through it, so these stay POSIX's.)
//
// On a terminal input and output share the console: a read ends the pending line, so the record
// after a read starts without a line break.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "subs/probe_run.h"

namespace {

using subs_test::Echo;
using subs_test::kAskName;
using subs_test::kStopAfterRecord;
using subs_test::ReadingFrom;
using subs_test::RunProbe;
using subs_test::SameBytes;
using x17b_test::InputKind;
using x17b_test::ReadFileBytes;
using x17b_test::TempDir;
using x17b_test::WriteFileBytes;

constexpr char kEndOfInput = '\x04';  // the terminal's end-of-file character at a line start

// The "[...]" echoes of the probe, in order.
std::vector<std::string> Echoes(const std::string& out) {
  std::vector<std::string> echoes;
  for (std::size_t open = out.find('['); open != std::string::npos; open = out.find('[', open)) {
    const std::size_t close = out.find(']', open);
    if (close == std::string::npos) break;
    echoes.push_back(out.substr(open, close - open + 1));
    open = close;
  }
  return echoes;
}

TEST(TerminalDialogueTest, TwoAnswersTypedOnOneLineNeedOnePrompt) {
  TempDir dir;
  const std::string script = "C1,10,Name;C1,10,Other";
  auto result = RunProbe(script, "in.dat out.dat\n", InputKind::kPty, dir);
  EXPECT_TRUE(SameBytes("Name >[in.dat    ]\r\n[out.dat   ]" + kStopAfterRecord, result.out));
  EXPECT_EQ(result.exitCode, 0);

  result = RunProbe(script, "in.dat\nout.dat\n", InputKind::kPty, dir);
  EXPECT_TRUE(
      SameBytes("Name >[in.dat    ]\r\nOther >[out.dat   ]" + kStopAfterRecord, result.out));
}

TEST(TerminalDialogueTest, TwoEndsOfInputInOneCallEndTheRunThroughTheStatusReport) {
  TempDir dir;
  auto result = RunProbe("C1,10,Name", std::string(2, kEndOfInput), InputKind::kPty, dir);
  EXPECT_TRUE(
      SameBytes("Name >Name >FORTRAN error number  -1 on unit  5" + kStopAfterRecord, result.out));
  EXPECT_EQ(result.exitCode, 1);

  // One end of input is forgiven: the prompt comes again and the next line answers.
  result = RunProbe("C1,10,Name", kEndOfInput + std::string("in.dat\n"), InputKind::kPty, dir);
  EXPECT_TRUE(SameBytes("Name >Name >[in.dat    ]" + kStopAfterRecord, result.out));
  EXPECT_EQ(result.exitCode, 0);
}

// The failed terminal reads are counted per call: one end of input in each of two calls is
// forgiven both times, and neither call ends the run.
TEST(TerminalDialogueTest, EveryCallForgivesItsOwnFirstEndOfInput) {
  TempDir dir;
  const std::string input = kEndOfInput + std::string("a\n") + kEndOfInput + "b\n";
  const auto result = RunProbe("L4,A;L4,B", input, InputKind::kPty, dir);
  EXPECT_TRUE(SameBytes("A >A >" + Echo("a", 4) + "\r\nB >B >" + Echo("b", 4) + kStopAfterRecord,
                        result.out));
  EXPECT_EQ(result.exitCode, 0);
}

TEST(TerminalDialogueTest, PromptLinesAreWrittenOncePerCallAndThePromptBeforeEveryRead) {
  TempDir dir;
  const auto result =
      RunProbe("L4,Top|Name", kEndOfInput + std::string("line\n"), InputKind::kPty, dir);
  EXPECT_TRUE(SameBytes("Top\r\nName >Name >[line]" + kStopAfterRecord, result.out));
}

TEST(TerminalDialogueTest, HelpTextOnATerminal) {
  TempDir dir;
  const auto result = RunProbe("L4,Q", "@x\nz\n", InputKind::kPty, dir);
  EXPECT_TRUE(SameBytes(
      "Q >" + subs_test::HelpAfterEmptyRecord() + "\r\nQ >[z   ]" + kStopAfterRecord, result.out));
}

TEST(TerminalDialogueTest, RecordedRepliesPlayedBackGiveTheSameAnswers) {
  TempDir dir;
  const std::string script = "C1,10,Name;C1,10,Other;C1,10,Third";
  const auto recorded =
      RunProbe(script, "@M\nmac.txt\nin.dat ! the scan\n,\nthird/\n", InputKind::kPty, dir);
  EXPECT_TRUE(SameBytes("Name >" + kAskName + "Name >[in.dat    ]\r\nOther >[old       ]\r\n" +
                            "Third >[third     ]" + kStopAfterRecord,
                        recorded.out));
  EXPECT_TRUE(
      SameBytes("in.dat ! the scan\r\n,\r\nthird/\r\n", ReadFileBytes(dir.File("mac.txt"))));

  const auto played = RunProbe(script, "@R\nmac.txt\n", InputKind::kPty, dir);
  EXPECT_TRUE(SameBytes("Name >" + kAskName + ReadingFrom("mac.txt") +
                            "\r\nName > in.dat ! the scan\r\n[in.dat    ]\r\nOther > ,\r\n"
                            "[old       ]\r\nThird > third/\r\n[third     ]" +
                            kStopAfterRecord,
                        played.out));
  EXPECT_EQ(Echoes(recorded.out), Echoes(played.out));
  EXPECT_EQ(Echoes(played.out).size(), 3u);
  EXPECT_EQ(played.exitCode, 0);
}

TEST(TerminalDialogueTest, AnOverlongTerminalLineIsForgivenOnce) {
  TempDir dir;
  // The terminal hands over at most 130 characters and the line end; the rest of a longer line
  // comes with the next read.
  auto result = RunProbe("L20,P", std::string(140, 'x') + "\n", InputKind::kPty, dir);
  EXPECT_TRUE(SameBytes("P >P >" + Echo("xxxxxxxx", 20) + kStopAfterRecord, result.out));
  EXPECT_EQ(result.exitCode, 0);

  result = RunProbe("L20,P", std::string(300, 'x') + "\n", InputKind::kPty, dir);
  EXPECT_TRUE(
      SameBytes("P >P >FORTRAN error number6407 on unit  5" + kStopAfterRecord, result.out));
  EXPECT_EQ(result.exitCode, 1);
}

TEST(TerminalDialogueTest, AFailedMacroReadAfterAFailedTerminalReadEndsTheRun) {
  TempDir dir;
  WriteFileBytes(dir.File("empty.txt"), "");
  const auto result =
      RunProbe("L4,Q", kEndOfInput + std::string("@R\nempty.txt\n"), InputKind::kPty, dir);
  EXPECT_TRUE(SameBytes("Q >Q >" + kAskName + ReadingFrom("empty.txt") +
                            "\r\nQ > FORTRAN error number  -1 on unit  5" + kStopAfterRecord,
                        result.out));
  EXPECT_EQ(result.exitCode, 1);
}

}  // namespace
