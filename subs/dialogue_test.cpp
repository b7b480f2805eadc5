// Whole-dialogue tests: the probe asks its questions with standard input as a pipe and as a
// pseudo-terminal; standard output and the macro files are compared byte for byte.
//
// On a pseudo-terminal input and output share the console: a read ends the pending line, so the
// record after a read starts without a line break.
#include <gtest/gtest.h>

#include <random>
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

TEST(DialogueTest, TwoAnswersTypedOnOneLineNeedOnePrompt) {
  TempDir dir;
  const std::string script = "C1,10,Name;C1,10,Other";
  auto result = RunProbe(script, "in.dat out.dat\n", InputKind::kPipe, dir);
  EXPECT_TRUE(SameBytes("Name > [in.dat    ]\r\n[out.dat   ]" + kStopAfterRecord, result.out));
  EXPECT_EQ(result.exitCode, 0);

  result = RunProbe(script, "in.dat out.dat\n", InputKind::kPty, dir);
  EXPECT_TRUE(SameBytes("Name >[in.dat    ]\r\n[out.dat   ]" + kStopAfterRecord, result.out));
  EXPECT_EQ(result.exitCode, 0);

  result = RunProbe(script, "in.dat\nout.dat\n", InputKind::kPty, dir);
  EXPECT_TRUE(
      SameBytes("Name >[in.dat    ]\r\nOther >[out.dat   ]" + kStopAfterRecord, result.out));
}

TEST(DialogueTest, TwoEndsOfInputInOneCallEndTheRunThroughTheStatusReport) {
  TempDir dir;
  auto result = RunProbe("C1,10,Name", "", InputKind::kPipe, dir);
  EXPECT_TRUE(SameBytes("Name > Name > FORTRAN error number  -1 on unit  5" + kStopAfterRecord,
                        result.out));
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.exitCode, 1);

  result = RunProbe("C1,10,Name", std::string(2, kEndOfInput), InputKind::kPty, dir);
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
TEST(DialogueTest, EveryCallForgivesItsOwnFirstEndOfInput) {
  TempDir dir;
  const std::string input = kEndOfInput + std::string("a\n") + kEndOfInput + "b\n";
  const auto result = RunProbe("L4,A;L4,B", input, InputKind::kPty, dir);
  EXPECT_TRUE(SameBytes("A >A >" + Echo("a", 4) + "\r\nB >B >" + Echo("b", 4) + kStopAfterRecord,
                        result.out));
  EXPECT_EQ(result.exitCode, 0);
}

TEST(DialogueTest, PromptLinesAreWrittenOncePerCallAndThePromptBeforeEveryRead) {
  TempDir dir;
  const auto result =
      RunProbe("L4,Top|Name", kEndOfInput + std::string("line\n"), InputKind::kPty, dir);
  EXPECT_TRUE(SameBytes("Top\r\nName >Name >[line]" + kStopAfterRecord, result.out));
}

TEST(DialogueTest, HelpTextOnATerminal) {
  TempDir dir;
  const auto result = RunProbe("L4,Q", "@x\nz\n", InputKind::kPty, dir);
  EXPECT_TRUE(SameBytes(
      "Q >" + subs_test::HelpAfterEmptyRecord() + "\r\nQ >[z   ]" + kStopAfterRecord, result.out));
}

TEST(DialogueTest, RecordedRepliesPlayedBackGiveTheSameAnswers) {
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

TEST(DialogueTest, AnOverlongTerminalLineIsForgivenOnce) {
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

TEST(DialogueTest, AFailedMacroReadAfterAFailedTerminalReadEndsTheRun) {
  TempDir dir;
  WriteFileBytes(dir.File("empty.txt"), "");
  const auto result =
      RunProbe("L4,Q", kEndOfInput + std::string("@R\nempty.txt\n"), InputKind::kPty, dir);
  EXPECT_TRUE(SameBytes("Q >Q >" + kAskName + ReadingFrom("empty.txt") +
                            "\r\nQ > FORTRAN error number  -1 on unit  5" + kStopAfterRecord,
                        result.out));
  EXPECT_EQ(result.exitCode, 1);
}

TEST(DialogueTest, ArbitraryInputEndsTheRunOnlyThroughTheStopOrAFailureReport) {
  // Bytes drawn mostly from the characters the dialogue gives a meaning, in lines of any length.
  // No "/" is drawn, so a macro name can never point outside the test directory.
  static constexpr char kMeaningful[] =
      "@MmQqRr!|`, \t\r\n\x1a\x00\x7f\x80\xff"
      "ab";
  const std::string meaningful(kMeaningful, sizeof kMeaningful - 1);
  std::mt19937 random(20240517);
  for (int run = 0; run < 16; ++run) {
    std::string input;
    const auto size = static_cast<std::size_t>(random() % 700);
    for (std::size_t i = 0; i < size; ++i) {
      const char c = random() % 4 != 0 ? meaningful[random() % meaningful.size()]
                                       : static_cast<char>(random() % 256);
      input += c == '/' ? 'x' : c;
    }
    for (const InputKind kind : {InputKind::kPipe, InputKind::kPty}) {
      TempDir dir;
      // A terminal only ends its input with the end-of-file character at a line start.
      const std::string fed =
          kind == InputKind::kPipe ? input : input + "\n" + std::string(8, kEndOfInput);
      const auto result = RunProbe("C1,80,A;C2,10,B|b;L132,C`c;C0,5,D;C7,1,E;L3,F", fed, kind, dir);
      const std::string shown = x17b_test::Visible(input);
      ASSERT_FALSE(result.timedOut) << shown;
      EXPECT_EQ(result.signal, 0) << shown;
      if (result.exitCode == 0) {
        EXPECT_EQ(result.err, "") << shown;
        EXPECT_TRUE(result.out.ends_with(x17b_test::kStopLine + "\r\n")) << shown;
      } else {
        EXPECT_EQ(result.exitCode, 1) << shown;
        const bool reported = result.err.empty() || result.err.starts_with("\r\nrun-time error F");
        EXPECT_TRUE(reported) << shown << x17b_test::Visible(result.err);
      }
    }
  }
}

TEST(SharedRoutinesTest, GetunitFindsTheFirstFreeUnitFromItsStart) {
  TempDir dir;
  const auto result =
      RunProbe("U40;O40,a.txt;U40;O41,b.txt;O43,c.txt;U40;U5;U0;U91;U-3;U90;O90,d.txt;U90", "",
               InputKind::kPipe, dir);
  EXPECT_TRUE(SameBytes(
      "[40]\r\n[41]\r\n[42]\r\n[11]\r\n[11]\r\n[11]\r\n[11]\r\n[90]\r\n[91]" + kStopAfterRecord,
      result.out));
  EXPECT_EQ(result.exitCode, 0);
}

TEST(SharedRoutinesTest, FlgchkWritesItsRecordAndStops) {
  TempDir dir;
  struct Case {
    const char* script;
    const char* record;
    int exitCode;
  };
  for (const Case& c : {Case{"F0,5", "FORTRAN error number   0 on unit  5", 0},
                        Case{"F-1,5", "FORTRAN error number  -1 on unit  5", 1},
                        Case{"F6415,40", "FORTRAN error number6415 on unit 40", 1},
                        Case{"F-12345,1000", "FORTRAN error number**** on unit***", 1},
                        Case{"F-999,-99", "FORTRAN error number-999 on unit-99", 1}}) {
    const auto result = RunProbe(std::string(c.script) + ";U40", "", InputKind::kPipe, dir);
    EXPECT_TRUE(SameBytes(c.record + kStopAfterRecord, result.out)) << c.script;
    EXPECT_EQ(result.exitCode, c.exitCode) << c.script;
    EXPECT_EQ(result.err, "") << c.script;
  }
}

}  // namespace
