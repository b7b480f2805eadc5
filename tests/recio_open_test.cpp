// Whole runs of the record layer that open and close units: the keywords, the failures of an
// open, device names, file names of any length and byte, and files that may not be written.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/process_harness.h"
#include "tests/recio_probe_fixture.h"

namespace {

using x17b_test::Bytes;
using x17b_test::FileExists;
using x17b_test::Hex;
using x17b_test::InputKind;
using x17b_test::kStopLine;
using x17b_test::ProbeRun;
using x17b_test::ReadFileBytes;
using x17b_test::Visible;
using x17b_test::WriteFileBytes;

using RecioOpenTest = x17b_test::RecioProbeTest;
using RecioDeviceTest = x17b_test::RecioProbeTest;
using RecioFileNameTest = x17b_test::RecioProbeTest;
using RecioPermissionTest = x17b_test::RecioProbeTest;

// ---- Keywords and failures ----------------------------------------------------------------------

TEST_F(RecioOpenTest, KeywordTextsAreTrimmedAndCaseBlind) {
  WriteFileBytes(dir_.File("in.txt"), "x\n");
  ProbeRun run =
      Run("open 1 in.txt status=oLd mode=read share=denywr blank=zero blocksize=700\n"
          "read 1");
  EXPECT_EQ(run.log, "open 1 status=0\nread status=0 [x]\n");
}

TEST_F(RecioOpenTest, EveryIllegalKeywordValueHasItsNumber) {
  struct Case {
    std::string keyword;
    int number;
    std::string text;
  };
  std::vector<Case> cases = {
      {"status=OLDER", 6304, "illegal STATUS value"}, {"mode=RW", 6305, "illegal MODE value"},
      {"access=KEYED", 6306, "illegal ACCESS value"}, {"blank=ONE", 6307, "illegal BLANK value"},
      {"form=PRINT", 6308, "illegal FORM value"},     {"share=ALL", 6309, "illegal SHARE value"},
      {"recl=0", 6313, "illegal RECL value"}};
  std::string script;
  std::string expected;
  for (const Case& c : cases) {
    script += "open 9 f.txt " + c.keyword + " ?\n";
    expected += "open 9 status=" + std::to_string(c.number) + "\n";
  }
  ProbeRun run = Run(script);
  EXPECT_EQ(run.log, expected);
  ProbeRun failing = Run("open 9 f.txt mode=RW");
  ExpectFailure(failing, 6305, "OPEN", "f.txt", "illegal MODE value");
}

TEST_F(RecioOpenTest, OpenFailuresOfThePlatform) {
  ASSERT_TRUE(x17b_test::MakeFolder(dir_.File("adir")));
  WriteFileBytes(dir_.File("there.txt"), "x");
  ProbeRun run = Run(
      "open 1 missing.dat status=old ?\nopen 1 there.txt status=new ?\nopen 1 adir ?\nopen 1 "
      "adir mode=read ?\nopen 1 PRN ?\nopen 1 lpt1.txt ?\nopen 1 con.txt access=direct ?\nopen 1 "
      "CON form=unformatted ?\nopen 1 named status=scratch ?\ninquire 1");
  EXPECT_EQ(run.log,
            "open 1 status=6416\nopen 1 status=6415\nopen 1 status=6414\nopen 1 "
            "status=6414\nopen 1 status=6414\nopen 1 status=6414\nopen 1 status=6202\nopen 1 "
            "status=6202\nopen 1 status=6301\ninquire 1 no\n");
  EXPECT_FALSE(x17b_test::FileExists(dir_.File("named")));
}

// The devices that the record layer refuses, with or without an extension where the name keeps
// its meaning with one; none becomes a file.
TEST_F(RecioOpenTest, RefusedDeviceNames) {
  std::string script;
  std::string expected;
  for (const char* name : {"PRN", "lpt1", "LPT2.dat", "lpt3", "LPT4.x", "COM1", "com1.txt", "AUX",
                           "aux.dat", "LINE", "prn.pavo"}) {
    script += std::string("open 1 ") + name + " ?\n";
    expected += "open 1 status=6414\n";
  }
  ProbeRun run = Run(script + "inquire 1");
  EXPECT_EQ(run.log, expected + "inquire 1 no\n");
  EXPECT_TRUE(DirectoryNames().empty());
  // The message names the device without its extension.
  ExpectFailure(Run("open 1 Com1.dat"), 6414, "OPEN", "Com1", "access not allowed");
}

TEST_F(RecioOpenTest, MissingFileMessageNamesTheOpen) {
  ProbeRun run = Run("open 1 scan.dat status=old");
  ExpectFailure(run, 6416, "OPEN", "scan.dat", "file not found");
  EXPECT_EQ(run.result.out, "");
}

TEST_F(RecioOpenTest, SameFileOnTwoUnits) {
  WriteFileBytes(dir_.File("scan.dat"), "x\n");
  const std::string folder = dir_.path().substr(dir_.path().find_last_of("/\\") + 1);
#ifdef _WIN32
  const std::string fresh = "..\\" + folder + "\\FRESH.dat";  // the other separator and case
#else
  const std::string fresh = "../" + folder + "/fresh.dat";
#endif
  ProbeRun run =
      Run("open 1 scan.dat status=old\nopen 2 ./scan.dat ?\nopen 3 SCAN.DAT ?\n"
          "open 4 fresh.dat\nopen 5 " +
          fresh + " ?\nopen 1 scan.dat");
  // One file by two spellings is refused; names differing in case are two files on POSIX and one
  // on Windows. Re-opening the same unit on its own file changes nothing.
#ifdef _WIN32
  const std::string otherCase = "open 3 status=6413\n";
#else
  const std::string otherCase = "open 3 status=0\n";
#endif
  EXPECT_EQ(run.log, "open 1 status=0\nopen 2 status=6413\n" + otherCase +
                         "open 4 status=0\nopen 5 status=6413\nopen 1 status=0\n");
  ProbeRun failing = Run("open 1 scan.dat status=old\nopen 2 scan.dat");
  ExpectFailure(failing, 6413, "OPEN", "scan.dat", "file already connected to a different unit");
}

TEST_F(RecioOpenTest, ReopeningAUnitWithAnotherRecordKindIsAMismatch) {
  ProbeRun run =
      Run("open 2 o.dat\nopen 2 o.dat access=direct form=formatted recl=80 ?\n"
          "open 2 p.dat ?\ninquire 2");
  EXPECT_EQ(run.log, "open 2 status=0\nopen 2 status=6209\nopen 2 status=0\ninquire 2 yes\n");
}

TEST_F(RecioOpenTest, FailedReopenLeavesTheUnitClosedUnlessAnotherUnitHoldsTheFile) {
  WriteFileBytes(dir_.File("c.txt"), "c\n");
  ProbeRun run =
      Run("open 1 a.txt\nopen 1 missing status=old ?\ninquire 1\nopen 3 c.txt\n"
          "open 4 d.txt\nopen 3 d.txt ?\nread 3");
  // The other unit's file is refused before the unit's own connection is touched.
  EXPECT_EQ(run.log,
            "open 1 status=0\nopen 1 status=6416\ninquire 1 no\nopen 3 status=0\nopen 4 "
            "status=0\nopen 3 status=6413\nread status=0 [c]\n");
}

TEST_F(RecioOpenTest, SixtySecondConnectionIsRefused) {
  std::string script;
  for (int unit = 100; unit < 161; ++unit) {
    script += "open " + std::to_string(unit) + " f" + std::to_string(unit) + "\n";
  }
  script += "open 99 one-too-many ?\nopen 99 NUL ?\nclose 100\nopen 99 now-fits ?";
  ProbeRun run = Run(script);
  std::string expectedTail =
      "open 99 status=6418\nopen 99 status=6418\nclose 100 status=0\nopen 99 status=0\n";
  ASSERT_GE(run.log.size(), expectedTail.size());
  EXPECT_EQ(run.log.substr(run.log.size() - expectedTail.size()), expectedTail);
  EXPECT_FALSE(x17b_test::FileExists(dir_.File("one-too-many")));
}

TEST_F(RecioOpenTest, KeepIsIllegalForAScratchFile) {
  ProbeRun run = Run("open 7 -\nclose 7 keep ?\nclose 7 sideways ?\nclose 7 ?");
  EXPECT_EQ(run.log,
            "open 7 status=0\nclose 7 status=6300\nclose 7 status=6304\nclose 7 status=0\n");
}

// ---- Device names -------------------------------------------------------------------------------

TEST_F(RecioDeviceTest, DevicesNulAndErr) {
  ProbeRun run =
      Run("open 8 NUL\nopen 9 nul.dat\nwrite 8 A into nothing\nread 9 ?\nopen 10 err\n"
          "write 10 1XA to standard error\nclose 10\nwrite * 1XA out\nstop");
  EXPECT_EQ(run.log, "open 8 status=0\nopen 9 status=0\nread status=-1 [" + std::string(132, '#') +
                         "]\nopen 10 status=0\nclose 10 status=0\n");
  EXPECT_EQ(Visible(run.result.err), Visible("to standard error\r\n"));
  EXPECT_EQ(Visible(run.result.out), Visible("out\r\n" + kStopLine + "\r\n"));
}

TEST_F(RecioDeviceTest, DeviceNameLosesItsExtension) {
  ProbeRun run = Run("open 9 nul.dat\nread 9");
  ExpectFailure(run, 6501, "READ", "nul", "end of file encountered");
}

TEST_F(RecioDeviceTest, DeleteOnADeviceUnitNeverRemovesAFileOfThatName) {
  std::vector<std::string> names = {"err", "user"};
#ifndef _WIN32
  names.push_back("nul.dat");  // Windows itself takes this name for its null device
#endif
  std::string script;
  for (const std::string& name : names) {
    WriteFileBytes(dir_.File(name), "keep " + name + "\n");
    script += "open 8 " + name + "\nclose 8 delete ?\n";
  }
  ProbeRun run = Run(script + "stop");
  for (const std::string& name : names) {
    EXPECT_EQ(ReadFileBytes(dir_.File(name)), "keep " + name + "\n");
  }
  EXPECT_EQ(run.result.exitCode, 0);
}

// ---- File names ---------------------------------------------------------------------------------

TEST_F(RecioFileNameTest, NamesLongerThan259CharactersAreCutBeforeTheirBlanksAreDropped) {
  ASSERT_TRUE(x17b_test::MakeFolder(dir_.File("sub")));
  std::string cut = "sub/" + std::string(255, 'n');
  std::string blanksFirst = "     sub/" + std::string(255, 'm');
  ProbeRun run = Run("openx 1 " + Hex(cut + std::string(41, 'X')) + " status=new ?\nopenx 2 " +
                         Hex(blanksFirst) + " status=new ?",
                     "", InputKind::kPipe);
  EXPECT_EQ(run.log, "open 1 status=0\nopen 2 status=0\n");
  EXPECT_TRUE(FileExists(dir_.File(cut)));
  EXPECT_TRUE(FileExists(dir_.File("sub/" + std::string(250, 'm'))));

  ProbeRun fromArgument =
      Run("open 3 _", "", InputKind::kPipe, {"sub/" + std::string(255, 'a') + "TAIL"});
  EXPECT_EQ(fromArgument.result.out, "");
  EXPECT_TRUE(FileExists(dir_.File("sub/" + std::string(255, 'a'))));

  ProbeRun missing = Run("openx 4 " + Hex("nodir/" + std::string(300, 'q')) + " status=old");
  ExpectFailure(missing, 6416, "OPEN", "nodir/" + std::string(253, 'q'), "file not found");
}

TEST_F(RecioFileNameTest, AnyByteInANameGivesAStatusAndNeverACrash) {
  std::string control = "\x01\x02\x1b\r\n\x7f\xff";
  ProbeRun run = Run("openx 1 " + Hex(Bytes(1, 255)) + " status=old ?\nopenx 2 " +
                     Hex(std::string("a\0b", 3)) + " ?\nopenx 3 " + Hex(control) +
                     " status=new ?\nclose 3\nstop");
  // The first name holds a "/" behind a directory that does not exist. A NUL cannot reach the
  // platform, so the name is refused, whatever the reason given.
  std::size_t second = run.log.find("open 2 status=");
  ASSERT_NE(second, std::string::npos) << run.log;
  EXPECT_EQ(run.log.substr(0, second), "open 1 status=6416\n");
  EXPECT_NE(run.log.substr(second, 16), "open 2 status=0\n") << run.log;
#ifdef _WIN32
  // Windows' names hold no control character: refused like a name that is not there.
  EXPECT_EQ(run.log.substr(run.log.find("open 3")), "open 3 status=6416\nclose 3 status=0\n");
  EXPECT_TRUE(DirectoryNames().empty());
#else
  EXPECT_EQ(run.log.substr(run.log.find("open 3")), "open 3 status=0\nclose 3 status=0\n");
  EXPECT_TRUE(FileExists(dir_.File(control)));
#endif
  EXPECT_EQ(run.result.exitCode, 0);
}

// ---- Permissions --------------------------------------------------------------------------------

}  // namespace
