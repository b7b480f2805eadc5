// Requests that ask for their outcome: the status together with the record a read ended or failed
// on, the text of the numeric field that failed, and the system's cause of a refused open.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "recio/recio.h"
#include "tests/process_harness.h"

namespace recio {
namespace {

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
  mkdir(dir.File("folder").c_str(), 0755);
  ASSERT_EQ(mkfifo(dir.File("pipe").c_str(), 0666), 0);
  struct Case {
    std::string name;
    OpenStatus status;
    bool direct;
    int32_t number;
    ::platform::Error cause;
  };
  for (const Case& c : std::vector<Case>{
           {"folder", OpenStatus::kUnknown, false, 6414, ::platform::Error::kIsFolder},
           {"missing.dat", OpenStatus::kOld, false, 6416, ::platform::Error::kNotFound},
           {"missing/new.dat", OpenStatus::kUnknown, false, 6416, ::platform::Error::kNoSuchFolder},
           {std::string(300, 'n'), OpenStatus::kUnknown, false, 6416,
            ::platform::Error::kNameTooLong},
           {"pipe", OpenStatus::kOld, true, 6414, ::platform::Error::kNotAFile},
       }) {
    Outcome outcome;
    const int32_t status =
        OpenNamed(dir.File(c.name), c.status, outcome,
                  c.direct ? Keyword<Access>{Access::kDirect} : Keyword<Access>{});
    EXPECT_EQ(status, c.number) << c.name;
    EXPECT_EQ(outcome.status, c.number) << c.name;
    EXPECT_EQ(outcome.cause, c.cause) << c.name;
  }
}

}  // namespace
}  // namespace recio
