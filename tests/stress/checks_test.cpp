// Tests of the stress harness's invariants: each must accept what a correct run shows and reject
// the faults it exists to catch.
#include "tests/stress/checks.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/stress/batch_case.h"

namespace x17b_stress {
namespace {

std::string Record(std::string text) {
  text.resize(80, ' ');
  return text + "\r\n";
}

std::string Title() {
  std::string title = "CeO2 standard";
  title.resize(40, ' ');
  return Record(title + "1996: 3: 6: 5:59:59");
}

std::string Bank(const std::string& n, const std::string& nrec) {
  return Record("BANK 1" + n + nrec +
                " EDS  1.23450E+03 -1.00000E-03  0.00000E+00  1.00000E-18 STD");
}

std::string Counts(const std::string& fields) {
  return Record(fields);
}

// A powder data file for N = 12: two count records, the second holding counts 11 and 12.
std::string PowderFile() {
  return Title() + Bank("   12", "    2") +
         Counts(
             "       1       2       3       4       5       6       7       8       9      10") +
         Counts("      11      12       0       0       0       0       0       0       0       0");
}

TEST(ParseMessage, AcceptsTheFailureMessageWithItsCatalogueText) {
  std::string why;
  auto message = ParseMessage(
      "\r\nrun-time error F6501: READ(scan.dat)\r\n- end of file encountered\r\n", why);
  ASSERT_TRUE(message) << why;
  EXPECT_EQ(message->kind, 'F');
  EXPECT_EQ(message->number, 6501);
  EXPECT_EQ(message->statement, "READ");
  EXPECT_EQ(message->name, "scan.dat");
  EXPECT_EQ(message->text, "end of file encountered");
}

TEST(ParseMessage, KeepsParenthesesInsideTheFileName) {
  std::string why;
  auto message =
      ParseMessage("\r\nrun-time error F6416: OPEN(a(b).dat)\r\n- file not found\r\n", why);
  ASSERT_TRUE(message) << why;
  EXPECT_EQ(message->name, "a(b).dat");
}

TEST(ParseMessage, AcceptsFloatingPointFaultsOnlyWithTheirOwnWord) {
  std::string why;
  EXPECT_TRUE(
      ParseMessage("\r\nrun-time error M6101: MATH\r\n- floating-point error: invalid\r\n", why));
  EXPECT_TRUE(
      ParseMessage("\r\nrun-time error M6104: MATH\r\n- floating-point error: overflow\r\n", why));
  EXPECT_FALSE(
      ParseMessage("\r\nrun-time error M6104: MATH\r\n- floating-point error: invalid\r\n", why));
  EXPECT_FALSE(
      ParseMessage("\r\nrun-time error M6104: READ\r\n- floating-point error: overflow\r\n", why));
}

TEST(ParseMessage, RejectsMalformedMessages) {
  const char* bad[] = {
      "run-time error F6501: READ(scan.dat)\r\n- end of file encountered\r\n",    // no CR LF first
      "\r\nrun-time error F6501: READ(scan.dat)\n- end of file encountered\r\n",  // bare LF
      "\r\nrun-time error F6501: READ(scan.dat)\r\n- end of file encountered",    // no end
      "\r\nrun-time error F6501: READ(scan.dat)\r\n- file not found\r\n",         // wrong text
      "\r\nrun-time error F6501: FETCH(scan.dat)\r\n- end of file encountered\r\n",  // statement
      "\r\nrun-time error F6501: READ scan.dat\r\n- end of file encountered\r\n",    // no name
      "\r\nrun-time error F651: READ(scan.dat)\r\n- end of file encountered\r\n",    // 3 digits
      "\r\nrun-time error F6999: READ(scan.dat)\r\n- end of file encountered\r\n",   // no such row
      ("\r\nrun-time error F6501: READ(a)\r\n- end of file encountered\r\n"
       "\r\nrun-time error F6501: READ(b)\r\n- end of file encountered\r\n"),        // two messages
      "\r\nrun-time error F6501: READ(scan.dat)\r\n- end of file encountered \r\n",  // extra blank
  };
  for (const char* err : bad) {
    std::string why;
    EXPECT_FALSE(ParseMessage(err, why)) << x17b_test::Visible(err);
  }
}

TEST(CheckPowderFile, AcceptsACompleteFileAndItsFailedPrefixes) {
  std::string file = PowderFile();
  EXPECT_EQ(CheckPowderFile(file, true), std::vector<std::string>{});
  EXPECT_EQ(CheckPowderFile(file.substr(0, 164), false), std::vector<std::string>{});
  EXPECT_EQ(CheckPowderFile(file.substr(0, 82), false), std::vector<std::string>{});
  EXPECT_EQ(CheckPowderFile("", false), std::vector<std::string>{});
}

TEST(CheckPowderFile, RejectsRecordsThatAreNotWhole) {
  std::string file = PowderFile();
  EXPECT_FALSE(CheckPowderFile(file.substr(0, 163), false).empty());  // cut record
  std::string lfOnly = file;
  lfOnly[80] = ' ';  // the first record ends in " \n" instead of CR LF
  EXPECT_FALSE(CheckPowderFile(lfOnly, true).empty());
  std::string innerBreak = file;
  innerBreak[10] = '\n';
  EXPECT_FALSE(CheckPowderFile(innerBreak, true).empty());
}

TEST(CheckPowderFile, RejectsMisshapenRecords) {
  std::string file = PowderFile();
  std::string leadingZero = file;
  leadingZero.replace(45, 2, "03");  // stamp integer 2 written with a leading zero
  EXPECT_FALSE(CheckPowderFile(leadingZero, true).empty());
  std::string badExponent = file;
  badExponent.replace(82 + 20, 13, "   1.2345E+03");  // four decimals
  EXPECT_FALSE(CheckPowderFile(badExponent, true).empty());
  std::string minusZero = file;
  minusZero.replace(82 + 46, 13, " -0.00000E+00");
  EXPECT_FALSE(CheckPowderFile(minusZero, true).empty());
  std::string leftAligned = file;
  leftAligned.replace(164, 8, "1       ");
  EXPECT_FALSE(CheckPowderFile(leftAligned, true).empty());
}

TEST(CheckPowderFile, RejectsACompletedFileWithTheWrongRecordsOrCounts) {
  std::string file = PowderFile();
  EXPECT_FALSE(CheckPowderFile(file.substr(0, 246), true).empty());  // a count record missing
  EXPECT_FALSE(CheckPowderFile(file + file.substr(164, 82), true).empty());  // one too many
  std::string pastN = file;
  pastN.replace(246 + 16, 8, "       7");  // count 13 is past N = 12
  EXPECT_FALSE(CheckPowderFile(pastN, true).empty());
  std::string wrongNrec = Title() + Bank("   12", "    3") + file.substr(164);
  EXPECT_FALSE(CheckPowderFile(wrongNrec, true).empty());
  // A failed run stops before the count records.
  EXPECT_FALSE(CheckPowderFile(file, false).empty());
}

TEST(CheckPowderFile, AcceptsNegativeChannelCounts) {
  // N = -9 gives NREC = 0 and no count record; N = -8 gives NREC = 1 and ten zeros.
  EXPECT_EQ(CheckPowderFile(Title() + Bank("   -9", "    0"), true), std::vector<std::string>{});
  std::string zeros =
      Counts("       0       0       0       0       0       0       0       0       0       0");
  EXPECT_EQ(CheckPowderFile(Title() + Bank("   -8", "    1") + zeros, true),
            std::vector<std::string>{});
  EXPECT_FALSE(CheckPowderFile(Title() + Bank("   -9", "    0") + zeros, true).empty());
}

TEST(CheckMacroFile, AcceptsRecordedLinesAndRejectsOtherShapes) {
  EXPECT_EQ(CheckMacroFile("a\r\n \r\nb   c\r\n"), std::vector<std::string>{});
  EXPECT_EQ(CheckMacroFile(""), std::vector<std::string>{});
  EXPECT_FALSE(CheckMacroFile("a\n").empty());          // bare LF
  EXPECT_FALSE(CheckMacroFile("a\r\n\r\n").empty());    // empty record
  EXPECT_FALSE(CheckMacroFile("b   c  \r\n").empty());  // trailing blanks kept
  EXPECT_FALSE(CheckMacroFile("abc").empty());          // unfinished record
  EXPECT_FALSE(CheckMacroFile(std::string(133, 'x') + "\r\n").empty());
}

x17b_test::RunResult Result(int exitCode, std::string out, std::string err) {
  x17b_test::RunResult r;
  r.exitCode = exitCode;
  r.out = std::move(out);
  r.err = std::move(err);
  return r;
}

const std::string kPrompt = " Enter input X17B EDS datafile name >";
const std::string kStop = "\r\nStop - Program terminated.\r\n\r\n";
const std::string kEof =
    "\r\nrun-time error F6501: READ(scan.dat)\r\n- end of file encountered\r\n";

TEST(CheckRun, AcceptsTheThreeWaysARunEnds) {
  Case c;
  c.input = "scan.dat out.pavo\n";
  Snapshot none;
  EXPECT_EQ(CheckRun(c, Result(0, kPrompt + kStop, ""), none, {{"out.pavo", PowderFile()}}),
            std::vector<std::string>{});
  EXPECT_EQ(
      CheckRun(c, Result(1, kPrompt, kEof), none, {{"out.pavo", PowderFile().substr(0, 164)}}),
      std::vector<std::string>{});
  std::string report = kPrompt + " FORTRAN error number  -1 on unit  5" + kStop;
  EXPECT_EQ(CheckRun(c, Result(1, report, ""), none, none), std::vector<std::string>{});
}

TEST(CheckRun, RejectsBadEndings) {
  Case c;
  Snapshot none;
  x17b_test::RunResult killed = Result(-1, kPrompt, "");
  killed.signal = 11;
  EXPECT_FALSE(CheckRun(c, killed, none, none).empty());
  x17b_test::RunResult hung = Result(-1, kPrompt, "");
  hung.timedOut = true;
  EXPECT_FALSE(CheckRun(c, hung, none, none).empty());
  EXPECT_FALSE(CheckRun(c, Result(2, kPrompt + kStop, ""), none, none).empty());
  EXPECT_FALSE(CheckRun(c, Result(0, kPrompt, ""), none, none).empty());            // no stop line
  EXPECT_FALSE(CheckRun(c, Result(0, kPrompt + kStop, kEof), none, none).empty());  // message, 0
  EXPECT_FALSE(CheckRun(c, Result(1, kPrompt + kStop, kEof), none, none).empty());  // stop, message
  EXPECT_FALSE(CheckRun(c, Result(1, kPrompt, ""), none, none).empty());            // silent 1
  EXPECT_FALSE(CheckRun(c, Result(0, kPrompt + "\nStop - Program terminated.\r\n", ""), none, none)
                   .empty());  // a line feed without its carriage return
}

TEST(CheckRun, RejectsShortenedAndDisturbedFiles) {
  Case c;
  c.input = "scan.dat long.pavo\n";
  Snapshot before{{"scan.dat", "x\n"}, {"long.pavo", std::string(820, 'A')}};
  Snapshot shortened{{"scan.dat", "x\n"}, {"long.pavo", std::string(410, 'A')}};
  EXPECT_FALSE(CheckRun(c, Result(0, kPrompt + kStop, ""), before, shortened).empty());
  Snapshot gone{{"long.pavo", std::string(820, 'A')}};
  EXPECT_FALSE(CheckRun(c, Result(0, kPrompt + kStop, ""), before, gone).empty());
  // A failed open comes before any output: nothing may change.
  std::string notFound = "\r\nrun-time error F6416: OPEN(missing.dat)\r\n- file not found\r\n";
  Snapshot touched{{"scan.dat", "x\n"}, {"long.pavo", std::string(819, 'A') + "B"}};
  EXPECT_FALSE(CheckRun(c, Result(1, kPrompt, notFound), before, touched).empty());
  EXPECT_EQ(CheckRun(c, Result(1, kPrompt, notFound), before, before), std::vector<std::string>{});
}

TEST(CheckRun, JudgesNewFilesByTheirRole) {
  Case c;
  c.input = "@M\nrec.mac\nscan.dat out.pavo\n";
  Snapshot none;
  std::string ok = kPrompt + kStop;
  // A macro file must look like one; the powder data file must hold whole records.
  EXPECT_EQ(CheckRun(c, Result(0, ok, ""), none,
                     {{"rec.mac", "scan.dat out.pavo\r\n"}, {"out.pavo", PowderFile()}}),
            std::vector<std::string>{});
  EXPECT_FALSE(CheckRun(c, Result(0, ok, ""), none, {{"rec.mac", "scan.dat out.pavo\n"}}).empty());
  EXPECT_FALSE(
      CheckRun(c, Result(0, ok, ""), none, {{"out.pavo", PowderFile().substr(0, 300)}}).empty());
  // An unknown new file is accepted in either shape, and only then.
  EXPECT_EQ(CheckRun(c, Result(0, ok, ""), none, {{"nnnn", PowderFile()}}),
            std::vector<std::string>{});
  EXPECT_FALSE(CheckRun(c, Result(0, ok, ""), none, {{"nnnn", "half a record\n"}}).empty());
}

// A batch run of one scan: whatever else it shows, it must convert into exactly x17b2pavo's bytes,
// leave no temporary file and touch no scan, and its messages must agree with its exit status.
TEST(CheckBatchRun, AcceptsAWholeRunAndRejectsWhatItExistsToCatch) {
  Case c;
  c.batch = true;
  c.args = {"--", "a.dat"};
  std::string scan = "header\n" + std::string(28, '\n');  // N = 0
  std::string single = X17B_BUILD_DIR "/x17b2pavo";
  const std::string output = SingleOutput(single, scan);
  ASSERT_EQ(output.size(), 3U * 82U);

  const Snapshot before{{"a.dat", scan}};
  const std::string summary = "1 scan: 1 converted, 0 skipped, 0 failed\n";
  const auto check = [&](int exit, const std::string& err, const Snapshot& after) {
    return CheckBatchRun(c, Result(exit, "", err), before, after, single);
  };
  EXPECT_EQ(check(0, summary, {{"a.dat", scan}, {"a.pavo", output}}), std::vector<std::string>{});
  std::string changed = output;
  changed[170] = '7';
  EXPECT_FALSE(check(0, summary, {{"a.dat", scan}, {"a.pavo", changed}}).empty());
  EXPECT_FALSE(
      check(0, summary, {{"a.dat", scan}, {"a.pavo", output}, {".a.pavo.x1", ""}}).empty());
  EXPECT_FALSE(check(0, summary, {{"a.dat", scan + "x"}, {"a.pavo", output}}).empty());
  const std::string failed = "x17b2pavo-batch: a.dat: file not found\n";
  EXPECT_EQ(check(1, failed + "1 scan: 0 converted, 0 skipped, 1 failed\n", before),
            std::vector<std::string>{});
  EXPECT_FALSE(check(0, failed + "1 scan: 0 converted, 0 skipped, 1 failed\n", before).empty());
  EXPECT_FALSE(check(1, failed + summary, before).empty());  // a summary that miscounts
}

}  // namespace
}  // namespace x17b_stress
