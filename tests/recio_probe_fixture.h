// The fixture of the record layer's whole-run tests: runs the scripted probe program in a fresh
// directory and gives back what it wrote to the console, to standard error and to its log.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "tests/process_harness.h"

namespace x17b_test {

inline const std::string kStop = "Stop - Program terminated.\r\n";
inline const std::string kQuestion = "File name missing or blank - please enter file name\r\nUNIT ";

struct ProbeRun {
  RunResult result;
  std::string log;
};

class RecioProbeTest : public ::testing::Test {
 public:
  /// The three-line failure message, CR LF first.
  static std::string Failure(const std::string& word, int number, const std::string& name,
                             const std::string& text) {
    return "\r\nrun-time error F" + std::to_string(number) + ": " + word + "(" + name + ")\r\n- " +
           text + "\r\n";
  }

 protected:
  ProbeRun Run(const std::string& script, const std::string& input = "",
               InputKind kind = InputKind::kPipe, std::vector<std::string> args = {},
               int uid = -1) {
    RunOptions options = Options(script, input, kind);
    options.args = std::move(args);
    options.dropToUid = uid;
    return RunWith(options);
  }

  /// The options of a probe run in the test's directory, for runs with unusual streams.
  RunOptions Options(const std::string& script, const std::string& input = "",
                     InputKind kind = InputKind::kPipe) {
    RunOptions options;
    options.input = input;
    options.kind = kind;
    options.workDir = dir_.path();
    options.environment = {{"RECIO_SCRIPT", script}, {"RECIO_LOG", dir_.File("probe.log")}};
    return options;
  }

  ProbeRun RunWith(const RunOptions& options) {
    ProbeRun run;
    run.result = RunProgram(X17B_BUILD_DIR "/tests/recio_probe", options);
    run.log = ReadFileBytes(dir_.File("probe.log"));
    EXPECT_FALSE(run.result.timedOut);
    EXPECT_EQ(run.result.signal, 0);
    return run;
  }

  void ExpectFailure(const ProbeRun& run, const std::string& word, int number,
                     const std::string& name, const std::string& text) {
    EXPECT_EQ(Visible(run.result.err), Visible(Failure(word, number, name, text)));
    EXPECT_EQ(run.result.exitCode, 1);
  }

  TempDir dir_;
};

}  // namespace x17b_test
