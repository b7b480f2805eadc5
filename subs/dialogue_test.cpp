// Whole-dialogue tests: the probe asks its questions with standard input as a pipe (and, where the
// test can be the terminal, as a pseudo-terminal: dialogue_posix_test.cpp); standard output and
// the macro files are compared byte for byte.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "subs/probe_run.h"

namespace {

using subs_test::Echo;
using subs_test::kStopAfterRecord;
using subs_test::RunProbe;
using subs_test::SameBytes;
using x17b_test::InputKind;
using x17b_test::TempDir;

TEST(DialogueTest, TwoAnswersTypedOnOneLineNeedOnePrompt) {
  TempDir dir;
  const std::string script = "C1,10,Name;C1,10,Other";
  auto result = RunProbe(script, "in.dat out.dat\n", InputKind::kPipe, dir);
  EXPECT_TRUE(SameBytes("Name > [in.dat    ]\r\n[out.dat   ]" + kStopAfterRecord, result.out));
  EXPECT_EQ(result.exitCode, 0);
}

TEST(DialogueTest, TwoEndsOfInputInOneCallEndTheRunThroughTheStatusReport) {
  TempDir dir;
  auto result = RunProbe("C1,10,Name", "", InputKind::kPipe, dir);
  EXPECT_TRUE(SameBytes("Name > Name > FORTRAN error number  -1 on unit  5" + kStopAfterRecord,
                        result.out));
  EXPECT_EQ(result.err, "");
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
    for (const InputKind kind : x17b_test::kInputKinds) {
      TempDir dir;
      // A terminal only ends its input with the end-of-file character at a line start.
      const std::string fed =
          kind == InputKind::kPipe ? input : input + "\n" + std::string(8, '\x04');
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
