// Whole-program tests of x17b2pavo: the records written, the columns of the scan's fields and
// their reading across the read buffer's edges, the rounding of counts, the bundled example.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "tests/convert_scan.h"
#include "tests/process_harness.h"

namespace convert_test {
namespace {

using x17b_test::ReadFileBytes;
using x17b_test::RunResult;
using x17b_test::TempDir;
using x17b_test::Visible;

// N decides how many value lines are read and how many count records follow; the last record is
// filled with zeros, and a negative N reads nothing.
class ConvertRecordCountTest : public testing::TestWithParam<int64_t> {};

TEST_P(ConvertRecordCountTest, WritesNrecCountRecords) {
  const int64_t n = GetParam();
  ScanHeader header;
  header.channels = Fit(n, 4);
  // Lines after the N values are never read, even when they are not numbers.
  std::vector<std::string> lines = ScanLines(header, ValueLinesWithPoint(n));
  lines.push_back("not a value");
  TempDir dir;
  RunResult run = Convert(dir, JoinLines(lines));
  ExpectStopped(run, PipedEnd(kInputPrompt, true));
  const int64_t records = CountRecordsFor(n);
  const std::string expected = TitleRecord(header.title, kStamp) + DefaultBankRecord(n, records) +
                               CountRecords(RampCounts(n), records);
  const std::string output = ReadFileBytes(dir.File("out.pavo"));
  EXPECT_EQ(output.size(), static_cast<size_t>(2 + std::max<int64_t>(records, 0)) * 82U);
  EXPECT_EQ(Visible(output), Visible(expected));
}

INSTANTIATE_TEST_SUITE_P(EdgeCounts, ConvertRecordCountTest,
                         testing::Values(0, 1, 10, 11, 25, 8001, 9999, -5, -8, -9, -999),
                         [](const testing::TestParamInfo<int64_t>& info) {
                           return (info.param < 0 ? "Minus" : "N") +
                                  std::to_string(info.param < 0 ? -info.param : info.param);
                         });

TEST(ConvertRecordTest, ZeroChannelsFromABlankShortLineFive) {
  ScanHeader header;
  header.channels = "";  // line 5 ends before column 25
  TempDir dir;
  RunResult run = Convert(dir, JoinLines(HeaderLines(header)));
  ExpectStopped(run, PipedEnd(kInputPrompt, true));
  const std::string output = ReadFileBytes(dir.File("out.pavo"));
  EXPECT_EQ(output.substr(82, 82).substr(0, 16), "BANK 1    0    1");
  EXPECT_EQ(Visible(output), Visible(TitleRecord(header.title, kStamp) + DefaultBankRecord(0, 1) +
                                     CountRecords({}, 1)));
}

// The title and bank records byte for byte: title cut or padded to 40 columns, the stamp text in
// 41-59, the coefficients in exponent form (implied digits when written without a point).
TEST(ConvertRecordTest, TitleAndBankRecordsFromTheirColumns) {
  ScanHeader header;
  header.stamp = "1996   3   6   5  59  59 trailing text ignored 1234";
  header.title = "A title longer than forty columns: this part is not read";
  header.channels = "   2 more text";
  header.coefficients = {"1234.5", "-0.001", "0.99999997",
                         "1" + std::string(23, ' ') + "(no point: beyond column 48)"};
  TempDir dir;
  RunResult run = Convert(dir, JoinLines(ScanLines(header, {"1", "2"})));
  ExpectStopped(run, PipedEnd(kInputPrompt, true));
  const std::string output = ReadFileBytes(dir.File("out.pavo"));
  EXPECT_EQ(Visible(output.substr(0, 82)),
            Visible("A title longer than forty columns: this 1996: 3: 6: 5:59:59" +
                    std::string(21, ' ') + "\r\n"));
  EXPECT_EQ(Visible(output.substr(82, 82)),
            Visible("BANK 1    2    1 EDS  1.23450E+03 -1.00000E-03  1.00000E+00  1.00000E-18 STD"
                    "    \r\n"));
}

TEST(ConvertRecordTest, ShortTitleIsPaddedAndWideStampIntegersShowAsterisks) {
  ScanHeader header;
  header.stamp = "-999 100  -5 -10   7  99";
  header.title = "Short";
  TempDir dir;
  RunResult run = Convert(dir, JoinLines(ScanLines(header, ValueLinesWithPoint(25))));
  ExpectStopped(run, PipedEnd(kInputPrompt, true));
  EXPECT_EQ(Visible(ReadFileBytes(dir.File("out.pavo")).substr(0, 82)),
            Visible("Short" + std::string(35, ' ') + "-999:**:-5:**: 7:99" + std::string(21, ' ') +
                    "\r\n"));
}

// Scan files written with CR LF, with a last line without a line end, and with value lines that
// use the field rules: no point, exponent, comma, tab, blanks inside, text after column 10.
TEST(ConvertRecordTest, ValueLinesFollowTheFieldRules) {
  ScanHeader header;
  header.channels = "  12";
  const std::vector<std::string> values = {"123",   "12.5",  "1.25E2",          "1,5",
                                           "\t7",   "",      "  1 2",           "-.5",
                                           "1.5D1", "2.5+1", "       5.0 junk", "  -2.5"};
  const std::vector<int64_t> counts = {123, 13, 125, 1, 7, 0, 12, -1, 15, 25, 5, -3};
  const std::string expected =
      TitleRecord(header.title, kStamp) + DefaultBankRecord(12, 2) + CountRecords(counts, 2);
  std::string crlf = JoinLines(ScanLines(header, values), "\r\n");
  crlf.resize(crlf.size() - 2);  // no line end after the last value
  TempDir dir;
  RunResult run = Convert(dir, crlf);
  ExpectStopped(run, PipedEnd(kInputPrompt, true));
  EXPECT_EQ(Visible(ReadFileBytes(dir.File("out.pavo"))), Visible(expected));
}

// Line 6 is read in columns 25-34 only: a digit in column 35 must not join the scale factor,
// which here is written without a point (a whole number).
TEST(ConvertScanFieldTest, ScaleFactorIsReadFromColumns25To34Only) {
  ScanHeader header;
  header.channels = "   3";
  header.scale = "         25 seconds";
  TempDir dir;
  RunResult run = Convert(dir, JoinLines(ScanLines(header, ValueLinesWithoutPoint(3))));
  ExpectStopped(run, PipedEnd(kInputPrompt, true));
  EXPECT_EQ(Visible(ReadFileBytes(dir.File("out.pavo"))), Visible(RampPowderFile(header, 3, 2)));
}

// Ctrl-Z ends the input only inside a numeric field: in skipped lines and in the title it is an
// ordinary character, and the title keeps it.
TEST(ConvertScanFieldTest, CtrlZOutsideNumericFieldsIsAnOrdinaryCharacter) {
  ScanHeader header;
  header.channels = "   3";
  header.title = "Run\x1a 17";
  std::vector<std::string> lines = ScanLines(header, ValueLinesWithoutPoint(3));
  for (const std::size_t skipped : {0U, 3U, 6U, 15U, 28U}) lines[skipped] += " \x1a";
  lines[20] = "\x1a";
  TempDir dir;
  RunResult run = Convert(dir, JoinLines(lines));
  ExpectStopped(run, PipedEnd(kInputPrompt, true));
  EXPECT_EQ(Visible(ReadFileBytes(dir.File("out.pavo"))), Visible(RampPowderFile(header, 3)));
}

// A four-column N written in another base counts in full.
TEST(ConvertScanFieldTest, ChannelCountInAnotherBase) {
  ScanHeader header;
  header.channels = " #10";
  TempDir dir;
  RunResult run = Convert(dir, JoinLines(ScanLines(header, ValueLinesWithoutPoint(16))));
  ExpectStopped(run, PipedEnd(kInputPrompt, true));
  EXPECT_EQ(Visible(ReadFileBytes(dir.File("out.pavo"))), Visible(RampPowderFile(header, 16)));
}

// The scan file is read through a buffer of 1024 bytes. A longer or shorter first line moves
// every later line across the buffer's edges, so that the stamp, the title, N and the value
// fields are each cut by a refill at every column in turn; the file must read the same.
TEST(ConvertScanBufferTest, FieldsCutByARefillReadAsWhole) {
  ScanHeader header;
  header.channels = " 300";
  header.title = "Title of exactly forty columns, as read.";
  std::vector<std::string> values;
  std::vector<int64_t> counts;
  for (int64_t i = 1; i <= 300; ++i) {
    // Tabs, commas and blanks inside fields, so that every field rule meets the buffer's edges.
    const std::string number = std::to_string(i);
    values.push_back(i % 3 == 0 ? std::string(" ").append(number).append(",9")
                                : std::string("\t").append(number).append(".5"));
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

struct ScaledCase {
  const char* name;
  std::string scale;
  std::vector<std::string> values;
  std::vector<std::string> fields;  // the eight columns each count shows
};

void PrintTo(const ScaledCase& c, std::ostream* os) {
  *os << c.name;
}

class ConvertScalingTest : public testing::TestWithParam<ScaledCase> {};

TEST_P(ConvertScalingTest, CountsAreScaledAndRounded) {
  const ScaledCase& c = GetParam();
  ScanHeader header;
  header.scale = c.scale;
  header.channels = Fit(static_cast<int64_t>(c.values.size()), 4);
  TempDir dir;
  RunResult run = Convert(dir, JoinLines(ScanLines(header, c.values)));
  ExpectStopped(run, PipedEnd(kInputPrompt, true));
  std::string records;
  for (size_t i = 0; i < c.fields.size() || i % 10 != 0; ++i) {
    records += i < c.fields.size() ? c.fields[i] : "       0";
    if (i % 10 == 9) records += "\r\n";
  }
  const std::string output = ReadFileBytes(dir.File("out.pavo"));
  ASSERT_GE(output.size(), 164U);
  EXPECT_EQ(Visible(output.substr(164)), Visible(records));
}

INSTANTIATE_TEST_SUITE_P(
    Rounding, ConvertScalingTest,
    testing::Values(ScaledCase{"ScaleZero",
                               "       0.0",
                               {"123.0", "-4.5", "3.0E9", "1.0E19"},
                               {"       0", "       0", "       0", "       0"}},
                    ScaledCase{
                        "ScaleHalf",
                        "       0.5",
                        {"5.0", "-5.0", "3.0", "1.0", "-1.0", "0.98"},
                        {"       3", "      -3", "       2", "       1", "      -1", "       0"}},
                    ScaledCase{"HalvesAwayFromZero",
                               "         1",
                               {"2.5", "-2.5", "0.49", "-0.49", "0.5"},
                               {"       3", "      -3", "       0", "       0", "       1"}},
                    // From 2^22 to 2^23 a product n + 0.25 gives n + 1 (below 2^22 it gives n);
                    // from 2^24 to 2^25 an odd product gives the even integer above it.
                    ScaledCase{"QuarterAbove2To22",
                               "      6.25",
                               {"671089", "-671089", "1342177", "671085"},
                               {" 4194307", "-4194307", " 8388607", " 4194281"}},
                    ScaledCase{"OddAbove2To24",
                               "         3",
                               {"5592407", "5592409", "11184809", "5592406"},
                               {"16777222", "16777228", "33554428", "16777218"}},
                    // Beyond 32 bits a count is held at the limit: asterisks, never a wrapped small
                    // number (2^32 would wrap to 0, 4294968320 to 1024).
                    ScaledCase{"HeldAtTheLimit",
                               "       1.0",
                               {"3.0E9", "4294967301", "4294968296", "-3.0E9", "12345678",
                                "-1234567", "-12345678", "123456789"},
                               {"********", "********", "********", "********", "12345678",
                                "-1234567", "********", "********"}}),
    [](const testing::TestParamInfo<ScaledCase>& info) { return std::string(info.param.name); });

// Writing onto an existing, longer powder data file replaces only the records written.
TEST(ConvertRecordTest, ExistingLongerOutputKeepsItsLaterRecords) {
  TempDir dir;
  std::string old;
  for (int r = 1; r <= 10; ++r) old += Record("old record " + std::to_string(r));
  x17b_test::WriteFileBytes(dir.File("out.pavo"), old);
  TwentyFive scan;
  RunResult run = Convert(dir, scan.Scan());
  ExpectStopped(run, PipedEnd(kInputPrompt, true));
  EXPECT_EQ(Visible(ReadFileBytes(dir.File("out.pavo"))),
            Visible(scan.Expected() + old.substr(5 * 82)));
}

// The bundled example converts to the expected file, which was made from the documented layouts
// without the converter.
TEST(ConvertExampleTest, BundledScanGivesTheBundledPowderFile) {
  const std::string scan = ReadFileBytes(x17b_test::SourceFile("examples/scan.dat"));
  const std::string expected = ReadFileBytes(x17b_test::SourceFile("examples/scan.pavo"));
  ASSERT_FALSE(scan.empty());
  ASSERT_EQ(expected.size() % 82, 0U);
  TempDir dir;
  RunResult run = Convert(dir, scan, "scan.dat scan.pavo\n");
  ExpectStopped(run, PipedEnd(kInputPrompt, true));
  EXPECT_EQ(Visible(ReadFileBytes(dir.File("scan.pavo"))), Visible(expected));
}

}  // namespace
}  // namespace convert_test
