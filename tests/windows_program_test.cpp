// Whole-program tests of what only Windows has: names that Windows reserves for devices, one file
// behind names that differ in case, paths with backslashes, drive letters, \\?\ and more than 260
// characters, wildcards that the batch expands itself, workers that are the program started
// again, and Ctrl-C. Everything else runs unchanged on both systems (the other *_test.cpp files).
#include <windows.h>
// After windows.h:
#include <gtest/gtest.h>
#include <tlhelp32.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/batch_fixture.h"
#include "tests/convert_scan.h"
#include "tests/process_harness.h"
#include "tests/scan_pipe.h"

namespace convert_test {
namespace {

using x17b_test::FailureMessage;
using x17b_test::MakeFolder;
using x17b_test::ReadFileBytes;
using x17b_test::RunOptions;
using x17b_test::RunResult;
using x17b_test::TempDir;
using x17b_test::Visible;
using x17b_test::WriteFileBytes;

// The cause the batch gives for a name that Windows reserves for a device.
const std::string kReservedCause = "access not allowed (reserved for a device)";

// ---- x17b2pavo ----------------------------------------------------------------------------------

struct ConvertNamesCase {
  const char* name;
  std::string replies;
  std::string err;  // empty: the run converts into out.pavo
};

void PrintTo(const ConvertNamesCase& c, std::ostream* os) {
  *os << c.name;
}

class ConvertWindowsNamesTest : public testing::TestWithParam<ConvertNamesCase> {};

// One file by two names is one file whatever the case of its letters; names split at both
// separators.
TEST_P(ConvertWindowsNamesTest, NamesAsWindowsTakesThem) {
  const ConvertNamesCase& c = GetParam();
  TempDir dir;
  ASSERT_TRUE(MakeFolder(dir.File("sub")));
  const std::string scan = GoodScan();
  WriteFileBytes(dir.File("sub\\scan.dat"), scan);
  RunOptions options;
  options.input = c.replies;
  options.workDir = dir.path();
  const RunResult run = x17b_test::RunProgram(kProgram, options);
  EXPECT_EQ(Visible(run.err), Visible(c.err));
  EXPECT_EQ(run.exitCode, c.err.empty() ? 0 : 1);
  EXPECT_EQ(ReadFileBytes(dir.File("sub\\scan.dat")), scan);
  if (c.err.empty()) {
    EXPECT_EQ(ReadFileBytes(dir.File("sub\\out.pavo")), GoodOutput());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ConvertWindowsNamesTest,
    testing::Values(ConvertNamesCase{"BackslashesAndSlashes", "sub\\scan.dat sub/out.pavo\n", ""},
                    ConvertNamesCase{"OtherCaseIsTheSameFile", "sub\\scan.dat SUB\\SCAN.DAT\n",
                                     FailureMessage(6413, "OPEN", "SUB\\SCAN.DAT",
                                                    "file already connected to a different unit")},
                    ConvertNamesCase{"OtherSeparatorAndCase", "sub/scan.dat .\\Sub\\Scan.Dat\n",
                                     FailureMessage(6413, "OPEN", ".\\Sub\\Scan.Dat",
                                                    "file already connected to a different unit")},
                    ConvertNamesCase{
                        "MissingFolderWithBackslashes", "sub\\scan.dat nowhere\\out.pavo\n",
                        FailureMessage(6416, "OPEN", "nowhere\\out.pavo", "file not found")}),
    [](const testing::TestParamInfo<ConvertNamesCase>& info) {
      return std::string(info.param.name);
    });

// Whole names with a drive letter, as arguments, and a name relative to the drive's current
// folder (this one). (A name is cut at 259 characters, as on every system.)
TEST(ConvertWindowsNamesTest, DriveLetters) {
  TempDir dir;
  WriteFileBytes(dir.File("scan.dat"), GoodScan());
  ASSERT_EQ(dir.path()[1], ':');
  const std::string drive = dir.path().substr(0, 2);
  for (const std::string& output : {dir.File("out.pavo"), drive + "out.pavo"}) {
    RunOptions options;
    options.input = "\n\n";
    options.workDir = dir.path();
    options.args = {dir.File("scan.dat"), output};
    const RunResult run = x17b_test::RunProgram(kProgram, options);
    EXPECT_EQ(run.exitCode, 0) << Visible(run.err);
    EXPECT_EQ(ReadFileBytes(dir.File("out.pavo")), GoodOutput()) << output;
    ASSERT_TRUE(x17b_test::RemoveFile(dir.File("out.pavo")));
  }
}

// ---- x17b2pavo-batch: names
// -----------------------------------------------------------------------

// Names that Windows reserves for devices, with any extension and in any case, are no scans and
// no outputs: each fails with its cause, and nothing is written to a device.
TEST(BatchWindowsNamesTest, ReservedDeviceNamesAreRefused) {
  TempDir dir;
  WriteFileBytes(dir.File("good.dat"), GoodScan());
  const std::vector<std::string> reserved = {"con.dat",  "NUL.dat",      "aux.dat",
                                             "Com1.dat", "lpt1.dat",     "prn.x.dat",
                                             "nul",      "sub\\CON.dat", "conin$.dat"};
  std::vector<std::string> args = {"-o", "out", "good.dat"};
  args.insert(args.end(), reserved.begin(), reserved.end());
  ASSERT_TRUE(MakeFolder(dir.File("out")));
  ASSERT_TRUE(MakeFolder(dir.File("sub")));
  const RunResult run = Batch(dir, args);
  EXPECT_EQ(run.exitCode, 1);
  std::string expected;
  for (const std::string& name : reserved) {
    expected += "x17b2pavo-batch: " + name + ": " + kReservedCause + "\n";
  }
  EXPECT_EQ(run.err, expected + Summary(static_cast<int>(reserved.size()) + 1, 1, 0,
                                        static_cast<int>(reserved.size())));
  EXPECT_EQ(Names(dir.File("out")), std::vector<std::string>{"good.pavo"});
}

// Outputs whose names differ only in case are one file: the later scan fails as for one name, and
// an output that is a scan by another case is never replaced. A folder given with backslashes and
// a drive letter, or as \\?\, is the same folder.
TEST(BatchWindowsNamesTest, NamesDifferingInCaseAreOneFile) {
  TempDir dir;
  for (const char* folder : {"x", "y", "out"}) ASSERT_TRUE(MakeFolder(dir.File(folder)));
  WriteFileBytes(dir.File("x\\a.dat"), GoodScan());
  WriteFileBytes(dir.File("y\\A.dat"), GoodScan());
  RunResult run = Batch(dir, {"-o", "out", "x\\a.dat", "y\\A.dat"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err,
            "x17b2pavo-batch: out/A.pavo: same output as x\\a.dat\n" + Summary(2, 1, 0, 1));
  EXPECT_EQ(Names(dir.File("out")), std::vector<std::string>{"a.pavo"});

  const std::string scan = RampScan(30);
  WriteFileBytes(dir.File("t.pavo"), scan);
  WriteFileBytes(dir.File("t.dat"), GoodScan());
  run = Batch(dir, {"-f", "T.PAVO", "t.dat"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(ReadFileBytes(dir.File("t.pavo")), scan);
  EXPECT_NE(run.err.find("would replace the scan T.PAVO"), std::string::npos) << run.err;

  run = Batch(dir, {"-q", "-o", dir.File("OUT"), "-n", "\\\\?\\" + dir.File("x\\a.dat")});
  EXPECT_EQ(run.exitCode, 0) << run.err;
}

// The output's name is the scan's last name part, after a backslash, a slash or a drive's colon.
TEST(BatchWindowsNamesTest, OutputNamesAfterEitherSeparatorOrADrive) {
  TempDir dir;
  ASSERT_TRUE(MakeFolder(dir.File("sub")));
  ASSERT_TRUE(MakeFolder(dir.File("out")));
  for (const char* name : {"sub\\b.dat", "sub\\c.dat", "d.dat", "e.dat"}) {
    WriteFileBytes(dir.File(name), GoodScan());
  }
  const std::string drive = dir.path().substr(0, 2);  // "C:": this folder is its current folder
  const RunResult run = Batch(dir, {"-q", "-o", "out", "sub\\b.dat", "sub/c.dat", drive + "d.dat",
                                    "\\\\?\\" + dir.File("e.dat")});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(Names(dir.File("out")),
            (std::vector<std::string>{"b.pavo", "c.pavo", "d.pavo", "e.pavo"}));
  for (const std::string& name : Names(dir.File("out"))) {
    EXPECT_EQ(ReadFileBytes(dir.File("out\\" + name)), GoodOutput()) << name;
  }
}

// Folders and names beyond 260 characters, the temporary files' included.
TEST(BatchWindowsNamesTest, PathsLongerThan260Characters) {
  TempDir dir;
  std::string deep = dir.path();
  while (deep.size() < 400) deep += "\\" + std::string(100, 'd');
  ASSERT_TRUE(std::filesystem::create_directories(
      std::filesystem::path(L"\\\\?\\" + std::filesystem::path(deep).wstring())));
  const std::string longStem(200, 's');
  WriteFileBytes("\\\\?\\" + deep + "\\" + longStem + ".dat", GoodScan());
  const RunResult run = Batch(dir, {"-q", deep + "\\" + longStem + ".dat"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(ReadFileBytes("\\\\?\\" + deep + "\\" + longStem + ".pavo"), GoodOutput());
  EXPECT_FALSE(HoldsTemporaryFile("\\\\?\\" + deep));
}

// ---- x17b2pavo-batch: wildcards
// -------------------------------------------------------------------

struct WildcardCase {
  const char* name;
  std::string commandLine;  // after "-o out", as typed
  std::string err;          // the failure lines, in the order of the scans after expansion
  std::vector<std::string> outputs;
};

void PrintTo(const WildcardCase& c, std::ostream* os) {
  *os << c.name;
}

class BatchWildcardTest : public testing::TestWithParam<WildcardCase> {};

// Windows leaves wildcards to the program: the batch expands * and ? in unquoted scan arguments,
// sorted by name; a pattern that matches nothing, and a quoted one, stay names.
TEST_P(BatchWildcardTest, UnquotedPatternsAreExpandedSortedByName) {
  const WildcardCase& c = GetParam();
  TempDir dir;
  for (const char* folder : {"out", "sub"}) ASSERT_TRUE(MakeFolder(dir.File(folder)));
  // bad*.dat fail, so that their lines show the order of the scans.
  for (const char* name : {"bad2.dat", "bad10.dat", "bad1.dat"}) {
    WriteFileBytes(dir.File(name), "broken\n");
  }
  for (const char* name : {"s1.dat", "s2.dat", "s10.dat", "sub\\x.dat", "notes.txt"}) {
    WriteFileBytes(dir.File(name), GoodScan());
  }
  RunOptions options;
  options.commandLine = "-o out " + c.commandLine;
  const RunResult run = Batch(dir, {}, options);
  EXPECT_EQ(run.err, c.err) << c.commandLine;
  EXPECT_EQ(Names(dir.File("out")), c.outputs) << c.commandLine;
}

const std::string kBroken = ":2: end of file encountered\n";
// A name left with its wildcards is no name Windows' files can have.
const std::string kInvalidName = ": file not found (not a valid file name)\n";

INSTANTIATE_TEST_SUITE_P(
    Patterns, BatchWildcardTest,
    testing::Values(
        WildcardCase{"Star",
                     "-q bad*.dat",
                     "x17b2pavo-batch: bad1.dat" + kBroken + "x17b2pavo-batch: bad10.dat" +
                         kBroken + "x17b2pavo-batch: bad2.dat" + kBroken,
                     {}},
        WildcardCase{"QuestionMark", "-q s?.dat", "", {"s1.pavo", "s2.pavo"}},
        WildcardCase{"InAFolder", "-q sub\\*.dat", "", {"x.pavo"}},
        WildcardCase{"MatchingNothingStaysAName",
                     "-q none*.dat s1?.dat",
                     "x17b2pavo-batch: none*.dat" + kInvalidName,
                     {"s10.pavo"}},
        WildcardCase{"QuotedStaysAName",
                     "-q \"s*.dat\" s1.dat",
                     "x17b2pavo-batch: s*.dat" + kInvalidName,
                     {"s1.pavo"}},
        WildcardCase{"AfterTheEndOfOptions", "-q -- s1*.dat", "", {"s1.pavo", "s10.pavo"}}),
    [](const testing::TestParamInfo<WildcardCase>& info) { return std::string(info.param.name); });

// ---- x17b2pavo-batch: workers and Ctrl-C --------------------------------------------------------

// The executable file of a running process, without its folder.
std::wstring ImageOf(int pid) {
  std::wstring image;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot, &entry); more;
       more = Process32NextW(snapshot, &entry)) {
    if (entry.th32ProcessID == static_cast<DWORD>(pid)) image = entry.szExeFile;
  }
  CloseHandle(snapshot);
  return image.substr(image.find_last_of(L"\\/") + 1);
}

// The workers are the batch program itself started again, as many as -j asks for. The second pipe
// is named with slashes, as Windows takes it too; looking at it must not take its one instance.
TEST(BatchWindowsWorkerTest, WorkersAreTheProgramStartedAgain) {
  TempDir dir;
  ScanPipe first{dir, "p1.dat"};
  ScanPipe second{dir, "p2.dat"};
  std::vector<std::wstring> images;
  RunOptions options;
  options.duringRun = [&](int pid) {
    if (!first.Opened() || !second.Opened()) return false;
    for (int worker : x17b_test::ChildProcesses(pid)) images.push_back(ImageOf(worker));
    for (ScanPipe* pipe : {&first, &second}) {
      pipe->Write(GoodScan());
      pipe->Close();
    }
    return true;
  };
  std::string slashed = second.name();
  std::replace(slashed.begin(), slashed.end(), '\\', '/');
  const RunResult run = Batch(dir, {"-q", "-j", "2", "-o", ".", first.name(), slashed}, options);
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(images, (std::vector<std::wstring>{L"x17b2pavo-batch.exe", L"x17b2pavo-batch.exe"}));
}

// Ctrl-C ends the run as Windows ends a program on Ctrl-C (STATUS_CONTROL_C_EXIT), like SIGINT on
// POSIX: no temporary file stays, and the outputs counted as converted stay whole.
TEST(BatchWindowsStopTest, CtrlCEndsTheRunAndLeavesNoTemporaryFile) {
  ASSERT_TRUE(x17b_test::AttachConsoleForCtrlC());
  TempDir dir;
  ASSERT_TRUE(MakeFolder(dir.File("out")));
  WriteFileBytes(dir.File("a.dat"), GoodScan());
  ScanPipe slow{dir, "slow.dat"};
  bool sent = false;
  RunOptions options;
  options.timeoutSeconds = 10;
  options.duringRun = [&](int) {
    if (!slow.Opened() || !HoldsTemporaryFile(dir.File("out"))) return false;
    slow.Write(GoodScanHead());
    sent = x17b_test::SendCtrlC();
    return true;
  };
  const RunResult run = Batch(dir, {"-j", "2", "-o", "out", "a.dat", slow.name()}, options);
  EXPECT_TRUE(sent);
  EXPECT_FALSE(run.timedOut);
  EXPECT_EQ(static_cast<unsigned>(run.exitCode), 0xC000013AU);
  EXPECT_FALSE(HoldsTemporaryFile(dir.File("out")));
  for (const std::string& name : Names(dir.File("out"))) {
    EXPECT_EQ(ReadFileBytes(dir.File("out\\" + name)), GoodOutput()) << name;
  }
}

}  // namespace
}  // namespace convert_test
