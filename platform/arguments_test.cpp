// The Windows command line: split into arguments by the C runtime's rules, handed on in UTF-8,
// and its unquoted wildcards expanded as a POSIX shell expands them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/arguments_windows.h"
#include "platform/paths_windows.h"
#include "tests/process_harness.h"

namespace platform {
namespace {

using Words = std::vector<std::string>;

Words Split(const std::string& line, Wildcards wildcards = Wildcards::kKeep) {
  std::wstring wide;
  EXPECT_TRUE(WideOf(line, wide)) << line;
  return ArgumentsOf(wide, wildcards);
}

TEST(ArgumentsTest, QuotesAndBackslashesFollowTheCRuntimesRules) {
  struct Row {
    std::string line;
    Words words;
  };
  for (const Row& row : std::vector<Row>{
           {"prog a b", {"prog", "a", "b"}},
           {"prog  \ta\t b  ", {"prog", "a", "b"}},
           {"\"C:\\Program Files\\x.exe\" a", {"C:\\Program Files\\x.exe", "a"}},
           {"prog \"a b\",c", {"prog", "a b,c"}},
           {"prog data\\run1.dat \\\\server\\share",
            {"prog", "data\\run1.dat", "\\\\server\\share"}},
           {"prog \"a\\\\\" b", {"prog", "a\\", "b"}},  // 2n backslashes and a quote: n
           {"prog a\\\"b", {"prog", "a\"b"}},           // 2n+1: n and a quote
           {"prog a\\\\\\\"b", {"prog", "a\\\"b"}},
           {"prog \"a\"\"b\"", {"prog", "a\"b"}},  // "" inside quotes
           {"prog \"\" x", {"prog", "", "x"}},
           {"prog \"open", {"prog", "open"}},
           {"prog caf\xC3\xA9.dat \xCE\xA9\xE6\x97\xA5.dat",
            {"prog", "caf\xC3\xA9.dat", "\xCE\xA9\xE6\x97\xA5.dat"}},
       }) {
    EXPECT_EQ(Split(row.line), row.words) << row.line;
  }
}

TEST(ArgumentsTest, UnquotedWildcardsBecomeTheNamesTheyMatchSortedByName) {
  x17b_test::TempDir dir;
  for (const std::string name :
       {"b.dat", "A.dat", "c.DAT", "x.raw", ".hidden.dat", "\xC3\xA9t\xC3\xA9.dat"}) {
    x17b_test::WriteFileBytes(dir.File(name), "");
  }
  ASSERT_TRUE(x17b_test::MakeFolder(dir.File("sub")));
  x17b_test::WriteFileBytes(dir.File("sub\\s.dat"), "");
  const std::string d = dir.path() + "\\";
  struct Row {
    std::string argument;
    Words words;
  };
  for (const Row& row : std::vector<Row>{
           {d + "*.dat", {d + "A.dat", d + "b.dat", d + "c.DAT", d + "\xC3\xA9t\xC3\xA9.dat"}},
           {dir.path() + "/?.DAT",
            {dir.path() + "/A.dat", dir.path() + "/b.dat", dir.path() + "/c.DAT"}},
           {d + ".*", {d + ".hidden.dat"}},  // a name beginning with "." only for such a pattern
           {d + "s*", {d + "sub"}},
           {d + "*.none", {d + "*.none"}},                        // nothing matches: as typed
           {"\"" + d + "*.dat\"", {d + "*.dat"}},                 // quoted
           {dir.path() + "/\"*\".dat", {dir.path() + "/*.dat"}},  // the star quoted
           {d + "s*\\*.dat", {d + "s*\\*.dat"}},  // only the last part may hold wildcards
       }) {
    Words expected = {"prog", "-o", "out"};
    expected.insert(expected.end(), row.words.begin(), row.words.end());
    EXPECT_EQ(Split("prog -o out " + row.argument, Wildcards::kExpand), expected) << row.argument;
  }
  EXPECT_EQ(Split("prog " + d + "*.dat"), Words({"prog", d + "*.dat"})) << "kept";
}

TEST(ArgumentsTest, PatternsIgnoreCaseAndHideNamesBeginningWithADot) {
  struct Row {
    std::wstring pattern;
    std::wstring name;
    bool matches;
  };
  for (const Row& row : std::vector<Row>{
           {L"*.dat", L"RUN1.DAT", true},
           {L"run?.dat", L"run12.dat", false},
           {L"run*1*.dat", L"run_1_x1.dat", true},
           {L"*", L".x17b2pavo-tmp", false},
           {L".*", L".x17b2pavo-tmp", true},
           {L"\u00e9*", L"\u00c9T\u00c9", true},
           {L"*a", L"b", false},
           {L"**", L"", true},
       }) {
    EXPECT_EQ(MatchesPattern(row.pattern, row.name), row.matches);
  }
}

}  // namespace
}  // namespace platform
