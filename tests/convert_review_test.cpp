// Further whole-program tests of x17b2pavo: the columns and failure rows of the scan's fields,
// fields that straddle the read buffer, and the dialogue's kept replies, cut names and macros.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "tests/convert_scan.h"
#include "tests/process_harness.h"

namespace convert_test {
namespace {

using x17b_test::FileExists;
using x17b_test::InputKind;
using x17b_test::ReadFileBytes;
using x17b_test::RunResult;
using x17b_test::TempDir;
using x17b_test::Visible;

const std::string kAskMacroName = "Enter the name of your macro file: ";

std::vector<std::string> Ramp(int64_t n) {
  std::vector<std::string> lines;
  for (int64_t i = 1; i <= n; ++i) lines.push_back(std::to_string(i));
  return lines;
}

// The whole powder data file of a default header with `n` ramp values at `factor` times.
std::string RampFile(const ScanHeader& header, int64_t n, int64_t factor = 1) {
  const int64_t records = CountRecordsFor(n);
  return TitleRecord(header.title, kStamp) + DefaultBankRecord(n, records) +
         CountRecords(RampCounts(n, factor), records);
}

// Line 6 is read in columns 25-34 only: a digit in column 35 must not join the scale factor,
// which here is written without a point (a whole number).
TEST(ConvertReviewColumnsTest, ScaleFactorIsReadFromColumns25To34Only) {
  ScanHeader header;
  header.channels = "   3";
  header.scale = "         25 seconds";
  TempDir dir;
  RunResult run = Convert(dir, JoinLines(ScanLines(header, Ramp(3))));
  ExpectStopped(run, PipedEnd(kInputPrompt, true));
  EXPECT_EQ(Visible(ReadFileBytes(dir.File("out.pavo"))), Visible(RampFile(header, 3, 2)));
}

// Ctrl-Z ends the input only inside a numeric field: in skipped lines and in the title it is an
// ordinary character, and the title keeps it.
TEST(ConvertReviewColumnsTest, CtrlZOutsideNumericFieldsIsAnOrdinaryCharacter) {
  ScanHeader header;
  header.channels = "   3";
  header.title = "Run\x1a 17";
  std::vector<std::string> lines = ScanLines(header, Ramp(3));
  for (const std::size_t skipped : {0U, 3U, 6U, 15U, 28U}) lines[skipped] += " \x1a";
  lines[20] = "\x1a";
  TempDir dir;
  RunResult run = Convert(dir, JoinLines(lines));
  ExpectStopped(run, PipedEnd(kInputPrompt, true));
  EXPECT_EQ(Visible(ReadFileBytes(dir.File("out.pavo"))), Visible(RampFile(header, 3)));
}

// A four-column N written in another base counts in full.
TEST(ConvertReviewColumnsTest, ChannelCountInAnotherBase) {
  ScanHeader header;
  header.channels = " #10";
  TempDir dir;
  RunResult run = Convert(dir, JoinLines(ScanLines(header, Ramp(16))));
  ExpectStopped(run, PipedEnd(kInputPrompt, true));
  EXPECT_EQ(Visible(ReadFileBytes(dir.File("out.pavo"))), Visible(RampFile(header, 16)));
}

// The failure rows of the field rules that the scan's own fields can meet, each ending the run
// with the scan file's name and leaving what was written before the failing read.
struct FieldFailure {
  const char* name;
  ScanHeader header;
  std::vector<std::string> values;
  int number;
  const char* text;
  int recordsLeft;
};

class ConvertReviewFailureTest : public testing::TestWithParam<FieldFailure> {};

TEST_P(ConvertReviewFailureTest, FailingFieldEndsTheRun) {
  const FieldFailure& c = GetParam();
  TempDir dir;
  RunResult run = Convert(dir, JoinLines(ScanLines(c.header, c.values)));
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(Visible(run.err), Visible(Failure(c.number, "READ", "scan.dat", c.text)));
  EXPECT_EQ(Visible(run.out), Visible(PipedEnd(kInputPrompt, false)));
  const std::string all = TitleRecord(c.header.title, kStamp) + DefaultBankRecord(25, 3);
  EXPECT_EQ(Visible(ReadFileBytes(dir.File("out.pavo"))),
            Visible(all.substr(0, static_cast<std::size_t>(c.recordsLeft) * 82)));
}

ScanHeader WithChannels(std::string text) {
  ScanHeader header;
  header.channels = std::move(text);
  return header;
}

ScanHeader WithScale(std::string text) {
  ScanHeader header;
  header.scale = std::move(text);
  return header;
}

ScanHeader WithFirstCoefficient(std::string text) {
  ScanHeader header;
  header.coefficients[0] = std::move(text);
  return header;
}

std::vector<std::string> WithValue(std::size_t index, std::string text) {
  std::vector<std::string> values = Ramp(25);
  values[index] = std::move(text);
  return values;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ConvertReviewFailureTest,
    testing::Values(FieldFailure{"TwoRadixMarksInN", WithChannels("##19"), Ramp(25), 6302,
                                 "multiple radix specifiers", 1},
                    FieldFailure{"BaseOneInN", WithChannels(" 1#1"), Ramp(25), 6303,
                                 "illegal radix specifier", 1},
                    FieldFailure{"BaseThirtySevenInN", WithChannels("37#1"), Ramp(25), 6303,
                                 "illegal radix specifier", 1},
                    FieldFailure{"DigitOutsideTheBaseInN", WithChannels("2#12"), Ramp(25), 6101,
                                 "invalid INTEGER", 1},
                    FieldFailure{"ScaleBeyondTheSingleRange", WithScale("    1.0E39"), Ramp(25),
                                 6104, "REAL math overflow", 1},
                    FieldFailure{"CoefficientBeyondTheDoubleRange", WithFirstCoefficient("1.0E309"),
                                 Ramp(25), 6102,
                                 "REAL indefinite ( uninitialized or previous error )", 1},
                    FieldFailure{"ValueBeyondTheDoubleRange", ScanHeader{},
                                 WithValue(3, "-1.0E309"), 6102,
                                 "REAL indefinite ( uninitialized or previous error )", 2},
                    FieldFailure{"CtrlZInAValue", ScanHeader{}, WithValue(20, "  1\x1a"), 6501,
                                 "end of file encountered", 2},
                    FieldFailure{"ExponentLetterWithoutDigits", ScanHeader{}, WithValue(24, "1.5E"),
                                 6103, "invalid REAL", 2}),
    [](const testing::TestParamInfo<FieldFailure>& info) { return std::string(info.param.name); });

// The scan file is read through a buffer of 1024 bytes. A longer or shorter first line moves
// every later line across the buffer's edges, so that the stamp, the title, N and the value
// fields are each cut by a refill at every column in turn; the file must read the same.
TEST(ConvertReviewBufferTest, FieldsCutByARefillReadAsWhole) {
  ScanHeader header;
  header.channels = " 300";
  header.title = "Title of exactly forty columns, as read.";
  std::vector<std::string> values;
  std::vector<int64_t> counts;
  for (int64_t i = 1; i <= 300; ++i) {
    // Tabs, commas and blanks inside fields, so that every field rule meets the buffer's edges.
    values.push_back(i % 3 == 0 ? " " + std::to_string(i) + ",9" : "\t" + std::to_string(i) + ".5");
    counts.push_back(i % 3 == 0 ? i : i + 1);
  }
  const std::string expected =
      TitleRecord(header.title, kStamp) + DefaultBankRecord(300, 30) + CountRecords(counts, 30);
  for (const std::string eol : {"\n", "\r\n"}) {
    for (std::size_t first = 930; first <= 1030; ++first) {
      std::vector<std::string> lines = ScanLines(header, values);
      lines[0] = std::string(first, 'h');
      TempDir dir;
      RunResult run = Convert(dir, JoinLines(lines, eol));
      ASSERT_EQ(run.exitCode, 0) << first << Visible(run.err);
      ASSERT_EQ(Visible(ReadFileBytes(dir.File("out.pavo"))), Visible(expected))
          << "first line of " << first << " bytes";
    }
  }
}

// A second reply left unchanged by a comma leaves the output name at its start (zero
// characters): the open treats it as blank and asks for the name, or takes an argument.
TEST(ConvertReviewDialogueTest, SecondNameLeftUnchangedIsAskedForByTheOpen) {
  ScanHeader header;
  const std::string scan = JoinLines(ScanLines(header, Ramp(25)));
  {
    TempDir dir;
    RunResult run = Convert(dir, scan, "scan.dat\n,\nout.pavo\n");
    ExpectStopped(run, kInputPrompt + " " + kOutputPrompt +
                           "\r\nFile name missing or blank - please enter file name\r\nUNIT 2? " +
                           "\r\n" + kStop + "\r\n");
    EXPECT_EQ(Visible(ReadFileBytes(dir.File("out.pavo"))), Visible(RampFile(header, 25)));
  }
  {
    TempDir dir;
    RunResult run = Convert(dir, scan, "scan.dat\n,\n", InputKind::kPipe, {"out.pavo"});
    ExpectStopped(run, PipedEnd(kInputPrompt + " " + kOutputPrompt, true));
    EXPECT_EQ(Visible(ReadFileBytes(dir.File("out.pavo"))), Visible(RampFile(header, 25)));
  }
}

// A reply holds 80 columns: a longer name is cut, and the open looks for the cut name.
TEST(ConvertReviewDialogueTest, NameLongerThanTheReplyIsCutToEightyColumns) {
  TempDir dir;
  const std::string longName(85, 'n');
  const std::string scan = JoinLines(ScanLines(ScanHeader{}, Ramp(25)));
  x17b_test::WriteFileBytes(dir.File(longName), scan);
  RunResult run = Convert(dir, scan, longName + " out.pavo\n");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(Visible(run.err),
            Visible(Failure(6416, "OPEN", longName.substr(0, 80), "file not found")));
  EXPECT_EQ(Visible(run.out), Visible(PipedEnd(kInputPrompt, false)));
  EXPECT_FALSE(FileExists(dir.File("out.pavo")));
}

// The names typed once are recorded into a macro file, comment included; playing the macro back
// echoes the line and converts into the same file.
TEST(ConvertReviewDialogueTest, RecordedNamesPlayBackToTheSameConversion) {
  ScanHeader header;
  const std::string scan = JoinLines(ScanLines(header, Ramp(25)));
  TempDir dir;
  RunResult recorded = Convert(dir, scan, "@M\nnames.mac\nscan.dat out.pavo ! names\n");
  ExpectStopped(recorded, PipedEnd(kInputPrompt + " " + kAskMacroName + " " + kInputPrompt, true));
  EXPECT_EQ(Visible(ReadFileBytes(dir.File("names.mac"))),
            Visible("scan.dat out.pavo ! names\r\n"));
  EXPECT_EQ(Visible(ReadFileBytes(dir.File("out.pavo"))), Visible(RampFile(header, 25)));

  ASSERT_EQ(std::remove(dir.File("out.pavo").c_str()), 0);
  RunResult played = Convert(dir, scan, "@R\nnames.mac\n");
  std::string macroName = "names.mac";
  macroName.resize(80, ' ');
  ExpectStopped(played,
                PipedEnd(kInputPrompt + " " + kAskMacroName + " The commands will be read from " +
                             macroName + "\r\n" + kInputPrompt + " scan.dat out.pavo ! names",
                         true));
  EXPECT_EQ(Visible(ReadFileBytes(dir.File("out.pavo"))), Visible(RampFile(header, 25)));
  EXPECT_EQ(Visible(ReadFileBytes(dir.File("names.mac"))),
            Visible("scan.dat out.pavo ! names\r\n"));
}

}  // namespace
}  // namespace convert_test
