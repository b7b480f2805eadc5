// Whole-program tests of x17b2pavo-batch: the bytes it writes, its failure lines, its options,
// and that it never leaves a partial or temporary file behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/batch_fixture.h"
#include "tests/convert_scan.h"
#include "tests/process_harness.h"
#include "tests/scan_pipe.h"

namespace convert_test {
namespace {

using x17b_test::FileExists;
using x17b_test::MakeFolder;
using x17b_test::ReadFileBytes;
using x17b_test::RemoveFile;
using x17b_test::RunOptions;
using x17b_test::RunResult;
using x17b_test::TempDir;
using x17b_test::Visible;
using x17b_test::WriteFileBytes;

// ---- The same bytes as x17b2pavo ----------------------------------------------------------------

// Scans of every kind the converter's tests use, converted by both programs into new files.
TEST(BatchBytesTest, OutputsAreTheBytesThatX17b2pavoWrites) {
  std::vector<std::string> scans;
  for (int n : {-9, -8, 0, 1, 10, 11, 25, 1000, 9999}) scans.push_back(RampScan(n));
  ScanHeader fields;
  fields.channels = "  12";
  fields.stamp = "-999 100  -5 -10   7  99 trailing";
  fields.title = "A title longer than forty columns: this part is not read";
  fields.scale = "         25 s";
  fields.coefficients = {"1234.5", "-0.001", "0.99999997", "1"};
  std::string crlf =
      JoinLines(ScanLines(fields, {"123", "12.5", "1.25E2", "1,5", "\t7", "", "  1 2", "-.5",
                                   "1.5D1", "2.5+1", "--1", "  3.0E9"}),
                "\r\n");
  scans.push_back(crlf.substr(0, crlf.size() - 2));  // no line end after the last value
  ScanHeader radix;
  radix.channels = " #10";
  radix.scale = "       0.5";
  scans.push_back(Scan(radix, ValueLinesWithoutPoint(16)));

  TempDir dir;
  std::vector<std::string> args = {"-q", "-o", "batch"};
  ASSERT_TRUE(MakeFolder(dir.File("batch")));
  for (std::size_t i = 0; i < scans.size(); ++i) {
    const std::string name = std::string("s").append(std::to_string(i)).append(".dat");
    WriteFileBytes(dir.File(name), scans[i]);
    args.push_back(name);
    RunOptions single;
    single.input = name + " single" + std::to_string(i) + ".pavo\n";
    single.workDir = dir.path();
    ASSERT_EQ(x17b_test::RunProgram(kProgram, single).exitCode, 0) << name;
  }
  const RunResult run = Batch(dir, args);
  EXPECT_EQ(run.exitCode, 0);
  // What x17b2pavo writes silently, the batch warns of.
  EXPECT_EQ(run.err,
            "x17b2pavo-batch: s0.dat:5: warning: -9 channels; the output holds no counts\n"
            "x17b2pavo-batch: s1.dat:5: warning: -8 channels; the output holds one record of "
            "zeros\n"
            "x17b2pavo-batch: s2.dat:5: warning: 0 channels; the output holds one record of zeros\n"
            "x17b2pavo-batch: s9.dat:41: warning: count 6000000000 does not fit its 8 columns; "
            "written as ********\n");
  EXPECT_EQ(run.out, "");
  for (std::size_t i = 0; i < scans.size(); ++i) {
    const std::string single = ReadFileBytes(dir.File("single" + std::to_string(i) + ".pavo"));
    EXPECT_EQ(Visible(ReadFileBytes(dir.File("batch/s" + std::to_string(i) + ".pavo"))),
              Visible(single))
        << "scan " << i;
  }
  EXPECT_EQ(Names(dir.File("batch")).size(), scans.size());
}

// ---- Failure lines ------------------------------------------------------------------------------

struct FailureCase {
  const char* name;
  std::string scan;  // the bytes of bad.dat
  std::string line;  // the failure line after "x17b2pavo-batch: "
};

void PrintTo(const FailureCase& c, std::ostream* os) {
  *os << c.name;
}

std::string WithValue(int index, const std::string& text, int n = 25) {
  std::vector<std::string> values = ValueLinesWithoutPoint(n);
  values[static_cast<std::size_t>(index)] = text;
  return Scan(ScanHeader{}, values);
}

std::string WithHeader(std::string ScanHeader::*field, const std::string& text) {
  ScanHeader header;
  header.*field = text;
  return Scan(header, ValueLinesWithoutPoint(25));
}

class BatchFailureTest : public testing::TestWithParam<FailureCase> {};

// A failed scan gets its line, with the scan line of the failing read, and leaves no file; the
// scans around it convert.
TEST_P(BatchFailureTest, FailedScanIsOneLineAndLeavesNothing) {
  const FailureCase& c = GetParam();
  TempDir dir;
  WriteFileBytes(dir.File("a.dat"), GoodScan());
  WriteFileBytes(dir.File("bad.dat"), c.scan);
  WriteFileBytes(dir.File("z.dat"), GoodScan());
  const RunResult run = Batch(dir, {"a.dat", "bad.dat", "z.dat"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(Visible(run.err), Visible("x17b2pavo-batch: " + c.line + "\n" + Summary(3, 2, 0, 1)));
  EXPECT_EQ(Names(dir.path()),
            (std::vector<std::string>{"a.dat", "a.pavo", "bad.dat", "z.dat", "z.pavo"}));
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, BatchFailureTest,
    testing::Values(
        FailureCase{"ShortHeader", "line 1\nline 2\n", "bad.dat:3: end of file encountered"},
        FailureCase{"EmptyFile", "", "bad.dat:1: end of file encountered"},
        FailureCase{"OneValueTooFew", Scan(ScanHeader{}, ValueLinesWithoutPoint(24)),
                    "bad.dat:54: end of file encountered"},
        FailureCase{"LettersInN", WithHeader(&ScanHeader::channels, "  2O"),
                    "bad.dat:5: invalid INTEGER \"2O\""},
        FailureCase{"ThirdCoefficientBeyondTheDoubleRange",
                    [] {
                      ScanHeader header;
                      header.coefficients[2] = "1.0E309";
                      return Scan(header, ValueLinesWithoutPoint(25));
                    }(),
                    "bad.dat:14: REAL indefinite ( uninitialized or previous error ) "
                    "\"1.0E309\""},
        FailureCase{"LettersInAValue", WithValue(12, "N/A"), "bad.dat:42: invalid REAL \"N/A\""},
        FailureCase{"CtrlZInAValue", WithValue(20, "  1\x1a"),
                    "bad.dat:50: end of file encountered"},
        FailureCase{"ScaledValueBeyondTheSingleRange",
                    [] {
                      ScanHeader header;
                      header.scale = "      10.0";
                      std::vector<std::string> values = ValueLinesWithoutPoint(25);
                      values[2] = "3.0E38";
                      return Scan(header, values);
                    }(),
                    "bad.dat:32: floating-point error: overflow"},
        FailureCase{"ScaledValueOfTenToTheNineteen", WithValue(24, "1.0E19"),
                    "bad.dat:54: floating-point error: invalid"},
        FailureCase{"BinaryNoise",
                    std::string("\x7f"
                                "ELF\x02\x01\x01\0\0\0\x03\x00>\x00",
                                14) +
                        std::string(40, '\xff'),
                    "bad.dat:2: end of file encountered"}),
    [](const testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

TEST(BatchFailureTest, ScansThatCannotBeOpened) {
  TempDir dir;
  ASSERT_TRUE(MakeFolder(dir.File("folder.dat")));
  const RunResult run = Batch(dir, {"missing.dat", "folder.dat", "", "nodir/x.dat"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err,
            "x17b2pavo-batch: missing.dat: file not found\n"
            "x17b2pavo-batch: folder.dat: access not allowed (is a directory)\n"
            "x17b2pavo-batch: : file not found\n"
            "x17b2pavo-batch: nodir/x.dat: file not found\n" +
                Summary(4, 0, 0, 4));
  EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"folder.dat"});
}

// What x17b2pavo writes without a word, the batch warns of, in the order of the scans, at most one
// line per scan and kind, also under -q: counts too wide for their columns (held at the 32-bit
// limit too), and channel counts of 0 or less. --strict fails those scans instead.
TEST(BatchWarningTest, WarningsOrUnderStrictFailures) {
  TempDir dir;
  std::vector<std::string> wide = ValueLinesWithoutPoint(25);
  wide[9] = "100000000";
  wide[12] = "-10000000";
  wide[20] = "123456789";
  WriteFileBytes(dir.File("wide.dat"), Scan(ScanHeader{}, wide));
  WriteFileBytes(dir.File("held.dat"), WithValue(0, "3.0E9"));
  ScanHeader zero;
  zero.channels = "   0";
  WriteFileBytes(dir.File("zero.dat"), Scan(zero, {}));
  ScanHeader none;
  none.channels = " -20";
  WriteFileBytes(dir.File("none.dat"), Scan(none, {}));
  WriteFileBytes(dir.File("good.dat"), GoodScan());
  const std::vector<std::string> scans = {"wide.dat", "held.dat", "good.dat", "zero.dat",
                                          "none.dat"};
  const std::string warnings =
      "x17b2pavo-batch: wide.dat:39: warning: count 100000000 does not fit its 8 columns; "
      "written as ******** (and 2 more)\n"
      "x17b2pavo-batch: held.dat:30: warning: count 3000000000 does not fit its 8 columns; "
      "written as ********\n"
      "x17b2pavo-batch: zero.dat:5: warning: 0 channels; the output holds one record of zeros\n"
      "x17b2pavo-batch: none.dat:5: warning: -20 channels; the output holds no counts\n";
  const std::string failures =
      "x17b2pavo-batch: wide.dat:39: count 100000000 does not fit its 8 columns (and 2 more); "
      "refused by --strict\n"
      "x17b2pavo-batch: held.dat:30: count 3000000000 does not fit its 8 columns; refused by "
      "--strict\n"
      "x17b2pavo-batch: zero.dat:5: 0 channels; refused by --strict\n"
      "x17b2pavo-batch: none.dat:5: -20 channels; refused by --strict\n";
  std::vector<std::string> args = {"-q"};
  args.insert(args.end(), scans.begin(), scans.end());
  RunResult run = Batch(dir, args);
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.err, warnings);
  args[0] = "-f";
  run = Batch(dir, args);
  EXPECT_EQ(run.err, warnings + Summary(5, 5, 0, 0, 4));
  for (const std::string& scan : scans) {
    ASSERT_TRUE(RemoveFile(dir.File(scan.substr(0, scan.size() - 4) + ".pavo")));
  }
  args[0] = "--strict";
  run = Batch(dir, args);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err, failures + Summary(5, 1, 0, 4));
  EXPECT_FALSE(HoldsTemporaryFile(dir.path()));
  EXPECT_EQ(Names(dir.path()).size(), scans.size() + 1);  // the scans and good.pavo
}

// --dry-run converts nothing and changes nothing: it shows what each scan would become and the
// failure lines a run would give, in the order of the scans.
TEST(BatchDryRunTest, ChecksEveryScanAndConvertsNothing) {
  TempDir dir;
  ASSERT_TRUE(MakeFolder(dir.File("out")));
  ASSERT_TRUE(MakeFolder(dir.File("sub")));
  ASSERT_TRUE(MakeFolder(dir.File("folder.dat")));
  for (const char* name : {"a.dat", "b.dat", "c.dat", "sub/a.dat"}) {
    WriteFileBytes(dir.File(name), GoodScan());
  }
  WriteFileBytes(dir.File("out/b.pavo"), GoodOutput());
  WriteFileBytes(dir.File("out/c.pavo"), "partial");
  const RunResult run = Batch(dir, {"--dry-run", "-n", "-o", "out", "a.dat", "b.dat", "c.dat",
                                    "sub/a.dat", "missing.dat", "folder.dat"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.out, "a.dat -> out/a.pavo\n");
  EXPECT_EQ(run.err,
            "x17b2pavo-batch: out/c.pavo: exists but is not a whole powder data file; -f "
            "replaces it\n"
            "x17b2pavo-batch: out/a.pavo: same output as a.dat\n"
            "x17b2pavo-batch: missing.dat: file not found\n"
            "x17b2pavo-batch: folder.dat: access not allowed (is a directory)\n"
            "6 scans: 1 to convert, 1 to skip, 4 failing\n");
  EXPECT_EQ(Names(dir.File("out")), (std::vector<std::string>{"b.pavo", "c.pavo"}));
  EXPECT_EQ(ReadFileBytes(dir.File("out/c.pavo")), "partial");
}

// ---- Existing outputs and collisions ------------------------------------------------------------

TEST(BatchOutputsTest, ExistingOutputFailsOrIsSkippedOrReplacedWhole) {
  TempDir dir;
  WriteFileBytes(dir.File("a.dat"), GoodScan());
  const std::string stale = std::string(20 * 82, 's');
  WriteFileBytes(dir.File("a.pavo"), stale);
  RunResult run = Batch(dir, {"a.dat"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err,
            "x17b2pavo-batch: a.pavo: exists; -f replaces it, -n skips it\n" + Summary(1, 0, 0, 1));
  EXPECT_EQ(ReadFileBytes(dir.File("a.pavo")), stale);

  // -n never takes a file that is not a whole powder data file for done.
  run = Batch(dir, {"-n", "a.dat"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(
      run.err,
      "x17b2pavo-batch: a.pavo: exists but is not a whole powder data file; -f replaces it\n" +
          Summary(1, 0, 0, 1));
  EXPECT_EQ(ReadFileBytes(dir.File("a.pavo")), stale);

  // Replaced by the rename: the old, longer file leaves nothing behind.
  run = Batch(dir, {"--force", "a.dat"});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.err, Summary(1, 1, 0, 0));
  EXPECT_EQ(ReadFileBytes(dir.File("a.pavo")), GoodOutput());
  EXPECT_EQ(Names(dir.path()), (std::vector<std::string>{"a.dat", "a.pavo"}));

  run = Batch(dir, {"-n", "a.dat"});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.err, Summary(1, 0, 1, 0));
}

struct AppearingCase {
  const char* name;
  const char* option;
  std::string appearing;  // the bytes of the output that appears while its scan converts
  int exitCode;
  std::string err;  // "OUTPUT" stands for the output's name
};

void PrintTo(const AppearingCase& c, std::ostream* os) {
  *os << c.name;
}

class BatchAppearingOutputTest : public testing::TestWithParam<AppearingCase> {};

// An output that appears while its scan is converted is judged as it would have been before the
// conversion: -n skips a whole one, any other stays and fails the scan; none is overwritten.
TEST_P(BatchAppearingOutputTest, OutputThatAppearsMeanwhileIsJudgedAsBefore) {
  const AppearingCase& c = GetParam();
  TempDir dir;
  ScanPipe slow{dir, "slow.dat"};
  RunOptions options;
  options.duringRun = [&](int) {
    if (!slow.Opened() || !HoldsTemporaryFile(dir.path())) return false;
    WriteFileBytes(dir.File(slow.Output()), c.appearing);
    slow.Write(GoodScan());
    slow.Close();
    return true;
  };
  const RunResult run = Batch(dir, {"-j1", c.option, "-o", ".", slow.name()}, options);
  std::string err = c.err;
  if (const std::size_t at = err.find("OUTPUT"); at != std::string::npos) {
    err.replace(at, 6, "./" + slow.Output());
  }
  EXPECT_EQ(run.err, err);
  EXPECT_EQ(run.exitCode, c.exitCode);
  EXPECT_EQ(ReadFileBytes(dir.File(slow.Output())), c.appearing);
  std::vector<std::string> names = Names(dir.path());
  std::erase(names, slow.name());  // the pipe, where it is in the folder
  EXPECT_EQ(names, std::vector<std::string>{slow.Output()});
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BatchAppearingOutputTest,
    testing::Values(
        AppearingCase{"WholeUnderSkip", "-n", GoodOutput(), 0, Summary(1, 0, 1, 0)},
        AppearingCase{"PartialUnderSkip", "-n", GoodOutput().substr(0, 100), 1,
                      "x17b2pavo-batch: OUTPUT: exists but is not a whole powder data file; -f "
                      "replaces it\n" +
                          Summary(1, 0, 0, 1)},
        AppearingCase{"WholeWithoutOption", "-q", GoodOutput(), 1,
                      "x17b2pavo-batch: OUTPUT: exists; -f replaces it, -n skips it\n"}),
    [](const testing::TestParamInfo<AppearingCase>& info) { return std::string(info.param.name); });

// A rerun with -n converts only what an interrupted or failed run left out.
TEST(BatchOutputsTest, RerunWithSkipExistingConvertsWhatIsMissing) {
  TempDir dir;
  WriteFileBytes(dir.File("a.dat"), GoodScan());
  WriteFileBytes(dir.File("b.dat"), "broken\n");
  ASSERT_EQ(Batch(dir, {"-q", "a.dat", "b.dat"}).exitCode, 1);
  WriteFileBytes(dir.File("b.dat"), GoodScan());
  const RunResult run = Batch(dir, {"-n", "a.dat", "b.dat"});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.err, Summary(2, 1, 1, 0));
  EXPECT_EQ(ReadFileBytes(dir.File("b.pavo")), ReadFileBytes(dir.File("a.pavo")));
}

// A scan that is the file behind standard input is only read. (Replacing never takes the file of
// a scan behind a link: batch_posix_test.cpp.)
TEST(BatchOutputsTest, ScanBehindStandardInputIsOnlyRead) {
  TempDir dir;
  WriteFileBytes(dir.File("t.dat"), GoodScan());
  RunOptions fromTheScan;
  fromTheScan.stdinPath = dir.File("t.dat");
  ASSERT_TRUE(MakeFolder(dir.File("out")));
  const RunResult run = Batch(dir, {"-q", "-o", "out", "t.dat"}, fromTheScan);
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(ReadFileBytes(dir.File("out/t.pavo")), GoodOutput());
  EXPECT_EQ(ReadFileBytes(dir.File("t.dat")), GoodScan());
}

TEST(BatchOutputsTest, CollidingOutputsFailTheLaterScanAndOverwriteNothing) {
  TempDir dir;
  const std::string scan = GoodScan();
  for (const char* name : {"a.dat", "a.raw", "x.pavo"}) WriteFileBytes(dir.File(name), scan);
  ASSERT_TRUE(MakeFolder(dir.File("sub")));
  WriteFileBytes(dir.File("sub/a.dat"), scan);
  const RunResult run = Batch(dir, {"a.dat", "a.raw", "./a.dat", "x.pavo", "-o", ".", "sub/a.dat"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err,
            "x17b2pavo-batch: ./a.pavo: same output as a.dat\n"
            "x17b2pavo-batch: ./a.pavo: same output as a.dat\n"
            "x17b2pavo-batch: ./x.pavo: would replace the scan x.pavo\n"
            "x17b2pavo-batch: ./a.pavo: same output as a.dat\n" +
                Summary(5, 1, 0, 4));
  EXPECT_EQ(ReadFileBytes(dir.File("x.pavo")), scan);
  EXPECT_EQ(Names(dir.path()),
            (std::vector<std::string>{"a.dat", "a.pavo", "a.raw", "sub", "x.pavo"}));
}

// Any character a file name may hold, a leading "-" after "--", and names that the record layer
// would otherwise take for devices or trim. (Windows' names hold no quote, and Windows reserves
// con and nul itself: windows_program_test.cpp.)
TEST(BatchOutputsTest, AnyFileNameIsTakenAsItIs) {
  TempDir dir;
  std::vector<std::string> stems = {"with blank", "it's",    "a,b",
                                    "bang!",      "at@home", "caf\xc3\xa9",
                                    " padded ",   "-dash",   "\xce\xa9\xe6\x97\xa5"};
#ifndef _WIN32
  stems.insert(stems.end(), {"\"quoted\"", "con", "nul"});
#endif
  std::vector<std::string> args = {"-q", "--"};
  for (const std::string& stem : stems) {
    WriteFileBytes(dir.File(stem + ".dat"), GoodScan());
    args.push_back(stem + ".dat");
  }
  const RunResult run = Batch(dir, args);
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.err, "");
  for (const std::string& stem : stems) {
    EXPECT_EQ(ReadFileBytes(dir.File(stem + ".pavo")), GoodOutput()) << stem;
  }
}

// ---- Jobs, progress, interruption ---------------------------------------------------------------

// Outputs, messages and summary do not depend on the number of workers.
TEST(BatchRunTest, OneWorkerAndFourGiveTheSameRun) {
  std::vector<std::string> args;
  TempDir one;
  TempDir four;
  for (int i = 0; i < 24; ++i) {
    const std::string name = std::string("s").append(std::to_string(i)).append(".dat");
    const std::string bytes =
        i % 5 == 3 ? WithValue(i % 25, "x" + std::to_string(i)) : RampScan(10 * i);
    WriteFileBytes(one.File(name), bytes);
    WriteFileBytes(four.File(name), bytes);
    args.push_back(name);
  }
  args.push_back("missing.dat");
  std::vector<std::string> argsOne = args;
  argsOne.insert(argsOne.begin(), {"-j", "1"});
  std::vector<std::string> argsFour = args;
  argsFour.insert(argsFour.begin(), "--jobs=4");
  const RunResult runOne = Batch(one, argsOne);
  const RunResult runFour = Batch(four, argsFour);
  EXPECT_EQ(runOne.exitCode, 1);
  EXPECT_EQ(runFour.exitCode, 1);
  EXPECT_EQ(runOne.err, runFour.err);
  EXPECT_NE(runOne.err.find(Summary(25, 19, 0, 6, 1)), std::string::npos) << runOne.err;
  ASSERT_EQ(Names(one.path()), Names(four.path()));
  for (const std::string& name : Names(one.path())) {
    EXPECT_EQ(ReadFileBytes(one.File(name)), ReadFileBytes(four.File(name))) << name;
  }
}

// Without a terminal there is no progress line unless --progress asks for one: then plain lines,
// the first at once, with the whole name, whatever its characters.
TEST(BatchProgressTest, WithoutATerminalProgressIsAPlainLineOnRequest) {
  TempDir dir;
  const std::string longName = "caf\xc3\xa9-" + std::string(40, 'x') + ".dat";
  WriteFileBytes(dir.File(longName), GoodScan());
  WriteFileBytes(dir.File("b.dat"), GoodScan());
  const std::string failure = "x17b2pavo-batch: missing.dat: file not found\n";
  RunResult run = Batch(dir, {"-f", longName, "missing.dat", "b.dat"});
  EXPECT_EQ(run.err, failure + Summary(3, 2, 0, 1));
  run = Batch(dir, {"-f", "--progress", longName, "missing.dat", "b.dat"});
  EXPECT_EQ(run.err, "[1/3] " + longName + "\n" + failure + Summary(3, 2, 0, 1));
}

// ---- The command line ---------------------------------------------------------------------------

struct UsageCase {
  std::vector<std::string> args;
  std::string err;
};

TEST(BatchCommandLineTest, UsageErrorsExitWithTwoAndAHint) {
  const std::vector<UsageCase> cases = {
      {{}, "no scan given"},
      {{"-q"}, "no scan given"},
      {{"-x", "a.dat"}, "invalid option -- 'x'"},
      {{"--frobnicate", "a.dat"}, "unrecognized option '--frobnicate'"},
      {{"a.dat", "-o"}, "option requires an argument -- 'o'"},
      {{"a.dat", "--jobs"}, "option '--jobs' requires an argument"},
      {{"-j", "0", "a.dat"}, "invalid number of jobs '0' (1 to 256)"},
      {{"--jobs=many", "a.dat"}, "invalid number of jobs 'many' (1 to 256)"},
      {{"-fn", "a.dat"}, "options -f and -n cannot be used together"},
      {{"--quiet=yes", "a.dat"}, "option '--quiet' doesn't allow an argument"},
      {{"-o", "nowhere", "a.dat"}, "'nowhere': no such folder"},
      {{"--output-dir=", "a.dat"}, "'': no such folder"},
#ifdef _WIN32
      {{"-o", "NUL", "a.dat"}, "'NUL' is not a folder"},
#else
      {{"-o", "/dev/null", "a.dat"}, "'/dev/null' is not a folder"},
#endif
      {{"-j", "1\n2", "a.dat"}, "invalid number of jobs '1?2' (1 to 256)"},
      {{"--f", "a.dat"}, "option '--f' is ambiguous"},
      {{"-"},
       "'-' is not a scan; to read the names of scans from standard input, use "
       "--files0-from=-"},
      {{"--files0-from=-", "a.dat"},
       "extra operand 'a.dat': scans cannot be given beside --files0-from"},
      {{"--files0-from", "nolist"}, "cannot read the list 'nolist': no such file"},
      {{"--files0-from", "."}, "cannot read the list '.': is a directory"},
  };
  TempDir dir;
  for (const UsageCase& c : cases) {
    const RunResult run = Batch(dir, c.args);
    EXPECT_EQ(run.exitCode, 2) << c.err;
    EXPECT_EQ(run.err, "x17b2pavo-batch: " + c.err + "\n" + kHint);
    EXPECT_EQ(run.out, "");
  }
  EXPECT_TRUE(Names(dir.path()).empty());
}

TEST(BatchCommandLineTest, HelpAndVersionGoToStandardOutput) {
  TempDir dir;
  RunResult run = Batch(dir, {"a.dat", "--help"});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out.substr(0, 43), "Usage: x17b2pavo-batch [OPTION]... SCAN...\n");
  EXPECT_NE(run.out.find("--skip-existing"), std::string::npos);
  EXPECT_EQ(run.err, "");
  for (const char* mention :
       {"--output-dir", "--force", "--skip-existing", "--jobs", "--quiet", "--files0-from",
        "--strict", "--dry-run", "--progress", "--no-sync", "--version",
        "x17b2pavo-batch -o out data/*.dat", "-print0 | x17b2pavo-batch --files0-from=- -n -o out",
        "man x17b2pavo-batch", "Report bugs to <"}) {
    EXPECT_NE(run.out.find(mention), std::string::npos) << mention;
  }
  run = Batch(dir, {"--version"});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out, "x17b2pavo-batch 1.0.0\n");
  // What they write must arrive.
#ifndef _WIN32
  RunOptions full;
  full.stdoutPath = "/dev/full";
  run = Batch(dir, {"--version"}, full);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err, "x17b2pavo-batch: write error: no space left on device\n");
#endif
  RunOptions closed;
  closed.closedStreams = {1};
  run = Batch(dir, {"--help"}, closed);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err, "x17b2pavo-batch: write error: standard output is closed\n");
}

// Any number of scans in one call, named in a list that find -print0 makes: any byte but NUL in
// a name, one collision check over the whole list, a place in the list for a name that cannot be
// a scan, and a last name without its NUL.
TEST(BatchCommandLineTest, ScansFromANulSeparatedList) {
  TempDir dir;
  ASSERT_TRUE(MakeFolder(dir.File("x")));
  ASSERT_TRUE(MakeFolder(dir.File("y")));
  ASSERT_TRUE(MakeFolder(dir.File("out")));
  // A line break in a name, where the system allows one.
#ifdef _WIN32
  const std::string odd = "new;line";
#else
  const std::string odd = "new\nline";
#endif
  for (const std::string& name :
       std::vector<std::string>{"x/run1.dat", "y/run1.dat", "with blank.dat", odd + ".dat"}) {
    WriteFileBytes(dir.File(name), GoodScan());
  }
  const std::string list =
      std::string("x/run1.dat\0with blank.dat\0\0y/run1.dat\0-\0", 40) + odd + ".dat";
  RunOptions fromInput;
  fromInput.input = list;
  const RunResult run = Batch(dir, {"-o", "out", "--files0-from=-"}, fromInput);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err,
            "x17b2pavo-batch: -:3: invalid zero-length file name\n"
            "x17b2pavo-batch: out/run1.pavo: same output as x/run1.dat\n"
            "x17b2pavo-batch: -:5: no scan may be named '-' in a list read from standard input\n" +
                Summary(6, 3, 0, 3));
  EXPECT_EQ(Names(dir.File("out")),
            (std::vector<std::string>{odd + ".pavo", "run1.pavo", "with blank.pavo"}));
  WriteFileBytes(dir.File("list"), "");
  EXPECT_EQ(Batch(dir, {"--files0-from", "list"}).err, Summary(0, 0, 0, 0));
#ifdef _WIN32
  EXPECT_EQ(Batch(dir, {"--files0-from", "NUL"}).err, Summary(0, 0, 0, 0));
#else
  EXPECT_EQ(Batch(dir, {"--files0-from", "/dev/null"}).err, Summary(0, 0, 0, 0));
#endif
}

}  // namespace
}  // namespace convert_test
