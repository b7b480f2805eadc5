// Whole-program tests of x17b2pavo's failure paths: the message, the exit code, what stays written.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "tests/convert_scan.h"
#include "tests/process_harness.h"

namespace convert_test {
namespace {

using x17b_test::FailureMessage;
using x17b_test::FileExists;
using x17b_test::InputKind;
using x17b_test::kStopLine;
using x17b_test::MathFaultMessage;
using x17b_test::ReadFileBytes;
using x17b_test::RunResult;
using x17b_test::TempDir;
using x17b_test::Visible;

// The title record and the bank record of the default header with N = 25.
std::string FirstTwoRecords(const ScanHeader& header) {
  return TitleRecord(header.title, kStamp) + DefaultBankRecord(25, 3);
}

TEST(ConvertOpenFailureTest, MissingScanFileCreatesNothing) {
  TempDir dir;
  x17b_test::RunOptions options;
  options.input = "missing.dat out.pavo\n";
  options.workDir = dir.path();
  RunResult run = x17b_test::RunProgram(kProgram, options);
  ExpectFailed(run, FailureMessage(6416, "OPEN", "missing.dat", "file not found"),
               PipedEnd(kInputPrompt, false));
  EXPECT_FALSE(FileExists(dir.File("out.pavo")));
}

// Replies that end before the second name: the line reader reports the end of its input through
// the status report and the run stops with exit code 1; no output file is created.
TEST(ConvertOpenFailureTest, InputEndingBeforeTheSecondNameStops) {
  TempDir dir;
  RunResult run =
      Convert(dir, JoinLines(ScanLines(ScanHeader{}, ValueLinesWithoutPoint(25))), "scan.dat\n");
  const std::string prompts = kInputPrompt + " " + kOutputPrompt + " " + kOutputPrompt;
  ExpectFailed(run, "", prompts + " FORTRAN error number  -1 on unit  5\r\n" + kStopLine + "\r\n");
  EXPECT_FALSE(FileExists(dir.File("out.pavo")));
}

// A name line whose last character is Ctrl-Z is the end of the replies, also in the name dialogue
// and for a blank macro name, however long the line and whether or not a line end follows.
TEST(ConvertOpenFailureTest, NameLineEndingInCtrlZIsTheEndOfTheReplies) {
  const std::string scan = JoinLines(ScanLines(ScanHeader{}, ValueLinesWithoutPoint(25)));
  for (const std::string& input :
       {std::string("\nscan.dat\n\nabc\x1a"), "\nscan.dat\n\n" + std::string(300, 'q') + "\x1a\n",
        std::string("@M\n\nabc\x1a")}) {
    TempDir dir;
    RunResult run = Convert(dir, scan, input);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(Visible(run.err),
              Visible(FailureMessage(6501, "OPEN", "", "end of file encountered")));
    EXPECT_EQ(ReadFileBytes(dir.File("scan.dat")), scan);
    EXPECT_EQ(x17b_test::FolderNames(dir.path()), std::vector<std::string>{"scan.dat"}) << input;
  }
}

TEST(ConvertOpenFailureTest, SameNameTwiceFailsBeforeAnythingIsWritten) {
  TempDir dir;
  const std::string scan = JoinLines(ScanLines(ScanHeader{}, ValueLinesWithoutPoint(25)));
  RunResult run = Convert(dir, scan, "scan.dat scan.dat\n");
  ExpectFailed(
      run, FailureMessage(6413, "OPEN", "scan.dat", "file already connected to a different unit"),
      PipedEnd(kInputPrompt, false));
  EXPECT_EQ(ReadFileBytes(dir.File("scan.dat")), scan);
}

TEST(ConvertOpenFailureTest, OutputThatIsADirectoryIsRefused) {
  TempDir dir;
  ASSERT_TRUE(x17b_test::MakeFolder(dir.File("out.pavo")));
  RunResult run = Convert(dir, JoinLines(ScanLines(ScanHeader{}, ValueLinesWithoutPoint(25))));
  ExpectFailed(run, FailureMessage(6414, "OPEN", "out.pavo", "access not allowed"),
               PipedEnd(kInputPrompt, false));
}

TEST(ConvertOpenFailureTest, OutputInAMissingDirectoryIsNotFound) {
  TempDir dir;
  RunResult run = Convert(dir, JoinLines(ScanLines(ScanHeader{}, ValueLinesWithoutPoint(25))),
                          "scan.dat nowhere/out.pavo\n");
  ExpectFailed(run, FailureMessage(6416, "OPEN", "nowhere/out.pavo", "file not found"),
               PipedEnd(kInputPrompt, false));
}

// A header shorter than 29 lines: the read that runs out names the scan file, and the records
// written before it stay (none while lines 1-3 are read, the title record while lines 4-29 are).
class ConvertShortHeaderTest : public testing::TestWithParam<int> {};

TEST_P(ConvertShortHeaderTest, EndOfFileInTheHeader) {
  const int lines = GetParam();
  ScanHeader header;
  std::vector<std::string> all = HeaderLines(header);
  all.resize(static_cast<size_t>(lines));
  TempDir dir;
  RunResult run = Convert(dir, JoinLines(all));
  ExpectFailed(run, FailureMessage(6501, "READ", "scan.dat", "end of file encountered"),
               PipedEnd(kInputPrompt, false));
  ASSERT_TRUE(FileExists(dir.File("out.pavo")));
  EXPECT_EQ(Visible(ReadFileBytes(dir.File("out.pavo"))),
            Visible(lines < 3 ? "" : TitleRecord(header.title, kStamp)));
}

INSTANTIATE_TEST_SUITE_P(Lengths, ConvertShortHeaderTest,
                         testing::Values(0, 1, 2, 3, 4, 11, 14, 28));

// One value line too few: the title and bank records are written, the counts are not.
TEST(ConvertReadFailureTest, ShortValueListLeavesTitleAndBankRecords) {
  ScanHeader header;
  TempDir dir;
  RunResult run = Convert(dir, JoinLines(ScanLines(header, ValueLinesWithoutPoint(24))));
  ExpectFailed(run, FailureMessage(6501, "READ", "scan.dat", "end of file encountered"),
               PipedEnd(kInputPrompt, false));
  EXPECT_EQ(Visible(ReadFileBytes(dir.File("out.pavo"))), Visible(FirstTwoRecords(header)));
}

// A failure never shortens an existing longer output file: the records written before it are
// replaced, every later slot keeps its old bytes.
TEST(ConvertReadFailureTest, FailureLeavesTheRestOfALongerFileInPlace) {
  ScanHeader header;
  TempDir dir;
  std::string old;
  for (int r = 1; r <= 10; ++r) old += Record("old record " + std::to_string(r));
  x17b_test::WriteFileBytes(dir.File("out.pavo"), old);
  RunResult run = Convert(dir, JoinLines(ScanLines(header, ValueLinesWithoutPoint(24))));
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(Visible(ReadFileBytes(dir.File("out.pavo"))),
            Visible(FirstTwoRecords(header) + old.substr(2 * 82)));
}

// The failure rows of the field rules that the scan's own fields can meet: malformed fields, radix
// forms, values beyond the ranges, Ctrl-Z inside a number. Each ends the run with the scan file's
// name and leaves what was written before the failing read.
struct FieldFailure {
  const char* name;
  ScanHeader header;
  std::vector<std::string> values;
  int number;
  const char* text;
  int recordsLeft;  // records written before the failing read
};

void PrintTo(const FieldFailure& c, std::ostream* os) {
  *os << c.name;
}

class ConvertFieldFailureTest : public testing::TestWithParam<FieldFailure> {};

TEST_P(ConvertFieldFailureTest, FailingFieldEndsTheRun) {
  const FieldFailure& c = GetParam();
  TempDir dir;
  RunResult run = Convert(dir, JoinLines(ScanLines(c.header, c.values)));
  ExpectFailed(run, FailureMessage(c.number, "READ", "scan.dat", c.text),
               PipedEnd(kInputPrompt, false));
  const std::string all = TitleRecord(c.header.title, kStamp) + DefaultBankRecord(25, 3);
  EXPECT_EQ(Visible(ReadFileBytes(dir.File("out.pavo"))),
            Visible(all.substr(0, static_cast<size_t>(c.recordsLeft) * 82)));
}

ScanHeader With(std::string ScanHeader::*field, std::string text) {
  ScanHeader header;
  header.*field = std::move(text);
  return header;
}

ScanHeader WithCoefficient(int index, std::string text) {
  ScanHeader header;
  header.coefficients[static_cast<size_t>(index)] = std::move(text);
  return header;
}

std::vector<std::string> WithValue(int index, std::string text) {
  std::vector<std::string> values = ValueLinesWithoutPoint(25);
  values[static_cast<size_t>(index)] = std::move(text);
  return values;
}

INSTANTIATE_TEST_SUITE_P(
    Fields, ConvertFieldFailureTest,
    testing::Values(
        FieldFailure{"LettersInTheStamp", With(&ScanHeader::stamp, "19x6   3   6   5  59  59"),
                     ValueLinesWithoutPoint(25), 6101, "invalid INTEGER", 0},
        FieldFailure{"LettersInN", With(&ScanHeader::channels, "  2O"), ValueLinesWithoutPoint(25),
                     6101, "invalid INTEGER", 1},
        FieldFailure{"DecimalPointInN", With(&ScanHeader::channels, "25.0"),
                     ValueLinesWithoutPoint(25), 6101, "invalid INTEGER", 1},
        FieldFailure{"LettersInTheScale", With(&ScanHeader::scale, "   one    "),
                     ValueLinesWithoutPoint(25), 6103, "invalid REAL", 1},
        FieldFailure{"TwoPointsInTheLastCoefficient", WithCoefficient(3, "1.2.3"),
                     ValueLinesWithoutPoint(25), 6103, "invalid REAL", 1},
        FieldFailure{"LettersInAValue", ScanHeader{}, WithValue(12, "N/A"), 6103, "invalid REAL",
                     2},
        FieldFailure{"ValueBeyondTheSingleRange", ScanHeader{}, WithValue(24, "4.0E38"), 6104,
                     "REAL math overflow", 2},
        FieldFailure{"TwoRadixMarksInN", With(&ScanHeader::channels, "##19"),
                     ValueLinesWithoutPoint(25), 6302, "multiple radix specifiers", 1},
        FieldFailure{"BaseOneInN", With(&ScanHeader::channels, " 1#1"), ValueLinesWithoutPoint(25),
                     6303, "illegal radix specifier", 1},
        FieldFailure{"BaseThirtySevenInN", With(&ScanHeader::channels, "37#1"),
                     ValueLinesWithoutPoint(25), 6303, "illegal radix specifier", 1},
        FieldFailure{"DigitOutsideTheBaseInN", With(&ScanHeader::channels, "2#12"),
                     ValueLinesWithoutPoint(25), 6101, "invalid INTEGER", 1},
        FieldFailure{"ScaleBeyondTheSingleRange", With(&ScanHeader::scale, "    1.0E39"),
                     ValueLinesWithoutPoint(25), 6104, "REAL math overflow", 1},
        FieldFailure{"CoefficientBeyondTheDoubleRange", WithCoefficient(0, "1.0E309"),
                     ValueLinesWithoutPoint(25), 6102,
                     "REAL indefinite ( uninitialized or previous error )", 1},
        FieldFailure{"ValueBeyondTheDoubleRange", ScanHeader{}, WithValue(3, "-1.0E309"), 6102,
                     "REAL indefinite ( uninitialized or previous error )", 2},
        FieldFailure{"CtrlZInAValue", ScanHeader{}, WithValue(20, "  1\x1a"), 6501,
                     "end of file encountered", 2},
        FieldFailure{"ExponentLetterWithoutDigits", ScanHeader{}, WithValue(24, "1.5E"), 6103,
                     "invalid REAL", 2}),
    [](const testing::TestParamInfo<FieldFailure>& info) { return std::string(info.param.name); });

// A count too large for the arithmetic ends the run with the floating-point fault message after
// the title and bank records.
TEST(ConvertMathFaultTest, ScaledValueOfTenToTheNineteenIsInvalid) {
  ScanHeader header;
  TempDir dir;
  RunResult run = Convert(dir, JoinLines(ScanLines(header, WithValue(7, "1.0E19"))));
  ExpectFailed(run, MathFaultMessage(6101, "invalid"), PipedEnd(kInputPrompt, false));
  EXPECT_EQ(Visible(ReadFileBytes(dir.File("out.pavo"))), Visible(FirstTwoRecords(header)));
}

TEST(ConvertMathFaultTest, ScaledValueBeyondTheSingleRangeOverflows) {
  ScanHeader header;
  header.scale = "      10.0";
  for (InputKind kind : x17b_test::kInputKinds) {
    TempDir dir;
    RunResult run = Convert(dir, JoinLines(ScanLines(header, WithValue(0, "3.0E38"))),
                            "scan.dat out.pavo\n", kind);
    // At a terminal the prompt's line ended with the reply.
    ExpectFailed(run, MathFaultMessage(6104, "overflow"),
                 kind == InputKind::kPipe ? PipedEnd(kInputPrompt, false) : kInputPrompt);
    EXPECT_EQ(Visible(ReadFileBytes(dir.File("out.pavo"))), Visible(FirstTwoRecords(header)));
  }
}

// The counts before a fault are not written: count records come only after the last value.
TEST(ConvertMathFaultTest, NoCountRecordBeforeTheLastValue) {
  ScanHeader header;
  header.channels = "  30";
  TempDir dir;
  std::vector<std::string> values = ValueLinesWithoutPoint(30);
  values[29] = "-9.3E18";
  RunResult run = Convert(dir, JoinLines(ScanLines(header, values)));
  ExpectFailed(run, MathFaultMessage(6101, "invalid"), PipedEnd(kInputPrompt, false));
  EXPECT_EQ(ReadFileBytes(dir.File("out.pavo")).size(), 2U * 82U);
}

// The last value read succeeds only when the file holds all 29 + N lines.
TEST(ConvertReadFailureTest, ExactlyTwentyNinePlusNLinesIsEnough) {
  ScanHeader header;
  TempDir dir;
  std::string scan = JoinLines(ScanLines(header, ValueLinesWithoutPoint(25)));
  RunResult run = Convert(dir, scan);
  EXPECT_EQ(run.exitCode, 0) << Visible(run.err);
  EXPECT_EQ(Visible(ReadFileBytes(dir.File("out.pavo"))),
            Visible(FirstTwoRecords(header) + CountRecords(RampCounts(25), 3)));
}

}  // namespace
}  // namespace convert_test

namespace convert_test {
namespace {

// Runs the converter on `scan` with unusual standard streams set in `options`.
RunResult ConvertWith(const TempDir& dir, const std::string& scan, x17b_test::RunOptions options) {
  x17b_test::WriteFileBytes(dir.File("scan.dat"), scan);
  options.workDir = dir.path();
  return x17b_test::RunProgram(kProgram, options);
}

// With standard error closed, the scan file would have taken its number and received the failure
// message (a macro file, when one was being recorded).
TEST(ConvertStreamTest, ClosedStandardErrorNeverReceivesAMessage) {
  const std::string scan = JoinLines(ScanLines(ScanHeader{}, WithValue(7, "1.0E19")));
  for (const std::string& input :
       {std::string("scan.dat no/such/dir/out.pavo\n"), std::string("@M\nm.txt\nscan.dat out\n")}) {
    TempDir dir;
    x17b_test::RunOptions options;
    options.input = input;
    options.closedStreams = {2};
    RunResult run = ConvertWith(dir, scan, options);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(ReadFileBytes(dir.File("scan.dat")), scan);
    if (input[0] == '@') {
      EXPECT_EQ(ReadFileBytes(dir.File("m.txt")), "scan.dat out\r\n");
    }
  }
}

// The file behind standard output is the console's: the output may not be written into it.
TEST(ConvertStreamTest, OutputThatIsStandardOutputIsRefused) {
#ifdef _WIN32
  for (const std::string name : {"log.pavo"}) {
#else
  for (const std::string name : {"log.pavo", "/dev/stdout"}) {
#endif
    TempDir dir;
    x17b_test::RunOptions options;
    options.input = "scan.dat " + name + "\n";
    options.stdoutPath = dir.File("log.pavo");
    RunResult run =
        ConvertWith(dir, JoinLines(ScanLines(ScanHeader{}, ValueLinesWithoutPoint(25))), options);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(
        Visible(run.err),
        Visible(FailureMessage(6413, "OPEN", name, "file already connected to a different unit")));
    EXPECT_EQ(Visible(ReadFileBytes(dir.File("log.pavo"))), Visible(PipedEnd(kInputPrompt, false)));
  }
}

// A pipe without a reader makes writes fail; it never ends the run by a signal.
TEST(ConvertStreamTest, StandardOutputWithoutAReaderIsAFailure) {
  TempDir dir;
  x17b_test::RunOptions options;
  options.input = "scan.dat out.pavo\n";
  options.stdoutReaderGone = true;
  RunResult run =
      ConvertWith(dir, JoinLines(ScanLines(ScanHeader{}, ValueLinesWithoutPoint(25))), options);
  EXPECT_EQ(run.signal, 0);
  ExpectFailed(
      run, FailureMessage(6421, "WRITE", "CON", "file read-only or locked against writing"), "");
}

}  // namespace
}  // namespace convert_test
