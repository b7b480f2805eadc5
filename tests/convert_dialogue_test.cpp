// Whole-program tests of x17b2pavo's dialogue: the two names typed on one line or two, through
// pipes and at a terminal, taken from the command line, kept by a comma, cut, recorded and played.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tests/convert_scan.h"
#include "tests/process_harness.h"

namespace convert_test {
namespace {

using x17b_test::FailureMessage;
using x17b_test::FileExists;
using x17b_test::InputKind;
using x17b_test::kStopLine;
using x17b_test::ReadFileBytes;
using x17b_test::RunResult;
using x17b_test::TempDir;
using x17b_test::Visible;

const std::string kAskMacroName = "Enter the name of your macro file: ";

TEST(ConvertDialogueTest, BothNamesOnOneLineThroughPipes) {
  TempDir dir;
  TwentyFive scan;
  RunResult run = Convert(dir, scan.Scan(), "scan.dat out.pavo\n");
  ExpectStopped(run, PipedEnd(kInputPrompt, true));
  const std::string output = ReadFileBytes(dir.File("out.pavo"));
  EXPECT_EQ(output.size(), 5U * 82U);
  EXPECT_EQ(Visible(output), Visible(scan.Expected()));
}

TEST(ConvertDialogueTest, NamesSeparatedByACommaOrTabAnswerBothQuestions) {
  for (const std::string input : {"scan.dat,out.pavo\n", "  scan.dat\tout.pavo  \n"}) {
    TempDir dir;
    TwentyFive scan;
    RunResult run = Convert(dir, scan.Scan(), input);
    ExpectStopped(run, PipedEnd(kInputPrompt, true));
    EXPECT_EQ(Visible(ReadFileBytes(dir.File("out.pavo"))), Visible(scan.Expected())) << input;
  }
}

// One name per line: the second question shows its prompt. Through pipes the first prompt's line
// is still held when the second prompt comes, so it follows on the same line with its blank; at a
// terminal the reply ended it. Blank replies take the names from the command line.
TEST(ConvertDialogueTest, OneNamePerLineShowsTheSecondPrompt) {
  for (InputKind kind : x17b_test::kInputKinds) {
    for (const bool fromArguments : {false, true}) {
      TempDir dir;
      TwentyFive scan;
      RunResult run = fromArguments
                          ? Convert(dir, scan.Scan(), "\n\n", kind, {"scan.dat", "out.pavo"})
                          : Convert(dir, scan.Scan(), "scan.dat\nout.pavo\n", kind);
      if (kind == InputKind::kPipe) {
        ExpectStopped(run, PipedEnd(kInputPrompt + " " + kOutputPrompt, true));
      } else {
        ExpectStopped(run, kInputPrompt + kOutputPrompt + kStopLine);
      }
      EXPECT_EQ(Visible(ReadFileBytes(dir.File("out.pavo"))), Visible(scan.Expected()));
    }
  }
}

// A first line that begins with a comma leaves the first name as it was at the start of the run
// (80 NUL characters): the open asks for it through the name dialogue, and the second question
// takes the name after the comma.
TEST(ConvertDialogueTest, LeadingCommaLeavesTheNameUnsetAndTheOpenAsksForIt) {
  TempDir dir;
  TwentyFive scan;
  RunResult run = Convert(dir, scan.Scan(), ",out.pavo\nscan.dat\n");
  ExpectStopped(run, kInputPrompt +
                         "\r\nFile name missing or blank - please enter file name\r\nUNIT 1? " +
                         "\r\n" + kStopLine + "\r\n");
  EXPECT_EQ(Visible(ReadFileBytes(dir.File("out.pavo"))), Visible(scan.Expected()));
}

TEST(ConvertDialogueTest, LeadingCommaTakesACommandLineArgumentFirst) {
  TempDir dir;
  TwentyFive scan;
  RunResult run = Convert(dir, scan.Scan(), ",out.pavo\n", InputKind::kPipe, {"scan.dat"});
  ExpectStopped(run, PipedEnd(kInputPrompt, true));
  EXPECT_EQ(Visible(ReadFileBytes(dir.File("out.pavo"))), Visible(scan.Expected()));
}

// A second reply left unchanged by a comma leaves the output name at its start (zero
// characters): the open treats it as blank and asks for the name, or takes an argument.
TEST(ConvertDialogueTest, SecondNameLeftUnchangedIsAskedForByTheOpen) {
  ScanHeader header;
  const std::string scan = JoinLines(ScanLines(header, ValueLinesWithoutPoint(25)));
  {
    TempDir dir;
    RunResult run = Convert(dir, scan, "scan.dat\n,\nout.pavo\n");
    ExpectStopped(run, kInputPrompt + " " + kOutputPrompt +
                           "\r\nFile name missing or blank - please enter file name\r\nUNIT 2? " +
                           "\r\n" + kStopLine + "\r\n");
    EXPECT_EQ(Visible(ReadFileBytes(dir.File("out.pavo"))), Visible(RampPowderFile(header, 25)));
  }
  {
    TempDir dir;
    RunResult run = Convert(dir, scan, "scan.dat\n,\n", InputKind::kPipe, {"out.pavo"});
    ExpectStopped(run, PipedEnd(kInputPrompt + " " + kOutputPrompt, true));
    EXPECT_EQ(Visible(ReadFileBytes(dir.File("out.pavo"))), Visible(RampPowderFile(header, 25)));
  }
}

// A reply holds 80 columns: a longer name is cut, and the open looks for the cut name.
TEST(ConvertDialogueTest, NameLongerThanTheReplyIsCutToEightyColumns) {
  TempDir dir;
  const std::string longName(85, 'n');
  const std::string scan = JoinLines(ScanLines(ScanHeader{}, ValueLinesWithoutPoint(25)));
  x17b_test::WriteFileBytes(dir.File(longName), scan);
  RunResult run = Convert(dir, scan, longName + " out.pavo\n");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(Visible(run.err),
            Visible(FailureMessage(6416, "OPEN", longName.substr(0, 80), "file not found")));
  EXPECT_EQ(Visible(run.out), Visible(PipedEnd(kInputPrompt, false)));
  EXPECT_FALSE(FileExists(dir.File("out.pavo")));
}

// The names typed once are recorded into a macro file, comment included; playing the macro back
// echoes the line and converts into the same file.
TEST(ConvertDialogueTest, RecordedNamesPlayBackToTheSameConversion) {
  ScanHeader header;
  const std::string scan = JoinLines(ScanLines(header, ValueLinesWithoutPoint(25)));
  TempDir dir;
  RunResult recorded = Convert(dir, scan, "@M\nnames.mac\nscan.dat out.pavo ! names\n");
  ExpectStopped(recorded, PipedEnd(kInputPrompt + " " + kAskMacroName + " " + kInputPrompt, true));
  EXPECT_EQ(Visible(ReadFileBytes(dir.File("names.mac"))),
            Visible("scan.dat out.pavo ! names\r\n"));
  EXPECT_EQ(Visible(ReadFileBytes(dir.File("out.pavo"))), Visible(RampPowderFile(header, 25)));

  ASSERT_EQ(std::remove(dir.File("out.pavo").c_str()), 0);
  RunResult played = Convert(dir, scan, "@R\nnames.mac\n");
  std::string macroName = "names.mac";
  macroName.resize(80, ' ');
  ExpectStopped(played,
                PipedEnd(kInputPrompt + " " + kAskMacroName + " The commands will be read from " +
                             macroName + "\r\n" + kInputPrompt + " scan.dat out.pavo ! names",
                         true));
  EXPECT_EQ(Visible(ReadFileBytes(dir.File("out.pavo"))), Visible(RampPowderFile(header, 25)));
  EXPECT_EQ(Visible(ReadFileBytes(dir.File("names.mac"))),
            Visible("scan.dat out.pavo ! names\r\n"));
}

}  // namespace
}  // namespace convert_test
