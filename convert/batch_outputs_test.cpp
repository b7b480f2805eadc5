// Tests of where x17b2pavo-batch writes: colliding outputs found by comparing names, never by a
// hash alone, and the judgement of an existing output as a whole powder data file.
#include "convert/batch_outputs.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "convert/batch_scan.h"
#include "tests/by_system.h"

namespace convert::batch {
namespace {

using x17b_test::BySystem;
using x17b_test::kWindows;

uint64_t EveryKeyCollides(std::string_view) {
  return 0;
}

// Whatever the hash does, two scans share an output exactly when their outputs are one name: a
// bucket holding several different outputs is sorted out by the names themselves.
TEST(ConflictFinderTest, SharedOutputsAreFoundByTheirNamesWhateverTheHash) {
  const std::vector<std::string_view> scans = {"X.dat", "Y.dat",       "sub/Y.dat",
                                               "Z.raw", "other/X.dat", "Y.dat"};
  for (KeyHash hash : {&DefaultKeyHash, &EveryKeyCollides}) {
    const ConflictFinder finder{scans, "/no/such/output/folder", true, hash};
    std::vector<std::pair<uint32_t, uint32_t>> shared;
    for (uint32_t i = 0; i < scans.size(); ++i) {
      const Conflict conflict = finder.Of(i);
      EXPECT_NE(conflict.kind, Conflict::Kind::kOutputIsAScan) << scans[i];
      if (conflict.kind == Conflict::Kind::kSameOutput) shared.emplace_back(i, conflict.other);
    }
    const std::vector<std::pair<uint32_t, uint32_t>> expected = {{2, 1}, {4, 0}, {5, 1}};
    EXPECT_EQ(shared, expected) << (hash == &EveryKeyCollides ? "every key collides" : "hash");
  }
}

// Folders end at the system's separators: on Windows "\" and a drive's ":" too. The output folder
// gets "/", as on POSIX, unless it ends in a separator or is a drive alone.
TEST(OutputPathTest, TheOutputIsTheStemInItsFolderBySystem) {
  struct Row {
    std::string_view scan;
    std::string_view outputDir;
    BySystem<std::string> output;
  };
  for (const Row& row : std::vector<Row>{
           {"data/run1.dat", "", {"data/run1.pavo", "data/run1.pavo"}},
           {"run1.raw.dat", "out", {"out/run1.raw.pavo", "out/run1.raw.pavo"}},
           {".hidden", "out/", {"out/.hidden.pavo", "out/.hidden.pavo"}},
           {"data\\run1.dat", "out", {"out/data\\run1.pavo", "out/run1.pavo"}},
           {"C:run1.dat", "out\\", {"out\\/C:run1.pavo", "out\\run1.pavo"}},
           {"C:run1.dat", "", {"C:run1.pavo", "C:run1.pavo"}},
           {"run1.dat", "D:", {"D:/run1.pavo", "D:run1.pavo"}},
           {"\\\\server\\share\\run1.dat",
            "",
            {"\\\\server\\share\\run1.pavo", "\\\\server\\share\\run1.pavo"}},
       }) {
    EXPECT_EQ(OutputPath(row.scan, row.outputDir), row.output.here()) << row.scan;
  }
  EXPECT_EQ(FolderOf("data\\run1.dat"), kWindows ? "data\\" : ".");
  EXPECT_EQ(TemporaryPath("out\\a.pavo", 7, 0).find("out\\."), kWindows ? 0 : std::string::npos);
}

// Where the file system ignores case (Windows), "a.dat" and "A.dat" write one output; a scan
// named "X.PAVO" is its own output and that of "x.dat"; and "y.pavo." is the file "y.pavo".
TEST(ConflictFinderTest, OutputsCollideAsTheFileSystemComparesNames) {
  const std::vector<std::string_view> scans = {"a.dat", "A.dat", "b.dat",  "X.PAVO",
                                               "x.dat", "y.dat", "y.pavo."};
  const ConflictFinder finder{scans, "", false};
  using Pairs = std::vector<std::pair<uint32_t, uint32_t>>;
  Pairs shared;
  Pairs scansReplaced;
  for (uint32_t i = 0; i < scans.size(); ++i) {
    const Conflict conflict = finder.Of(i);
    if (conflict.kind == Conflict::Kind::kSameOutput) shared.emplace_back(i, conflict.other);
    if (conflict.kind == Conflict::Kind::kOutputIsAScan) {
      scansReplaced.emplace_back(i, conflict.other);
    }
  }
  EXPECT_EQ(shared, (BySystem<Pairs>{{}, {{1, 0}}}.here()));
  EXPECT_EQ(scansReplaced, (BySystem<Pairs>{{}, {{3, 3}, {4, 3}, {5, 6}}}.here()));
}

// A name that Windows keeps for a device, as a scan or as its output, would reach the device: the
// batch refuses it before any worker sees it. POSIX has no such names.
TEST(DeviceNameTest, ScansAndOutputsNamedForADeviceAreRefusedWhereTheSystemHasThem) {
  Options options;
  options.scans = {"run1.dat", "con.dat", "data/NUL", "aux.tar.gz", "com1.", "console.dat"};
  options.outputDir = "out";
  const ConflictFinder finder{options.scans, options.outputDir, false};
  std::vector<uint32_t> refused;
  for (uint32_t i = 0; i < options.scans.size(); ++i) {
    const std::optional<ScanOutcome> outcome = RefusedByTheBatch(options, finder, i);
    if (!outcome) continue;
    refused.push_back(i);
    EXPECT_EQ(outcome->kind, ScanOutcome::Kind::kScanFailed) << options.scans[i];
    EXPECT_EQ(outcome->status, 6414) << options.scans[i];
    EXPECT_EQ(outcome->cause, platform::Error::kDeviceName) << options.scans[i];
  }
  EXPECT_EQ(refused, (BySystem<std::vector<uint32_t>>{{}, {1, 2, 3, 4}}.here()));
}

// A slot: 80 columns and CR LF.
std::string Slot(std::string text) {
  text.resize(80, ' ');
  return text + "\r\n";
}

std::string Bank(const char* channelsAndRecords) {
  return Slot(std::string("BANK 1") + channelsAndRecords + " EDS");
}

TEST(WholePowderFileTest, WholeRecordsAndAtLeastTheDeclaredCountRecords) {
  const std::string title = Slot("title");
  const std::string counts = Slot("       1       2");
  struct Case {
    const char* name;
    std::string bytes;
    bool whole;
  };
  const std::vector<Case> cases = {
      {"three declared, three there", title + Bank("   25    3") + counts + counts + counts, true},
      {"more records than declared", title + Bank("   11    2") + counts + counts + counts, true},
      {"none declared (N of -9)", title + Bank("   -9    0"), true},
      {"one record short", title + Bank("   25    3") + counts + counts, false},
      {"empty", "", false},
      {"title alone", title, false},
      {"cut inside a record", (title + Bank("    1    1") + counts).substr(0, 3 * 82 - 1), false},
      {"a record without CR LF", title + Bank("    1    1") + std::string(82, 'x'), false},
      {"no bank record", title + Slot("BANK 2    1    1") + counts, false},
      {"asterisks for the count", title + Bank("*****    1") + counts, true},
      {"asterisks for the records", title + Bank("    1*****") + counts, false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsWholePowderFile(c.bytes), c.whole) << c.name;
}

// Temporary names stay within what a folder entry may hold however long the output's name, and
// differ for every process and attempt.
TEST(TemporaryPathTest, HiddenBesideTheOutputAndShortEnough) {
  const std::string longName = std::string(250, 'n') + ".pavo";
  const std::string path = TemporaryPath("out/" + longName, 4194303, 99);
  EXPECT_EQ(path.substr(0, 5), "out/.");
  EXPECT_LE(path.size() - 4, 255U);
  EXPECT_NE(path.find(kTemporaryMark), std::string::npos);
  EXPECT_NE(TemporaryPath("a.pavo", 7, 0), TemporaryPath("a.pavo", 7, 1));
  EXPECT_NE(TemporaryPath("a.pavo", 7, 0), TemporaryPath("a.pavo", 8, 0));
}

}  // namespace
}  // namespace convert::batch
