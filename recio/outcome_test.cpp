// Requests that ask for their outcome: the status together with the record a read ended or failed
// on, the text of the numeric field that failed, and the system's cause of a refused open.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <string>
#include <vector>

#include "recio/recio.h"
#include "tests/by_system.h"
#include "tests/process_harness.h"

namespace recio {
namespace {

using x17b_test::kWindows;

constexpr int32_t kUnit = 21;
constexpr Layout kReal{"(F10.0)"};
constexpr Layout kInteger{"(I8)"};

int32_t OpenNamed(const std::string& path, Keyword<OpenStatus> status, Outcome& outcome,
                  Keyword<Access> access = {}) {
  OpenSpec spec;
  spec.name = std::span<const char>(path.data(), path.size());
  spec.nameAsGiven = true;
  spec.status = status;
  spec.access = access;
  if (access.given) spec.form = Form::kFormatted;
  return Open(kUnit, spec, {.status = true, .outcome = &outcome});
}

TEST(OutcomeTest, ReadsGiveTheirRecordAndTheTextOfAFailedField) {
  x17b_test::TempDir dir;
  x17b_test::WriteFileBytes(dir.File("scan.dat"), "       1.5\n  12.3.4\n 0012x\n");
  Outcome outcome;
  ASSERT_EQ(OpenNamed(dir.File("scan.dat"), OpenStatus::kOld, outcome), 0);
  const Flags flags{.status = true, .end = true, .outcome = &outcome};
  float value = 0;
  int32_t count = 0;
  struct Step {
    int32_t status;
    int64_t record;
    std::string field;
  };
  std::vector<Step> steps;
  Read(kUnit, kReal, {value}, flags);
  steps.push_back({outcome.status, outcome.record, std::string(outcome.field.view())});
  Read(kUnit, kReal, {value}, flags);
  steps.push_back({outcome.status, outcome.record, std::string(outcome.field.view())});
  Read(kUnit, kInteger, {count}, flags);  // the field's text keeps its zeros
  steps.push_back({outcome.status, outcome.record, std::string(outcome.field.view())});
  Read(kUnit, kReal, {value}, flags);
  steps.push_back({outcome.status, outcome.record, std::string(outcome.field.view())});
  const std::vector<Step> expected = {
      {0, 1, ""}, {6103, 2, "12.3.4"}, {6101, 3, "0012x"}, {kEndOfFileStatus, 4, ""}};
  ASSERT_EQ(steps.size(), expected.size());
  for (std::size_t i = 0; i < steps.size(); ++i) {
    EXPECT_EQ(steps[i].status, expected[i].status) << "read " << i + 1;
    EXPECT_EQ(steps[i].record, expected[i].record) << "read " << i + 1;
    EXPECT_EQ(steps[i].field, expected[i].field) << "read " << i + 1;
  }
  EXPECT_EQ(Close(kUnit, {}, flags), 0);
  EXPECT_EQ(outcome.record, 0);
}

TEST(OutcomeTest, RefusedOpensGiveTheSystemsCause) {
  x17b_test::TempDir dir;
  ASSERT_TRUE(x17b_test::MakeFolder(dir.File("folder")));
  struct Case {
    std::string name;
    OpenStatus status;
    bool direct;
    int32_t number;
    ::platform::Error cause;
  };
  std::vector<Case> cases = {
      {dir.File("folder"), OpenStatus::kUnknown, false, 6414, ::platform::Error::kIsFolder},
      {dir.File("missing.dat"), OpenStatus::kOld, false, 6416, ::platform::Error::kNotFound},
      {dir.File("missing/new.dat"), OpenStatus::kUnknown, false, 6416,
       ::platform::Error::kNoSuchFolder},
  };
#ifdef _WIN32
  // A named pipe is known by its name: direct access is refused before anything opens it.
  cases.push_back({"\\\\.\\pipe\\x17b-outcome-test", OpenStatus::kOld, true, 6414,
                   ::platform::Error::kNotAFile});
  // Names that Windows keeps for a device, in every folder and with any extension, reach no
  // device: those that are no device of the record layer's own are refused.
  for (const char* device : {"com2", "LPT5.dat", "conin$", "nul.tar.gz", "aux"}) {
    cases.push_back(
        {dir.File(device), OpenStatus::kUnknown, false, 6414, ::platform::Error::kDeviceName});
  }
#else
  // Windows says only that such a name is not there (wine: its folder).
  cases.push_back({dir.File(std::string(300, 'n')), OpenStatus::kUnknown, false, 6416,
                   ::platform::Error::kNameTooLong});
  ASSERT_EQ(mkfifo(dir.File("pipe").c_str(), 0666), 0);
  cases.push_back({dir.File("pipe"), OpenStatus::kOld, true, 6414, ::platform::Error::kNotAFile});
#endif
  for (const Case& c : cases) {
    Outcome outcome;
    const int32_t status = OpenNamed(
        c.name, c.status, outcome, c.direct ? Keyword<Access>{Access::kDirect} : Keyword<Access>{});
    EXPECT_EQ(status, c.number) << c.name;
    EXPECT_EQ(outcome.status, c.number) << c.name;
    EXPECT_EQ(outcome.cause, c.cause) << c.name;
  }
}

// One file is held by one unit: a second unit that opens it by another spelling is refused where
// the file system takes both spellings for one name (Windows ignores case), and gets a file of
// its own where it does not.
TEST(OutcomeTest, TheSameFileUnderAnotherSpellingIsHeldByItsUnit) {
  x17b_test::TempDir dir;
  Outcome outcome;
  ASSERT_EQ(OpenNamed(dir.File("case.dat"), OpenStatus::kUnknown, outcome), 0);
  OpenSpec spec;
  const std::string other = dir.File("CASE.DAT");
  spec.name = std::span<const char>(other.data(), other.size());
  spec.nameAsGiven = true;
  EXPECT_EQ(Open(kUnit + 1, spec, {.status = true}), kWindows ? 6413 : 0);
  EXPECT_EQ(Close(kUnit + 1, CloseStatus::kDelete, {.status = true}), 0);
  EXPECT_EQ(Close(kUnit, CloseStatus::kDelete, {.status = true}), 0);
}

}  // namespace
}  // namespace recio
