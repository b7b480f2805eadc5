// The fixture of the record layer's whole-run tests: runs the scripted probe program in a fresh
// directory and gives back what it wrote to the console, to standard error and to its log.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "tests/process_harness.h"

namespace x17b_test {

inline const std::string kQuestion = "File name missing or blank - please enter file name\r\nUNIT ";

/// The bytes as two hexadecimal digits each, as the probe's "openx" and "writex" steps take them.
inline std::string Hex(const std::string& bytes) {
  std::string hex;
  for (unsigned char c : bytes) {
    char pair[3];
    std::snprintf(pair, sizeof pair, "%02X", c);
    hex += pair;
  }
  return hex;
}

/// Every byte value from `first` to `last`, without those listed in `except`.
inline std::string Bytes(int first, int last, const std::string& except = "") {
  std::string bytes;
  for (int b = first; b <= last; ++b) {
    if (except.find(static_cast<char>(b)) == std::string::npos) bytes += static_cast<char>(b);
  }
  return bytes;
}

struct ProbeRun {
  RunResult result;
  std::string log;
};

class RecioProbeTest : public ::testing::Test {
 protected:
  ProbeRun Run(const std::string& script, const std::string& input = "",
               InputKind kind = InputKind::kPipe, std::vector<std::string> args = {}) {
    RunOptions options = Options(script, input, kind);
    options.args = std::move(args);
    return RunWith(options);
  }

#ifndef _WIN32
  /// A run as the user `uid` (needs root).
  ProbeRun RunAs(int uid, const std::string& script) {
    RunOptions options = Options(script);
    options.dropToUid = uid;
    return RunWith(options);
  }
#endif

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
    run.result = RunProgram(BuiltProgram("tests/recio_probe"), options);
    run.log = ReadFileBytes(dir_.File("probe.log"));
    EXPECT_FALSE(run.result.timedOut);
    EXPECT_EQ(run.result.signal, 0);
    return run;
  }

  /// The run ended with exit code 1 and the failure message of `number` on standard error.
  void ExpectFailure(const ProbeRun& run, int number, const std::string& statement,
                     const std::string& name, const std::string& text) {
    EXPECT_EQ(Visible(run.result.err), Visible(FailureMessage(number, statement, name, text)));
    EXPECT_EQ(run.result.exitCode, 1);
  }

  /// The names in the test's directory, the probe's log left out.
  std::vector<std::string> DirectoryNames() {
    std::vector<std::string> names = FolderNames(dir_.path());
    std::erase(names, "probe.log");
    return names;
  }

  TempDir dir_;
};

}  // namespace x17b_test
