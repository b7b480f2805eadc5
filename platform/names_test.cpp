// File names by the rules of each system: where the file name begins, how a folder ends, which
// names are one, and which belong to devices. Each row says what POSIX and what Windows make of
// the same text.
#include "platform/names.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "tests/by_system.h"

namespace platform {
namespace {

using x17b_test::BySystem;
using x17b_test::kWindows;

TEST(NamesTest, TheFileNameBeginsBehindTheLastSeparatorOrTheDrive) {
  struct Row {
    std::string_view path;
    BySystem<std::size_t> folder;
  };
  for (const Row& row : std::vector<Row>{
           {"run1.dat", {0, 0}},
           {"data/run1.dat", {5, 5}},
           {"/data/run1.dat", {6, 6}},
           {"data\\run1.dat", {0, 5}},
           {"data/sub\\run1.dat", {5, 9}},
           {"C:run1.dat", {0, 2}},
           {"C:\\data\\run1.dat", {0, 8}},
           {"\\\\server\\share\\run1.dat", {0, 15}},
           {"\\\\?\\C:\\data\\run1.dat", {0, 12}},
           {"1:run1.dat", {0, 0}},  // a digit is no drive
       }) {
    EXPECT_EQ(FolderLength(row.path), row.folder.here()) << row.path;
  }
}

TEST(NamesTest, AFolderGetsTheSystemsSeparatorUnlessItEndsInOne) {
  struct Row {
    std::string folder;
    BySystem<std::string> ended;
  };
  for (const Row& row : std::vector<Row>{
           {"out", {"out/", "out/"}},
           {"out/", {"out/", "out/"}},
           {"out\\", {"out\\/", "out\\"}},
           {"D:", {"D:/", "D:"}},  // Windows: the current folder of drive D
           {"D:\\", {"D:\\/", "D:\\"}},
       }) {
    std::string folder = row.folder;
    EndWithSeparator(folder);
    EXPECT_EQ(folder, row.ended.here()) << row.folder;
  }
}

TEST(NamesTest, TwoNamesAreOneWhenTheFileSystemComparesThemEqual) {
  struct Row {
    std::string_view a;
    std::string_view b;
    BySystem<bool> same;
  };
  const auto key = [](std::string_view name) {
    std::string text = "folder/";
    AppendNameKey(text, name);
    return text;
  };
  for (const Row& row : std::vector<Row>{
           {"run1.pavo", "run1.pavo", {true, true}},
           {"run1.pavo", "run2.pavo", {false, false}},
           {"a.pavo", "A.PAVO", {false, true}},
           {"\xC3\xA9t\xC3\xA9.pavo", "\xC3\x89T\xC3\x89.pavo", {false, true}},  // été, ÉTÉ
           {"\xCE\xA9.pavo", "\xCF\x89.pavo", {false, true}},                    // Ω, ω
           {"a.pavo", "a.pavo.", {false, true}},  // Windows drops trailing dots and blanks
           {"a.pavo", "a.pavo  ", {false, true}},
           {"a.pavo", "a.pav", {false, false}},
           {"\xFF.pavo", "\xFF.PAVO", {false, true}},  // not UTF-8: letters alone lose their case
       }) {
    EXPECT_EQ(key(row.a) == key(row.b), row.same.here()) << row.a << " and " << row.b;
  }
}

TEST(NamesTest, DevicesKeepTheirNamesInEveryFolderWithAnyExtension) {
  struct Row {
    std::string_view name;
    bool windowsDevice;
  };
  for (const Row& row : std::vector<Row>{
           {"nul", true},        {"NUL.txt", true},
           {"con.tar.gz", true},  // the part before the first dot counts
           {"con .dat", true},    // and the blanks behind it do not
           {"Aux", true},        {"prn.pavo", true},
           {"com1.dat", true},   {"COM9", true},
           {"lpt5.pavo", true},  {"LPT\xC2\xB9", true},  // LPT with a superscript one
           {"conin$", true},     {"CONOUT$.txt", true},
           {"COM1:", true},      {"nul:.dat", true},  // a colon ends the part, as a dot
           {"com10", false},     {"lpt0", false},
           {"com", false},       {"console.dat", false},
           {"nul_.dat", false},  {".nul", false},
           {"run1.con", false},  {"", false},
       }) {
    EXPECT_EQ(IsDeviceName(row.name), kWindows && row.windowsDevice) << row.name;
  }
}

}  // namespace
}  // namespace platform
